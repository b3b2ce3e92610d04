// Why a device does not show up: what a search met on each interface, as discover --diagnose
// tells it.
#include <gtest/gtest.h>

#include <string>

#include "support/RunProcess.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;

namespace {

nlohmann::json interfaceNamed(const nlohmann::json& diagnosis, const std::string& name) {
    for (const auto& each : diagnosis["interfaces"]) {
        if (each["name"] == name) return each;
    }
    ADD_FAILURE() << name << " not in " << diagnosis.dump();
    return nlohmann::json::object();
}

}  // namespace

// Host 1 holds a camera in the bridge's subnet and one on its factory address in another subnet;
// host 2 a camera whose reply carries no type code, and a spoofer that answers every search with
// network records nobody asked for. Each lands under its reason on the bridge, none on loopback.
TEST(DiagnoseE2E, DroppedRepliesAreCountedUnderTheirReasonOnTheirInterface) {
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.251.1.108/24", "dev", "eth0"}), 0);
    test::SimOptions first;
    first.host = 1;
    test::SimProcess cameras(nlohmann::json{{"devices",
                                             {{{"ip", test::sandboxHostAddress(1)}, {"type", 100}},
                                              {{"ip", "10.251.1.108"}, {"type", 100}}}}},
                             first);
    test::SimOptions second;
    second.host = 2;
    second.extraArgs = {"--flood", "command=180,rate=40,durationMs=100,sources=1,base=" +
                                       test::sandboxHostAddress(2)};
    test::SimProcess odd(
        nlohmann::json{
            {"devices",
             {{{"ip", test::sandboxHostAddress(2)}, {"type", 100}, {"replyShape", "stub"}}}}},
        second);

    const auto r =
        test::runProcess({TARVO_CLI_PATH, "--json", "discover", "--seconds", "1.5", "--diagnose"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto result = nlohmann::json::parse(r.out);
    ASSERT_EQ(result["devices"].size(), 2u) << r.out;
    const auto& diagnosis = result["diagnosis"];

    const auto bridge = interfaceNamed(diagnosis, "tvbr0");
    EXPECT_EQ(bridge["requestsSent"], 1) << r.out;
    EXPECT_EQ(bridge["rows"], 2) << r.out;
    EXPECT_EQ(bridge["otherSubnetRows"], 1) << r.out;
    EXPECT_EQ(bridge["conflicts"], 0) << r.out;
    EXPECT_EQ(bridge["dropped"]["malformed"], 1) << r.out;
    // The spoofer's burst starts with the search; how much of it lands inside the listening
    // time depends on how busy the machine is (UDP may drop some too), but each that lands is
    // counted, and nothing else is taken for it.
    const int unasked = bridge["dropped"]["notAsked"];
    EXPECT_GE(unasked, 1) << r.out;
    EXPECT_LE(unasked, odd.command("flood")["flood"]["generated"].get<int>()) << r.out;
    EXPECT_EQ(bridge["dropped"]["overRowCap"], 0) << r.out;
    EXPECT_EQ(bridge["replies"], 3 + unasked) << r.out;

    const auto loopback = interfaceNamed(diagnosis, "lo");
    EXPECT_EQ(loopback["replies"], 0) << r.out;
    EXPECT_EQ(loopback["rows"], 0) << r.out;
    EXPECT_EQ(diagnosis["dropped"], 1 + unasked) << r.out;
}
