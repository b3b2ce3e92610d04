#include "core/net/Socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace tarvo::net {

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Socket::shutdown() const {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void Socket::close() {
    if (fd_ < 0) return;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    fd_ = -1;
}

namespace {
timeval toTimeval(int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = static_cast<suseconds_t>(ms % 1000) * 1000;
    return tv;
}
}  // namespace

bool Socket::setTimeouts(int sendMs, int receiveMs) const {
    const timeval snd = toTimeval(sendMs);
    const timeval rcv = toTimeval(receiveMs);
    return ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &snd, sizeof snd) == 0 &&
           ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &rcv, sizeof rcv) == 0;
}

bool Socket::setBlocking(bool blocking) const {
    const int flags = ::fcntl(fd_, F_GETFL, 0);
    if (flags < 0) return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd_, F_SETFL, wanted) == 0;
}

ReceivedDatagram Socket::receiveDatagram(std::span<std::uint8_t> buffer) const {
    ReceivedDatagram got;
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
    iovec io{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = &got.from;
    message.msg_namelen = sizeof got.from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    got.size = ::recvmsg(fd_, &message, 0);
    if (got.size < 0) return got;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            got.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
        }
    }
    return got;
}

}  // namespace tarvo::net
