#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Real multi-hop IPv4 networks for tests, built from network namespaces.
//
// A chain is: a client namespace, `routers` forwarding router namespaces and a target
// namespace, joined in a line by veth pairs (created inside the namespaces; nothing is added to
// the host's namespace). Link i joins node i and node i+1 (node 0 = client, nodes 1..n = routers,
// node n+1 = target) with 10.99.i.1 on the left and 10.99.i.2 on the right. So:
//   - hop k (router k) answers Time Exceeded from routerAddress(k) = 10.99.(k-1).2;
//   - the target is hop n+1 at targetAddress() = 10.99.n.2;
//   - unroutedAddress() (10.98.0.1) is routed as far as the last router, which has no route
//     and answers Destination Unreachable;
//   - with `delayedHostMs` > 0, delayedHostAddress() (10.97.0.1) sits behind the last router on
//     a TUN device whose user-space end answers echo requests after exactly that delay (hop n+1).
// Router k in `silentRouters` forwards but never sends Time Exceeded (its own ICMP is routed
// into a blackhole). Router k in `icmpRateLimitMs` limits its ICMP errors per destination to one
// per that many milliseconds after a short burst (the kernel's own limit, net.ipv4.icmp_ratelimit).
// Router k in `dropForwardedEveryNth` drops one in N of the echo requests it forwards towards the
// target (an nftables counter rule), a lossy link behind that router. With `alternatingHop`,
// alternatingHostAddress() (10.96.0.1) sits behind the last router on a TUN element that is also
// a router in front of it: hop n+1 answers from alternatingHopAddresses() in turn and the host is
// hop n+2. Reverse names go to /etc/netns/<client>/hosts, which runIn() and
// `ip netns exec <client> ...` both put in place of /etc/hosts (resolv.conf there points at
// loopback, so no lookup ever leaves the client; with `silentResolver` the queries there are
// dropped unanswered).
//
// Names carry the process id and a counter, so concurrent test processes never collide. The
// destructor removes every namespace and file it made. Building needs root (see
// HOPLARK_REQUIRE_NETNS below).
//
// Example (an end-to-end test of the program's report mode):
//   hoplark::test::NetnsChain chain({.routers = 3});
//   auto out = hoplark::test::RunCommand({"ip", "netns", "exec", chain.clientNamespace(),
//                                         binary, "--report", chain.targetAddress()});
namespace hoplark::test {

struct NetnsChainOptions {
    int routers = 3;
    std::set<int> silentRouters;
    // Opens net.ipv4.ping_group_range in the client, so unprivileged ICMP datagram sockets work
    // there; closed ("1 0") otherwise.
    bool pingGroupOpen = false;
    int delayedHostMs = 0;
    // Router k -> a delay for everything that comes back through it from farther away (a TUN
    // delay line on its return path). Hop k's answers are thus delayed by the sum of the
    // delays of routers 1..k-1, and the target's by all of them.
    std::map<int, std::chrono::microseconds> returnDelays = {};
    // Reverse names by address text, visible inside the client.
    std::map<std::string, std::string> hostNames;
    std::map<int, int> icmpRateLimitMs = {};
    std::map<int, int> dropForwardedEveryNth = {};
    bool alternatingHop = false;
    // The client's name server (at its loopback address) takes every query and never answers:
    // an nftables rule drops them on arrival, as a resolver behind a dead VPN does.
    bool silentResolver = false;
    // Also an IPv6 path on the same links: fd00:99:i::1 on the left of link i and fd00:99:i::2
    // on the right (no duplicate address detection, no ICMPv6 rate limit in the routers), with
    // unroutedAddress6() routed as far as the last router, which answers no route.
    bool ipv6 = false;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs a program (searched in PATH) with these arguments, without a shell.
CommandResult RunCommand(const std::vector<std::string>& arguments);

// Why namespaces cannot be built here, or empty when they can.
std::string NetnsUnavailableReason();
// True when env HOPLARK_REQUIRE_NETNS=1: a test that cannot build its network must fail.
bool NetnsRequired();

class TunDelayLine;
class TunEchoResponder;

class NetnsChain {
public:
    enum class RunAs { Root, Nobody };

    struct ChildResult {
        int exitCode = -1;  // the child's exit status; -1 when it died by a signal
        std::string output;
    };

    explicit NetnsChain(const NetnsChainOptions& options);  // throws std::runtime_error
    ~NetnsChain();
    NetnsChain(const NetnsChain&) = delete;
    NetnsChain& operator=(const NetnsChain&) = delete;

    const std::string& clientNamespace() const { return names_.front(); }
    const std::string& routerNamespace(int router) const { return names_.at(router); }
    const std::string& targetNamespace() const { return names_.back(); }

    int routers() const { return options_.routers; }
    std::string routerAddress(int router) const;
    std::string targetAddress() const;
    static std::string unroutedAddress() { return "10.98.0.1"; }
    static std::string delayedHostAddress() { return "10.97.0.1"; }
    static std::string alternatingHostAddress() { return "10.96.0.1"; }
    static std::vector<std::string> alternatingHopAddresses() { return {"10.96.1.1", "10.96.1.2"}; }
    // The IPv6 addresses, with `ipv6`.
    std::string routerAddress6(int router) const;
    std::string targetAddress6() const;
    static std::string unroutedAddress6() { return "fd00:98::1"; }

    // Changes router k's return delay (one of `returnDelays`) while the chain is up: for a path
    // whose delays are set by measuring it. Throws when router k has no delay line.
    void setReturnDelay(int router, std::chrono::nanoseconds delay);

    // Writes a sysctl (e.g. "net/ipv4/ping_group_range") inside one namespace.
    void writeSysctl(const std::string& ns, const std::string& key, const std::string& value) const;

    // Runs `body` in a child process inside the client namespace (with its /etc/netns files in
    // place), as root or as nobody, and returns what it returned. The child never returns into
    // the test framework; an exception in `body` gives exit code 1 and its message.
    ChildResult runInClient(const std::function<std::string()>& body, RunAs as = RunAs::Root) const;
    static ChildResult runIn(const std::string& ns, const std::function<std::string()>& body,
                             RunAs as = RunAs::Root);

private:
    void build();
    void teardown();
    void ip(const std::string& ns, const std::vector<std::string>& arguments) const;
    void dropForwardedEchoes(const std::string& ns, int everyNth) const;
    void dropNameQueries(const std::string& ns) const;
    void nft(const std::string& ns, const std::vector<std::vector<std::string>>& commands) const;

    NetnsChainOptions options_;
    std::vector<std::string> names_;
    std::unique_ptr<TunEchoResponder> delayElement_;
    std::map<int, std::unique_ptr<TunDelayLine>> returnDelayLines_;  // by router
    std::unique_ptr<TunEchoResponder> alternatingElement_;
};

}  // namespace hoplark::test

// Skips the test when namespaces cannot be built, or fails it when HOPLARK_REQUIRE_NETNS=1.
#define HOPLARK_REQUIRE_NETNS()                                                           \
    do {                                                                                  \
        const std::string hoplarkNetnsReason = ::hoplark::test::NetnsUnavailableReason(); \
        if (!hoplarkNetnsReason.empty()) {                                                \
            if (::hoplark::test::NetnsRequired()) {                                       \
                FAIL() << hoplarkNetnsReason << " (required by HOPLARK_REQUIRE_NETNS=1)"; \
            }                                                                             \
            GTEST_SKIP() << hoplarkNetnsReason;                                           \
        }                                                                                 \
    } while (false)
