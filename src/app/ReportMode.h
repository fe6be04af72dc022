#pragma once

#include <QStringList>
#include <cstdio>
#include <memory>

#include "app/ReportOptions.h"
#include "record/RecordingHeader.h"

namespace hoplark {

// `hoplark --report TARGET [options]`: runs the trace session without any window for a number of
// rounds, waits for the last round's answers, prints the hop table to `out` and returns the exit
// status (0 the trace ran, 1 the target or the ICMP facility failed, 2 bad arguments, 128 plus
// the signal's number when SIGINT or SIGTERM ended the trace early; the table is printed). Needs a
// QCoreApplication; reads and writes no settings file. `echo` is the echo facility, bound before
// the process started any thread (see EchoService).
class EchoService;
int RunReport(const QStringList& arguments, const std::shared_ptr<EchoService>& echo,
              std::FILE* out, std::FILE* err);

// The settings part of the header of a recording made with `options` (the report's, or one
// served target's).
RecordingHeader RecordingHeaderFor(const ReportOptions& options);

}  // namespace hoplark
