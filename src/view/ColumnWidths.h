#pragma once

#include <array>

namespace hoplark {

// Widths of the grid's six columns: Hop, Err, IP, DNS Name, Avg Time, Graph.
using ColumnWidthArray = std::array<int, 6>;

// Shares the difference between the client width and the columns' total out: two thirds
// (rounded to nearest) to DNS Name, the rest to Graph. No lower bound is applied.
ColumnWidthArray FitColumnWidths(const ColumnWidthArray& widths, int clientWidth);

// Width of the Avg Time column: 80 with the current sample beside the average, 55 without.
// Times to 0.01 ms widen each time the column shows by `fractionWidth`, the width of ".99" in
// the grid's drawing font.
int AvgTimeColumnWidth(bool showCurrentTime, int fractionWidth);

// Width of the IP column: 90, as it always was, for IPv4; for IPv6 room for `v6TextWidth` (the
// drawn width of a typical IPv6 address) and the cell's margins.
int AddressColumnWidth(bool ipv6, int v6TextWidth);

}  // namespace hoplark
