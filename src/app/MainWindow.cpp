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
#include <utility>

#include "app/AboutBox.h"
#include "app/Fonts.h"
#include "app/HelpWindow.h"
#include "app/HistoryList.h"
#include "app/HoplarkIcon.h"
#include "app/OptionsDialog.h"
#include "app/QtMessageBoxes.h"
#include "app/SettingsFile.h"
#include "app/SettingsNotices.h"
#include "app/WindowPlacement.h"
#include "trace/DelayText.h"
#include "trace/HoplarkError.h"
#include "trace/IntegerText.h"
#include "view/TraceText.h"

namespace hoplark {

namespace {

QLabel* makeLabel(const QString& caption, QWidget* parent, int left, int top,
                  const QFont* font = nullptr) {
    auto* label = new QLabel(caption, parent);
    if (font) label->setFont(*font);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// Every row of a list this many pixels high, whatever the font asks for.
class FixedRowHeight : public QStyledItemDelegate {
public:
    FixedRowHeight(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
    }

private:
    int height_;
};

QChar localeDecimalSeparator() {
    return QLocale().decimalPoint().at(0);
}

// Sizes of the layout that the design size is built from.
constexpr int LeftPaneWidth = 184;
constexpr int RightPaneDesignWidth = 520;
constexpr int RightPaneDesignHeight = 329;
constexpr int StatusBarHeight = 19;

const QString TraceCountHint = QStringLiteral(
    "Number of times to sample.  0 is continuous - anything higher stops at that "
    "sample count.");
const QString SampleCountHint = QStringLiteral(
    "Only this number of samples is included in the graph.  Anything older isn't graphed.");

}  // namespace

TformMain::TformMain(const QString& settingsPath, WindowServices services, QWidget* parent)
    : QMainWindow(parent), settingsPath_(settingsPath), services_(std::move(services)) {
    if (!services_.boxes) services_.boxes = std::make_shared<QtMessageBoxes>();
    // Created before the controls: their change handlers forward to it from the first change.
    session_ =
        std::make_unique<TraceSession>(*services_.launcher, *services_.names, *services_.clock);
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
    buildLeftPane();
    buildRightPane();
    columns->addWidget(pnlLeft);
    columns->addWidget(pnlRight, 1);

    StatusBar = new QStatusBar(this);
    StatusBar->setFixedHeight(StatusBarHeight);
    StatusPanel0 = new QLabel(StatusBar);
    StatusPanel0->setFixedWidth(100);
    StatusPanel1 = new QLabel(StatusBar);
    StatusPanel1->setFixedWidth(125);
    StatusPanel2 = new QLabel(StatusBar);
    for (QLabel* panel : {StatusPanel0, StatusPanel1, StatusPanel2}) {
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    StatusBar->addWidget(StatusPanel0);
    StatusBar->addWidget(StatusPanel1);
    StatusBar->addWidget(StatusPanel2, 1);
    setStatusBar(StatusBar);

    tmrRefresh = new QTimer(this);
    tmrRefresh->setInterval(1);
    tmrRefresh->setSingleShot(true);
    connect(tmrRefresh, &QTimer::timeout, this, &TformMain::tmrRefreshTimer);

    buildMenus();

    // Enter in the fields lands here (they do not use it themselves) and presses Trace.
    setTabOrder(editDestination, btnTrace);
    setTabOrder(btnTrace, editTraceCount);
    setTabOrder(editTraceCount, editDelay);
    setTabOrder(editDelay, editSampleCount);
    setTabOrder(editSampleCount, lbHistory);
    setTabOrder(lbHistory, drgrTrace);
    setTabOrder(drgrTrace, tbTime);
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

    connectSession();
    resize(designSize());
    FormCreate();
}

TformMain::~TformMain() {
    if (helpWindow_) delete helpWindow_;
    // The session goes before the controls it reports into.
    session_->disconnect(this);
    session_.reset();
}

void TformMain::connectSession() {
    TraceSession* session = session_.get();
    connect(session, &TraceSession::queryingTextChanged, StatusPanel0, &QLabel::setText);
    connect(session, &TraceSession::busyAnimationChanged, this, &TformMain::setBusyAnimation);
    connect(session, &TraceSession::tracingChanged, this, &TformMain::setTracingControls);
    connect(session, &TraceSession::targetResolved, this,
            [this](const QString& address, const QString& hostName) {
                lblTargetAddress->setText(address);
                lblHostName->setText(hostName);
            });
    connect(session, &TraceSession::destinationAccepted, this, &TformMain::recordDestination);
    // The grid keeps its header and one row even before the first hop is known.
    connect(session, &TraceSession::rowCountChanged, this,
            [this](int rows) { drgrTrace->setRowCount(std::max(rows, 2)); });
    connect(session, &TraceSession::refreshRequested, this, &TformMain::ScheduleRefresh);
    connect(session, &TraceSession::legendRequested, this, [this] { ShowLegend(true); });
    connect(session, &TraceSession::statusPanelsChanged, this,
            [this](const QString& traceCount, const QString& displayedSamples) {
                StatusPanel1->setText(traceCount);
                StatusPanel2->setText(displayedSamples);
            });
    connect(session, &TraceSession::historySliderChanged, this, &TformMain::mirrorHistorySlider);
    connect(session, &TraceSession::workerErrorRaised, this, &TformMain::showWorkerError);
    connect(session, &TraceSession::errorRaised, this, &TformMain::showError);
    connect(editTraceCount, &QLineEdit::textChanged, session, &TraceSession::setTraceCountText);
    session->setTraceCountText(editTraceCount->text());
}

QSize TformMain::designSize() const {
    return {LeftPaneWidth + RightPaneDesignWidth,
            menuBar()->sizeHint().height() + RightPaneDesignHeight + StatusBarHeight};
}

void TformMain::buildLeftPane() {
    pnlLeft = new TPanel;
    pnlLeft->setFixedWidth(LeftPaneWidth);
    pnlLeft->setFont(arialPixels(11));
    auto* rows = new QVBoxLayout(pnlLeft);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    pnlEditDestination = new TPanel;
    pnlEditDestination->setFixedHeight(45);
    Label1 = makeLabel(QStringLiteral("Address to Trace:"), pnlEditDestination, 6, 5);
    editDestination = new QLineEdit(pnlEditDestination);
    editDestination->setGeometry(4, 23, 151, 22);
    editDestination->setToolTip(
        QStringLiteral("Enter the name or IP of the host you'd like to ping/trace."));
    connect(editDestination, &QLineEdit::textChanged, this, &TformMain::editDestinationChange);
    connect(pnlEditDestination, &TPanel::resized, this, &TformMain::pnlEditDestinationResize);

    pnlList = new TPanel;
    auto* listLayout = new QVBoxLayout(pnlList);
    listLayout->setContentsMargins(4, 4, 4, 4);
    lbHistory = new QListWidget;
    lbHistory->setSelectionMode(QAbstractItemView::SingleSelection);
    lbHistory->setUniformItemSizes(true);
    lbHistory->setItemDelegate(new FixedRowHeight(14, lbHistory));
    lbHistory->setContextMenuPolicy(Qt::CustomContextMenu);
    listLayout->addWidget(lbHistory);
    connect(lbHistory, &QListWidget::itemDoubleClicked, this, &TformMain::lbHistoryDblClick);

    pnlCommands = new TPanel;
    pnlCommands->setFixedHeight(157);
    GroupBox1 = new TGroupBox(QStringLiteral(" Sampling "), pnlCommands);
    GroupBox1->setGeometry(0, 0, LeftPaneWidth, 75);
    Label4 = makeLabel(QStringLiteral("# of times to trace:"), GroupBox1, 8, 16);
    Label4->setToolTip(TraceCountHint);
    editTraceCount = new QLineEdit(QStringLiteral("0"), GroupBox1);
    editTraceCount->setGeometry(100, 13, 59, 22);
    editTraceCount->setToolTip(TraceCountHint);
    udTraceCount = new TUpDown(GroupBox1);
    udTraceCount->setGeometry(159, 13, 15, 22);
    udTraceCount->setRange(0, 100);
    udTraceCount->setToolTip(TraceCountHint);
    connect(editTraceCount, &QLineEdit::textChanged, this, &TformMain::editTraceCountChange);
    udTraceCount->setAssociate(editTraceCount);

    Label5 = makeLabel(QStringLiteral("Trace Delay:"), GroupBox1, 10, 49);
    Label5->setToolTip(QStringLiteral("Delay time between samples"));
    editDelay = new QLineEdit(QStringLiteral("10 Seconds"), GroupBox1);
    editDelay->setGeometry(80, 45, 79, 22);
    editDelay->setToolTip(QStringLiteral(
        "Delay time between samples (use up/down arrows to change or type in your own!)"));
    editDelay->installEventFilter(this);
    UpDown3 = new TUpDown(GroupBox1);
    UpDown3->setGeometry(159, 46, 15, 22);
    UpDown3->setRange(0, 9999);
    UpDown3->setPosition(5000);
    UpDown3->setToolTip(QStringLiteral("Delay time between samples"));
    connect(UpDown3, &TUpDown::clicked, this, &TformMain::UpDown3Click);

    GroupBox2 = new TGroupBox(QStringLiteral(" Statistics "), pnlCommands);
    GroupBox2->setGeometry(0, 75, LeftPaneWidth, 40);
    Label6 = makeLabel(QStringLiteral("Samples to include"), GroupBox2, 11, 16);
    Label6->setToolTip(SampleCountHint);
    editSampleCount = new QLineEdit(QStringLiteral("10"), GroupBox2);
    editSampleCount->setGeometry(126, 13, 33, 22);
    editSampleCount->setToolTip(SampleCountHint);
    udSampleCount = new TUpDown(GroupBox2);
    udSampleCount->setGeometry(159, 13, 15, 22);
    udSampleCount->setRange(0, 100);
    udSampleCount->setToolTip(SampleCountHint);
    udSampleCount->setAssociate(editSampleCount);
    udSampleCount->setPosition(10);
    connect(editSampleCount, &QLineEdit::textChanged, this, &TformMain::editSampleCountChange);

    btnTrace = new QPushButton(QStringLiteral("&Trace"), pnlCommands);
    btnTrace->setGeometry(8, 120, 167, 33);
    btnTrace->setFont(arialPixels(19));
    btnTrace->setDefault(true);
    btnTrace->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(btnTrace, &QPushButton::clicked, this, &TformMain::btnTraceClick);
    Animate = new TActivityAnimation(pnlCommands);
    Animate->move(129, 119);
    Animate->hide();

    rows->addWidget(pnlEditDestination);
    rows->addWidget(pnlList, 1);
    rows->addWidget(pnlCommands);
}

void TformMain::buildRightPane() {
    pnlRight = new TPanel;
    auto* rows = new QVBoxLayout(pnlRight);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    pnlTargetHeader = new TPanel;
    pnlTargetHeader->setFixedHeight(44);
    pnlTargetHeader->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlTargetHeader->setLineWidth(1);
    const QFont captionFont = arialPixels(16, true);
    const QFont valueFont = arialPixels(13, true);
    Label9 = makeLabel(QStringLiteral("Target Name:"), pnlTargetHeader, 3, 2, &captionFont);
    lblHostName = makeLabel(QStringLiteral("N/A"), pnlTargetHeader, 110, 4, &valueFont);
    Label2 = makeLabel(QStringLiteral("IP:"), pnlTargetHeader, 85, 23, &captionFont);
    lblTargetAddress = makeLabel(QStringLiteral("N/A"), pnlTargetHeader, 110, 24, &valueFont);
    for (QLabel* value : {lblHostName, lblTargetAddress}) {
        value->setMinimumWidth(300);
    }

    // The legend sits against the right edge, inside the bevel and its one-pixel border.
    pnlColors = new TPanel(pnlTargetHeader);
    const auto legendLabel = [this](const QColor& color, int top) {
        auto* label = new QLabel(pnlColors);
        label->setGeometry(0, top, 91, 13);
        label->setAlignment(Qt::AlignCenter);
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, color);
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
        return label;
    };
    lblNormal = legendLabel(QColor(0, 255, 0), 0);
    lblWarning = legendLabel(QColor(255, 255, 0), 13);
    lblBad = legendLabel(QColor(255, 0, 0), 26);
    connect(pnlTargetHeader, &TPanel::resized, this, [this] {
        const int inset = 2;
        pnlColors->setGeometry(pnlTargetHeader->width() - inset - 91, inset, 91,
                               pnlTargetHeader->height() - 2 * inset);
    });

    pnlGrid = new TPanel;
    auto* gridRows = new QVBoxLayout(pnlGrid);
    gridRows->setContentsMargins(0, 0, 0, 0);
    gridRows->setSpacing(0);
    drgrTrace = new TTraceGrid;
    QFont gridFont(QStringLiteral("Arial Black"));
    gridFont.setPixelSize(16);
    drgrTrace->setFont(gridFont);
    drgrTrace->setRowCount(2);
    drgrTrace->setContextMenuPolicy(Qt::CustomContextMenu);
    pnlTimePeriod = new TPanel;
    pnlTimePeriod->setFixedHeight(38);
    tbTime = new QSlider(Qt::Horizontal, pnlTimePeriod);
    tbTime->setGeometry(0, 2, 434, 30);
    tbTime->setRange(1, 1);
    tbTime->setValue(1);
    tbTime->setTickInterval(1);
    tbTime->setTickPosition(QSlider::TicksBelow);
    connect(tbTime, &QSlider::valueChanged, this, &TformMain::tbTimeChange);
    pnlTimePeriod->hide();
    connect(pnlTimePeriod, &TPanel::resized, this, &TformMain::pnlTimePeriodResize);
    gridRows->addWidget(drgrTrace, 1);
    gridRows->addWidget(pnlTimePeriod);
    connect(pnlGrid, &TPanel::resized, this, &TformMain::pnlGridResize);

    rows->addWidget(pnlTargetHeader);
    rows->addWidget(pnlGrid, 1);
}

void TformMain::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("E&xit"), this, &TformMain::Exit1Click);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    Copy1 = edit->addAction(QStringLiteral("&Copy as Image"), this, &TformMain::Copy1Click);
    CopyasText1 =
        edit->addAction(QStringLiteral("Copy as &Text"), this, &TformMain::CopyasText1Click);
    edit->addSeparator();
    Options1 = edit->addAction(QStringLiteral("&Options"), this, &TformMain::Options1Click);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    const auto helpItem = [this, help](const QString& caption, const QString& hint,
                                       void (TformMain::*handler)()) {
        QAction* action = help->addAction(caption, this, handler);
        action->setStatusTip(hint);
        action->setToolTip(hint);
    };
    help->setToolTipsVisible(true);
    helpItem(QStringLiteral("&Contents"), QStringLiteral("Display the help contents screen"),
             &TformMain::HelpContents);
    helpItem(QStringLiteral("&Search for Help On..."),
             QStringLiteral("Search help file for a topic"), &TformMain::HelpSearch);
    helpItem(QStringLiteral("&How to Use Help"), QStringLiteral("Help on using the help system"),
             &TformMain::HelpHowToUse);
    help->addSeparator();
    help->addAction(QStringLiteral("&About"), this, &TformMain::About1Click);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(QStringLiteral("Delete"), this, &TformMain::Delete1Click);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(QStringLiteral("Sort List"), this, &TformMain::SortList1Click);
    connect(lbHistory, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(lbHistory->mapToGlobal(at)); });

    pmenuShowHistorySlider = new QMenu(this);
    miShowHistorySlider = pmenuShowHistorySlider->addAction(QStringLiteral("Show History Slider"));
    miShowHistorySlider->setCheckable(true);
    connect(miShowHistorySlider, &QAction::triggered, this, &TformMain::miShowHistorySliderClick);
    connect(drgrTrace, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        pmenuShowHistorySlider->popup(drgrTrace->mapToGlobal(at));
    });

    // Attached to the Trace button by the session, after a trace has been stopped.
    pmenuRestart = new QMenu(this);
    pmenuRestart->addAction(QStringLiteral("Restart Trace"), this, &TformMain::RestartTrace1Click);
    connect(btnTrace, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (QMenu* menu = btnTracePopupMenu()) menu->popup(btnTrace->mapToGlobal(at));
    });
}

