#include "app/RecordingMenu.h"

#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMetaObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/SettingsFile.h"
#include "app/StatusPanels.h"
#include "record/RecordingError.h"
#include "record/RecordingFolder.h"
#include "record/RecordingReader.h"
#include "trace/HoplarkError.h"
#include "view/TraceText.h"

namespace hoplark {

namespace {

const QString Section = QStringLiteral("Recording");
const QString RecordingFilter = QStringLiteral("Hoplark recordings (*.hoplark);;All files (*)");
const QString CsvPerHop = QStringLiteral("CSV, one row per hop (*.csv)");
const QString CsvPerProbe = QStringLiteral("CSV, one row per probe (*.csv)");
const QString JsonPerHop = QStringLiteral("JSON, one entry per hop (*.json)");
const QString JsonPerProbe = QStringLiteral("JSON, one entry per probe (*.json)");

QString localText(qint64 utcUs) {
    return QDateTime::fromMSecsSinceEpoch(utcUs / 1000)
        .toLocalTime()
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString utcText(qint64 utcUs) {
    return QDateTime::fromMSecsSinceEpoch(utcUs / 1000, Qt::UTC).toString(Qt::ISODate);
}

// The extension a filter such as "CSV, one row per hop (*.csv)" gives its files, without the
// dot; empty for one that takes any name.
QString filterExtension(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral(R"(\(\*\.([A-Za-z0-9]+)\))"));
    return pattern.match(filter).captured(1);
}

// The save dialog adds the chosen filter's extension to a name typed without one, before it
// asks whether to replace an existing file of that name.
QString chooseSaveFile(QWidget* parent, const QString& caption, const QString& folder,
                       const QString& filter, QString* chosenFilter) {
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (chosenFilter && !chosenFilter->isEmpty()) dialog.selectNameFilter(*chosenFilter);
    const auto followFilter = [&dialog](const QString& picked) {
        dialog.setDefaultSuffix(filterExtension(picked));
    };
    followFilter(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    if (chosenFilter) *chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

}  // namespace

RecordingMenu::RecordingMenu(TformMain& window, TraceSession& session, MessageBoxes& boxes)
    : QObject(&window), window_(window), session_(session), boxes_(boxes) {
    chooseFile_ = [this](bool save, const QString& caption, const QString& filter,
                         QString* chosenFilter) {
        return save ? chooseSaveFile(&window_, caption, folder(), filter, chosenFilter)
                    : QFileDialog::getOpenFileName(&window_, caption, folder(), filter,
                                                   chosenFilter);
    };
    openFolder_ = [](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };

    recorder_ = std::make_unique<TraceRecorder>(
        [this] { return headerDefaults(); },
        [this](const RecordingHeader& header) { return pathForNewTrace(header); });
    session_.setObserver(recorder_.get());
    connect(recorder_.get(), &TraceRecorder::recordingFailed, this, [this](const QString& text) {
        boxes_.showWorkerError(
            &window_, QStringLiteral("Recording stopped; the trace goes on. ") + text, [] {});
    });
    // A trace started while a recording is read wins: the recording would replace it.
    connect(&session_, &TraceSession::startingChanged, this, [this](bool starting) {
        if (starting) cancelOpening();
    });
    // A live trace replaces whatever recording was shown.
    connect(&session_, &TraceSession::tracingChanged, this, [this](bool tracing) {
        if (tracing && !session_.isReplay()) openedPath_.clear();
    });
    connect(&session_, &TraceSession::samplesTakenChanged, this, [this] { updateTimeTips(); });
    connect(&session_, &TraceSession::windowChanged, this, [this] { updateTimeTips(); });

    // Between the Edit and Help menus, which keep their own items.
    menu = new QMenu(QStringLiteral("&Recording"), &window_);
    QMenuBar* bar = window_.menuBar();
    const QList<QAction*> menus = bar->actions();
    if (menus.isEmpty())
        bar->addMenu(menu);
    else
        bar->insertMenu(menus.back(), menu);
    OpenRecording1 = menu->addAction(QStringLiteral("&Open Recording..."), this,
                                     &RecordingMenu::OpenRecording1Click);
    OpenRecordingsFolder1 = menu->addAction(QStringLiteral("Open &Recordings Folder"), this,
                                            &RecordingMenu::OpenRecordingsFolder1Click);
    Export1 = menu->addAction(QStringLiteral("&Export..."), this, &RecordingMenu::Export1Click);
    menu->addSeparator();
    CopyWithTimes1 = menu->addAction(QStringLiteral("Copy as Text with &Times"), this,
                                     &RecordingMenu::CopyWithTimes1Click);
    menu->addSeparator();
    RecordTraces1 = menu->addAction(QStringLiteral("Recor&d Every Trace"));
    RecordTraces1->setCheckable(true);
    RecordTraces1->setChecked(enabled_);
    connect(RecordTraces1, &QAction::toggled, this, &RecordingMenu::setRecordingEnabled);
}

RecordingMenu::~RecordingMenu() {
    cancelOpening();
    session_.setObserver(nullptr);
    recorder_->finish();
}

void RecordingMenu::readSettings(const SettingsFile& ini) {
    enabledAsRead_ = ini.ReadBool(Section, QStringLiteral("Enabled"), true);
    setRecordingEnabled(enabledAsRead_);
    maxTotalMB_ = ini.ReadInteger(Section, QStringLiteral("MaxTotalMB"), DefaultMaxTotalMB);
    folderSetting_ = ini.ReadString(Section, QStringLiteral("Folder"), QString());
}

void RecordingMenu::writeSettings(SettingsFile& ini) const {
    if (enabled_ != enabledAsRead_) ini.WriteBool(Section, QStringLiteral("Enabled"), enabled_);
}

void RecordingMenu::setRecordingEnabled(bool enabled) {
    enabled_ = enabled;
    if (RecordTraces1->isChecked() != enabled) RecordTraces1->setChecked(enabled);
    // Turning it off ends the recording of the trace that runs now.
    if (!enabled) recorder_->finish();
}

QString RecordingMenu::folder() const {
    return folderSetting_.isEmpty() ? RecordingFolder::defaultPath() : folderSetting_;
}

RecordingHeader RecordingMenu::headerDefaults() const {
    RecordingHeader header;
    header.programVersion = QStringLiteral(HOPLARK_VERSION);
    header.packetSize = window_.PacketSize;
    header.timeoutMs = 9998;
    header.delayText = window_.editDelay->text();
    try {
        header.delayMs = window_.GetDelayMs();
    } catch (const HoplarkError&) {
        header.delayMs = 0;
    }
    header.ignoreFirstHop = window_.IgnoreFirstHop;
    return header;
}

QString RecordingMenu::pathForNewTrace(const RecordingHeader& header) {
    if (!enabled_) return {};
    const RecordingFolder recordings(folder());
    const QString path = recordings.newRecordingPath(header.target, header.startedUtcUs);
    recordings.enforceCap(maxTotalBytes());
    return path;
}

// What the loading thread hands back: the recording, or why it could not be read.
struct RecordingMenu::Load {
    QString path;
    LoadedRecording loaded;
    QString error;
    bool cancelled = false;
};

void RecordingMenu::openRecording(const QString& path) {
    cancelOpening();
    const quint64 generation = ++loadGeneration_;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancelLoad_ = cancel;
    setOpeningNotice(QStringLiteral("Opening %1...").arg(QFileInfo(path).fileName()));
    loader_ = std::thread([this, path, generation, cancel] {
        auto load = std::make_shared<Load>();
        load->path = path;
        try {
            load->loaded =
                RecordingReader::load(path, RecordingReader::Source::Packs, cancel.get());
        } catch (const RecordingError& error) {
            load->error = error.message();
            load->cancelled = error.kind() == RecordingError::Kind::Cancelled;
        } catch (const std::bad_alloc&) {
            load->error =
                QStringLiteral("%1 is too large to open in the memory there is.").arg(path);
        }
        if (load->cancelled) return;
        // Queued to the UI thread; a menu destroyed first has joined this thread and takes
        // its posted calls with it.
        QMetaObject::invokeMethod(
            this, [this, generation, load] { opened(generation, load); }, Qt::QueuedConnection);
    });
}

void RecordingMenu::cancelOpening() {
    ++loadGeneration_;
    if (loader_.joinable()) {
        cancelLoad_->store(true);
        loader_.join();
    }
    cancelLoad_.reset();
    setOpeningNotice(QString());
}

void RecordingMenu::setOpeningNotice(const QString& text) {
    // The session's own notices are left alone.
    if (text.isEmpty() && window_.StatusBar->notice() != openingNotice_) {
        openingNotice_.clear();
        return;
    }
    openingNotice_ = text;
    window_.StatusBar->setNotice(text);
}

void RecordingMenu::opened(quint64 generation, const std::shared_ptr<Load>& load) {
    if (generation != loadGeneration_) return;
    // The thread's last act was to post this.
    if (loader_.joinable()) loader_.join();
    cancelLoad_.reset();
    setOpeningNotice(QString());
    if (!load->error.isEmpty()) {
        boxes_.showError(&window_, load->error);
        return;
    }
    const QString& path = load->path;
    LoadedRecording& loaded = load->loaded;
    recorder_->finish();
    openedPath_ = path;
    openedTarget_ = loaded.header.target;
    openedSource_ = loaded.header.sourceAddress;
    openedVersion_ = loaded.header.programVersion;
    session_.LoadReplay(std::move(loaded.state));
    updateTimeTips();
}

void RecordingMenu::OpenRecording1Click() {
    const QString path =
        chooseFile_(false, QStringLiteral("Open Recording"), RecordingFilter, nullptr);
    if (!path.isEmpty()) openRecording(path);
}

void RecordingMenu::OpenRecordingsFolder1Click() {
    const QString path = folder();
    QDir().mkpath(path);
    // Without a file manager nothing opens and nothing else would say so; the path lets the
    // user go there by other means.
    if (!openFolder_(path)) {
        boxes_.showErrorWithPath(
            &window_, QStringLiteral("No file manager could open the recordings folder."),
            QDir::toNativeSeparators(path));
    }
}

void RecordingMenu::Export1Click() {
    QString chosen = CsvPerHop;
    QString path = chooseFile_(
        true, QStringLiteral("Export"),
        QStringList{CsvPerHop, CsvPerProbe, JsonPerHop, JsonPerProbe}.join(QStringLiteral(";;")),
        &chosen);
    if (path.isEmpty()) return;
    // A name typed without an extension takes the chosen filter's.
    const QString extension = filterExtension(chosen);
    if (QFileInfo(path).suffix().isEmpty() && !extension.isEmpty()) path += u'.' + extension;
    const bool json = chosen == JsonPerHop || chosen == JsonPerProbe ||
                      path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
    const bool perProbe = chosen == CsvPerProbe || chosen == JsonPerProbe;
    try {
        exportTo(path, json ? TraceExport::Format::Json : TraceExport::Format::Csv,
                 perProbe ? TraceExport::Rows::PerProbe : TraceExport::Rows::PerHop);
    } catch (const HoplarkError& error) {
        boxes_.showError(&window_, errorBoxText(error.message()));
    }
}

void RecordingMenu::exportTo(const QString& path, TraceExport::Format format,
                             TraceExport::Rows rows) const {
    const bool replay = session_.isReplay();
    TraceExport::About about;
    about.target = replay ? openedTarget_ : window_.editDestination->text();
    about.sourceAddress = replay ? openedSource_ : recorder_->sourceAddress();
    about.version = replay ? openedVersion_ : QStringLiteral(HOPLARK_VERSION);
    const TraceExport exporter(session_.state(), about, session_.shownHops());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !exporter.write(format, rows, file) || !file.commit())
        throw HoplarkError(QStringLiteral("Unable to write to %1").arg(path));
}

QString RecordingMenu::displayedTimesText() const {
    const TraceState& state = session_.state();
    if (state.SamplesTaken <= 0 || state.Window.LastSample < state.Window.FirstSample) return {};
    const qint64 from = state.roundStartUtcUs(state.Window.FirstSample + 1);
    const qint64 to = state.roundStartUtcUs(state.Window.LastSample + 1);
    if (from <= 0 || to <= 0) return {};
    return QStringLiteral("Sample %1 at %2, sample %3 at %4 (local time)")
        .arg(state.Window.FirstSample + 1)
        .arg(localText(from))
        .arg(state.Window.LastSample + 1)
        .arg(localText(to));
}

void RecordingMenu::updateTimeTips() {
    const QString tip = displayedTimesText();
    window_.StatusPanel2->setToolTip(tip);
    window_.tbTime->setToolTip(tip);
}

QString RecordingMenu::textWithTimes() const {
    const TraceState& state = session_.state();
    const QString target = session_.isReplay() ? openedTarget_ : window_.editDestination->text();
    QString line = QStringLiteral("Target: %1 [%2]").arg(target, state.TargetAddress);
    const qint64 from = state.roundStartUtcUs(state.Window.FirstSample + 1);
    const qint64 to = state.roundStartUtcUs(state.Window.LastSample + 1);
    if (from > 0 && to > 0) {
        line += QStringLiteral("  %1 to %2 local (%3 to %4)")
                    .arg(localText(from), localText(to), utcText(from), utcText(to));
    }
    line += QStringLiteral("  Hoplark %1")
                .arg(session_.isReplay() ? openedVersion_ : QStringLiteral(HOPLARK_VERSION));
    return line + QStringLiteral("\r\n") +
           BuildTraceText(
               state, window_.lblHostName->text(), window_.lblTargetAddress->text(),
               window_.displayOptions().ShowFractions, window_.displayOptions().ShownStatistics,
               &window_.gridEvidence().evidence(), window_.displayOptions().UnreachableReasons);
}

void RecordingMenu::CopyWithTimes1Click() {
    QGuiApplication::clipboard()->setText(textWithTimes());
}

}  // namespace hoplark
