#include <gtest/gtest.h>

#include "core/net/Connect.h"

using namespace tarvo::net;

TEST(ConnectWithTimeout, EmptyHostFailsAtOnceAndKeepsTheSlot) {
    Socket slot(-1);
    EXPECT_FALSE(connectWithTimeout("", 5505, slot));
    EXPECT_FALSE(slot.valid());
    EXPECT_EQ(resolveIPv4(""), std::nullopt);
    EXPECT_EQ(resolveIPv4("192.168.1.64"), std::optional<std::uint32_t>(0x4001A8C0u));
}
