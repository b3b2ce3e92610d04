#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <deque>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "core/discovery/ReplyCache.h"
#include "core/ops/forms/AddressBatch.h"
#include "core/ops/forms/AddressPlanner.h"
#include "core/ops/forms/SettingsFlows.h"
#include "core/ops/forms/UdpSession.h"
#include "core/protocol/Frames.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/UiTextTable.h"
#include "support/FrameBytes.h"
#include "support/RecordingNotifier.h"

using namespace tarvo;
using namespace tarvo::ops;

namespace {

using tarvo::test::addr;

// Records every frame with the time (in scripted milliseconds) it went out.
class FakeSession : public UdpSession {
public:
    bool send(const std::string& address, const protocol::Frame& frame) override {
        sentTo.insert(address);
        sent.emplace_back(frame.bytes.begin(), frame.bytes.begin() + frame.size);
        sentAt.push_back(*clock);
        if (failOn >= 0 && static_cast<int>(sent.size()) - 1 == failOn) return false;
        return true;
    }
    discovery::ReplyCache& cache() override { return replyCache; }
    void startSearch() override { ++searches; }
    std::optional<std::u16string> type89Label(std::u16string_view address) override {
        if (address == labelAddress) return label;
        return std::nullopt;
    }
    std::vector<int> commands() const {
        std::vector<int> out;
        for (const auto& f : sent) out.push_back(f[0]);
        return out;
    }

    discovery::ReplyCache replyCache;
    std::vector<std::vector<std::uint8_t>> sent;
    std::set<std::string> sentTo;  // the device addresses the frames were sent for
    std::vector<int> sentAt;
    int failOn = -1;
    int searches = 0;
    std::u16string labelAddress;
    std::u16string label;
    int* clock = nullptr;
};

class ScriptedDialogs : public SettingsDialogs {
public:
    bool runNetSettings(NetSettingsForm& form, const NetCheck& check) override {
        netOpenedWith = form.netParams();
        netAudio = form.audio();
        if (netEdit) return netEdit(form, check);
        return false;
    }
    bool runCameraConfig(CameraConfigForm& form) override {
        cameraOpened = true;
        seen = form;
        if (cameraEdit) return cameraEdit(form);
        return false;
    }
    std::optional<CloudEntry> runCloudSettings(const CloudForm& form) override {
        cloudOpenedWith = form.record();
        if (cloudEdit) return cloudEdit(form);
        return std::nullopt;
    }
    void waitMs(int ms) override {
        clock += ms;
        waits.push_back(ms);
        if (duringWait) duringWait(ms);
    }

    std::function<bool(NetSettingsForm&, const NetCheck&)> netEdit;
    std::function<bool(CameraConfigForm&)> cameraEdit;
    std::function<std::optional<CloudEntry>(const CloudForm&)> cloudEdit;
    std::function<void(int)> duringWait;  // replies that come in while the flow waits
    protocol::NetParams netOpenedWith;
    std::uint32_t netAudio = 0;
    bool cameraOpened = false;
    CameraConfigForm seen;
    protocol::CloudRecord cloudOpenedWith;
    std::vector<int> waits;
    int clock = 0;
};

class SettingsFlowsTest : public ::testing::Test {
protected:
    SettingsFlowsTest()
        : flows(dialogs, session, notifier,
                [this](std::string_view, std::uint16_t, std::u16string& v) {
                    v = cameraVersion;
                    return versionAsked;
                }) {
        session.clock = &dialogs.clock;
        text::buildUiText(0);
        discovery::g_loginAccepted.store(0);
    }

    protocol::NetParams deviceParams() {
        protocol::NetParams p;
        p.address = addr("192.168.1.64");
        p.netmask = addr("255.255.255.0");
        p.gateway = addr("192.168.1.1");
        p.dns = addr("192.168.1.1");
        p.httpPort = 65535;
        p.reserved = 0x1234;
        p.dhcp = 1;
        p.opaque = 0xCAFEBABE;
        return p;
    }

