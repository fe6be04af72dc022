#pragma once

#include <memory>

#include "app/MessageBoxes.h"
#include "probe/EchoService.h"
#include "probe/NameService.h"
#include "trace/Clock.h"
#include "trace/ProbeLauncher.h"

namespace hoplark {

// What the main window's trace session runs on. The program uses the real workers, resolver,
// clock and message boxes; tests put their own in.
struct WindowServices {
    std::shared_ptr<ProbeLauncher> launcher;
    std::shared_ptr<NameService> names;
    std::shared_ptr<const Clock> clock;
    // The echo facility, for its start-up failure and the echo data size; may be null when the
    // launcher does not probe.
    std::shared_ptr<EchoService> echo;
    std::shared_ptr<MessageBoxes> boxes;

    // Real hop workers over `echo`, which must have been created before any other thread.
    static WindowServices system(std::shared_ptr<EchoService> echo);
};

}  // namespace hoplark
