#include "app/MainWindowLayout.h"

#include <QHBoxLayout>
#include <QMenuBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <utility>

#include "app/ElidedLabel.h"
#include "app/FocusFrameButton.h"
#include "app/Fonts.h"
#include "app/MainWindow.h"
#include "app/ViewMenu.h"

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

const QString TraceCountHint = QStringLiteral(
    "Number of times to sample.  0 is continuous - anything higher stops at that "
    "sample count.");
const QString SampleCountHint = QStringLiteral(
    "Only this number of samples is included in the graph.  Anything older isn't graphed.");

}  // namespace

void MainWindowLayout::buildLeftPane() {
    form_.pnlLeft = new TPanel;
    form_.pnlLeft->setFixedWidth(LeftPaneWidth);
    form_.pnlLeft->setFont(arialPixels(11));
    auto* rows = new QVBoxLayout(form_.pnlLeft);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    form_.pnlEditDestination = new TPanel;
    form_.pnlEditDestination->setFixedHeight(45);
    form_.Label1 = makeLabel(QStringLiteral("Address to Trace:"), form_.pnlEditDestination, 6, 5);
    form_.editDestination = new QLineEdit(form_.pnlEditDestination);
    form_.editDestination->setGeometry(4, 23, 151, 22);
    form_.editDestination->setToolTip(
        QStringLiteral("Enter the name or IP of the host you'd like to ping/trace."));
    QObject::connect(form_.editDestination, &QLineEdit::textChanged, &form_,
                     &TformMain::editDestinationChange);
    QObject::connect(form_.pnlEditDestination, &TPanel::resized, &form_,
                     &TformMain::pnlEditDestinationResize);

    form_.pnlList = new TPanel;
    auto* listLayout = new QVBoxLayout(form_.pnlList);
    listLayout->setContentsMargins(4, 4, 4, 4);
    form_.lbHistory = new QListWidget;
    form_.lbHistory->setSelectionMode(QAbstractItemView::SingleSelection);
    form_.lbHistory->setUniformItemSizes(true);
    form_.lbHistory->setItemDelegate(new FixedRowHeight(14, form_.lbHistory));
    form_.lbHistory->setContextMenuPolicy(Qt::CustomContextMenu);
    // At the smallest window the list shrinks (to a sliver), never the Trace button below.
    form_.lbHistory->setMinimumHeight(1);
    listLayout->addWidget(form_.lbHistory);
    QObject::connect(form_.lbHistory, &QListWidget::itemDoubleClicked, &form_,
                     &TformMain::lbHistoryDblClick);

    form_.pnlCommands = new TPanel;
    form_.pnlCommands->setFixedHeight(157);
    form_.GroupBox1 = new TGroupBox(QStringLiteral(" Sampling "), form_.pnlCommands);
    form_.GroupBox1->setGeometry(0, 0, LeftPaneWidth, 75);
    form_.Label4 = makeLabel(QStringLiteral("# of times to trace:"), form_.GroupBox1, 8, 16);
    form_.Label4->setToolTip(TraceCountHint);
    form_.editTraceCount = new QLineEdit(QStringLiteral("0"), form_.GroupBox1);
    form_.editTraceCount->setGeometry(100, 13, 59, 22);
    form_.editTraceCount->setToolTip(TraceCountHint);
    form_.udTraceCount = new TUpDown(form_.GroupBox1);
    form_.udTraceCount->setGeometry(159, 13, 15, 22);
    form_.udTraceCount->setRange(0, 100);
    form_.udTraceCount->setToolTip(TraceCountHint);
    QObject::connect(form_.editTraceCount, &QLineEdit::textChanged, &form_,
                     &TformMain::editTraceCountChange);
    form_.udTraceCount->setAssociate(form_.editTraceCount);

    form_.Label5 = makeLabel(QStringLiteral("Trace Delay:"), form_.GroupBox1, 10, 49);
    form_.Label5->setToolTip(QStringLiteral("Delay time between samples"));
    form_.editDelay = new QLineEdit(QStringLiteral("10 Seconds"), form_.GroupBox1);
    form_.editDelay->setGeometry(80, 45, 79, 22);
    form_.editDelay->setToolTip(QStringLiteral(
        "Delay time between samples (use up/down arrows to change or type in your own!)"));
    form_.editDelay->installEventFilter(&form_);
    form_.UpDown3 = new TUpDown(form_.GroupBox1);
    form_.UpDown3->setGeometry(159, 46, 15, 22);
    form_.UpDown3->setRange(0, 9999);
    form_.UpDown3->setPosition(5000);
    form_.UpDown3->setToolTip(QStringLiteral("Delay time between samples"));
    QObject::connect(form_.UpDown3, &TUpDown::clicked, &form_, &TformMain::UpDown3Click);

    form_.GroupBox2 = new TGroupBox(QStringLiteral(" Statistics "), form_.pnlCommands);
    form_.GroupBox2->setGeometry(0, 75, LeftPaneWidth, 40);
    form_.Label6 = makeLabel(QStringLiteral("Samples to include"), form_.GroupBox2, 11, 16);
    form_.Label6->setToolTip(SampleCountHint);
    form_.editSampleCount = new QLineEdit(QStringLiteral("10"), form_.GroupBox2);
    form_.editSampleCount->setGeometry(126, 13, 33, 22);
    form_.editSampleCount->setToolTip(SampleCountHint);
    form_.udSampleCount = new TUpDown(form_.GroupBox2);
    form_.udSampleCount->setGeometry(159, 13, 15, 22);
    form_.udSampleCount->setRange(0, 100);
    form_.udSampleCount->setToolTip(SampleCountHint);
    form_.udSampleCount->setAssociate(form_.editSampleCount);
    form_.udSampleCount->setPosition(10);
    QObject::connect(form_.editSampleCount, &QLineEdit::textChanged, &form_,
                     &TformMain::editSampleCountChange);

    form_.btnTrace = new TFocusFrameButton(QStringLiteral("&Trace"), form_.pnlCommands);
    form_.btnTrace->setGeometry(8, 120, 167, 33);
    form_.btnTrace->setFont(arialPixels(19));
    form_.btnTrace->setDefault(true);
    form_.btnTrace->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(form_.btnTrace, &QPushButton::clicked, &form_, &TformMain::btnTraceClick);
    form_.Animate = new TActivityAnimation(form_.pnlCommands);
    form_.Animate->move(129, 119);
    form_.Animate->hide();

    rows->addWidget(form_.pnlEditDestination);
    rows->addWidget(form_.pnlList, 1);
    rows->addWidget(form_.pnlCommands);
}

