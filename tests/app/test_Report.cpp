#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/ReportOptions.h"
#include "export/ReportFormatter.h"
#include "support/QtPrinters.h"

namespace hoplark {
namespace {

TEST(ReportArguments, ReadsOptionsAndDefaults) {
    const ReportArguments defaults = ParseReportArguments({"10.9.0.1"});
    ASSERT_TRUE(defaults.error.isEmpty()) << defaults.error.toStdString();
    EXPECT_EQ(defaults.options.target, "10.9.0.1");
    EXPECT_EQ(defaults.options.count, 10);
    EXPECT_EQ(defaults.options.delayMs, 1000);
    EXPECT_EQ(defaults.options.samples, 0);
    EXPECT_EQ(defaults.options.timeoutMs, 9998);
    EXPECT_EQ(defaults.options.packetSize, 56);
    EXPECT_TRUE(defaults.options.resolveNames);
    EXPECT_EQ(defaults.options.format, ReportFormat::Text);
    EXPECT_EQ(defaults.options.addressChoice, AddressChoice::ResolverOrder);
    EXPECT_EQ(ParseReportArguments({"-6", "h"}).options.addressChoice, AddressChoice::V6Only);
    EXPECT_EQ(ParseReportArguments({"--ipv4", "-4", "h"}).options.addressChoice,
              AddressChoice::V4Only);

    const ReportArguments all = ParseReportArguments(
        {"--count", "3", "--delay", "2.5 Seconds", "--samples", "5", "--timeout", "500",
         "--packet-size", "100", "--ignore-first-hop", "--no-dns", "--format", "json", "--settings",
         "/nonexistent/x.ini", "host.example"});
    ASSERT_TRUE(all.error.isEmpty()) << all.error.toStdString();
    EXPECT_EQ(all.options.count, 3);
    EXPECT_EQ(all.options.delayMs, 2500);
    EXPECT_EQ(all.options.samples, 5);
    EXPECT_EQ(all.options.timeoutMs, 500);
    EXPECT_EQ(all.options.packetSize, 100);
    EXPECT_TRUE(all.options.ignoreFirstHop);
    EXPECT_FALSE(all.options.resolveNames);
    EXPECT_EQ(all.options.format, ReportFormat::Json);
    EXPECT_EQ(all.options.target, "host.example");
}

TEST(ReportArguments, RefusesBadArguments) {
    const QStringList bad[] = {
        {},
        {"--count", "0", "t"},
        {"--count", "x", "t"},
        {"--count"},
        {"--format", "xml", "t"},
        {"--delay", "abc Seconds", "t"},
        {"--delay", "600 Hours", "t"},
        {"--timeout", "-1", "t"},
        {"--bogus", "t"},
        {"a", "b"},
        {"-4", "-6", "t"},
    };
    for (const QStringList& arguments : bad) {
        EXPECT_FALSE(ParseReportArguments(arguments).error.isEmpty())
            << arguments.join(' ').toStdString();
    }
    EXPECT_TRUE(ParseReportArguments({"--help"}).options.showHelp);
}

TEST(ReportArguments, ExplainsDelaysThatReadOtherwiseThanTheyLook) {
    // The window's syntax stays: M is minutes, however the rest of the unit is spelt.
    const ReportArguments milliseconds = ParseReportArguments({"--delay", "10 ms", "t"});
    ASSERT_TRUE(milliseconds.error.isEmpty()) << milliseconds.error.toStdString();
    EXPECT_EQ(milliseconds.options.delayMs, 600000);
    EXPECT_EQ(milliseconds.warnings,
              QStringList{"--delay \"10 ms\" reads as 10 Minutes (M is minutes; the shortest "
                          "delay is 0.2 s)"});
    EXPECT_EQ(ParseReportArguments({"--delay", "1 msec", "t"}).warnings,
              QStringList{"--delay \"1 msec\" reads as 1 Minute (M is minutes; the shortest "
                          "delay is 0.2 s)"});

    for (const char* meant : {"10 Minutes", "2 min", "0.5", "1 Second"})
        EXPECT_TRUE(ParseReportArguments({"--delay", meant, "t"}).warnings.isEmpty()) << meant;

    // Text that is no delay at all is refused with the forms that are.
    for (const char* refused : {"500ms", "0.5s", "abc Seconds"}) {
        const QString error = ParseReportArguments({"--delay", refused, "t"}).error;
        EXPECT_TRUE(error.startsWith(QStringLiteral("--delay: '"))) << error;
        EXPECT_TRUE(error.contains(
            QStringLiteral("A delay reads like \"0.5\", \"0.5 Seconds\" or \"2 Minutes\".")))
            << error;
    }
}

// A small trace: hop 1 answered twice, hop 2 never, hop 3 is the target with one loss, and a
// fourth record that the grid would not show.
TraceState sampleTrace() {
    TraceState state;
    state.TargetAddress = "10.9.0.1";
    state.HostName = "target, \"the\" host";
    state.SamplesTaken = 2;
    state.DestinationHop = 3;
    state.Window = SampleWindow{0, 1};
    THostInfo& one = state.HopList.append();
    one.IP = "10.1.0.1";
    one.DNSName = "r1";
    one.AddSample(4, state.Window);
    one.AddSample(6, state.Window);
    THostInfo& two = state.HopList.append();
    two.AddSample(LOST_SAMPLE, state.Window);
    two.AddSample(LOST_SAMPLE, state.Window);
    THostInfo& three = state.HopList.append();
    three.IP = "10.9.0.1";
    three.DNSName = NO_NAME;
    three.AddSample(12, state.Window);
    three.AddSample(LOST_SAMPLE, state.Window);
    state.HopList.append();
    return state;
}

TEST(ReportFormatter, JsonHoldsEveryFigure) {
    const TraceState state = sampleTrace();
    const QJsonObject root =
        QJsonDocument::fromJson(ReportFormatter(state, "target", 3).json().toUtf8()).object();
    EXPECT_EQ(root["target"].toString(), "target");
    EXPECT_EQ(root["address"].toString(), "10.9.0.1");
    EXPECT_EQ(root["rounds"].toInt(), 2);
    EXPECT_EQ(root["destination_hop"].toInt(), 3);
    const QJsonArray hops = root["hops"].toArray();
    ASSERT_EQ(hops.size(), 3);
    const QJsonObject one = hops[0].toObject();
    EXPECT_EQ(one["name"].toString(), "r1");
    EXPECT_EQ(one["avg"].toInt(), 5);
    EXPECT_EQ(one["min"].toInt(), 4);
    EXPECT_EQ(one["max"].toInt(), 6);
    EXPECT_EQ(one["cur"].toInt(), 6);
    EXPECT_EQ(one["samples"].toArray(), (QJsonArray{4, 6}));
    const QJsonObject two = hops[1].toObject();
    EXPECT_EQ(two["lost"].toInt(), 2);
    EXPECT_TRUE(two["avg"].isNull());
    EXPECT_TRUE(two["cur"].isNull());
    EXPECT_EQ(two["samples"].toArray(), (QJsonArray{QJsonValue(), QJsonValue()}));
    const QJsonObject three = hops[2].toObject();
    EXPECT_EQ(three["name"].toString(), "");  // no reverse name
    EXPECT_EQ(three["avg"].toInt(), 12);
    EXPECT_TRUE(three["cur"].isNull());  // the last sample was lost
    EXPECT_FALSE(three["unreachable"].toBool());

    TraceState notFound;
    EXPECT_TRUE(QJsonDocument::fromJson(ReportFormatter(notFound, "t", 0).json().toUtf8())
                    .object()["destination_hop"]
                    .isNull());
}

TEST(ReportFormatter, JsonGivesRespondersAndLossVerdicts) {
    // Four rounds: hop 1 alternates between two routers, hop 2 misses its answer in rounds 1
    // to 3 while the target answers, and the target misses round 4.
    TraceState state;
    state.TargetAddress = "10.9.0.1";
    state.SamplesTaken = 4;
    state.DestinationHop = 3;
    state.Window = SampleWindow{0, 3};
    const char* rows[] = {"ABAB", "...2", "333."};
    for (const char* row : rows) {
        THostInfo& hop = state.HopList.append();
        for (qint32 round = 1; round <= 4; ++round) {
            const char s = row[round - 1];
            const bool lost = s == '.';
            hop.AddSample(lost ? LOST_SAMPLE : 5, state.Window,
                          SampleDetail{lost ? -1 : 5000, round},
                          lost ? QString() : QStringLiteral("10.0.0.%1").arg(QChar(s)));
        }
    }
    const QJsonObject root =
        QJsonDocument::fromJson(ReportFormatter(state, "t", 3).json().toUtf8()).object();
    EXPECT_DOUBLE_EQ(root["destination_loss_pct"].toDouble(), 25.0);
    const QJsonArray hops = root["hops"].toArray();
    ASSERT_EQ(hops.size(), 3);

    const QJsonObject one = hops[0].toObject();
    EXPECT_EQ(one["responders"].toArray(),
              (QJsonArray{QJsonObject{{"address", "10.0.0.A"}, {"count", 2}},
                          QJsonObject{{"address", "10.0.0.B"}, {"count", 2}}}));
    EXPECT_FALSE(one["rate_limited"].toBool());
    EXPECT_TRUE(one["loss_verdict"].isNull());

    // The text form names the same verdicts.
    const QStringList text = ReportFormatter(state, "t", 3).text().split('\n');
    EXPECT_TRUE(text[7].endsWith(QStringLiteral("  75.0%    4  rate-limited")))
        << text[7].toStdString();
    EXPECT_TRUE(text[8].endsWith(QStringLiteral("  25.0%    4  loss"))) << text[8].toStdString();

    const QJsonObject two = hops[1].toObject();
    EXPECT_TRUE(two["rate_limited"].toBool());
    EXPECT_EQ(two["loss_verdict"].toString(), "rate-limited");
    EXPECT_EQ(two["not_forwarded_loss"].toInt(), 3);
    // Its own answers are limited; what it forwards may be lost at most as often as the target
    // misses its answers.
    EXPECT_DOUBLE_EQ(two["path_loss_pct"].toDouble(), 25.0);
    EXPECT_EQ(two["lost"].toInt(), 3);
    EXPECT_EQ(two["lost_total"].toInt(), 3);

    const QJsonObject three = hops[2].toObject();
    EXPECT_FALSE(three["rate_limited"].toBool());
    EXPECT_EQ(three["loss_verdict"].toString(), "loss");
    EXPECT_EQ(three["not_forwarded_loss"].toInt(), 0);
    EXPECT_DOUBLE_EQ(three["path_loss_pct"].toDouble(), 25.0);
    EXPECT_EQ(three["responders"].toArray().size(), 1);

    // Before the destination is known there is no destination figure.
    state.DestinationHop = 0;
    EXPECT_TRUE(QJsonDocument::fromJson(ReportFormatter(state, "t", 3).json().toUtf8())
                    .object()["destination_loss_pct"]
                    .isNull());
}

TEST(ReportFormatter, CsvQuotesAndTextAligns) {
    TraceState state = sampleTrace();
    state.HopList.at(0).DNSName = "r1, \"core\"";
    const QString csv = ReportFormatter(state, "target", 3).csv();
    EXPECT_EQ(csv,
              "hop,lost_total,ip,name,avg,min,max,cur,unreachable\r\n"
              "1,0,10.1.0.1,\"r1, \"\"core\"\"\",5,4,6,6,false\r\n"
              "2,2,,,,,,,false\r\n"
              "3,1,10.9.0.1,,12,12,12,,false\r\n");

    const QString text = ReportFormatter(sampleTrace(), "target", 3).text();
    const QStringList lines = text.split('\n');
    EXPECT_EQ(lines[0], "Target: target");
    EXPECT_EQ(lines[4], "");
    // Loss% and Snt over the window and the loss verdict follow the grid's columns.
    EXPECT_EQ(lines[5].toStdString(),
              "Hop  Lost  Address   Name  Avg  Min  Max  Cur   Loss%  Snt  Verdict");
    EXPECT_EQ(lines[6].toStdString(), "  1     0  10.1.0.1  r1      5    4    6    6    0.0%    2");
    EXPECT_EQ(lines[7].toStdString(),
              "  2     2                    *    *    *    *  100.0%    2  loss");
    EXPECT_EQ(lines[8].toStdString(),
              "  3     1  10.9.0.1         12   12   12    *   50.0%    2  loss");
}

// Hop 1 of sampleTrace with its samples timed to the microsecond by the kernel.
TraceState microsecondTrace() {
    TraceState state = sampleTrace();
    THostInfo& one = state.HopList.at(0);
    one = THostInfo(1);
    one.IP = "10.1.0.1";
    one.DNSName = "r1";
    int round = 0;
    for (qint32 us : {4123, 6456}) {
        SampleDetail detail;
        detail.roundTripUs = us;
        detail.round = ++round;
        detail.clock = SampleClock::Kernel;
        one.AddSample(us / 1000, state.Window, detail, one.IP);
    }
    return state;
}

TEST(ReportFormatter, JsonCarriesTheWindowStatisticsInMilliseconds) {
    const QJsonArray hops =
        QJsonDocument::fromJson(ReportFormatter(microsecondTrace(), "t", 3).json().toUtf8())
            .object()["hops"]
            .toArray();
    const QJsonObject one = hops[0].toObject();
    EXPECT_EQ(one["avg"].toInt(), 5);                  // the whole milliseconds stay as they were
    EXPECT_DOUBLE_EQ(one["avg_ms"].toDouble(), 5.29);  // 5.2895 to three places
    EXPECT_DOUBLE_EQ(one["min_ms"].toDouble(), 4.123);
    EXPECT_DOUBLE_EQ(one["max_ms"].toDouble(), 6.456);
    EXPECT_DOUBLE_EQ(one["stdev_ms"].toDouble(), 1.65);    // |6456 - 4123| / sqrt 2 = 1649.67
    EXPECT_DOUBLE_EQ(one["jitter_ms"].toDouble(), 2.333);  // one pair, 2333 us apart
    EXPECT_DOUBLE_EQ(one["rfc3550_jitter_ms"].toDouble(), 0.146);  // 2333 / 16
    EXPECT_DOUBLE_EQ(one["p50_ms"].toDouble(), 5.29);
    EXPECT_DOUBLE_EQ(one["p95_ms"].toDouble(), 6.339);  // 4123 + 0.95 * 2333 = 6339.35
    EXPECT_DOUBLE_EQ(one["loss_pct"].toDouble(), 0.0);
    EXPECT_EQ(one["sent"].toInt(), 2);
    EXPECT_EQ(one["received"].toInt(), 2);
    EXPECT_EQ(one["clock"].toString(), "kernel");
    EXPECT_EQ(one["samples_us"].toArray(), (QJsonArray{4123, 6456}));

    const QJsonObject two = hops[1].toObject();
    for (const char* key :
         {"avg_ms", "min_ms", "max_ms", "stdev_ms", "jitter_ms", "p50_ms", "p95_ms", "clock"})
        EXPECT_TRUE(two[key].isNull()) << key;
    EXPECT_DOUBLE_EQ(two["loss_pct"].toDouble(), 100.0);
    EXPECT_EQ(two["received"].toInt(), 0);
    EXPECT_EQ(two["samples_us"].toArray(), (QJsonArray{QJsonValue(), QJsonValue()}));

    // A hop without microseconds of its own counts its milliseconds; one lost in two.
    const QJsonObject three = hops[2].toObject();
    EXPECT_DOUBLE_EQ(three["avg_ms"].toDouble(), 12.0);
    EXPECT_DOUBLE_EQ(three["loss_pct"].toDouble(), 50.0);
    EXPECT_EQ(three["clock"].toString(), "monotonic");
    EXPECT_EQ(three["samples_us"].toArray(), (QJsonArray{12000, QJsonValue()}));
}

TEST(ReportFormatter, WideTextAndCsvAddTheStatisticsColumns) {
    const TraceState state = microsecondTrace();
    const QString wideText = ReportFormatter(state, "t", 3, true).text();
    SCOPED_TRACE(wideText.toStdString());
    const QStringList lines = wideText.split('\n');
    EXPECT_EQ(lines[5].toStdString(),
              "Hop  Lost  Address   Name  Avg  Min  Max  Cur   Loss%  Snt    Avg   Best   Wrst  "
              "StDev  Jttr  Verdict");
    EXPECT_EQ(lines[6].toStdString(),
              "  1     0  10.1.0.1  r1      5    4    6    6    0.0%    2   5.29   4.12   6.46   "
              "1.65  2.33");
    EXPECT_EQ(lines[7].toStdString(),
              "  2     2                    *    *    *    *  100.0%    2      *      *      *  "
              "    *     *  loss");

    const QStringList csv = ReportFormatter(state, "t", 3, true).csv().split("\r\n");
    EXPECT_EQ(csv[0],
              "hop,lost_total,ip,name,avg,min,max,cur,unreachable,loss_pct,sent,received,lost,"
              "pending,avg_ms,min_ms,max_ms,cur_ms,stdev_ms,jitter_ms,rfc3550_jitter_ms,p50_ms,"
              "p95_ms,clock");
    EXPECT_EQ(csv[1],
              "1,0,10.1.0.1,r1,5,4,6,6,false,0.000,2,2,0,0,5.290,4.123,6.456,6.456,1.650,2.333,"
              "0.146,5.290,6.339,kernel");
    EXPECT_EQ(csv[2], "2,2,,,,,,,false,100.000,2,0,2,0,,,,,,,,,,");
    // Without --wide both keep their columns.
    EXPECT_FALSE(ReportFormatter(state, "t", 3).csv().contains("loss_pct"));
    EXPECT_FALSE(ReportFormatter(state, "t", 3).text().contains("StDev"));
    EXPECT_TRUE(ParseReportArguments({"--wide", "t"}).options.wide);
    EXPECT_TRUE(ReportUsageText().contains("--wide"));
}

TEST(ReportFormatter, AWindowWithoutValidSamplesPrintsNoFigures) {
    // Hop 3 answered in round 1 and lost round 2; the window holds round 2 alone.
    TraceState state = sampleTrace();
    state.Window = SampleWindow{1, 1};
    state.HopList.RecalcAll(state.Window);
    const QJsonObject three =
        QJsonDocument::fromJson(ReportFormatter(state, "t", 3).json().toUtf8())
            .object()["hops"]
            .toArray()[2]
            .toObject();
    for (const char* key : {"avg", "min", "max", "cur", "avg_ms"})
        EXPECT_TRUE(three[key].isNull()) << key;
    EXPECT_EQ(ReportFormatter(state, "t", 3).csv().split("\r\n")[3], "3,1,10.9.0.1,,,,,,false");
    const QString text = ReportFormatter(state, "t", 3).text();
    SCOPED_TRACE(text.toStdString());
    EXPECT_EQ(text.split('\n')[8].toStdString(),
              "  3     1  10.9.0.1          *    *    *    *  100.0%    1  loss");
}

TEST(ReportFormatter, ListsTheUnreachableMarker) {
    TraceState state = sampleTrace();
    THostInfo& marker = state.HopList.at(3);
    marker.DNSName = UNREACHABLE_NAME;
    marker.Unreachable = true;
    const QJsonArray hops = QJsonDocument::fromJson(ReportFormatter(state, "t", 4).json().toUtf8())
                                .object()["hops"]
                                .toArray();
    ASSERT_EQ(hops.size(), 4);
    EXPECT_TRUE(hops[3].toObject()["unreachable"].toBool());
    EXPECT_EQ(hops[3].toObject()["name"].toString(), "Destination Address Unreachable");
    EXPECT_TRUE(ReportFormatter(state, "t", 4).text().contains("Destination Address Unreachable"));
}

}  // namespace
}  // namespace hoplark
