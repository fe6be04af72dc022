// The packed copy of the probes: it decodes to what was encoded, refuses damage without reading
// past its end, and a recording opened from it equals the same recording opened from its rows.
#include <QRandomGenerator>
#include <limits>

#include "record/ProbePack.h"
#include "record/RecordingError.h"
#include "record/RecordingFixture.h"
#include "record/RecordingSchema.h"
#include "record/SqliteDatabase.h"
#include "record/SqliteStatement.h"

namespace hoplark::testing {
namespace {

std::vector<PackedProbe> someProbes() {
    std::vector<PackedProbe> probes;
    probes.push_back({1, 1, 1'700'000'000'000'000, 3, 3100, 1, 11, 0, 0});
    probes.push_back({1, 2, 1'700'000'000'025'000, LOST_SAMPLE, -1, -1, 0, 0, 2});
    // Out of order, extreme and odd values survive too: the pack carries what the rows hold.
    probes.push_back({0, 35, 0, 0, 0, 0, 255, 255, 1});
    probes.push_back({std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::min(),
                      std::numeric_limits<qint64>::min(), -5, std::numeric_limits<qint32>::max(),
                      std::numeric_limits<qint64>::max() - 1, 3, 1, 7});
    probes.push_back({std::numeric_limits<qint32>::min(), -1, std::numeric_limits<qint64>::max(),
                      std::numeric_limits<qint32>::max(), 1, 999999, 0, 0, 0});
    return probes;
}

TEST(ProbePack, DecodesWhatWasEncodedAndRefusesEveryDamagedForm) {
    const std::vector<PackedProbe> probes = someProbes();
    const QByteArray pack = ProbePack::encode(probes);
    std::vector<PackedProbe> decoded;
    ASSERT_TRUE(ProbePack::decode(pack.constData(), size_t(pack.size()), decoded));
    EXPECT_EQ(decoded, probes);
    ASSERT_TRUE(ProbePack::decode(ProbePack::encode({}).constData(), 2, decoded));
    EXPECT_TRUE(decoded.empty());

    // Every shorter prefix, and one byte too many. The prefixes are copied so that a read past
    // their end is one past an allocation, which the sanitizer build catches.
    for (qsizetype length = 0; length < pack.size(); ++length) {
        const std::vector<char> prefix(pack.begin(), pack.begin() + length);
        EXPECT_FALSE(ProbePack::decode(prefix.data(), prefix.size(), decoded)) << length;
    }
    const QByteArray longer = pack + '\0';
    EXPECT_FALSE(ProbePack::decode(longer.constData(), size_t(longer.size()), decoded));

    // An unknown layout, a count far beyond the bytes, a varint that never ends, a round that
    // leaves 32 bits.
    QByteArray layout = pack;
    layout[0] = 2;
    EXPECT_FALSE(ProbePack::decode(layout.constData(), size_t(layout.size()), decoded));
    const QByteArray hugeCount("\x01\xff\xff\xff\x7f", 5);
    EXPECT_FALSE(ProbePack::decode(hugeCount.constData(), size_t(hugeCount.size()), decoded));
    const QByteArray endless = QByteArray("\x01\x01", 2) + QByteArray(20, '\xff');
    EXPECT_FALSE(ProbePack::decode(endless.constData(), size_t(endless.size()), decoded));
    const PackedProbe lastRound{std::numeric_limits<qint32>::max()};
    const QByteArray wideRound = ProbePack::encode({lastRound, lastRound});
    QByteArray overflow = wideRound;
    // The second probe's round difference, 0, becomes +1; it starts where a pack of the first
    // alone (with a head as long) ends.
    overflow[ProbePack::encode({lastRound}).size()] = 2;
    ASSERT_TRUE(ProbePack::decode(wideRound.constData(), size_t(wideRound.size()), decoded));
    EXPECT_FALSE(ProbePack::decode(overflow.constData(), size_t(overflow.size()), decoded));

    // Random damage decodes or is refused, and never reads outside the bytes.
    QRandomGenerator random(13);
    for (int i = 0; i < 2000; ++i) {
        std::vector<char> bytes(pack.begin(), pack.end());
        bytes[random.bounded(int(bytes.size()))] = static_cast<char>(random.bounded(256));
        bytes.resize(random.bounded(int(bytes.size()) + 1));
        ProbePack::decode(bytes.data(), bytes.size(), decoded);
    }
}

class PackedRecording : public RecordingTest {
protected:
    // A trace with lost probes, names, a destination found lower later and an unreachable end.
    void recordTrace() {
        start();
        for (int hop : {1, 2, 3, 6, 5, 4, 7, 8})
            postDetailed(hop, hop >= 4 ? TargetIp : routerIp(hop), 10 + hop, 1);
        deliver();
        launcher.finishAll();
        deliver();
        for (int round = 2; round <= 9; ++round) {
            const size_t from = launcher.launched.size();
            session.tmrTraceTimer();
            answerRound(from, 4, round % 3 == 0 ? 2 : 0);
            if (round == 3) launcher.postName(trace(), 1, routerIp(1), QStringLiteral("r1"));
            if (round == 5) launcher.postName(trace(), 3, routerIp(3), NO_NAME);
            deliver();
        }
        session.StopTrace();
        recorder->finish();
        ASSERT_TRUE(failures.empty());
    }

    LoadedRecording load(RecordingReader::Source source) {
        return RecordingReader::load(recordingPath, source);
    }

    void expectSameLoads(const LoadedRecording& rows, const LoadedRecording& packs) {
        EXPECT_EQ(packs.header.target, rows.header.target);
        EXPECT_EQ(packs.header.startedUtcUs, rows.header.startedUtcUs);
        EXPECT_EQ(packs.probeCount, rows.probeCount);
        EXPECT_EQ(packs.lastActivityUtcUs, rows.lastActivityUtcUs);
        expectSameTables(rows.state, packs.state);
    }

    // Runs `sql` on the recording, as damage or another program might.
    void tamper(const char* sql) {
        SqliteDatabase db(recordingPath, SqliteDatabase::Mode::ReadWrite);
        db.exec(sql);
    }
};

TEST_F(PackedRecording, OpensFromItsPacksToExactlyTheTableItsRowsGive) {
    recordTrace();
    const LoadedRecording rows = load(RecordingReader::Source::ProbeRows);
    const LoadedRecording packs = load(RecordingReader::Source::Packs);
    EXPECT_FALSE(rows.fromPacks);
    EXPECT_TRUE(packs.fromPacks);
    EXPECT_EQ(packs.schemaVersion, RecordingSchema::CurrentVersion);
    expectSameLoads(rows, packs);
    EXPECT_EQ(packs.state.HopList.at(0).DNSName, QStringLiteral("r1"));
    EXPECT_EQ(packs.state.DestinationHop, 4);
    EXPECT_EQ(packs.state.SamplesTaken, 9);
    // And the replayed window is the live one.
    replaySession.editSampleCountChange(QStringLiteral("10"));
    replaySession.LoadReplay(packs.state);
    expectSameTables(session.state(), replaySession.state());
}

TEST_F(PackedRecording, PacksThatDoNotCoverTheRowsAreSetAsideForTheRows) {
    recordTrace();
    const LoadedRecording rows = load(RecordingReader::Source::ProbeRows);
    const char* damage[] = {
        // A cut blob, a blob of another kind, a count that disagrees, a missing pack, a missing
        // last pack, packs shifted off the rows, a row beyond the last pack, and no packs.
        "UPDATE probe_pack SET probes = substr(probes, 1, length(probes) - 3) WHERE first_seq = "
        "(SELECT max(first_seq) FROM probe_pack)",
        "UPDATE probe_pack SET probes = 'text, not a pack' WHERE first_seq = 1",
        "UPDATE probe_pack SET probe_count = probe_count + 1 WHERE first_seq = 1",
        "DELETE FROM probe_pack WHERE first_seq = (SELECT first_seq FROM probe_pack LIMIT 1 "
        "OFFSET 2)",
        "DELETE FROM probe_pack WHERE first_seq = (SELECT max(first_seq) FROM probe_pack)",
        "UPDATE probe_pack SET first_seq = first_seq + 1000",
        "INSERT INTO probe (round, hop, sent_utc_us, sample_ms, round_trip_us, responder_id, "
        "icmp_type, icmp_code, clock) VALUES (9, 1, 1, 5, 5000, NULL, 0, 0, 0)",
        "DELETE FROM probe_pack",
    };
    for (const char* sql : damage) {
        SCOPED_TRACE(sql);
        const QString pristine = recordingPath + QStringLiteral(".pristine");
        QFile::remove(pristine);
        ASSERT_TRUE(QFile::copy(recordingPath, pristine));
        tamper(sql);
        const LoadedRecording loaded = load(RecordingReader::Source::Packs);
        EXPECT_FALSE(loaded.fromPacks);
        if (QByteArray(sql).startsWith("INSERT")) {
            EXPECT_EQ(loaded.probeCount, rows.probeCount + 1);
        } else {
            expectSameLoads(rows, loaded);
        }
        ASSERT_TRUE(QFile::remove(recordingPath));
        ASSERT_TRUE(QFile::rename(pristine, recordingPath));
    }
}

TEST_F(PackedRecording, ACancelledLoadStopsWithItsOwnKindOfError) {
    recordTrace();
    const std::atomic<bool> cancel{true};
    for (auto source : {RecordingReader::Source::Packs, RecordingReader::Source::ProbeRows}) {
        try {
            RecordingReader::load(recordingPath, source, &cancel);
            ADD_FAILURE() << "a cancelled load finished";
        } catch (const RecordingError& error) {
            EXPECT_EQ(error.kind(), RecordingError::Kind::Cancelled);
        }
    }
}

}  // namespace
}  // namespace hoplark::testing
