#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <functional>
#include <memory>

#include "trace/TraceState.h"
#include "view/ActivityAnimation.h"
#include "view/DisplayOptions.h"
#include "view/Panel.h"
#include "view/TraceCellPainter.h"
#include "view/TraceGrid.h"
#include "view/UpDown.h"

namespace hoplark {

class THelpWindow;
class TformOptions;

// The main window: the destination and sampling controls on the left, the target header, the
// trace grid and the history slider on the right. It reads its settings file when created and
// writes it back when the program ends.
class TformMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TformMain(const QString& settingsPath, QWidget* parent = nullptr);
    ~TformMain() override;

    static constexpr int HelpContext = 1;
    static constexpr int MinimumWidth = 500;
    static constexpr int MinimumHeight = 300;

    // What the grid and the clipboard text show. The trace session owns this later; everything
    // reads it through here.
    const TraceState& traceState() const { return traceState_; }
    TraceState& traceStateForUpdate() { return traceState_; }
    const DisplayOptions& displayOptions() const { return displayOptions_; }
    DisplayOptions& displayOptionsForUpdate() { return displayOptions_; }
    const QString& settingsPath() const { return settingsPath_; }

    // The window's size before the saved bounds apply; the right pane is then 520 x 329.
    QSize designSize() const;

    // Writes the settings file. Throws HoplarkError when the file cannot be written. Runs once;
    // closing the window runs it and shows a failure in the error box.
    void FormDestroy();

    // Failures of user actions are shown through this; tests replace the message box.
    void setErrorReporter(std::function<void(const QString& message)> reporter) {
        errorReporter_ = std::move(reporter);
    }
    // Shows a modal dialog and returns its result; tests answer it themselves.
    void setDialogRunner(std::function<int(QDialog&)> runner) { dialogRunner_ = std::move(runner); }

    // Shared operations of the grid.
    void ScheduleRefresh();
    void ShowLegend(bool Value);
    void SetShowCurrentTime(bool Value);
    void pnlGridResize();
    qint32 GetDelayMs() const;

    // A trace setting the session takes over later; read and written with the settings file.
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
    QGroupBox* GroupBox1;
    QLabel* Label4;
    QLineEdit* editTraceCount;
    TUpDown* udTraceCount;
    QLabel* Label5;
    QLineEdit* editDelay;
    TUpDown* UpDown3;
    QGroupBox* GroupBox2;
    QLabel* Label6;
    QLineEdit* editSampleCount;
    TUpDown* udSampleCount;
    QPushButton* btnTrace;
    TActivityAnimation* Animate;
    TPanel* pnlRight;
    TPanel* pnlTargetHeader;
    QLabel* Label9;
    QLabel* lblHostName;
    QLabel* Label2;
    QLabel* lblTargetAddress;
    TPanel* pnlColors;
    QLabel* lblNormal;
    QLabel* lblWarning;
    QLabel* lblBad;
    TPanel* pnlGrid;
    TTraceGrid* drgrTrace;
    TPanel* pnlTimePeriod;
    QSlider* tbTime;
    QStatusBar* StatusBar;
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
    QLabel* StatusPanel2;
    QTimer* tmrTrace;
    QTimer* tmrRefresh;
    QMenu* PopupMenu1;
    QMenu* pmenuShowHistorySlider;
    QAction* miShowHistorySlider;
    QMenu* pmenuRestart;
    QAction* Copy1;
    QAction* CopyasText1;
    QAction* Options1;

    THelpWindow* helpWindow();
    // The right-hand pane as displayed, one pixel wider and taller than the pane.
    QImage paneImage();

public slots:
    // Handlers of the session's controls; the trace session fills these in.
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
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLeftPane();
    void buildRightPane();
    void buildMenus();
    void FormCreate();
    // Runs a handler and shows a failure it raises in the error box.
    void guarded(const std::function<void()>& action);

    QString settingsPath_;
    TraceState traceState_;
    DisplayOptions displayOptions_;
    std::unique_ptr<TraceCellPainter> cellPainter_;
    QPointer<THelpWindow> helpWindow_;
    std::function<void(const QString&)> errorReporter_;
    std::function<int(QDialog&)> dialogRunner_;
    bool destroyed_ = false;
};

}  // namespace hoplark
