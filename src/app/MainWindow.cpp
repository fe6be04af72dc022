#include "app/MainWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <QtMath>
#include <utility>

#include "app/AboutBox.h"
#include "app/Fonts.h"
#include "app/HelpWindow.h"
#include "app/HistoryList.h"
#include "app/HoplarkIcon.h"
#include "app/MainWindowKeys.h"
#include "app/MainWindowLayout.h"
#include "app/OptionsDialog.h"
#include "app/QtMessageBoxes.h"
#include "app/RecordingMenu.h"
#include "app/SettingsFile.h"
#include "app/SettingsNotices.h"
#include "app/TimelinePane.h"
#include "app/ViewMenu.h"
#include "app/WindowPlacement.h"
#include "trace/DelayText.h"
#include "trace/HoplarkError.h"
#include "trace/IntegerText.h"
#include "view/Canvas.h"
#include "view/ColumnWidths.h"
#include "view/GridToolTips.h"
#include "view/TraceText.h"

namespace hoplark {

namespace {

QChar localeDecimalSeparator() {
    return QLocale().decimalPoint().at(0);
}

}  // namespace

TformMain::TformMain(const QString& settingsPath, WindowServices services, QWidget* parent)
    : QMainWindow(parent), settingsPath_(settingsPath), services_(std::move(services)) {
    if (!services_.boxes) services_.boxes = std::make_shared<QtMessageBoxes>();
    // Created before the controls: their change handlers forward to it from the first change.
    session_ =
        std::make_unique<TraceSession>(*services_.launcher, services_.names, *services_.clock);
    session_->setDelayProvider([this] { return GetDelayMs(); });
    setWindowTitle(QStringLiteral("Hoplark"));
    setWindowIcon(hoplarkIcon());
    setFont(arialPixels(12));
    setMinimumSize(MinimumWidth, MinimumHeight);

    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    setCentralWidget(central);
    MainWindowLayout layout(*this);
    layout.buildLeftPane();
    layout.buildRightPane();
    layout.nameControls();
    columns->addWidget(pnlLeft);
    columns->addWidget(pnlRight, 1);

    StatusBar = new TStatusPanels(this);
    StatusPanel0 = StatusBar->panel(0);
    StatusPanel1 = StatusBar->panel(1);
    StatusPanel2 = StatusBar->panel(2);
    setStatusBar(StatusBar);

    tmrRefresh = new QTimer(this);
    tmrRefresh->setInterval(1);
    tmrRefresh->setSingleShot(true);
    connect(tmrRefresh, &QTimer::timeout, this, &TformMain::tmrRefreshTimer);

    layout.buildMenus();
    new MainWindowKeys(*this);
    timelinePane_ = new TimelinePane(*this, *session_, *View1->menu());

    // Tab follows the screen: down the left pane, then the grid and the slider under it. Enter
    // in the fields lands here (they do not use it themselves) and presses Trace.
    QWidget* const tabOrder[] = {editDestination, lbHistory, editTraceCount, editDelay,
                                 editSampleCount, btnTrace,  drgrTrace,      tbTime};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    // The window opens ready for typing a destination.
    editDestination->setFocus();

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { helpWindow()->showContext(HelpContext); });

    dialogRunner_ = [](QDialog& dialog) { return dialog.exec(); };

    cellPainter_ = std::make_unique<TraceCellPainter>(
        [this]() -> const TraceState& { return traceState(); }, displayOptions_, *drgrTrace);
    drgrTrace->setDrawCellHandler(
        [this](Canvas& canvas, int col, int row, const CellRect& rect, bool fixed) {
            cellPainter_->drgrTraceDrawCell(canvas, col, row, rect, fixed);
        });
    drgrTrace->setRowSignatureHandler([this](int row, const CellRect& rowRect) {
        return cellPainter_->rowSignature(row, rowRect);
    });
    drgrTrace->setReachAboveHandler([this](int row) { return cellPainter_->reachAbove(row); });
    drgrTrace->setRowDescriptionHandler(
        [this](int row) { return cellPainter_->rowDescription(row); });
    gridEvidence_ =
        std::make_unique<GridEvidence>([this]() -> const TraceState& { return traceState(); });
    cellPainter_->setEvidence(gridEvidence_.get());
    // The tips only explain; they change nothing that is drawn, so they need no option.
    new GridToolTips(*drgrTrace, [this](int col, int row) {
        if (col == 1) return gridEvidence_->errToolTip(row);
        if (col == 2) return gridEvidence_->ipToolTip(row);
        return QString();
    });

