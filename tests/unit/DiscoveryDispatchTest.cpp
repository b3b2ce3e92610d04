#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/discovery/DeviceTypes.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/discovery/SearchDiagnosis.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "support/FakeMacResolver.h"
#include "support/FrameBytes.h"
#include "support/RecordingNotifier.h"

using namespace tarvo;
using namespace tarvo::discovery;

namespace {

using tarvo::test::addr;

std::vector<std::uint8_t> reply(std::uint8_t command, std::uint16_t target,
                                std::vector<std::uint8_t> payload, std::uint8_t tag = 0) {
    std::vector<std::uint8_t> d(6 + payload.size(), 0);
    d[0] = command;
    d[1] = tag;
    d[2] = static_cast<std::uint8_t>(target);
    d[3] = static_cast<std::uint8_t>(target >> 8);
    d[4] = static_cast<std::uint8_t>(d.size());
    d[5] = static_cast<std::uint8_t>(d.size() >> 8);
    for (std::size_t i = 0; i < payload.size(); ++i) d[6 + i] = payload[i];
    return d;
}

std::vector<std::uint8_t> nameBytes(const std::string& text, bool nul = true) {
    std::vector<std::uint8_t> out(text.begin(), text.end());
    if (nul) out.push_back(0);
    return out;
}

class DispatchTest : public ::testing::Test {
protected:
    DispatchTest() : engine(table, mac, notifier) { engine.setIgnoreReplies(false); }

    void deliver(const std::vector<std::uint8_t>& d, const char* from,
                 const char* iface = "10.0.5.7") {
        engine.handleDatagram(nullptr, addr(iface), d, addr(from));
    }
    void discovery(const char* from, int type, const std::string& name = "cam") {
        deliver(reply(100, static_cast<std::uint16_t>(type), nameBytes(name)), from);
    }

    DeviceTable table;
    test::FakeMacResolver mac;
    test::RecordingNotifier notifier;
    DiscoveryEngine engine;
};

}  // namespace

TEST_F(DispatchTest, ListsTakenTypesWithTheirLabels) {
    discovery("10.0.5.31", 31);
    discovery("10.0.5.75", 175);
    discovery("10.0.5.80", 180);
    discovery("10.0.5.30", 30);
    discovery("10.0.5.79", 79);
    discovery("10.0.5.99", 199);
    discovery("10.0.5.81", 181, "nvr");
    ASSERT_EQ(table.rowCount(), 4);
    const DeviceRow first = table.row(0);
    EXPECT_EQ(first.sequence, 1);
    EXPECT_EQ(first.address, u"10.0.5.31");
    EXPECT_EQ(first.mac, u"02:00:0A:00:05:1F");
    EXPECT_EQ(first.name, u"cam");
    EXPECT_EQ(first.note, u"DVR");
    EXPECT_EQ(first.type, 31);
    EXPECT_EQ(table.text(1, kColNote), u"视频解码器");
    EXPECT_EQ(table.text(2, kColNote), u"未知设备");
    EXPECT_EQ(table.text(3, kColNote), u"NVR");
    EXPECT_EQ(table.text(3, kColSeq), u"4");
}

TEST_F(DispatchTest, LabelTable) {
    const std::vector<std::pair<int, std::u16string>> expected{
        {81, u"R系列摄像机"},      {84, u"R系列摄像机"},   {82, u"T系列摄像机"},
        {85, u"T系列摄像机"},      {83, u"200W摄像机"},    {86, u"200W摄像机"},
        {89, u"V系列摄像机130万"}, {100, u"高速球摄像机"}, {80, u"网络摄像机"},
        {87, u"网络摄像机"},       {90, u"网络摄像机"},    {159, u"网络摄像机"},
        {160, u"未知设备"},        {170, u"未知设备"},     {171, u"视频解码器"},
        {179, u"视频解码器"},      {182, u"未知设备"},     {198, u"未知设备"}};
    for (const auto& [type, label] : expected) EXPECT_EQ(typeLabel(type), label) << type;
    EXPECT_TRUE(isListedType(31));
    EXPECT_TRUE(isListedType(80));
    EXPECT_TRUE(isListedType(198));
    EXPECT_FALSE(isListedType(32));
    EXPECT_FALSE(isListedType(0));
}

TEST_F(DispatchTest, FirstReplyFromAnAddressWins) {
    discovery("10.0.5.10", 100, "first");
    discovery("10.0.5.10", 181, "second");
    ASSERT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.text(0, kColName), u"first");
    EXPECT_EQ(table.text(0, kColType), u"100");
}

TEST_F(DispatchTest, UnresolvableMacIsListedEmpty) {
    mac.fail(addr("10.0.5.11"));
    discovery("10.0.5.10", 100);
    discovery("10.0.5.11", 100);
    discovery("10.0.5.12", 100);
    ASSERT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.text(1, kColMac), u"");
    EXPECT_EQ(table.text(2, kColSeq), u"3");
}

