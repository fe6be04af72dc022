// Every export names and computes a hop's figures the same way, and writes them as it goes.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <random>

#include "export/JsonStreamWriter.h"
#include "export/ReportFormatter.h"
#include "export/TraceExport.h"

namespace hoplark {
namespace {

// A long trace: `hops` hops over `rounds` rounds, the last one the destination, with losses,
// a slow tail, two responders on hop 2, and the newest round still out.
TraceState longTrace(int hops, int rounds) {
    TraceState state;
    state.TargetAddress = QStringLiteral("10.9.0.1");
    state.SamplesTaken = rounds;
    state.DestinationHop = hops;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> percent(0, 99);
    for (int hop = 1; hop <= hops; ++hop) {
        THostInfo& record = state.HopList.append();
        for (int round = 1; round <= rounds; ++round) {
            if (round == rounds) {
                record.MarkPending(round);
                continue;
            }
            const bool lost = percent(random) < (hop == 3 ? 40 : hop >= hops - 1 ? 10 : 1);
            SampleDetail detail;
            detail.round = round;
            detail.clock = SampleClock::Kernel;
            detail.roundTripUs = lost ? -1 : hop * 1000 + percent(random) * 37;
            const QString responder =
                hop == hops ? state.TargetAddress
                            : QStringLiteral("10.0.%1.%2").arg(hop).arg(hop == 2 ? round % 2 : 1);
            record.StoreSample(lost ? LOST_SAMPLE : detail.roundTripUs / 1000, detail,
                               lost ? QString() : responder);
            if (!lost && record.IP.isEmpty()) record.IP = responder;
        }
    }
    state.Window = SampleWindow{rounds - 100, rounds - 1};
    state.HopList.RecalcAll(state.Window);
    return state;
}

QJsonObject parse(const QString& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

// The rows of a CSV file as field maps keyed by its header.
std::vector<std::map<QString, QString>> parseCsv(const QString& text) {
    const QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    std::vector<std::map<QString, QString>> rows;
    const QStringList header = lines.value(0).split(u',');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(u',');
        EXPECT_EQ(fields.size(), header.size()) << lines[i].toStdString();
        std::map<QString, QString> row;
        for (qsizetype k = 0; k < header.size() && k < fields.size(); ++k)
            row[header[k]] = fields[k];
        rows.push_back(row);
    }
    return rows;
}

TEST(ExportVocabulary, EveryExportOfAHopGivesTheSameFigures) {
    const TraceState state = longTrace(6, 2000);
    const QJsonArray reportHops =
        parse(ReportFormatter(state, QStringLiteral("t"), 6).json())["hops"].toArray();
    const auto reportCsv = parseCsv(ReportFormatter(state, QStringLiteral("t"), 6, true).csv());
    const TraceExport exporter(state, {QStringLiteral("t"), QString(), QStringLiteral("1")}, 6);
    const QJsonArray exportHops =
        parse(exporter.build(TraceExport::Format::Json, TraceExport::Rows::PerHop))["hops"]
            .toArray();
    const auto exportCsv =
        parseCsv(exporter.build(TraceExport::Format::Csv, TraceExport::Rows::PerHop));
    ASSERT_EQ(reportHops.size(), 6);
    ASSERT_EQ(exportHops.size(), 6);
    ASSERT_EQ(reportCsv.size(), 6u);
    ASSERT_EQ(exportCsv.size(), 6u);

    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i + 1);
        const QJsonObject json = reportHops[i].toObject();
        // The recording's export has every field the report has but the per-round lists.
        QJsonObject shared = json;
        for (const char* only : {"responders", "samples", "samples_us"})
            shared.remove(QLatin1String(only));
        EXPECT_EQ(shared, exportHops[i].toObject());
        // The CSV forms carry the same text of every figure the JSON has.
        for (const auto* csv : {&reportCsv[size_t(i)], &exportCsv[size_t(i)]}) {
            for (const auto& [name, text] : *csv) {
                if (!json.contains(name)) continue;  // the trace's context
                const QJsonValue value = json[name];
                if (value.isNull()) {
                    EXPECT_TRUE(text.isEmpty()) << name.toStdString();
                } else if (value.isString()) {
                    EXPECT_EQ(text, value.toString()) << name.toStdString();
                } else if (value.isBool()) {
                    EXPECT_EQ(text, value.toBool() ? "true" : "false") << name.toStdString();
                } else {
                    EXPECT_NEAR(text.toDouble(), value.toDouble(), 1e-9) << name.toStdString();
                }
            }
        }
        // The window of 100 rounds holds 99 settled rounds and one still out.
        EXPECT_EQ(json["sent"].toInt(), 99);
        EXPECT_EQ(json["pending"].toInt(), 1);
        EXPECT_EQ(json["samples"].toArray().size(), 2000);
    }
}

TEST(JsonStreamWriter, WritesWhatAParserReadsBack) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        JsonStreamWriter out(buffer);
        out.beginObject();
        out.member(QStringLiteral("text"), QStringLiteral("quote \" slash \\ tab \t line \n é ✓"));
        out.member(QStringLiteral("whole"), 42);
        out.member(QStringLiteral("fraction"), 5.29);
        out.member(QStringLiteral("negative"), -0.125);
        out.member(QStringLiteral("yes"), true);
        out.member(QStringLiteral("nothing"), QJsonValue());
        out.key(QStringLiteral("empty"));
        out.beginArray();
        out.endArray();
        out.key(QStringLiteral("nested"));
        out.beginArray();
        out.beginObject();
        out.member(QStringLiteral("a"), 1);
        out.endObject();
        out.value(QJsonValue());
        out.beginArray();
        out.endArray();
        out.endArray();
        out.endObject();
        EXPECT_TRUE(out.flush());
    }
    const QJsonObject expected{
        {"text", QStringLiteral("quote \" slash \\ tab \t line \n é ✓")},
        {"whole", 42},
        {"fraction", 5.29},
        {"negative", -0.125},
        {"yes", true},
        {"nothing", QJsonValue()},
        {"empty", QJsonArray()},
        {"nested", QJsonArray{QJsonObject{{"a", 1}}, QJsonValue(), QJsonArray()}}};
    EXPECT_EQ(parse(QString::fromUtf8(buffer.data())), expected) << buffer.data().toStdString();
}

TEST(JsonStreamWriter, SaysWhenTheDeviceRefusesAWrite) {
    QBuffer closed;  // never opened: every write fails
    JsonStreamWriter out(closed);
    out.beginObject();
    out.member(QStringLiteral("a"), 1);
    out.endObject();
    EXPECT_FALSE(out.flush());
}

}  // namespace
}  // namespace hoplark
