// Changing a device's address through the network settings: the next search lists it at the
// new address with the same MAC.
#include <gtest/gtest.h>

#include <map>

#include "support/RunProcess.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;

TEST(NetworkMoveE2E, DeviceMovesAndKeepsItsMac) {
    // The camera's host already answers on the new address, as the camera will after the change.
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.250.0.21/24", "dev", "eth0"}), 0);
    test::SimOptions options;
    options.host = 1;
    test::SimProcess sim(
        nlohmann::json::parse(R"({"devices": [{"ip": "10.250.0.11", "type": 100, "password": "pw",
        "netParams": {"mask": "255.255.255.0", "gateway": "10.250.0.1"}}]})"),
        options);
    auto discover = [] {
        const auto r = test::runProcess({TARVO_CLI_PATH, "discover", "--seconds", "1", "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::map<std::string, std::string> macs;
        for (const auto& row : nlohmann::json::parse(r.out)) macs[row["ip"]] = row["mac"];
        return macs;
    };
    const auto before = discover();
    ASSERT_EQ(before.count("10.250.0.11"), 1u);

    const auto r = test::runProcess(
        {TARVO_CLI_PATH, "net", "set", "10.250.0.11", "--password", "pw", "--ip", "10.250.0.21"});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const auto after = discover();
    EXPECT_EQ(after.count("10.250.0.11"), 0u);
    ASSERT_EQ(after.count("10.250.0.21"), 1u);
    EXPECT_EQ(after.at("10.250.0.21"), before.at("10.250.0.11"));
}

// A batch gives each device the next free address past one that answers; the device that takes
// the write but stays where it was is reported failed, from the search afterwards.
TEST(NetworkMoveE2E, AssignGivesFreeAddressesAndCatchesADeviceThatDidNotMove) {
    for (const char* a : {"10.250.0.31/24", "10.250.0.32/24", "10.250.0.40/24", "10.250.0.41/24",
                          "10.250.0.42/24"}) {
        ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", a, "dev", "eth0"}), 0);
    }
    test::SimOptions options;
    options.host = 1;
    test::SimProcess sim(nlohmann::json::parse(R"({"devices": [
        {"ip": "10.250.0.31", "type": 100, "password": "pw", "netParams": {"mask": "255.255.255.0", "gateway": "10.250.0.1"}},
        {"ip": "10.250.0.32", "type": 100, "password": "pw", "stayOnMove": true,
         "netParams": {"mask": "255.255.255.0", "gateway": "10.250.0.1"}},
        {"ip": "10.250.0.40", "type": 181}]})"),
                         options);
    const auto r =
        test::runProcess({TARVO_CLI_PATH, "--json", "net", "assign", "--start", "10.250.0.40",
                          "--password", "pw", "10.250.0.31", "10.250.0.32"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto result = nlohmann::json::parse(r.out);
    ASSERT_EQ(result.size(), 2u) << r.out;
    EXPECT_EQ(result[0]["newIp"], "10.250.0.41");
    EXPECT_TRUE(result[0]["ok"]) << r.out;
    EXPECT_EQ(result[1]["newIp"], "10.250.0.42");
    EXPECT_FALSE(result[1]["ok"]) << r.out;
}

// A batch one of whose devices did not answer cannot be carried out completely: nothing is sent
// to the others either, and the row says why.
TEST(NetworkMoveE2E, AssignSendsNothingWhenThePlanCannotBeCompleted) {
    test::SimOptions options;
    options.host = 1;
    test::SimProcess sim(nlohmann::json::parse(R"({"devices": [
        {"ip": "10.250.0.11", "type": 100, "password": "pw", "netParams": {"mask": "255.255.255.0", "gateway": "10.250.0.1"}}]})"),
                         options);
    const auto r =
        test::runProcess({TARVO_CLI_PATH, "--json", "net", "assign", "--start", "10.250.0.40",
                          "--password", "pw", "10.250.0.11", "10.250.0.99"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto result = nlohmann::json::parse(r.out);
    ASSERT_EQ(result.size(), 2u) << r.out;
    EXPECT_FALSE(result[1]["ok"]) << r.out;
    const nlohmann::json device = sim.device("10.250.0.11");
    for (const auto& f : device["received"]) EXPECT_EQ(f["command"], 10) << f;  // searches only
}
