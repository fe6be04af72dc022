#include "app/FocusFrameButton.h"

#include <QPainter>

namespace hoplark {

TFocusFrameButton::TFocusFrameButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {}

void TFocusFrameButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(palette().color(QPalette::Highlight), FrameWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // Inside the bevel, clear of the label.
    const qreal inset = 2 + FrameWidth / 2.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 2, 2);
}

}  // namespace hoplark
