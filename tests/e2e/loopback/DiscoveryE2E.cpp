// Discovery against simulated devices on the loopback network: what is listed, how, and that
// nothing a device sends can confuse the list.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <map>
#include <thread>

#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/net/NetworkInterfaces.h"
#include "core/text/TextConvert.h"
#include "support/RecordingNotifier.h"
#include "support/RunProcess.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

using namespace tarvo;
using namespace tarvo::discovery;
using namespace std::chrono_literals;

namespace {

// The engine on every local interface of the sandbox, with the system's MAC lookup.
struct Discovery {
    Discovery() : engine(table, resolver, notifier) { engine.openInterfaces(); }
    std::map<std::string, DeviceRow> byAddress() const {
        std::map<std::string, DeviceRow> out;
        for (const auto& row : table.rows()) out[text::toUtf8(row.address)] = row;
        return out;
    }
    DeviceTable table;
    net::SystemMacResolver resolver;
    test::RecordingNotifier notifier;
    DiscoveryEngine engine;
};

nlohmann::json cliDiscover(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv{TARVO_CLI_PATH, "discover", "--seconds", "1", "--json"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    // The labels below are the Chinese ones; under another language the note is translated.
    const auto r = test::runProcess(argv, 30s, {"LANG=zh_CN.UTF-8", "LC_ALL="});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return nlohmann::json::parse(r.out);
}

}  // namespace

TEST(DiscoveryE2E, TypesLabelsAndTheResolutionReply) {
    test::SimProcess sim(test::SimProcess::FleetText{R"({"devices": [
      {"ip": "127.0.0.30", "type": 30}, {"ip": "127.0.0.79", "type": 79}, {"ip": "127.0.0.199", "type": 199},
      {"ip": "127.0.0.31", "type": 31, "name": "dvr"},
      {"ip": "127.0.0.175", "type": 175, "name": "dec"},
      {"ip": "127.0.0.180", "type": 180, "name": "odd"},
      {"ip": "127.0.0.89", "type": 89, "name": "v", "resolution": 1, "duplicates": 20},
      {"ip": "127.0.0.90", "type": 89, "name": "v0", "resolution": 0},
      {"ip": "127.0.0.100", "type": 100, "name": "前门球机"}
    ]})"});
    const auto rows = cliDiscover();
    std::map<std::string, nlohmann::json> byIp;
    for (const auto& row : rows) byIp[row["ip"]] = row;
    EXPECT_EQ(byIp.size(), 6u);
    EXPECT_EQ(byIp.count("127.0.0.30") + byIp.count("127.0.0.79") + byIp.count("127.0.0.199"), 0u);
    EXPECT_EQ(byIp["127.0.0.31"]["note"], "DVR");
    EXPECT_EQ(byIp["127.0.0.175"]["note"], "视频解码器");
    EXPECT_EQ(byIp["127.0.0.180"]["note"], "未知设备");
    EXPECT_EQ(byIp["127.0.0.89"]["note"], "V系列摄像机100万");
    EXPECT_EQ(byIp["127.0.0.90"]["note"], "V系列摄像机130万");
    EXPECT_EQ(byIp["127.0.0.100"]["name"], "前门球机");
    EXPECT_EQ(byIp["127.0.0.100"]["type"], 100);
    EXPECT_EQ(byIp["127.0.0.100"]["mac"], "00:00:00:00:00:00");  // loopback addresses
    EXPECT_EQ(byIp["127.0.0.100"]["sameNetwork"], true);

    // Every type-89 camera was asked for its resolution with command 145, once, however often
    // it answered the search.
    const nlohmann::json v = sim.device("127.0.0.89");
    int asked = 0;
    for (const auto& f : v["received"]) asked += f["command"] == 145 ? 1 : 0;
    EXPECT_EQ(asked, 1);
}

TEST(DiscoveryE2E, TextTableAndSortOrder) {
    test::SimProcess sim(test::SimProcess::FleetText{R"({"devices": [
      {"ip": "127.0.0.9", "type": 100, "name": "b"}, {"ip": "127.0.0.10", "type": 100, "name": "a"},
      {"ip": "127.0.0.100", "type": 100, "name": "c"}]})"});
    const auto r =
        test::runProcess({TARVO_CLI_PATH, "discover", "--seconds", "1", "--sort", "ip:desc"}, 30s,
                         {"LANG=zh_CN.UTF-8", "LC_ALL="});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto header = r.out.substr(0, r.out.find('\n'));
    EXPECT_NE(header.find("序号"), std::string::npos) << header;
    EXPECT_NE(header.find("IP 地址"), std::string::npos);
    EXPECT_NE(header.find("mac地址"), std::string::npos);
    const auto first = r.out.find("127.0.0.100");
    const auto second = r.out.find("127.0.0.10 ");
    const auto third = r.out.find("127.0.0.9 ");
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);

    const auto en = test::runProcess({TARVO_CLI_PATH, "discover", "--seconds", "0.5"}, 30s,
                                     {"LANG=zh_TW.UTF-8", "LC_ALL="});
    EXPECT_EQ(en.out.rfind("Seq", 0), 0u) << en.out;
    EXPECT_NE(en.out.find("MAC Address"), std::string::npos) << en.out;
    EXPECT_NE(en.out.find("Speed dome camera"), std::string::npos) << en.out;
}

