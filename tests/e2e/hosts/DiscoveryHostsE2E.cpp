// Discovery across the sandbox's device hosts: real MACs, several addresses on one network,
// and devices whose MAC cannot be resolved.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
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
    DeviceTable table{kColumnCount};
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

TEST(DiscoveryHostsE2E, UnresolvableMacIsSkippedAndCounted) {
    // Host 2 stops answering address resolution; its replies still arrive by multicast.
    ASSERT_EQ(test::runInHost(2, {"ip", "link", "set", "eth0", "arp", "off"}), 0);
    auto silentArp = simInHost(2, 100);
    auto late = simInHost(1, 100, R"({"replyDelayMs": 1500})");
    Discovery d;
    d.engine.openInterfaces();
    d.engine.startSearch();
    ASSERT_TRUE(test::waitUntil([&] { return d.table.rowCount() == 1; }, 5s));
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(d.table.rowCount(), 1);
    EXPECT_EQ(text::toUtf8(d.table.text(0, kColAddress)), test::sandboxHostAddress(1));
    EXPECT_EQ(d.table.text(0, kColSeq), u"2");
}

TEST(DiscoveryHostsE2E, DeviceOutsideTheInterfaceSubnetIsMarked) {
    // A camera still on its factory address in another subnet of the same cable; an on-link
    // route lets the computer resolve it.
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.251.0.5/24", "dev", "eth0"}), 0);
    ASSERT_EQ(test::runProcess({"ip", "route", "add", "10.251.0.0/24", "dev", "tvbr0"}).exitCode, 0);
    test::SimOptions options;
    options.host = 1;
    test::SimProcess sim(nlohmann::json::parse(R"({"devices": [
      {"ip": "10.250.0.11", "type": 100, "name": "home"},
      {"ip": "10.251.0.5", "type": 100, "name": "factory"}]})"),
                         options);
    const auto r = test::runProcess({TARVO_CLI_PATH, "discover", "--seconds", "1", "--json", "--interface", "tvbr0"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, nlohmann::json> byIp;
    for (const auto& row : nlohmann::json::parse(r.out)) byIp[row["ip"]] = row;
    ASSERT_EQ(byIp.size(), 2u) << r.out;
    EXPECT_EQ(byIp["10.250.0.11"]["sameNetwork"], true);
    EXPECT_EQ(byIp["10.251.0.5"]["sameNetwork"], false);
    EXPECT_EQ(byIp["10.251.0.5"]["mac"], upper(test::sandboxHostMac(1)));
}
