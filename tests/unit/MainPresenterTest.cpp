#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/ops/forms/LoginForm.h"
#include "core/ops/forms/SettingsFlows.h"
#include "core/ops/presenter/Dialogs.h"
#include "core/ops/presenter/MainPresenter.h"
#include "core/text/Messages.h"
#include "support/RecordingNotifier.h"

using namespace tarvo;
using namespace tarvo::ops;

namespace {

// Everything the presenter asks of its surroundings, in one ordered log.
struct Script final : Dialogs, SettingsOperations, SearchTarget, DeviceActions {
    std::vector<std::string> log;
    std::deque<LoginDialogResult> logins;  // answers of the login dialog; empty: cancelled
    bool loginAccepted = true;
    std::uint32_t now = 100000;
    std::vector<protocol::LoginInfo> checked;
    std::vector<protocol::LoginInfo> rebooted;
    std::u16string url;
    std::function<void()> duringWait;

    LoginDialogResult runLogin(int port, bool nvrMode) override {
        log.push_back("login " + std::to_string(port) + (nvrMode ? " nvr" : ""));
        if (logins.empty()) return {};
        auto r = logins.front();
        logins.pop_front();
        return r;
    }
    void openUrl(std::u16string_view u) override {
        log.push_back("url");
        url = u;
    }
    void waitMs(int ms) override {
        log.push_back("wait " + std::to_string(ms));
        now += static_cast<std::uint32_t>(ms);
        if (duringWait) duringWait();
    }
    void runPreview(const protocol::LoginInfo& t) override {
        log.push_back("preview " + t.address + ":" + std::to_string(t.port) + " s" +
                      std::to_string(t.streamChoice) + " t" + std::to_string(t.deviceType));
    }
    void runCameraUpgrade(const std::string& a, int p) override {
        log.push_back("camUpgrade " + a + ":" + std::to_string(p));
    }
    void runNvrUpgrade(const std::string& a, int p) override {
        log.push_back("nvrUpgrade " + a + ":" + std::to_string(p));
    }
    void runNvrConfig(const std::string& a, int p) override {
        log.push_back("nvrConfig " + a + ":" + std::to_string(p));
    }
    bool cameraConfig(const std::string& a, int t, std::uint16_t p) override {
        log.push_back("camConfig " + a + " t" + std::to_string(t) + ":" + std::to_string(p));
        return true;
    }
    bool networkSettings(const std::string& a, int t) override {
        log.push_back("netSettings " + a + " t" + std::to_string(t));
        return true;
    }
    bool cloudSettings(const std::string& a) override {
        log.push_back("cloud " + a);
        return true;
    }

    void setIgnoreReplies(bool ignore) override { log.push_back(ignore ? "ignore" : "accept"); }
    void startSearch() override { log.push_back("startSearch"); }

    protocol::Outcome loginCheck(const protocol::LoginInfo& t) override {
        log.push_back("loginCheck");
        checked.push_back(t);
        return loginAccepted ? protocol::Outcome::success() : protocol::Outcome::silentFailure();
    }
    protocol::Outcome rebootDevice(const protocol::LoginInfo& t) override {
        log.push_back("reboot");
        rebooted.push_back(t);
        return protocol::Outcome::success();
    }

    static LoginDialogResult ok(int port, std::u16string user = u"admin", std::u16string pass = u"",
                                int stream = 0) {
        return {true, std::move(user), std::move(pass), port, stream};
    }
};

class PresenterTest : public ::testing::Test {
protected:
    Script s;
    test::RecordingNotifier notifier;
    MainPresenter p{s, notifier, s, s, [this] { return s.now; }};
    PresenterTest() { p.setSettings(&s); }