TEST(DiscoveryE2E, DuplicatesForeignTagsAndMalformedReplies) {
    test::SimProcess sim(test::SimProcess::FleetText{R"({"devices": [
      {"ip": "127.0.0.2", "type": 100, "name": "first", "duplicates": 3, "duplicateName": "second"},
      {"ip": "127.0.0.3", "type": 100, "name": "foreign", "replyShape": "foreignTag"},
      {"ip": "127.0.0.4", "type": 100, "name": "short", "replyShape": "short"},
      {"ip": "127.0.0.5", "type": 100, "name": "NoNulAtAll", "replyShape": "noNul"},
      {"ip": "127.0.0.6", "type": 100, "name": "long", "replyShape": "long"},
      {"ip": "127.0.0.7", "type": 100, "name": "empty", "replyShape": "empty"},
      {"ip": "127.0.0.8", "type": 100, "name": "fine"}
    ]})"});
    Discovery d;
    d.engine.startSearch();
    ASSERT_TRUE(test::waitUntil([&] { return d.table.rowCount() >= 5; }));
    std::this_thread::sleep_for(300ms);  // anything late would show now
    const auto rows = d.byAddress();
    EXPECT_EQ(rows.size(), 5u);
    EXPECT_EQ(text::toUtf8(rows.at("127.0.0.2").name), "first");
    EXPECT_EQ(rows.count("127.0.0.3"), 0u);  // tag for nobody here
    // Four bytes still carry the type; the missing name reads empty.
    EXPECT_EQ(text::toUtf8(rows.at("127.0.0.4").name), "");
    EXPECT_EQ(text::toUtf8(rows.at("127.0.0.5").name), "NoNulAtAll");
    EXPECT_EQ(text::toUtf8(rows.at("127.0.0.6").name),
              "long");  // a full 1,024-byte datagram
    EXPECT_EQ(rows.count("127.0.0.7"), 0u);
    EXPECT_EQ(text::toUtf8(rows.at("127.0.0.8").name), "fine");
    EXPECT_TRUE(d.notifier.entries().empty());
}

TEST(DiscoveryE2E, ASilentSearchThenAnAnsweredOne) {
    test::SimProcess sim(test::SimProcess::FleetText{R"({"devices": [
      {"ip": "127.0.0.2", "type": 100, "name": "late", "dropUdp": true}]})"});
    Discovery d;
    d.engine.startSearch();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(d.table.rowCount(), 0);
    sim.set("127.0.0.2", "dropUdp=false");
    d.engine.setIgnoreReplies(true);
    d.engine.startSearch();
    ASSERT_TRUE(test::waitUntil([&] { return d.table.rowCount() == 1; }));
    EXPECT_EQ(d.table.text(0, kColSeq), u"1");
}

TEST(DiscoveryE2E, SearchRebuildsTheListAndUdpCommandsReachTheDevice) {
    test::SimProcess sim(test::SimProcess::FleetText{R"({"devices": [
      {"ip": "127.0.0.2", "type": 100, "name": "a", "audio": 1},
      {"ip": "127.0.0.3", "type": 100, "name": "b"}]})"});
    Discovery d;
    d.engine.startSearch();
    ASSERT_TRUE(test::waitUntil([&] { return d.table.rowCount() == 2; }));
    d.engine.setIgnoreReplies(true);
    std::this_thread::sleep_for(100ms);
    d.engine.startSearch();
    ASSERT_TRUE(test::waitUntil([&] { return d.table.rowCount() == 2; }));
    EXPECT_EQ(d.table.text(0, kColSeq) + d.table.text(1, kColSeq), u"12");

    // The discovery request leaves from the group port, as the commands do.
    const nlohmann::json a = sim.device("127.0.0.2");
    int requests = 0;
    for (const auto& f : a["received"]) {
        if (f["command"] != 10) continue;
        ++requests;
        EXPECT_EQ(f["sourcePort"], 5250);
    }
    EXPECT_GE(requests, 2);

    // A command goes out on the interface that heard the device and reaches it.
    d.engine.replyCache().expect(ReplyCache::Reply::Audio, "127.0.0.2");
    ASSERT_TRUE(d.engine.sendCommandTo(inet_addr("127.0.0.2"),
                                       protocol::udpQuery(129, protocol::targetFor("127.0.0.2"))));
    ASSERT_TRUE(test::waitUntil([&] { return d.engine.replyCache().audio() == 1u; }));
    d.engine.closeInterfaces();
    d.engine.closeInterfaces();  // a second close does nothing
    EXPECT_FALSE(d.engine.sendCommandTo(inet_addr("127.0.0.2"), protocol::udpQuery(129, 0)));
}

TEST(DiscoveryE2E, ThousandDevicesAllListed) {
    test::SimProcess sim(
        test::SimOptions{{"--count", "1000", "--base-ip", "127.0.1.1", "--type", "100"}});
    Discovery d;
    d.engine.startSearch();
    EXPECT_TRUE(test::waitUntil([&] { return d.table.rowCount() == 1000; }, 10s))
        << d.table.rowCount();
}
