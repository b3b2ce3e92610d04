#pragma once

#include <sys/types.h>

#include <vector>

namespace tarvo::test {

// The descriptor of a packet socket process `pid` holds (0: this process), or -1: read from the
// process's descriptors against its network namespace's packet sockets.
int packetSocketOf(pid_t pid);
// The children of process `pid` (0: this process) named tarvo-macwatch, the MAC helper.
std::vector<pid_t> macHelpersOf(pid_t pid);

}  // namespace tarvo::test
