#include "view/Canvas.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace hoplark {

namespace {

// Bresenham, covering the start point and stopping one pixel short of the end point.
template <typename Plot>
void walkLine(int cx, int cy, int x, int y, Plot plot) {
    const int dx = std::abs(x - cx);
    const int dy = -std::abs(y - cy);
    const int sx = cx < x ? 1 : -1;
    const int sy = cy < y ? 1 : -1;
    int error = dx + dy;
    while (cx != x || cy != y) {
        plot(cx, cy);
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
}

}  // namespace

Canvas::Canvas(QPainter& painter, const CanvasFont& font)
    : painter_(painter), toDevice_(painter.deviceTransform()) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    setFont(font);
    const bool wholeShift = toDevice_.type() <= QTransform::TxTranslate &&
                            toDevice_.dx() == std::round(toDevice_.dx()) &&
                            toDevice_.dy() == std::round(toDevice_.dy());
    // Rotated or sheared painting is left to the painter as it is.
    scaled_ = !wholeShift && toDevice_.type() <= QTransform::TxScale;
    if (scaled_) {
        const qreal ratio = std::min(std::abs(toDevice_.m11()), std::abs(toDevice_.m22()));
        lineWidth_ = std::max(1, int(std::lround(ratio)));
    }
}

Canvas::DevicePixels::DevicePixels(Canvas& canvas) : painter_(canvas.painter_) {
    painter_.save();
    // Undoes the scaling and shift the painter adds after its world transform.
    painter_.setWorldTransform(canvas.toDevice_.inverted() * painter_.worldTransform());
}

Canvas::DevicePixels::~DevicePixels() {
    painter_.restore();
}

int Canvas::deviceX(qreal x) const {
    return int(std::floor(toDevice_.m11() * x + toDevice_.dx() + 0.5));
}

int Canvas::deviceY(qreal y) const {
    return int(std::floor(toDevice_.m22() * y + toDevice_.dy() + 0.5));
}

QRect Canvas::deviceRect(const CellRect& rect) const {
    const int left = deviceX(rect.left);
    const int top = deviceY(rect.top);
    return QRect(left, top, deviceX(rect.right) - left, deviceY(rect.bottom) - top);
}

void Canvas::deviceLine(QPoint from, QPoint to) {
    // The same walk as unscaled, over device pixels, each one a square of the line's width:
    // the line's weight is the same along its whole length and whatever its slope.
    const int fromX = deviceX(from.x());
    const int fromY = deviceY(from.y());
    const int toX = deviceX(to.x());
    const int toY = deviceY(to.y());
    DevicePixels device(*this);
    walkLine(fromX, fromY, toX, toY, [this](int px, int py) {
        painter_.fillRect(px, py, lineWidth_, lineWidth_, penColor_);
    });
}

void Canvas::deviceDot(QPoint at) {
    // The unscaled dot's shape at the pen's width in device pixels, centred where it is.
    const qreal ratio = std::abs(toDevice_.m11());
    const int width = std::max(penWidth_, int(std::lround(penWidth_ * ratio)));
    const int first = -(penWidth_ - 1) / 2;
    const qreal centreX = toDevice_.m11() * (at.x() + first + penWidth_ / 2.0) + toDevice_.dx();
    const qreal centreY = toDevice_.m22() * (at.y() + first + penWidth_ / 2.0) + toDevice_.dy();
    const int left = int(std::floor(centreX - width / 2.0 + 0.5));
    const int top = int(std::floor(centreY - width / 2.0 + 0.5));
    // A quarter of the width off each corner, as unscaled, rounded down so that it stays round.
    const int corner = penWidth_ >= 4 ? width / 4 : 0;
    DevicePixels device(*this);
    for (int row = 0; row < width; ++row) {
        const bool edgeRow = row < corner || row >= width - corner;
        const int inset = edgeRow ? corner : 0;
        painter_.fillRect(left + inset, top + row, width - 2 * inset, 1, penColor_);
    }
}

void Canvas::setBrushColor(const QColor& color) {
    brushColor_ = color;
    brushClear_ = false;
}

