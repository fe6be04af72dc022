#include "view/ColumnWidths.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace hoplark {

ColumnWidthArray FitColumnWidths(const ColumnWidthArray& widths, int clientWidth) {
    const int total = std::accumulate(widths.begin(), widths.end(), 0);
    if (total == clientWidth) return widths;
    const int extra = clientWidth - total;
    // extra * 2/3 is never exactly halfway between two integers, so ties cannot arise.
    const int share = static_cast<int>(std::lround(extra * 2.0 / 3.0));
    ColumnWidthArray result = widths;
    result[3] += share;
    result[5] += extra - share;
    return result;
}

int AvgTimeColumnWidth(bool showCurrentTime, int fractionWidth) {
    return showCurrentTime ? 80 + 2 * fractionWidth : 55 + fractionWidth;
}

int AddressColumnWidth(bool ipv6, int v6TextWidth) {
    constexpr int IPv4Width = 90;
    return ipv6 ? std::max(IPv4Width, v6TextWidth + 6) : IPv4Width;
}

}  // namespace hoplark
