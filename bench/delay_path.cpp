// Builds a test path of network namespaces with fractional per-hop delays, for running trace
// tools side by side on it (bench/compare_mtr.sh), prints it and keeps it up until standard
// input closes or SIGINT/SIGTERM arrives; then it removes everything it made. Needs root.
//
// The path: client -> r1 -> r2 -> r3 -> target, where r1, r2 and r3 hold everything coming
// back through them 0.3, 2.2 and 5.2 ms on a TUN delay line. Hop k's answers come back
// through routers 1..k-1, so hops 1..4 are 0, 0.3, 2.5 and 7.7 ms away.
//
// Those figures leave out the path's own latency: the veth links, the routers' forwarding and
// each delay line's write back into the kernel add some tens of microseconds a hop. With
// `--calibrate` the helper measures each hop's true round trip on the client's wire
// (support/WireTap: kernel stamps of its own probes with TTL k leaving and of the answers
// arriving, medians of a few dozen) and shortens the delay lines until hops 2..4 are 0.3, 2.5 and
// 7.7 ms away on the wire. Hop 1 has no line to shorten: its figure is the links' own round trip,
// measured. The hop figures it prints are then the measured ones.
//
// With `--routers N` it builds a plain chain of N routers instead (no delay lines), hops 1..N+1,
// whose delays it prints as 0: the long path bench/compare_window.sh runs the displays on.
//
// Output, one item a line: "client <namespace>", "target <address>", then
// "hop <k> <address> <delay in us> <set delay in us>" for every hop (the first figure measured
// when calibrated, else the set one), with `--calibrate` "line <router> <delay in us>" for every
// delay line as calibrated, then "ready".
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "probe/IcmpPacket.h"
#include "support/NetnsChain.h"
#include "support/StampedPacket.h"
#include "support/WireTap.h"

namespace {

using hoplark::test::NetnsChain;

constexpr int ProbesPerHop = 50;
// Probes one at a time with a pause between, as a tracer's rounds leave the path idle between
// them: a path kept busy would measure faster than the tools will find it.
constexpr auto ProbeGap = std::chrono::milliseconds(10);
constexpr int AnswerWaitMs = 200;

// The median wire round trip in nanoseconds of each of hops 1..hops, from the client's side.
std::vector<int64_t> measureHops(const NetnsChain& chain, int hops) {
    const auto result = chain.runInClient([&] {
        hoplark::test::WireTap tap("right");
        const int sender = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (sender < 0) throw std::runtime_error("cannot open a raw ICMP socket");
        // The answers are read on the wire; the socket itself takes none of them.
        icmp_filter none{~0u};
        setsockopt(sender, SOL_RAW, ICMP_FILTER, &none, sizeof none);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        inet_pton(AF_INET, chain.targetAddress().c_str(), &to.sin_addr);
        const uint16_t identifier = static_cast<uint16_t>(getpid());
        uint16_t sequence = 0;
        std::vector<std::vector<int64_t>> tripsNs(static_cast<size_t>(hops));
        const uint8_t data[56] = {};
        for (int round = 0; round < ProbesPerHop; ++round) {
            for (int ttl = 1; ttl <= hops; ++ttl) {
                setsockopt(sender, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
                const auto request =
                    hoplark::BuildEchoRequest(identifier, ++sequence, data, sizeof data);
                sendto(sender, request.data(), request.size(), 0,
                       reinterpret_cast<const sockaddr*>(&to), sizeof to);
                const auto deadline =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(AnswerWaitMs);
                for (bool answered = false; !answered;) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now());
                    if (left.count() <= 0) break;
                    pollfd entry{tap.fd(), POLLIN, 0};
                    poll(&entry, 1, static_cast<int>(left.count()) + 1);
                    for (const auto& trip : tap.drain()) {
                        if (trip.sequence != sequence) continue;
                        tripsNs[static_cast<size_t>(ttl - 1)].push_back(trip.ns);
                        answered = true;
                    }
                }
                std::this_thread::sleep_for(ProbeGap);
            }
        }
        close(sender);
        std::ostringstream out;
        for (auto& trips : tripsNs) {
            if (trips.empty()) throw std::runtime_error("a hop did not answer");
            std::nth_element(trips.begin(), trips.begin() + trips.size() / 2, trips.end());
            out << trips[trips.size() / 2] << " ";
        }
        return out.str();
    });
    if (result.exitCode != 0) throw std::runtime_error("calibration: " + result.output);
    std::istringstream in(result.output);
    std::vector<int64_t> mediansNs(static_cast<size_t>(hops));
    for (auto& median : mediansNs)
        in >> median;
    return mediansNs;
}