void MainWindowLayout::buildRightPane() {
    form_.pnlRight = new TPanel;
    auto* rows = new QVBoxLayout(form_.pnlRight);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    form_.pnlTargetHeader = new TPanel;
    form_.pnlTargetHeader->setFixedHeight(44);
    form_.pnlTargetHeader->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    form_.pnlTargetHeader->setLineWidth(1);
    const QFont captionFont = arialPixels(16, true);
    const QFont valueFont = arialPixels(13, true);
    form_.Label9 =
        makeLabel(QStringLiteral("Target Name:"), form_.pnlTargetHeader, 3, 2, &captionFont);
    form_.lblHostName = new TElidedLabel(QStringLiteral("N/A"), form_.pnlTargetHeader);
    form_.Label2 = makeLabel(QStringLiteral("IP:"), form_.pnlTargetHeader, 85, 23, &captionFont);
    form_.lblTargetAddress = new TElidedLabel(QStringLiteral("N/A"), form_.pnlTargetHeader);
    const int valueTops[] = {4, 24};
    TElidedLabel* values[] = {form_.lblHostName, form_.lblTargetAddress};
    for (int i = 0; i < 2; ++i) {
        values[i]->setFont(valueFont);
        values[i]->adjustSize();
        values[i]->move(110, valueTops[i]);
    }

    // The legend sits against the right edge, inside the bevel and its one-pixel border.
    form_.pnlColors = new TPanel(form_.pnlTargetHeader);
    const auto legendLabel = [this](const QColor& color, int top) {
        auto* label = new QLabel(form_.pnlColors);
        label->setGeometry(0, top, 91, 13);
        label->setAlignment(Qt::AlignCenter);
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, color);
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
        return label;
    };
    form_.lblNormal = legendLabel(QColor(0, 255, 0), 0);
    form_.lblWarning = legendLabel(QColor(255, 255, 0), 13);
    form_.lblBad = legendLabel(QColor(255, 0, 0), 26);
    // Placed by fitTargetLabels on the address line, which holds only a short dotted address.
    form_.lblDestinationLoss = new QLabel(form_.pnlTargetHeader);
    form_.lblDestinationLoss->setFont(arialPixels(12, true));
    form_.lblDestinationLoss->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form_.lblDestinationLoss->setToolTip(
        QStringLiteral("The share of the destination's probes lost in the statistics: the "
                       "loss that traffic to it sees."));
    form_.lblDestinationLoss->hide();
    QObject::connect(form_.pnlTargetHeader, &TPanel::resized, &form_, [form = &form_] {
        const int inset = 2;
        form->pnlColors->setGeometry(form->pnlTargetHeader->width() - inset - 91, inset, 91,
                                     form->pnlTargetHeader->height() - 2 * inset);
        form->fitTargetLabels();
    });

    form_.pnlGrid = new TPanel;
    auto* gridRows = new QVBoxLayout(form_.pnlGrid);
    gridRows->setContentsMargins(0, 0, 0, 0);
    gridRows->setSpacing(0);
    form_.drgrTrace = new TTraceGrid;
    QFont gridFont(QStringLiteral("Arial Black"));
    gridFont.setPixelSize(16);
    form_.drgrTrace->setFont(gridFont);
    form_.drgrTrace->setRowCount(2);
    form_.drgrTrace->setContextMenuPolicy(Qt::CustomContextMenu);
    form_.pnlTimePeriod = new TPanel;
    form_.pnlTimePeriod->setFixedHeight(38);
    form_.tbTime = new QSlider(Qt::Horizontal, form_.pnlTimePeriod);
    form_.tbTime->setGeometry(0, 2, 434, 30);
    form_.tbTime->setRange(1, 1);
    form_.tbTime->setValue(1);
    form_.tbTime->setTickInterval(1);
    form_.tbTime->setTickPosition(QSlider::TicksBelow);
    QObject::connect(form_.tbTime, &QSlider::valueChanged, &form_, &TformMain::tbTimeChange);
    form_.pnlTimePeriod->hide();
    QObject::connect(form_.pnlTimePeriod, &TPanel::resized, &form_,
                     &TformMain::pnlTimePeriodResize);
    gridRows->addWidget(form_.drgrTrace, 1);
    gridRows->addWidget(form_.pnlTimePeriod);
    QObject::connect(form_.pnlGrid, &TPanel::resized, &form_, &TformMain::pnlGridResize);

    rows->addWidget(form_.pnlTargetHeader);
    rows->addWidget(form_.pnlGrid, 1);
}

