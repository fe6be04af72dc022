#pragma once

#include <QTimer>
#include <QWidget>

namespace hoplark {

// The small looping activity picture shown while probes are out: a magnifier sweeping over
// two computers joined by a cable. Painted by the program, 44 x 34 pixels.
class TActivityAnimation : public QWidget {
    Q_OBJECT

public:
    static constexpr int FrameCount = 16;
    static constexpr int StopFrame = 8;

    explicit TActivityAnimation(QWidget* parent = nullptr);

    void play();
    // Stops on the stop frame.
    void stop();
    bool isPlaying() const { return timer_.isActive(); }
    int frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    int frame_ = StopFrame;
};

}  // namespace hoplark
