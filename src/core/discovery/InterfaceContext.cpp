#include "core/discovery/InterfaceContext.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "core/protocol/CommandCodes.h"

namespace tarvo::discovery {

namespace {

constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

bool setInt(const net::Socket& s, int level, int name, int value) {
    return ::setsockopt(s.fd(), level, name, &value, sizeof value) == 0;
}

// Sends of this socket leave through the interface of `address`, with that source address.
bool setMulticastInterface(const net::Socket& s, const net::LocalInterface& iface) {
    ip_mreqn request{};
    request.imr_address.s_addr = iface.address;
    request.imr_ifindex = static_cast<int>(iface.index);
    return ::setsockopt(s.fd(), IPPROTO_IP, IP_MULTICAST_IF, &request, sizeof request) == 0;
}

}  // namespace

std::unique_ptr<InterfaceContext> InterfaceContext::open(const net::LocalInterface& iface) {
    std::unique_ptr<InterfaceContext> ctx(new InterfaceContext(iface));
    ctx->addressText_ = net::formatIPv4(iface.address);

    in_addr group{};
    ::inet_pton(AF_INET, protocol::kGroupAddress, &group);

    // Receiving socket: bound to the group and port (a socket bound to a unicast address
    // receives no multicast on Linux), tied to this interface, member of the group there.
    net::Socket bound(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!bound) return nullptr;
    if (!setInt(bound, SOL_SOCKET, SO_REUSEADDR, 1)) return nullptr;
    ctx->boundToDevice_ = ::setsockopt(bound.fd(), SOL_SOCKET, SO_BINDTODEVICE, iface.name.c_str(),
                                       static_cast<socklen_t>(iface.name.size())) == 0;
    setInt(bound, IPPROTO_IP, IP_PKTINFO, 1);
    // Replies of large sites arrive in bursts; a deep queue keeps them all.
    setInt(bound, SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes);
    setInt(bound, SOL_SOCKET, SO_RCVBUFFORCE, kReceiveBufferBytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(protocol::kGroupPort);
    local.sin_addr = group;
    if (::bind(bound.fd(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return nullptr;
    ip_mreqn membership{};
    membership.imr_multiaddr = group;
    membership.imr_address.s_addr = iface.address;
    membership.imr_ifindex = static_cast<int>(iface.index);
    if (::setsockopt(bound.fd(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) !=
        0) {
        return nullptr;
    }
    if (!setMulticastInterface(bound, iface)) return nullptr;

    // Sending socket for the discovery request, leaving from this address and from the group
    // port, as every other frame of the program does (devices may answer to that port only).
    net::Socket join(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!join) return nullptr;
    if (!setInt(join, SOL_SOCKET, SO_REUSEADDR, 1)) return nullptr;
    if (!setMulticastInterface(join, iface)) return nullptr;
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_port = htons(protocol::kGroupPort);
    source.sin_addr.s_addr = iface.address;
    if (::bind(join.fd(), reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0)
        return nullptr;

    ctx->bound_ = std::move(bound);
    ctx->join_ = std::move(join);
    return ctx;
}

void InterfaceContext::shutdown() {
    stopping_.store(true);
    bound_.shutdown();
    join_.shutdown();
}

InterfaceContext::~InterfaceContext() {
    shutdown();
    if (thread_.joinable()) thread_.join();
}

}  // namespace tarvo::discovery
