#include "core/net/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
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

namespace {

struct LinkDetails {
    std::string kind;
    unsigned master = 0;
};

// The link kind and master of every interface, from one route-netlink dump (a local socket to
// the kernel); empty when the kernel does not answer.
std::map<unsigned, LinkDetails> linkDetails() {
    std::map<unsigned, LinkDetails> out;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return out;
    std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    const timeval wait{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.info.ifi_family = AF_UNSPEC;
    if (::send(fd, &request, sizeof request, 0) < 0) return out;
    std::vector<char> buffer(64 * 1024);
    // Bounded: a dump of this many parts is far beyond any computer's interfaces.
    for (int part = 0; part < 256; ++part) {
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got <= 0) return out;
        auto left = static_cast<unsigned>(got);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) return out;
            if (h->nlmsg_type != RTM_NEWLINK || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
                continue;
            const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(h));
            LinkDetails& details = out[static_cast<unsigned>(info->ifi_index)];
            auto length = static_cast<unsigned>(IFLA_PAYLOAD(h));
            for (auto* a = IFLA_RTA(info); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
                if (a->rta_type == IFLA_MASTER && RTA_PAYLOAD(a) >= sizeof(std::uint32_t)) {
                    std::uint32_t master = 0;
                    std::memcpy(&master, RTA_DATA(a), sizeof master);
                    details.master = master;
                } else if (a->rta_type == IFLA_LINKINFO) {
                    auto inner = static_cast<unsigned>(RTA_PAYLOAD(a));
                    for (auto* k = static_cast<rtattr*>(RTA_DATA(a)); RTA_OK(k, inner);
                         k = RTA_NEXT(k, inner)) {
                        if (k->rta_type != IFLA_INFO_KIND) continue;
                        const auto* text = static_cast<const char*>(RTA_DATA(k));
                        details.kind.assign(text, ::strnlen(text, RTA_PAYLOAD(k)));
                    }
                }
            }
        }
    }
    return out;
}

}  // namespace

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
    const auto details = linkDetails();
    for (auto& state : result) {
        if (const auto found = details.find(state.index); found != details.end()) {
            state.kind = found->second.kind;
            state.master = found->second.master;
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
