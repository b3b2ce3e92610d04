#pragma once

namespace tarvo::net {

// First thing in the programs' main, before any library that loads plugins starts: gives up
// every capability the process holds (effective, permitted, inheritable, ambient; a root user
// has them all) and empties the bounding set but for CAP_NET_RAW, where CAP_SETPCAP allows it.
// No-new-privileges stays unset: the MAC helper, started later, gains CAP_NET_RAW from its own
// file. The uid stays as it is. False when a capability is still held afterwards: the program
// must not go on.
bool startWithoutCapabilities();

// Everything, for good: the sets above, the whole bounding set as far as CAP_SETPCAP allows, and
// no-new-privileges. False when a capability is still held or no-new-privileges is not set.
bool dropCapabilities();

}  // namespace tarvo::net
