#pragma once

#include <cstdio>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QSlider>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/ElidedLabel.h"
#include "app/StatusPanels.h"
#include "app/WindowServices.h"
#include "trace/TraceSession.h"
#include "trace/TraceState.h"
#include "view/ActivityAnimation.h"
#include "view/DisplayOptions.h"
#include "view/GridEvidence.h"
#include "view/GroupBox.h"
#include "view/Panel.h"
#include "view/TraceCellPainter.h"
#include "view/TraceGrid.h"
#include "view/TraceViewModel.h"
#include "view/UpDown.h"

namespace hoplark {

class RecordingMenu;
class THelpWindow;
class TformOptions;
class TimelinePane;
class ViewMenu;

// The main window: the destination and sampling controls on the left, the target header, the
// trace grid and the history slider on the right. It drives one trace session and mirrors what
// the session reports into its controls. It reads its settings file when created and writes it
// back when the program ends.
class TformMain : public QMainWindow {
    Q_OBJECT

public:
    // Closes the window as File > Exit does, for a signal (SIGTERM, SIGINT, SIGHUP): an error
    // on the way, such as a settings file that cannot be written, goes to `errors` rather
    // than to a box that would keep the ending session waiting.
    void closeOnSignal(std::FILE* errors = stderr);
    TformMain(const QString& settingsPath, WindowServices services, QWidget* parent = nullptr);
    ~TformMain() override;

    static constexpr int HelpContext = 1;
    static constexpr int MinimumWidth = 500;
    static constexpr int MinimumHeight = 300;

    // What the grid and the clipboard text show; the trace session owns it.
    const TraceState& traceState() const { return session_->state(); }
    const TraceSession& session() const { return *session_; }
    // The session's state as the status bar and the grid present it.
    const TraceViewModel& viewModel() const { return *viewModel_; }
    // The "&Recording" menu and the recorder behind it.
    RecordingMenu& recordingMenu() { return *recording_; }
    // The "&View" menu and the timeline pane it shows.
    TimelinePane& timelinePane() { return *timelinePane_; }
    const DisplayOptions& displayOptions() const { return displayOptions_; }
    DisplayOptions& displayOptionsForUpdate() { return displayOptions_; }
    const GridEvidence& gridEvidence() const { return *gridEvidence_; }
    const QString& settingsPath() const { return settingsPath_; }

    // The window's size before the saved bounds apply; the right pane is then 520 x 329.
    QSize designSize() const;

    // Stops the probe workers and writes the settings file. Throws HoplarkError when the file
    // cannot be written. Runs once; closing the window runs it and shows a failure in the error
    // box.
    void FormDestroy();

    // What the window is started to show: a new trace, or a recording given on the command line.
    enum class StartupView { Trace, Recording };

    // Tells the user once, at start-up, what of the settings file could not be used, and that
    // no ICMP socket could be opened. Tracing still starts; every probe then ends unanswered.
    // A recording needs no probe: the ICMP message then waits until the user starts a trace.
    void ShowStartupError(StartupView view = StartupView::Trace);

    // The popup menu attached to the Trace button: pmenuRestart after a stop, otherwise none.
    QMenu* btnTracePopupMenu() const {
        return session_->restartAvailable() ? pmenuRestart : nullptr;
    }
    // Shows a modal dialog and returns its result; tests answer it themselves.
    void setDialogRunner(std::function<int(QDialog&)> runner) { dialogRunner_ = std::move(runner); }

    // Shared operations of the grid.
    void ScheduleRefresh();
    void ShowLegend(bool Value);
    void SetShowCurrentTime(bool Value);
    // Times to 0.01 ms in the grid and the copied text; widens the Avg Time column to match.
    void SetShowFractions(bool Value);
    // The statistics columns between Avg Time and Graph; the grid keeps its width, DNS Name and
    // Graph give up (or take) the difference.
    void SetStatisticsColumns(const StatisticsColumns& columns);
    // Why the destination is unreachable, in the marker row and the copied text.
    void SetUnreachableReasons(bool Value);
    void pnlGridResize();
    // Widens the IP column for IPv6 addresses, and narrows it back for IPv4.
    void fitAddressColumn(bool ipv6);
    // The target's name and address reach from their captions to the legend (or to the
    // header's right edge while the legend is hidden).
    void fitTargetLabels();
    qint32 GetDelayMs() const;

    // Skip hop 1 in every round; read and written with the settings file and set by Options.
    // The session takes it at each start and restart.
    bool IgnoreFirstHop = false;
    // Data bytes of every echo request; only ever read from the settings file.
    qint16 PacketSize = 56;

