#include "view/TimelinePainter.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

#include "view/TimelineCell.h"

namespace hoplark {

namespace {

const QColor Lime(0, 255, 0);
const QColor Yellow(255, 255, 0);
const QColor Red(255, 0, 0);

QColor mix(const QColor& from, const QColor& to, double t) {
    t = std::clamp(t, 0.0, 1.0);
    const auto channel = [t](int a, int b) { return int(std::lround(a + (b - a) * t)); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

// Lanes stay legible up to this height and thin to a line before they stop showing.
constexpr int MaxLaneHeight = 18;
constexpr int MinLaneHeight = 3;
constexpr int BandBarHeight = 4;

// Axis steps in seconds, and in rounds where the rounds' times are not known.
constexpr std::array<qint64, 17> TimeSteps = {1,   2,   5,    10,   15,   30,    60,    120,  300,
                                              600, 900, 1800, 3600, 7200, 14400, 21600, 86400};

qint64 roundStep(qint64 atLeast) {
    for (qint64 base = 1;; base *= 10) {
        for (qint64 factor : {1, 2, 5}) {
            if (base * factor >= atLeast) return base * factor;
        }
    }
}

}  // namespace

int TimelinePainter::Layout::laneAt(int y) const {
    if (laneHeight <= 0 || y < plot.top() || y > plot.bottom()) return -1;
    const int lane = (y - plot.top()) / laneHeight;
    return lane < int(hops.size()) ? lane : -1;
}

TimelinePainter::TimelinePainter(const TraceState& state, const DisplayOptions& options,
                                 const QPalette& palette, const QFont& font)
    : state_(state),
      options_(options),
      palette_(palette),
      font_(font),
      base_(palette.color(QPalette::Base)),
      text_(palette.color(QPalette::Text)),
      muted_(mix(palette.color(QPalette::Base), palette.color(QPalette::Text), 0.55)) {}

QColor TimelinePainter::latencyColor(double ms, const DisplayOptions& options,
                                     const QColor& background) {
    const double warning = std::max(1, options.WarningSpeed);
    const double bad = std::max<double>(options.BadSpeed, warning);
    if (ms <= warning) return mix(background, Lime, 0.3 + 0.7 * ms / warning);
    if (ms <= bad) return mix(background, Yellow, 0.6 + 0.4 * (ms - warning) / (bad - warning));
    return mix(background, Red, 0.75 + 0.25 * std::min(1.0, (ms - bad) / bad));
}

QColor TimelinePainter::bandColor(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

QString TimelinePainter::localTimeText(qint64 utcUs, bool seconds) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(utcUs / 1000).toLocalTime();
    return local.toString(seconds ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}

TimelinePainter::Layout TimelinePainter::layout(const QSize& size,
                                                const std::vector<qint32>& hops) const {
    const QFontMetrics metrics(font_);
    const int line = metrics.height();
    Layout layout;
    layout.hops = hops;
    const int gutter = std::max({metrics.horizontalAdvance(QStringLiteral("Dest. loss")),
                                 metrics.horizontalAdvance(QStringLiteral("Hop 35")),
                                 metrics.horizontalAdvance(QStringLiteral("local time"))}) +
                       12;
    const int right = size.width() - 8;
    layout.header = QRect(0, 0, size.width(), line + 8);
    const int lossHeight = std::max(line + 4, 2 * MinLaneHeight);
    const int axisHeight = 2 * line + 8;
    const int top = layout.header.bottom() + 1 + BandBarHeight;
    const int room = size.height() - top - lossHeight - axisHeight - 2 * BandBarHeight;
    const int count = std::max<int>(1, int(hops.size()));
    layout.laneHeight = std::clamp(room / count, MinLaneHeight, MaxLaneHeight);
    if (hops.empty()) layout.laneHeight = MaxLaneHeight;
    layout.plot = QRect(gutter, top, std::max(0, right - gutter), layout.laneHeight * count);
    layout.lossLane =
        QRect(gutter, layout.plot.bottom() + 1 + BandBarHeight, layout.plot.width(), lossHeight);
    layout.axis = QRect(gutter, layout.lossLane.bottom() + 1 + BandBarHeight, layout.plot.width(),
                        axisHeight);
    layout.labels = QRect(0, top, gutter, layout.axis.bottom() - top + 1);
    return layout;
}

void TimelinePainter::paint(QPainter& painter, const Layout& layout, const TimelineScale& scale,
                            const QRect& exposed) const {
    painter.save();
    painter.setFont(font_);
    painter.fillRect(exposed, palette_.color(QPalette::Window));
    painter.fillRect(layout.plot.united(layout.lossLane).intersected(exposed), base_);

    const int width = scale.columnWidth();
    const qint64 columns = scale.columnCount(state_.SamplesTaken);
    const qint64 fromColumn =
        scale.firstColumn + std::max(0, exposed.left() - layout.plot.left()) / width;
    const qint64 toColumn =
        std::min<qint64>({columns, scale.firstColumn + layout.columnsShown(scale),
                          scale.firstColumn + (exposed.right() - layout.plot.left()) / width + 1});
    painter.setClipRect(exposed);
    if (fromColumn < toColumn) {
        paintCells(painter, layout, scale, fromColumn, toColumn);
        paintLoss(painter, layout, scale, fromColumn, toColumn);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paintWindowBand(painter, layout, scale);
    if (exposed.intersects(layout.header)) paintHeader(painter, layout, scale);
    if (exposed.intersects(layout.labels)) paintLabels(painter, layout);
    if (exposed.intersects(layout.axis)) paintAxis(painter, layout, scale);
    painter.restore();
}

void TimelinePainter::paintCells(QPainter& painter, const Layout& layout,
                                 const TimelineScale& scale, qint64 fromColumn,
                                 qint64 toColumn) const {
    const int width = scale.columnWidth();
    const qint64 perColumn = scale.roundsPerColumn();
    // A gap between lanes while they are tall enough to spare it.
    const int gap = layout.laneHeight >= 8 ? 1 : 0;
    const int cellHeight = layout.laneHeight - gap;
    // The cells go into an image a logical pixel a pixel, drawn in one call: thousands of small
    // rectangles cost the painter far more than writing their pixels.
    const int left = layout.plot.left() + int(fromColumn - scale.firstColumn) * width;
    QImage cells(int(toColumn - fromColumn) * width, layout.plot.height(), QImage::Format_RGB32);
    cells.fill(base_);
    const QRgb lost = text_.rgb();
    const auto fill = [&cells](int x, int y, int w, int h, QRgb color) {
        for (int row = y; row < y + h; ++row) {
            auto* line = reinterpret_cast<QRgb*>(cells.scanLine(row));
            std::fill(line + x, line + x + w, color);
        }
    };
    for (size_t lane = 0; lane < layout.hops.size(); ++lane) {
        const int index = layout.hops[lane] - 1;
        if (index < 0 || index >= state_.HopList.count()) continue;
        const THostInfo& record = state_.HopList.at(index);
        const int top = int(lane) * layout.laneHeight;
        for (qint64 column = fromColumn; column < toColumn; ++column) {
            const qint64 first = scale.firstRoundOf(column);
            const TimelineCell cell = TimelineCell::over(record, first, first + perColumn - 1);
            if (cell.blank()) continue;
            const int x = int(column - fromColumn) * width;
            // Lost probes fill the cell's lower part by their share, at least one pixel.
            int lostHeight = 0;
            if (cell.lost) {
                lostHeight = std::max(1, int(std::lround(cell.lostShare() * cellHeight)));
                fill(x, top + cellHeight - lostHeight, width, lostHeight, lost);
            }
            if (cell.answered && lostHeight < cellHeight) {
                // The worst answer shows, so that a spike stays visible however far zoomed out.
                fill(x, top, width, cellHeight - lostHeight,
                     latencyColor(cell.worstUs / 1000.0, options_, base_).rgb());
            }
        }
    }
    painter.drawImage(QRect(left, layout.plot.top(), cells.width(), cells.height()), cells);
}

void TimelinePainter::paintLoss(QPainter& painter, const Layout& layout, const TimelineScale& scale,
                                qint64 fromColumn, qint64 toColumn) const {
    const int destination = state_.DestinationHop;
    if (destination < 1 || destination > state_.HopList.count()) return;
    const THostInfo& record = state_.HopList.at(destination - 1);
    const int width = scale.columnWidth();
    const QRect lane = layout.lossLane;
    for (qint64 column = fromColumn; column < toColumn; ++column) {
        const qint64 first = scale.firstRoundOf(column);
        const TimelineCell cell =
            TimelineCell::over(record, first, first + scale.roundsPerColumn() - 1);
        if (!cell.lost) continue;
        const int height = std::max(1, int(std::lround(cell.lostShare() * lane.height())));
        const int x = layout.plot.left() + int(column - scale.firstColumn) * width;
        painter.fillRect(x, lane.bottom() + 1 - height, width, height, text_);
    }
}

void TimelinePainter::paintWindowBand(QPainter& painter, const Layout& layout,
                                      const TimelineScale& scale) const {
    const SampleWindow& window = state_.Window;
    if (window.LastSample < window.FirstSample || state_.SamplesTaken <= 0) return;
    const int width = scale.columnWidth();
    const qint64 firstShown = scale.firstColumn;
    const qint64 lastShown = firstShown + layout.columnsShown(scale);
    const qint64 from = std::max(scale.columnOf(window.FirstSample + 1), firstShown);
    const qint64 to = std::min(scale.columnOf(window.LastSample + 1) + 1, lastShown);
    if (from >= to) return;
    const int left = layout.plot.left() + int(from - firstShown) * width;
    const int right = layout.plot.left() + int(to - firstShown) * width;
    const QColor band = bandColor(palette_);
    // Bars above the lanes and below the loss lane carry the band, and lines mark its ends; the
    // cells between keep their colours, which must read true.
    painter.fillRect(QRect(left, layout.plot.top() - BandBarHeight, right - left, BandBarHeight),
                     band);
    painter.fillRect(QRect(left, layout.lossLane.bottom() + 1, right - left, BandBarHeight), band);
    painter.setPen(QPen(band, 1.5));
    for (int x : {left, right}) {
        painter.drawLine(QPointF(x, layout.plot.top() - BandBarHeight),
                         QPointF(x, layout.lossLane.bottom() + BandBarHeight));
    }
}

int TimelinePainter::swatch(QPainter& painter, int x, int y, const QColor& color,
                            const QString& text) const {
    const QFontMetrics metrics(font_);
    const int size = metrics.ascent() - 1;
    painter.fillRect(QRect(x, y + (metrics.height() - size) / 2, size, size), color);
    painter.setPen(palette_.color(QPalette::WindowText));
    painter.drawText(x + size + 4, y + metrics.ascent(), text);
    return x + size + 4 + metrics.horizontalAdvance(text) + 12;
}

void TimelinePainter::paintHeader(QPainter& painter, const Layout& layout,
                                  const TimelineScale& scale) const {
    const QFontMetrics metrics(font_);
    const int y = layout.header.top() + 4;
    const qint32 warning = options_.WarningSpeed;
    const qint32 bad = options_.BadSpeed;
    const QString title = QStringLiteral("Round trip");
    int x = std::max(layout.plot.left(), 8 + metrics.horizontalAdvance(title) + 10);
    painter.setPen(palette_.color(QPalette::WindowText));
    painter.drawText(8, y + metrics.ascent(), title);
    x = swatch(painter, x, y, latencyColor(warning * 0.5, options_, base_),
               QStringLiteral("\u2264 %1 ms").arg(warning));
    x = swatch(painter, x, y, latencyColor((warning + bad) / 2.0, options_, base_),
               QStringLiteral("\u2264 %1 ms").arg(bad));
    x = swatch(painter, x, y, latencyColor(bad * 1.5, options_, base_),
               QStringLiteral("> %1 ms").arg(bad));
    x = swatch(painter, x, y, text_, QStringLiteral("lost"));
    x = swatch(painter, x, y, bandColor(palette_), QStringLiteral("statistics"));

    // What the view spans, against the right edge while there is room for it.
    const qint64 rounds = state_.SamplesTaken;
    if (rounds <= 0) return;
    const qint64 first = scale.firstRoundOf(scale.firstColumn);
    const qint64 last =
        std::min(rounds, scale.firstRoundOf(scale.firstColumn + layout.columnsShown(scale)) - 1);
    QString span = first == last ? QStringLiteral("Round %1 of %2").arg(first).arg(rounds)
                                 : QStringLiteral("Rounds %1\u2013%2 of %3")
                                       .arg(first)
                                       .arg(std::max(first, last))
                                       .arg(rounds);
    if (scale.roundsPerColumn() > 1)
        span += QStringLiteral(", %1 per column").arg(scale.roundsPerColumn());
    const int spanWidth = metrics.horizontalAdvance(span);
    const int spanLeft = layout.plot.right() - spanWidth;
    if (spanLeft < x) return;
    painter.setPen(muted_);
    painter.drawText(spanLeft, y + metrics.ascent(), span);
}

void TimelinePainter::paintLabels(QPainter& painter, const Layout& layout) const {
    const QFontMetrics metrics(font_);
    const int right = layout.plot.left() - 6;
    painter.setPen(palette_.color(QPalette::WindowText));
    // Every lane is named while the lanes are tall enough; thinner ones every few lanes.
    const int every = std::max(1, int(std::ceil(double(metrics.height()) / layout.laneHeight)));
    for (size_t lane = 0; lane < layout.hops.size(); lane += size_t(every)) {
        const QString text = QString::number(layout.hops[lane]);
        const int middle =
            layout.plot.top() + int(lane) * layout.laneHeight + layout.laneHeight / 2;
        painter.drawText(QRect(0, middle - metrics.height() / 2, right, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, text);
    }
    if (!layout.hops.empty()) {
        painter.setPen(muted_);
        painter.drawText(QRect(4, layout.plot.top(), right, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Hop"));
    }
    painter.setPen(palette_.color(QPalette::WindowText));
    painter.drawText(QRect(4, layout.lossLane.top(), right, layout.lossLane.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Dest. loss"));
    painter.setPen(muted_);
    painter.drawText(
        QRect(4, layout.axis.top() + 4, right, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
        state_.RoundStartsUtcUs.empty() ? QStringLiteral("round") : QStringLiteral("local time"));
}

void TimelinePainter::paintAxis(QPainter& painter, const Layout& layout,
                                const TimelineScale& scale) const {
    const QFontMetrics metrics(font_);
    const QColor ink = palette_.color(QPalette::WindowText);
    painter.setPen(QPen(muted_, 1));
    const int baseline = layout.axis.top() + 1;
    painter.drawLine(layout.axis.left(), baseline, layout.axis.right(), baseline);

    const qint64 rounds = state_.SamplesTaken;
    const qint64 firstColumn = scale.firstColumn;
    const qint64 endColumn =
        std::min(scale.columnCount(rounds), firstColumn + layout.columnsShown(scale));
    if (endColumn <= firstColumn) return;
    const int width = scale.columnWidth();
    const auto timeOf = [this, &scale](qint64 column) {
        return state_.roundStartUtcUs(qint32(scale.firstRoundOf(column)));
    };
    const qint64 firstTime = timeOf(firstColumn);
    const qint64 lastTime = timeOf(endColumn - 1);
    const bool timed = firstTime > 0 && lastTime > 0;
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("00:00:00")) + 16;
    const double columnsPerLabel = double(labelWidth) / width;

    // Ticks where a column's time (or round) crosses a multiple of the step.
    qint64 step = 0;
    if (timed) {
        const double secondsPerColumn =
            double(lastTime - firstTime) / 1e6 / std::max<qint64>(1, endColumn - 1 - firstColumn);
        step = TimeSteps.back();
        for (qint64 candidate : TimeSteps) {
            if (candidate >= secondsPerColumn * columnsPerLabel) {
                step = candidate;
                break;
            }
        }
    } else {
        step = roundStep(qint64(std::ceil(columnsPerLabel * scale.roundsPerColumn())));
    }
    const bool seconds = step < 60;
    // Ticks fall on whole local steps (12:00, 12:15), as a clock shows them; the offset is
    // taken once, as the zone's rules are costly to ask for every column.
    const qint64 offset =
        timed ? QDateTime::fromMSecsSinceEpoch(firstTime / 1000).toLocalTime().offsetFromUtc() : 0;
    qint64 previousTick = -1;
    int labelEnd = layout.axis.left() - 1;
    QString previousDay;
    painter.setPen(ink);
    for (qint64 column = firstColumn; column < endColumn; ++column) {
        const qint64 round = scale.firstRoundOf(column);
        qint64 tick = 0;
        qint64 utcUs = 0;
        if (timed) {
            utcUs = timeOf(column);
            if (utcUs <= 0) continue;
            tick = (utcUs / 1000000 + offset) / step;
        } else {
            tick = (round - 1) / step;
        }
        const bool crossed = previousTick >= 0 && tick != previousTick;
        previousTick = tick;
        if (!crossed && !(column == firstColumn && round == 1)) continue;
        const int x = layout.plot.left() + int(column - firstColumn) * width;
        painter.setPen(QPen(muted_, 1));
        painter.drawLine(x, baseline, x, baseline + 4);
        const QString text = timed ? localTimeText(utcUs, seconds) : QString::number(round);
        const int textWidth = metrics.horizontalAdvance(text);
        const int left = std::max(x - textWidth / 2, layout.axis.left());
        if (left <= labelEnd || left + textWidth > layout.axis.right() + 8) continue;
        painter.setPen(ink);
        painter.drawText(left, baseline + 5 + metrics.ascent(), text);
        labelEnd = left + textWidth + 6;
        if (!timed) continue;
        // The date under the first label and wherever the day changes.
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(utcUs / 1000).toLocalTime();
        const QString day = local.toString(QStringLiteral("ddd d MMM"));
        if (day == previousDay) continue;
        previousDay = day;
        painter.setPen(muted_);
        painter.drawText(left, baseline + 5 + metrics.height() + metrics.ascent(), day);
    }
}

}  // namespace hoplark