    // The device at 192.168.1.64 answers whatever it is asked while the flow waits; the login
    // with `loginAnswer`.
    void deviceAnswers(bool loginAnswer = true) {
        dialogs.duringWait = [this, loginAnswer](int ms) {
            auto& cache = session.replyCache;
            const std::uint32_t device = addr("192.168.1.64");
            if (ms == NetSettingsForm::kLoginWaitMs) {
                cache.offerLogin(device, loginAnswer);
                return;
            }
            cache.offerNetParams(device, deviceParams());
            cache.offerAudio(device, 1);
        };
    }
    // The camera at 192.168.1.64 answers its option queries (protocol 1, overlay 1, CIF); all
    // but the one `silentTo` names.
    void cameraAnswers(int silentTo = 0) {
        dialogs.duringWait = [this, silentTo](int) {
            auto& cache = session.replyCache;
            const std::uint32_t camera = addr("192.168.1.64");
            if (silentTo != 140) cache.offerProtocol(camera, 1);
            if (silentTo != 142) cache.offerOverlay(camera, 1);
            if (silentTo != 148) cache.offerOnvifSubStream(camera, 2);
        };
    }
    std::function<void(int)> waiting() {
        return [this](int ms) { dialogs.waitMs(ms); };
    }

    ScriptedDialogs dialogs;
    FakeSession session;
    test::RecordingNotifier notifier;
    std::u16string cameraVersion = u"00.00.22.06";
    SettingsFlows::VersionAsked versionAsked = SettingsFlows::VersionAsked::Answered;
    SettingsFlows flows;
};

NetSettingsEntry entryFrom(const NetSettingsForm& form) {
    NetSettingsEntry e;
    e.user = NetSettingsForm::defaultUser();
    e.address = form.addressText();
    e.netmask = form.netmaskText();
    e.gateway = form.gatewayText();
    e.dns = form.dnsText();
    e.httpPort = form.httpPortText();
    e.dhcp = form.netParams().dhcp != 0;
    e.audio = form.audio() != 0;
    return e;
}

}  // namespace

TEST_F(SettingsFlowsTest, NetworkSettingsQueriesHandsOverAndWritesBack) {
    deviceAnswers();
    dialogs.netEdit = [this](NetSettingsForm& form, const SettingsDialogs::NetCheck& check) {
        NetSettingsEntry e = entryFrom(form);
        e.address = u"192.168.1.65";
        return check(e, notifier) == NetSettingsOutcome::Accepted;
    };
    EXPECT_TRUE(flows.networkSettings("192.168.1.64", 100));

    EXPECT_EQ(dialogs.netOpenedWith, deviceParams());
    EXPECT_EQ(dialogs.netAudio, 1u);
    EXPECT_EQ(session.replyCache.netParams(), protocol::NetParams{});  // handed over, then cleared
    EXPECT_EQ(session.replyCache.audio(), 1u);
    EXPECT_EQ(session.commands(), (std::vector<int>{99, 129, 0, 106, 128}));
    // The login and the write too go where the device was heard, not to its new address.
    EXPECT_EQ(session.sentTo, std::set<std::string>{"192.168.1.64"});
    EXPECT_EQ(dialogs.waits, (std::vector<int>{500, 200}));
    EXPECT_EQ(session.searches, 1);

    auto expected = deviceParams();
    expected.address = addr("192.168.1.65");
    const auto frame106 = protocol::udpNetParams(protocol::targetFor("192.168.1.64"), expected);
    EXPECT_EQ(session.sent[3],
              std::vector<std::uint8_t>(frame106.bytes.begin(), frame106.bytes.begin() + 34));
    EXPECT_EQ(session.sent[4], (std::vector<std::uint8_t>{128, 0, 1, 64, 10, 0, 1, 0, 0, 0}));
}