TEST_F(DispatchTest, RowsStopAtTheCapWithOneMessage) {
    for (std::uint32_t i = 0; i <= DeviceTable::kMaxRows + 10; ++i) {
        engine.handleDatagram(nullptr, addr("10.0.5.7"), reply(100, 100, nameBytes("x")),
                              htonl(0x0B000000u + i));
    }
    EXPECT_EQ(table.rowCount(), DeviceTable::kMaxRows);
    EXPECT_EQ(notifier.texts(),
              std::vector<std::u16string>{std::u16string(text::msg::kDeviceTableFull)});
}

TEST_F(DispatchTest, ForeignTagIsDroppedBeforeDispatch) {
    deliver(reply(100, 100, nameBytes("x"), 0xEE), "10.0.5.20");
    deliver(reply(100, 100, nameBytes("x"), 5), "10.0.5.21");
    deliver(reply(100, 100, nameBytes("x"), 7), "10.0.5.22");
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.text(0, kColAddress), u"10.0.5.21");
}

TEST_F(DispatchTest, NamesAreBoundedByTheDatagram) {
    deliver(reply(100, 100, nameBytes("NoTerminator", false)), "10.0.5.1");
    std::vector<std::uint8_t> gb = {0xC7, 0xB0, 0xC3, 0xC5, 0};  // 前门
    deliver(reply(100, 100, gb), "10.0.5.2");
    deliver(reply(100, 100, std::vector<std::uint8_t>(1018, 'A')), "10.0.5.3");  // 1,024 bytes
    // Header cut short: the missing target byte reads as 0, so type 100 without a name.
    deliver(std::vector<std::uint8_t>{100, 0, 100}, "10.0.5.4");
    deliver({}, "10.0.5.5");
    ASSERT_EQ(table.rowCount(), 4);
    EXPECT_EQ(table.text(3, kColName), u"");
    EXPECT_EQ(table.text(3, kColType), u"100");
    EXPECT_EQ(table.text(0, kColName), u"NoTerminator");
    EXPECT_EQ(table.text(1, kColName), u"前门");
    EXPECT_EQ(table.text(2, kColName), u"");  // longer than 64 units: empty
}

TEST_F(DispatchTest, IgnoredRepliesChangeNothing) {
    engine.setIgnoreReplies(true);
    discovery("10.0.5.10", 100);
    EXPECT_EQ(table.rowCount(), 0);
    engine.setIgnoreReplies(false);
    discovery("10.0.5.10", 100);
    EXPECT_EQ(table.rowCount(), 1);
}

TEST_F(DispatchTest, SearchClearsOnlyAfterARowWasTaken) {
    discovery("10.0.5.10", 100);
    engine.startSearch();  // no interfaces: clears and sends nothing
    EXPECT_EQ(table.rowCount(), 0);
    discovery("10.0.5.11", 100);
    EXPECT_EQ(table.text(0, kColSeq), u"1");
}

TEST_F(DispatchTest, ResolutionReplyRelabelsType89Rows) {
    discovery("10.0.5.89", 89);
    discovery("10.0.5.90", 100);
    EXPECT_EQ(table.text(0, kColNote), u"V系列摄像机130万");
    deliver(reply(187, 0, {1, 0, 0, 0}), "10.0.5.89");
    EXPECT_EQ(table.text(0, kColNote), u"V系列摄像机100万");
    deliver(reply(187, 0, {0, 0, 0, 0}), "10.0.5.89");
    EXPECT_EQ(table.text(0, kColNote), u"V系列摄像机130万");
    deliver(reply(187, 0, {1, 0, 0, 0}), "10.0.5.90");  // not a type-89 row
    EXPECT_EQ(table.text(1, kColNote), u"高速球摄像机");
}

