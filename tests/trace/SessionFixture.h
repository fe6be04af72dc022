#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <memory>
#include <type_traits>
#include <vector>

#include "support/Addresses.h"
#include "trace/SessionFakes.h"
#include "trace/TraceSession.h"

namespace hoplark::testing {

// Records the first argument of every emission of a session signal.
template <typename T, typename... Rest>
std::shared_ptr<std::vector<std::decay_t<T>>> logFirst(TraceSession& session,
                                                       void (TraceSession::*signal)(T, Rest...)) {
    auto log = std::make_shared<std::vector<std::decay_t<T>>>();
    QObject::connect(&session, signal, &session,
                     [log](T value, Rest...) { log->push_back(value); });
    return log;
}

// Counts the emissions of a session signal without arguments.
inline std::shared_ptr<int> logCount(TraceSession& session, void (TraceSession::*signal)()) {
    auto count = std::make_shared<int>(0);
    QObject::connect(&session, signal, &session, [count] { ++*count; });
    return count;
}

// Hands `session` the answer of its target lookups once it has come, and nothing else.
inline void waitForStart(TraceSession& session) {
    QElapsedTimer waited;
    waited.start();
    while (session.isStarting() && waited.elapsed() < 10000) {
        QCoreApplication::sendPostedEvents(&session, TargetResolvedEvent::Type);
        if (session.isStarting()) QThread::msleep(1);
    }
}

// Hands `session` the reverse name of its target once the lookup beside the trace has answered.
inline void waitForTargetName(TraceSession& session) {
    QElapsedTimer waited;
    waited.start();
    while (session.isNamingTarget() && waited.elapsed() < 10000) {
        QCoreApplication::sendPostedEvents(&session, TargetNamedEvent::Type);
        if (session.isNamingTarget()) QThread::msleep(1);
    }
}

// A session wired to fakes, with a target "target.example" at 10.0.0.10 behind routers
// 10.0.<hop>.1.
class SessionTest : public ::testing::Test {
protected:
    static inline const QString TargetIp = QStringLiteral("10.0.0.10");

    SessionTest() {
        names.hosts["target.example"] = HostEntry{"target.example", {Ip("10.0.0.10")}};
        names.reverse[Ip("10.0.0.10")] = "target.example";
        launcher.channel = session.channel();
        session.setDelayProvider([this] { return delayMs; });
    }

    static QString routerIp(int hop) { return QStringLiteral("10.0.%1.1").arg(hop); }

    // Hands the session every message posted to it so far.
    void deliver() { QCoreApplication::sendPostedEvents(&session, 0); }

    // Starts a trace and waits for its target lookups (on their own thread) to be answered.
    void start(const QString& destination = QStringLiteral("target.example")) {
        session.StartTrace(destination);
        waitForStart(session);
    }

    TraceId trace() const { return session.currentTrace(); }
    const HopTable& hops() const { return session.state().HopList; }

    // Results for every request from `from` on: routers below `destinationHop`, the target at and
    // above it (0: the target never answers and hops above `lastAnswering` are lost).
    void answerRequests(size_t from, int destinationHop, int lastAnswering = 35) {
        for (size_t i = from; i < launcher.launched.size(); ++i) {
            const int hop = launcher.launched[i].request.hop;
            if (destinationHop != 0 && hop >= destinationHop)
                launcher.postResult(trace(), hop, TargetIp, 20);
            else if (hop <= lastAnswering)
                launcher.postResult(trace(), hop, routerIp(hop), hop);
            else
                launcher.postResult(trace(), hop, QString(), LOST_SAMPLE);
        }
        deliver();
    }

    FakeLauncher launcher;
    FakeNameService names;
    FakeClock clock;
    qint32 delayMs = 10000;
    TraceSession session{launcher, names, clock};
};

}  // namespace hoplark::testing