TEST_F(SettingsFlowsTest, NetworkSettingsCancelAndFailedSends) {
    session.failOn = 0;  // 99 fails: no 129, the dialog still opens
    EXPECT_FALSE(flows.networkSettings("192.168.1.64", 100));
    EXPECT_EQ(session.commands(), (std::vector<int>{99}));
    EXPECT_EQ(session.searches, 0);

    session.sent.clear();
    dialogs.netEdit = [](NetSettingsForm&, const SettingsDialogs::NetCheck&) { return true; };
    EXPECT_TRUE(flows.networkSettings("192.168.1.64", 100));  // 99 fails again; the writes go out
    EXPECT_EQ(session.commands(), (std::vector<int>{99, 106, 128}));
    session.sent.clear();
    session.failOn = 2;  // 106 fails: no 128, but the search runs
    EXPECT_TRUE(flows.networkSettings("192.168.1.64", 100));
    EXPECT_EQ(session.commands(), (std::vector<int>{99, 129, 106}));
    EXPECT_EQ(session.searches, 2);
}

TEST_F(SettingsFlowsTest, NetworkSettingsTellAnswersFromLeftOvers) {
    // Both come in; the next time nothing answers; then only the audio reply.
    std::vector<std::pair<bool, bool>> seen;
    dialogs.netEdit = [&](NetSettingsForm& form, const SettingsDialogs::NetCheck&) {
        seen.emplace_back(form.recordAnswered(), form.audioAnswered());
        return false;
    };
    deviceAnswers();
    flows.networkSettings("192.168.1.64", 100);
    dialogs.duringWait = nullptr;
    flows.networkSettings("192.168.1.64", 100);
    dialogs.duringWait = [this](int) { session.replyCache.offerAudio(addr("192.168.1.64"), 0); };
    flows.networkSettings("192.168.1.64", 100);
    EXPECT_EQ(seen,
              (std::vector<std::pair<bool, bool>>{{true, true}, {false, false}, {false, true}}));
}

TEST_F(SettingsFlowsTest, NetFormRefusesWrongLoginAndForeignGateway) {
    NetSettingsForm& form = flows.netForm();
    form.SetDeviceIp("192.168.1.64");
    form.SetNetParams(deviceParams());
    auto wait = [this](int ms) { dialogs.waitMs(ms); };

    // Refused; then no answer after an earlier accepted login; then an "accepted" from
    // another host after the device refused.
    NetSettingsEntry e = entryFrom(form);
    deviceAnswers(false);
    EXPECT_EQ(form.ok(e, session, notifier, wait), NetSettingsOutcome::LoginMismatch);
    dialogs.duringWait = nullptr;
    discovery::g_loginAccepted.store(1);
    EXPECT_EQ(form.ok(e, session, notifier, wait), NetSettingsOutcome::LoginMismatch);
    dialogs.duringWait = [this](int) {
        session.replyCache.offerLogin(addr("192.168.1.64"), false);
        session.replyCache.offerLogin(addr("192.168.1.66"), true);
    };
    EXPECT_EQ(form.ok(e, session, notifier, wait), NetSettingsOutcome::LoginMismatch);
    EXPECT_EQ(notifier.texts(),
              std::vector<std::u16string>(3, u"Username and password do not match "));

    deviceAnswers();
    notifier.clear();
    e.address = u"192.168.2.10";
    e.gateway = u"192.168.1.1";
    e.netmask = u"255.255.255.0";
    EXPECT_EQ(form.ok(e, session, notifier, wait), NetSettingsOutcome::SubnetMismatch);
    EXPECT_EQ(notifier.texts(), std::vector<std::u16string>{u"ip地址与网关不在一个网段! 请检查"});
    EXPECT_EQ(form.netParams(), deviceParams());  // nothing taken yet

    notifier.clear();
    e.address = u"192.168.1.10";
    EXPECT_EQ(form.ok(e, session, notifier, wait), NetSettingsOutcome::Accepted);
    EXPECT_TRUE(notifier.entries().empty());
    EXPECT_EQ(form.netParams().address, addr("192.168.1.10"));
    EXPECT_EQ(form.netParams().httpPort, 65535);  // shown as -1, back unchanged
    EXPECT_EQ(form.netParams().reserved, 0x1234);
    EXPECT_EQ(form.netParams().opaque, 0xCAFEBABEu);

    // Every OK sends a login of its own, 30 bytes, to the device.
    for (const auto& f : session.sent) {
        EXPECT_EQ(f.size(), 30u);
        EXPECT_EQ(f[0], 0);
        EXPECT_EQ(f[2], 1);
        EXPECT_EQ(f[3], 64);
    }
}