    // Controls, named as the rest of the program refers to them.
    TPanel* pnlLeft;
    TPanel* pnlEditDestination;
    QLabel* Label1;
    QLineEdit* editDestination;
    TPanel* pnlList;
    QListWidget* lbHistory;
    TPanel* pnlCommands;
    TGroupBox* GroupBox1;
    QLabel* Label4;
    QLineEdit* editTraceCount;
    TUpDown* udTraceCount;
    QLabel* Label5;
    QLineEdit* editDelay;
    TUpDown* UpDown3;
    TGroupBox* GroupBox2;
    QLabel* Label6;
    QLineEdit* editSampleCount;
    TUpDown* udSampleCount;
    QPushButton* btnTrace;
    TActivityAnimation* Animate;
    TPanel* pnlRight;
    TPanel* pnlTargetHeader;
    QLabel* Label9;
    TElidedLabel* lblHostName;
    QLabel* Label2;
    TElidedLabel* lblTargetAddress;
    TPanel* pnlColors;
    QLabel* lblNormal;
    QLabel* lblWarning;
    QLabel* lblBad;
    // "Loss to destination: 2 %", shown with the loss verdicts once the destination is known.
    QLabel* lblDestinationLoss;
    TPanel* pnlGrid;
    TTraceGrid* drgrTrace;
    TPanel* pnlTimePeriod;
    QSlider* tbTime;
    TStatusPanels* StatusBar;
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
    QLabel* StatusPanel2;
    // The round timer belongs to the session; tmrTraceTimer forwards to it.
    QTimer* tmrRefresh;
    QMenu* PopupMenu1;
    QMenu* pmenuShowHistorySlider;
    QAction* miShowHistorySlider;
    QMenu* pmenuRestart;
    QAction* Copy1;
    QAction* CopyasText1;
    QAction* Options1;
    ViewMenu* View1;

    THelpWindow* helpWindow();
    // The right-hand pane as displayed, one pixel wider and taller than the pane.
    // At `devicePixelRatio`, or the window's own when 0.
    QImage paneImage(qreal devicePixelRatio = 0);

public slots:
    // Handlers of the trace controls; each forwards to the session (the slider menu item, which
    // only shows or hides, to the view-model).
    void btnTraceClick();
    void RestartTrace1Click();
    void editDestinationChange();
    void tmrTraceTimer();
    void tbTimeChange();
    void miShowHistorySliderClick();
    void editSampleCountChange();
    void lbHistoryDblClick();
    void Delete1Click();
    void SortList1Click();
    void pnlTimePeriodResize();

    void editDelayChange();
    void UpDown3Click(hoplark::TUpDown::Button Button);
    void editTraceCountChange();
    void tmrRefreshTimer();
    void pnlEditDestinationResize();

    void Exit1Click();
    void About1Click();
    void Options1Click();
    void Copy1Click();
    void CopyasText1Click();
    void HelpContents();
    void HelpSearch();
    void HelpHowToUse();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void connectSession();
    // Runs a handler and shows a failure it raises in the error box.
    void guarded(const std::function<void()>& action);
    void showError(const QString& message);
    // The ICMP failure held back while a recording was shown, once, before the first trace.
    void showDeferredIcmpError();
    void showWorkerError(const QString& text);
    void setBusyAnimation(bool visible, bool playing);
    void setTracingControls(bool tracing);
    void recordDestination(const QString& typed);
    void mirrorHistorySlider(const HistorySliderState& slider);
    // The width ".99" adds to a time in the grid's font; 0 while times are whole milliseconds.
    int fractionWidth() const;
    // Widths of the time columns follow the fractions option.
    void fitTimeColumns();
    void showDestinationLoss();

    QString settingsPath_;
    // Declared before the session, which refers to them and so must go first.
    WindowServices services_;
    std::unique_ptr<TraceSession> session_;
    std::unique_ptr<TraceViewModel> viewModel_;
    std::unique_ptr<RecordingMenu> recording_;
    // Owned by the window, as a child object.
    TimelinePane* timelinePane_ = nullptr;
    DisplayOptions displayOptions_;
    std::unique_ptr<TraceCellPainter> cellPainter_;
    std::unique_ptr<GridEvidence> gridEvidence_;
    QPointer<THelpWindow> helpWindow_;
    std::function<int(QDialog&)> dialogRunner_;
    // Worker failure texts whose box is still open: the same failure every round must not pile
    // up boxes.
    QSet<QString> openWorkerErrors_;
    bool destroyed_ = false;
    // Set while the window closes on a signal: nobody may be there to answer a box (a session
    // logging out), so errors go to this stream instead.
    std::FILE* unattendedErrors_ = nullptr;
    // What the settings file held that the user must hear about once the window shows.
    QStringList startupNotices_;
    // The ICMP socket's start-up failure, not yet shown because a recording was opened instead.
    bool icmpErrorDeferred_ = false;
    bool settingsReadFailed_ = false;
};

}  // namespace hoplark
