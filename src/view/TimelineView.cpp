#include "view/TimelineView.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTimeZone>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "view/TimelineCell.h"

namespace hoplark {

namespace {

QString utcText(qint64 utcUs) {
    return QDateTime::fromMSecsSinceEpoch(utcUs / 1000, QTimeZone::utc())
               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" UTC");
}

QString localText(qint64 utcUs) {
    return QDateTime::fromMSecsSinceEpoch(utcUs / 1000)
        .toLocalTime()
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t"));
}

}  // namespace

TimelineView::TimelineView(StateSource state, HopCount hops, const DisplayOptions& options,
                           QWidget* parent)
    : QWidget(parent),
      state_(std::move(state)),
      hops_(std::move(hops)),
      options_(options),
      scrollBar_(new QScrollBar(Qt::Horizontal, this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setMinimumHeight(120);
    setAccessibleName(QStringLiteral("Latency timeline"));
    scrollBar_->setRange(0, 0);
    connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (value == scale_.firstColumn) return;
        scale_.firstColumn = value;
        following_ = value == scrollBar_->maximum();
        update();
    });
}

QSize TimelineView::paintedSize() const {
    return {width(), std::max(0, height() - scrollBar_->sizeHint().height())};
}

TimelinePainter TimelineView::painter() const {
    return TimelinePainter(state_(), options_, palette(), font());
}

std::vector<qint32> TimelineView::shownHops() const {
    std::vector<qint32> shown;
    const int count = std::min(hops_(), state_().HopList.count());
    for (qint32 hop = 1; hop <= count; ++hop) {
        if (!hidden_.contains(hop)) shown.push_back(hop);
    }
    return shown;
}

void TimelineView::setHopShown(qint32 hop, bool shown) {
    if (shown) {
        hidden_.erase(hop);
    } else {
        hidden_.insert(hop);
    }
    update();
}

TimelinePainter::Layout TimelineView::currentLayout() const {
    return painter().layout(paintedSize(), shownHops());
}

TimelineView::ViewKey TimelineView::currentKey() const {
    const TraceState& state = state_();
    ViewKey key;
    key.rounds = state.SamplesTaken;
    key.firstColumn = scale_.firstColumn;
    key.zoom = scale_.zoom;
    key.windowFirst = state.Window.FirstSample;
    key.windowLast = state.Window.LastSample;
    key.hops = int(shownHops().size());
    key.destination = state.DestinationHop;
    key.warning = options_.WarningSpeed;
    key.bad = options_.BadSpeed;
    key.target = state.TargetAddress;
    key.firstRoundUtcUs = state.roundStartUtcUs(1);
    return key;
}

qint64 TimelineView::firstUnsettledRound() const {
    const TraceState& state = state_();
    qint64 first = qint64(state.SamplesTaken) + 1;
    for (qint32 hop : shownHops())
        first = std::min<qint64>(first, qint64(state.HopList.at(hop - 1).FirstUnsettled()) + 1);
    return first;
}

void TimelineView::updateScrollRange() {
    const TimelinePainter::Layout layout = currentLayout();
    const qint64 columns = scale_.columnCount(state_().SamplesTaken);
    const qint64 maximum = std::max<qint64>(0, columns - layout.columnsShown(scale_));
    const QSignalBlocker blocker(scrollBar_);
    scrollBar_->setRange(0, int(maximum));
    scrollBar_->setPageStep(std::max(1, layout.columnsShown(scale_)));
    if (following_ || scale_.firstColumn > maximum) scale_.firstColumn = maximum;
    scrollBar_->setValue(int(scale_.firstColumn));
}

void TimelineView::refresh() {
    if (!isVisible()) return;
    updateScrollRange();
    const ViewKey key = currentKey();
    const qint64 unsettled = firstUnsettledRound();
    if (!(key == painted_)) {
        update();
    } else {
        // Only probes that were out, or are out now, can have changed their cells.
        const qint64 from = std::min(unsettled, unsettledFrom_);
        const TimelinePainter::Layout layout = currentLayout();
        const qint64 column = scale_.columnOf(std::max<qint64>(from, 1)) - scale_.firstColumn;
        if (column < layout.columnsShown(scale_)) {
            const int left =
                layout.plot.left() + int(std::max<qint64>(column, 0)) * scale_.columnWidth();
            update(QRect(QPoint(left, layout.plot.top()),
                         QPoint(layout.plot.right(), layout.lossLane.bottom())));
        }
    }
    painted_ = key;
    unsettledFrom_ = unsettled;
}

