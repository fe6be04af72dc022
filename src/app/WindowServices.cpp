#include "app/WindowServices.h"

#include "app/QtMessageBoxes.h"
#include "trace/ThreadProbeLauncher.h"

namespace hoplark {

WindowServices WindowServices::system(std::shared_ptr<EchoService> echo) {
    auto names = std::make_shared<SystemNameService>();
    WindowServices services;
    services.launcher = std::make_shared<ThreadProbeLauncher>(echo, names);
    services.names = names;
    services.clock = std::make_shared<SteadyClock>();
    services.echo = std::move(echo);
    services.boxes = std::make_shared<QtMessageBoxes>();
    return services;
}

}  // namespace hoplark
