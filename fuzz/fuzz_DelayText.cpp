// The delay text over arbitrary text in both decimal separators: a delay in milliseconds that
// is never 0, or the user-facing error, and nothing else. A delay's canonical text reads back
// as the same delay (within the millisecond the 40-bit reading may lose), and the ladder always
// lands on one of its steps.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#include <QString>

#include "trace/DelayText.h"
#include "trace/HoplarkError.h"

namespace {

bool isStep(qint32 ms) {
    return std::find(std::begin(hoplark::DelayStepsMs), std::end(hoplark::DelayStepsMs), ms) !=
           std::end(hoplark::DelayStepsMs);
}

void check(const QString& text, QChar separator) {
    qint32 ms = 0;
    try {
        ms = hoplark::GetDelayMs(text, separator);
    } catch (const hoplark::HoplarkError& error) {
        if (error.message().isEmpty()) std::abort();
        return;
    }
    if (ms == 0) std::abort();
    const QString canonical = hoplark::FormatDelay(ms, separator);
    qint32 again = 0;
    try {
        again = hoplark::GetDelayMs(canonical, separator);
    } catch (const hoplark::HoplarkError&) {
        std::abort();
    }
    if (std::abs(qint64(again) - qint64(ms)) > 1) std::abort();
    for (const auto direction : {hoplark::LadderDirection::Up, hoplark::LadderDirection::Down}) {
        if (!isStep(hoplark::StepDelayLadder(ms, direction))) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    check(text, u'.');
    check(text, u',');
    if (hoplark::TraceCountDisplayText(text) != (text == u"0" ? QStringLiteral("Unlimited") : text))
        std::abort();
    return 0;
}
