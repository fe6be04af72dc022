#pragma once

#include <QtGlobal>
#include <algorithm>

namespace hoplark {

// How the timeline maps rounds to columns of pixels: zoomed in, a round is a column several
// pixels wide; zoomed out, one pixel column sums up a power of two of rounds. Columns are
// counted from round 1, so a column holds the same rounds wherever the view scrolls.
struct TimelineScale {
    static constexpr int MinZoom = -10;  // 1024 rounds per pixel column
    static constexpr int MaxZoom = 4;    // 16 pixels per round
    static constexpr int DefaultZoom = 2;

    int zoom = DefaultZoom;
    // The first column shown at the plot's left edge.
    qint64 firstColumn = 0;

    int columnWidth() const { return zoom > 0 ? 1 << zoom : 1; }
    qint64 roundsPerColumn() const { return zoom < 0 ? qint64(1) << -zoom : 1; }
    qint64 columnCount(qint64 rounds) const {
        return (std::max<qint64>(rounds, 0) + roundsPerColumn() - 1) / roundsPerColumn();
    }
    // The first 1-based round of `column`, and the column holding 1-based `round`.
    qint64 firstRoundOf(qint64 column) const { return column * roundsPerColumn() + 1; }
    qint64 columnOf(qint64 round) const { return (round - 1) / roundsPerColumn(); }
    // Whole columns that fit in `width` pixels.
    qint64 columnsIn(int width) const { return std::max(0, width) / columnWidth(); }
};

}  // namespace hoplark
