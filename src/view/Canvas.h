#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPoint>
#include <QString>
#include <QTransform>

#include "view/CanvasFont.h"
#include "view/CellRect.h"

namespace hoplark {

// A drawing surface with the conventions the grid painter is written against: a brush that is
// solid whenever a colour is set, a pen position for move-to/line-to, lines that cover their
// start point and stop one pixel short of their end point, clipped opaque text that fills its
// rectangle first, and free text that advances the pen. Nothing is clipped unless asked.
//
// On a scaled screen (a device pixel ratio such as 1.5, or a widget at a fractional device
// offset) logical coordinates fall between device pixels, so an area's edges and a line's
// pixels are snapped to whole device pixels: areas keep tiling without seams, and every
// one-pixel line is the same whole number of device pixels wide wherever it lies. The layout
// stays the logical one; unscaled painting is pixel for pixel what it always was.
class Canvas {
public:
    Canvas(QPainter& painter, const CanvasFont& font);

    // Setting a colour always makes the brush solid again.
    void setBrushColor(const QColor& color);
    void setBrushClear() { brushClear_ = true; }
    bool brushClear() const { return brushClear_; }
    QColor brushColor() const { return brushColor_; }
    // Fills with the brush colour (nothing when the brush is clear).
    void fillRect(const CellRect& rect);

    void setPenColor(const QColor& color) { penColor_ = color; }
    void setPenWidth(int width) { penWidth_ = width; }
    QColor penColor() const { return penColor_; }
    int penWidth() const { return penWidth_; }
    void moveTo(int x, int y) { penPos_ = QPoint(x, y); }
    void moveTo(QPoint point) { penPos_ = point; }
    void lineTo(int x, int y);
    void lineTo(QPoint point) { lineTo(point.x(), point.y()); }
    QPoint penPos() const { return penPos_; }

    void setFont(const CanvasFont& font);
    const CanvasFont& font() const { return font_; }
    void setFontColor(const QColor& color) { font_.color = color; }
    int textWidth(const QString& text) const;
    int textHeight() const;

    // Text with its top-left at (x, y), clipped to `clip`, which is first filled with the brush
    // colour unless the brush is clear.
    void textRect(const CellRect& clip, int x, int y, const QString& text);
    // Text clipped to `clip` on a transparent background, whatever the brush.
    void textRectTransparent(const CellRect& clip, int x, int y, const QString& text);
    // Unclipped text on the brush colour (transparent when the brush is clear); the pen then
    // stands at the end of the text.
    void textOut(int x, int y, const QString& text);
    // Free text at the pen position.
    void textOutAtPen(const QString& text) { textOut(penPos_.x(), penPos_.y(), text); }

    // The one-pixel raised edge of a fixed cell: shadow along bottom and right, then highlight
    // along top and left.
    void drawRaisedInnerEdge(const CellRect& rect, const QColor& highlight, const QColor& shadow);

    // Pixel size of a font given in points at 96 pixels per inch, as the layout is measured.
    static int pointsToPixels(int points);
    static QFont toQFont(const CanvasFont& font);

    // A one-pixel dotted frame just inside `rect` (the keyboard focus).
    void drawDottedFrame(const CellRect& rect, const QColor& color);
    // Device pixels a one-pixel line is wide: 1 unscaled, the ratio rounded otherwise.
    int lineWidth() const { return lineWidth_; }

private:
    void drawText(int x, int y, const QString& text);
    // Device pixel edge of a logical coordinate, along x or y.
    int deviceX(qreal x) const;
    int deviceY(qreal y) const;
    QRect deviceRect(const CellRect& rect) const;
    // Pixels drawn by a one-pixel pen from `from` to just short of `to`, in device pixels.
    void deviceLine(QPoint from, QPoint to);
    void deviceDot(QPoint at);

    // While one lives, the painter draws in device pixels.
    class DevicePixels {
    public:
        explicit DevicePixels(Canvas& canvas);
        ~DevicePixels();
        DevicePixels(const DevicePixels&) = delete;
        DevicePixels& operator=(const DevicePixels&) = delete;

    private:
        QPainter& painter_;
    };

    QPainter& painter_;
    QColor brushColor_ = Qt::white;
    bool brushClear_ = false;
    QColor penColor_ = Qt::black;
    int penWidth_ = 1;
    QPoint penPos_;
    CanvasFont font_;
    QFont qfont_;
    // Logical to device pixels, and whether it scales (a whole-pixel shift needs no snapping).
    QTransform toDevice_;
    bool scaled_ = false;
    int lineWidth_ = 1;
};

}  // namespace hoplark
