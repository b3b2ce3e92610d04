#include "core/net/MacResolver.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "core/net/Clock.h"

namespace tarvo::net {

namespace {

// What the frame filter looks for: UDP to the group port whose first payload byte is the
// discovery reply code.
constexpr std::uint32_t kReplyPort = 5250;
constexpr std::uint32_t kReplyCode = 100;
// Room for several thousand reply frames between two reads of a busy link (each frame is
// charged at its whole buffer size, a few kilobytes, however little of it is kept).
constexpr int kTapBufferBytes = 32 << 20;

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

std::unique_ptr<ReplyFrameTap> ReplyFrameTap::open(unsigned interfaceIndex) {
    // Protocol 0 takes no frame until the bind below, when the filter is already in place.
    Socket socket(::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket) return nullptr;
    // Offsets from the start of the Ethernet frame; X holds the IPv4 header length.
    std::array<sock_filter, 11> program{{
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 23),                  // IPv4 protocol
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IPPROTO_UDP, 0, 7),  //
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 20),                  // fragment offset
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, 0x1fff, 5, 0),      //
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 14),                 // X = header length
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 16),                  // UDP destination port
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kReplyPort, 0, 2),   //
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 22),                  // command byte
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kReplyCode, 1, 0),   //
        BPF_STMT(BPF_RET | BPF_K, 0),                            // drop
        BPF_STMT(BPF_RET | BPF_K, 64),  // keep the Ethernet header and the IPv4 source
    }};
    sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    if (::setsockopt(socket.fd(), SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter) != 0)
        return nullptr;
    const int bytes = kTapBufferBytes;
    if (::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        (void)::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    sockaddr_ll where{};
    where.sll_family = AF_PACKET;
    where.sll_protocol = htons(ETH_P_IP);
    where.sll_ifindex = static_cast<int>(interfaceIndex);
    if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0)
        return nullptr;
    return std::make_unique<ReplyFrameTap>(std::move(socket));
}

void ReplyFrameTap::take(const MacResolver::FrameSink& sink) {
    std::lock_guard guard(mutex_);
    std::array<std::uint8_t, 64> frame{};
    for (;;) {
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(socket_.fd(), frame.data(), frame.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) return;  // nothing more queued (or the socket failed: nothing to read)
        if (got < 30 || from.sll_pkttype == PACKET_OUTGOING) continue;
        MacAddress mac{};
        std::memcpy(mac.data(), frame.data() + 6, mac.size());
        std::uint32_t sender = 0;
        std::memcpy(&sender, frame.data() + 26, sizeof sender);
        sink(sender, mac);
    }
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
    if (taps_.count(iface.index) != 0) return true;
    auto tap = ReplyFrameTap::open(iface.index);
    if (!tap) return false;
    taps_.emplace(iface.index, std::move(tap));
    return true;
}

void SystemMacResolver::takeFrames(unsigned index, const FrameSink& sink) {
    ReplyFrameTap* tap = nullptr;
    {
        std::lock_guard guard(mutex_);
        const auto found = taps_.find(index);
        if (found == taps_.end()) return;
        tap = found->second.get();  // taps live as long as the resolver
    }
    tap->take(sink);
}

std::string formatMac(const MacAddress& mac) {
    char text[18] = {};
    (void)std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                        mac[3], mac[4], mac[5]);
    return text;
}

}  // namespace tarvo::net
