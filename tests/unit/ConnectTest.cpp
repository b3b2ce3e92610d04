#include <gtest/gtest.h>

#include <sys/socket.h>

#include "core/net/Connect.h"

using namespace tarvo::net;

TEST(ConnectWithTimeout, EmptyHostFailsAtOnceAndKeepsTheSlot) {
    // The slot holds a socket of an earlier operation: an empty host must leave it open.
    Socket slot(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int held = slot.fd();
    ASSERT_GE(held, 0);
    EXPECT_FALSE(connectWithTimeout("", 5505, slot));
    EXPECT_EQ(slot.fd(), held);
    EXPECT_EQ(resolveIPv4(""), std::nullopt);
    EXPECT_EQ(resolveIPv4("192.168.1.64"), std::optional<std::uint32_t>(0x4001A8C0u));
}
