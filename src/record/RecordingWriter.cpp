#include "record/RecordingWriter.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

#include "record/RecordingError.h"
#include "record/RecordingSchema.h"

namespace hoplark {

RecordingWriter::RecordingWriter(const QString& path, const RecordingHeader& header) {
    // A log left beside the name by an earlier file would be taken for this file's.
    if (QFileInfo::exists(path) || QFileInfo::exists(path + QStringLiteral("-wal")))
        throw RecordingError(
            RecordingError::Kind::Io,
            QStringLiteral("Unable to record to %1: the file exists already.").arg(path));
    db_ = std::make_unique<SqliteDatabase>(path, SqliteDatabase::Mode::ReadWriteCreate);
    try {
        createTables(header);
    } catch (...) {
        // A file that never got its tables is no recording: it goes, with its log.
        db_.reset();
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
        throw;
    }
}

void RecordingWriter::createTables(const RecordingHeader& header) {
    // A committed round is in the log at once; the log is synced to disk only when it is
    // folded back into the file, which is enough to survive the program's crash.
    db_->exec("PRAGMA journal_mode = WAL");
    db_->exec("PRAGMA synchronous = NORMAL");
    RecordingSchema::create(*db_);

    SqliteStatement trace(*db_,
                          "INSERT INTO trace (id, target, address, host_name, started_utc_us, "
                          "program_version, packet_size, timeout_ms, delay_text, delay_ms, "
                          "ignore_first_hop, source_address) "
                          "VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    trace.bind(1, header.target);
    trace.bind(2, header.address);
    trace.bind(3, header.hostName);
    trace.bind(4, header.startedUtcUs);
    trace.bind(5, header.programVersion);
    trace.bind(6, header.packetSize);
    trace.bind(7, header.timeoutMs);
    trace.bind(8, header.delayText);
    trace.bind(9, header.delayMs);
    trace.bind(10, header.ignoreFirstHop ? 1 : 0);
    trace.bind(11, header.sourceAddress);
    trace.run();

    insertRound_ = std::make_unique<SqliteStatement>(
        *db_, "INSERT OR REPLACE INTO round (round, started_utc_us) VALUES (?, ?)");
    insertProbe_ = std::make_unique<SqliteStatement>(
        *db_,
        "INSERT INTO probe (round, hop, sent_utc_us, sample_ms, round_trip_us, responder_id, "
        "icmp_type, icmp_code, clock) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insertName_ = std::make_unique<SqliteStatement>(
        *db_,
        "INSERT INTO name (after_probe, hop, address, name, learnt_utc_us) VALUES (?, ?, ?, ?, ?)");
    insertResponder_ =
        std::make_unique<SqliteStatement>(*db_, "INSERT INTO responder (address) VALUES (?)");
    insertPack_ = std::make_unique<SqliteStatement>(
        *db_, "INSERT INTO probe_pack (first_seq, probe_count, probes) VALUES (?, ?, ?)");
}

RecordingWriter::~RecordingWriter() {
    insertRound_.reset();
    insertProbe_.reset();
    insertName_.reset();
    insertResponder_.reset();
    insertPack_.reset();
    // Best effort: on a full disk the log simply stays beside the file, which still opens.
    sqlite3_exec(db_->handle(), "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
}

qint64 RecordingWriter::responderId(const QString& address) {
    const auto found = responders_.constFind(address);
    if (found != responders_.constEnd()) return *found;
    insertResponder_->bind(1, address);
    insertResponder_->run();
    const qint64 id = sqlite3_last_insert_rowid(db_->handle());
    responders_.insert(address, id);
    return id;
}

void RecordingWriter::write(const RecordingBatch& batch) {
    if (batch.empty()) return;
    const QHash<QString, qint64> respondersBefore = responders_;
    db_->exec("BEGIN");
    try {
        for (const RecordedRound& round : batch.rounds) {
            insertRound_->bind(1, round.round);
            insertRound_->bind(2, round.startedUtcUs);
            insertRound_->run();
        }
        packed_.clear();
        qint64 firstSeq = 0;
        for (const RecordedProbe& probe : batch.probes) {
            PackedProbe packed;
            packed.round = probe.round;
            packed.hop = probe.hop;
            packed.sentUtcUs = probe.sentUtcUs;
            packed.sampleMs = probe.sampleMs;
            packed.icmpType = probe.icmpType;
            packed.icmpCode = probe.icmpCode;
            packed.clock = static_cast<quint8>(probe.clock);
            insertProbe_->bind(1, probe.round);
            insertProbe_->bind(2, probe.hop);
            insertProbe_->bind(3, probe.sentUtcUs);
            insertProbe_->bind(4, probe.sampleMs);
            if (probe.sampleMs == LOST_SAMPLE || probe.roundTripUs < 0) {
                insertProbe_->bindNull(5);
            } else {
                insertProbe_->bind(5, probe.roundTripUs);
                packed.roundTripUs = probe.roundTripUs;
            }
            if (probe.responder.isEmpty()) {
                insertProbe_->bindNull(6);
            } else {
                packed.responderId = responderId(probe.responder);
                insertProbe_->bind(6, packed.responderId);
            }
            insertProbe_->bind(7, probe.icmpType);
            insertProbe_->bind(8, probe.icmpCode);
            insertProbe_->bind(9, static_cast<qint64>(probe.clock));
            insertProbe_->run();
            if (packed_.empty()) firstSeq = sqlite3_last_insert_rowid(db_->handle());
            packed_.push_back(packed);
        }
        if (!packed_.empty()) {
            insertPack_->bind(1, firstSeq);
            insertPack_->bind(2, static_cast<qint64>(packed_.size()));
            insertPack_->bindBlob(3, ProbePack::encode(packed_));
            insertPack_->run();
        }
        for (const RecordedName& name : batch.names) {
            insertName_->bind(1, name.afterProbe);
            insertName_->bind(2, name.hop);
            insertName_->bind(3, name.address);
            insertName_->bind(4, name.name);
            insertName_->bind(5, name.learntUtcUs);
            insertName_->run();
        }
        if (!batch.targetHostName.isEmpty()) {
            SqliteStatement named(*db_, "UPDATE trace SET host_name = ? WHERE id = 1");
            named.bind(1, batch.targetHostName);
            named.run();
        }
        db_->exec("COMMIT");
    } catch (...) {
        // The rolled-back responders are not in the file any more.
        responders_ = respondersBefore;
        sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    probesWritten_ += static_cast<qint64>(batch.probes.size());
}

}  // namespace hoplark
