#include "core/net/Capabilities.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarvo::net {

namespace {

using CapabilitySets = __user_cap_data_struct[_LINUX_CAPABILITY_U32S_3];

bool readSets(CapabilitySets& sets) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, sets) == 0;
}

bool writeSets(CapabilitySets& sets) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capset, &header, sets) == 0;
}

bool holds(const CapabilitySets& sets, int capability) {
    return (sets[CAP_TO_INDEX(capability)].effective & CAP_TO_MASK(capability)) != 0;
}

// Gives up the process's sets; the bounding set loses all but `keep` (-1: all). True when
// nothing is held afterwards.
bool giveUp(int keep) {
    CapabilitySets sets{};
    const bool known = readSets(sets);
    // Emptying the bounding set needs CAP_SETPCAP, so it comes while that is still effective;
    // without it the empty permitted set keeps exec from granting more than a file's own.
    if (known && holds(sets, CAP_SETPCAP)) {
        // The kernel answers EINVAL past the last capability it knows.
        for (int capability = 0; capability < 64; ++capability) {
            if (::prctl(PR_CAPBSET_READ, capability, 0, 0, 0) < 0) break;
            if (capability != keep) (void)::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
        }
    }
    (void)::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);  // EINVAL before Linux 4.3
    CapabilitySets none{};
    (void)writeSets(none);  // lowering never needs a capability; checked below

    CapabilitySets after{};
    if (!readSets(after)) return false;
    // The ambient set is always within permitted and inheritable: empty with them.
    for (const auto& word : after) {
        if (word.effective != 0 || word.permitted != 0 || word.inheritable != 0) return false;
    }
    return true;
}

}  // namespace

bool dropCapabilities() {
    const bool none = giveUp(-1);
    const bool noNewPrivileges = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
    return none && noNewPrivileges;
}

bool startWithoutCapabilities() {
    return giveUp(CAP_NET_RAW);
}

}  // namespace tarvo::net
