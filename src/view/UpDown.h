#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class QToolButton;

namespace hoplark {

// A pair of arrow buttons holding a position within a range, without wrapping. When an edit is
// associated, the position is written into it as decimal text, and a valid number typed into
// the edit becomes the position; other text leaves the last position.
class TUpDown : public QWidget {
    Q_OBJECT

public:
    enum class Button { Up, Down };

    explicit TUpDown(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int position() const { return position_; }
    // Sets the position (clamped to the range) and writes it into the associated edit.
    void setPosition(int position);
    void setAssociate(QLineEdit* edit);
    QLineEdit* associate() const { return associate_; }

    // One press of an arrow, as a user click would do it.
    void press(Button button);

signals:
    // A press that moved the position.
    void clicked(hoplark::TUpDown::Button button);

private:
    void followAssociateText(const QString& text);

    QToolButton* up_;
    QToolButton* down_;
    QPointer<QLineEdit> associate_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};

}  // namespace hoplark