void TformMain::FormCreate() {
    cellPainter_->setSavedFont(drgrTrace->drawingFont());

    const SettingsFile ini(settingsPath_);
    settingsReadFailed_ = ini.readFailed();
    if (settingsReadFailed_) startupNotices_ << SettingsReadNotice(ini);
    const qint32 count = ini.ReadInteger(QStringLiteral("History"), QStringLiteral("Count"), 0);
    lbHistory->addItems(
        ini.ReadStringList(QStringLiteral("History"), QStringLiteral("Item"), count));

    // The centring defaults use the design size, before the saved size applies.
    const QSize design = designSize();
    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->geometry()
                             : QRect(0, 0, 1024, 768);
    const QString position = QStringLiteral("Position");
    const qint32 left =
        ini.ReadInteger(position, QStringLiteral("Left"), (screen.width() - design.width()) / 2);
    const qint32 top =
        ini.ReadInteger(position, QStringLiteral("Top"), (screen.height() - design.height()) / 2);
    const qint32 width = ini.ReadInteger(position, QStringLiteral("Width"), design.width());
    const qint32 height = ini.ReadInteger(position, QStringLiteral("Height"), design.height());
    setGeometry(PlaceWindowOnScreens(left, top, width, height, minimumSize()));

    const QString warnings = QStringLiteral("Warnings");
    displayOptions_.WarningSpeed = ini.ReadInteger(warnings, QStringLiteral("WARNINGSPEED"), 200);
    displayOptions_.BadSpeed = ini.ReadInteger(warnings, QStringLiteral("BADSPEED"), 500);
    displayOptions_.ColorHops = ini.ReadBool(warnings, QStringLiteral("ColorHops"), true);
    displayOptions_.ColorGraphs = ini.ReadBool(warnings, QStringLiteral("ColorGraphs"), true);

    const QString samples = QStringLiteral("Samples");
    displayOptions_.GraphCurrentSample =
        ini.ReadBool(samples, QStringLiteral("GraphCurrentSample"), true);
    IgnoreFirstHop = ini.ReadBool(samples, QStringLiteral("IgnoreFirstHop"), false);
    editDelay->setText(
        ini.ReadString(samples, QStringLiteral("TraceDelay"), QStringLiteral("15 Seconds")));
    udTraceCount->setPosition(ini.ReadInteger(samples, QStringLiteral("TraceCount"), 0));
    // The field shows "Unlimited" for 0 also when the position left its text unchanged.
    editTraceCountChange();
    udSampleCount->setPosition(
        ini.ReadInteger(QStringLiteral("Statistics"), QStringLiteral("SampleCount"), 10));
    SetShowCurrentTime(
        ini.ReadBool(QStringLiteral("Display"), QStringLiteral("ShowCurrentTime"), false));
    qint32 packetSize =
        ini.ReadInteger(QStringLiteral("Advanced"), QStringLiteral("PacketSize"), PacketSize);
    if (!IsSendablePacketSize(packetSize)) {
        startupNotices_ << PacketSizeNotice(packetSize);
        packetSize = DefaultSettingsPacketSize;
    }
    PacketSize = static_cast<qint16>(packetSize);
    if (services_.echo) services_.echo->setPacketSize(packetSize);
    session_->setIgnoreFirstHop(IgnoreFirstHop);

    ShowLegend(false);
    editSampleCountChange();
}

