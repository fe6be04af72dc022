#include "record/RecordingReader.h"

#include <QFile>
#include <QFileInfo>
#include <vector>

#include "probe/NameService.h"
#include "record/ProbePack.h"
#include "record/RecordingError.h"
#include "record/RecordingSchema.h"
#include "record/SqliteDatabase.h"
#include "record/SqliteStatement.h"
#include "trace/HopMerge.h"

namespace hoplark {

namespace {

// Refuses what is plainly not an SQLite file before SQLite sees it.
void checkFileLooksLikeOurs(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw RecordingError(RecordingError::Kind::Io,
                             QStringLiteral("%1 does not exist.").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RecordingError(
            RecordingError::Kind::Io,
            QStringLiteral("Unable to read %1: %2.").arg(path, file.errorString()));
    static const QByteArray magic("SQLite format 3\0", 16);
    if (file.read(16) != magic)
        throw RecordingError(RecordingError::Kind::NotARecording,
                             QStringLiteral("%1 is not a Hoplark recording.").arg(path));
}

RecordingHeader readHeader(SqliteDatabase& db, int version) {
    const char* sql = version >= 2
                          ? "SELECT target, address, host_name, started_utc_us, program_version, "
                            "packet_size, timeout_ms, delay_text, delay_ms, ignore_first_hop, "
                            "source_address FROM trace WHERE id = 1"
                          : "SELECT target, address, host_name, started_utc_us, program_version, "
                            "packet_size, timeout_ms, delay_text, delay_ms, ignore_first_hop, '' "
                            "FROM trace WHERE id = 1";
    SqliteStatement statement(db, sql);
    if (!statement.next())
        throw RecordingError(RecordingError::Kind::Corrupt,
                             QStringLiteral("%1 holds no trace.").arg(db.path()));
    RecordingHeader header;
    header.target = statement.text(0);
    header.address = statement.text(1);
    header.hostName = statement.text(2);
    header.startedUtcUs = statement.integer(3);
    header.programVersion = statement.text(4);
    header.packetSize = static_cast<qint32>(statement.integer(5));
    header.timeoutMs = static_cast<qint32>(statement.integer(6));
    header.delayText = statement.text(7);
    header.delayMs = static_cast<qint32>(statement.integer(8));
    header.ignoreFirstHop = statement.integer(9) != 0;
    header.sourceAddress = statement.text(10);
    return header;
}

struct StoredName {
    qint64 afterProbe;
    qint32 hop;
    QString name;
};

// Rebuilds the hop table from the stored probes in merge order, through the live session's
// own merge rules, from either copy of the probes.
class Replay {
public:
    Replay(SqliteDatabase& db, LoadedRecording& loaded, const std::atomic<bool>* cancel)
        : db_(db), loaded_(loaded), cancel_(cancel) {
        readResponders();
        readNames();
        readRounds();
    }

    void fromRows() {
        begin();
        SqliteStatement probes(db_,
                               "SELECT hop, sample_ms, round_trip_us, round, sent_utc_us, clock, "
                               "icmp_type, icmp_code, responder_id FROM probe ORDER BY seq");
        while (probes.next()) {
            if ((merged_ & 0xFFFF) == 0) checkCancelled();
            SampleDetail detail;
            detail.roundTripUs = probes.isNull(2) ? -1 : static_cast<qint32>(probes.integer(2));
            detail.round = static_cast<qint32>(probes.integer(3));
            detail.sentUtcUs = probes.integer(4);
            detail.clock = clockOf(probes.integer(5));
            detail.icmpType = static_cast<quint8>(probes.integer(6));
            detail.icmpCode = static_cast<quint8>(probes.integer(7));
            merge(static_cast<qint32>(probes.integer(0)), static_cast<qint32>(probes.integer(1)),
                  detail, probes.isNull(8) ? -1 : probes.integer(8));
        }
        end();
    }

    // False, with the table in no useful state, when the packs are missing or do not cover
    // the probe rows exactly; the rows must be read then.
    bool fromPacks() {
        if (loaded_.schemaVersion < 3 || !db_.hasTable("probe_pack")) return false;
        qint64 firstSeq = 0;
        qint64 lastSeq = -1;
        {
            // Each in its own query, so that both are read off the ends of the table's tree.
            SqliteStatement range(
                db_, "SELECT (SELECT min(seq) FROM probe), (SELECT max(seq) FROM probe)");
            if (!range.next() || range.isNull(0)) return false;
            firstSeq = range.integer(0);
            lastSeq = range.integer(1);
        }
        begin();
        SqliteStatement packs(db_,
                              "SELECT first_seq, probe_count, probes FROM probe_pack "
                              "ORDER BY first_seq");
        std::vector<PackedProbe> probes;
        qint64 expectedSeq = firstSeq;
        while (packs.next()) {
            checkCancelled();
            size_t size = 0;
            const char* bytes = packs.blob(2, size);
            if (packs.integer(0) != expectedSeq || !ProbePack::decode(bytes, size, probes) ||
                static_cast<qint64>(probes.size()) != packs.integer(1))
                return false;
            expectedSeq += static_cast<qint64>(probes.size());
            if (expectedSeq > lastSeq + 1) return false;
            for (const PackedProbe& probe : probes) {
                SampleDetail detail;
                detail.roundTripUs = probe.roundTripUs;
                detail.round = probe.round;
                detail.sentUtcUs = probe.sentUtcUs;
                detail.clock = clockOf(probe.clock);
                detail.icmpType = probe.icmpType;
                detail.icmpCode = probe.icmpCode;
                merge(probe.hop, probe.sampleMs, detail, probe.responderId);
            }
        }
        if (expectedSeq != lastSeq + 1) return false;
        end();
        return true;
    }

private:
    static SampleClock clockOf(qint64 clock) {
        return clock >= 0 && clock <= 2 ? static_cast<SampleClock>(clock) : SampleClock::Monotonic;
    }

    void checkCancelled() const {
        if (cancel_ && cancel_->load(std::memory_order_relaxed))
            throw RecordingError(RecordingError::Kind::Cancelled,
                                 QStringLiteral("Opening %1 was cancelled.").arg(db_.path()));
    }

    // Responders by id, and whether each is the target itself.
    void readResponders() {
        const auto target = IpAddress::Parse(loaded_.header.address.toStdString());
        SqliteStatement statement(db_, "SELECT id, address FROM responder ORDER BY id");
        while (statement.next()) {
            const qint64 id = statement.integer(0);
            if (id < 0 || id > 1000000) continue;
            const auto index = static_cast<size_t>(id);
            if (responders_.size() <= index) {
                responders_.resize(index + 1);
                isTarget_.resize(index + 1, false);
            }
            responders_[index] = statement.text(1);
            isTarget_[index] =
                target && IpAddress::Parse(responders_[index].toStdString()) == target;
        }
    }

    void readNames() {
        SqliteStatement statement(db_, "SELECT after_probe, hop, name FROM name ORDER BY seq");
        while (statement.next())
            names_.push_back({statement.integer(0), static_cast<qint32>(statement.integer(1)),
                              statement.text(2)});
    }

    void readRounds() {
        SqliteStatement statement(db_, "SELECT round, started_utc_us FROM round ORDER BY round");
        while (statement.next()) {
            const qint64 round = statement.integer(0);
            if (round < 1 || round > 100000000) continue;
            if (roundStarts_.size() < static_cast<size_t>(round))
                roundStarts_.resize(static_cast<size_t>(round), 0);
            roundStarts_[static_cast<size_t>(round - 1)] = statement.integer(1);
        }
    }

    void begin() {
        TraceState& state = loaded_.state;
        state.HopList.clear();
        state.DestinationHop = 0;
        state.RoundStartsUtcUs = roundStarts_;
        nextName_ = 0;
        merged_ = 0;
        latest_ = roundStarts_.empty() ? loaded_.header.startedUtcUs : roundStarts_.back();
        lastRound_ = static_cast<qint32>(roundStarts_.size());
    }

    void applyNames() {
        while (nextName_ < names_.size() && names_[nextName_].afterProbe <= merged_) {
            HopMerge::MergeName(loaded_.state.HopList, names_[nextName_].hop,
                                names_[nextName_].name);
            ++nextName_;
        }
    }

    void merge(qint32 hop, qint32 sample, const SampleDetail& detail, qint64 responder) {
        applyNames();
        TraceState& state = loaded_.state;
        const bool known = responder >= 0 && static_cast<size_t>(responder) < responders_.size();
        const QString& address = known ? responders_[static_cast<size_t>(responder)] : noResponder_;
        const bool fromTarget = known && isTarget_[static_cast<size_t>(responder)];

        const int hopsBefore = state.HopList.count();
        HopMerge::MergeResult(state, hop, sample, detail, address, fromTarget, false);
        // A hop gets at most one probe a round: room for the rounds still to come saves
        // growing its lists a million samples long step by step.
        for (int i = hopsBefore; i < state.HopList.count(); ++i) {
            const qint64 rounds = qint64(roundStarts_.size()) - std::max(detail.round, 1) + 1;
            if (rounds > 1) state.HopList.at(i).ReserveSamples(static_cast<size_t>(rounds));
        }
        if (state.HopList.count() == HopTable::MaxHops) HopMerge::MarkPathEnd(state.HopList);
        lastRound_ = std::max(lastRound_, detail.round);
        latest_ = std::max(latest_, detail.sentUtcUs + std::max(detail.roundTripUs, 0));
        ++merged_;
    }

    void end() {
        applyNames();
        TraceState& state = loaded_.state;
        loaded_.probeCount = merged_;
        loaded_.lastActivityUtcUs = latest_;
        state.SamplesTaken = lastRound_;
        if (state.RoundStartsUtcUs.size() < static_cast<size_t>(lastRound_))
            state.RoundStartsUtcUs.resize(static_cast<size_t>(lastRound_), 0);
    }

    SqliteDatabase& db_;
    LoadedRecording& loaded_;
    const std::atomic<bool>* cancel_;
    std::vector<QString> responders_;
    std::vector<bool> isTarget_;
    std::vector<StoredName> names_;
    std::vector<qint64> roundStarts_;
    const QString noResponder_;
    size_t nextName_ = 0;
    qint64 merged_ = 0;
    qint64 latest_ = 0;
    qint32 lastRound_ = 0;
};

}  // namespace

LoadedRecording RecordingReader::load(const QString& path, Source source,
                                      const std::atomic<bool>* cancel) {
    checkFileLooksLikeOurs(path);
    SqliteDatabase db(path, SqliteDatabase::Mode::ReadOnly);
    LoadedRecording loaded;
    loaded.schemaVersion = RecordingSchema::check(db);
    loaded.header = readHeader(db, loaded.schemaVersion);
    loaded.state.TargetAddress = loaded.header.address;
    loaded.state.HostName = loaded.header.hostName;
    Replay replay(db, loaded, cancel);
    loaded.fromPacks = source == Source::Packs && replay.fromPacks();
    if (!loaded.fromPacks) replay.fromRows();
    return loaded;
}

}  // namespace hoplark
