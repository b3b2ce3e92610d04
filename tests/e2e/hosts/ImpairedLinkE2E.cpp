// The program across a slow, lossy, reordering link to the device (a relay in front of device
// host 1): discovery, the network settings sequence and the preview. Under loss a search is
// one request and a settings sequence has fixed waits, so neither is sure to succeed; what must
// hold is that a settings sequence either completes with each write arriving once or fails with
// its message and leaves the device as it was. A write lost on the way after the queries were
// answered goes unnoticed (the device acknowledges none), so that outcome is allowed too, as
// long as the device keeps its old values whole.
#include <gtest/gtest.h>

#include <chrono>

#include "support/ImpairedLink.h"
#include "support/LinkProbes.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;
using namespace std::chrono_literals;

namespace {

constexpr const char* kPassword = "pw";

std::unique_ptr<test::SimProcess> cameraInHost1() {
    test::SimOptions options;
    options.host = 1;
    return std::make_unique<test::SimProcess>(nlohmann::json::parse(R"({"devices": [
      {"ip": "10.250.0.11", "type": 100, "name": "far-cam", "password": "pw", "audio": 1,
       "netParams": {"mask": "255.255.255.0", "gateway": "10.250.0.1", "dns": "10.250.0.1",
                     "httpPort": 8080, "reserved": 4660, "opaque": 3405691582},
       "video": {"codec": "h264", "width": 320, "height": 240, "fps": 25, "gop": 25}}]})"),
                                              options);
}

void expectNothingDamaged(const test::SettingsAttempt& a) {
    EXPECT_NE(a.verdict, test::SettingsAttempt::Verdict::Damaged)
        << test::verdictName(a.verdict) << ": " << a.detail << " (stderr: " << a.message << ")";
}

}  // namespace

TEST(ImpairedLinkE2E, DelayWithReorderingStillListsConfiguresAndShowsPictures) {
    test::ImpairedLink link(1, {.delayMs = 50, .jitterMs = 20, .reorder = 10});
    auto sim = cameraInHost1();
    const std::string ip = test::sandboxHostAddress(1);

    EXPECT_EQ(test::searchesUntilListed(ip, 3), 1);

    const auto set = test::netSetAttempt(*sim, ip, kPassword, "10.250.0.53");
    EXPECT_EQ(set.verdict, test::SettingsAttempt::Verdict::Completed)
        << set.detail << " (stderr: " << set.message << ")";

    const auto run = test::previewFor(ip, kPassword, 4s);
    ASSERT_TRUE(run.started);
    EXPECT_GE(run.pictures, 10u);
    EXPECT_EQ(run.decoderFaults, 0u);
    // Jittered frames overtook each other on the way.
    EXPECT_GT(link.stats()["out"]["reordered"].get<int>(), 0);
}

TEST(ImpairedLinkE2E, FivePercentLossListsWithinRepeatsAndNeverHalfWrites) {
    test::ImpairedLink link(1, {.lossIn = 5, .lossOut = 5}, 7);
    auto sim = cameraInHost1();
    const std::string ip = test::sandboxHostAddress(1);

    const int searches = test::searchesUntilListed(ip, 5);
    EXPECT_GE(searches, 1);
    RecordProperty("searches", searches);

    for (const char* dns : {"10.250.0.61", "10.250.0.62"})
        expectNothingDamaged(test::netSetAttempt(*sim, ip, kPassword, dns));

    // TCP carries the stream through the loss.
    const auto run = test::previewFor(ip, kPassword, 4s);
    ASSERT_TRUE(run.started);
    EXPECT_GE(run.pictures, 10u);
    EXPECT_GT(link.stats()["in"]["lost"].get<int>(), 0);
}

TEST(ImpairedLinkE2E, TwentyPercentLossNeverHalfWritesSettings) {
    test::ImpairedLink link(1, {.lossIn = 20, .lossOut = 20}, 11);
    auto sim = cameraInHost1();
    const std::string ip = test::sandboxHostAddress(1);

    EXPECT_GE(test::searchesUntilListed(ip, 8), 1);
    for (const char* dns : {"10.250.0.71", "10.250.0.72", "10.250.0.73", "10.250.0.74"})
        expectNothingDamaged(test::netSetAttempt(*sim, ip, kPassword, dns));
}