void TformMain::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    session_->StopTrace();
    session_->StopAllThreads();

    SettingsFile ini(settingsPath_);
    // A file that could not be read is kept as it is; the start-up said so already.
    if (ini.readFailed() && settingsReadFailed_) return;
    ini.WriteInteger(QStringLiteral("History"), QStringLiteral("Count"), lbHistory->count());
    for (int i = 0; i < lbHistory->count(); ++i) {
        ini.WriteString(QStringLiteral("History"), QStringLiteral("Item%1").arg(i),
                        lbHistory->item(i)->text());
    }
    const QString position = QStringLiteral("Position");
    ini.WriteInteger(position, QStringLiteral("Left"), x());
    ini.WriteInteger(position, QStringLiteral("Top"), y());
    ini.WriteInteger(position, QStringLiteral("Width"), width());
    ini.WriteInteger(position, QStringLiteral("Height"), height());
    const QString warnings = QStringLiteral("Warnings");
    ini.WriteInteger(warnings, QStringLiteral("WARNINGSPEED"), displayOptions_.WarningSpeed);
    ini.WriteInteger(warnings, QStringLiteral("BADSPEED"), displayOptions_.BadSpeed);
    ini.WriteBool(warnings, QStringLiteral("ColorHops"), displayOptions_.ColorHops);
    ini.WriteBool(warnings, QStringLiteral("ColorGraphs"), displayOptions_.ColorGraphs);
    const QString samples = QStringLiteral("Samples");
    ini.WriteString(samples, QStringLiteral("TraceDelay"), editDelay->text());
    ini.WriteInteger(samples, QStringLiteral("TraceCount"), udTraceCount->position());
    ini.WriteBool(samples, QStringLiteral("IgnoreFirstHop"), IgnoreFirstHop);
    ini.WriteBool(samples, QStringLiteral("GraphCurrentSample"),
                  displayOptions_.GraphCurrentSample);
    ini.WriteInteger(QStringLiteral("Statistics"), QStringLiteral("SampleCount"),
                     udSampleCount->position());
    ini.WriteBool(QStringLiteral("Display"), QStringLiteral("ShowCurrentTime"),
                  displayOptions_.ShowCurrentTime);
    ini.commit();
}

