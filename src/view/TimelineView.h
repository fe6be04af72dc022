#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "trace/TraceState.h"
#include "view/DisplayOptions.h"
#include "view/TimelinePainter.h"
#include "view/TimelineScale.h"

class QMenu;
class QScrollBar;

namespace hoplark {

// Latency over time: every hop's round trips, round by round, as a heat map over the whole
// trace, live or stored. It scrolls and zooms (the wheel scrolls, Ctrl+wheel and +/- zoom), names
// a column's time and each hop's figures in its tool tip, and a click on a round tells who
// listens to move the statistics window there. A repaint reads only the columns it shows.
class TimelineView : public QWidget {
    Q_OBJECT

public:
    using StateSource = std::function<const TraceState&()>;
    // How many hops the trace shows (the grid's rows).
    using HopCount = std::function<int()>;

    TimelineView(StateSource state, HopCount hops, const DisplayOptions& options,
                 QWidget* parent = nullptr);

    // The trace changed: follows its newest rounds while scrolled to them and repaints only what
    // may have changed (the columns of probes still out, unless the view itself moved).
    void refresh();

    const TimelineScale& scale() const { return scale_; }
    // Zooms keeping the round at `anchorX` (the middle when none) where it is.
    void setZoom(int zoom, std::optional<int> anchorX = std::nullopt);
    // The largest zoom at which every round fits.
    void showAllRounds();
    void scrollToColumn(qint64 column);
    bool followsNewestRounds() const { return following_; }

    // Hops the user chose to leave out; all hops show by default.
    void setHopShown(qint32 hop, bool shown);
    std::vector<qint32> shownHops() const;

    TimelinePainter::Layout currentLayout() const;
    // The 1-based round starting the column under `point`, when a round is there.
    std::optional<qint64> roundAt(const QPoint& point) const;
    // Where 1-based `round`'s cell of `lane` is, in widget pixels (empty when not shown).
    QRect cellRect(qint64 round, int lane) const;
    QString toolTipAt(const QPoint& point) const;

    // The timeline as shown, without scroll bar or focus, at `ratio` (the widget's own when 0).
    QImage image(qreal ratio = 0) const;
    void copyImage() const;
    QMenu* contextMenu();

signals:
    void roundClicked(qint32 round);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // What a full repaint depends on beyond the probes still out.
    struct ViewKey {
        qint64 rounds = -1;
        qint64 firstColumn = 0;
        int zoom = 0;
        qint32 windowFirst = 0;
        qint32 windowLast = -1;
        int hops = 0;
        qint32 destination = 0;
        qint32 warning = 0;
        qint32 bad = 0;
        // Which trace: a stored one opened in place of another of as many rounds must repaint.
        QString target;
        qint64 firstRoundUtcUs = 0;
        bool operator==(const ViewKey&) const = default;
    };
    ViewKey currentKey() const;
    TimelinePainter painter() const;
    QSize paintedSize() const;
    void updateScrollRange();
    // The first round whose probe is still out at some shown hop; past the end when none.
    qint64 firstUnsettledRound() const;

    StateSource state_;
    HopCount hops_;
    const DisplayOptions& options_;
    QScrollBar* scrollBar_;
    QMenu* menu_ = nullptr;
    TimelineScale scale_;
    bool following_ = true;
    std::set<qint32> hidden_;
    ViewKey painted_;
    qint64 unsettledFrom_ = 1;
};

}  // namespace hoplark