// Replies fill the cache only from the device asked, once asked; the same codes from another
// host (a spoofer, another installer's camera) or before the query change nothing.
TEST_F(DispatchTest, SettingsRepliesCountOnlyFromTheDeviceAsked) {
    using R = ReplyCache::Reply;
    auto& cache = engine.replyCache();
    deliver(reply(183, 0, {1, 0, 0, 0}), "10.0.5.1");  // not asked yet
    EXPECT_EQ(cache.audio(), 0u);
    g_loginAccepted.store(1);  // an earlier login
    for (const R r :
         {R::NetParams, R::Audio, R::Protocol, R::Overlay, R::OnvifSubStream, R::Cloud, R::Login})
        cache.expect(r, addr("10.0.5.1"));
    EXPECT_EQ(g_loginAccepted.load(), 0);
    EXPECT_FALSE(cache.answered(R::Audio));
    // The device's answer, then another host's.
    const auto both = [&](std::uint8_t code, std::vector<std::uint8_t> own,
                          std::vector<std::uint8_t> other) {
        deliver(reply(code, 0, std::move(own)), "10.0.5.1");
        deliver(reply(code, 0, std::move(other)), "10.0.5.66");
    };
    both(183, {1, 0, 0, 0}, {9, 0, 0, 0});
    both(184, {2, 0, 0, 0}, {9, 0, 0, 0});
    both(185, {3, 0, 0, 0}, {9, 0, 0, 0});
    both(148, {0, 0, 0, 0}, {9, 0, 0, 0});
    both(180, {192, 168, 1, 64, 255, 255, 255, 0}, {6, 6, 6, 6});  // short: the rest reads 0
    both(182, {'I', 'D'}, {'X'});
    both(181, {2}, {1});  // refused by the device, "accepted" by the other host
    EXPECT_TRUE(cache.answered(R::Audio));
    EXPECT_EQ(cache.audio(), 1u);
    EXPECT_EQ(cache.protocolSupport(), 2u);
    EXPECT_EQ(cache.overlay(), 3u);
    EXPECT_EQ(cache.onvifSubStream(), 0u);
    EXPECT_EQ(cache.cloud().identity[0], 'I');
    EXPECT_EQ(g_loginAccepted.load(), 0);
    const auto params = cache.takeNetParams();
    EXPECT_EQ(params.address, addr("192.168.1.64"));
    EXPECT_EQ(params.gateway, 0u);
    EXPECT_EQ(cache.netParams(), protocol::NetParams{});

    // MAC repair: one message per request, only from the camera asked.
    deliver(reply(186, 0, {}), "10.0.5.1");
    cache.expectMacReassigned(addr("10.0.5.1"));
    deliver(reply(186, 0, {}), "10.0.5.66");
    EXPECT_TRUE(notifier.texts().empty());
    for (int i = 0; i < 3; ++i) deliver(reply(186, 0, {}), "10.0.5.1");
    EXPECT_EQ(notifier.texts(),
              (std::vector<std::u16string>{u"摄像机已重新分配MAC地址，重启后生效"}));
}

// Container and VPN links are told apart by name or by the kernel's link kind; ordinary wired
// and wireless links are not.
TEST(SearchDiagnosisTest, LinkLooksByNameAndKind) {
    EXPECT_EQ(linkLook("docker0", "bridge", 1, false), LinkLook::ContainerBridge);
    EXPECT_EQ(linkLook("br-3f2a", "bridge", 1, false), LinkLook::ContainerBridge);
    EXPECT_EQ(linkLook("vethb1c2", "", 1, false), LinkLook::ContainerBridge);
    EXPECT_EQ(linkLook("tvh1", "veth", 1, false), LinkLook::ContainerBridge);
    EXPECT_EQ(linkLook("wg0", "", -1, false), LinkLook::Vpn);
    EXPECT_EQ(linkLook("tailscale0", "", -1, false), LinkLook::Vpn);
    EXPECT_EQ(linkLook("corp", "wireguard", 65534, false), LinkLook::Vpn);
    EXPECT_EQ(linkLook("office", "", 512, true), LinkLook::Vpn);
    EXPECT_EQ(linkLook("eth0", "", 1, false), LinkLook::Ordinary);
    EXPECT_EQ(linkLook("wlp2s0", "", 1, false), LinkLook::Ordinary);
    EXPECT_EQ(linkLook("br0", "bridge", 1, false), LinkLook::Ordinary);
}

// An unplugged port is told, a bridge's port without an address is not; a searched Docker
// bridge and a link without frames are.
TEST(SearchDiagnosisTest, HintsComeFromTheInterfacesThatMatter) {
    auto state = [](std::string name, bool running, std::vector<std::uint32_t> addresses,
                    unsigned master = 0) {
        net::InterfaceState s;
        s.name = std::move(name);
        s.up = true;
        s.running = running;
        s.multicast = true;
        s.hardwareType = 1;
        s.addresses = std::move(addresses);
        s.master = master;
        return s;
    };
    InterfaceFigures docker;
    docker.name = "docker0";
    docker.address = addr("172.17.0.1");
    const auto d = diagnose({docker}, {},
                            {state("eth0", false, {}), state("tvh1", true, {}, 7),
                             state("docker0", true, {addr("172.17.0.1")})},
                            true);
    std::vector<std::pair<Hint, std::string>> hints;
    for (const auto& h : d.hints) hints.emplace_back(h.hint, h.interfaceName);
    const std::vector<std::pair<Hint, std::string>> expected{{Hint::InterfaceDown, "eth0"},
                                                             {Hint::ContainerBridge, "docker0"},
                                                             {Hint::NoPacketSocket, ""}};
    EXPECT_EQ(hints, expected);
}
