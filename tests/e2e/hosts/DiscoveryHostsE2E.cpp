// Discovery across the sandbox's device hosts: real MACs, several addresses on one network,
// and devices whose MAC cannot be resolved.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/text/TextConvert.h"
#include "support/RecordingNotifier.h"
#include "support/RunProcess.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

using namespace tarvo;
using namespace tarvo::discovery;
using namespace std::chrono_literals;

namespace {

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::unique_ptr<test::SimProcess> simInHost(int k, int type, const std::string& extra = "") {
    nlohmann::json device = nlohmann::json::parse(extra.empty() ? "{}" : extra);
    device["ip"] = test::sandboxHostAddress(k);
    device["type"] = type;
    if (!device.contains("name")) device["name"] = "host" + std::to_string(k);
    test::SimOptions options;
    options.host = k;
    return std::make_unique<test::SimProcess>(nlohmann::json{{"devices", {device}}}, options);
}

int countDiscoveryRequests(const test::SimProcess& sim, const std::string& ip) {
    const nlohmann::json device = sim.device(ip);
    int count = 0;
    for (const auto& f : device["received"]) count += f["command"] == 10 ? 1 : 0;
    return count;
}

struct Discovery {
    Discovery() : engine(table, resolver, notifier) {}
    DeviceTable table;
    net::SystemMacResolver resolver;
    test::RecordingNotifier notifier;
    DiscoveryEngine engine;
};

}  // namespace

TEST(DiscoveryHostsE2E, DevicesOnHostsAreListedWithTheirMacs) {
    auto one = simInHost(1, 100);
    auto two = simInHost(2, 181);
    Discovery d;
    d.engine.openInterfaces();
    d.engine.startSearch();
    ASSERT_TRUE(test::waitUntil([&] { return d.table.rowCount() == 2; }));
    for (int k = 1; k <= 2; ++k) {
        const int row = d.table.findRow(kColAddress, text::fromUtf8(test::sandboxHostAddress(k)));
        ASSERT_GE(row, 0);
        EXPECT_EQ(text::toUtf8(d.table.text(row, kColMac)), upper(test::sandboxHostMac(k)));
        EXPECT_TRUE(d.table.row(row).sameNetwork);
    }
}

