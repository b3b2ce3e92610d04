#pragma once

#include <string>
#include <vector>

namespace tarvo::sim {

// The network interfaces of this network namespace that stand for hardware: not the loopback,
// and of no virtual kind (veth, bridge, dummy, tun...), as the kernel reports them. A namespace
// made for tests holds none; the host's own namespace holds its network cards, and devices
// simulated there would answer on a real network. False, with `error`, when the kernel could not
// be asked.
bool hardwareInterfaces(std::vector<std::string>& names, std::string& error);

}  // namespace tarvo::sim
