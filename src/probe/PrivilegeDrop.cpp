#include "probe/PrivilegeDrop.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace hoplark {
namespace {

std::optional<unsigned> idFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    unsigned value = 0;
    const char* end = text + std::strlen(text);
    const auto [rest, error] = std::from_chars(text, end, value);
    if (error != std::errc() || rest != end) return std::nullopt;
    return value;
}

// Started as root by sudo for another user: become that user. Returns a failure text.
std::string leaveSudoRoot() {
    if (getuid() != 0 || geteuid() != 0) return {};
    const auto uid = idFromEnvironment("SUDO_UID");
    const auto gid = idFromEnvironment("SUDO_GID");
    if (!uid || !gid || *uid == 0) return {};
    // The user's own supplementary groups when the account is known, else only its group.
    bool grouped = false;
    if (const passwd* account = getpwuid(*uid)) {
        grouped = initgroups(account->pw_name, *gid) == 0;
    }
    if (!grouped) {
        const gid_t only = *gid;
        if (setgroups(1, &only) != 0) return "cannot set the groups of SUDO_UID";
    }
    if (setresgid(*gid, *gid, *gid) != 0) return "cannot change to SUDO_GID";
    if (setresuid(*uid, *uid, *uid) != 0) return "cannot change to SUDO_UID";
    return {};
}

}  // namespace

std::string PrivilegeDrop::DropAll() {
    std::string failure;
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    // Dropping from the bounding set needs CAP_SETPCAP; without it no_new_privs below keeps a
    // full bounding set harmless.
    // The running kernel may know more capabilities than these headers: read until it says
    // there are no more.
    for (int capability = 0; capability < 64; ++capability) {
        const int present = prctl(PR_CAPBSET_READ, capability, 0, 0, 0);
        if (present < 0) break;
        if (present == 1) prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
    }
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) failure = "cannot set no_new_privs";
    const std::string sudo = leaveSudoRoot();
    if (!sudo.empty()) failure = sudo;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capset, &header, data) != 0 && failure.empty()) {
        failure = "cannot clear the capability sets";
    }
    return failure;
}

}  // namespace hoplark
