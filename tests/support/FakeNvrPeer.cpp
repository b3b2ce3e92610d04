#include "support/FakeNvrPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <utility>

#include "core/net/NetworkInterfaces.h"

namespace tarvo::test {

FakeNvrPeer::FakeNvrPeer(const std::string& address, std::uint16_t port,
                         std::vector<std::uint8_t> reply)
    : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    std::uint32_t ip = 0;
    listening_ = listener_ && net::parseIPv4(address, ip);
    where.sin_addr.s_addr = ip;
    listening_ =
        listening_ &&
        ::bind(listener_.fd(), reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0 &&
        ::listen(listener_.fd(), 1) == 0;
    if (listening_) thread_ = std::thread([this, reply = std::move(reply)] { answer(reply); });
}

FakeNvrPeer::~FakeNvrPeer() {
    listener_.shutdown();  // a connection that never came ends the wait for it
    if (thread_.joinable()) thread_.join();
}

void FakeNvrPeer::answer(const std::vector<std::uint8_t>& reply) const {
    const net::Socket connection(::accept(listener_.fd(), nullptr, nullptr));
    if (!connection || !connection.setTimeouts(5000, 5000)) return;
    std::array<std::uint8_t, 6> query{};
    if (::recv(connection.fd(), query.data(), query.size(), MSG_WAITALL) != 6) return;
    (void)::send(connection.fd(), reply.data(), reply.size(), MSG_NOSIGNAL);
    (void)::recv(connection.fd(), query.data(), query.size(), 0);  // until the client closes
}

}  // namespace tarvo::test