void MainWindowLayout::buildMenus() {
    QMenu* file = form_.menuBar()->addMenu(QStringLiteral("&File"));
    QAction* exit = file->addAction(QStringLiteral("E&xit"), &form_, &TformMain::Exit1Click);
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* edit = form_.menuBar()->addMenu(QStringLiteral("&Edit"));
    form_.Copy1 = edit->addAction(QStringLiteral("&Copy as Image"), &form_, &TformMain::Copy1Click);
    form_.CopyasText1 =
        edit->addAction(QStringLiteral("Copy as &Text"), &form_, &TformMain::CopyasText1Click);
    // The copy key copies the trace as text wherever the focused control has no copy of its own
    // (the fields keep theirs); the menu shows it beside the item.
    form_.CopyasText1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    edit->addSeparator();
    form_.Options1 = edit->addAction(QStringLiteral("&Options"), &form_, &TformMain::Options1Click);

    form_.View1 = new ViewMenu(
        *form_.menuBar(), form_,
        [form = &form_](const StatisticsColumns& c) { form->SetStatisticsColumns(c); });
    QObject::connect(form_.View1->unreachableReasonsAction(), &QAction::toggled, &form_,
                     &TformMain::SetUnreachableReasons);

    QMenu* help = form_.menuBar()->addMenu(QStringLiteral("&Help"));
    const auto helpItem = [this, help](const QString& caption, const QString& hint,
                                       void (TformMain::*handler)()) {
        QAction* action = help->addAction(caption, &form_, handler);
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
    help->addAction(QStringLiteral("&About"), &form_, &TformMain::About1Click);

    form_.PopupMenu1 = new QMenu(&form_);
    form_.PopupMenu1->addAction(QStringLiteral("Delete"), &form_, &TformMain::Delete1Click);
    form_.PopupMenu1->addSeparator();
    form_.PopupMenu1->addAction(QStringLiteral("Sort List"), &form_, &TformMain::SortList1Click);
    QObject::connect(form_.lbHistory, &QWidget::customContextMenuRequested, &form_,
                     [form = &form_](const QPoint& at) {
                         form->PopupMenu1->popup(form->lbHistory->mapToGlobal(at));
                     });

    form_.pmenuShowHistorySlider = new QMenu(&form_);
    form_.miShowHistorySlider =
        form_.pmenuShowHistorySlider->addAction(QStringLiteral("Show History Slider"));
    form_.miShowHistorySlider->setCheckable(true);
    QObject::connect(form_.miShowHistorySlider, &QAction::triggered, &form_,
                     &TformMain::miShowHistorySliderClick);
    QObject::connect(form_.drgrTrace, &QWidget::customContextMenuRequested, &form_,
                     [form = &form_](const QPoint& at) {
                         form->pmenuShowHistorySlider->popup(form->drgrTrace->mapToGlobal(at));
                     });

    // Attached to the Trace button by the session, after a trace has been stopped.
    form_.pmenuRestart = new QMenu(&form_);
    form_.pmenuRestart->addAction(QStringLiteral("Restart Trace"), &form_,
                                  &TformMain::RestartTrace1Click);
    QObject::connect(form_.btnTrace, &QWidget::customContextMenuRequested, &form_,
                     [form = &form_](const QPoint& at) {
                         if (QMenu* menu = form->btnTracePopupMenu())
                             menu->popup(form->btnTrace->mapToGlobal(at));
                     });
}

void MainWindowLayout::nameControls() {
    const std::pair<QWidget*, const char*> names[] = {
        {form_.editDestination, "Address to trace"},
        {form_.lbHistory, "Destinations traced before"},
        {form_.editTraceCount, "Number of times to trace"},
        {form_.udTraceCount, "Number of times to trace, up or down"},
        {form_.editDelay, "Trace delay"},
        {form_.UpDown3, "Trace delay, longer or shorter"},
        {form_.editSampleCount, "Samples to include"},
        {form_.udSampleCount, "Samples to include, more or fewer"},
        {form_.Animate, "Tracing activity"},
        {form_.pnlColors, "Colour legend"},
        {form_.drgrTrace, "Trace grid"},
        {form_.tbTime, "History slider"},
    };
    for (const auto& [widget, name] : names) {
        if (widget && widget->accessibleName().isEmpty())
            widget->setAccessibleName(QString::fromUtf8(name));
    }
}

}  // namespace hoplark
