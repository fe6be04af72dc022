#include "view/Canvas.h"

#include <QFontMetrics>
#include <cstdlib>

namespace hoplark {

Canvas::Canvas(QPainter& painter, const CanvasFont& font) : painter_(painter) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    setFont(font);
}

void Canvas::setBrushColor(const QColor& color) {
    brushColor_ = color;
    brushClear_ = false;
}

void Canvas::fillRect(const CellRect& rect) {
    if (brushClear_ || rect.width() <= 0 || rect.height() <= 0) return;
    painter_.fillRect(rect.left, rect.top, rect.width(), rect.height(), brushColor_);
}

void Canvas::lineTo(int x, int y) {
    const QPoint from = penPos_;
    penPos_ = QPoint(x, y);
    if (penWidth_ > 1) {
        // A wide pen has round ends, so a zero-length line leaves a dot as wide as the pen.
        painter_.save();
        if (from == penPos_) {
            // A square of the pen's width with its corner pixels left off: a small round dot.
            const int first = -(penWidth_ - 1) / 2;
            const int last = first + penWidth_ - 1;
            for (int dy = first; dy <= last; ++dy) {
                const bool edgeRow = dy == first || dy == last;
                const int firstX = edgeRow && penWidth_ >= 4 ? first + 1 : first;
                const int lastX = edgeRow && penWidth_ >= 4 ? last - 1 : last;
                painter_.fillRect(x + firstX, y + dy, lastX - firstX + 1, 1, penColor_);
            }
        } else {
            painter_.setPen(QPen(penColor_, penWidth_, Qt::SolidLine, Qt::RoundCap));
            painter_.drawLine(from, penPos_);
        }
        painter_.restore();
        return;
    }
    // Bresenham, covering the start point and stopping one pixel short of the end point.
    int cx = from.x();
    int cy = from.y();
    const int dx = std::abs(x - cx);
    const int dy = -std::abs(y - cy);
    const int sx = cx < x ? 1 : -1;
    const int sy = cy < y ? 1 : -1;
    int error = dx + dy;
    painter_.save();
    painter_.setPen(QPen(penColor_, 1));
    while (cx != x || cy != y) {
        painter_.drawPoint(cx, cy);
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            cx += sx;
        }
        if (twice <= dx) {
            error += dx;
            cy += sy;
        }
    }
    painter_.restore();
}

int Canvas::pointsToPixels(int points) {
    return (points * 96 + 36) / 72;
}

QFont Canvas::toQFont(const CanvasFont& font) {
    QFont result(font.name);
    result.setPixelSize(pointsToPixels(font.pointSize));
    return result;
}

void Canvas::setFont(const CanvasFont& font) {
    font_ = font;
    qfont_ = toQFont(font);
}

int Canvas::textWidth(const QString& text) const {
    return QFontMetrics(qfont_).horizontalAdvance(text);
}

int Canvas::textHeight() const {
    return QFontMetrics(qfont_).height();
}

void Canvas::drawText(int x, int y, const QString& text) {
    painter_.setFont(qfont_);
    painter_.setPen(font_.color);
    painter_.drawText(x, y + QFontMetrics(qfont_).ascent(), text);
}

void Canvas::textRect(const CellRect& clip, int x, int y, const QString& text) {
    fillRect(clip);
    textRectTransparent(clip, x, y, text);
}

void Canvas::textRectTransparent(const CellRect& clip, int x, int y, const QString& text) {
    if (clip.width() <= 0 || clip.height() <= 0) return;
    painter_.save();
    painter_.setClipRect(clip.left, clip.top, clip.width(), clip.height());
    drawText(x, y, text);
    painter_.restore();
}

void Canvas::textOut(int x, int y, const QString& text) {
    const int width = textWidth(text);
    fillRect({x, y, x + width, y + textHeight()});
    painter_.save();
    painter_.setClipping(false);
    drawText(x, y, text);
    painter_.restore();
    penPos_ = QPoint(x + width, y);
}

void Canvas::drawRaisedInnerEdge(const CellRect& rect, const QColor& highlight,
                                 const QColor& shadow) {
    const int w = rect.width();
    const int h = rect.height();
    if (w <= 0 || h <= 0) return;
    painter_.fillRect(rect.left, rect.bottom - 1, w, 1, shadow);
    painter_.fillRect(rect.right - 1, rect.top, 1, h, shadow);
    painter_.fillRect(rect.left, rect.top, w - 1, 1, highlight);
    painter_.fillRect(rect.left, rect.top, 1, h - 1, highlight);
}

}  // namespace hoplark
