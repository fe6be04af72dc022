#include "support/NetnsChain.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/TunDelayLine.h"
#include "support/TunEchoResponder.h"

extern char** environ;

namespace hoplark::test {
namespace {

constexpr uid_t NobodyId = 65534;

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

int nextChainNumber() {
    static std::atomic<int> counter{0};
    return counter++;
}

// Written as the program shows addresses: a zero group folds into the "::".
std::string linkAddress6(int link, int side) {
    if (link == 0) return "fd00:99::" + std::to_string(side);
    return "fd00:99:" + std::to_string(link) + "::" + std::to_string(side);
}

std::string linkAddress(int link, int side) {
    return "10.99." + std::to_string(link) + "." + std::to_string(side);
}

void enterNamespaceFiles(const std::string& ns) {
    const std::filesystem::path files = "/etc/netns/" + ns;
    if (!std::filesystem::exists(files)) return;
    if (unshare(CLONE_NEWNS) != 0) throw std::runtime_error("unshare(CLONE_NEWNS) failed");
    mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr);
    for (const auto& entry : std::filesystem::directory_iterator(files)) {
        const std::string target = "/etc/" + entry.path().filename().string();
        if (mount(entry.path().c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            throw std::runtime_error("bind mount over " + target + " failed");
        }
    }
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& arguments) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    CommandResult result;
    result.output = readAll(pipeFds[0]);
    close(pipeFds[0]);
    if (spawned != 0) {
        result.output = "cannot start " + arguments.front();
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string NetnsUnavailableReason() {
    if (geteuid() != 0) return "needs root to build network namespaces";
    if (RunCommand({"ip", "-V"}).exitCode != 0) return "needs the ip command (iproute2)";
    if (access("/dev/net/tun", R_OK | W_OK) != 0) return "needs /dev/net/tun";
    return {};
}

bool NetnsRequired() {
    const char* value = std::getenv("HOPLARK_REQUIRE_NETNS");
    return value != nullptr && std::string(value) == "1";
}

NetnsChain::NetnsChain(const NetnsChainOptions& options) : options_(options) {
    const std::string prefix =
        "hoplark-" + std::to_string(getpid()) + "-" + std::to_string(nextChainNumber()) + "-";
    names_.push_back(prefix + "client");
    for (int k = 1; k <= options_.routers; ++k)
        names_.push_back(prefix + "r" + std::to_string(k));
    names_.push_back(prefix + "target");
    try {
        build();
    } catch (...) {
        teardown();
        throw;
    }
}

NetnsChain::~NetnsChain() {
    teardown();
}

std::string NetnsChain::routerAddress(int router) const {
    return linkAddress(router - 1, 2);
}

std::string NetnsChain::targetAddress() const {
    return linkAddress(options_.routers, 2);
}

std::string NetnsChain::routerAddress6(int router) const {
    return linkAddress6(router - 1, 2);
}

std::string NetnsChain::targetAddress6() const {
    return linkAddress6(options_.routers, 2);
}

void NetnsChain::ip(const std::string& ns, const std::vector<std::string>& arguments) const {
    std::vector<std::string> command = {"ip", "-n", ns};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const CommandResult result = RunCommand(command);
    if (result.exitCode != 0) {
        std::string text;
        for (const auto& part : command)
            text += part + " ";
        throw std::runtime_error("failed: " + text + ": " + result.output);
    }
}

void NetnsChain::writeSysctl(const std::string& ns, const std::string& key,
                             const std::string& value) const {
    const ChildResult result = runIn(ns, [&] {
        std::ofstream file("/proc/sys/" + key);
        file << value << "\n";
        file.close();
        if (!file) throw std::runtime_error("cannot write " + key);
        return std::string();
    });
    if (result.exitCode != 0) throw std::runtime_error(result.output);
}

void NetnsChain::build() {
    const int last = options_.routers + 1;  // the target's node number
    for (const auto& name : names_) {
        const CommandResult added = RunCommand({"ip", "netns", "add", name});
        if (added.exitCode != 0) throw std::runtime_error("ip netns add failed: " + added.output);
        ip(name, {"link", "set", "lo", "up"});
        // Addresses are usable at once, before the first probe goes out.
        if (options_.ipv6) writeSysctl(name, "net/ipv6/conf/default/accept_dad", "0");
    }
    for (int link = 0; link < last; ++link) {
        ip(names_[link], {"link", "add", "right", "type", "veth", "peer", "name", "left", "netns",
                          names_[link + 1]});
        ip(names_[link], {"addr", "add", linkAddress(link, 1) + "/24", "dev", "right"});
        ip(names_[link + 1], {"addr", "add", linkAddress(link, 2) + "/24", "dev", "left"});
        if (options_.ipv6) {
            ip(names_[link],
               {"-6", "addr", "add", linkAddress6(link, 1) + "/64", "dev", "right", "nodad"});
            ip(names_[link + 1],
               {"-6", "addr", "add", linkAddress6(link, 2) + "/64", "dev", "left", "nodad"});
        }
        ip(names_[link], {"link", "set", "right", "up"});
        ip(names_[link + 1], {"link", "set", "left", "up"});
    }
    for (int node = 0; node <= last; ++node) {
        const std::string& ns = names_[node];
        // Every subnet that is not attached goes towards its side of the line.
        for (int link = 0; link < last; ++link) {
            if (link == node || link == node - 1) continue;
            const std::string via = link < node ? linkAddress(node - 1, 1) : linkAddress(node, 2);
            ip(ns, {"route", "add", "10.99." + std::to_string(link) + ".0/24", "via", via});
        }
        if (options_.ipv6) {
            for (int link = 0; link < last; ++link) {
                if (link == node || link == node - 1) continue;
                const std::string via =
                    link < node ? linkAddress6(node - 1, 1) : linkAddress6(node, 2);
                ip(ns,
                   {"-6", "route", "add", "fd00:99:" + std::to_string(link) + "::/64", "via", via});
            }
            if (node < options_.routers)
                ip(ns, {"-6", "route", "add", "fd00:98::/64", "via", linkAddress6(node, 2)});
        }
        if (node < options_.routers) {
            ip(ns, {"route", "add", "10.98.0.0/24", "via", linkAddress(node, 2)});
            ip(ns, {"route", "add", "10.97.0.0/24", "via", linkAddress(node, 2)});
            ip(ns, {"route", "add", "10.96.0.0/16", "via", linkAddress(node, 2)});
        }
        if (node >= 1 && node <= options_.routers) {
            writeSysctl(ns, "net/ipv4/ip_forward", "1");
            // No rate limit on our own errors: a round sends many at once.
            writeSysctl(ns, "net/ipv4/icmp_ratelimit", "0");
            writeSysctl(ns, "net/ipv4/icmp_msgs_per_sec", "100000");
            if (const auto limit = options_.icmpRateLimitMs.find(node);
                limit != options_.icmpRateLimitMs.end()) {
                writeSysctl(ns, "net/ipv4/icmp_ratelimit", std::to_string(limit->second));
            }
            if (const auto drop = options_.dropForwardedEveryNth.find(node);
                drop != options_.dropForwardedEveryNth.end()) {
                dropForwardedEchoes(ns, drop->second);
            }
            if (options_.silentRouters.count(node) != 0) {
                // Forwarded traffic still passes; only what the router itself sends is dropped.
                ip(ns, {"rule", "add", "iif", "lo", "lookup", "100", "pref", "100"});
                ip(ns, {"route", "add", "blackhole", "default", "table", "100"});
                if (options_.ipv6) {
                    ip(ns, {"-6", "rule", "add", "iif", "lo", "lookup", "100", "pref", "100"});
                    ip(ns, {"-6", "route", "add", "blackhole", "default", "table", "100"});
                }
            }
            if (options_.ipv6) {
                writeSysctl(ns, "net/ipv6/conf/all/forwarding", "1");
                writeSysctl(ns, "net/ipv6/icmp/ratelimit", "0");
            }
        }
    }
    writeSysctl(names_.front(), "net/ipv4/ping_group_range",
                options_.pingGroupOpen ? "0 2147483647" : "1 0");

    const std::filesystem::path files = "/etc/netns/" + clientNamespace();
    std::filesystem::create_directories(files);
    {
        std::ofstream hosts(files / "hosts");
        hosts << "127.0.0.1 localhost\n";
        for (const auto& [address, name] : options_.hostNames)
            hosts << address << " " << name << "\n";
        std::ofstream resolv(files / "resolv.conf");
        resolv << "nameserver 127.0.0.1\n";
    }
    if (options_.silentResolver) dropNameQueries(clientNamespace());

    if (options_.delayedHostMs > 0) {
        const std::string& router = routerNamespace(options_.routers);
        delayElement_ = std::make_unique<TunEchoResponder>(router, delayedHostAddress(),
                                                           options_.delayedHostMs);
        ip(router, {"link", "set", delayElement_->interfaceName(), "up"});
        ip(router, {"route", "add", "10.97.0.0/24", "dev", delayElement_->interfaceName()});
    }
    if (options_.alternatingHop) {
        const std::string& router = routerNamespace(options_.routers);
        alternatingElement_ = std::make_unique<TunEchoResponder>(
            router, alternatingHostAddress(), 0, "hoplarkecmp", alternatingHopAddresses());
        ip(router, {"link", "set", alternatingElement_->interfaceName(), "up"});
        ip(router, {"route", "add", "10.96.0.0/16", "dev", alternatingElement_->interfaceName()});
    }
    for (const auto& [router, delay] : options_.returnDelays) {
        if (router < 1 || router > options_.routers) continue;
        const std::string& ns = routerNamespace(router);
        returnDelayLines_[router] = std::make_unique<TunDelayLine>(ns, "hoplarkret", delay);
        // What arrives from the far side goes through the line; what the line writes back
        // arrives on it and is routed normally. Its source is not reachable through the line,
        // so reverse-path filtering must not drop it.
        ip(ns, {"link", "set", "hoplarkret", "up"});
        ip(ns, {"rule", "add", "iif", "right", "lookup", "110", "pref", "110"});
        ip(ns, {"route", "add", "default", "dev", "hoplarkret", "table", "110"});
        writeSysctl(ns, "net/ipv4/conf/all/rp_filter", "0");
        writeSysctl(ns, "net/ipv4/conf/hoplarkret/rp_filter", "0");
    }
}

void NetnsChain::setReturnDelay(int router, std::chrono::nanoseconds delay) {
    const auto line = returnDelayLines_.find(router);
    if (line == returnDelayLines_.end()) {
        throw std::runtime_error("router " + std::to_string(router) + " has no delay line");
    }
    line->second->setDelay(delay);
}

void NetnsChain::dropForwardedEchoes(const std::string& ns, int everyNth) const {
    const std::vector<std::vector<std::string>> commands = {
        {"add", "table", "ip", "hoplark"},
        {"add", "chain", "ip", "hoplark", "forward", "{", "type", "filter", "hook", "forward",
         "priority", "0", ";", "policy", "accept", ";", "}"},
        {"add", "rule", "ip", "hoplark", "forward", "oifname", "right", "icmp", "type",
         "echo-request", "numgen", "inc", "mod", std::to_string(everyNth), "0", "drop"}};
    nft(ns, commands);
}

void NetnsChain::dropNameQueries(const std::string& ns) const {
    nft(ns, {{"add", "table", "ip", "hoplark_dns"},
             {"add", "chain", "ip", "hoplark_dns", "input", "{", "type", "filter", "hook", "input",
              "priority", "0", ";", "policy", "accept", ";", "}"},
             {"add", "rule", "ip", "hoplark_dns", "input", "udp", "dport", "53", "drop"},
             {"add", "rule", "ip", "hoplark_dns", "input", "tcp", "dport", "53", "drop"}});
}

void NetnsChain::nft(const std::string& ns,
                     const std::vector<std::vector<std::string>>& commands) const {
    for (const auto& arguments : commands) {
        std::vector<std::string> command = {"ip", "netns", "exec", ns, "nft"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const CommandResult result = RunCommand(command);
        if (result.exitCode != 0) throw std::runtime_error("nft failed: " + result.output);
    }
}

void NetnsChain::teardown() {
    returnDelayLines_.clear();
    delayElement_.reset();
    alternatingElement_.reset();
    for (const auto& name : names_) {
        RunCommand({"ip", "netns", "del", name});
        std::error_code ignored;
        std::filesystem::remove_all("/etc/netns/" + name, ignored);
    }
}

NetnsChain::ChildResult NetnsChain::runInClient(const std::function<std::string()>& body,
                                                RunAs as) const {
    return runIn(clientNamespace(), body, as);
}

NetnsChain::ChildResult NetnsChain::runIn(const std::string& ns,
                                          const std::function<std::string()>& body, RunAs as) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(pipeFds[0]);
        std::string output;
        int code = 0;
        try {
            const int nsFd = open(("/var/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
            if (nsFd < 0 || setns(nsFd, CLONE_NEWNET) != 0) {
                throw std::runtime_error("cannot enter namespace " + ns);
            }
            close(nsFd);
            enterNamespaceFiles(ns);
            if (as == RunAs::Nobody) {
                if (setgroups(0, nullptr) != 0 || setresgid(NobodyId, NobodyId, NobodyId) != 0 ||
                    setresuid(NobodyId, NobodyId, NobodyId) != 0) {
                    throw std::runtime_error("cannot become nobody");
                }
            }
            output = body();
        } catch (const std::exception& failure) {
            output = failure.what();
            code = 1;
        }
        size_t done = 0;
        while (done < output.size()) {
            const ssize_t n = write(pipeFds[1], output.data() + done, output.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        _exit(code);
    }
    close(pipeFds[1]);
    ChildResult result;
    result.output = readAll(pipeFds[0]);
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace hoplark::test
