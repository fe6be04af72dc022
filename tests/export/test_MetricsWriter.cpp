// The metrics text: both formats carry the same figures under the names monitoring queries
// use, and Prometheus's own checker accepts them.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include "export/MetricsWriter.h"

namespace hoplark {
namespace {

std::vector<TargetMetrics> twoTargets() {
    TargetMetrics first;
    first.target = QStringLiteral("a \"quoted\"\\name");
    first.address = QStringLiteral("10.0.0.9");
    first.destinationLossRatio = 0.25;
    first.pathHops = 2;
    first.roundsTotal = 40;
    first.pathChangesTotal = 3;
    HopMetrics answering;
    answering.hop = 1;
    answering.responder = QStringLiteral("10.0.0.1");
    answering.probesSent = 40;
    answering.probesLost = 1;
    for (const double seconds : {0.00005, 0.0001, 0.0003, 0.02, 11.0})
        answering.rtt.observe(seconds);
    answering.rttAverageSeconds = 0.0015;
    answering.rttStddevSeconds = 0.0002;
    answering.lossRatio = 0.025;
    HopMetrics silent;
    silent.hop = 2;
    silent.probesSent = 40;
    silent.probesLost = 40;
    silent.lossRatio = 1.0;
    silent.rateLimited = true;
    first.hops = {answering, silent};
    TargetMetrics unresolved;
    unresolved.target = QStringLiteral("not.yet");
    return {first, unresolved};
}

TEST(MetricsWriter, WritesEveryFamilyWithCumulativeBucketsAndEscapedLabels) {
    const QString text =
        QString::fromUtf8(MetricsWriter(MetricsWriter::Format::Prometheus, QStringLiteral("1.2.3"))
                              .write(twoTargets()));
    const QString hop1 = QStringLiteral(
        R"(target="a \"quoted\"\\name",address="10.0.0.9",hop="1",responder="10.0.0.1")");
    for (
        const QString& line : {
            QStringLiteral("hoplark_build_info{version=\"1.2.3\"} 1"),
            QStringLiteral("# TYPE hoplark_hop_probes_sent_total counter"),
            QStringLiteral("hoplark_hop_probes_sent_total{%1} 40").arg(hop1),
            QStringLiteral("hoplark_hop_probes_lost_total{%1} 1").arg(hop1),
            // 0.05 ms and 0.1 ms fall into the first bucket (le is inclusive), 11 s only +Inf.
            QStringLiteral("hoplark_hop_rtt_seconds_bucket{%1,le=\"0.0001\"} 2").arg(hop1),
            QStringLiteral("hoplark_hop_rtt_seconds_bucket{%1,le=\"0.0005\"} 3").arg(hop1),
            QStringLiteral("hoplark_hop_rtt_seconds_bucket{%1,le=\"10.0\"} 4").arg(hop1),
            QStringLiteral("hoplark_hop_rtt_seconds_bucket{%1,le=\"+Inf\"} 5").arg(hop1),
            QStringLiteral("hoplark_hop_rtt_seconds_count{%1} 5").arg(hop1),
            QStringLiteral("hoplark_hop_rtt_avg_seconds{%1} 0.0015").arg(hop1),
            QStringLiteral("hoplark_hop_loss_ratio{%1} 0.025").arg(hop1),
            QStringLiteral("hoplark_hop_rate_limited{%1} 0").arg(hop1),
            QStringLiteral(R"(hoplark_hop_rate_limited{target="a \"quoted\"\\name",)"
                           R"(address="10.0.0.9",hop="2",responder=""} 1)"),
            QStringLiteral(
                R"(hoplark_destination_loss_ratio{target="a \"quoted\"\\name",address="10.0.0.9"} 0.25)"),
            QStringLiteral(R"(hoplark_rounds_total{target="not.yet",address=""} 0)"),
            QStringLiteral(R"(hoplark_path_changes_total{target="a \"quoted\"\\name",)"
                           R"(address="10.0.0.9"} 3)"),
        })
        EXPECT_TRUE(text.contains(line + u'\n')) << line.toStdString() << "\n"
                                                 << text.toStdString();
    // A hop without answers in the window has no average rather than a made-up one.
    EXPECT_FALSE(
        text.contains(QStringLiteral("hoplark_hop_rtt_avg_seconds{target=\"a "
                                     "\\\"quoted\\\"\\\\name\",address=\"10.0.0.9\",hop=\"2\"")));
    EXPECT_FALSE(text.contains(QStringLiteral("# EOF")));
    EXPECT_FALSE(text.contains(QStringLiteral("# UNIT")));
}

TEST(MetricsWriter, OpenMetricsNamesCounterFamiliesWithoutTotalAndEnds) {
    EXPECT_EQ(
        MetricsWriter::negotiate("application/openmetrics-text;version=1.0.0,text/plain;q=0.5"),
        MetricsWriter::Format::OpenMetrics);
    EXPECT_EQ(MetricsWriter::negotiate("*/*"), MetricsWriter::Format::Prometheus);
    const QString text = QString::fromUtf8(
        MetricsWriter(MetricsWriter::Format::OpenMetrics, QStringLiteral("1")).write(twoTargets()));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\n# EOF\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("# TYPE hoplark_hop_probes_sent counter\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("# TYPE hoplark_rounds counter\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("# UNIT hoplark_hop_rtt_seconds seconds\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nhoplark_rounds_total{target=\"not.yet\"")));
}

TEST(MetricsWriter, PrometheusCheckerAcceptsTheText) {
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    ASSERT_FALSE(promtool.isEmpty()) << "promtool (Debian package prometheus) is not installed";
    QProcess check;
    check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    ASSERT_TRUE(check.waitForStarted());
    check.write(
        MetricsWriter(MetricsWriter::Format::Prometheus, QStringLiteral("1")).write(twoTargets()));
    check.closeWriteChannel();
    ASSERT_TRUE(check.waitForFinished(60000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString()
                                   << check.readAllStandardError().toStdString();
}

}  // namespace
}  // namespace hoplark
