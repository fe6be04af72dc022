#pragma once

#include <QString>

#include "trace/PathEvidence.h"
#include "trace/TraceState.h"
#include "view/StatisticsColumns.h"

namespace hoplark {

// The trace as fixed-width text for the clipboard: the target's name and address as the
// header shows them, an empty line, then one line per hop record with one eight-character
// field per position of the statistics window. Every line ends in CR LF. With `showFractions`
// each field gives the sample to 0.01 ms and is three characters wider. Each of `statistics`
// then follows on the hop's line as its title and figure ("  Loss% 10 %  Last 12 ms"), from
// `evidence`, "-" where the window holds none. With `unreachableReason` the last line says why
// the destination is unreachable ("Destination unreachable: host unreachable from 10.0.3.1").
QString BuildTraceText(const TraceState& state, const QString& hostNameCaption,
                       const QString& targetAddressCaption, bool showFractions = false,
                       const StatisticsColumns& statistics = {},
                       const PathEvidence* evidence = nullptr, bool unreachableReason = false);

}  // namespace hoplark
