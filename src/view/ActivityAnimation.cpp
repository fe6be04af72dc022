#include "view/ActivityAnimation.h"

#include <QPainter>
#include <cmath>

namespace hoplark {

TActivityAnimation::TActivityAnimation(QWidget* parent) : QWidget(parent) {
    setFixedSize(44, 34);
    timer_.setInterval(90);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % FrameCount;
        update();
    });
}

void TActivityAnimation::play() {
    if (!timer_.isActive()) timer_.start();
}

void TActivityAnimation::stop() {
    timer_.stop();
    frame_ = StopFrame;
    update();
}

void TActivityAnimation::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const auto drawComputer = [&](int x, int y) {
        painter.setPen(QColor(64, 64, 64));
        painter.setBrush(QColor(192, 192, 192));
        painter.drawRect(x, y, 12, 9);
        painter.setBrush(QColor(0, 96, 160));
        painter.drawRect(x + 2, y + 2, 8, 5);
        painter.setBrush(QColor(160, 160, 160));
        painter.drawRect(x + 3, y + 10, 6, 2);
    };
    drawComputer(2, 18);
    drawComputer(30, 18);
    painter.setPen(QPen(QColor(0, 128, 0), 1, Qt::DashLine));
    painter.drawLine(14, 27, 30, 27);

    // The magnifier swings to and fro along an arc above the cable.
    const double phase = 2.0 * M_PI * frame_ / FrameCount;
    const double cx = 22.0 + 13.0 * std::sin(phase);
    const double cy = 10.0 + 3.0 * std::cos(phase);
    painter.setPen(QPen(QColor(90, 60, 20), 2.5));
    painter.drawLine(QPointF(cx + 4, cy + 4), QPointF(cx + 8, cy + 8));
    painter.setPen(QPen(QColor(40, 40, 40), 1.5));
    painter.setBrush(QColor(200, 230, 255, 180));
    painter.drawEllipse(QPointF(cx, cy), 5.5, 5.5);
}

}  // namespace hoplark
