#include <gtest/gtest.h>

#include <array>

#include "core/protocol/DeviceCommands.h"
#include "core/protocol/VersionRules.h"

using namespace tarvo::protocol;

TEST(VersionRules, MinimumByCameraType) {
    EXPECT_FALSE(meetsMinimumVersion(u"v00.00.21.06"));
    EXPECT_TRUE(meetsMinimumVersion(u"v00.00.22.06"));
    EXPECT_TRUE(meetsMinimumVersion(u"v00.00.23.06"));
    EXPECT_TRUE(meetsMinimumVersion(u"v00.00.01.07"));  // no rule for 07
    EXPECT_FALSE(meetsMinimumVersion(u"v00.00.04.08"));
    EXPECT_TRUE(meetsMinimumVersion(u"v00.00.05.08"));
    EXPECT_FALSE(meetsMinimumVersion(u"v00.00.18.20"));
    EXPECT_TRUE(meetsMinimumVersion(u"v01.00.00.20"));
    EXPECT_EQ(minimumVersionFor(u"v00.00.01.99"), std::nullopt);
}

TEST(VersionRules, ReplyTextIsBoundedByWhatArrived) {
    std::array<std::uint8_t, 18> reply{0x67, 0,   0,   0,   18,  0,   'v', '0', '0',
                                       '.',  '0', '0', '.', '2', '2', '.', '0', '6'};
    EXPECT_EQ(versionFromReply(reply), u"v00.00.22.06");  // no NUL: up to the end
    EXPECT_EQ(versionFromReply(std::span<const std::uint8_t>(reply).first(6)), u"");
    EXPECT_EQ(versionFromReply({}), u"");
    std::array<std::uint8_t, 80> longText{};
    longText.fill('9');
    EXPECT_EQ(versionFromReply(longText), u"");  // 74 units do not fit 64
}
