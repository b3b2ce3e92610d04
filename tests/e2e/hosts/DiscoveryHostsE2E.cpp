// Discovery across the sandbox's device hosts: real MACs, several addresses on one network,
// and devices whose MAC cannot be resolved.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/text/TextConvert.h"
#include "support/ProcessSockets.h"
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

// A program running on a thread of the test, with its pid (written by the shell it replaces).
class Started {
public:
    explicit Started(const std::vector<std::string>& argv) {
        static int count = 0;
        pidFile_ = std::string(std::getenv("TARVO_SANDBOX_DIR")) + "/started-" +
                   std::to_string(++count) + ".pid";
        std::vector<std::string> wrapped{
            "sh", "-c", "echo $$ > \"$0.part\" && mv \"$0.part\" \"$0\"; exec \"$@\"", pidFile_};
        wrapped.insert(wrapped.end(), argv.begin(), argv.end());
        thread_ = std::thread([this, wrapped] {
            result = test::runProcess(wrapped, 60s, {"QT_QPA_PLATFORM=offscreen"});
        });
    }
    // A program still running is asked to end (its pid cannot be reused before it is reaped).
    ~Started() {
        if (pid_ > 0 && thread_.joinable()) ::kill(pid_, SIGTERM);
        join();
    }
    pid_t pid() {
        pid_t pid = 0;
        test::waitUntil(
            [&] {
                std::ifstream in(pidFile_);
                return static_cast<bool>(in >> pid);
            },
            10s);
        pid_ = pid;
        return pid;
    }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    test::ProcessResult result;

private:
    std::string pidFile_;
    pid_t pid_ = 0;
    std::thread thread_;
};

// The capability sets and the no-new-privileges flag in the status of process `pid`.
std::map<std::string, std::string> privileges(pid_t pid) {
    std::map<std::string, std::string> out;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        const auto colon = line.find(':');
        const std::string key = line.substr(0, colon);
        if (colon == std::string::npos || !(key.starts_with("Cap") || key == "NoNewPrivs"))
            continue;
        out[key] = line.substr(line.find_first_not_of(" \t", colon + 1));
    }
    return out;
}

// The MAC helper process `parent` started, or -1.
pid_t helperOf(pid_t parent) {
    pid_t found = -1;
    test::waitUntil(
        [&] {
            const auto helpers = test::macHelpersOf(parent);
            if (!helpers.empty()) found = helpers.back();
            return found > 0;
        },
        10s);
    return found;
}

// Whether the filter of socket `fd` of process `pid` stays as it is (code in the process cannot
// take it off to read other traffic).
bool filterLocked(pid_t pid, int fd) {
    const int process = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    const int copy = static_cast<int>(::syscall(SYS_pidfd_getfd, process, fd, 0));
    const int unused = 0;
    const bool locked =
        copy >= 0 &&
        ::setsockopt(copy, SOL_SOCKET, SO_DETACH_FILTER, &unused, sizeof unused) != 0 &&
        errno == EPERM;
    ::close(copy);
    ::close(process);
    return locked;
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

TEST(DiscoveryHostsE2E, OnlyTheHelperHoldsThePacketSocketAndOtherSubnetMacsAreStillListed) {
    // The test runs as root: every capability is there to be given up.
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.251.1.108/24", "dev", "eth0"}), 0);
    test::SimOptions options;
    options.host = 1;
    test::SimProcess sim(
        nlohmann::json::parse(R"({"devices": [{"ip": "10.251.1.108", "type": 100}]})"), options);
    // The programs keep CAP_NET_RAW in their bounding set alone, so that the helper can be
    // given it, and set no no-new-privileges, which would keep it from the helper.
    const std::map<std::string, std::string> program{
        {"CapInh", "0000000000000000"}, {"CapPrm", "0000000000000000"},
        {"CapEff", "0000000000000000"}, {"CapBnd", "0000000000002000"},
        {"CapAmb", "0000000000000000"}, {"NoNewPrivs", "0"}};
    // The helper empties its bounding set as far as it may: without CAP_SETPCAP, which its
    // parent no longer has to pass on, the set stays its parent's.
    const std::map<std::string, std::string> helper{
        {"CapInh", "0000000000000000"}, {"CapPrm", "0000000000000000"},
        {"CapEff", "0000000000000000"}, {"CapBnd", "0000000000002000"},
        {"CapAmb", "0000000000000000"}, {"NoNewPrivs", "1"}};
    // Past start-up once the search reached the camera.
    auto searched = [&](int before) {
        return test::waitUntil([&] { return countDiscoveryRequests(sim, "10.251.1.108") > before; },
                               20s);
    };
    auto checkHelperOf = [&](pid_t parent) {
        const pid_t watcher = helperOf(parent);
        ASSERT_GT(watcher, 0);
        EXPECT_EQ(privileges(watcher), helper);
        const int tap = test::packetSocketOf(watcher);
        ASSERT_GE(tap, 0);
        EXPECT_TRUE(filterLocked(watcher, tap));
    };

    Started cli({TARVO_CLI_PATH, "discover", "--seconds", "3", "--json"});
    const pid_t cliPid = cli.pid();
    ASSERT_GT(cliPid, 0);
    ASSERT_TRUE(searched(0));
    EXPECT_EQ(privileges(cliPid), program);
    EXPECT_EQ(test::packetSocketOf(cliPid), -1);
    checkHelperOf(cliPid);
    cli.join();
    ASSERT_EQ(cli.result.exitCode, 0) << cli.result.err;
    std::map<std::string, std::string> macs;
    for (const auto& row : nlohmann::json::parse(cli.result.out)) macs[row["ip"]] = row["mac"];
    EXPECT_EQ(macs["10.251.1.108"], upper(test::sandboxHostMac(1))) << cli.result.out;

#ifdef TARVO_GUI_PATH
    const int before = countDiscoveryRequests(sim, "10.251.1.108");
    Started window({TARVO_GUI_PATH});
    const pid_t windowPid = window.pid();
    ASSERT_GT(windowPid, 0);
    ASSERT_TRUE(searched(before));
    EXPECT_EQ(privileges(windowPid), program);
    EXPECT_EQ(test::packetSocketOf(windowPid), -1);
    checkHelperOf(windowPid);
#endif
}
