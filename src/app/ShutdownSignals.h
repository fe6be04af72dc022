#pragma once

#include <QObject>

class QSocketNotifier;

namespace hoplark {

// SIGTERM, SIGINT and SIGHUP (a desktop logout, `kill`, Ctrl+C in the starting terminal) as a Qt
// signal on the event loop, so that the program can end the normal way: settings written,
// report printed. The signal handler only writes the signal's number to a pipe; everything
// else runs from the loop. A second signal of the same kind ends the process at once, for a
// shut-down that hangs.
class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers for the whole process; call once, before any thread starts. Until
    // a ShutdownSignals object exists the signals wait in the pipe. Returns false when the
    // pipe or a handler could not be set up (the signals then keep their default action).
    static bool install();

    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // The first signal received, 0 while none was.
    int caught() const { return caught_; }

    // The conventional exit status of a process ended by `signal`: 128 + its number.
    static int exitStatusFor(int signal) { return 128 + signal; }

signals:
    void received(int signal);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
    int caught_ = 0;
};

}  // namespace hoplark
