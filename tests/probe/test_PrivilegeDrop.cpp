#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "probe/TTrace.h"
#include "support/NetnsChain.h"

namespace hoplark {
namespace {

using test::NetnsChain;

// The fields of /proc/self/status that say what privilege the process still holds.
std::map<std::string, std::string> privilegeFields() {
    std::map<std::string, std::string> fields;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = line.substr(0, colon);
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        for (auto& c : value)
            if (c == '\t') c = ' ';
        fields[name] = value;
    }
    return fields;
}

std::string modeName(EchoService::Mode mode) {
    return mode == EchoService::Mode::Datagram ? "datagram"
           : mode == EchoService::Mode::Raw    ? "raw"
                                               : "unbound";
}

// Once the socket is open nothing may be left: no capability in any set, no way to gain one
// through a program started later, and under sudo not even the root user. The socket still works.
TEST(PrivilegeDropNetns, NothingIsLeftAfterBindInEveryMode) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 1;
    options.pingGroupOpen = true;
    NetnsChain chain(options);
    const std::string none = "0000000000000000";
    struct Case {
        const char* name;
        bool datagram;
        NetnsChain::RunAs as;
        bool sudo;
        const char* mode;
        const char* uid;
        bool boundingCleared;  // needs CAP_SETPCAP, which only root starts with
    };
    const Case cases[] = {
        {"datagram as root", true, NetnsChain::RunAs::Root, false, "datagram", "0 0 0 0", true},
        {"raw as root", false, NetnsChain::RunAs::Root, false, "raw", "0 0 0 0", true},
        {"datagram as nobody", true, NetnsChain::RunAs::Nobody, false, "datagram",
         "65534 65534 65534 65534", false},
        {"datagram under sudo", true, NetnsChain::RunAs::Root, true, "datagram",
         "65534 65534 65534 65534", true},
        {"raw under sudo", false, NetnsChain::RunAs::Root, true, "raw", "65534 65534 65534 65534",
         true},
    };
    for (const auto& c : cases) {
        const auto result = chain.runInClient(
            [&] {
                if (c.sudo) {
                    setenv("SUDO_UID", "65534", 1);
                    setenv("SUDO_GID", "65534", 1);
                }
                EchoService service({.allowDatagram = c.datagram, .allowRaw = !c.datagram});
                auto fields = privilegeFields();
                TTrace probe(service);
                probe.TTL = 64;
                probe.Destination = chain.targetAddress();
                probe.Timeout = 3000;
                probe.Probe();
                std::ostringstream out;
                out << modeName(service.mode()) << "\n"
                    << fields["CapEff"] << "\n"
                    << fields["CapPrm"] << "\n"
                    << fields["CapInh"] << "\n"
                    << fields["CapAmb"] << "\n"
                    << fields["CapBnd"] << "\n"
                    << fields["NoNewPrivs"] << "\n"
                    << fields["Uid"] << "\n"
                    << fields["Gid"] << "\n"
                    << (probe.ResponderIP.empty() ? "-" : probe.ResponderIP) << "\n";
                return out.str();
            },
            c.as);
        ASSERT_EQ(result.exitCode, 0) << c.name << ": " << result.output;
        std::istringstream in(result.output);
        std::string mode, eff, prm, inh, amb, bnd, noNew, uid, gid, answered;
        for (auto* field : {&mode, &eff, &prm, &inh, &amb, &bnd, &noNew, &uid, &gid, &answered})
            std::getline(in, *field);
        EXPECT_EQ(mode, c.mode) << c.name;
        EXPECT_EQ(eff, none) << c.name;
        EXPECT_EQ(prm, none) << c.name;
        EXPECT_EQ(inh, none) << c.name;
        EXPECT_EQ(amb, none) << c.name;
        if (c.boundingCleared) {
            EXPECT_EQ(bnd, none) << c.name;
        }
        EXPECT_EQ(noNew, "1") << c.name;
        EXPECT_EQ(uid, c.uid) << c.name;
        EXPECT_EQ(gid, c.uid) << c.name;
        EXPECT_EQ(answered, chain.targetAddress()) << c.name << ": the socket still works";
    }
}

}  // namespace
}  // namespace hoplark
