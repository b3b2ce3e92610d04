#include "core/net/MacResolver.h"

#include <arpa/inet.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "core/net/Clock.h"
#include "core/net/Socket.h"

namespace tarvo::net {

namespace {

// True when the address belongs to this host (any address the host can bind, 127/8 included).
bool isLocalAddress(std::uint32_t address) {
    Socket probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!probe) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    return ::bind(probe.fd(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

// A local address: its own interface's MAC; one in a local subnet (127/8 on lo): that
// interface's MAC.
MacAddress localMac(std::uint32_t address, const std::vector<LocalInterface>& interfaces) {
    for (const auto& entry : interfaces) {
        if (entry.address == address) return entry.mac;
    }
    for (const auto& entry : interfaces) {
        if (sameSubnet(entry.address, address, entry.netmask)) return entry.mac;
    }
    return MacAddress{};
}

// One neighbour-table lookup per interface (SIOCGARP); complete entries only.
std::optional<MacAddress> neighbourEntry(const Socket& probe, std::uint32_t address,
                                         const std::vector<LocalInterface>& interfaces) {
    for (const auto& entry : interfaces) {
        if (entry.loopback) continue;
        arpreq request{};
        auto* pa = reinterpret_cast<sockaddr_in*>(&request.arp_pa);
        pa->sin_family = AF_INET;
        pa->sin_addr.s_addr = address;
        (void)std::snprintf(request.arp_dev, sizeof request.arp_dev, "%s", entry.name.c_str());
        if (::ioctl(probe.fd(), SIOCGARP, &request) != 0) continue;
        if ((request.arp_flags & ATF_COM) == 0) continue;
        MacAddress mac{};
        std::memcpy(mac.data(), request.arp_ha.sa_data, mac.size());
        return mac;
    }
    return std::nullopt;
}

}  // namespace

std::vector<LocalInterface> SystemMacResolver::interfaces() {
    std::lock_guard guard(mutex_);
    const std::uint32_t now = tickMs();
    if (!haveInterfaces_ || now - interfacesTick_ >= 1000) {
        interfaces_ = allLocalAddresses();
        interfacesTick_ = now;
        haveInterfaces_ = true;
    }
    return interfaces_;
}

std::optional<MacAddress> SystemMacResolver::resolve(std::uint32_t address) {
    const auto interfaces = this->interfaces();
    for (const auto& entry : interfaces) {
        if (entry.address == address ||
            (entry.loopback && sameSubnet(entry.address, address, entry.netmask))) {
            return entry.mac;
        }
    }

    Socket probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!probe) return std::nullopt;
    if (auto mac = neighbourEntry(probe, address, interfaces)) return mac;
    if (isLocalAddress(address)) return localMac(address, interfaces);

    // Not in the table: one datagram to the discard port makes the kernel resolve it.
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(9);
    peer.sin_addr.s_addr = address;
    const char nudge = 0;
    ::sendto(probe.fd(), &nudge, 1, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&peer),
             sizeof peer);
    const std::uint32_t start = tickMs();
    while (static_cast<int>(tickMs() - start) < waitMs_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (auto mac = neighbourEntry(probe, address, interfaces)) return mac;
    }
    return std::nullopt;
}

std::string formatMac(const MacAddress& mac) {
    char text[18] = {};
    (void)std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

}  // namespace tarvo::net