void TformMain::closeEvent(QCloseEvent* event) {
    hide();
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
    services_.boxes->showError(this, errorBoxText(message));
}

void TformMain::showWorkerError(const QString& text) {
    const QString shown = errorBoxText(text);
    if (openWorkerErrors_.contains(shown)) return;
    openWorkerErrors_.insert(shown);
    services_.boxes->showWorkerError(this, shown,
                                     [this, shown] { openWorkerErrors_.remove(shown); });
}

void TformMain::ShowStartupError() {
    for (const QString& notice : std::exchange(startupNotices_, {}))
        services_.boxes->showError(this, notice);
    if (!services_.echo || services_.echo->bound()) return;
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
    drgrTrace->viewport()->repaint();
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
}

void TformMain::SetShowCurrentTime(bool Value) {
    displayOptions_.ShowCurrentTime = Value;
    drgrTrace->setColWidth(4, Value ? 80 : 55);
}

void TformMain::pnlGridResize() {
    drgrTrace->setColWidths(FitColumnWidths(drgrTrace->colWidths(), drgrTrace->clientWidth()));
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
    if (session_->isTracing()) {
        session_->StopTrace();
        return;
    }
    session_->setIgnoreFirstHop(IgnoreFirstHop);
    guarded([this] { session_->StartTrace(editDestination->text()); });
}