    connectSession();
    recording_ = std::make_unique<RecordingMenu>(*this, *session_, *services_.boxes);
    resize(designSize());
    FormCreate();
}

TformMain::~TformMain() {
    if (helpWindow_) delete helpWindow_;
    // The recorder closes its file before the session it observes goes.
    recording_.reset();
    // The session goes before the controls it reports into.
    session_->disconnect(this);
    viewModel_.reset();
    session_.reset();
}

void TformMain::connectSession() {
    TraceSession* session = session_.get();
    viewModel_ = std::make_unique<TraceViewModel>(*session);
    const TraceViewModel* view = viewModel_.get();
    connect(view, &TraceViewModel::queryingTextChanged, StatusPanel0, &QLabel::setText);
    connect(view, &TraceViewModel::busyAnimationChanged, this, &TformMain::setBusyAnimation);
    connect(session, &TraceSession::tracingChanged, this, &TformMain::setTracingControls);
    connect(session, &TraceSession::startingChanged, this, [this](bool starting) {
        if (!session_->isTracing())
            btnTrace->setText(starting ? QStringLiteral("&Stop") : QStringLiteral("&Trace"));
    });
    connect(session, &TraceSession::startFailed, this, [this](const QString& message) {
        // The table is empty now; the header must not name the previous target above it.
        lblTargetAddress->setText(QStringLiteral("N/A"));
        lblHostName->setText(QStringLiteral("N/A"));
        showError(message);
    });
    connect(session, &TraceSession::targetResolved, this,
            [this](const QString& address, const QString& hostName) {
                lblTargetAddress->setText(address);
                lblHostName->setText(hostName);
                fitAddressColumn(address.contains(u':'));
            });
    connect(session, &TraceSession::destinationAccepted, this, &TformMain::recordDestination);
    // The grid keeps its header and one row even before the first hop is known.
    connect(view, &TraceViewModel::rowCountChanged, this,
            [this](int rows) { drgrTrace->setRowCount(std::max(rows, 2)); });
    connect(session, &TraceSession::refreshRequested, this, &TformMain::ScheduleRefresh);
    connect(session, &TraceSession::legendRequested, this, [this] { ShowLegend(true); });
    connect(view, &TraceViewModel::statusPanelsChanged, this,
            [this](const QString& traceCount, const QString& displayedSamples) {
                StatusPanel1->setText(traceCount);
                StatusPanel2->setText(displayedSamples);
            });
    connect(session, &TraceSession::historySliderChanged, this, &TformMain::mirrorHistorySlider);
    connect(view, &TraceViewModel::historySliderPanelChanged, this,
            [this](bool checked, bool panelVisible) {
                miShowHistorySlider->setChecked(checked);
                pnlTimePeriod->setVisible(panelVisible);
            });
    connect(session, &TraceSession::noticeChanged, StatusBar, &TStatusPanels::setNotice);
    connect(session, &TraceSession::workerErrorRaised, this, &TformMain::showWorkerError);
    connect(session, &TraceSession::errorRaised, this, &TformMain::showError);
    connect(editTraceCount, &QLineEdit::textChanged, session, &TraceSession::setTraceCountText);
    session->setTraceCountText(editTraceCount->text());
}

QSize TformMain::designSize() const {
    return {MainWindowLayout::LeftPaneWidth + MainWindowLayout::RightPaneDesignWidth,
            menuBar()->sizeHint().height() + MainWindowLayout::RightPaneDesignHeight +
                TStatusPanels::Height};
}

bool TformMain::event(QEvent* event) {
    // A menu item's hint would replace the three panels with one temporary message; hints are
    // tool tips here, and the panels stay.
    if (event->type() == QEvent::StatusTip) return true;
    return QMainWindow::event(event);
}

void TformMain::closeEvent(QCloseEvent* event) {
    hide();
    // The program ends with its main window, whatever help is still open.
    if (helpWindow_) helpWindow_->close();
    guarded([this] { FormDestroy(); });
    event->accept();
}

void TformMain::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        btnTrace->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TformMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == editDelay && event->type() == QEvent::FocusOut) {
        // Only a move of the focus to another control of the window leaves the field: switching
        // to another window or opening a menu does not, and must not raise a delay error box.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            guarded([this] { editDelayChange(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TformMain::guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const HoplarkError& error) {
        showError(error.message());
    } catch (const std::exception& error) {
        showError(QString::fromLocal8Bit(error.what()));
    }
}

