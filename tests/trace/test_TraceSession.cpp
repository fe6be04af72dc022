// The trace session driven by a fake launcher: rounds, destination detection and trimming, the
// unreachable marker, round limit, stop and restart, stale workers of an earlier trace.
#include <QElapsedTimer>
#include <condition_variable>
#include <mutex>

#include "support/Addresses.h"
#include "support/SampleLists.h"
#include "trace/HoplarkError.h"
#include "trace/SessionFixture.h"
#include "trace/TraceObserver.h"

namespace hoplark::testing {
namespace {

std::vector<int> range(int first, int last) {
    std::vector<int> hops;
    for (int hop = first; hop <= last; ++hop)
        hops.push_back(hop);
    return hops;
}

TEST_F(SessionTest, StartLaunchesAFirstRoundOfAllHopsStaggeredAndArmsTheTimer) {
    start();
    EXPECT_TRUE(session.isTracing());
    EXPECT_EQ(session.state().TargetAddress, TargetIp);
    EXPECT_EQ(session.state().HostName, "target.example");
    ASSERT_EQ(launcher.hopsFrom(0), range(1, 35));
    for (const auto& entry : launcher.launched) {
        EXPECT_EQ(entry.request.target, TargetIp);
        EXPECT_EQ(entry.request.trace, trace());
        EXPECT_TRUE(entry.request.resolveName);
        EXPECT_EQ(entry.request.startDelayMs, (entry.request.hop - 1) * 25);
    }
    EXPECT_EQ(session.pendingQueries(), 35);
    EXPECT_TRUE(session.roundTimerActive());
    EXPECT_EQ(session.roundTimerIntervalMs(), 10000);
    EXPECT_EQ(session.state().SamplesTaken, 1);
}

TEST_F(SessionTest, DestinationAnsweringAtTenAfterTwelveCutsTheTableAndLaterRounds) {
    start();
    launcher.postResult(trace(), 12, TargetIp, 30);
    deliver();
    EXPECT_EQ(session.state().DestinationHop, 12);
    EXPECT_EQ(hops().count(), 12);

    launcher.postResult(trace(), 10, TargetIp, 25);
    deliver();
    EXPECT_EQ(session.state().DestinationHop, 10);
    EXPECT_EQ(hops().count(), 10);

    launcher.postResult(trace(), 11, TargetIp, 25);
    launcher.postResult(trace(), 12, TargetIp, 25);
    for (int hop = 1; hop < 10; ++hop)
        launcher.postResult(trace(), hop, routerIp(hop), hop);
    deliver();
    EXPECT_EQ(hops().count(), 10);
    EXPECT_EQ(session.shownHops(), 10);
    EXPECT_EQ(hops().at(9).IP, TargetIp);
    EXPECT_EQ(hops().at(8).IP, routerIp(9));

    launcher.finishAll();
    deliver();
    EXPECT_EQ(session.pendingQueries(), 0);
    const size_t round2 = launcher.launched.size();
    session.tmrTraceTimer();
    EXPECT_EQ(launcher.hopsFrom(round2), range(1, 10));
}

TEST_F(SessionTest, ResultsHeldForTheLastWorkerAreTakenBeforeTheNextRoundIsLaunched) {
    // The report's way: one wake-up for a round's results, once its last worker is done.
    session.channel()->setWakeOnlyWhenIdle(true);
    start();
    answerRequests(0, 10);
    // Every worker but the last has ended; the last is a lost hop still waiting out its time.
    for (size_t i = 0; i + 1 < launcher.launched.size(); ++i)
        launcher.finish(i);
    deliver();
    EXPECT_TRUE(hops().isEmpty());

    // The next round is launched from the hop table those results fill in, not a blind one.
    const size_t round2 = launcher.launched.size();
    session.tmrTraceTimer();
    EXPECT_EQ(session.shownHops(), 10);
    EXPECT_EQ(launcher.hopsFrom(round2), range(1, 10));

    // The last worker of all wakes the session for everything.
    launcher.finishAll();
    deliver();
    EXPECT_EQ(session.pendingQueries(), 0);
    EXPECT_EQ(session.pendingQueries(), 0);
}

TEST_F(SessionTest, UnreachableTargetIsMarkedAfterTheLastAnsweringHop) {
    start();
    answerRequests(0, 0, 12);
    ASSERT_EQ(hops().count(), 35);
    EXPECT_TRUE(hops().at(12).Unreachable);
    EXPECT_EQ(hops().at(12).DNSName, UNREACHABLE_NAME);
    EXPECT_FALSE(hops().at(11).Unreachable);
    EXPECT_EQ(session.shownHops(), 13);

    launcher.finishAll();
    deliver();
    const size_t round2 = launcher.launched.size();
    session.tmrTraceTimer();
    EXPECT_EQ(launcher.hopsFrom(round2), range(1, 12));
}

TEST_F(SessionTest, IgnoringTheFirstHopInFrontOfTheMarkerLaunchesNothing) {
    start();
    answerRequests(0, 0, 1);
    ASSERT_TRUE(hops().at(1).Unreachable);
    launcher.finishAll();
    deliver();

    session.setIgnoreFirstHop(true);
    auto querying = logFirst(session, &TraceSession::pendingChanged);
    const size_t before = launcher.launched.size();
    session.tmrTraceTimer();
    EXPECT_EQ(launcher.launched.size(), before);
    EXPECT_EQ(session.pendingQueries(), 0);
    EXPECT_EQ(session.pendingQueries(), 0);
    ASSERT_EQ(querying->size(), 2u);  // raised for the launch, cleared within it
    EXPECT_TRUE(session.roundTimerActive());
}

TEST_F(SessionTest, RoundLimitStopsRightAfterTheLastRoundWhoseResultsStillMerge) {
    session.setTraceCountText("3");
    start();
    session.tmrTraceTimer();
    session.tmrTraceTimer();
    EXPECT_FALSE(session.isTracing());
    EXPECT_FALSE(session.roundTimerActive());
    EXPECT_TRUE(session.restartAvailable());
    EXPECT_EQ(session.state().SamplesTaken, 3);
    EXPECT_EQ(session.state().SamplesTaken, 3);
    EXPECT_EQ(launcher.launched.size(), 3u * 35);

    answerRequests(0, 5);
    EXPECT_EQ(hops().at(0).Samples.size(), 3u);
    session.tmrTraceTimer();  // a stray tick after the stop launches nothing
    EXPECT_EQ(launcher.launched.size(), 3u * 35);

    // Restart: exactly one more round, then stopped again.
    launcher.finishAll();
    deliver();
    const size_t round4 = launcher.launched.size();
    session.RestartTrace();
    EXPECT_EQ(launcher.hopsFrom(round4), range(1, 5));
    EXPECT_EQ(session.state().SamplesTaken, 4);
    EXPECT_FALSE(session.isTracing());
    EXPECT_TRUE(session.restartAvailable());
    EXPECT_EQ(hops().count(), 5);  // the data carried on
}

TEST_F(SessionTest, StopDuringARoundLetsItsWorkersFinishAndClearsQuerying) {
    start();
    launcher.postResult(trace(), 1, routerIp(1), 3);
    deliver();
    session.StopTrace();
    EXPECT_FALSE(session.roundTimerActive());
    EXPECT_GT(session.pendingQueries(), 0);
    EXPECT_FALSE(launcher.launched[1].worker->terminateRequested);

    answerRequests(1, 8);
    launcher.finishAll();
    deliver();
    EXPECT_EQ(hops().count(), 8);
    EXPECT_EQ(session.pendingQueries(), 0);
    EXPECT_FALSE(session.isTracing());

    session.editDestinationChange();
    EXPECT_FALSE(session.restartAvailable());
    session.RestartTrace();
    EXPECT_FALSE(session.isTracing());
}

TEST_F(SessionTest, ANewStartDropsEverythingTheOldTraceStillPosts) {
    start();
    const TraceId oldTrace = trace();
    launcher.postResult(oldTrace, 1, routerIp(1), 3);  // queued before the new start
    const size_t newRound = launcher.launched.size();

    names.hosts["other.example"] = HostEntry{"other.example", {Ip("10.9.9.9")}};
    start("other.example");
    EXPECT_NE(trace(), oldTrace);
    EXPECT_TRUE(launcher.launched[0].worker->terminateRequested);
    EXPECT_EQ(session.pendingQueries(), 35);

    launcher.postResult(oldTrace, 2, routerIp(2), 4);
    launcher.postName(oldTrace, 1, routerIp(1), "old.example");
    launcher.postError(oldTrace, "old failure");
    for (size_t i = 0; i < newRound; ++i)
        launcher.finish(i);
    deliver();
    EXPECT_TRUE(hops().isEmpty());
    EXPECT_EQ(session.pendingQueries(), 35);
    EXPECT_GT(session.pendingQueries(), 0);

    launcher.postResult(trace(), 1, routerIp(1), 3);
    launcher.finishAll();
    deliver();
    ASSERT_EQ(hops().count(), 1);
    EXPECT_EQ(msOf(hops().at(0)), std::vector<qint32>{3});
    EXPECT_EQ(session.pendingQueries(), 0);
    EXPECT_EQ(session.pendingQueries(), 0);
}

TEST_F(SessionTest, LiteralTargetIsRecognisedByAddressWhateverItsForm) {
    struct Case {
        const char* typed;
        const char* plain;
    };
    for (const Case c : {Case{"127.1", "127.0.0.1"}, Case{"0177.0.0.01", "127.0.0.1"},
                         Case{"10.0.0.10", "10.0.0.10"}}) {
        auto resolved = logFirst(session, &TraceSession::targetResolved);
        start(c.typed);
        EXPECT_EQ(session.state().TargetAddress, c.plain) << c.typed;
        ASSERT_EQ(resolved->size(), 1u);
        EXPECT_EQ((*resolved)[0], c.plain);
        EXPECT_EQ(launcher.launched.back().request.target, c.plain);
        launcher.postResult(trace(), 4, c.plain, 1);
        deliver();
        EXPECT_EQ(session.state().DestinationHop, 4) << c.typed;
        session.StopTrace();
    }
    waitForTargetName(session);
    EXPECT_EQ(session.state().HostName, "target.example");  // reverse lookup of a literal
}

// Reverse names held back until the test opens the gate, as a resolver that does not answer.
class GatedNames : public NameService {
public:
    std::optional<HostEntry> LookupHost(const std::string&) override { return std::nullopt; }
    std::optional<std::string> LookupAddress(const IpAddress& address) override {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
        return address.text() == "10.0.0.10" ? "old.example" : "new.example";
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

// What the recording is told about the target.
class TargetLog : public TraceObserver {
public:
    void traceStarted(const QString&, const QString&, const QString& hostName, qint64) override {
        startedWith << hostName;
    }
    void targetNamed(const QString& hostName) override { named << hostName; }
    void roundStarted(qint32, qint64) override {}
    void probeMerged(const THostInfo&) override {}
    void nameLearnt(qint32, const QString&, const QString&) override {}
    void roundCompleted() override {}
    void traceStopped() override {}
    QStringList startedWith;
    QStringList named;
};

TEST(SessionTargetName, AnAddressIsProbedAtOnceAndItsNameFollows) {
    GatedNames names;
    FakeLauncher launcher;
    FakeClock clock;
    TargetLog log;
    {
        TraceSession session(launcher, names, clock);
        launcher.channel = session.channel();
        session.setDelayProvider([] { return 10000; });
        session.setObserver(&log);
        std::vector<std::pair<QString, QString>> resolved;
        QObject::connect(&session, &TraceSession::targetResolved,
                         [&resolved](const QString& address, const QString& name) {
                             resolved.emplace_back(address, name);
                         });

        session.StartTrace(QStringLiteral("10.0.0.10"));
        waitForStart(session);
        // The first round went out while the name is still on its way.
        EXPECT_TRUE(session.isTracing());
        EXPECT_EQ(launcher.launched.size(), 35u);
        EXPECT_TRUE(session.isNamingTarget());
        EXPECT_EQ(session.state().HostName, "");
        EXPECT_EQ(log.startedWith, QStringList{""});

        // A new trace before the old name came: the old answer must not name the new target.
        session.StartTrace(QStringLiteral("10.0.0.11"));
        waitForStart(session);
        names.open();
        waitForTargetName(session);
        QCoreApplication::sendPostedEvents(&session, TargetNamedEvent::Type);
        EXPECT_FALSE(session.isNamingTarget());
        EXPECT_EQ(session.state().HostName, "new.example");
        EXPECT_EQ(log.named, QStringList{"new.example"});
        ASSERT_FALSE(resolved.empty());
        EXPECT_EQ(resolved.back(), (std::pair<QString, QString>("10.0.0.11", "new.example")));
        session.setObserver(nullptr);
    }
}

TEST_F(SessionTest, FailedStartsLeaveAnIdleEmptySessionAndRecordNoHistory) {
    struct Case {
        QString typed;
        QString message;
    };
    const Case cases[] = {
        {"", "Host name or IP Address required."},
        {"nosuchhost", "Host: nosuchhost could not be found!"},
        // Pasted text with control characters never reaches the resolver or the history.
        {"10.0.0.10\n[Advanced]\nPacketSize=3",
         "Host: 10.0.0.10\u240a[Advanced]\u240aPacketSize=3 could not be found! A host name "
         "holds no line break, tab or other control character."},
        {"target.example\r",
         "Host: target.example\u240d could not be found! A host name holds no "
         "line break, tab or other control character."},
        {QString("10.0.0.10\t") + QChar(0) + QChar(0x1f),
         "Host: 10.0.0.10\u2409\u2400\u241f could not be found! A host name holds no line break, "
         "tab or other control character."},
    };
    for (const Case& c : cases) {
        start();
        answerRequests(0, 3);
        session.StopTrace();
        auto accepted = logFirst(session, &TraceSession::destinationAccepted);
        auto failures = logFirst(session, &TraceSession::startFailed);
        start(c.typed);
        EXPECT_EQ(*failures, std::vector<QString>{c.message}) << c.typed.toStdString();
        EXPECT_FALSE(session.isStarting());
        EXPECT_FALSE(session.isTracing());
        EXPECT_TRUE(hops().isEmpty());
        EXPECT_EQ(session.state().SamplesTaken, 0);
        EXPECT_FALSE(session.restartAvailable());
        EXPECT_FALSE(session.roundTimerActive());
        EXPECT_EQ(accepted->size(), 0u);
        // Old workers' completions of the abandoned trace change nothing.
        launcher.finishAll();
        deliver();
        EXPECT_EQ(session.pendingQueries(), 0);
    }
}

TEST_F(SessionTest, RoundDelayIsCompensatedForTheLaunchAndNeverFloods) {
    struct Case {
        qint32 delay;
        qint64 launchMs;
        int armed;
    };
    const Case cases[] = {
        {10000, 0, 10000}, {10000, 350, 9650}, {10000, 700, 10000},
        {200, 350, 200},   {-5000, 0, 15000},  {-5000, 350, 14650},
        {0, 0, 15000},     {1, 0, 200},        {450, 300, 200},
    };
    for (const Case& c : cases) {
        delayMs = c.delay;
        launcher.onLaunch = [&](const HopProbeRequest&) { clock.now += c.launchMs / 35; };
        start();
        EXPECT_EQ(session.roundTimerIntervalMs(), c.armed)
            << "delay " << c.delay << " launch " << c.launchMs;
        session.StopTrace();
    }
}

TEST_F(SessionTest, ADelayBelowTheFloorIsToldOnceAndClearedWhenItIsRaised) {
    auto notices = logFirst(session, &TraceSession::noticeChanged);
    delayMs = 1;  // "0.001 Seconds"
    start();
    for (int round = 0; round < 3; ++round)
        session.tmrTraceTimer();
    EXPECT_EQ(session.roundTimerIntervalMs(), 200);
    ASSERT_EQ(notices->size(), 1u);
    EXPECT_TRUE((*notices)[0].contains(QStringLiteral("s"))) << (*notices)[0].toStdString();
    EXPECT_FALSE((*notices)[0].isEmpty());

    delayMs = 1000;
    session.tmrTraceTimer();
    ASSERT_EQ(notices->size(), 2u);
    EXPECT_EQ((*notices)[1], "");
    EXPECT_EQ(session.roundTimerIntervalMs(), 1000);
}

TEST_F(SessionTest, UnreadableDelayStopsTheTraceAndReachesTheUser) {
    start();
    delayMs = -1;
    session.setDelayProvider(
        []() -> qint32 { throw HoplarkError("'abc ' is not a valid floating point value"); });
    EXPECT_THROW(session.tmrTraceTimer(), HoplarkError);
    EXPECT_FALSE(session.isTracing());
    EXPECT_TRUE(session.restartAvailable());
    EXPECT_FALSE(session.roundTimerActive());

    // From the session's own timer the failure arrives as a signal.
    int calls = 0;
    session.setDelayProvider([&]() -> qint32 {
        if (++calls == 1) return 1;
        throw HoplarkError("Floating point overflow");
    });
    auto errors = logFirst(session, &TraceSession::errorRaised);
    session.RestartTrace();
    QElapsedTimer waited;
    waited.start();
    while (errors->empty() && waited.elapsed() < 5000)
        QCoreApplication::processEvents();
    ASSERT_EQ(errors->size(), 1u);
    EXPECT_EQ((*errors)[0], "Floating point overflow");
    EXPECT_FALSE(session.isTracing());
}

TEST_F(SessionTest, WorkerFailuresAreReportedOncePerRoundAndNeverStallIt) {
    auto errors = logFirst(session, &TraceSession::workerErrorRaised);
    launcher.failOnHop = 7;
    start();
    EXPECT_EQ(launcher.hopsFrom(0).size(), 34u);  // hop 7 could not start; the rest did
    for (int i = 0; i < 35; ++i)
        launcher.postError(trace(), "Operation not permitted");
    launcher.postError(trace(), "another failure");
    deliver();
    ASSERT_EQ(errors->size(), 3u);
    EXPECT_EQ((*errors)[0], "cannot start a worker");
    EXPECT_EQ((*errors)[1], "Operation not permitted");
    EXPECT_EQ((*errors)[2], "another failure");

    launcher.finishAll();
    deliver();
    EXPECT_EQ(session.pendingQueries(), 0);  // the worker that never started is not waited for

    launcher.failOnHop = 0;
    session.tmrTraceTimer();
    launcher.postError(trace(), "Operation not permitted");
    deliver();
    EXPECT_EQ(errors->size(), 4u);
}

TEST_F(SessionTest, NamesFillOnlyEmptyOrPlaceholderNamesOfExistingHops) {
    start();
    answerRequests(0, 4);
    launcher.postName(trace(), 1, routerIp(1), NO_NAME);
    launcher.postName(trace(), 2, routerIp(2), "r2.example");
    launcher.postName(trace(), 9, routerIp(9), "trimmed.example");
    deliver();
    EXPECT_EQ(hops().at(0).DNSName, NO_NAME);
    launcher.postName(trace(), 1, routerIp(1), "r1.example");
    launcher.postName(trace(), 2, routerIp(2), "again.example");
    deliver();
    EXPECT_EQ(hops().at(0).DNSName, "r1.example");
    EXPECT_EQ(hops().at(1).DNSName, "r2.example");
    EXPECT_EQ(hops().count(), 4);

    launcher.finishAll();
    deliver();
    const size_t round2 = launcher.launched.size();
    session.tmrTraceTimer();
    std::vector<bool> resolve;
    for (size_t i = round2; i < launcher.launched.size(); ++i)
        resolve.push_back(launcher.launched[i].request.resolveName);
    EXPECT_EQ(resolve, (std::vector<bool>{false, false, true, true}));
}

TEST_F(SessionTest, MalformedResultsLeaveTheTableAlone) {
    start();
    launcher.postResult(trace(), 0, routerIp(0), 1);
    launcher.postResult(trace(), 36, routerIp(36), 1);
    launcher.postResult(trace(), -4, routerIp(1), 1);
    launcher.postName(trace(), 0, routerIp(0), "zero");
    deliver();
    EXPECT_TRUE(hops().isEmpty());

    // A lost first answer leaves the address empty until a later one brings it.
    launcher.postResult(trace(), 2, QString(), LOST_SAMPLE);
    deliver();
    EXPECT_EQ(hops().count(), 2);
    EXPECT_EQ(hops().at(1).IP, "");
    launcher.postResult(trace(), 2, routerIp(2), 5);
    launcher.postResult(trace(), 2, routerIp(3), 5);
    deliver();
    EXPECT_EQ(hops().at(1).IP, routerIp(2));
    EXPECT_EQ(hops().at(1).LostCount, 1);
}

TEST_F(SessionTest, OutputsFollowTheTraceLifecycle) {
    auto tracing = logFirst(session, &TraceSession::tracingChanged);
    auto accepted = logFirst(session, &TraceSession::destinationAccepted);
    auto legend = logCount(session, &TraceSession::legendRequested);
    auto failures = logFirst(session, &TraceSession::startFailed);
    start("Target.Example");
    EXPECT_EQ(failures->size(), 1u);
    EXPECT_TRUE(tracing->empty());
    names.hosts["Target.Example"] = names.hosts["target.example"];
    start("Target.Example");
    EXPECT_EQ(accepted->size(), 1u);
    EXPECT_EQ((*accepted)[0], "Target.Example");
    EXPECT_EQ(*legend, 1);
    ASSERT_EQ(tracing->size(), 1u);
    EXPECT_TRUE(session.isTracing());
    EXPECT_GT(session.pendingQueries(), 0);

    launcher.finishAll();
    deliver();
    EXPECT_TRUE(session.isTracing());
    EXPECT_EQ(session.pendingQueries(), 0);

    session.StopTrace();
    ASSERT_EQ(tracing->size(), 2u);
    EXPECT_FALSE((*tracing)[1]);
    session.RestartTrace();
    EXPECT_EQ(accepted->size(), 1u);  // a restart does not touch the history
    EXPECT_EQ(*legend, 2);
}

}  // namespace
}  // namespace hoplark::testing
