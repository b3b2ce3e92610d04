// Reading a device's reply on a command connection: pieces are joined until the operation has
// what it reads (or the frame the header announces is complete), and the whole wait is bounded
// however the bytes come.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/net/Connect.h"
#include "core/protocol/CCamClient.h"

using namespace tarvo;
using namespace std::chrono_literals;

namespace {

// Both ends of a local stream connection; the device end writes what a test scripts.
struct Pair {
    Pair() {
        std::array<int, 2> fds{};
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds.data()), 0);
        program = net::Socket(fds[0]);
        device = net::Socket(fds[1]);
        // A receive time-out as the program's connections have: it must not stretch the wait.
        program.setTimeouts(1000, 1000);
    }
    void send(std::vector<std::uint8_t> bytes) const {
        ASSERT_EQ(::send(device.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    net::Socket program;
    net::Socket device;
};

std::chrono::milliseconds since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

}  // namespace

TEST(ReplyReceive, PiecesAreJoinedUntilTheOperationHasItsBytesAndWhatElseArrivedIsKept) {
    Pair pair;
    // A 12-byte login reply in three pieces, then four more bytes that came with it.
    std::thread device([&] {
        pair.send({0, 0, 0});
        std::this_thread::sleep_for(30ms);
        pair.send({0, 12, 0, 0, 0});
        std::this_thread::sleep_for(30ms);
        pair.send({1, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD});
    });
    std::array<std::uint8_t, 64> buffer{};
    const auto got = protocol::receiveReply(pair.program, buffer, 2000, protocol::needsLoginResult);
    device.join();
    EXPECT_TRUE(got.enough);
    EXPECT_EQ(buffer[8], 1);  // the accepting byte of the third piece
    // The tail is taken when it had arrived with it, as one receive would have.
    EXPECT_EQ(got.count, 16u);
}

TEST(ReplyReceive, ShortAndOverlongLengthsAndAnEarlyClose) {
    {
        // A whole frame shorter than what the operation reads: no more is coming.
        Pair pair;
        pair.send({0, 0, 0, 0, 6, 0});
        std::array<std::uint8_t, 32> buffer{};
        const auto got =
            protocol::receiveReply(pair.program, buffer, 5000, protocol::needsLoginResult);
        EXPECT_TRUE(got.usable());
        EXPECT_EQ(got.count, 6u);
    }
    {
        // More announced than the buffer holds: the buffer's worth is the reply.
        Pair pair;
        std::vector<std::uint8_t> reply(40, 7);
        reply[4] = 0xFF;
        reply[5] = 0x00;
        pair.send(reply);
        std::array<std::uint8_t, 16> buffer{};
        const auto got =
            protocol::receiveReply(pair.program, buffer, 5000, protocol::needsVersionText);
        EXPECT_TRUE(got.enough);
        EXPECT_EQ(got.count, 16u);
    }
    {
        // The device closes after half a frame: what came is all there is.
        Pair pair;
        pair.send({103, 0, 0, 0, 20, 0, 'v', '1'});
        pair.device.close();
        std::array<std::uint8_t, 32> buffer{};
        const auto got =
            protocol::receiveReply(pair.program, buffer, 500, protocol::needsVersionText);
        EXPECT_TRUE(got.usable());
        EXPECT_EQ(got.count, 8u);
    }
    {
        // Closed at once.
        Pair pair;
        pair.device.close();
        std::array<std::uint8_t, 32> buffer{};
        const auto got = protocol::receiveReply(pair.program, buffer, 500, protocol::needsAnyByte);
        EXPECT_TRUE(got.usable());
        EXPECT_EQ(got.count, 0u);
    }
}

TEST(ReplyReceive, ATrickleCannotStretchTheWait) {
    Pair pair;
    // One byte every 250 ms of a 12-byte reply: the login result (byte 8) comes after 2 s, against
    // a 500 ms allowance that each byte would restart if the wait were per read. The bounds leave
    // a loaded machine a second of slack and still tell the two apart.
    std::atomic<bool> stop{false};
    std::thread device([&] {
        const std::array<std::uint8_t, 12> reply{0, 0, 0, 0, 12, 0, 0, 0, 1};
        for (std::size_t i = 0; i < reply.size() && !stop; ++i) {
            ::send(pair.device.fd(), &reply[i], 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(250ms);
        }
    });
    std::array<std::uint8_t, 64> buffer{};
    const auto start = std::chrono::steady_clock::now();
    const auto got = protocol::receiveReply(pair.program, buffer, 500, protocol::needsLoginResult);
    EXPECT_TRUE(got.unanswered());
    EXPECT_GE(since(start), 450ms);
    EXPECT_LT(since(start), 1500ms);

    // The same for a fixed-size read.
    std::array<std::uint8_t, 32> fixed{};
    const auto again = std::chrono::steady_clock::now();
    const net::Received received = net::receiveFull(pair.program, fixed, 300);
    EXPECT_EQ(received.end, net::ReceiveEnd::TimedOut);
    EXPECT_LT(received.count, fixed.size());
    EXPECT_LT(since(again), 1500ms);
    stop = true;
    device.join();
}

TEST(ReplyReceive, AShutdownFromAnotherThreadEndsTheWait) {
    Pair pair;
    std::thread canceller([&] {
        std::this_thread::sleep_for(100ms);
        pair.program.shutdown();
    });
    std::array<std::uint8_t, 6> answer{};
    const auto start = std::chrono::steady_clock::now();
    const net::Received received = net::receiveFull(pair.program, answer, 5000);
    canceller.join();
    EXPECT_EQ(received.end, net::ReceiveEnd::Closed);
    EXPECT_LT(since(start), 2s);
}
