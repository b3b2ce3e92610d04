#include "sim/UdpChannel.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <set>

namespace tarvo::sim {

namespace {

constexpr const char* kGroup = "233.0.0.1";
constexpr int kReceiveBuffer = 8 * 1024 * 1024;
constexpr int kSendBuffer = 4 * 1024 * 1024;
constexpr auto kEchoLifetime = std::chrono::seconds(5);
constexpr std::size_t kMaxQueued = 100'000;

void setBuffer(int fd, int forced, int plain, int size) {
    // Privileged callers may go beyond rmem_max/wmem_max: a 5000-device reply burst needs it.
    if (::setsockopt(fd, SOL_SOCKET, forced, &size, sizeof size) != 0) {
        ::setsockopt(fd, SOL_SOCKET, plain, &size, sizeof size);
    }
}

}  // namespace

bool UdpChannel::open(std::string& error) {
    socket_ = net::Socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket_) {
        error = std::string("UDP socket: ") + std::strerror(errno);
        return false;
    }
    const int fd = socket_.fd();
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    setBuffer(fd, SO_RCVBUFFORCE, SO_RCVBUF, kReceiveBuffer);
    setBuffer(fd, SO_SNDBUFFORCE, SO_SNDBUF, kSendBuffer);

    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(kPort);
    ::inet_pton(AF_INET, kGroup, &bound.sin_addr);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
        error = std::string("bind 233.0.0.1:5250: ") + std::strerror(errno);
        socket_.close();
        return false;
    }

    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        error = std::string("getifaddrs: ") + std::strerror(errno);
        socket_.close();
        return false;
    }
    std::set<unsigned> done;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_MULTICAST) == 0) continue;
        const unsigned index = ::if_nametoindex(entry->ifa_name);
        if (index == 0 || !done.insert(index).second) continue;
        ip_mreqn request{};
        request.imr_multiaddr = bound.sin_addr;
        request.imr_ifindex = static_cast<int>(index);
        if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0) {
            joined_.emplace_back(entry->ifa_name);
        }
    }
    ::freeifaddrs(list);
    if (joined_.empty()) {
        error = "no up, multicast-capable IPv4 interface to join 233.0.0.1 on";
        socket_.close();
        return false;
    }
    return true;
}

std::uint64_t UdpChannel::echoKey(std::uint32_t source, wire::ByteView bytes) {
    // FNV-1a over the source and the content.
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    for (int shift = 24; shift >= 0; shift -= 8) mix(static_cast<std::uint8_t>(source >> shift));
    for (const std::uint8_t byte : bytes) mix(byte);
    mix(static_cast<std::uint8_t>(bytes.size()));
    return hash;
}

void UdpChannel::rememberEcho(const Outgoing& outgoing) {
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t key = echoKey(outgoing.source, outgoing.bytes);
    pendingEchoes_[key].push_back(now);
    echoOrder_.emplace_back(now, key);
}

void UdpChannel::expireEchoes() {
    const auto now = std::chrono::steady_clock::now();
    while (!echoOrder_.empty() && now - echoOrder_.front().first > kEchoLifetime) {
        const auto [sent, key] = echoOrder_.front();
        echoOrder_.pop_front();
        const auto found = pendingEchoes_.find(key);
        if (found == pendingEchoes_.end()) continue;
        // An echo that came back already took the oldest send time of its key.
        if (!found->second.empty() && found->second.front() == sent) found->second.pop_front();
        if (found->second.empty()) pendingEchoes_.erase(found);
    }
}

bool UdpChannel::receive(Datagram& datagram) {
    auto& buffer = buffer_;
    for (;;) {
        const net::ReceivedDatagram got = socket_.receiveDatagram(buffer);
        if (got.size < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        datagram.source = ntohl(got.from.sin_addr.s_addr);
        datagram.sourcePort = ntohs(got.from.sin_port);
        datagram.interfaceIndex = static_cast<int>(got.interfaceIndex);
        const std::size_t size = std::min(static_cast<std::size_t>(got.size), buffer.size());
        datagram.bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));

        expireEchoes();
        if (datagram.sourcePort == kPort) {
            const auto found = pendingEchoes_.find(echoKey(datagram.source, datagram.bytes));
            if (found != pendingEchoes_.end() && !found->second.empty()) {
                found->second.pop_front();
                if (found->second.empty()) pendingEchoes_.erase(found);
                continue;
            }
        }
        return true;
    }
}

UdpChannel::SendResult UdpChannel::sendNow(const Outgoing& outgoing) {
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(kPort);
    ::inet_pton(AF_INET, kGroup, &group.sin_addr);

    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
    iovec vector{const_cast<std::uint8_t*>(outgoing.bytes.data()), outgoing.bytes.size()};
    msghdr message{};
    message.msg_name = &group;
    message.msg_namelen = sizeof group;
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = outgoing.interfaceIndex;
    info.ipi_spec_dst.s_addr = htonl(outgoing.source);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);

    for (;;) {
        if (::sendmsg(socket_.fd(), &message, MSG_NOSIGNAL) >= 0) return SendResult::Sent;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return SendResult::Busy;
        return SendResult::Failed;
    }
}

void UdpChannel::send(std::uint32_t source, int interfaceIndex, wire::Bytes bytes) {
    Outgoing outgoing{source, interfaceIndex, std::move(bytes)};
    if (queue_.empty()) {
        const SendResult result = sendNow(outgoing);
        if (result == SendResult::Failed) {
            ++dropped_;
            return;
        }
        if (result == SendResult::Sent) {
            ++sent_;
            rememberEcho(outgoing);
            return;
        }
    }
    if (queue_.size() < kMaxQueued) {
        queue_.push_back(std::move(outgoing));
    } else {
        ++dropped_;
    }
}

void UdpChannel::flush() {
    while (!queue_.empty()) {
        const SendResult result = sendNow(queue_.front());
        if (result == SendResult::Busy) return;
        if (result == SendResult::Sent) {
            ++sent_;
            rememberEcho(queue_.front());
        } else {
            ++dropped_;
        }
        queue_.pop_front();
    }
}

}  // namespace tarvo::sim
