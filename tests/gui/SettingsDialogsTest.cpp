// The three settings windows through their widgets, from the main window's buttons, against the
// simulator: what the dialogs show, what goes out on the wire byte for byte, what the devices
// end up with, and the selection afterwards.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <nlohmann/json.hpp>

#include "GuiDriver.h"
#include "app/CTarvoDlg.h"
#include "controls/CSortListCtrl.h"
#include "controls/DialogUnits.h"
#include "controls/IpAddressEdit.h"
#include "core/text/Messages.h"
#include "dialogs/CIPCamConfigDlg.h"
#include "dialogs/CSetNet.h"
#include "dialogs/CSetOstra.h"
#include "support/SimProcess.h"

using namespace tarvo;
using namespace std::chrono_literals;
using gui::controlName;
using gui::CTarvoDlg;
using tarvo::test::ModalDriver;

namespace {

using namespace tarvo::test::mainButton;

const char* kSettingsFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "name": "cam", "password": "pw", "audio": 1,
   "netParams": {"mask": "255.0.0.0", "gateway": "127.0.0.1", "dns": "127.0.0.1", "httpPort": 65535,
                 "reserved": 4660, "dhcp": 0, "opaque": 3405691582}},
  {"ip": "127.0.0.3", "type": 175, "name": "decoder", "password": "pw", "audio": 1,
   "netParams": {"mask": "255.0.0.0", "gateway": "127.0.0.1", "dhcp": 1}},
  {"ip": "127.0.0.4", "type": 100, "version": "v00.00.21.06", "protocol": 1, "overlay": 1,
   "onvifSubStream": 1},
  {"ip": "127.0.0.5", "type": 89, "version": "v00.00.08.07", "resolution": 1},
  {"ip": "127.0.0.6", "type": 89, "version": "v00.00.08.08", "resolution": 1},
  {"ip": "127.0.0.7", "type": 100, "cloud": {"identity": "ID-7", "password": "old", "deviceId": -5}},
  {"ip": "127.0.9.9", "type": 100}, {"ip": "127.1.9.9", "type": 100}
]})";
constexpr int kSettingsFleetSize = 8;

