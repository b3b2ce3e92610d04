#pragma once

#include <string>
#include <vector>

namespace tarvo::net {

// One link as the kernel lists it (route netlink), hardware or virtual, up or down.
struct KernelLink {
    unsigned index = 0;
    std::string name;
    std::string kind;     // the link kind ("veth", "bridge", "wireguard"); empty for hardware
    unsigned master = 0;  // the bridge or bond it is a port of; 0 for none
    unsigned flags = 0;   // IFF_* as the kernel reports them
};

// Every link of this network namespace, from one route-netlink dump (a local socket to the
// kernel, bounded in time and in reads). False, with `error` and the links read so far, when
// the kernel could not be asked or did not finish its list.
bool kernelLinks(std::vector<KernelLink>& links, std::string& error);

}  // namespace tarvo::net
