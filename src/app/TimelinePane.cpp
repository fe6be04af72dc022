#include "app/TimelinePane.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QSplitter>

#include "app/MainWindow.h"
#include "app/SettingsFile.h"
#include "view/TimelineView.h"

namespace hoplark {

namespace {

const QString DisplaySection = QStringLiteral("Display");
const QString TimelineKey = QStringLiteral("Timeline");
// What the window grows by when the timeline is turned on, so that the grid keeps its rows.
constexpr int TimelineHeight = 260;

}  // namespace

TimelinePane::TimelinePane(TformMain& window, const TraceSession& session, QMenu& viewMenu)
    : QObject(&window), window_(window) {
    viewMenu.addSeparator();
    Timeline1 = viewMenu.addAction(QStringLiteral("&Timeline"));
    Timeline1->setCheckable(true);
    Timeline1->setToolTip(QStringLiteral("Every hop's round trips over the whole trace"));
    connect(Timeline1, &QAction::toggled, this, [this](bool on) {
        const bool grow = on && !window_.isMaximized() && !window_.isFullScreen();
        setTimelineShown(on);
        if (!grow) return;
        // The grid keeps its height; the window grows as far as the screen lets it.
        const QScreen* screen = window_.screen();
        const int room =
            screen ? screen->availableGeometry().bottom() - window_.frameGeometry().bottom()
                   : TimelineHeight;
        window_.resize(window_.width(), window_.height() + std::clamp(room, 0, TimelineHeight));
    });

    // A pane under the grid rather than a dock or a window of its own: it spans the grid's
    // width, so that the statistics band lines up with the history slider under the grid, it
    // goes into the pane's picture with the grid, and the window stays one thing to place. The
    // splitter lets the user trade grid rows for timeline lanes.
    timeline =
        new TimelineView([&session]() -> const TraceState& { return session.state(); },
                         [&session] { return session.shownHops(); }, window.displayOptions());
    splitter = new QSplitter(Qt::Vertical);
    splitter->setChildrenCollapsible(false);
    // The layout hands back the grid's old item, which is ours to delete.
    delete window.pnlRight->layout()->replaceWidget(window.pnlGrid, splitter);
    splitter->addWidget(window.pnlGrid);
    splitter->addWidget(timeline);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    timeline->hide();
    // A click on a round moves the history slider there, as the user's own move would.
    connect(timeline, &TimelineView::roundClicked, this,
            [this](qint32 round) { window_.tbTime->setValue(round); });
}

void TimelinePane::setTimelineShown(bool shown) {
    if (Timeline1->isChecked() != shown) {
        const QSignalBlocker blocker(Timeline1);
        Timeline1->setChecked(shown);
    }
    timeline->setVisible(shown);
    if (shown) timeline->refresh();
}

void TimelinePane::refresh() {
    timeline->refresh();
}

void TimelinePane::readSettings(const SettingsFile& ini) {
    setTimelineShown(ini.ReadBool(DisplaySection, TimelineKey, false));
}

void TimelinePane::writeSettings(SettingsFile& ini) const {
    ini.WriteBool(DisplaySection, TimelineKey, Timeline1->isChecked());
}

}  // namespace hoplark
