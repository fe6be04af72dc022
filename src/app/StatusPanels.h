#pragma once

#include <QLabel>
#include <QStatusBar>

namespace hoplark {

// The window's status bar: three fixed panels (querying, round count, displayed samples) and a
// notice that shows only while there is something to tell. Temporary messages would hide the
// panels, so the bar never shows one: hints belong in tool tips.
class TStatusPanels : public QStatusBar {
    Q_OBJECT

public:
    static constexpr int Height = 19;

    explicit TStatusPanels(QWidget* parent = nullptr);

    QLabel* panel(int index) const { return panels_[index]; }
    // A short notice at the right end of the bar; an empty text hides it.
    void setNotice(const QString& text);
    QString notice() const { return notice_->text(); }
    bool noticeShown() const { return !notice_->isHidden(); }

private:
    QLabel* panels_[3];
    QLabel* notice_;
};

}  // namespace hoplark
