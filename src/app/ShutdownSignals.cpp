#include "app/ShutdownSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace hoplark {

namespace {

// The one piece of process-wide state: a signal handler can reach nothing else. Written once
// by install() before any handler can run, read by the handlers.
int wakePipe[2] = {-1, -1};

void onSignal(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // Async-signal-safe; a full pipe just drops the byte (one is enough to wake the loop).
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &number, 1);
    errno = savedErrno;
}

constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

}  // namespace

bool ShutdownSignals::install() {
    if (wakePipe[0] >= 0) return true;
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: other threads' blocking calls go on undisturbed. SA_RESETHAND: the same
    // signal once more takes its default action, so a stuck shut-down can still be ended.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    bool all = true;
    for (const int signal : HandledSignals)
        all = ::sigaction(signal, &action, nullptr) == 0 && all;
    return all;
}

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent) {
    if (wakePipe[0] < 0) return;
    notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ShutdownSignals::readPipe);
    // Signals that came before the loop ran are already waiting in the pipe.
}

ShutdownSignals::~ShutdownSignals() = default;

void ShutdownSignals::readPipe() {
    // The pipe is drained before anyone hears of it: the shut-down may run an event loop of its
    // own (an error box) and must not find the same bytes again.
    int first = 0;
    unsigned char numbers[16];
    ssize_t got;
    while ((got = ::read(wakePipe[0], numbers, sizeof numbers)) > 0) {
        if (first == 0) first = numbers[0];
    }
    if (first == 0 || caught_ != 0) return;
    caught_ = first;
    emit received(first);
}

}  // namespace hoplark
