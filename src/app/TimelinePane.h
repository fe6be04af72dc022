#pragma once

#include <QObject>

class QAction;
class QMenu;
class QSplitter;

namespace hoplark {

class SettingsFile;
class TformMain;
class TimelineView;
class TraceSession;

// The latency over time in a pane under the grid, shown by View > "&Timeline"; off by default,
// so that the window looks as it always did until the user asks for it. Kept as
// [Display] Timeline.
class TimelinePane : public QObject {
    Q_OBJECT

public:
    // Adds its check item to `viewMenu`.
    TimelinePane(TformMain& window, const TraceSession& session, QMenu& viewMenu);

    void readSettings(const SettingsFile& ini);
    void writeSettings(SettingsFile& ini) const;
    // The trace changed (after the grid's coalesced repaint).
    void refresh();
    void setTimelineShown(bool shown);

    QAction* Timeline1;
    TimelineView* timeline;
    // The grid above, the timeline below.
    QSplitter* splitter;

private:
    TformMain& window_;
};

}  // namespace hoplark
