#pragma once

#include <QObject>
#include <QString>

namespace hoplark {

class TraceSession;

// What the main window shows of a trace session as texts, counts and flags: the status bar
// panels, the busy animation, the grid's row count and whether the history slider's panel shows.
// The session reports plain facts (rounds taken, the statistics window, workers out, a start
// waiting, hop rows); this turns them into what the controls display, so that the session stays
// free of presentation and a driver without a window (the report) reads the facts directly.
class TraceViewModel : public QObject {
    Q_OBJECT

public:
    static inline const QString ResolvingText = QStringLiteral("Resolving...");
    static inline const QString QueryingText = QStringLiteral("Querying");

    // Follows `session` from now on; the texts start empty, as the status bar does, and the
    // row count at the header row alone. The session must outlive this object.
    explicit TraceViewModel(const TraceSession& session, QObject* parent = nullptr);

    // Status panel 0: "Resolving..." while a start waits for its lookups, "Querying" while
    // workers of the trace are out, "" otherwise.
    const QString& queryingText() const { return queryingText_; }
    // Status panel 1: "Trace Count: N".
    const QString& traceCountText() const { return traceCountText_; }
    // Status panel 2: "Displayed Samples: A to B" (1-based, inclusive), "" before any round.
    const QString& displayedSamplesText() const { return displayedSamplesText_; }
    // Grid rows, the header row included.
    int rowCount() const { return rowCount_; }
    // The busy animation shows while a start waits or a trace runs, and plays while the start's
    // lookups or the trace's workers are out.
    bool busyAnimationVisible() const { return animationVisible_; }
    bool busyAnimationPlaying() const { return animationPlaying_; }
    // The "Show History Slider" menu item.
    bool historySliderChecked() const { return sliderChecked_; }
    // The slider's panel shows while the item is checked, a sample count is set (with all
    // rounds there is nothing to move) and at least one round was taken.
    bool historySliderPanelVisible() const { return sliderPanelVisible_; }

    // The "Show History Slider" item was chosen: toggles it.
    void miShowHistorySliderClick();

signals:
    void queryingTextChanged(const QString& text);
    void busyAnimationChanged(bool visible, bool playing);
    // Panels 1 and 2; sent only when either text differs from what was last sent.
    void statusPanelsChanged(const QString& traceCount, const QString& displayedSamples);
    // Sent whenever the session reports its hop rows, even unchanged: a stored trace just
    // loaded has new rows in the same number.
    void rowCountChanged(int rows);
    // The menu item's check mark or the panel's visibility changed.
    void historySliderPanelChanged(bool checked, bool panelVisible);

private:
    void updateQueryingText();
    void updateAnimation();
    void updateStatusPanels();
    void takeShownHops(int hops);
    void updateHistorySliderPanel(bool checkedChanged);

    const TraceSession& session_;
    QString queryingText_;
    QString traceCountText_;
    QString displayedSamplesText_;
    int rowCount_ = 1;
    bool animationVisible_ = false;
    bool animationPlaying_ = false;
    bool sliderChecked_ = false;
    bool sliderPanelVisible_ = false;
};

}  // namespace hoplark
