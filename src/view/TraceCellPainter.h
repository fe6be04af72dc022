#pragma once

#include <QByteArray>
#include <QColor>
#include <QPalette>
#include <functional>

#include "trace/TraceState.h"
#include "view/Canvas.h"
#include "view/CanvasFont.h"
#include "view/CellRect.h"
#include "view/DisplayOptions.h"
#include "view/StatisticsCellPainter.h"

namespace hoplark {

class TTraceGrid;
class GridEvidence;

// The contrast ratio of two colours, 1 to 21, as the WCAG define it.
double ContrastRatio(const QColor& a, const QColor& b);

// Paints every cell of the trace grid from the hop table: the header, the hop rows with their
// colouring and texts, and the latency graph column.
class TraceCellPainter {
public:
    // The system colours the grid paints with, taken from the grid's palette.
    struct SystemColors {
        QColor ButtonFace;
        QColor Window;
        QColor ButtonText;
        QColor Highlight3D;
        QColor Shadow3D;
        static SystemColors fromPalette(const QPalette& palette);
    };

    TraceCellPainter(std::function<const TraceState&()> state, const DisplayOptions& options,
                     const TTraceGrid& grid);

    // The font captured at start-up; the scale labels change the drawing font and restore it.
    void setSavedFont(const CanvasFont& font) { SavedFont = font; }
    const CanvasFont& savedFont() const { return SavedFont; }
    // Where the loss verdicts and responders come from when DisplayOptions::LossVerdicts is on.
    // The statistics columns read their figures from it too.
    void setEvidence(const GridEvidence* evidence) {
        evidence_ = evidence;
        statistics_.setEvidence(evidence);
    }

    // Painting and signatures first take the grid's colours again when its palette, style or
    // theme changed since they were taken.
    void drgrTraceDrawCell(Canvas& canvas, int Col, int Row, const CellRect& Rect, bool fixed);

    // Everything the cells of one row are painted from, row 0 being the header: two rows with
    // equal signatures paint the same pixels, so a row whose signature did not change since it
    // was last painted needs no repaint. A graph cell's line reaches the neighbouring replying
    // hops, so their records are part of it too.
    QByteArray rowSignature(int Row, const CellRect& rowRect);
    // A hop row as a screen reader says it: "hop 3, 10.0.0.1, core-1.example, average 12 ms,
    // 2 lost".
    QString rowDescription(int Row) const;
    // The row of the nearest replying hop above `Row`: the graph cell's line reaches up to its
    // middle. `Row` itself when there is none.
    int reachAbove(int Row) const;

    static const QColor UnreachableColor;
    static const QColor BandNormalColor;
    static const QColor BandWarningColor;
    static const QColor BandBadColor;

    // `text` as the IP column draws it in `width` pixels.
    static QString ElideAddress(const Canvas& canvas, const QString& text, int width);

private:
    void followTheme();
    // On a dark window the texts keep a contrast of 4.5:1 with what they are drawn on.
    bool darkTheme() const;
    QColor readable(const QColor& text, const QColor& background, double contrast) const;
    void useTextColorOn(Canvas& canvas, const QColor& text, const QColor& background,
                        double contrast = 4.5) const;

    void drawHeaderCell(Canvas& canvas, int Col, const CellRect& Rect) const;
    void drawGraphCell(Canvas& canvas, int Row, const CellRect& Rect) const;
    // Column 4's texts, whole milliseconds or to 0.01 ms, and the widest average they make.
    QString averageText(const THostInfo& r) const;
    QString currentText(const THostInfo& r) const;
    QString widestTime() const;
    // The unreachable marker's message, with who said so and why when the option asks for it.
    QString unreachableText(const THostInfo& r) const;
    // Lets the unreachable message run on over the cells right of DNS Name.
    void drawUnreachableOverflow(Canvas& canvas, const THostInfo& r, const CellRect& Rect) const;

    std::function<const TraceState&()> state_;
    const DisplayOptions& options_;
    const TTraceGrid& grid_;
    CanvasFont SavedFont;
    SystemColors colors_;
    const GridEvidence* evidence_ = nullptr;
    StatisticsCellPainter statistics_;
    int themeGeneration_ = 0;
};

}  // namespace hoplark
