#include "core/net/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "core/net/KernelLinks.h"

namespace tarvo::net {

namespace {

std::vector<LocalInterface> collect(bool multicastOnly) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> guard(list, &::freeifaddrs);

    std::map<std::string, MacAddress> macs;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_PACKET) continue;
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
        MacAddress mac{};
        if (ll->sll_halen == mac.size()) std::memcpy(mac.data(), ll->sll_addr, mac.size());
        macs[it->ifa_name] = mac;
    }

    std::vector<LocalInterface> result;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
        if ((it->ifa_flags & IFF_UP) == 0) continue;
        if (multicastOnly && (it->ifa_flags & IFF_MULTICAST) == 0) continue;
        LocalInterface entry;
        entry.name = it->ifa_name;
        entry.index = ::if_nametoindex(it->ifa_name);
        entry.address = reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr;
        if (it->ifa_netmask != nullptr) {
            entry.netmask = reinterpret_cast<const sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr;
        }
        entry.loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
        if (auto found = macs.find(entry.name); found != macs.end()) entry.mac = found->second;
        result.push_back(std::move(entry));
    }
    return result;
}

}  // namespace

std::vector<LocalInterface> localInterfaces() {
    return collect(true);
}
std::vector<LocalInterface> allLocalAddresses() {
    return collect(false);
}

std::string formatIPv4(std::uint32_t networkOrder) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr address{};
    address.s_addr = networkOrder;
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool parseIPv4(const std::string& text, std::uint32_t& networkOrder) {
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
    networkOrder = address.s_addr;
    return true;
}

bool sameSubnet(std::uint32_t a, std::uint32_t b, std::uint32_t netmask) {
    return (a & netmask) == (b & netmask);
}

std::vector<InterfaceState> interfaceStates() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> guard(list, &::freeifaddrs);
    std::vector<InterfaceState> result;
    auto entry = [&result](const ifaddrs* it) -> InterfaceState& {
        for (auto& each : result) {
            if (each.name == it->ifa_name) return each;
        }
        InterfaceState state;
        state.name = it->ifa_name;
        state.index = ::if_nametoindex(it->ifa_name);
        state.up = (it->ifa_flags & IFF_UP) != 0;
        state.running = (it->ifa_flags & IFF_RUNNING) != 0;
        state.multicast = (it->ifa_flags & IFF_MULTICAST) != 0;
        state.loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
        state.pointToPoint = (it->ifa_flags & IFF_POINTOPOINT) != 0;
        result.push_back(std::move(state));
        return result.back();
    };
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_name == nullptr) continue;
        InterfaceState& state = entry(it);
        if (it->ifa_addr == nullptr) continue;
        if (it->ifa_addr->sa_family == AF_PACKET) {
            state.hardwareType = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr)->sll_hatype;
        } else if (it->ifa_addr->sa_family == AF_INET) {
            state.addresses.push_back(
                reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr);
        }
    }
    // What the kernel could say: kind and master are left out where it did not answer.
    std::vector<KernelLink> links;
    std::string error;
    (void)kernelLinks(links, error);
    for (auto& state : result) {
        for (const KernelLink& link : links) {
            if (link.index != state.index) continue;
            state.kind = link.kind;
            state.master = link.master;
        }
    }
    return result;
}

bool hasMulticastRoute(std::uint32_t group) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // nothing known: no hint
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = group;
    // A datagram socket's connect only looks the route up.
    const bool routed = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ||
                        errno != ENETUNREACH;
    ::close(fd);
    return routed;
}

}  // namespace tarvo::net
