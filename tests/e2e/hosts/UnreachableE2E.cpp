// Connections to an address on a local network where nobody answers give up within the
// connect wait.
#include <gtest/gtest.h>

#include <chrono>

#include "core/protocol/DeviceCommands.h"
#include "support/RecordingNotifier.h"
#include "support/Sandbox.h"

using namespace tarvo;
using namespace std::chrono_literals;

TEST(UnreachableE2E, LoginAndVersionGiveUpWithinTheConnectWait) {
    const std::string nobody = "10.250.0.99";  // in the device subnet, no host behind it
    test::RecordingNotifier notifier;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(protocol::loginCheck(protocol::makeLoginInfo(nobody, 5505, u"admin", u"", 0, 100))
                     .report(notifier));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6000ms);  // not the system's minutes
    EXPECT_EQ(notifier.texts(), std::vector<std::u16string>{u"Connect to IP camera failed !"});

    notifier.clear();
    std::u16string version;
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(protocol::checkCameraVersion(nobody, 5505, version).report(notifier));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6000ms);  // not the system's minutes
    EXPECT_EQ(notifier.texts(), std::vector<std::u16string>{u"连接摄像机失败"});
}
