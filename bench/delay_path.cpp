// Builds a test path of network namespaces with fractional per-hop delays, for running trace
// tools side by side on it (bench/compare_mtr.sh), prints it and keeps it up until standard
// input closes or SIGINT/SIGTERM arrives; then it removes everything it made. Needs root.
//
// The path: client -> r1 -> r2 -> r3 -> target, where r1, r2 and r3 hold everything coming
// back through them 0.3, 2.2 and 5.2 ms on a TUN delay line. Hop k's answers come back
// through routers 1..k-1, so hops 1..4 are 0, 0.3, 2.5 and 7.7 ms away.
//
// With `--routers N` it builds a plain chain of N routers instead (no delay lines), hops 1..N+1,
// whose delays it prints as 0: the long path bench/compare_window.sh runs the displays on.
//
// Output, one item a line: "client <namespace>", "target <address>", then
// "hop <k> <address> <delay in us>" for every hop, then "ready".
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "support/NetnsChain.h"

int main(int argc, char** argv) {
    using std::chrono::microseconds;
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    try {
        hoplark::test::NetnsChainOptions options;
        options.routers = 3;
        options.pingGroupOpen = true;
        const microseconds delays[] = {microseconds(300), microseconds(2200), microseconds(5200)};
        const bool plain = argc == 3 && std::strcmp(argv[1], "--routers") == 0;
        if (plain) {
            options.routers = std::clamp(std::atoi(argv[2]), 1, 34);
        } else {
            for (int k = 1; k <= 3; ++k)
                options.returnDelays[k] = delays[k - 1];
        }
        hoplark::test::NetnsChain chain(options);
        std::printf("client %s\ntarget %s\n", chain.clientNamespace().c_str(),
                    chain.targetAddress().c_str());
        long long sumUs = 0;
        for (int hop = 1; hop <= options.routers + 1; ++hop) {
            const bool router = hop <= options.routers;
            const std::string address = router ? chain.routerAddress(hop) : chain.targetAddress();
            std::printf("hop %d %s %lld\n", hop, address.c_str(), sumUs);
            if (router && !plain) sumUs += delays[hop - 1].count();
        }
        std::printf("ready\n");
        std::fflush(stdout);
        pollfd entries[2] = {{STDIN_FILENO, POLLIN, 0}, {signals, POLLIN, 0}};
        for (;;) {
            if (poll(entries, 2, -1) < 0) continue;
            if (entries[1].revents != 0) break;
            if (entries[0].revents != 0) {
                char buffer[256];
                if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) break;
            }
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "delay_path: %s\n", failure.what());
        return 1;
    }
    return 0;
}