void TformMain::RestartTrace1Click() {
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
    session_->miShowHistorySliderClick();
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
    miShowHistorySlider->setChecked(slider.menuChecked);
    pnlTimePeriod->setVisible(slider.panelVisible);
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

void TformMain::Options1Click() {
    TformOptions dialog([this](int context) { helpWindow()->showContext(context); });
    DisplayOptions& options = displayOptions_;
    dialog.cbColorHops->setChecked(options.ColorHops);
    dialog.cbColorGraph->setChecked(options.ColorGraphs);
    dialog.editWarningSpeed->setText(QString::number(options.WarningSpeed));
    dialog.editBadSpeed->setText(QString::number(options.BadSpeed));
    dialog.cboxShowCheck->setChecked(options.GraphCurrentSample);
    dialog.cbIgnoreFirstHop->setChecked(IgnoreFirstHop);
    dialog.cbShowCurrentTime->setChecked(options.ShowCurrentTime);

    if (dialogRunner_(dialog) != QDialog::Accepted) return;

    options.ColorHops = dialog.cbColorHops->isChecked();
    options.ColorGraphs = dialog.cbColorGraph->isChecked();
    // A threshold that is not an integer keeps its old value.
    options.WarningSpeed = integerTextOr(dialog.editWarningSpeed->text(), options.WarningSpeed);
    options.BadSpeed = integerTextOr(dialog.editBadSpeed->text(), options.BadSpeed);
    options.GraphCurrentSample = dialog.cboxShowCheck->isChecked();
    IgnoreFirstHop = dialog.cbIgnoreFirstHop->isChecked();
    session_->setIgnoreFirstHop(IgnoreFirstHop);
    SetShowCurrentTime(dialog.cbShowCurrentTime->isChecked());
    pnlGridResize();
    if (traceState().SamplesTaken > 0) ShowLegend(true);
    ScheduleRefresh();
}

QImage TformMain::paneImage() {
    // One pixel wider and taller than the pane, from the pane's place in the window.
    const QRect source(pnlRight->mapTo(this, QPoint(0, 0)),
                       QSize(pnlRight->width() + 1, pnlRight->height() + 1));
    QImage image(source.size(), QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    render(&image, QPoint(0, 0), QRegion(source),
           QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return image;
}

void TformMain::Copy1Click() {
    QGuiApplication::clipboard()->setImage(paneImage());
}

void TformMain::CopyasText1Click() {
    QGuiApplication::clipboard()->setText(
        BuildTraceText(traceState(), lblHostName->text(), lblTargetAddress->text()));
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
