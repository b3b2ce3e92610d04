#include "core/net/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>
#include <map>
#include <memory>

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

}  // namespace tarvo::net
