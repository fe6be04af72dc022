#pragma once

#include <string>

namespace hoplark {

// Gives up every privilege of the process once its ICMP socket is open, so that nothing later
// (a bug, a help viewer or browser started from the program) can use or inherit one:
//  - the ambient set and the bounding set are cleared (the latter needs CAP_SETPCAP, which a
//    root process has and a file-capability one does not);
//  - no_new_privs is set, so no program started later gains privileges through set-user-ID
//    bits or file capabilities;
//  - started as root through sudo, the process becomes SUDO_UID / SUDO_GID (supplementary
//    groups, group, user, in that order), so its files belong to the user who ran it;
//  - the permitted, effective and inheritable sets are emptied, also for root.
//
// Capabilities are per thread on Linux: call this before any other thread exists.
class PrivilegeDrop {
public:
    // Returns what could not be done, empty when everything was dropped.
    static std::string DropAll();
};

}  // namespace hoplark
