#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "export/TraceExport.h"
#include "record/TraceRecorder.h"

namespace hoplark {

class MessageBoxes;
class SettingsFile;
class TformMain;
class TraceSession;

// The window's recordings: records every trace into the recordings folder (unless turned off),
// keeps the folder under its size cap, opens a recording in place of a live trace, exports the
// displayed window, and puts the wall-clock times of the displayed rounds in the tool tips of
// the status bar's range panel and of the history slider. Its menu "&Recording" stands between
// the Edit and Help menus.
class RecordingMenu : public QObject {
    Q_OBJECT

public:
    // Answers a file dialog: the chosen path (empty: cancelled). `filter` holds the offered
    // filters separated by ";;"; `chosenFilter` receives the one picked.
    using FileChooser = std::function<QString(bool save, const QString& caption,
                                              const QString& filter, QString* chosenFilter)>;

    static constexpr qint32 DefaultMaxTotalMB = 1024;

    RecordingMenu(TformMain& window, TraceSession& session, MessageBoxes& boxes);
    ~RecordingMenu() override;

    // [Recording] Enabled, MaxTotalMB and Folder (empty: the default folder). Only a key the
    // user changed in the menu is written back, so a settings file without the section stays
    // without it.
    void readSettings(const SettingsFile& ini);
    void writeSettings(SettingsFile& ini) const;

    // Shows the recording at `path` as if it had just been traced, once it has been read on a
    // thread of its own; the window stays responsive meanwhile and the status bar says what
    // is being opened. Shows an error box and changes nothing when it cannot be read. A trace
    // started, another recording opened or the window closed meanwhile drops this load.
    void openRecording(const QString& path);
    // Whether a recording is being read.
    bool opening() const { return loader_.joinable(); }
    // Stops reading a recording, if one is being read, and forgets it.
    void cancelOpening();
    // Writes the displayed window to `path` in `format`, per hop or per probe. Throws
    // HoplarkError when the file cannot be written.
    void exportTo(const QString& path, TraceExport::Format format, TraceExport::Rows rows) const;
    // The clipboard text with a first line saying what, where, when and by what.
    QString textWithTimes() const;
    // The wall-clock range of the displayed rounds, as the tool tips show it.
    QString displayedTimesText() const;

    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    // Opens a folder in the file manager; false when none could.
    void setFolderOpener(std::function<bool(const QString&)> opener) {
        openFolder_ = std::move(opener);
    }

    bool recordingEnabled() const { return enabled_; }
    void setRecordingEnabled(bool enabled);
    QString folder() const;
    qint64 maxTotalBytes() const { return qint64(maxTotalMB_) * 1024 * 1024; }
    TraceRecorder& recorder() { return *recorder_; }
    // The recording shown, or empty while the table is a live trace.
    const QString& openedPath() const { return openedPath_; }

    QMenu* menu;
    QAction* OpenRecording1;
    QAction* OpenRecordingsFolder1;
    QAction* Export1;
    QAction* CopyWithTimes1;
    QAction* RecordTraces1;

public slots:
    void OpenRecording1Click();
    void OpenRecordingsFolder1Click();
    void Export1Click();
    void CopyWithTimes1Click();

private:
    RecordingHeader headerDefaults() const;
    QString pathForNewTrace(const RecordingHeader& header);
    void updateTimeTips();
    struct Load;
    void opened(quint64 generation, const std::shared_ptr<Load>& load);
    void setOpeningNotice(const QString& text);

    TformMain& window_;
    TraceSession& session_;
    MessageBoxes& boxes_;
    std::unique_ptr<TraceRecorder> recorder_;
    bool enabled_ = true;
    bool enabledAsRead_ = true;
    qint32 maxTotalMB_ = DefaultMaxTotalMB;
    QString folderSetting_;
    QString openedPath_;
    QString openedTarget_;
    QString openedSource_;
    QString openedVersion_;
    FileChooser chooseFile_;
    std::function<bool(const QString&)> openFolder_;
    // The thread reading a recording, the flag that tells it to give up, and the number of the
    // latest load: a result of any other number is stale and dropped.
    std::thread loader_;
    std::shared_ptr<std::atomic<bool>> cancelLoad_;
    quint64 loadGeneration_ = 0;
    QString openingNotice_;
};

}  // namespace hoplark
