#pragma once

#include <QChar>
#include <QString>

namespace hoplark {

// The text of a round delay, such as "15 Seconds", "2.5 Seconds" or "30 Minutes", in
// milliseconds. The first letter after the first space picks the unit (S, M or H; anything
// else means seconds); the number before it is read exactly, in the locale's decimal
// separator, and truncated toward zero to whole milliseconds. A result of 0 means 15000.
// Throws HoplarkError with the user-facing message when the text cannot be converted.
qint32 GetDelayMs(const QString& text, QChar decimalSeparator);

// The unit word of a delay text (what follows its first space, up to the next space) begins
// with M but is no form of "minutes": "10 ms" or "5 msec" is meant as milliseconds and reads
// as minutes, which only a warning makes visible before the wait.
bool DelayUnitLooksLikeMilliseconds(const QString& text);

// Milliseconds back to the canonical delay text ("1 Second", "2.5 Seconds", "2 Minutes",
// "3 Hours").
QString FormatDelay(qint32 ms, QChar decimalSeparator);

enum class LadderDirection { Up, Down };

// The preset delays of the up-down ladder, in milliseconds, ascending.
inline constexpr qint32 DelayStepsMs[] = {1000,   2500,   5000,   10000,   15000,
                                          30000,  60000,  90000,  120000,  210000,
                                          300000, 600000, 900000, 1800000, 3600000};

// One press of the ladder from a delay of currentMs: the preset delay to show next.
qint32 StepDelayLadder(qint32 currentMs, LadderDirection direction);

// The round-count field shows "Unlimited" for an exact "0"; any other text stays as typed.
QString TraceCountDisplayText(const QString& text);

}  // namespace hoplark
