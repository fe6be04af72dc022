#pragma once

#include <QPushButton>

namespace hoplark {

// A push button that shows plainly when it has the focus, so that Space presses it: a frame in
// the palette's highlight colour just inside its edge. The style's own hint is a faint outline,
// and none at all until a key has moved the focus, which on a default button is easily missed.
class TFocusFrameButton : public QPushButton {
    Q_OBJECT

public:
    explicit TFocusFrameButton(const QString& text, QWidget* parent = nullptr);

    // The frame's width, in device-independent pixels.
    static constexpr int FrameWidth = 2;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace hoplark