template <typename W>
W* child(QWidget& dialog, int id) {
    auto* w = dialog.findChild<W*>(controlName(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
}

void setText(QWidget& dialog, int id, const QString& text) {
    auto* edit = child<QLineEdit>(dialog, id);
    edit->clear();
    QTest::keyClicks(edit, text);  // typed, so the address fields' validators take part
}

void press(QWidget& dialog, int id) {
    child<QPushButton>(dialog, id)->click();
}

QStringList labelTexts(QWidget& dialog) {
    QStringList out;
    for (auto* label : dialog.findChildren<QLabel*>())
        if (label->isVisibleTo(&dialog)) out << label->text();
    return out;
}

QStringList items(QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
    return out;
}

class SettingsDialogsTest : public ::testing::Test {
protected:
    void open(const char* lang = "zh_CN.UTF-8") {
        test::setLanguage(lang);
        sim = std::make_unique<test::SimProcess>(test::SimProcess::FleetText{kSettingsFleet});
        window = std::make_unique<CTarvoDlg>(CTarvoDlg::Options{}, nullptr);
        window->onInitDialog();
        window->show();
        ASSERT_TRUE(test::waitUntil([&] { return rows() == kSettingsFleetSize; }, 5s))
            << "rows: " << rows();
        // Type-89 rows are relabelled by their resolution replies; let those arrive.
        test::pump(300ms);
        sim->clear(true);
    }
    void TearDown() override {
        window.reset();
        sim.reset();
    }
    int rows() const { return window->list()->listModel()->rowCount(); }
    void select(const char* address) {
        const int row = test::rowOf(*window, QString::fromLatin1(address));
        ASSERT_GE(row, 0) << address;
        test::clickRow(*window, row);
        ASSERT_EQ(window->presenter().selectedAddress(),
                  QString::fromLatin1(address).toStdU16String());
    }
    // UDP frames the device received with this command code, as hex.
    std::vector<std::string> udpFrames(const std::string& ip, int command) const {
        const nlohmann::json device = sim->device(ip);
        std::vector<std::string> out;
        for (const auto& f : device["received"])
            if (f["transport"] == "udp" && f["command"] == command) out.push_back(f["hex"]);
        return out;
    }
    // The selection is gone: the next operation asks for one and opens nothing.
    void expectSelectionAskedFor(ModalDriver& driver) {
        EXPECT_EQ(window->presenter().selectedAddress(), u"");
        const auto before = driver.boxes.size();
        const int logins = driver.loginsSeen;
        test::clickButton(*window, kReboot);
        ASSERT_TRUE(test::waitUntil([&] { return driver.boxes.size() == before + 1; }, 2s));
        EXPECT_EQ(driver.boxes.back().text, QStringLiteral("请先选择设备"));
        EXPECT_EQ(driver.loginsSeen, logins);
    }

    std::unique_ptr<test::SimProcess> sim;
    std::unique_ptr<CTarvoDlg> window;
};

std::string repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

// The login request: user "admin" and `password`, each NUL-padded into 12 bytes.
std::string loginFrame(const std::string& target, const std::string& passwordHex) {
    return "0000" + target + "1e00" + "61646d696e" + std::string(14, '0') + passwordHex +
           std::string(24 - passwordHex.size(), '0');
}

TEST_F(SettingsDialogsTest, NetworkSettingsRefusalsKeepTheDialogOpenAndWriteNothing) {
    open();
    ModalDriver driver;
    select("127.0.0.2");
    QStringList labels;
    QString port, user, password, address, title;
    bool checksVisible = false, audioChecked = false, dhcpChecked = true;
    QSize size;
    driver.dialogs.push_back([&](QDialog& d) {
        title = d.windowTitle();
        size = d.size();
        labels = labelTexts(d);
        port = child<QLineEdit>(d, 1047)->text();
        EXPECT_TRUE(child<QLineEdit>(d, 1047)->isReadOnly());
        user = child<QLineEdit>(d, 1008)->text();
        password = child<QLineEdit>(d, 1009)->text();
        address = child<QLineEdit>(d, 1004)->text();
        checksVisible =
            child<QCheckBox>(d, 1028)->isVisible() && child<QCheckBox>(d, 1029)->isVisible();
        dhcpChecked = child<QCheckBox>(d, 1028)->isChecked();
        audioChecked = child<QCheckBox>(d, 1029)->isChecked();
        setText(d, 1009, "nope");
        press(d, 1);
    });
    driver.dialogs.push_back([&](QDialog& d) {
        EXPECT_EQ(child<QLineEdit>(d, 1009)->text(), QStringLiteral("nope"));  // still open
        setText(d, 1009, "pw");
        setText(d, 1004, "192.168.2.10");
        setText(d, 1005, "255.255.255.0");
        setText(d, 1006, "192.168.1.1");
        press(d, 1);
    });
    driver.dialogs.push_back([&](QDialog& d) {
        setText(d, 1005, "255.0.255.0");  // refused before the login goes out
        press(d, 1);
    });
    driver.dialogs.push_back([&](QDialog& d) { press(d, 2); });
    test::clickButton(*window, kNetwork);

    EXPECT_EQ(driver.others, (std::vector<QString>(4, QStringLiteral("CSetNet"))));
    EXPECT_EQ(title, QStringLiteral("网络设置修改"));
    EXPECT_EQ(size, gui::DialogUnits(window->netDialog()->font()).size(302, 154));
    for (const char* text :
         {"IP 地址:", "子网掩码:", "网关:", "DNS 服务器:", "HTTP端口:", "用户名:", "密码:"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;
    EXPECT_EQ(port, QStringLiteral("-1"));  // 65535 as the device's signed 16-bit value
    EXPECT_EQ(user, QStringLiteral("admin"));
    EXPECT_EQ(password, QString());
    EXPECT_EQ(address, QStringLiteral("127.0.0.2"));
    EXPECT_TRUE(checksVisible);
    EXPECT_TRUE(audioChecked);
    EXPECT_FALSE(dhcpChecked);

    ASSERT_EQ(driver.boxes.size(), 3u);
    EXPECT_EQ(driver.boxes[0].text, QStringLiteral("用户名密码错误"));
    EXPECT_EQ(driver.boxes[1].text, QStringLiteral("ip地址与网关不在一个网段! 请检查"));
    EXPECT_EQ(driver.boxes[1].title, QStringLiteral("Tarvo"));
    EXPECT_EQ(driver.boxes[2].text,
              QString::fromStdU16String(std::u16string(text::msg::kNetmaskNotContiguous)));

    EXPECT_EQ(udpFrames("127.0.0.2", 99), std::vector<std::string>{"630000020600"});
    EXPECT_EQ(udpFrames("127.0.0.2", 129), std::vector<std::string>{"810000020600"});
    EXPECT_EQ(udpFrames("127.0.0.2", 0), (std::vector<std::string>{loginFrame("0002", "6e6f7065"),
                                                                   loginFrame("0002", "7077")}));
    EXPECT_TRUE(udpFrames("127.0.0.2", 106).empty());
    EXPECT_TRUE(udpFrames("127.0.0.2", 128).empty());
    EXPECT_EQ(sim->device("127.0.0.2")["ip"], "127.0.0.2");
    expectSelectionAskedFor(driver);  // cleared on Cancel too
}

TEST_F(SettingsDialogsTest, DeviceThatDoesNotSendItsRecordGetsNoDialogAndNoWrite) {
    open();
    ModalDriver driver;
    select("127.0.0.2");
    sim->set("127.0.0.2", "dropUdp=true");  // listed, but the queries go unanswered
    test::clickButton(*window, kNetwork);
    ASSERT_TRUE(test::waitUntil([&] { return !driver.boxes.empty(); }, 3s));
    EXPECT_TRUE(driver.others.empty());
    EXPECT_EQ(driver.boxes[0].text, QString::fromUtf8("设备没有回复网络参数，没有修改任何设置"));
    test::pump(200ms);
    EXPECT_EQ(udpFrames("127.0.0.2", 99).size(), 1u);
    EXPECT_TRUE(udpFrames("127.0.0.2", 106).empty());
    EXPECT_TRUE(udpFrames("127.0.0.2", 128).empty());
}

TEST_F(SettingsDialogsTest, SettingsThatAnotherAddressWouldTakeAreRefusedBeforeAnythingIsSent) {
    open();
    ModalDriver driver;
    select("127.0.9.9");
    test::clickButton(*window, kNetwork);
    ASSERT_TRUE(test::waitUntil([&] { return !driver.boxes.empty(); }, 3s));
    EXPECT_TRUE(driver.others.empty());
    EXPECT_TRUE(driver.boxes[0].text.contains(QStringLiteral("127.1.9.9")))
        << driver.boxes[0].text.toStdString();
    test::pump(200ms);
    for (const char* ip : {"127.0.9.9", "127.1.9.9"})
        EXPECT_TRUE(sim->device(ip)["received"].empty());
}

TEST_F(SettingsDialogsTest, WrongPasswordInEnglish) {
    open("en_US.UTF-8");
    ModalDriver driver;
    select("127.0.0.2");
    QString title, okText, cancelText;
    driver.dialogs.push_back([&](QDialog& d) {
        title = d.windowTitle();
        okText = child<QPushButton>(d, 1)->text();
        cancelText = child<QPushButton>(d, 2)->text();
        press(d, 1);  // empty password
    });
    driver.dialogs.push_back([&](QDialog& d) { press(d, 2); });
    test::clickButton(*window, kNetwork);
    EXPECT_EQ(title, QStringLiteral("Net Set And Modify"));
    EXPECT_EQ(okText, QStringLiteral("OK"));
    EXPECT_EQ(cancelText, QStringLiteral("Cancel"));
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text, QStringLiteral("Username and password do not match "));
    EXPECT_EQ(udpFrames("127.0.0.2", 0).size(), 1u);
    EXPECT_TRUE(udpFrames("127.0.0.2", 106).empty());
}

TEST_F(SettingsDialogsTest, AcceptedAddressChangeMovesTheDeviceAndSearchesAtOnce) {
    open();
    ModalDriver driver;
    const QString mac = window->list()->listModel()->text(test::rowOf(*window, "127.0.0.2"), 2);
    select("127.0.0.2");
    driver.dialogs.push_back([&](QDialog& d) {
        setText(d, 1009, "pw");
        setText(d, 1004, "127.0.0.12");
        setText(d, 1007, "127.0.0.53");
        child<QCheckBox>(d, 1029)->click();  // audio off
        press(d, 1);
    });
    test::clickButton(*window, kNetwork);
    EXPECT_TRUE(driver.boxes.empty());

    // 106 to target 00 02, 34 bytes: the entered addresses, then port FFFF, reserved 1234,
    // DHCP 0 and opaque CAFEBABE exactly as the device sent them. Then 128 with audio 0.
    const auto writes = udpFrames("127.0.0.12", 106);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0],
              "6a0000022200"
              "7f00000c"
              "ff000000"
              "7f000001"
              "7f000035"
              "ffff"
              "3412"
              "00000000"
              "bebafeca");
    EXPECT_EQ(udpFrames("127.0.0.12", 128), std::vector<std::string>{"800000020a0000000000"});
    EXPECT_EQ(sim->device("127.0.0.12")["audio"], 0);

    // The list was emptied and searched again right away, not held back by the search button's
    // four seconds; the device is listed at its new address only.
    EXPECT_EQ(window->presenter().lastSearchTick(), 0u);
    ASSERT_TRUE(test::waitUntil([&] { return test::rowOf(*window, "127.0.0.12") >= 0; }, 3s));
    EXPECT_EQ(test::rowOf(*window, "127.0.0.2"), -1);
    EXPECT_EQ(window->list()->listModel()->text(test::rowOf(*window, "127.0.0.12"), 2), mac);
    expectSelectionAskedFor(driver);
}

TEST_F(SettingsDialogsTest, DecoderOpensWithoutTheSwitchesAndStillSendsThem) {
    open();
    ModalDriver driver;
    select("127.0.0.3");
    bool dhcpVisible = true, audioVisible = true;
    driver.dialogs.push_back([&](QDialog& d) {
        dhcpVisible = child<QCheckBox>(d, 1028)->isVisible();
        audioVisible = child<QCheckBox>(d, 1029)->isVisible();
        setText(d, 1009, "pw");
        press(d, 1);
    });
    test::clickButton(*window, kNetwork);
    EXPECT_FALSE(dhcpVisible);
    EXPECT_FALSE(audioVisible);
    const auto writes = udpFrames("127.0.0.3", 106);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].substr(12 + 40, 8), "01000000");  // DHCP on, as the device had it
    EXPECT_EQ(udpFrames("127.0.0.3", 128), std::vector<std::string>{"800000030a0001000000"});

    // The same dialog, reused, shows the switches again for a camera.
    select("127.0.0.2");
    driver.dialogs.push_back([&](QDialog& d) {
        dhcpVisible = child<QCheckBox>(d, 1028)->isVisible();
        audioVisible = child<QCheckBox>(d, 1029)->isVisible();
        press(d, 2);
    });
    test::clickButton(*window, kNetwork);
    EXPECT_TRUE(dhcpVisible);
    EXPECT_TRUE(audioVisible);
}

