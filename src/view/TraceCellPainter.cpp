#include "view/TraceCellPainter.h"

#include <QDataStream>
#include <QIODevice>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "trace/UnreachableReason.h"
#include "view/GraphPoints.h"
#include "view/GridEvidence.h"
#include "view/TraceGrid.h"

namespace hoplark {

namespace {

const std::array<QString, 6> ColumnTitles = {QStringLiteral("Hop"),      QStringLiteral("Err"),
                                             QStringLiteral("IP"),       QStringLiteral("DNS Name"),
                                             QStringLiteral("Avg Time"), QStringLiteral("Graph")};

// Numbers start this far into their cell: the main window font's point size, as pixels.
constexpr int NumberIndent = 9;

const QColor Red(255, 0, 0);
const QColor Yellow(255, 255, 0);
const QColor Lime(0, 255, 0);
const QColor Blue(0, 0, 255);
const QColor Black(0, 0, 0);
const QColor LabelGreen(0, 128, 0);

// Relative luminance and contrast ratio as the WCAG define them.
double RelativeLuminance(const QColor& color) {
    const auto channel = [](double value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

constexpr double ReadableContrast = 4.5;
constexpr double SmallTextContrast = 9.0;

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

const QColor TraceCellPainter::UnreachableColor(255, 230, 230);
const QColor TraceCellPainter::BandNormalColor(218, 255, 217);
const QColor TraceCellPainter::BandWarningColor(255, 254, 230);
const QColor TraceCellPainter::BandBadColor(255, 230, 230);

TraceCellPainter::SystemColors TraceCellPainter::SystemColors::fromPalette(
    const QPalette& palette) {
    return {palette.color(QPalette::Button), palette.color(QPalette::Base),
            palette.color(QPalette::ButtonText), palette.color(QPalette::Light),
            palette.color(QPalette::Dark)};
}

TraceCellPainter::TraceCellPainter(std::function<const TraceState&()> state,
                                   const DisplayOptions& options, const TTraceGrid& grid)
    : state_(std::move(state)),
      options_(options),
      grid_(grid),
      SavedFont(grid.drawingFont()),
      colors_(SystemColors::fromPalette(grid.palette())),
      statistics_(options),
      themeGeneration_(grid.themeGeneration()) {}

void TraceCellPainter::followTheme() {
    if (themeGeneration_ == grid_.themeGeneration()) return;
    themeGeneration_ = grid_.themeGeneration();
    colors_ = SystemColors::fromPalette(grid_.palette());
    // The saved font keeps its face and size; its colour is the grid's drawing colour now.
    SavedFont.color = grid_.drawingFont().color;
}

void TraceCellPainter::drgrTraceDrawCell(Canvas& canvas, int Col, int Row, const CellRect& Rect,
                                         bool fixed) {
    followTheme();
    if (fixed) {
        drawHeaderCell(canvas, Col, Rect);
        return;
    }
    const HopTable& HopList = state_().HopList;
    if (Row > HopList.count() || Row <= 0) {
        canvas.setBrushColor(colors_.ButtonFace);
        canvas.fillRect(Rect);
        return;
    }
    const THostInfo& r = HopList.at(Row - 1);
    const int textTop = Rect.top + 2;
    const bool verdicts = options_.LossVerdicts && evidence_ != nullptr;

    const QColor rowBackground =
        r.Unreachable && options_.ColorGraphs ? UnreachableColor : colors_.Window;
    if (const std::optional<StatisticsColumn> column = statistics_.columnOf(Col)) {
        if (r.Unreachable) {
            canvas.setBrushColor(rowBackground);
            canvas.fillRect(Rect);
            useTextColorOn(canvas, SavedFont.color, rowBackground);
            drawUnreachableOverflow(canvas, r, Rect);
            return;
        }
        const WindowStatistics* stats = statistics_.statisticsOf(Row);
        useTextColorOn(canvas, SavedFont.color,
                       statistics_.background(*column, stats, rowBackground));
        statistics_.drawCell(canvas, *column, Row, stats, Rect, rowBackground);
        return;
    }
    if (!(Col == 5 && options_.ColorGraphs)) {
        canvas.setBrushColor(rowBackground);
        canvas.fillRect(Rect);
    }
    useTextColorOn(canvas, SavedFont.color, rowBackground);

    switch (Col) {
        case 0:
            if (options_.ColorHops) {
                // Strict comparisons: an average equal to a threshold takes the lower colour.
                if (r.AvgTime > options_.BadSpeed) {
                    canvas.setBrushColor(Red);
                } else if (r.AvgTime > options_.WarningSpeed) {
                    canvas.setBrushColor(Yellow);
                } else if (r.HasReplies()) {
                    canvas.setBrushColor(Lime);
                }
            }
            // The opaque text fills the whole cell, so its brush becomes the cell's colour.
            useTextColorOn(canvas, SavedFont.color, canvas.brushColor());
            if (!r.Unreachable) {
                canvas.textRect(Rect, Rect.left + NumberIndent, textTop, QString::number(r.Hop));
            }
            break;
        case 1:
            if (r.LostCount > 0 && !r.Unreachable) {
                const bool muted = verdicts && evidence_->rateLimited(Row);
                const QColor textColor = canvas.font().color;
                if (muted) canvas.setFontColor(GridEvidence::MutedColor);
                canvas.textRect(Rect, Rect.left + NumberIndent, textTop,
                                QString::number(r.LostCount));
                if (muted) canvas.setFontColor(textColor);
            }
            break;
        case 2:
            if (!r.Unreachable) {
                const QString text = verdicts ? evidence_->ipText(Row) : r.IP;
                canvas.textRect(Rect, Rect.left + 2, textTop,
                                ElideAddress(canvas, text, Rect.right - Rect.left - 4));
            }
            break;
        case 3:
            canvas.textRect(Rect, Rect.left + 2, textTop,
                            r.Unreachable ? unreachableText(r) : r.DNSName);
            break;
        case 4:
            if (r.Unreachable) {
                drawUnreachableOverflow(canvas, r, Rect);
                break;
            }
            canvas.textRect(Rect, Rect.left + NumberIndent, textTop, averageText(r));
            if (options_.ShowCurrentTime) {
                CellRect R2 = Rect;
                R2.left += canvas.textWidth(widestTime()) + 2 * NumberIndent;
                canvas.setFontColor(Blue);
                useTextColorOn(canvas, Blue, rowBackground);
                canvas.textRect(R2, R2.left, textTop, QStringLiteral("(%1)").arg(currentText(r)));
                canvas.setFontColor(colors_.ButtonText);
            }
            break;
        case TTraceGrid::GraphCol:
            drawGraphCell(canvas, Row, Rect);
            if (r.Unreachable) drawUnreachableOverflow(canvas, r, Rect);
            break;
        default:
            break;
    }
}

QString TraceCellPainter::ElideAddress(const Canvas& canvas, const QString& text, int width) {
    // IPv4 text is drawn as it always was; an IPv6 address too long for the column keeps its
    // first and last groups, which tell routers apart, around an ellipsis.
    if (!text.contains(u':') || canvas.textWidth(text) <= width) return text;
    const QChar ellipsis(0x2026);
    for (qsizetype keep = text.size() - 1; keep > 1; --keep) {
        const qsizetype head = (keep + 1) / 2;
        const QString shown = text.left(head) + ellipsis + text.right(keep - head);
        if (canvas.textWidth(shown) <= width) return shown;
    }
    return QString(ellipsis);
}

QString TraceCellPainter::averageText(const THostInfo& r) const {
    if (!options_.ShowFractions) return QString::number(r.AvgTime);
    // "0.00" would read as a measured time; a window without an answer shows none.
    if (r.WindowAnswers == 0) return QString();
    return QString::number(r.AvgTimeUs / 1000.0, 'f', 2);
}

QString TraceCellPainter::currentText(const THostInfo& r) const {
    if (r.CurTime == LOST_SAMPLE) return QStringLiteral("ERR");
    // A value the statistics never take has no microseconds: it shows as it was merged.
    if (!options_.ShowFractions || r.CurTimeUs < 0) return QString::number(r.CurTime);
    return QString::number(r.CurTimeUs / 1000.0, 'f', 2);
}

QString TraceCellPainter::widestTime() const {
    return options_.ShowFractions ? QStringLiteral("9999.99") : QStringLiteral("9999");
}

QString TraceCellPainter::unreachableText(const THostInfo& r) const {
    const TraceState& state = state_();
    if (!options_.UnreachableReasons || state.UnreachableFrom.isEmpty()) return r.DNSName;
    return r.DNSName + QStringLiteral(": ") +
           UnreachableReasonText(state.UnreachableFrom, state.UnreachableCode);
}

void TraceCellPainter::drawUnreachableOverflow(Canvas& canvas, const THostInfo& r,
                                               const CellRect& Rect) const {
    canvas.textRectTransparent(Rect, grid_.colLeft(3) + 2, Rect.top + 2, unreachableText(r));
}

void TraceCellPainter::drawHeaderCell(Canvas& canvas, int Col, const CellRect& Rect) const {
    const int W = grid_.colWidth(Col) - 1;
    canvas.setBrushColor(colors_.ButtonFace);
    canvas.fillRect(Rect);
    canvas.drawRaisedInnerEdge(Rect, colors_.Highlight3D, colors_.Shadow3D);
    const CellRect R1{Rect.left + 1, Rect.top + 1, Rect.right - 1, Rect.bottom - 1};
    const int textTop = Rect.top + 2;
    useTextColorOn(canvas, colors_.ButtonText, colors_.ButtonFace);
    // The cell is filled already: the titles go on it transparently, so that on a scaled
    // screen the inner rectangle does not cover part of edges wider than one device pixel.
    canvas.setBrushClear();

    if (Col == 4 && options_.ShowCurrentTime) {
        const int x0 = Rect.left + (W - canvas.textWidth(QStringLiteral("Avg/(Cur) Time"))) / 2;
        canvas.textRectTransparent(R1, x0, textTop, QStringLiteral("Avg/"));
        canvas.moveTo(x0 + canvas.textWidth(QStringLiteral("Avg/")), textTop);
        canvas.setFontColor(Blue);
        useTextColorOn(canvas, Blue, colors_.ButtonFace);
        canvas.textOutAtPen(QStringLiteral("(Cur)"));
        canvas.setFontColor(colors_.ButtonText);
        canvas.textOutAtPen(QStringLiteral(" Time"));
        return;
    }
    const std::optional<StatisticsColumn> statistic = statistics_.columnOf(Col);
    const QString title =
        statistic ? StatisticsColumnTitle(*statistic) : ColumnTitles[static_cast<size_t>(Col)];
    canvas.textRectTransparent(R1, Rect.left + (W - canvas.textWidth(title)) / 2, textTop, title);
}

void TraceCellPainter::drawGraphCell(Canvas& canvas, int Row, const CellRect& Rect) const {
    const TraceState& state = state_();
    const HopTable& HopList = state.HopList;
    const bool us = options_.ShowFractions;
    const qint32 GraphScale =
        us ? MicrosecondGraphScale(state.GraphScale, HopList) : state.GraphScale;
    const THostInfo& r = HopList.at(Row - 1);
    const int W = grid_.colWidth(5) - 1;
    const int H = grid_.defaultRowHeight();
    const int ymid = Rect.top + H / 2;

    // What the scale labels stand on, at the cell's left and right ends.
    QColor leftBackground = colors_.Window;
    QColor rightBackground = colors_.Window;
    if (options_.ColorGraphs) {
        // Bands use the full column width; a threshold equal to the scale gets no band.
        std::optional<int> xw;
        std::optional<int> xb;
        if (options_.WarningSpeed < GraphScale) {
            xw = LatencyToX(Rect.left, options_.WarningSpeed, GraphScale, W + 1);
            if (options_.BadSpeed < GraphScale) {
                xb = LatencyToX(Rect.left, options_.BadSpeed, GraphScale, W + 1);
            }
        }
        const int bandBottom = Rect.top + H;
        canvas.setBrushColor(BandNormalColor);
        canvas.fillRect({Rect.left, Rect.top, xw.value_or(Rect.right), bandBottom});
        if (xw) {
            canvas.setBrushColor(BandWarningColor);
            canvas.fillRect({*xw, Rect.top, xb.value_or(Rect.right), bandBottom});
        }
        if (xb) {
            canvas.setBrushColor(BandBadColor);
            canvas.fillRect({*xb, Rect.top, Rect.right, bandBottom});
        }
        leftBackground = BandNormalColor;
        rightBackground = xb ? BandBadColor : xw ? BandWarningColor : BandNormalColor;
    }

    if (Row == 1) {
        canvas.setFont({QStringLiteral("Times New Roman"), 7, LabelGreen});
        canvas.setBrushClear();
        // The small labels' smoothed edges are paler than their colour: they aim higher.
        useTextColorOn(canvas, LabelGreen, leftBackground, SmallTextContrast);
        canvas.textOut(Rect.left + 4, Rect.top, QStringLiteral("0"));
        useTextColorOn(canvas, LabelGreen, rightBackground, SmallTextContrast);
        const QString scaleText = QString::number(GraphScale);
        canvas.textOut(Rect.right - canvas.textWidth(scaleText) - 4, Rect.top, scaleText);
        canvas.setFont(SavedFont);
    }

    const GraphPoints points = ComputeGraphPoints(Row - 1, Rect, W, H, GraphScale, HopList, us);
    // Each mark from its milliseconds, or with fractions from its microseconds.
    const auto x = [&](qint32 ms, double microseconds) {
        return us ? LatencyUsToX(Rect.left, microseconds, GraphScale, W)
                  : LatencyToX(Rect.left, ms, GraphScale, W);
    };

    canvas.setPenWidth(1);
    if (r.HasReplies() && (!us || r.WindowAnswers > 0)) {
        canvas.setPenColor(Black);
        const int xmin = x(r.MinTime, r.MinTimeUs);
        const int xmax = x(r.MaxTime, r.MaxTimeUs);
        canvas.moveTo(xmin, ymid - 1);
        canvas.lineTo(xmin, ymid + 2);
        canvas.moveTo(xmin, ymid);
        canvas.lineTo(xmax, ymid);
        canvas.moveTo(xmax, ymid - 1);
        canvas.lineTo(xmax, ymid + 2);
    }
    canvas.setPenColor(Red);
    if (points.PrevPoint.x() > 0 && points.CurPoint.x() > 0) {
        canvas.moveTo(points.PrevPoint);
        canvas.lineTo(points.CurPoint);
    }
    if (points.NextPoint.x() > 0) {
        canvas.moveTo(points.CurPoint);
        canvas.lineTo(points.NextPoint);
    }
    if (points.DotPoint.x() > 0) {
        canvas.setPenWidth(4);
        canvas.moveTo(points.DotPoint);
        canvas.lineTo(points.DotPoint);
    }
    if (r.HasReplies() && options_.GraphCurrentSample && r.CurTime != LOST_SAMPLE) {
        const int xc = r.CurTimeUs >= 0 ? x(r.CurTime, r.CurTimeUs)
                                        : LatencyToX(Rect.left, r.CurTime, GraphScale, W);
        const int yc = ymid;
        canvas.setPenColor(Blue);
        canvas.setPenWidth(1);
        canvas.moveTo(xc - 3, yc - 3);
        canvas.lineTo(xc + 4, yc + 4);
        canvas.moveTo(xc + 3, yc - 3);
        canvas.lineTo(xc - 4, yc + 4);
    }
}

QByteArray TraceCellPainter::rowSignature(int Row, const CellRect& rowRect) {
    followTheme();
    QByteArray signature;
    QDataStream out(&signature, QIODevice::WriteOnly);
    const TraceState& state = state_();
    out << Row << rowRect.left << rowRect.top << rowRect.right << rowRect.bottom;
    for (int col = 0; col < grid_.columnCount(); ++col)
        out << grid_.colWidth(col);
    out << StatisticsColumnsText(options_.ShownStatistics);
    for (const QColor& color : {colors_.ButtonFace, colors_.Window, colors_.ButtonText,
                                colors_.Highlight3D, colors_.Shadow3D, SavedFont.color})
        out << color.rgba();
    out << SavedFont.name << SavedFont.pointSize;
    out << options_.WarningSpeed << options_.BadSpeed << options_.ColorHops << options_.ColorGraphs
        << options_.GraphCurrentSample << options_.ShowCurrentTime << options_.ShowFractions
        << options_.LossVerdicts << options_.UnreachableReasons;
    if (Row <= 0 || Row > state.HopList.count()) return signature;

    out << state.GraphScale << state.Window.FirstSample << state.Window.LastSample;
    if (options_.UnreachableReasons)
        out << state.UnreachableFrom << qint32(state.UnreachableCode.value_or(0))
            << state.UnreachableCode.has_value();
    if (options_.ShowFractions) out << MicrosecondGraphScale(state.GraphScale, state.HopList);
    const auto record = [&out](const THostInfo& r) {
        out << r.Hop << r.IP << r.DNSName << r.AvgTime << r.MinTime << r.MaxTime << r.CurTime
            << r.Unreachable << r.LostCount << quint64(r.Samples.size()) << r.Revision
            << r.AvgTimeUs << r.MinTimeUs << r.MaxTimeUs << r.CurTimeUs << r.WindowAnswers;
    };
    const HopTable& HopList = state.HopList;
    const int index = Row - 1;
    record(HopList.at(index));
    // A verdict and a main responder can change with results of other hops.
    if (options_.LossVerdicts && evidence_ != nullptr)
        out << evidence_->rateLimited(Row) << evidence_->ipText(Row);
    if (!options_.ShownStatistics.empty()) {
        const WindowStatistics* stats = statistics_.statisticsOf(Row);
        for (StatisticsColumn column : options_.ShownStatistics)
            out << statistics_.text(column, stats)
                << statistics_.background(column, stats, Qt::white).rgba();
    }
    // The nearest replying hops above and below: the line of this row ends at their points.
    const auto neighbour = [&out](int k, const THostInfo& r) {
        out << k << r.AvgTime << r.AvgTimeUs << quint64(r.Samples.size()) << r.Revision
            << r.WindowAnswers;
    };
    for (int k = index - 1; k >= 0; --k) {
        if (HopList.at(k).HasReplies()) {
            neighbour(k, HopList.at(k));
            break;
        }
    }
    out << -1;
    for (int k = index + 1; k < HopList.count(); ++k) {
        if (HopList.at(k).HasReplies()) {
            neighbour(k, HopList.at(k));
            break;
        }
    }
    return signature;
}

int TraceCellPainter::reachAbove(int Row) const {
    const HopTable& HopList = state_().HopList;
    if (Row <= 0 || Row > HopList.count()) return Row;
    for (int k = Row - 2; k >= 0; --k) {
        if (HopList.at(k).HasReplies()) return k + 1;
    }
    return Row;
}

bool TraceCellPainter::darkTheme() const {
    return colors_.Window.lightness() < 128;
}

QColor TraceCellPainter::readable(const QColor& text, const QColor& background,
                                  double contrast) const {
    // A light theme keeps every colour as it is; a dark one keeps a colour that reads well.
    if (!darkTheme() || ContrastRatio(text, background) >= contrast) return text;
    const QColor pole = ContrastRatio(Black, background) >= ContrastRatio(Qt::white, background)
                            ? Black
                            : QColor(Qt::white);
    // Plain text becomes black or white; a coloured one keeps its hue, lightened or darkened
    // just enough (the current time's blue turns light blue on a dark window).
    if (text.hsvSaturation() < 64) return pole;
    for (int step = 1; step < 10; ++step) {
        const double t = step / 10.0;
        const QColor mixed = QColor::fromRgbF(float(text.redF() * (1 - t) + pole.redF() * t),
                                              float(text.greenF() * (1 - t) + pole.greenF() * t),
                                              float(text.blueF() * (1 - t) + pole.blueF() * t));
        if (ContrastRatio(mixed, background) >= contrast) return mixed;
    }
    return pole;
}

void TraceCellPainter::useTextColorOn(Canvas& canvas, const QColor& text, const QColor& background,
                                      double contrast) const {
    if (darkTheme()) canvas.setFontColor(readable(text, background, contrast));
}

QString TraceCellPainter::rowDescription(int Row) const {
    const HopTable& HopList = state_().HopList;
    if (Row <= 0 || Row > HopList.count()) return {};
    const THostInfo& r = HopList.at(Row - 1);
    if (r.Unreachable) return QStringLiteral("hop %1, %2").arg(r.Hop).arg(unreachableText(r));
    QStringList parts{QStringLiteral("hop %1").arg(r.Hop)};
    parts << (r.IP.isEmpty() ? QStringLiteral("no answer") : r.IP);
    if (!r.DNSName.isEmpty() && r.DNSName != NO_NAME) parts << r.DNSName;
    if (r.HasReplies()) parts << QStringLiteral("average %1 ms").arg(averageText(r));
    if (r.LostCount > 0) parts << QStringLiteral("%1 lost").arg(r.LostCount);
    return parts.join(QStringLiteral(", ")) + statistics_.description(Row);
}

}  // namespace hoplark
