#pragma once

#include <QStringList>
#include <cstdio>
#include <memory>

namespace hoplark {

class EchoService;

// `hoplark --serve [ADDRESS:]PORT --target T ...`: traces every target without end, each in a
// session of its own sharing `echo`, and serves their figures over HTTP from a thread of its
// own until SIGTERM or SIGINT. Returns the exit status: 0 after a signal's clean stop, 1 when
// ICMP or the address to listen on is not available, 2 for bad arguments. Needs a
// QCoreApplication; messages go to `err`.
int RunServe(const QStringList& arguments, const std::shared_ptr<EchoService>& echo, std::FILE* out,
             std::FILE* err);

}  // namespace hoplark