// Sets the delay lines so that hops 2..routers+1 are `setNs` away on the wire; returns the
// final measured round trips. Hop k's answers pass the lines of routers 1..k-1, so the lines
// up to router k-1 together must lose what hop k measures above its figure.
std::vector<int64_t> calibrate(NetnsChain& chain, std::vector<int64_t>& linesNs,
                               const std::vector<int64_t>& setNs) {
    const int hops = chain.routers() + 1;
    std::vector<int64_t> measured = measureHops(chain, hops);
    // The lines' own write path is much the same at every delay, so two passes settle it; the
    // second takes up what the first pass's measurement noise left.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<int64_t> cumulative(static_cast<size_t>(hops), 0);  // lines 1..k, by k
        for (int k = 1; k < hops; ++k)
            cumulative[k] = cumulative[k - 1] + linesNs[k - 1];
        std::vector<int64_t> wanted(cumulative);
        for (int k = 2; k <= hops; ++k)
            wanted[k - 1] = cumulative[k - 1] - (measured[k - 1] - setNs[k - 1]);
        for (int router = 1; router < hops; ++router) {
            linesNs[router - 1] = std::max<int64_t>(wanted[router] - wanted[router - 1], 0);
            chain.setReturnDelay(router, std::chrono::nanoseconds(linesNs[router - 1]));
        }
        measured = measureHops(chain, hops);
    }
    return measured;
}

}  // namespace

int main(int argc, char** argv) {
    using std::chrono::microseconds;
    const int signals = hoplark::test::BlockStopSignals();
    try {
        hoplark::test::NetnsChainOptions options;
        options.routers = 3;
        options.pingGroupOpen = true;
        std::vector<int64_t> linesNs = {300'000, 2'200'000, 5'200'000};
        const bool plain = argc == 3 && std::strcmp(argv[1], "--routers") == 0;
        const bool calibrated = argc == 2 && std::strcmp(argv[1], "--calibrate") == 0;
        if (plain) {
            options.routers = std::clamp(std::atoi(argv[2]), 1, 34);
            linesNs.assign(static_cast<size_t>(options.routers), 0);
        } else {
            for (int k = 1; k <= 3; ++k)
                options.returnDelays[k] = microseconds(linesNs[k - 1] / 1000);
        }
        NetnsChain chain(options);
        const int hops = options.routers + 1;
        std::vector<int64_t> setNs(static_cast<size_t>(hops), 0);
        for (int k = 2; k <= hops; ++k)
            setNs[k - 1] = setNs[k - 2] + linesNs[k - 2];
        const std::vector<int64_t> hopNs = calibrated ? calibrate(chain, linesNs, setNs) : setNs;
        std::printf("client %s\ntarget %s\n", chain.clientNamespace().c_str(),
                    chain.targetAddress().c_str());
        for (int hop = 1; hop <= hops; ++hop) {
            const std::string address =
                hop < hops ? chain.routerAddress(hop) : chain.targetAddress();
            std::printf("hop %d %s %.3f %.3f\n", hop, address.c_str(), hopNs[hop - 1] / 1000.0,
                        setNs[hop - 1] / 1000.0);
        }
        if (calibrated) {
            for (int router = 1; router < hops; ++router)
                std::printf("line %d %.3f\n", router, linesNs[router - 1] / 1000.0);
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
