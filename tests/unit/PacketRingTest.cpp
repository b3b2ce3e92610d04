// The packet ring's assembler: packets cut anywhere by the network come out whole, one per
// slot, in order; the receiver waits for the decoder instead of overwriting a waiting packet.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "core/preview/PacketRing.h"
#include "support/Wait.h"

using tarvo::preview::PacketRing;
using tarvo::test::waitUntil;
using namespace std::chrono_literals;

namespace {

std::vector<std::uint8_t> packet(std::uint8_t type, std::uint32_t length, std::uint8_t fill) {
    std::vector<std::uint8_t> p(18 + length, fill);
    std::fill(p.begin(), p.begin() + 18, 0);
    p[0] = type;
    for (int i = 0; i < 4; ++i) p[6 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    return p;
}

// Puts `bytes` into the ring as the receive thread would, in reads of at most `step` bytes.
PacketRing::Result feed(PacketRing& ring, const std::vector<std::uint8_t>& bytes,
                        std::size_t step = PacketRing::kReadSize) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        auto space = ring.receiveSpace();
        const std::size_t n = std::min({step, space.size(), bytes.size() - at});
        std::memcpy(space.data(), bytes.data() + at, n);
        at += n;
        const auto result = ring.commit(n);
        if (result != PacketRing::Result::Ok) return result;
    }
    return PacketRing::Result::Ok;
}

std::vector<std::uint8_t> takePacket(PacketRing& ring) {
    const std::uint8_t* p = ring.peekPacket();
    if (p == nullptr) return {};
    const std::uint32_t length = tarvo::preview::packetPayloadLength(p);
    std::vector<std::uint8_t> out(p, p + 18 + length);
    ring.release();
    return out;
}

// Joins `thread` once `finished` holds. A wait nothing woke would hold the run for ever: after
// five seconds the test fails and `unstick` wakes the thread another way.
void joinWithin(std::thread& thread, const std::atomic<bool>& finished,
                const std::function<void()>& unstick) {
    if (!waitUntil([&] { return finished.load(); })) {
        ADD_FAILURE() << "a thread still waits after five seconds";
        unstick();
    }
    thread.join();
}

std::vector<std::uint8_t> join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

TEST(PacketRing, ReadEndingExactlyAtPacketEndMovesOnWithFillZero) {
    auto ring = std::make_unique<PacketRing>();
    const auto p = packet(0, 100, 0x11);
    EXPECT_EQ(feed(*ring, p), PacketRing::Result::Ok);
    EXPECT_EQ(ring->filled(), 1);
    EXPECT_EQ(ring->writeSlot(), 1u);
    EXPECT_EQ(ring->fill(), 0u);
    EXPECT_EQ(takePacket(*ring), p);
}

TEST(PacketRing, SurplusOfAReadStartsTheNextSlot) {
    auto ring = std::make_unique<PacketRing>();
    const auto a = packet(0, 50, 0xA1);
    const auto b = packet(1, 40, 0xB2);
    const auto both = join({a, b});
    // One read with all of a and the first 30 bytes of b, then the rest.
    std::vector<std::uint8_t> first(both.begin(), both.begin() + static_cast<long>(a.size() + 30));
    std::vector<std::uint8_t> rest(both.begin() + static_cast<long>(a.size() + 30), both.end());
    EXPECT_EQ(feed(*ring, first), PacketRing::Result::Ok);
    EXPECT_EQ(ring->filled(), 1);
    EXPECT_EQ(ring->fill(), 30u);
    EXPECT_EQ(0, std::memcmp(ring->slot(1), b.data(), 30));
    EXPECT_EQ(feed(*ring, rest), PacketRing::Result::Ok);
    EXPECT_EQ(ring->filled(), 2);
    EXPECT_EQ(takePacket(*ring), a);
    EXPECT_EQ(takePacket(*ring), b);
}

TEST(PacketRing, SeveralWholePacketsInOneReadOnePerSlotInOrder) {
    auto ring = std::make_unique<PacketRing>();
    const auto a = packet(0, 10, 1);
    const auto b = packet(1, 20, 2);
    const auto c = packet(0, 30, 3);
    EXPECT_EQ(feed(*ring, join({a, b, c})), PacketRing::Result::Ok);
    EXPECT_EQ(ring->filled(), 3);
    EXPECT_EQ(ring->fill(), 0u);
    EXPECT_EQ(takePacket(*ring), a);
    EXPECT_EQ(takePacket(*ring), b);
    EXPECT_EQ(takePacket(*ring), c);
    EXPECT_TRUE(takePacket(*ring).empty());
}

