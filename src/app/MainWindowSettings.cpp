// The window's settings: read from the settings file when it opens, written back when it closes,
// and changed in the Options dialog.
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
#include "app/MainWindow.h"
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
// [Advanced] key of the address family choice.
const QString AddressChoiceSetting = QStringLiteral("AddressFamily");
}  // namespace

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
    SetShowFractions(
        ini.ReadBool(QStringLiteral("Display"), QStringLiteral("ShowFractions"), false));
    displayOptions_.LossVerdicts =
        ini.ReadBool(QStringLiteral("Display"), QStringLiteral("LossVerdicts"), false);
    SetStatisticsColumns(ParseStatisticsColumns(
        ini.ReadString(QStringLiteral("Display"), QStringLiteral("StatisticsColumns"), QString())));
    SetUnreachableReasons(
        ini.ReadBool(QStringLiteral("Display"), QStringLiteral("UnreachableReasons"), false));
    qint32 packetSize =
        ini.ReadInteger(QStringLiteral("Advanced"), QStringLiteral("PacketSize"), PacketSize);
    if (!IsSendablePacketSize(packetSize)) {
        startupNotices_ << PacketSizeNotice(packetSize);
        packetSize = DefaultSettingsPacketSize;
    }
    PacketSize = static_cast<qint16>(packetSize);
    if (services_.echo) services_.echo->setPacketSize(packetSize);
    session_->setIgnoreFirstHop(IgnoreFirstHop);
    session_->setAddressChoice(
        AddressChoiceFromKey(ini.ReadString(QStringLiteral("Advanced"), AddressChoiceSetting, {}))
            .value_or(AddressChoice::ResolverOrder));
    recording_->readSettings(ini);
    timelinePane_->readSettings(ini);

    ShowLegend(false);
    editSampleCountChange();
}

void TformMain::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    session_->StopTrace();
    session_->StopAllThreads();
    recording_->cancelOpening();
    recording_->recorder().finish();

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
    ini.WriteBool(QStringLiteral("Display"), QStringLiteral("ShowFractions"),
                  displayOptions_.ShowFractions);
    ini.WriteBool(QStringLiteral("Display"), QStringLiteral("LossVerdicts"),
                  displayOptions_.LossVerdicts);
    // Written once the user has chosen, so an untouched settings file keeps its sections.
    const AddressChoice choice = session_->addressChoice();
    if (choice != AddressChoice::ResolverOrder ||
        !ini.ReadString(QStringLiteral("Advanced"), AddressChoiceSetting, {}).isEmpty()) {
        ini.WriteString(QStringLiteral("Advanced"), AddressChoiceSetting, AddressChoiceKey(choice));
    }
    ini.WriteString(QStringLiteral("Display"), QStringLiteral("StatisticsColumns"),
                    StatisticsColumnsText(displayOptions_.ShownStatistics));
    ini.WriteBool(QStringLiteral("Display"), QStringLiteral("UnreachableReasons"),
                  displayOptions_.UnreachableReasons);
    recording_->writeSettings(ini);
    timelinePane_->writeSettings(ini);
    ini.commit();
}

void TformMain::Options1Click() {
    TformOptions dialog;
    // Help asked for inside the modal dialog opens in a window of the dialog's own, which the
    // modality does not block; it closes with the dialog.
    dialog.setHelpHandler([&dialog](int context) {
        auto* help = new THelpWindow(&dialog);
        help->setAttribute(Qt::WA_DeleteOnClose);
        help->showContext(context);
    });
    DisplayOptions& options = displayOptions_;
    dialog.cbColorHops->setChecked(options.ColorHops);
    dialog.cbColorGraph->setChecked(options.ColorGraphs);
    dialog.editWarningSpeed->setText(QString::number(options.WarningSpeed));
    dialog.editBadSpeed->setText(QString::number(options.BadSpeed));
    dialog.cboxShowCheck->setChecked(options.GraphCurrentSample);
    dialog.cbIgnoreFirstHop->setChecked(IgnoreFirstHop);
    dialog.cbShowCurrentTime->setChecked(options.ShowCurrentTime);
    dialog.cbShowFractions->setChecked(options.ShowFractions);
    dialog.cbLossVerdicts->setChecked(options.LossVerdicts);
    const AddressChoice choice = session_->addressChoice();
    dialog.rbAddressAuto->setChecked(choice == AddressChoice::ResolverOrder);
    dialog.rbAddressIPv4->setChecked(choice == AddressChoice::V4Only);
    dialog.rbAddressIPv6->setChecked(choice == AddressChoice::V6Only);

    if (dialogRunner_(dialog) != QDialog::Accepted) return;

    options.ColorHops = dialog.cbColorHops->isChecked();
    options.ColorGraphs = dialog.cbColorGraph->isChecked();
    // A threshold that is not an integer keeps its old value.
    options.WarningSpeed = integerTextOr(dialog.editWarningSpeed->text(), options.WarningSpeed);
    options.BadSpeed = integerTextOr(dialog.editBadSpeed->text(), options.BadSpeed);
    options.GraphCurrentSample = dialog.cboxShowCheck->isChecked();
    IgnoreFirstHop = dialog.cbIgnoreFirstHop->isChecked();
    session_->setIgnoreFirstHop(IgnoreFirstHop);
    SetShowFractions(dialog.cbShowFractions->isChecked());
    SetShowCurrentTime(dialog.cbShowCurrentTime->isChecked());
    options.LossVerdicts = dialog.cbLossVerdicts->isChecked();
    session_->setAddressChoice(dialog.rbAddressIPv4->isChecked()   ? AddressChoice::V4Only
                               : dialog.rbAddressIPv6->isChecked() ? AddressChoice::V6Only
                                                                   : AddressChoice::ResolverOrder);
    pnlGridResize();
    if (traceState().SamplesTaken > 0) ShowLegend(true);
    // Any option may change how every cell looks.
    drgrTrace->viewport()->update();
    ScheduleRefresh();
}

}  // namespace hoplark