void TformMain::showError(const QString& message) {
    if (unattendedErrors_) {
        std::fputs(qPrintable(QStringLiteral("hoplark: ") + errorBoxText(message) + u'\n'),
                   unattendedErrors_);
        std::fflush(unattendedErrors_);
        return;
    }
    services_.boxes->showError(this, errorBoxText(message));
}

void TformMain::closeOnSignal(std::FILE* errors) {
    unattendedErrors_ = errors;
    close();
}

void TformMain::showWorkerError(const QString& text) {
    const QString shown = errorBoxText(text);
    if (openWorkerErrors_.contains(shown)) return;
    openWorkerErrors_.insert(shown);
    services_.boxes->showWorkerError(this, shown,
                                     [this, shown] { openWorkerErrors_.remove(shown); });
}

void TformMain::ShowStartupError(StartupView view) {
    for (const QString& notice : std::exchange(startupNotices_, {}))
        services_.boxes->showError(this, notice);
    if (!services_.echo || services_.echo->bound()) return;
    if (view == StartupView::Recording) {
        icmpErrorDeferred_ = true;
        return;
    }
    services_.boxes->showStartupError(this, QString::fromStdString(services_.echo->startupError()));
}

void TformMain::showDeferredIcmpError() {
    if (!std::exchange(icmpErrorDeferred_, false)) return;
    services_.boxes->showStartupError(this, QString::fromStdString(services_.echo->startupError()));
}

void TformMain::ScheduleRefresh() {
    // Restarting the one-shot timer folds a burst of requests into one repaint, which runs once
    // the events already queued have been handled.
    tmrRefresh->stop();
    tmrRefresh->start();
}

void TformMain::tmrRefreshTimer() {
    tmrRefresh->stop();
    // Results arrive one hop at a time: repainting only the rows a result changed keeps each
    // repaint's cost to what changed.
    drgrTrace->repaintChangedRows();
    timelinePane_->refresh();
    showDestinationLoss();
}

void TformMain::showDestinationLoss() {
    const QString text =
        displayOptions_.LossVerdicts ? gridEvidence_->destinationLossText() : QString();
    if (text == lblDestinationLoss->text() && lblDestinationLoss->isVisible() == !text.isEmpty()) {
        return;
    }
    lblDestinationLoss->setText(text);
    lblDestinationLoss->setVisible(!text.isEmpty());
    fitTargetLabels();
}

void TformMain::ShowLegend(bool Value) {
    if (Value) {
        const qint32 warning = displayOptions_.WarningSpeed;
        const qint32 bad = displayOptions_.BadSpeed;
        lblNormal->setText(QStringLiteral("0-%1").arg(warning));
        lblWarning->setText(QStringLiteral("%1-%2").arg(qint64(warning) + 1).arg(bad));
        lblBad->setText(QStringLiteral("%1 and up").arg(qint64(bad) + 1));
    }
    if (!displayOptions_.ColorGraphs && !displayOptions_.ColorHops) Value = false;
    for (QLabel* label : {lblNormal, lblWarning, lblBad})
        label->setVisible(Value);
    fitTargetLabels();
}

void TformMain::fitTargetLabels() {
    const int gap = 4;
    const int right =
        lblNormal->isHidden() ? pnlTargetHeader->contentsRect().right() : pnlColors->x() - gap;
    for (TElidedLabel* label : {lblHostName, lblTargetAddress})
        label->resize(std::max(0, right - label->x()), label->height());
    // The loss to the destination shares the address line, against its right end.
    const int lossWidth = lblDestinationLoss->sizeHint().width();
    lblDestinationLoss->setGeometry(right - lossWidth, lblTargetAddress->y(), lossWidth,
                                    lblTargetAddress->height());
    if (lblDestinationLoss->isVisible()) {
        lblTargetAddress->resize(std::max(0, lblDestinationLoss->x() - gap - lblTargetAddress->x()),
                                 lblTargetAddress->height());
    }
}

void TformMain::SetShowCurrentTime(bool Value) {
    displayOptions_.ShowCurrentTime = Value;
    fitTimeColumns();
}

void TformMain::SetShowFractions(bool Value) {
    displayOptions_.ShowFractions = Value;
    fitTimeColumns();
}

void TformMain::SetStatisticsColumns(const StatisticsColumns& columns) {
    displayOptions_.ShownStatistics = columns;
    View1->showColumns(columns);
    fitTimeColumns();
    pnlGridResize();
    // DNS Name and Graph make room for the new columns down to a readable width; beyond that the
    // window widens, as far as its screen allows.
    constexpr int readableNameAndGraph = 160;
    const int deficit = readableNameAndGraph - (drgrTrace->colWidth(3) + drgrTrace->colWidth(5));
    if (deficit > 0 && !isMaximized() && !isFullScreen()) {
        const QScreen* at = screen();
        const int room = at ? at->availableGeometry().right() - frameGeometry().right() : deficit;
        const int wider = std::clamp(room, 0, deficit);
        if (wider > 0) resize(width() + wider, height());
    }
    drgrTrace->viewport()->update();
}