void TimelineView::setZoom(int zoom, std::optional<int> anchorX) {
    zoom = std::clamp(zoom, TimelineScale::MinZoom, TimelineScale::MaxZoom);
    if (zoom == scale_.zoom) return;
    const TimelinePainter::Layout layout = currentLayout();
    const int x = std::clamp(anchorX.value_or(layout.plot.center().x()), layout.plot.left(),
                             layout.plot.right());
    const int offset = x - layout.plot.left();
    const qint64 anchorRound =
        scale_.firstRoundOf(scale_.firstColumn + offset / scale_.columnWidth());
    scale_.zoom = zoom;
    following_ = false;
    scale_.firstColumn =
        std::max<qint64>(0, scale_.columnOf(anchorRound) - offset / scale_.columnWidth());
    updateScrollRange();
    following_ = scale_.firstColumn == scrollBar_->maximum();
    update();
}

void TimelineView::showAllRounds() {
    const qint64 rounds = std::max<qint64>(1, state_().SamplesTaken);
    const int plotWidth = currentLayout().plot.width();
    int zoom = TimelineScale::MaxZoom;
    TimelineScale candidate;
    for (; zoom > TimelineScale::MinZoom; --zoom) {
        candidate.zoom = zoom;
        if (candidate.columnCount(rounds) <= candidate.columnsIn(plotWidth)) break;
    }
    scale_.zoom = zoom;
    scale_.firstColumn = 0;
    following_ = true;
    updateScrollRange();
    update();
}

void TimelineView::scrollToColumn(qint64 column) {
    scrollBar_->setValue(int(std::clamp<qint64>(column, 0, scrollBar_->maximum())));
}

std::optional<qint64> TimelineView::roundAt(const QPoint& point) const {
    const TimelinePainter::Layout layout = currentLayout();
    const int bottom = layout.lossLane.bottom();
    if (point.x() < layout.plot.left() || point.y() < layout.plot.top() || point.y() > bottom)
        return std::nullopt;
    const qint64 column = (point.x() - layout.plot.left()) / scale_.columnWidth();
    if (column >= layout.columnsShown(scale_)) return std::nullopt;
    const qint64 round = scale_.firstRoundOf(scale_.firstColumn + column);
    if (round > state_().SamplesTaken) return std::nullopt;
    return round;
}

QRect TimelineView::cellRect(qint64 round, int lane) const {
    const TimelinePainter::Layout layout = currentLayout();
    const qint64 column = scale_.columnOf(round) - scale_.firstColumn;
    if (column < 0 || column >= layout.columnsShown(scale_) || lane < 0 ||
        lane >= int(layout.hops.size()))
        return {};
    return QRect(layout.plot.left() + int(column) * scale_.columnWidth(),
                 layout.plot.top() + lane * layout.laneHeight, scale_.columnWidth(),
                 layout.laneHeight);
}

QString TimelineView::toolTipAt(const QPoint& point) const {
    const std::optional<qint64> round = roundAt(point);
    if (!round) return {};
    const TraceState& state = state_();
    const qint64 first = *round;
    const qint64 last = std::min<qint64>(first + scale_.roundsPerColumn() - 1, state.SamplesTaken);
    QString tip = first == last ? QStringLiteral("<b>Round %1</b>").arg(first)
                                : QStringLiteral("<b>Rounds %1\u2013%2</b>").arg(first).arg(last);
    const qint64 startUs = state.roundStartUtcUs(qint32(first));
    if (startUs > 0) {
        tip += QStringLiteral("<br>%1<br>%2 local").arg(utcText(startUs), localText(startUs));
        const qint64 endUs = state.roundStartUtcUs(qint32(last));
        if (last != first && endUs > 0) {
            tip += QStringLiteral("<br>to %1<br>%2 local").arg(utcText(endUs), localText(endUs));
        }
    }
    const TimelinePainter::Layout layout = currentLayout();
    const int pointed = layout.laneAt(point.y());
    tip += QStringLiteral("<table cellspacing=0 cellpadding=1>");
    for (size_t lane = 0; lane < layout.hops.size(); ++lane) {
        const qint32 hop = layout.hops[lane];
        const THostInfo& record = state.HopList.at(hop - 1);
        const QString value =
            TimelineCell::over(record, first, last).text(options_, last - first + 1);
        QString row = QStringLiteral("<td align=right>%1</td><td>%2</td><td>%3</td>")
                          .arg(hop)
                          .arg(record.IP.toHtmlEscaped(), value.toHtmlEscaped());
        if (int(lane) == pointed) row = QStringLiteral("<b>") + row + QStringLiteral("</b>");
        tip += QStringLiteral("<tr>") + row + QStringLiteral("</tr>");
    }
    tip += QStringLiteral("</table>");
    return tip;
}

