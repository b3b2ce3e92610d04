// What the MAC helper reads from a frame its socket took, and the records it passes the
// programs: a discovery reply's own frame gives its interface, source MAC and IPv4 source;
// anything else, however cut or bent, gives nothing and reads no byte past the frame.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/net/ReplyFrame.h"

using namespace tarvo::net;

namespace {

constexpr std::array<std::uint8_t, 6> kDeviceMac{0x02, 0x00, 0x0a, 0xfa, 0x00, 0x0b};

// An Ethernet frame of a UDP datagram from 10.251.1.108:5250 to the group's port, with
// `optionWords` words of IPv4 options and the payload's first byte `command`.
std::vector<std::uint8_t> replyFrame(std::uint8_t command = 100, int optionWords = 0) {
    std::vector<std::uint8_t> f;
    auto add = [&f](std::initializer_list<int> bytes) {
        for (int b : bytes) f.push_back(static_cast<std::uint8_t>(b));
    };
    add({0x01, 0x00, 0x5e, 0x00, 0x00, 0x01});  // to the group's MAC
    for (auto b : kDeviceMac) f.push_back(b);
    add({0x08, 0x00});
    add({0x40 | (5 + optionWords),
         0,
         0,
         60,
         0x12,
         0x34,
         0x40,
         0,
         64,
         17,
         0,
         0,
         10,
         251,
         1,
         108,
         233,
         0,
         0,
         1});
    for (int i = 0; i < optionWords * 4; ++i) f.push_back(1);  // no-op options
    add({0x14, 0x82, 0x14, 0x82, 0, 32, 0, 0, command, 0, 0, 0});
    return f;
}

std::uint32_t addressBytes(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    std::uint32_t out = 0;
    const std::array<std::uint8_t, 4> bytes{a, b, c, d};
    std::memcpy(&out, bytes.data(), sizeof out);
    return out;
}

}  // namespace

TEST(ReplyFrameTest, AReplyGivesItsInterfaceSourceMacAndSender) {
    for (int optionWords : {0, 10}) {  // the longest IPv4 header still fits what the socket keeps
        const auto frame = replyFrame(100, optionWords);
        ASSERT_LE(frame.size() - 3, kReplyFrameKept);
        const auto read = readReplyFrame(frame, 7);
        ASSERT_TRUE(read.has_value()) << optionWords;
        EXPECT_EQ(read->interfaceIndex, 7u);
        EXPECT_EQ(read->mac, kDeviceMac);
        EXPECT_EQ(read->sender, addressBytes(10, 251, 1, 108));
    }
}

TEST(ReplyFrameTest, OtherFramesGiveNothing) {
    auto request = replyFrame(10);  // a search request, not a reply
    EXPECT_FALSE(readReplyFrame(request, 7));
    auto otherPort = replyFrame();
    otherPort[37] = 0x83;  // to 5251
    EXPECT_FALSE(readReplyFrame(otherPort, 7));
    auto tcp = replyFrame();
    tcp[23] = 6;
    EXPECT_FALSE(readReplyFrame(tcp, 7));
    auto fragment = replyFrame();
    fragment[21] = 0x08;  // a later piece: its first bytes are no UDP header
    EXPECT_FALSE(readReplyFrame(fragment, 7));
    auto vlan = replyFrame();
    vlan[12] = 0x81;
    EXPECT_FALSE(readReplyFrame(vlan, 7));
    auto ipv6 = replyFrame();
    ipv6[14] = 0x65;
    EXPECT_FALSE(readReplyFrame(ipv6, 7));
    auto shortHeader = replyFrame();
    shortHeader[14] = 0x44;  // a header length below the minimum
    EXPECT_FALSE(readReplyFrame(shortHeader, 7));
    EXPECT_FALSE(readReplyFrame(replyFrame(), 0));  // no interface
}

TEST(ReplyFrameTest, AFrameCutAnywhereBeforeTheCommandGivesNothing) {
    for (int optionWords : {0, 10}) {
        const auto frame = replyFrame(100, optionWords);
        const std::size_t command = 14 + static_cast<std::size_t>(5 + optionWords) * 4 + 8;
        for (std::size_t size = 0; size <= command; ++size) {
            // A copy of exactly `size` bytes: the sanitizers see a read past it.
            const std::vector<std::uint8_t> cut(frame.begin(),
                                                frame.begin() + static_cast<std::ptrdiff_t>(size));
            EXPECT_FALSE(readReplyFrame(cut, 7)) << size;
        }
        const std::vector<std::uint8_t> whole(
            frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(command + 1));
        EXPECT_TRUE(readReplyFrame(whole, 7));
    }
}

TEST(ReplyFrameTest, RecordsCarryTheFrameAndBentRecordsAreRefused) {
    const ReplyFrame frame{0x01020304, kDeviceMac, addressBytes(10, 251, 1, 108)};
    const ReplyRecord record = frameRecord(frame);
    EXPECT_EQ(readFrameRecord(record), frame);
    EXPECT_FALSE(isReadyRecord(record));
    EXPECT_FALSE(readSyncRecord(record));
    EXPECT_TRUE(isReadyRecord(readyRecord()));
    EXPECT_FALSE(readFrameRecord(readyRecord()));
    EXPECT_EQ(readSyncRecord(syncRecord(0xfffffffe)), 0xfffffffeu);
    EXPECT_FALSE(readFrameRecord(syncRecord(3)));
    for (std::size_t at : {1u, 2u, 3u, 14u, 15u}) {  // the bytes that must stay zero
        ReplyRecord bent = record;
        bent[at] = 1;
        EXPECT_FALSE(readFrameRecord(bent)) << at;
    }
    ReplyRecord noInterface = frameRecord(ReplyFrame{0, kDeviceMac, 1});
    EXPECT_FALSE(readFrameRecord(noInterface));
    ReplyRecord readyWithMore = readyRecord();
    readyWithMore[19] = 1;
    EXPECT_FALSE(isReadyRecord(readyWithMore));
    ReplyRecord syncWithMore = syncRecord(1);
    syncWithMore[10] = 1;
    EXPECT_FALSE(readSyncRecord(syncWithMore));
}