void TformMain::SetUnreachableReasons(bool Value) {
    displayOptions_.UnreachableReasons = Value;
    View1->unreachableReasonsAction()->setChecked(Value);
    drgrTrace->viewport()->update();
}

void TformMain::fitTimeColumns() {
    const int fraction = fractionWidth();
    drgrTrace->setColWidth(4, AvgTimeColumnWidth(displayOptions_.ShowCurrentTime, fraction));
    std::vector<int> widths;
    for (StatisticsColumn column : displayOptions_.ShownStatistics)
        widths.push_back(StatisticsColumnWidth(column, fraction));
    drgrTrace->setExtraColWidths(widths);
}

int TformMain::fractionWidth() const {
    if (!displayOptions_.ShowFractions) return 0;
    return QFontMetrics(Canvas::toQFont(drgrTrace->drawingFont()))
        .horizontalAdvance(QStringLiteral(".99"));
}

void TformMain::fitAddressColumn(bool ipv6) {
    // Room for the longest IPv6 address; a zone or a verdict mark beyond that is elided in the
    // middle, with the whole address in the tool tip. An IPv4 trace keeps the column as it
    // always was.
    const int width =
        QFontMetrics(Canvas::toQFont(drgrTrace->drawingFont()))
            .horizontalAdvance(QStringLiteral("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"));
    const int wanted = AddressColumnWidth(ipv6, width);
    if (drgrTrace->colWidth(2) == wanted) return;
    drgrTrace->setColWidth(2, wanted);
    pnlGridResize();
}

void TformMain::pnlGridResize() {
    drgrTrace->setColWidths(FitColumnWidths(
        drgrTrace->colWidths(), drgrTrace->clientWidth() - drgrTrace->extraColsWidth()));
}

void TformMain::pnlEditDestinationResize() {
    const int width = pnlEditDestination->width() - 2 * editDestination->x();
    if (editDestination->width() != width)
        editDestination->resize(width, editDestination->height());
}

qint32 TformMain::GetDelayMs() const {
    return hoplark::GetDelayMs(editDelay->text(), localeDecimalSeparator());
}

void TformMain::editDelayChange() {
    const QString normal = FormatDelay(GetDelayMs(), localeDecimalSeparator());
    if (normal != editDelay->text()) editDelay->setText(normal);
}

void TformMain::UpDown3Click(TUpDown::Button Button) {
    guarded([this, Button] {
        const qint32 next =
            StepDelayLadder(GetDelayMs(), Button == TUpDown::Button::Up ? LadderDirection::Up
                                                                        : LadderDirection::Down);
        editDelay->setText(FormatDelay(next, localeDecimalSeparator()));
        editDelay->repaint();
    });
}

void TformMain::editTraceCountChange() {
    const QString shown = TraceCountDisplayText(editTraceCount->text());
    if (shown != editTraceCount->text()) editTraceCount->setText(shown);
}

void TformMain::btnTraceClick() {
    // While a start waits for its lookups the button reads "&Stop" too, and cancels it.
    if (session_->isTracing() || session_->isStarting()) {
        session_->StopTrace();
        return;
    }
    showDeferredIcmpError();
    session_->setIgnoreFirstHop(IgnoreFirstHop);
    guarded([this] { session_->StartTrace(editDestination->text()); });
}

void TformMain::RestartTrace1Click() {
    showDeferredIcmpError();
    session_->setIgnoreFirstHop(IgnoreFirstHop);
    guarded([this] { session_->RestartTrace(); });
}

void TformMain::editDestinationChange() {
    session_->editDestinationChange();
}

void TformMain::tmrTraceTimer() {
    guarded([this] { session_->tmrTraceTimer(); });
}

void TformMain::tbTimeChange() {
    session_->tbTimeChange(tbTime->value());
}

void TformMain::miShowHistorySliderClick() {
    viewModel_->miShowHistorySliderClick();
}

void TformMain::editSampleCountChange() {
    const QString typed = editSampleCount->text();
    const QString shown = session_->editSampleCountChange(typed);
    // Writing "ALL" raises the change once more, to the same effect.
    if (shown != typed) editSampleCount->setText(shown);
}

void TformMain::pnlTimePeriodResize() {
    tbTime->resize(pnlTimePeriod->width(), tbTime->height());
}