TEST_F(SettingsFlowsTest, NetFormRefusesValuesNoDeviceCanUseBeforeSendingAnything) {
    NetSettingsForm& form = flows.netForm();
    form.SetDeviceIp("192.168.1.64");
    form.SetNetParams(deviceParams());
    namespace msg = text::msg;
    struct Case {
        std::u16string NetSettingsEntry::*field;
        std::u16string_view value;
        std::u16string_view message;
    };
    const Case cases[] = {
        {&NetSettingsEntry::netmask, u"255.0.255.0", msg::kNetmaskNotContiguous},
        {&NetSettingsEntry::netmask, u"255.255.255.1", msg::kNetmaskNotContiguous},
        {&NetSettingsEntry::address, u"192.168.1.255", msg::kAddressIsBroadcastAddress},
        {&NetSettingsEntry::address, u"192.168.1.0", msg::kAddressIsNetworkAddress},
        {&NetSettingsEntry::address, u"999.1.1.1", msg::kAddressNotAnAddress},
        {&NetSettingsEntry::address, u"abc", msg::kAddressNotAnAddress},
        {&NetSettingsEntry::netmask, u"255.255.255", msg::kNetmaskNotAnAddress},
        {&NetSettingsEntry::gateway, u"192.168.1.1x", msg::kGatewayNotAnAddress},
        {&NetSettingsEntry::dns, u"8.8.8.256", msg::kDnsNotAnAddress},
    };
    for (const Case& c : cases) {
        NetSettingsEntry e = entryFrom(form);
        e.*c.field = c.value;
        notifier.clear();
        EXPECT_EQ(form.ok(e, session, notifier, [](int) {}), NetSettingsOutcome::Unusable)
            << text::toUtf8(c.value);
        EXPECT_EQ(notifier.texts(), std::vector<std::u16string>{std::u16string(c.message)});
    }
    EXPECT_TRUE(session.sent.empty());  // not even the login
    EXPECT_EQ(form.netParams(), deviceParams());

    // What devices can use still passes: a /31 or /32 has no network or broadcast address, an
    // empty field reads as 0.0.0.0 as before, and a mask of 0.0.0.0 keeps passing.
    deviceAnswers();
    const auto wait = [this](int ms) { dialogs.waitMs(ms); };
    NetSettingsEntry e = entryFrom(form);
    for (const auto& [address, mask, gateway] :
         {std::tuple{u"10.0.0.0", u"255.255.255.254", u"10.0.0.1"},
          std::tuple{u"10.0.0.7", u"255.255.255.255", u"10.0.0.7"},
          std::tuple{u"10.0.0.5", u"", u"192.168.1.1"}}) {
        e.address = address;
        e.netmask = mask;
        e.gateway = gateway;
        e.dns = u"";
        EXPECT_EQ(form.ok(e, session, notifier, wait), NetSettingsOutcome::Accepted)
            << text::toUtf8(address);
    }
}

