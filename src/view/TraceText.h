#pragma once

#include <QString>

#include "trace/TraceState.h"

namespace hoplark {

// The trace as fixed-width text for the clipboard: the target's name and address as the
// header shows them, an empty line, then one line per hop record with one eight-character
// field per position of the statistics window. Every line ends in CR LF. With `showFractions`
// each field gives the sample to 0.01 ms and is three characters wider.
QString BuildTraceText(const TraceState& state, const QString& hostNameCaption,
                       const QString& targetAddressCaption, bool showFractions = false);

}  // namespace hoplark
