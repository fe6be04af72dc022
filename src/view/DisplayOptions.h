#pragma once

#include <QtGlobal>

#include "view/StatisticsColumns.h"

namespace hoplark {

// How the grid colours and annotates the hop table; edited in the Options dialog.
struct DisplayOptions {
    // Latency thresholds in milliseconds.
    qint32 WarningSpeed = 200;
    qint32 BadSpeed = 500;
    // Colour the hop number cell by the hop's average.
    bool ColorHops = true;
    // Band the graph column by the thresholds and tint the unreachable row.
    bool ColorGraphs = true;
    // Mark the current sample with a blue cross on the graph.
    bool GraphCurrentSample = true;
    // Show the current sample beside the average.
    bool ShowCurrentTime = false;
    // Show times to 0.01 ms and place the graph's marks at their microseconds.
    bool ShowFractions = false;
    // Mute the lost count of routers that only limit their answers and show the main responder
    // of hops whose responder changes ("10.0.0.1 +2"). Off, the grid draws what it always drew.
    bool LossVerdicts = false;
    // The statistics window's figures shown in columns between Avg Time and Graph; none by
    // default, which leaves the grid as it always was.
    StatisticsColumns ShownStatistics;
    // Say which router reported the destination unreachable and why ("host unreachable from
    // 10.0.3.1") in the marker row and the copied text; off, both read as they always did.
    bool UnreachableReasons = false;
};

}  // namespace hoplark