TEST_F(SettingsDialogsTest, CameraBelowItsMinimumVersionStillOpensAndWritesTheOptions) {
    open();
    ModalDriver driver;
    select("127.0.0.4");
    driver.logins.push_back(ModalDriver::confirm());
    QString title, ip, version;
    QStringList protocolItems, overlayItems, resolutionItems, subStreamItems, labels;
    int protocolIndex = -1, overlayIndex = -1, subStreamIndex = -1;
    bool protocolEnabled = true, resolutionEnabled = true;
    driver.dialogs.push_back([&](QDialog& d) {
        title = d.windowTitle();
        ip = child<QLineEdit>(d, 1054)->text();
        version = child<QLineEdit>(d, 1064)->text();
        labels = labelTexts(d);
        auto* protocol = child<QComboBox>(d, 1051);
        auto* overlay = child<QComboBox>(d, 1058);
        auto* resolution = child<QComboBox>(d, 1063);
        auto* subStream = child<QComboBox>(d, 1065);
        protocolItems = items(protocol);
        overlayItems = items(overlay);
        resolutionItems = items(resolution);
        subStreamItems = items(subStream);
        protocolIndex = protocol->currentIndex();
        overlayIndex = overlay->currentIndex();
        subStreamIndex = subStream->currentIndex();
        protocolEnabled = protocol->isEnabled();
        resolutionEnabled = resolution->isEnabled();
        overlay->setCurrentIndex(0);    // "显示"
        subStream->setCurrentIndex(1);  // "CIF"
        press(d, 1);
    });
    test::clickButton(*window, kParameters);

    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text, QStringLiteral("操作不支持，摄像机版本太低，请升级到最新版本"));
    EXPECT_EQ(driver.others, std::vector<QString>{QStringLiteral("CIPCamConfigDlg")});
    EXPECT_EQ(title, QStringLiteral("摄像机配置"));
    EXPECT_EQ(ip, QStringLiteral("127.0.0.4"));
    EXPECT_EQ(version, QStringLiteral("00.00.21.06"));
    EXPECT_EQ(protocolItems, (QStringList{"支持私有协议和Onvif协议", "仅支持私有协议"}));
    EXPECT_EQ(overlayItems, (QStringList{"显示", "不显示"}));
    EXPECT_EQ(resolutionItems, (QStringList{"不限制分辨率", "只支持100万"}));
    EXPECT_EQ(subStreamItems, (QStringList{"D1", "CIF"}));
    EXPECT_EQ(protocolIndex, 1);
    EXPECT_EQ(overlayIndex, 1);
    EXPECT_EQ(subStreamIndex, 0);
    EXPECT_FALSE(protocolEnabled);
    EXPECT_FALSE(resolutionEnabled);
    for (const char* note :
         {"* V系列00.00.08.08及以上版本有效", "* 建议使用Onvif时设置不显示",
          "* 修改后摄像机自动重启", "* 成功时弹出提示，失败无提示",
          "* 摄像机重启后配置生效，重启后验证。", "* 00.00.05.08及以上版本有效",
          "* 00.00.22.06及以上版本有效", "* 00.00.19.20及以上版本有效", "摄像机IP：",
          "摄像机版本：", "摄像机协议：", "主码流分辨率：", "图像上日期时间：", "Onvif 子码流："})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(note))) << note;

    EXPECT_EQ(udpFrames("127.0.0.4", 140), std::vector<std::string>{"8c0000040600"});
    EXPECT_EQ(udpFrames("127.0.0.4", 142), std::vector<std::string>{"8e0000040600"});
    EXPECT_EQ(udpFrames("127.0.0.4", 148), std::vector<std::string>{"940000040600"});
    EXPECT_EQ(udpFrames("127.0.0.4", 141), std::vector<std::string>{"8d0000040a0000000000"});
    EXPECT_EQ(udpFrames("127.0.0.4", 139), std::vector<std::string>{"8b0000040a0001000000"});
    EXPECT_EQ(udpFrames("127.0.0.4", 149), std::vector<std::string>{"950000040a0002000000"});
    EXPECT_TRUE(udpFrames("127.0.0.4", 144).empty());
    const auto camera = sim->device("127.0.0.4");
    EXPECT_EQ(camera["overlay"], 0);
    EXPECT_EQ(camera["onvifSubStream"], 2);
    EXPECT_EQ(camera["protocol"], 1);
    // The camera configuration keeps the selection.
    EXPECT_EQ(window->presenter().selectedAddress(), u"127.0.0.4");
}