QImage TimelineView::image(qreal ratio) const {
    if (ratio <= 0) ratio = devicePixelRatioF();
    const QSize size = paintedSize();
    QImage image(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio)),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter target(&image);
    const TimelinePainter timeline = painter();
    timeline.paint(target, timeline.layout(size, shownHops()), scale_, QRect(QPoint(), size));
    return image;
}

void TimelineView::copyImage() const {
    QGuiApplication::clipboard()->setImage(image());
}

bool TimelineView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTipAt(help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), tip, this);
        }
        return true;
    }
    return QWidget::event(event);
}

void TimelineView::paintEvent(QPaintEvent* event) {
    QPainter target(this);
    const TimelinePainter timeline = painter();
    timeline.paint(target, timeline.layout(paintedSize(), shownHops()), scale_,
                   event->rect().intersected(QRect(QPoint(), paintedSize())));
}

void TimelineView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int bar = scrollBar_->sizeHint().height();
    scrollBar_->setGeometry(0, height() - bar, width(), bar);
    updateScrollRange();
}

void TimelineView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (const std::optional<qint64> round = roundAt(event->position().toPoint())) {
            emit roundClicked(qint32(*round));
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void TimelineView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int steps = (delta.y() != 0 ? delta.y() : -delta.x()) / 120;
    if (steps == 0) return;
    if (event->modifiers() & Qt::ControlModifier) {
        setZoom(scale_.zoom + steps, event->position().toPoint().x());
    } else {
        // Towards the newest rounds as the wheel turns down, a tenth of the view a notch.
        const qint64 notch = std::max<qint64>(1, scrollBar_->pageStep() / 10);
        scrollToColumn(scale_.firstColumn - steps * notch);
    }
    event->accept();
}

void TimelineView::keyPressEvent(QKeyEvent* event) {
    const qint64 page = scrollBar_->pageStep();
    switch (event->key()) {
        case Qt::Key_Left:
            scrollToColumn(scale_.firstColumn - 1);
            break;
        case Qt::Key_Right:
            scrollToColumn(scale_.firstColumn + 1);
            break;
        case Qt::Key_PageUp:
            scrollToColumn(scale_.firstColumn - page);
            break;
        case Qt::Key_PageDown:
            scrollToColumn(scale_.firstColumn + page);
            break;
        case Qt::Key_Home:
            scrollToColumn(0);
            break;
        case Qt::Key_End:
            scrollToColumn(scrollBar_->maximum());
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            setZoom(scale_.zoom + 1);
            break;
        case Qt::Key_Minus:
            setZoom(scale_.zoom - 1);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
}

QMenu* TimelineView::contextMenu() {
    if (!menu_) menu_ = new QMenu(this);
    menu_->clear();
    menu_->addAction(QStringLiteral("Zoom &In"), this, [this] { setZoom(scale_.zoom + 1); });
    menu_->addAction(QStringLiteral("Zoom &Out"), this, [this] { setZoom(scale_.zoom - 1); });
    menu_->addAction(QStringLiteral("Show &All Rounds"), this, &TimelineView::showAllRounds);
    menu_->addSeparator();
    QMenu* hops = menu_->addMenu(QStringLiteral("&Hops"));
    hops->addAction(QStringLiteral("&All Hops"), this, [this] {
        hidden_.clear();
        update();
    });
    hops->addSeparator();
    const TraceState& state = state_();
    const int count = std::min(hops_(), state.HopList.count());
    for (qint32 hop = 1; hop <= count; ++hop) {
        const QString address = state.HopList.at(hop - 1).IP;
        QAction* item =
            hops->addAction(address.isEmpty() ? QString::number(hop)
                                              : QStringLiteral("%1  %2").arg(hop).arg(address));
        item->setCheckable(true);
        item->setChecked(!hidden_.contains(hop));
        connect(item, &QAction::toggled, this, [this, hop](bool on) { setHopShown(hop, on); });
    }
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("&Copy Timeline as Image"), this, &TimelineView::copyImage);
    return menu_;
}

void TimelineView::contextMenuEvent(QContextMenuEvent* event) {
    contextMenu()->popup(event->globalPos());
}

}  // namespace hoplark
