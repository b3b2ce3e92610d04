#include "core/net/Socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

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

}  // namespace tarvo::net
