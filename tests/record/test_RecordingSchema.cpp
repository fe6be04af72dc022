// Files of the first schema version still open, and are brought up to date when written.
#include "record/RecordingError.h"
#include "record/RecordingFixture.h"
#include "record/RecordingSchema.h"
#include "record/SqliteDatabase.h"
#include "support/SampleLists.h"

namespace hoplark::testing {
namespace {

// A version 1 file as the first program wrote it: two rounds of two hops, the target at 2.
void writeVersionOne(const QString& path) {
    SqliteDatabase db(path, SqliteDatabase::Mode::ReadWriteCreate);
    RecordingSchema::createVersion(db, 1);
    db.exec(R"sql(
        INSERT INTO trace VALUES (1, 'old.example', '10.0.0.2', 'old.example', 1700000000000000,
                                  '1.0.1', 56, 9998, '10 Seconds', 10000, 0);
        INSERT INTO round VALUES (1, 1700000000000000), (2, 1700000010000000);
        INSERT INTO responder VALUES (1, '10.0.0.1'), (2, '10.0.0.2');
        INSERT INTO probe (round, hop, sent_utc_us, sample_ms, round_trip_us, responder_id,
                           icmp_type, icmp_code, clock) VALUES
            (1, 1, 1700000000000000, 3, 3100, 1, 11, 0, 2),
            (1, 2, 1700000000025000, 7, 7200, 2, 0, 0, 2),
            (2, 1, 1700000010000000, 9999, NULL, NULL, 0, 0, 2),
            (2, 2, 1700000010025000, 9, 9400, 2, 0, 0, 2);
        INSERT INTO name (after_probe, hop, address, name, learnt_utc_us) VALUES
            (2, 1, '10.0.0.1', 'gw.example', 1700000000500000);
    )sql");
}

void expectOldTrace(const LoadedRecording& loaded) {
    EXPECT_EQ(loaded.header.target, QStringLiteral("old.example"));
    EXPECT_EQ(loaded.header.programVersion, QStringLiteral("1.0.1"));
    EXPECT_EQ(loaded.state.SamplesTaken, 2);
    EXPECT_EQ(loaded.state.DestinationHop, 2);
    ASSERT_EQ(loaded.state.HopList.count(), 2);
    const THostInfo& gateway = loaded.state.HopList.at(0);
    EXPECT_EQ(gateway.DNSName, QStringLiteral("gw.example"));
    EXPECT_EQ(msOf(gateway), (std::vector<qint32>{3, LOST_SAMPLE}));
    EXPECT_EQ(usOf(gateway), (std::vector<qint32>{3100, -1}));
    EXPECT_EQ(gateway.LostCount, 1);
    EXPECT_EQ(usOf(loaded.state.HopList.at(1)), (std::vector<qint32>{7200, 9400}));
    EXPECT_EQ(loaded.state.RoundStartsUtcUs,
              (std::vector<qint64>{1700000000000000, 1700000010000000}));
}

TEST(RecordingSchema, VersionOneOpensReadOnlyAndMigratesToTheCurrentVersion) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("v1.hoplark"));
    writeVersionOne(path);

    LoadedRecording loaded = RecordingReader::load(path);
    EXPECT_EQ(loaded.schemaVersion, 1);
    EXPECT_TRUE(loaded.header.sourceAddress.isEmpty());
    expectOldTrace(loaded);

    {
        SqliteDatabase db(path, SqliteDatabase::Mode::ReadWrite);
        RecordingSchema::migrate(db);
        EXPECT_EQ(db.queryInteger("PRAGMA user_version"), RecordingSchema::CurrentVersion);
        db.exec("UPDATE trace SET source_address = '10.0.0.100'");
        // A second migration finds nothing to do.
        RecordingSchema::migrate(db);
    }
    loaded = RecordingReader::load(path);
    EXPECT_EQ(loaded.schemaVersion, RecordingSchema::CurrentVersion);
    EXPECT_EQ(loaded.header.sourceAddress, QStringLiteral("10.0.0.100"));
    // The migrated file has the table for packs but none for its old probes: read by rows.
    EXPECT_FALSE(loaded.fromPacks);
    EXPECT_TRUE(SqliteDatabase(path, SqliteDatabase::Mode::ReadOnly).hasTable("probe_pack"));
    expectOldTrace(loaded);
}

TEST(RecordingSchema, ResponderAddressesReadAsTextThroughTheProbeView) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("v1.hoplark"));
    writeVersionOne(path);
    SqliteDatabase db(path, SqliteDatabase::Mode::ReadOnly);
    SqliteStatement rows(db, "SELECT responder FROM probe_text ORDER BY seq");
    QStringList responders;
    while (rows.next())
        responders << (rows.isNull(0) ? QStringLiteral("-") : rows.text(0));
    EXPECT_EQ(responders, (QStringList{"10.0.0.1", "10.0.0.2", "-", "10.0.0.2"}));
}

}  // namespace
}  // namespace hoplark::testing