TEST_F(SettingsDialogsTest, MacButtonSendsItsRequestAndTheAnswerComesAsAMessage) {
    open();
    ModalDriver driver;
    select("127.0.0.4");
    driver.logins.push_back(ModalDriver::confirm());
    driver.dialogs.push_back([&](QDialog& d) { press(d, 1060); });  // the reply brings a box
    driver.dialogs.push_back([&](QDialog& d) { press(d, 2); });
    test::clickButton(*window, kParameters);
    ASSERT_EQ(driver.boxes.size(), 2u);
    EXPECT_EQ(driver.boxes[1].text, QStringLiteral("摄像机已重新分配MAC地址，重启后生效"));
    EXPECT_EQ(udpFrames("127.0.0.4", 143), std::vector<std::string>{"8f0000040a0000000000"});
    EXPECT_EQ(sim->device("127.0.0.4")["macResets"], 1);
    // Cancel writes nothing.
    EXPECT_TRUE(udpFrames("127.0.0.4", 141).empty());
    EXPECT_TRUE(udpFrames("127.0.0.4", 149).empty());
}

TEST_F(SettingsDialogsTest, Type89ResolutionFollowsTheVersionRule) {
    open();
    ModalDriver driver;
    // 00.00.08.07: the combo is disabled and no 144 goes out.
    select("127.0.0.5");
    driver.logins.push_back(ModalDriver::confirm());
    bool enabled = true;
    int index = -1;
    driver.dialogs.push_back([&](QDialog& d) {
        enabled = child<QComboBox>(d, 1063)->isEnabled();
        press(d, 1);
    });
    test::clickButton(*window, kParameters);
    EXPECT_FALSE(enabled);
    EXPECT_TRUE(udpFrames("127.0.0.5", 144).empty());
    EXPECT_EQ(udpFrames("127.0.0.5", 149).size(), 1u);

    // 00.00.08.08: enabled, preselected from the row the camera's answer labelled, and sent.
    select("127.0.0.6");
    driver.logins.push_back(ModalDriver::confirm());
    driver.dialogs.push_back([&](QDialog& d) {
        auto* resolution = child<QComboBox>(d, 1063);
        enabled = resolution->isEnabled();
        index = resolution->currentIndex();
        resolution->setCurrentIndex(0);
        press(d, 1);
    });
    test::clickButton(*window, kParameters);
    EXPECT_TRUE(enabled);
    EXPECT_EQ(index, 1);  // "只支持100万", as the camera reported
    EXPECT_EQ(udpFrames("127.0.0.6", 144), std::vector<std::string>{"900000060a0000000000"});
    EXPECT_EQ(sim->device("127.0.0.6")["resolution"], 0);
}