void TformMain::setBusyAnimation(bool visible, bool playing) {
    // While it shows, the button ends one left margin before the animation; otherwise it
    // reaches the animation's right edge.
    const int width = visible ? Animate->x() - 2 * btnTrace->x()
                              : Animate->x() + Animate->width() - btnTrace->x();
    btnTrace->resize(width, btnTrace->height());
    if (playing) {
        Animate->play();
    } else {
        Animate->stop();
    }
    Animate->setVisible(visible);
}

void TformMain::setTracingControls(bool tracing) {
    btnTrace->setText(tracing ? QStringLiteral("&Stop") : QStringLiteral("&Trace"));
    editDestination->setEnabled(!tracing);
    lbHistory->setEnabled(!tracing);
}

void TformMain::recordDestination(const QString& typed) {
    QStringList history;
    for (int i = 0; i < lbHistory->count(); ++i)
        history << lbHistory->item(i)->text();
    RecordDestination(history, typed);
    lbHistory->clear();
    lbHistory->addItems(history);
}

void TformMain::mirrorHistorySlider(const HistorySliderState& slider) {
    // Positions set from here are the session's own: they must not come back as a user's move.
    const QSignalBlocker blocker(tbTime);
    tbTime->setMaximum(slider.maximum);
    tbTime->setValue(slider.position);
}

void TformMain::lbHistoryDblClick() {
    QListWidgetItem* item = lbHistory->currentItem();
    if (item && item->isSelected()) editDestination->setText(item->text());
}

void TformMain::Delete1Click() {
    QListWidgetItem* item = lbHistory->currentItem();
    if (item && item->isSelected()) delete lbHistory->takeItem(lbHistory->row(item));
}

void TformMain::SortList1Click() {
    // The top row and the selected row are kept by position, not by item.
    const int selectedRow = lbHistory->currentItem() && lbHistory->currentItem()->isSelected()
                                ? lbHistory->currentRow()
                                : -1;
    const int scroll = lbHistory->verticalScrollBar()->value();
    QStringList history;
    for (int i = 0; i < lbHistory->count(); ++i)
        history << lbHistory->item(i)->text();
    SortHistoryOnce(history);
    lbHistory->clear();
    lbHistory->addItems(history);
    if (selectedRow >= 0) lbHistory->setCurrentRow(selectedRow);
    lbHistory->verticalScrollBar()->setValue(scroll);
}

void TformMain::Exit1Click() {
    close();
}

QImage TformMain::paneImage(qreal devicePixelRatio) {
    // One pixel wider and taller than the pane, from the pane's place in the window, at the
    // screen's pixel density so that a scaled screen copies as sharp as it shows.
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : devicePixelRatioF();
    const QRect source(pnlRight->mapTo(this, QPoint(0, 0)),
                       QSize(pnlRight->width() + 1, pnlRight->height() + 1));
    QImage image(qCeil(source.width() * ratio), qCeil(source.height() * ratio),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(palette().color(QPalette::Window));
    // Focus frames belong to the screen, not to the picture: the pane is drawn with none of its
    // controls focused, and the focus goes back where it was.
    QPointer<QWidget> focused = QApplication::focusWidget();
    const bool focusInPane = focused && pnlRight->isAncestorOf(focused);
    if (focusInPane) focused->clearFocus();
    render(&image, QPoint(0, 0), QRegion(source),
           QWidget::DrawWindowBackground | QWidget::DrawChildren);
    if (focusInPane && focused) focused->setFocus(Qt::OtherFocusReason);
    return image;
}

void TformMain::Copy1Click() {
    QGuiApplication::clipboard()->setImage(paneImage());
}

void TformMain::CopyasText1Click() {
    QGuiApplication::clipboard()->setText(
        BuildTraceText(traceState(), lblHostName->text(), lblTargetAddress->text(),
                       displayOptions_.ShowFractions, displayOptions_.ShownStatistics,
                       &gridEvidence_->evidence(), displayOptions_.UnreachableReasons));
}

void TformMain::About1Click() {
    TAboutBox AboutBox;
    dialogRunner_(AboutBox);
}

THelpWindow* TformMain::helpWindow() {
    if (!helpWindow_) helpWindow_ = new THelpWindow;
    return helpWindow_;
}

void TformMain::HelpContents() {
    helpWindow()->showContents();
}
void TformMain::HelpSearch() {
    helpWindow()->showSearch();
}
void TformMain::HelpHowToUse() {
    helpWindow()->showHowToUse();
}

}  // namespace hoplark