TEST(PacketRing, EmptyPayloadCompletesOnlyWithOneMoreByte) {
    auto ring = std::make_unique<PacketRing>();
    const auto empty = packet(1, 0, 0);
    EXPECT_EQ(feed(*ring, empty), PacketRing::Result::Ok);
    EXPECT_EQ(ring->filled(), 0);  // 18 bytes are not yet more than a header
    const auto next = packet(0, 5, 9);
    EXPECT_EQ(feed(*ring, {next[0]}), PacketRing::Result::Ok);
    EXPECT_EQ(ring->filled(), 1);
    EXPECT_EQ(ring->fill(), 1u);
    EXPECT_EQ(feed(*ring, std::vector<std::uint8_t>(next.begin() + 1, next.end())),
              PacketRing::Result::Ok);
    EXPECT_EQ(takePacket(*ring), empty);
    EXPECT_EQ(takePacket(*ring), next);
}

TEST(PacketRing, PacketsCutAtEveryByteComeOutWhole) {
    auto ring = std::make_unique<PacketRing>();
    std::vector<std::vector<std::uint8_t>> sent;
    for (std::uint32_t i = 0; i < 9; ++i)
        sent.push_back(packet(i % 2, i * 7, static_cast<std::uint8_t>(i)));
    std::vector<std::uint8_t> all;
    for (const auto& p : sent) all.insert(all.end(), p.begin(), p.end());
    for (std::size_t step : {1u, 3u, 17u, 18u, 19u, 2000u}) {
        ring->reset();
        ASSERT_EQ(feed(*ring, all, step), PacketRing::Result::Ok) << step;
        for (const auto& p : sent) ASSERT_EQ(takePacket(*ring), p) << "step " << step;
    }
}

TEST(PacketRing, LargePacketsFillTheirSlot) {
    auto ring = std::make_unique<PacketRing>();
    const auto big = packet(0, PacketRing::kMaxPayload, 0x5A);
    EXPECT_EQ(feed(*ring, big), PacketRing::Result::Ok);
    EXPECT_EQ(ring->filled(), 1);
    EXPECT_EQ(takePacket(*ring), big);
}

TEST(PacketRing, OversizeLengthIsRefusedBeforeAnythingIsWrittenPastTheSlot) {
    auto ring = std::make_unique<PacketRing>();
    auto bad = packet(0, 0, 0);
    const std::uint32_t length = PacketRing::kMaxPayload + 1;
    for (int i = 0; i < 4; ++i) bad[6 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    // Known as soon as the length field is in.
    EXPECT_EQ(feed(*ring, std::vector<std::uint8_t>(bad.begin(), bad.begin() + 10)),
              PacketRing::Result::Oversize);
}

TEST(PacketRing, FullRingWaitsForTheDecoderThenResumes) {
    auto ring = std::make_unique<PacketRing>();
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < 12; ++i) {
        const auto p = packet(0, 100, static_cast<std::uint8_t>(i));
        stream.insert(stream.end(), p.begin(), p.end());
    }
    std::atomic<bool> done{false};
    PacketRing::Result result = PacketRing::Result::Closed;
    std::thread receiver([&] {
        result = feed(*ring, stream);
        done = true;
    });
    // Ten packets fill the ring; the eleventh waits and its bytes go nowhere yet.
    EXPECT_TRUE(waitUntil([&] { return ring->filled() == 10; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ring->filled(), 10);
    EXPECT_FALSE(done.load());
    // In order, the first not overwritten by the ones after it.
    for (int i = 0; i < 12; ++i) {
        const std::uint8_t* p = nullptr;
        if (!waitUntil([&] { return (p = ring->peekPacket()) != nullptr; })) {
            ADD_FAILURE() << "packet " << i << " never came";
            break;
        }
        EXPECT_EQ(p[18], i);
        ring->release();
    }
    joinWithin(receiver, done, [&] { ring->close(); });
    EXPECT_EQ(result, PacketRing::Result::Ok);
}

TEST(PacketRing, CloseWakesBothSides) {
    auto ring = std::make_unique<PacketRing>();
    std::atomic<bool> woken{false};
    const std::uint8_t* got = nullptr;
    std::thread decoder([&] {
        got = ring->waitPacket();
        woken = true;
    });
    std::this_thread::sleep_for(20ms);
    ring->close();
    joinWithin(decoder, woken, [&] { feed(*ring, packet(0, 1, 0)); });
    EXPECT_EQ(got, nullptr);

    auto full = std::make_unique<PacketRing>();
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < 11; ++i) {
        const auto p = packet(0, 1, 0);
        stream.insert(stream.end(), p.begin(), p.end());
    }
    std::atomic<bool> returned{false};
    PacketRing::Result result = PacketRing::Result::Ok;
    std::thread receiver([&] {
        result = feed(*full, stream);
        returned = true;
    });
    EXPECT_TRUE(waitUntil([&] { return full->filled() == 10; }));
    full->close();
    joinWithin(receiver, returned, [&] { full->release(); });
    EXPECT_EQ(result, PacketRing::Result::Closed);
}
