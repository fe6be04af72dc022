#include "view/GraphPoints.h"

#include <algorithm>

namespace hoplark {

int LatencyToX(int left, qint32 latency, qint32 graphScale, int span) {
    // Division first, then multiplication, in extended precision, as the scale is defined.
    const long double fraction =
        static_cast<long double>(latency) / static_cast<long double>(graphScale);
    return left + static_cast<int>(fraction * static_cast<long double>(span));
}

int LatencyUsToX(int left, double latencyUs, qint32 graphScale, int span) {
    const long double fraction =
        static_cast<long double>(latencyUs) / (1000.0L * static_cast<long double>(graphScale));
    return left + static_cast<int>(fraction * static_cast<long double>(span));
}

qint32 MicrosecondGraphScale(qint32 GraphScale, const HopTable& HopList) {
    qint32 scale = GraphScale;
    for (const THostInfo& record : HopList) {
        const qint32 ms = record.MaxTimeUs / 1000 + (record.MaxTimeUs % 1000 > 0 ? 1 : 0);
        scale = std::max(scale, ms);
    }
    return std::max(scale, 1);
}

GraphPoints ComputeGraphPoints(int index, const CellRect& rect, int W, int H, qint32 GraphScale,
                               const HopTable& HopList, bool microseconds) {
    const int ymid = rect.top + H / 2;
    const auto pointOf = [&](int k) {
        const THostInfo& record = HopList.at(k);
        const int x = microseconds ? LatencyUsToX(rect.left, record.AvgTimeUs, GraphScale, W)
                                   : LatencyToX(rect.left, record.AvgTime, GraphScale, W);
        return QPoint(x, ymid + (k - index) * H);
    };

    // With fractions shown, a hop whose window holds no answer has no average to place.
    const auto plotted = [&](int k) {
        const THostInfo& record = HopList.at(k);
        return record.HasReplies() && (!microseconds || record.WindowAnswers > 0);
    };
    GraphPoints points;
    for (int k = index - 1; k >= 0; --k) {
        if (plotted(k)) {
            points.PrevPoint = pointOf(k);
            break;
        }
    }
    for (int k = index + 1; k < HopList.count(); ++k) {
        if (plotted(k)) {
            points.NextPoint = pointOf(k);
            break;
        }
    }
    if (plotted(index)) points.CurPoint = pointOf(index);
    points.DotPoint = points.CurPoint;

    // A silent hop continues the line from its nearest replying neighbour, so one segment
    // bridges it.
    if (points.PrevPoint.x() > 0 && points.CurPoint.x() == 0) {
        points.CurPoint = points.PrevPoint;
        points.PrevPoint = QPoint();
    }
    if (points.NextPoint.x() > 0 && points.CurPoint.x() == 0) {
        points.CurPoint = points.NextPoint;
        points.NextPoint = QPoint();
    }
    if (points.CurPoint.x() == 0) points.PrevPoint.setX(0);
    return points;
}

}  // namespace hoplark
