#include "record/RecordingReader.h"

#include <QFile>
#include <QFileInfo>
#include <vector>

#include "probe/NameService.h"
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

void replay(SqliteDatabase& db, LoadedRecording& loaded) {
    TraceState& state = loaded.state;
    const quint32 target = InetAddr(loaded.header.address.toStdString());

    // Responders by id, and whether each is the target itself.
    std::vector<QString> responders;
    std::vector<bool> isTarget;
    {
        SqliteStatement statement(db, "SELECT id, address FROM responder ORDER BY id");
        while (statement.next()) {
            const qint64 id = statement.integer(0);
            if (id < 0 || id > 1000000) continue;
            const auto index = static_cast<size_t>(id);
            if (responders.size() <= index) {
                responders.resize(index + 1);
                isTarget.resize(index + 1, false);
            }
            responders[index] = statement.text(1);
            isTarget[index] =
                target != NoAddress && InetAddr(responders[index].toStdString()) == target;
        }
    }

    std::vector<StoredName> names;
    {
        SqliteStatement statement(db, "SELECT after_probe, hop, name FROM name ORDER BY seq");
        while (statement.next())
            names.push_back({statement.integer(0), static_cast<qint32>(statement.integer(1)),
                             statement.text(2)});
    }

    {
        SqliteStatement statement(db, "SELECT round, started_utc_us FROM round ORDER BY round");
        while (statement.next()) {
            const qint64 round = statement.integer(0);
            if (round < 1 || round > 100000000) continue;
            if (state.RoundStartsUtcUs.size() < static_cast<size_t>(round))
                state.RoundStartsUtcUs.resize(static_cast<size_t>(round), 0);
            state.RoundStartsUtcUs[static_cast<size_t>(round - 1)] = statement.integer(1);
        }
    }

    const QString noResponder;
    size_t nextName = 0;
    qint64 merged = 0;
    qint64 latest =
        state.RoundStartsUtcUs.empty() ? loaded.header.startedUtcUs : state.RoundStartsUtcUs.back();
    qint32 lastRound = static_cast<qint32>(state.RoundStartsUtcUs.size());
    auto applyNames = [&] {
        while (nextName < names.size() && names[nextName].afterProbe <= merged) {
            HopMerge::MergeName(state.HopList, names[nextName].hop, names[nextName].name);
            ++nextName;
        }
    };
    SqliteStatement probes(db,
                           "SELECT hop, sample_ms, round_trip_us, round, sent_utc_us, clock, "
                           "icmp_type, icmp_code, responder_id FROM probe ORDER BY seq");
    while (probes.next()) {
        applyNames();
        const auto hop = static_cast<qint32>(probes.integer(0));
        const auto sample = static_cast<qint32>(probes.integer(1));
        SampleDetail detail;
        detail.roundTripUs = probes.isNull(2) ? -1 : static_cast<qint32>(probes.integer(2));
        detail.round = static_cast<qint32>(probes.integer(3));
        detail.sentUtcUs = probes.integer(4);
        const qint64 clock = probes.integer(5);
        detail.clock =
            clock >= 0 && clock <= 2 ? static_cast<SampleClock>(clock) : SampleClock::Monotonic;
        detail.icmpType = static_cast<quint8>(probes.integer(6));
        detail.icmpCode = static_cast<quint8>(probes.integer(7));
        const qint64 responder = probes.isNull(8) ? -1 : probes.integer(8);
        const bool known = responder >= 0 && static_cast<size_t>(responder) < responders.size();
        const QString& address = known ? responders[static_cast<size_t>(responder)] : noResponder;
        const bool fromTarget = known && isTarget[static_cast<size_t>(responder)];

        HopMerge::MergeResult(state, hop, sample, detail, address, fromTarget, false);
        if (state.HopList.count() == HopTable::MaxHops) HopMerge::MarkPathEnd(state.HopList);
        lastRound = std::max(lastRound, detail.round);
        latest = std::max(latest, detail.sentUtcUs + std::max(detail.roundTripUs, 0));
        ++merged;
    }
    applyNames();
    // Names that came after the last stored result.
    nextName = names.size();

    loaded.probeCount = merged;
    loaded.lastActivityUtcUs = latest;
    state.SamplesTaken = lastRound;
    if (state.RoundStartsUtcUs.size() < static_cast<size_t>(lastRound))
        state.RoundStartsUtcUs.resize(static_cast<size_t>(lastRound), 0);
}

}  // namespace

LoadedRecording RecordingReader::load(const QString& path) {
    checkFileLooksLikeOurs(path);
    SqliteDatabase db(path, SqliteDatabase::Mode::ReadOnly);
    LoadedRecording loaded;
    loaded.schemaVersion = RecordingSchema::check(db);
    loaded.header = readHeader(db, loaded.schemaVersion);
    loaded.state.TargetAddress = loaded.header.address;
    loaded.state.HostName = loaded.header.hostName;
    replay(db, loaded);
    return loaded;
}

}  // namespace hoplark
