#include "app/ElidedLabel.h"

#include <QPainter>

namespace hoplark {

TElidedLabel::TElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
}

QString TElidedLabel::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

bool TElidedLabel::elided() const {
    return shownText() != text();
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

void TElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateToolTip();
}

void TElidedLabel::setText(const QString& text) {
    QLabel::setText(text);
    updateToolTip();
}

void TElidedLabel::updateToolTip() {
    setToolTip(elided() ? text() : QString());
}

}  // namespace hoplark
