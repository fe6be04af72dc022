#include "view/GroupBox.h"

#include <QFontMetrics>
#include <QPainter>

namespace hoplark {

TGroupBox::TGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

QRect TGroupBox::frameRect() const {
    const int top = QFontMetrics(font()).height() / 2;
    return QRect(0, top, width(), height() - top);
}

QRect TGroupBox::captionRect() const {
    const QFontMetrics metrics(font());
    return QRect(CaptionLeft, 0, metrics.horizontalAdvance(title()), metrics.height());
}

void TGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Etched: a shadow line with a highlight line one pixel inside and below it.
    const QRect frame = frameRect();
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame.adjusted(0, 0, -2, -2));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.adjusted(1, 1, -1, -1));
    // The caption interrupts the top line.
    const QRect caption = captionRect();
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, title());
}

}  // namespace hoplark