TEST_F(SettingsFlowsTest, NetFormFieldRules) {
    NetSettingsForm form;
    form.SetNetParams(deviceParams());
    EXPECT_EQ(form.httpPortText(), u"-1");
    EXPECT_EQ(NetSettingsForm::parseHttpPort(u"-1"), 65535);
    EXPECT_EQ(NetSettingsForm::parseHttpPort(u"8080"), 8080);
    EXPECT_EQ(NetSettingsForm::parseHttpPort(u"70000"), 70000 & 0xFFFF);
    EXPECT_EQ(NetSettingsForm::parseHttpPort(u"abc"), 0);
    EXPECT_EQ(NetSettingsForm::parseHttpPort(u"1234567890"), 0);  // does not fit ten bytes
    EXPECT_EQ(NetSettingsForm::parseAddress(u""), 0u);
    EXPECT_TRUE(
        NetSettingsForm::sameSubnet(addr("10.0.0.5"), 0, addr("192.168.1.1")));  // mask 0 passes
    form.SetDeviceType(175);
    EXPECT_FALSE(form.showsDhcpAndAudio());
    form.SetDeviceType(100);
    EXPECT_TRUE(form.showsDhcpAndAudio());

    // A decoder's hidden switches are read and sent like any other.
    deviceAnswers();
    form.SetDeviceIp("192.168.1.64");
    form.SetDeviceType(175);
    NetSettingsEntry e = entryFrom(form);
    e.dhcp = true;
    e.audio = true;
    e.user = u"abcdefghijkl";  // twelve characters: sent as twelve zero bytes
    ASSERT_EQ(form.ok(e, session, notifier, waiting()), NetSettingsOutcome::Accepted);
    EXPECT_EQ(form.netParams().dhcp, 1u);
    EXPECT_EQ(form.audio(), 1u);
    const auto& login = session.sent.back();
    EXPECT_EQ(std::vector<std::uint8_t>(login.begin() + 6, login.begin() + 18),
              std::vector<std::uint8_t>(12, 0));
}

TEST_F(SettingsFlowsTest, CameraConfigSequenceAndWaits) {
    cameraAnswers();
    dialogs.cameraEdit = [](CameraConfigForm& form) {
        form.accept(form.protocolIndex(), 0, form.resolutionIndex(), 1);  // overlay shown, CIF
        return true;
    };
    EXPECT_TRUE(flows.cameraConfig("192.168.1.64", 100, 5505));
    EXPECT_EQ(dialogs.seen.protocolSupport(), 1u);
    EXPECT_EQ(dialogs.seen.overlay(), 1u);
    EXPECT_EQ(dialogs.seen.subStream(), 2u);
    EXPECT_EQ(dialogs.seen.version(), u"00.00.22.06");
    EXPECT_FALSE(dialogs.seen.resolutionEnabled());
    EXPECT_EQ(session.commands(), (std::vector<int>{140, 142, 148, 141, 139, 149}));
    EXPECT_EQ(session.sentAt, (std::vector<int>{0, 100, 200, 700, 800, 900}));
    EXPECT_EQ(session.sent[5], (std::vector<std::uint8_t>{149, 0, 1, 64, 10, 0, 2, 0, 0, 0}));
    EXPECT_EQ(session.sent[3], (std::vector<std::uint8_t>{141, 0, 1, 64, 10, 0, 0, 0, 0, 0}));
}