TEST(DiscoveryHostsE2E, TwoAddressesOnOneNetworkSendTwoRequestsAndListOnce) {
    ASSERT_EQ(test::runProcess({"ip", "addr", "add", "10.250.0.2/24", "dev", "tvbr0"}).exitCode, 0);
    auto one = simInHost(1, 100);
    Discovery d;
    const int opened = d.engine.openInterfaces();
    EXPECT_EQ(opened, 3);  // lo and both bridge addresses
    one->clear(true);
    d.engine.startSearch();
    ASSERT_TRUE(test::waitUntil([&] { return d.table.rowCount() == 1; }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(d.table.rowCount(), 1);
    EXPECT_EQ(countDiscoveryRequests(*one, test::sandboxHostAddress(1)), 2);
}

TEST(DiscoveryHostsE2E, UnresolvableSendersDoNotHoldBackTheRealDevice) {
    // Without CAP_NET_RAW every sender needs the neighbour table: twenty spoofed senders on
    // another subnet (no ARP answer ever) reply before the real camera does.
    ASSERT_EQ(test::runInHost(2, {"ip", "route", "add", "local", "10.250.1.0/24", "dev", "lo"}), 0);
    test::SimOptions options;
    options.host = 2;
    options.extraArgs = {"--flood", "rate=200,durationMs=150,sources=20,base=10.250.1.1"};
    test::SimProcess spoofer(
        nlohmann::json::parse(R"({"devices": [{"ip": "10.250.0.12", "type": 100}]})"), options);
    auto real = simInHost(1, 100, R"({"replyDelayMs": 400})");
    const auto r = test::runProcess({"setpriv", "--inh-caps=-all", "--bounding-set=-net_raw",
                                     TARVO_CLI_PATH, "discover", "--seconds", "4", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> macs;
    for (const auto& row : nlohmann::json::parse(r.out)) macs[row["ip"]] = row["mac"];
    EXPECT_EQ(macs.count(test::sandboxHostAddress(1)), 1u) << r.out;
    EXPECT_EQ(macs.size(), 22u) << r.out;
    EXPECT_EQ(macs["10.250.1.1"], "");
}

TEST(DiscoveryHostsE2E, DeviceOnAnotherSubnetIsListedMarkedAndMovedIn) {
    // A camera still on its factory address in another subnet of the same cable. The host
    // already holds the address the camera is moved to, as the camera will after the change.
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.251.1.108/24", "dev", "eth0"}), 0);
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.250.0.31/24", "dev", "eth0"}), 0);
    test::SimOptions options;
    options.host = 1;
    test::SimProcess sim(nlohmann::json::parse(R"({"devices": [{"ip": "10.251.1.108", "type": 100,
        "password": "pw", "netParams": {"mask": "255.255.255.0", "gateway": "10.251.1.1"}}]})"),
                         options);
    auto discover = [](std::vector<std::string> prefix = {}) {
        prefix.insert(prefix.end(), {TARVO_CLI_PATH, "discover", "--seconds", "1", "--json"});
        const auto r = test::runProcess(prefix);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::map<std::string, nlohmann::json> byIp;
        for (const auto& row : nlohmann::json::parse(r.out)) byIp[row["ip"]] = row;
        return byIp;
    };
    auto rows = discover();
    ASSERT_EQ(rows.count("10.251.1.108"), 1u);
    EXPECT_EQ(rows["10.251.1.108"]["mac"], upper(test::sandboxHostMac(1)));
    EXPECT_EQ(rows["10.251.1.108"]["sameNetwork"], false);
    rows = discover({"setpriv", "--inh-caps=-all", "--bounding-set=-net_raw"});
    ASSERT_EQ(rows.count("10.251.1.108"), 1u);
    EXPECT_EQ(rows["10.251.1.108"]["mac"], "");

    const auto r = test::runProcess({TARVO_CLI_PATH, "net", "set", "10.251.1.108", "--password",
                                     "pw", "--ip", "10.250.0.31", "--gateway", "10.250.0.1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    rows = discover();
    EXPECT_EQ(rows.count("10.251.1.108"), 0u);
    ASSERT_EQ(rows.count("10.250.0.31"), 1u);
    EXPECT_EQ(rows["10.250.0.31"]["sameNetwork"], true);
    EXPECT_EQ(rows["10.250.0.31"]["mac"], upper(test::sandboxHostMac(1)));
    // Without the capability the neighbour table learns it in its subnet, shortly after listing.
    rows = discover({"setpriv", "--inh-caps=-all", "--bounding-set=-net_raw"});
    EXPECT_EQ(rows["10.250.0.31"]["mac"], upper(test::sandboxHostMac(1)));
}

TEST(DiscoveryHostsE2E, DevicesSharingOneAddressAreAConflictAndTakeNoWrite) {
    for (int k = 1; k <= 2; ++k)
        ASSERT_EQ(test::runInHost(k, {"ip", "addr", "add", "10.250.0.50/24", "dev", "eth0"}), 0);
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    for (int k = 1; k <= 2; ++k) {
        test::SimOptions options;
        options.host = k;
        sims.push_back(std::make_unique<test::SimProcess>(
            nlohmann::json::parse(
                R"({"devices": [{"ip": "10.250.0.50", "type": 100, "password": "pw"}]})"),
            options));
    }
    const auto d = test::runProcess({TARVO_CLI_PATH, "discover", "--seconds", "1", "--json"});
    ASSERT_EQ(d.exitCode, 0) << d.err;
    const auto rows = nlohmann::json::parse(d.out);
    ASSERT_EQ(rows.size(), 1u) << d.out;
    std::set<std::string> conflicts;
    for (const auto& mac : rows[0]["conflicts"]) conflicts.insert(mac);
    EXPECT_EQ(conflicts, (std::set<std::string>{upper(test::sandboxHostMac(1)),
                                                upper(test::sandboxHostMac(2))}));

    const auto set = test::runProcess(
        {TARVO_CLI_PATH, "net", "set", "10.250.0.50", "--password", "pw", "--dns", "10.250.0.9"});
    EXPECT_NE(set.exitCode, 0);
    EXPECT_NE(set.err.find(upper(test::sandboxHostMac(2))), std::string::npos) << set.err;
    const auto get = test::runProcess({TARVO_CLI_PATH, "net", "get", "10.250.0.50"});
    EXPECT_NE(get.err.find(upper(test::sandboxHostMac(1))), std::string::npos) << get.err;
    for (const auto& sim : sims) {
        const nlohmann::json device = sim->device("10.250.0.50");  // outlives the loop
        for (const auto& f : device["received"]) EXPECT_NE(f["command"], 106);
    }
}
