#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPoint>
#include <QString>

#include "view/CanvasFont.h"
#include "view/CellRect.h"

namespace hoplark {

// A drawing surface with the conventions the grid painter is written against: a brush that is
// solid whenever a colour is set, a pen position for move-to/line-to, lines that cover their
// start point and stop one pixel short of their end point, clipped opaque text that fills its
// rectangle first, and free text that advances the pen. Nothing is clipped unless asked.
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

private:
    void drawText(int x, int y, const QString& text);

    QPainter& painter_;
    QColor brushColor_ = Qt::white;
    bool brushClear_ = false;
    QColor penColor_ = Qt::black;
    int penWidth_ = 1;
    QPoint penPos_;
    CanvasFont font_;
    QFont qfont_;
};

}  // namespace hoplark