TEST_F(SettingsFlowsTest, CameraConfigResolutionRule) {
    cameraAnswers();
    session.labelAddress = u"192.168.1.64";
    session.label = u"V系列摄像机100万";
    dialogs.cameraEdit = [](CameraConfigForm&) { return true; };

    cameraVersion = u"00.00.08.07";
    EXPECT_TRUE(flows.cameraConfig("192.168.1.64", 89, 5505));
    EXPECT_FALSE(dialogs.seen.resolutionEnabled());
    EXPECT_EQ(session.commands(), (std::vector<int>{140, 142, 148, 141, 139, 149}));  // no 144

    session.sent.clear();
    cameraVersion = u"00.00.08.08";
    EXPECT_TRUE(flows.cameraConfig("192.168.1.64", 89, 5505));
    EXPECT_TRUE(dialogs.seen.resolutionEnabled());
    EXPECT_EQ(dialogs.seen.resolution(), 1u);
    EXPECT_EQ(session.commands(), (std::vector<int>{140, 142, 148, 144, 141, 139, 149}));
    EXPECT_EQ(session.sent[3], (std::vector<std::uint8_t>{144, 0, 1, 64, 10, 0, 1, 0, 0, 0}));

    session.sent.clear();
    session.label = u"V系列摄像机130万";
    EXPECT_TRUE(flows.cameraConfig("192.168.1.64", 89, 5505));
    EXPECT_EQ(dialogs.seen.resolution(), 0u);

    // A failed version check does not stop the sequence; an empty version disables the combo.
    session.sent.clear();
    cameraVersion = u"";
    versionAsked = SettingsFlows::VersionAsked::Failed;
    dialogs.cameraOpened = false;
    EXPECT_TRUE(flows.cameraConfig("192.168.1.64", 89, 5505));
    EXPECT_TRUE(dialogs.cameraOpened);
    EXPECT_FALSE(dialogs.seen.resolutionEnabled());

    // A version query the user called off (Esc while the window waited) ends the sequence.
    session.sent.clear();
    versionAsked = SettingsFlows::VersionAsked::Cancelled;
    dialogs.cameraOpened = false;
    EXPECT_FALSE(flows.cameraConfig("192.168.1.64", 89, 5505));
    EXPECT_FALSE(dialogs.cameraOpened);
    EXPECT_TRUE(session.sent.empty());
}

TEST_F(SettingsFlowsTest, CameraConfigIsNotOpenedWithoutAllOfTheCameraValues) {
    // A camera that kept silent, then one that left out one of its three values: the window
    // would show the earlier values as the camera's, and OK would write them to it.
    dialogs.cameraEdit = [](CameraConfigForm&) { return true; };
    for (const int silentTo : {-1, 140, 142, 148}) {
        if (silentTo < 0) {
            dialogs.duringWait = nullptr;
        } else {
            cameraAnswers(silentTo);
        }
        session.sent.clear();
        notifier.clear();
        EXPECT_FALSE(flows.cameraConfig("192.168.1.64", 100, 5505)) << silentTo;
        EXPECT_FALSE(dialogs.cameraOpened) << silentTo;
        EXPECT_EQ(session.commands(), (std::vector<int>{140, 142, 148})) << silentTo;
        EXPECT_EQ(notifier.texts(),
                  std::vector<std::u16string>{std::u16string(text::msg::kCameraOptionsUnanswered)});
    }
}

TEST_F(SettingsFlowsTest, CameraFormGuardsKeepPreviousValues) {
    CameraConfigForm form;
    form.SetProtocol(1);
    form.SetProtocol(2);
    EXPECT_EQ(form.protocolSupport(), 1u);
    form.SetOverlay(7);
    EXPECT_EQ(form.overlay(), 0u);
    form.SetSubStream(0);
    EXPECT_EQ(form.subStream(), 1u);
    form.SetSubStream(2);
    EXPECT_EQ(form.subStreamIndex(), 1);
    form.SetResolution(5, true);
    EXPECT_FALSE(form.resolutionEnabled());
    form.SetVersion(u"0123456789012345678901234567890123456789");
    EXPECT_EQ(form.version().size(), 31u);
    EXPECT_EQ(CameraConfigForm::kProtocolItems[0], u"支持私有协议和Onvif协议");
    EXPECT_EQ(CameraConfigForm::kSubStreamItems[1], u"CIF");
}

