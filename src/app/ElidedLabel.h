#pragma once

#include <QLabel>

namespace hoplark {

// A one-line label that keeps its whole text (text() is never shortened, so copies and readers
// get all of it) and paints it cut with "…" only when its width cannot hold it; the whole text
// is then its tool tip.
class TElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit TElidedLabel(const QString& text, QWidget* parent = nullptr);

    // Replaces the whole text (hides QLabel::setText, which cannot refresh the tool tip).
    void setText(const QString& text);

    // Whether the painted text is shortened at the label's current width.
    bool elided() const;
    // The text as painted.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();
};

}  // namespace hoplark