TEST_F(SettingsDialogsTest, CloudPasswordOfSixtyThreeIsSetAndSixtyFourIsRefused) {
    open();
    ModalDriver driver;
    select("127.0.0.7");
    driver.logins.push_back(ModalDriver::confirm());
    QString identity, password, deviceId, title;
    bool identityHidden = false, deviceIdDisabled = false;
    const QString fits(63, QLatin1Char('k'));
    driver.dialogs.push_back([&](QDialog& d) {
        title = d.windowTitle();
        identity = child<QLineEdit>(d, 1026)->text();
        identityHidden = !child<QLineEdit>(d, 1026)->isVisible();
        password = child<QLineEdit>(d, 1027)->text();
        EXPECT_EQ(child<QLineEdit>(d, 1027)->echoMode(), QLineEdit::Normal);
        deviceId = child<QLineEdit>(d, 1030)->text();
        deviceIdDisabled = !child<QLineEdit>(d, 1030)->isEnabled();
        setText(d, 1027, fits);
        press(d, 1);
    });
    test::clickButton(*window, kCloud);
    EXPECT_EQ(title, QStringLiteral("云端设置"));
    EXPECT_EQ(identity, QStringLiteral("ID-7"));
    EXPECT_TRUE(identityHidden);
    EXPECT_EQ(password, QStringLiteral("old"));
    EXPECT_EQ(deviceId, QStringLiteral("-5"));
    EXPECT_TRUE(deviceIdDisabled);
    EXPECT_EQ(udpFrames("127.0.0.7", 124), std::vector<std::string>{"7c0000070600"});
    const auto sets = udpFrames("127.0.0.7", 123);
    ASSERT_EQ(sets.size(), 1u);
    // 123, target 00 07, 138 bytes: "ID-7", the new password, device ID -5.
    EXPECT_EQ(sets[0], "7b0000078a00" + std::string("49442d37") + std::string(120, '0') +
                           repeated("6b", 63) + "00" + "fbffffff");
    auto device = sim->device("127.0.0.7");
    EXPECT_EQ(device["cloud"]["password"], fits.toStdString());
    EXPECT_EQ(device["cloud"]["identity"], "ID-7");
    EXPECT_EQ(device["cloud"]["deviceId"], -5);
    expectSelectionAskedFor(driver);

    // 64 characters do not fit: the dialog says so, stays open and sends nothing.
    select("127.0.0.7");
    sim->clear(true);
    driver.logins.push_back(ModalDriver::confirm());
    bool stayed = false;
    driver.dialogs.push_back([&](QDialog& d) {
        password = child<QLineEdit>(d, 1027)->text();
        setText(d, 1027, QString(64, QLatin1Char('x')));
        press(d, 1);
        stayed = d.isVisible();
        press(d, 2);
    });
    const auto boxesBefore = driver.boxes.size();
    test::clickButton(*window, kCloud);
    EXPECT_EQ(password, fits);
    EXPECT_TRUE(stayed);
    ASSERT_GT(driver.boxes.size(), boxesBefore);
    EXPECT_EQ(driver.boxes[boxesBefore].text,
              QStringLiteral("云端连接密码太长（最多 63 个字节），没有修改任何设置"));
    EXPECT_TRUE(udpFrames("127.0.0.7", 123).empty());
    EXPECT_EQ(sim->device("127.0.0.7")["cloud"]["password"], fits.toStdString());
    expectSelectionAskedFor(driver);

    // Cancel sends nothing and clears the selection as well.
    select("127.0.0.7");
    sim->clear(true);
    driver.logins.push_back(ModalDriver::confirm());
    driver.dialogs.push_back([&](QDialog& d) { press(d, 2); });
    test::clickButton(*window, kCloud);
    EXPECT_TRUE(udpFrames("127.0.0.7", 123).empty());
    expectSelectionAskedFor(driver);
    for (int id : {kNetwork, kParameters, kCloud}) {
        const auto before = driver.boxes.size();
        test::clickButton(*window, id);
        ASSERT_TRUE(test::waitUntil([&] { return driver.boxes.size() == before + 1; }, 2s));
        EXPECT_EQ(driver.boxes.back().text, QStringLiteral("请先选择设备"));
    }
}

}  // namespace

namespace {

// The address fields read like address controls: what the fields show is what goes out.
TEST(IpAddressEditTest, TakesOnlyDottedFieldsAndReadsBlankFieldsAsZero) {
    gui::IpAddressEdit edit;
    auto typed = [&](const char* keys) {
        edit.clear();
        QTest::keyClicks(&edit, QString::fromLatin1(keys));
        return edit.text();
    };
    EXPECT_EQ(typed("192.168.1.10"), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(edit.dottedText(), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(typed("300"), QStringLiteral("30"));  // a field above 255 cannot be typed
    EXPECT_EQ(typed("1.2.3.4.5"), QStringLiteral("1.2.3.45"));
    EXPECT_EQ(typed("abc10"), QStringLiteral("10"));
    EXPECT_EQ(typed("192.168.1"), QStringLiteral("192.168.1"));
    EXPECT_EQ(edit.dottedText(), QStringLiteral("192.168.1.0"));
    EXPECT_EQ(typed("10..5"), QStringLiteral("10..5"));
    EXPECT_EQ(edit.dottedText(), QStringLiteral("10.0.5.0"));
    edit.clear();
    EXPECT_EQ(edit.dottedText(), QStringLiteral("0.0.0.0"));
}

}  // namespace
