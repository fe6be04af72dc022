#include "view/TraceText.h"

namespace hoplark {

namespace {

const QLatin1String LineEnd("\r\n");

QString sampleField(const THostInfo& record, qint32 position) {
    const bool inList = position >= 0 && static_cast<size_t>(position) < record.Samples.size();
    if (inList) {
        const qint32 value = record.Samples[static_cast<size_t>(position)];
        if (value < LOST_SAMPLE) return QString::asprintf("%4d ms ", value);
    }
    return QStringLiteral("  *     ");
}

}  // namespace

QString BuildTraceText(const TraceState& state, const QString& hostNameCaption,
                       const QString& targetAddressCaption) {
    QString text = QStringLiteral("Target Name: ") + hostNameCaption + LineEnd;
    text += QStringLiteral("         IP: ") + targetAddressCaption + LineEnd;
    text += LineEnd;
    int index = 0;
    for (const THostInfo& record : state.HopList) {
        text += QString::asprintf("%2d ", index + 1);
        for (qint32 p = state.Window.FirstSample; p <= state.Window.LastSample; ++p) {
            text += sampleField(record, p);
        }
        if (record.DNSName != NO_NAME) text += QLatin1Char(' ') + record.DNSName;
        text += QStringLiteral(" [") + record.IP + QLatin1Char(']') + LineEnd;
        ++index;
    }
    return text;
}

}  // namespace hoplark
