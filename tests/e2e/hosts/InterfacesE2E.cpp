// A computer on several networks at once, as an installer's laptop is: devices on loopback and on
// the device hosts behind the bridge. Every UDP request leaves on the interface that heard its
// device.
#include <gtest/gtest.h>
#include <net/if.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/net/KernelLinks.h"
#include "core/net/NetworkInterfaces.h"
#include "support/RunProcess.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;

namespace {

std::unique_ptr<test::SimProcess> simInHost(int k, const std::string& ip) {
    test::SimOptions options;
    options.host = k;
    nlohmann::json device{{"ip", ip},
                          {"type", 100},
                          {"password", "pw"},
                          {"netParams", {{"mask", "255.255.255.0"}, {"gateway", "10.250.0.1"}}}};
    return std::make_unique<test::SimProcess>(nlohmann::json{{"devices", {device}}}, options);
}

std::unique_ptr<test::SimProcess> loopbackFleet() {
    nlohmann::json devices = nlohmann::json::array();
    for (int i = 11; i <= 15; ++i) {
        devices.push_back({{"ip", "127.0.0." + std::to_string(i)},
                           {"type", 100},
                           {"password", "pw"},
                           {"netParams", {{"mask", "255.0.0.0"}, {"gateway", "127.0.0.1"}}}});
    }
    return std::make_unique<test::SimProcess>(nlohmann::json{{"devices", devices}});
}

test::ProcessResult cli(std::vector<std::string> args) {
    args.insert(args.begin(), TARVO_CLI_PATH);
    return test::runProcess(args);
}

}  // namespace

// The demo's layout: five cameras on loopback and one on each of two hosts. Queries run five at a
// time, each its own program with its own search, so the last reply of a search comes from any
// network. TARVO_QUERY_ROUNDS raises the number of rounds for a soak run.
TEST(InterfacesE2E, SettingsQueriesReachDevicesOnEveryNetwork) {
    auto local = loopbackFleet();
    auto one = simInHost(1, test::sandboxHostAddress(1));
    auto two = simInHost(2, test::sandboxHostAddress(2));
    const std::vector<std::string> targets{"127.0.0.11", "127.0.0.13", test::sandboxHostAddress(1),
                                           "127.0.0.15", test::sandboxHostAddress(2)};
    const char* rounds = std::getenv("TARVO_QUERY_ROUNDS");
    const int count = rounds != nullptr ? std::atoi(rounds) : 10;
    int lost = 0;
    for (int round = 0; round < count; ++round) {
        std::vector<std::future<test::ProcessResult>> running;
        for (const auto& ip : targets) {
            running.push_back(std::async(std::launch::async, [ip] {
                return cli({"--json", "net", "get", ip});
            }));
        }
        for (std::size_t i = 0; i < running.size(); ++i) {
            const auto r = running[i].get();
            if (r.exitCode != 0) {
                ++lost;
                ADD_FAILURE() << targets[i] << ": " << r.err;
            }
        }
    }
    EXPECT_EQ(lost, 0) << "of " << count * static_cast<int>(targets.size());
}

// A laptop wired and wireless to one switch hears each device twice: it is one device, no
// conflict, and either interface carries its settings.
TEST(InterfacesE2E, DeviceHeardOnTwoInterfacesOfOneLinkIsQueriedAndWritten) {
    for (const auto& step : std::vector<std::vector<std::string>>{
             {"ip", "link", "add", "tvx0", "type", "veth", "peer", "name", "tvx0p"},
             {"ip", "link", "set", "tvx0p", "master", "tvbr0"},
             {"ip", "link", "set", "tvx0p", "up"},
             {"ip", "link", "set", "tvx0", "up"},
             {"ip", "addr", "add", "10.250.0.2/24", "dev", "tvx0"}}) {
        ASSERT_EQ(test::runProcess(step).exitCode, 0);
    }
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.250.0.21/24", "dev", "eth0"}), 0);
    auto sim = simInHost(1, test::sandboxHostAddress(1));

    const auto listed = cli({"--json", "discover", "--seconds", "1"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const auto rows = nlohmann::json::parse(listed.out);
    ASSERT_EQ(rows.size(), 1u) << listed.out;
    EXPECT_FALSE(rows[0].contains("conflicts")) << listed.out;

    const auto got = cli({"net", "get", test::sandboxHostAddress(1)});
    EXPECT_EQ(got.exitCode, 0) << got.err;
    const auto set =
        cli({"net", "set", test::sandboxHostAddress(1), "--password", "pw", "--ip", "10.250.0.21"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const auto moved = cli({"--json", "discover", "--seconds", "1"});
    ASSERT_EQ(moved.exitCode, 0) << moved.err;
    EXPECT_EQ(nlohmann::json::parse(moved.out).at(0)["ip"], "10.250.0.21") << moved.out;
}

// 127.0.0.11 on loopback and 10.250.0.11 on a host end in the same two octets, but no frame for
// one reaches the other's network: neither blocks a write to the other. A batch gives addresses
// on the start address's network to the devices of every network (a plan describes the site's
// network, not the computer's), each once.
TEST(InterfacesE2E, OtherNetworksNeitherBlockWritesNorStayOutOfAnAddressPlan) {
    auto local = loopbackFleet();
    auto one = simInHost(1, test::sandboxHostAddress(1));
    const auto set = cli({"net", "set", "127.0.0.11", "--password", "pw", "--dns", "127.0.0.53"});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(local->device("127.0.0.11")["netParams"]["dns"], "127.0.0.53");

    const auto plan = cli({"--json", "net", "assign", "--all", "--dry-run", "--start",
                           "127.0.0.100", "--mask", "255.0.0.0", "--password", "pw"});
    std::map<std::string, nlohmann::json> byIp;
    for (const auto& a : nlohmann::json::parse(plan.out)) byIp[a["ip"]] = a;
    ASSERT_EQ(byIp.size(), 6u) << plan.out;
    std::set<std::string> given;
    for (const auto& [ip, a] : byIp) {
        EXPECT_TRUE(a["ok"]) << ip << ": " << plan.out;
        given.insert(a.value("newIp", ""));
    }
    EXPECT_EQ(given, (std::set<std::string>{"127.0.0.100", "127.0.0.101", "127.0.0.102",
                                            "127.0.0.103", "127.0.0.104", "127.0.0.105"}))
        << plan.out;
}

// The kernel's link list, as the search's diagnosis and the simulator's guard against real
// networks read it: the sandbox's bridge, its veth ports (each a port of the bridge) and the
// loopback, which is neither.
TEST(InterfacesE2E, KernelLinksNameKindsAndMasters) {
    std::vector<net::KernelLink> links;
    std::string error;
    ASSERT_TRUE(net::kernelLinks(links, error)) << error;
    std::map<std::string, net::KernelLink> byName;
    for (const auto& link : links) byName[link.name] = link;
    ASSERT_TRUE(byName.contains("lo"));
    EXPECT_TRUE(byName["lo"].kind.empty());
    EXPECT_NE(byName["lo"].flags & IFF_LOOPBACK, 0u);
    const auto bridge =
        std::find_if(links.begin(), links.end(), [](const auto& l) { return l.kind == "bridge"; });
    ASSERT_NE(bridge, links.end());
    int ports = 0;
    for (const auto& state : net::interfaceStates()) {
        if (state.kind != "veth") continue;
        EXPECT_EQ(state.master, bridge->index) << state.name;
        ++ports;
    }
    EXPECT_GE(ports, 2);
}
