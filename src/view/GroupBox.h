#pragma once

#include <QGroupBox>

namespace hoplark {

// A group box whose caption sits on the top line of an etched frame, a few pixels in from the
// left. The frame starts at half the caption's height, so controls placed from the box's
// top-left corner lie inside it.
class TGroupBox : public QGroupBox {
    Q_OBJECT

public:
    static constexpr int CaptionLeft = 8;

    explicit TGroupBox(const QString& title, QWidget* parent = nullptr);

    // The frame's outer rectangle and the caption's rectangle, in the box's own pixels.
    QRect frameRect() const;
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace hoplark
