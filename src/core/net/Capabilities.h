#pragma once

namespace tarvo::net {

// First thing in main: opens the packet socket for the reply frames (where the process may:
// root or CAP_NET_RAW), then gives up every capability for good (effective, permitted,
// inheritable, ambient, the bounding set where CAP_SETPCAP allows it) and sets no-new-privileges,
// before any library that loads plugins starts. The uid stays as it is. False when a capability
// is still held afterwards: the program must not go on.
bool startWithoutCapabilities();

// The drop alone; false when a capability is still held or no-new-privileges is not set.
bool dropCapabilities();

}  // namespace tarvo::net
