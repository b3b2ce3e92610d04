#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "core/net/Socket.h"

namespace tarvo::test {

// An NVR's command port that answers the first 6-byte query of the one connection it takes with
// fixed bytes (for replies the simulator does not give, such as a short one), then holds the
// connection until the client closes it. Every wait ends within five seconds.
class FakeNvrPeer {
public:
    FakeNvrPeer(const std::string& address, std::uint16_t port, std::vector<std::uint8_t> reply);
    // Stops taking connections and waits for the conversation to end.
    ~FakeNvrPeer();
    FakeNvrPeer(const FakeNvrPeer&) = delete;
    FakeNvrPeer& operator=(const FakeNvrPeer&) = delete;

    // False when the address and port could not be taken.
    [[nodiscard]] bool listening() const { return listening_; }

private:
    void answer(const std::vector<std::uint8_t>& reply) const;

    net::Socket listener_;
    bool listening_ = false;
    std::thread thread_;
};

}  // namespace tarvo::test