void Canvas::fillRect(const CellRect& rect) {
    if (brushClear_ || rect.width() <= 0 || rect.height() <= 0) return;
    if (scaled_) {
        DevicePixels device(*this);
        painter_.fillRect(deviceRect(rect), brushColor_);
        return;
    }
    painter_.fillRect(rect.left, rect.top, rect.width(), rect.height(), brushColor_);
}

void Canvas::lineTo(int x, int y) {
    const QPoint from = penPos_;
    penPos_ = QPoint(x, y);
    if (scaled_ && penWidth_ > 1 && from == penPos_) {
        deviceDot(from);
        return;
    }
    if (scaled_ && penWidth_ == 1) {
        deviceLine(from, penPos_);
        return;
    }
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
    painter_.save();
    painter_.setPen(QPen(penColor_, 1));
    walkLine(from.x(), from.y(), x, y, [this](int px, int py) { painter_.drawPoint(px, py); });
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
    const int baseline = y + QFontMetrics(qfont_).ascent();
    if (!scaled_) {
        painter_.drawText(x, baseline, text);
        return;
    }
    // The text starts on a whole device pixel, as it does unscaled, so that it renders as
    // crisply wherever the cell lies.
    const QPointF device(deviceX(x), deviceY(baseline));
    painter_.drawText(toDevice_.inverted().map(device), text);
}

void Canvas::textRect(const CellRect& clip, int x, int y, const QString& text) {
    fillRect(clip);
    textRectTransparent(clip, x, y, text);
}

void Canvas::textRectTransparent(const CellRect& clip, int x, int y, const QString& text) {
    if (clip.width() <= 0 || clip.height() <= 0) return;
    painter_.save();
    if (scaled_) {
        // The clip's edges where the filled cell's are.
        const QTransform world = painter_.worldTransform();
        painter_.setWorldTransform(toDevice_.inverted() * world);
        painter_.setClipRect(deviceRect(clip));
        painter_.setWorldTransform(world);
    } else {
        painter_.setClipRect(clip.left, clip.top, clip.width(), clip.height());
    }
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
    if (scaled_) {
        // Each edge a line's width, against the side of the cell it belongs to.
        const QRect d = deviceRect(rect);
        const int t = lineWidth_;
        DevicePixels device(*this);
        painter_.fillRect(d.left(), d.bottom() + 1 - t, d.width(), t, shadow);
        painter_.fillRect(d.right() + 1 - t, d.top(), t, d.height(), shadow);
        painter_.fillRect(d.left(), d.top(), d.width() - t, t, highlight);
        painter_.fillRect(d.left(), d.top(), t, d.height() - t, highlight);
        return;
    }
    painter_.fillRect(rect.left, rect.bottom - 1, w, 1, shadow);
    painter_.fillRect(rect.right - 1, rect.top, 1, h, shadow);
    painter_.fillRect(rect.left, rect.top, w - 1, 1, highlight);
    painter_.fillRect(rect.left, rect.top, 1, h - 1, highlight);
}

void Canvas::drawDottedFrame(const CellRect& rect, const QColor& color) {
    if (rect.width() <= 0 || rect.height() <= 0) return;
    if (!scaled_) {
        painter_.save();
        painter_.setPen(QPen(color, 1, Qt::DotLine));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawRect(rect.left, rect.top, rect.width() - 1, rect.height() - 1);
        painter_.restore();
        return;
    }
    // Dots of a line's width, a dot and two gaps apart, along each edge.
    const QRect d = deviceRect(rect);
    const int t = lineWidth_;
    DevicePixels device(*this);
    for (int x = d.left(); x <= d.right() + 1 - t; x += 3 * t) {
        painter_.fillRect(x, d.top(), t, t, color);
        painter_.fillRect(x, d.bottom() + 1 - t, t, t, color);
    }
    for (int y = d.top(); y <= d.bottom() + 1 - t; y += 3 * t) {
        painter_.fillRect(d.left(), y, t, t, color);
        painter_.fillRect(d.right() + 1 - t, y, t, t, color);
    }
}

}  // namespace hoplark