    void select(const char16_t* address, int type) { p.leftClick(RowHit{address, type}); }
    std::vector<std::u16string> messages() const { return notifier.texts(); }
};

using Log = std::vector<std::string>;

TEST_F(PresenterTest, EveryOperationWithoutSelectionOnlyAsksToSelect) {
    const std::vector<void (MainPresenter::*)()> operations = {
        &MainPresenter::preview,
        &MainPresenter::networkSettings,
        &MainPresenter::parameterConfiguration,
        &MainPresenter::upgrade,
        &MainPresenter::reboot,
        &MainPresenter::cloudSettings};
    for (auto op : operations) (p.*op)();
    EXPECT_TRUE(s.log.empty());
    EXPECT_EQ(messages(), std::vector<std::u16string>(
                              operations.size(), std::u16string(text::msg::kSelectDeviceFirst)));
}

TEST_F(PresenterTest, DvrGetsNothingAndNvrOnlyPreviewConfigurationUpgrade) {
    s.loginAccepted = true;
    select(u"127.0.0.31", 31);
    p.preview();
    p.networkSettings();
    p.parameterConfiguration();
    p.upgrade();
    p.reboot();
    p.cloudSettings();
    EXPECT_TRUE(s.log.empty());

    select(u"127.0.0.181", 181);
    s.logins = {Script::ok(5500), Script::ok(5500), Script::ok(5501)};
    p.networkSettings();
    p.reboot();
    p.cloudSettings();
    EXPECT_TRUE(s.log.empty());
    p.preview();
    p.parameterConfiguration();
    p.upgrade();
    EXPECT_EQ(s.log, (Log{"login 5500", "loginCheck", "preview 127.0.0.181:5500 s0 t181",
                          "login 5505 nvr", "nvrConfig 127.0.0.181:5500",  // no login check
                          "login 5505 nvr", "loginCheck", "nvrUpgrade 127.0.0.181:5501"}));
    EXPECT_TRUE(messages().empty());
}

TEST_F(PresenterTest, CameraOperationsUseTheirLoginSteps) {
    select(u"127.0.0.2", 100);
    s.logins = {Script::ok(5505, u"admin", u"pw", 2), Script::ok(5600), Script::ok(5505),
                Script::ok(5505), Script::ok(5505)};
    p.preview();
    p.upgrade();
    p.parameterConfiguration();
    p.cloudSettings();
    select(u"127.0.0.2", 100);  // the cloud settings cleared it
    p.networkSettings();
    select(u"127.0.0.2", 100);
    p.reboot();
    EXPECT_EQ(s.log,
              (Log{"login 5505", "loginCheck", "preview 127.0.0.2:5505 s2 t100", "login 5505",
                   "loginCheck", "camUpgrade 127.0.0.2:5600", "login 5505",
                   "camConfig 127.0.0.2 t100:5505", "login 5505", "loginCheck", "cloud 127.0.0.2",
                   "netSettings 127.0.0.2 t100", "login 5505", "reboot"}));
    ASSERT_FALSE(s.checked.empty());
    EXPECT_EQ(s.checked[0].user, "admin");
    EXPECT_EQ(s.checked[0].password, "pw");
    EXPECT_EQ(s.checked[0].deviceType, 100);
}

TEST_F(PresenterTest, RefusedLoginOrCancelEndsTheOperation) {
    select(u"127.0.0.2", 100);
    s.loginAccepted = false;
    s.logins = {Script::ok(5505), Script::ok(5505), Script::ok(5505)};
    p.preview();
    p.upgrade();
    p.cloudSettings();
    EXPECT_EQ(s.log, (Log{"login 5505", "loginCheck", "login 5505", "loginCheck", "login 5505",
                          "loginCheck"}));
    s.log.clear();
    p.reboot();  // cancelled dialog: nothing is sent
    p.preview();
    p.parameterConfiguration();
    EXPECT_EQ(s.log, (Log{"login 5505", "login 5505", "login 5505"}));
    EXPECT_TRUE(s.rebooted.empty());
}

TEST_F(PresenterTest, LongCredentialsBecomeEmptyAndLongAddressesAreCut) {
    p.leftClick(RowHit{std::u16string(70, u'1'), 100});
    s.logins = {Script::ok(5505, u"a-very-long-user-name", u"0123456789abcde")};
    p.reboot();
    ASSERT_EQ(s.rebooted.size(), 1u);
    EXPECT_EQ(s.rebooted[0].user, "");  // 21 bytes do not fit the 16-byte field
    EXPECT_EQ(s.rebooted[0].password, "0123456789abcde");
    EXPECT_EQ(s.rebooted[0].address.size(), 63u);
}

TEST_F(PresenterTest, SearchWaitsWithRepliesIgnoredAndIsDebounced) {
    bool startedDuringWait = false;
    s.duringWait = [&] {
        startedDuringWait = std::find(s.log.begin(), s.log.end(), "startSearch") != s.log.end();
    };
    p.search();
    EXPECT_EQ(s.log, (Log{"ignore", "wait 1000", "startSearch"}));
    EXPECT_FALSE(startedDuringWait);
    EXPECT_EQ(p.lastSearchTick(), 101000u);  // taken after the wait

    s.now += 3999;
    p.search();
    EXPECT_EQ(s.log.size(), 3u);
    s.now += 1;
    p.search();
    EXPECT_EQ(s.log.size(), 6u);
}

TEST_F(PresenterTest, SearchDebounceSurvivesTheTickWrap) {
    s.now = 0xFFFFF000u;  // 4096 ms before the wrap
    p.search();
    EXPECT_EQ(p.lastSearchTick(), 0xFFFFF000u + 1000u);
    s.now = 0xFFFFF000u + 1000u + 3000u;  // wrapped past zero, only 3 s later
    p.search();
    EXPECT_EQ(s.log.size(), 3u);
    s.now += 1000;
    p.search();
    EXPECT_EQ(s.log.size(), 6u);
}

TEST_F(PresenterTest, NoSecondOperationWhileOneRuns) {
    select(u"127.0.0.2", 100);
    s.duringWait = [&] {
        p.reboot();
        p.search();
    };
    p.search();
    EXPECT_EQ(s.log, (Log{"ignore", "wait 1000", "startSearch"}));
    EXPECT_FALSE(p.busy());
}

TEST_F(PresenterTest, SelectionRules) {
    EXPECT_EQ(p.leftClick(RowHit{u"127.0.0.5", 171}), std::optional<bool>(false));
    EXPECT_EQ(p.selectedType(), 171);
    EXPECT_EQ(p.leftClick(RowHit{u"127.0.0.6", 175}), std::optional<bool>(true));
    EXPECT_EQ(p.selectedAddress(), u"127.0.0.6");
    EXPECT_EQ(p.leftClick(std::nullopt), std::nullopt);  // beside the rows: button unchanged
    EXPECT_EQ(p.selectedAddress(), u"");
    EXPECT_EQ(p.selectedType(), 0);

    // A right click on an NVR replaces an earlier camera selection; "修改" then does nothing.
    select(u"127.0.0.2", 100);
    EXPECT_TRUE(p.rightClick(RowHit{u"127.0.0.181", 181}));
    p.networkSettings();
    EXPECT_TRUE(s.log.empty());
    EXPECT_FALSE(p.rightClick(std::nullopt));
    p.networkSettings();
    EXPECT_EQ(messages(),
              std::vector<std::u16string>{std::u16string(text::msg::kSelectDeviceFirst)});
}

TEST_F(PresenterTest, NetworkAndCloudSettingsClearTheSelectionWhateverTheOutcome) {
    const auto afterwards = [&] {
        s.log.clear();
        notifier.clear();
        s.logins = {Script::ok(5505)};
        p.reboot();
        return s.log.empty() && messages() == std::vector<std::u16string>{
                                                  std::u16string(text::msg::kSelectDeviceFirst)};
    };
    select(u"127.0.0.2", 100);
    p.networkSettings();  // the window's OK or Cancel is all the same here
    EXPECT_EQ(s.log, (Log{"netSettings 127.0.0.2 t100"}));
    EXPECT_EQ(p.selectedAddress(), u"");
    EXPECT_TRUE(afterwards());

    select(u"127.0.0.2", 100);
    s.log.clear();
    s.logins = {Script::ok(5505)};
    p.cloudSettings();
    EXPECT_EQ(s.log, (Log{"login 5505", "loginCheck", "cloud 127.0.0.2"}));
    EXPECT_TRUE(afterwards());

    // A refused login or a cancelled login dialog never reached the cloud dialog: the
    // selection stays, and so do the other operations' selections.
    select(u"127.0.0.2", 100);
    s.loginAccepted = false;
    s.logins = {Script::ok(5505)};
    p.cloudSettings();
    p.cloudSettings();  // cancelled
    EXPECT_EQ(p.selectedAddress(), u"127.0.0.2");
    s.logins = {Script::ok(5505)};
    p.parameterConfiguration();
    p.preview();
    EXPECT_EQ(p.selectedAddress(), u"127.0.0.2");
}

TEST_F(PresenterTest, DoubleClickOpensTheDevicePage) {
    select(u"127.0.0.2", 100);
    p.doubleClick(std::nullopt);
    EXPECT_TRUE(s.log.empty());
    EXPECT_EQ(p.selectedAddress(), u"");
    p.doubleClick(RowHit{u"127.0.0.9", 181});
    EXPECT_EQ(s.url, u"http://127.0.0.9");
    EXPECT_EQ(p.selectedType(), 181);
}

TEST(LoginPort, RangeIsInclusiveAndTextIsReadLikeAtoi) {
    EXPECT_TRUE(checkLoginPort(u"5000").valid);
    EXPECT_TRUE(checkLoginPort(u"6000").valid);
    EXPECT_FALSE(checkLoginPort(u"4999").valid);
    EXPECT_FALSE(checkLoginPort(u"6001").valid);
    EXPECT_FALSE(checkLoginPort(u"").valid);
    EXPECT_FALSE(checkLoginPort(u"abc").valid);
    EXPECT_EQ(checkLoginPort(u"abc").port, 0);
    EXPECT_EQ(checkLoginPort(u" 5505x").port, 5505);
    EXPECT_EQ(checkLoginPort(u"6001").port, 6001);  // kept even when refused
    // Ten characters and a terminator fit the buffer, eleven do not.
    EXPECT_EQ(checkLoginPort(u"0000005505").port, 5505);
    EXPECT_FALSE(checkLoginPort(u"00000005505").valid);
    EXPECT_FALSE(checkLoginPort(u"99999999999999999999").valid);
}

}  // namespace
