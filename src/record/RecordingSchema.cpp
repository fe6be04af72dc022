#include "record/RecordingSchema.h"

#include <QString>

#include "record/RecordingError.h"

namespace hoplark {

namespace {

// The first version: the trace, its rounds, every probe in the order it was merged, the
// responders' addresses as text, and names in the order they arrived.
const char* const VersionOne = R"sql(
CREATE TABLE trace (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    target TEXT NOT NULL,
    address TEXT NOT NULL,
    host_name TEXT NOT NULL,
    started_utc_us INTEGER NOT NULL,
    program_version TEXT NOT NULL,
    packet_size INTEGER NOT NULL,
    timeout_ms INTEGER NOT NULL,
    delay_text TEXT NOT NULL,
    delay_ms INTEGER NOT NULL,
    ignore_first_hop INTEGER NOT NULL
);
CREATE TABLE round (
    round INTEGER PRIMARY KEY,
    started_utc_us INTEGER NOT NULL
);
CREATE TABLE responder (
    id INTEGER PRIMARY KEY,
    address TEXT NOT NULL UNIQUE
);
CREATE TABLE probe (
    seq INTEGER PRIMARY KEY,
    round INTEGER NOT NULL,
    hop INTEGER NOT NULL,
    sent_utc_us INTEGER NOT NULL,
    sample_ms INTEGER NOT NULL,
    round_trip_us INTEGER,
    responder_id INTEGER REFERENCES responder (id),
    icmp_type INTEGER NOT NULL,
    icmp_code INTEGER NOT NULL,
    clock INTEGER NOT NULL
);
CREATE TABLE name (
    seq INTEGER PRIMARY KEY,
    after_probe INTEGER NOT NULL,
    hop INTEGER NOT NULL,
    address TEXT NOT NULL,
    name TEXT NOT NULL,
    learnt_utc_us INTEGER NOT NULL
);
CREATE VIEW probe_text AS
    SELECT probe.*, responder.address AS responder
    FROM probe LEFT JOIN responder ON responder.id = probe.responder_id;
)sql";

// Version 2: the local address the probes left from.
const char* const UpToTwo = R"sql(
ALTER TABLE trace ADD COLUMN source_address TEXT NOT NULL DEFAULT '';
)sql";

// Version 3: each transaction's probes once more, packed into one row keyed by the first probe's
// seq, so that a long recording opens without stepping every probe row. The probe rows stay the
// record; a file whose packs do not cover them is read from the rows.
const char* const UpToThree = R"sql(
CREATE TABLE probe_pack (
    first_seq INTEGER PRIMARY KEY,
    probe_count INTEGER NOT NULL,
    probes BLOB NOT NULL
);
)sql";

const char* const Steps[] = {VersionOne, UpToTwo, UpToThree};

void setVersion(SqliteDatabase& db, int version) {
    db.exec(QStringLiteral("PRAGMA user_version = %1").arg(version).toUtf8().constData());
}

}  // namespace

void RecordingSchema::create(SqliteDatabase& db) {
    createVersion(db, CurrentVersion);
}

void RecordingSchema::createVersion(SqliteDatabase& db, int version) {
    db.exec("BEGIN IMMEDIATE");
    try {
        for (int step = 0; step < version; ++step)
            db.exec(Steps[step]);
        db.exec(
            QStringLiteral("PRAGMA application_id = %1").arg(ApplicationId).toUtf8().constData());
        setVersion(db, version);
        db.exec("COMMIT");
    } catch (...) {
        db.exec("ROLLBACK");
        throw;
    }
}

void RecordingSchema::migrate(SqliteDatabase& db) {
    const int version = check(db);
    if (version == CurrentVersion) return;
    db.exec("BEGIN IMMEDIATE");
    try {
        for (int step = version; step < CurrentVersion; ++step)
            db.exec(Steps[step]);
        setVersion(db, CurrentVersion);
        db.exec("COMMIT");
    } catch (...) {
        db.exec("ROLLBACK");
        throw;
    }
}

int RecordingSchema::check(SqliteDatabase& db) {
    // Reading the header is the first access: a file that is not SQLite fails here.
    const qint64 application = db.queryInteger("PRAGMA application_id");
    const qint64 version = db.queryInteger("PRAGMA user_version");
    if (application != ApplicationId || version < 1)
        throw RecordingError(RecordingError::Kind::NotARecording,
                             QStringLiteral("%1 is not a Hoplark recording.").arg(db.path()));
    if (version > CurrentVersion)
        throw RecordingError(RecordingError::Kind::TooNew,
                             QStringLiteral("%1 was recorded by a newer Hoplark and cannot be "
                                            "read by this one.")
                                 .arg(db.path()));
    if (!db.hasTable("trace") || !db.hasTable("probe") || !db.hasTable("round"))
        throw RecordingError(RecordingError::Kind::Corrupt,
                             QStringLiteral("%1 is damaged and cannot be read.").arg(db.path()));
    return static_cast<int>(version);
}

}  // namespace hoplark
