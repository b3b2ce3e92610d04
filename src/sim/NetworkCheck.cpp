#include "sim/NetworkCheck.h"

#include <net/if.h>

#include "core/net/KernelLinks.h"

namespace tarvo::sim {

bool hardwareInterfaces(std::vector<std::string>& names, std::string& error) {
    names.clear();
    std::vector<net::KernelLink> links;
    if (!net::kernelLinks(links, error)) return false;
    for (const net::KernelLink& link : links) {
        if ((link.flags & IFF_LOOPBACK) == 0 && link.kind.empty()) names.push_back(link.name);
    }
    return true;
}

}  // namespace tarvo::sim
