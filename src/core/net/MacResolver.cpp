#include "core/net/MacResolver.h"

#include <arpa/inet.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/net/Clock.h"
#include "core/net/Socket.h"

namespace tarvo::net {

namespace {

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

SystemMacResolver::~SystemMacResolver() {
    for (const auto& [index, reader] : readers_) ReplyFrameTap::shared().unsubscribe(reader);
}

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
    return neighbourEntry(probe, address, interfaces);
}

void SystemMacResolver::solicit(std::uint32_t address) {
    const auto interfaces = this->interfaces();
    const bool onLink = std::any_of(interfaces.begin(), interfaces.end(), [&](const auto& entry) {
        return !entry.loopback && sameSubnet(entry.address, address, entry.netmask);
    });
    if (!onLink) return;
    // One datagram to the discard port makes the kernel ask for the address.
    Socket probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!probe) return;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(9);
    peer.sin_addr.s_addr = address;
    const char nudge = 0;
    (void)::sendto(probe.fd(), &nudge, 1, MSG_NOSIGNAL | MSG_DONTWAIT,
                   reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

bool SystemMacResolver::watch(const LocalInterface& iface) {
    if (iface.loopback) return false;
    std::lock_guard guard(mutex_);
    if (readers_.count(iface.index) != 0) return true;
    const auto reader = ReplyFrameTap::shared().subscribe(iface.index);
    if (reader == 0) return false;
    readers_.emplace(iface.index, reader);
    return true;
}

void SystemMacResolver::takeFrames(unsigned index, const FrameSink& sink) {
    takeFramesFor(index, 0, sink);
}

void SystemMacResolver::takeFramesFor(unsigned index, std::uint32_t sender, const FrameSink& sink) {
    ReplyFrameTap::ReaderId reader = 0;
    {
        std::lock_guard guard(mutex_);
        const auto found = readers_.find(index);
        if (found == readers_.end()) return;
        reader = found->second;
    }
    ReplyFrameTap::shared().take(reader, sink, sender);
}

std::string formatMac(const MacAddress& mac) {
    char text[18] = {};
    (void)std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                        mac[3], mac[4], mac[5]);
    return text;
}

}  // namespace tarvo::net