TEST_F(SettingsFlowsTest, CloudHandOverAndEdits) {
    protocol::CloudRecord received;
    std::snprintf(received.identity.data(), 64, "%s", "ID-1");
    std::snprintf(received.password.data(), 64, "%s", "old");
    received.deviceId = 4711;
    dialogs.duringWait = [&](int ms) {
        if (ms == SettingsFlows::kReplyWaitMs)
            session.replyCache.offerCloud(addr("192.168.1.64"), received);
    };
    dialogs.cloudEdit = [](const CloudForm& form) {
        EXPECT_EQ(form.deviceIdText(), u"4711");
        EXPECT_EQ(form.identityText(), u"ID-1");
        return CloudEntry{form.identityText(), std::u16string(63, u'p'), form.deviceIdText()};
    };
    EXPECT_TRUE(flows.cloudSettings("192.168.1.64"));
    EXPECT_EQ(dialogs.cloudOpenedWith, received);
    EXPECT_EQ(session.replyCache.cloud(), protocol::CloudRecord{});
    EXPECT_EQ(session.commands(), (std::vector<int>{124, 123}));
    EXPECT_EQ(session.sentTo, std::set<std::string>{"192.168.1.64"});
    EXPECT_EQ(dialogs.waits, (std::vector<int>{500, 10}));
    const auto& frame = session.sent[1];
    ASSERT_EQ(frame.size(), 138u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&frame[6 + 64]), 63), std::string(63, 'p'));
    EXPECT_EQ(frame[6 + 127], 0);
    EXPECT_EQ(frame[134] | (frame[135] << 8), 4711);

    // 64 characters do not fit with the terminator: the received password stays.
    CloudForm form;
    form.SetCloudRecord(received);
    const auto kept = form.edited(form.identityText(), std::u16string(64, u'q'), u"4711");
    EXPECT_EQ(std::string(kept.password.data()), "old");
    EXPECT_EQ(form.edited(u"", u"", u"-3").deviceId, -3);
}

// Addresses that answered and the subnet's network and broadcast addresses are skipped, and the
// plan stops at the end of the subnet rather than running into the next one.
TEST(AddressPlannerTest, SkipsTakenAndReservedAddressesAndStopsAtTheSubnetEnd) {
    const std::uint32_t mask = ntohl(addr("255.255.255.0"));
    auto host = [](const char* text) { return ntohl(addr(text)); };
    EXPECT_EQ(planAddresses(host("10.0.0.0"), mask, 3, {host("10.0.0.2")}),
              (std::vector<std::uint32_t>{host("10.0.0.1"), host("10.0.0.3"), host("10.0.0.4")}));
    EXPECT_EQ(planAddresses(host("10.0.0.252"), mask, 5, {host("10.0.0.253")}),
              (std::vector<std::uint32_t>{host("10.0.0.252"), host("10.0.0.254")}));
    EXPECT_TRUE(planAddresses(host("255.255.255.255"), ~0u << 1, 1, {}).size() == 1);
    EXPECT_TRUE(planAddresses(host("10.0.0.255"), mask, 1, {}).empty());
}

// Written together, no device may take an address whose command target is that of another
// device still to be written (its frames would reach the moved device too): such a device waits
// for the other; two that would swap targets are not written at all.
TEST(AddressBatchTest, WritesWaitForDevicesWhoseTargetTheirNewAddressTakes) {
    const auto move = [](const char* from, const char* to) {
        AddressAssignment a;
        a.oldAddress = from;
        a.newAddress = to;
        return a;
    };
    const std::vector<AddressAssignment> batch{
        move("10.0.0.11", "10.1.0.12"),  // 0: its new target is 1's present one
        move("10.0.0.12", "10.1.0.13"),  // 1: and 2's
        move("10.0.0.13", "10.1.7.50"),  // 2
        move("10.0.0.21", "10.1.0.22"),  // 3: swaps targets with 4
        move("10.0.0.22", "10.1.0.21"),  // 4
        move("10.0.0.31", "10.2.0.31"),  // 5: keeps its own target
    };
    std::vector<std::size_t> refused;
    const auto waves = AddressBatch::writeWaves(batch, {0, 1, 2, 3, 4, 5}, refused);
    EXPECT_EQ(waves, (std::vector<std::vector<std::size_t>>{{2, 5}, {1}, {0}}));
    EXPECT_EQ(refused, (std::vector<std::size_t>{3, 4}));
}
