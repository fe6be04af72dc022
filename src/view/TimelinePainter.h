#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <vector>

#include "trace/TraceState.h"
#include "view/DisplayOptions.h"
#include "view/TimelineScale.h"

class QPainter;

namespace hoplark {

// Draws the timeline: one lane per hop with a cell per column coloured by round trip against
// the grid's thresholds, lost probes in the text colour, the destination's loss below the lanes,
// the statistics window as a band, a legend and a time axis. Only the columns a paint exposes
// are read, so that the cost follows the view, never the length of the trace.
class TimelinePainter {
public:
    // Where everything goes in a widget of a given size.
    struct Layout {
        QRect header;
        QRect labels;
        // The hop lanes: laneHeight pixels per shown hop, top to bottom.
        QRect plot;
        QRect lossLane;
        QRect axis;
        int laneHeight = 0;
        // 1-based hop numbers in lane order.
        std::vector<qint32> hops;

        // The lane under `y`, as an index into hops; -1 for none.
        int laneAt(int y) const;
        // The first column's left edge is plot.left(); everything right of the plot is cut.
        int columnsShown(const TimelineScale& scale) const {
            return int(scale.columnsIn(plot.width()));
        }
    };

    TimelinePainter(const TraceState& state, const DisplayOptions& options, const QPalette& palette,
                    const QFont& font);

    Layout layout(const QSize& size, const std::vector<qint32>& hops) const;
    void paint(QPainter& painter, const Layout& layout, const TimelineScale& scale,
               const QRect& exposed) const;

    // The colour of a round trip of `ms` on `background`: the grid's normal, warning and bad
    // colours, paler (or darker on a dark background) the further below its band's top.
    static QColor latencyColor(double ms, const DisplayOptions& options, const QColor& background);
    QColor lossColor() const { return text_; }
    QColor background() const { return base_; }
    static QColor bandColor(const QPalette& palette);

    static QString localTimeText(qint64 utcUs, bool seconds);

private:
    void paintHeader(QPainter& painter, const Layout& layout, const TimelineScale& scale) const;
    void paintLabels(QPainter& painter, const Layout& layout) const;
    void paintCells(QPainter& painter, const Layout& layout, const TimelineScale& scale,
                    qint64 fromColumn, qint64 toColumn) const;
    void paintLoss(QPainter& painter, const Layout& layout, const TimelineScale& scale,
                   qint64 fromColumn, qint64 toColumn) const;
    void paintWindowBand(QPainter& painter, const Layout& layout, const TimelineScale& scale) const;
    void paintAxis(QPainter& painter, const Layout& layout, const TimelineScale& scale) const;
    int swatch(QPainter& painter, int x, int y, const QColor& color, const QString& text) const;

    const TraceState& state_;
    const DisplayOptions& options_;
    QPalette palette_;
    QFont font_;
    QColor base_;
    QColor text_;
    QColor muted_;
};

}  // namespace hoplark
