// Watches the ICMP echo probes a tracer sends through one interface and prints their true round
// trips on the wire (support/WireTap: kernel stamps of each request leaving and of its answer
// arriving), for bench/compare_mtr.sh to judge each tool's figures against. Run it in the
// tracer's namespace (`ip netns exec <client> hoplark_wire_tap [INTERFACE]`, default "right"),
// wait for its "ready", run the tracer, then stop it with SIGINT/SIGTERM or by closing its
// standard input. Needs root.
//
// It reads the kernel's copies only every few milliseconds rather than on each packet: the stamps
// are the kernel's, so reading late costs no accuracy, and the tracer being measured is not
// interrupted by the tap's wake-ups on a machine with few cores.
//
// Output at the end, one line an answering address, in the order first heard:
// "hop <address> <round trips> <mean us> <median us>", then "dropped <copies the kernel dropped>".
#include <arpa/inet.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <vector>

#include "support/StampedPacket.h"
#include "support/WireTap.h"

int main(int argc, char** argv) {
    const int signals = hoplark::test::BlockStopSignals();
    try {
        hoplark::test::WireTap tap(argc > 1 ? argv[1] : "right");
        std::printf("ready\n");
        std::fflush(stdout);
        std::vector<uint32_t> order;
        std::map<uint32_t, std::vector<int64_t>> tripsNs;
        const auto take = [&] {
            for (const auto& trip : tap.drain()) {
                auto& trips = tripsNs[trip.from];
                if (trips.empty()) order.push_back(trip.from);
                trips.push_back(trip.ns);
            }
        };
        // Standard input ends the watch only when it is a pipe or a terminal: a shell starts a
        // job in the background with /dev/null there, which would end it at once.
        struct stat input {};
        const bool watchInput =
            fstat(STDIN_FILENO, &input) == 0 &&
            (S_ISFIFO(input.st_mode) || S_ISSOCK(input.st_mode) || isatty(STDIN_FILENO));
        pollfd entries[2] = {{watchInput ? STDIN_FILENO : -1, POLLIN, 0}, {signals, POLLIN, 0}};
        for (bool running = true; running;) {
            if (poll(entries, 2, 20) > 0) {
                if (entries[1].revents != 0) running = false;
                char buffer[256];
                if (entries[0].revents != 0 && read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                    running = false;
                }
            }
            take();
        }
        for (const uint32_t from : order) {
            auto& trips = tripsNs[from];
            double sumNs = 0;
            for (const int64_t ns : trips)
                sumNs += static_cast<double>(ns);
            std::nth_element(trips.begin(), trips.begin() + trips.size() / 2, trips.end());
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &from, text, sizeof text);
            std::printf("hop %s %zu %.3f %.3f\n", text, trips.size(),
                        sumNs / static_cast<double>(trips.size()) / 1000.0,
                        static_cast<double>(trips[trips.size() / 2]) / 1000.0);
        }
        std::printf("dropped %llu\n", static_cast<unsigned long long>(tap.dropped()));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "wire_tap: %s\n", failure.what());
        return 1;
    }
    return 0;
}
