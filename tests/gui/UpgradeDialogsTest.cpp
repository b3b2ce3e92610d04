// The firmware upgrade windows and the NVR configuration window, through their widgets, against
// the simulator. The open-file dialog is replaced by a chooser that names the test's files.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "GuiDriver.h"
#include "app/CTarvoDlg.h"
#include "common/UiText.h"
#include "controls/CSortListCtrl.h"
#include "controls/DialogUnits.h"
#include "core/net/Socket.h"
#include "core/text/Messages.h"
#include "core/text/Translate.h"
#include "core/upgrade/DeviceUploads.h"
#include "core/upgrade/UploadSlot.h"
#include "support/FakeNvrPeer.h"
#include "support/SimProcess.h"
#include "support/ThreadNames.h"
#include "upgrade/CBatchUpgradeDlg.h"
#include "upgrade/CNVRConfigDlg.h"
#include "upgrade/CNVRUpgradeDlg.h"
#include "upgrade/CUpGrade.h"

using namespace tarvo;
using namespace std::chrono_literals;
using tarvo::test::ModalDriver;

namespace {

const char* kUpgradeFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "name": "Cam", "version": "v00.00.02.08"},
  {"ip": "127.0.0.3", "type": 181, "name": "NVR", "version": "v8.9.1", "outputResolution": 4},
  {"ip": "127.0.0.4", "type": 100, "version": "v00.00.02.08", "uploadResetAfter": 40000},
  {"ip": "127.0.0.6", "type": 181, "uploadResetAfter": 40000},
  {"ip": "127.0.0.7", "type": 181, "outputResolution": 6},
  {"ip": "127.0.0.10", "type": 100, "version": "v00.00.02.08", "uploadReadRate": 300000},
  {"ip": "127.0.0.11", "type": 100, "tcpSilent": true}
]})";

using tarvo::test::q;

template <typename T>
T* control(QWidget& dialog, int id) {
    return dialog.findChild<T*>(gui::controlName(id));
}

// The dialog has its answer from the device (or gave up on it): they ask off the window's
// thread once shown.
template <typename Dialog>
bool settled(Dialog& dialog) {
    return test::waitUntil([&] { return !dialog.waiting(); }, 15s);
}

// Closes the dialog once it has its answer from the device.
template <typename Dialog>
ModalDriver::DialogAnswer closeWhenSettled() {
    return [](QDialog& dialog) {
        auto* poll = new QTimer(&dialog);
        QObject::connect(poll, &QTimer::timeout, &dialog, [&dialog, poll] {
            if (static_cast<Dialog&>(dialog).waiting()) return;
            poll->stop();
            dialog.reject();
        });
        poll->start(20);
    };
}

class UpgradeDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::setLanguage("zh_CN.UTF-8");
        sim = std::make_unique<test::SimProcess>(test::SimProcess::FleetText{kUpgradeFleet});
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-gui-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        sim.reset();
        std::filesystem::remove_all(dir);
    }

    // A file of random bytes in the test's directory.
    QString package(const std::string& name, std::uint64_t size) const {
        const std::string path = dir + "/" + name;
        std::ofstream out(path, std::ios::binary);
        std::mt19937_64 random(size);
        std::vector<std::uint64_t> block(8192);
        for (std::uint64_t left = size; left > 0;) {
            for (auto& word : block) word = random();
            const auto n = std::min<std::uint64_t>(left, block.size() * 8);
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
            left -= n;
        }
        return QString::fromStdString(path);
    }
    static std::string sha256Of(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&file);
        return hash.result().toHex().toStdString();
    }
    nlohmann::json uploads(const std::string& ip) const { return sim->device(ip)["uploads"]; }
    std::vector<std::string> tcpFrames(const std::string& ip, int command) const {
        std::vector<std::string> out;
        const nlohmann::json device = sim->device(ip);  // the loop below reads into it
        for (const auto& f : device["received"]) {
            if (f["transport"] == "tcp" && f["command"] == command) out.push_back(f["hex"]);
        }
        return out;
    }
    // Makes the dialog's Browse return `paths` one after the other, and records the filters.
    template <typename Dialog>
    void choose(Dialog& dialog, std::vector<QString> paths) {
        chosen = std::move(paths);
        dialog.setFileChooser([this](QWidget*, const QString& filter) {
            filters.push_back(filter);
            if (chosen.empty()) return QString();
            QString next = chosen.front();
            chosen.erase(chosen.begin());
            return next;
        });
    }
    static void click(QWidget& dialog, int id) {
        auto* button = control<QPushButton>(dialog, id);
        ASSERT_NE(button, nullptr) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    std::unique_ptr<test::SimProcess> sim;
    std::string dir;
    std::vector<QString> chosen;
    std::vector<QString> filters;
};

// Watches a dialog: finished, and the largest progress position it showed while visible.
struct DialogWatch {
    explicit DialogWatch(QDialog& dialog, int progressId) {
        QObject::connect(&dialog, &QDialog::finished, [this](int) { ++finished; });
        auto* bar = control<QProgressBar>(dialog, progressId);
        QObject::connect(bar, &QProgressBar::valueChanged, [this, bar](int value) {
            largest = std::max(largest, value);
            shownWhileRunning = shownWhileRunning || bar->isVisible();
        });
    }
    int finished = 0;
    int largest = -1;
    bool shownWhileRunning = false;
};

}  // namespace

TEST_F(UpgradeDialogsTest, CameraLayoutAndTheSixtyFourMebibytePackageArrivesWhole) {
    ModalDriver driver;
    const QString path = package("IPC_update_00.00.03.08.img", 64u << 20);
    gui::CUpGrade dialog;
    dialog.SetTarget(5505, "127.0.0.2");
    choose(dialog, {path});
    DialogWatch watch(dialog, 1034);
    dialog.show();
    EXPECT_TRUE(settled(dialog));

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("摄像机升级"));
    const gui::DialogUnits du(dialog.font());
    EXPECT_EQ(dialog.size(), du.size(355, 193));
    EXPECT_EQ(control<QLabel>(dialog, 1037)->text(), QStringLiteral("v00.00.02.08"));
    EXPECT_FALSE(control<QPushButton>(dialog, 3)->isVisible());
    EXPECT_EQ(control<QPushButton>(dialog, 3)->text(), QStringLiteral("检查版本"));
    EXPECT_FALSE(control<QProgressBar>(dialog, 1034)->isVisible());
    EXPECT_FALSE(control<QLabel>(dialog, 1035)->isVisible());
    EXPECT_EQ(control<QLabel>(dialog, 1035)->text(), QStringLiteral("正在升级......"));
    EXPECT_EQ(control<QPushButton>(dialog, 1)->geometry(), du.rect({227, 169, 54, 17}));
    EXPECT_EQ(control<QLineEdit>(dialog, 1032)->geometry(), du.rect({86, 34, 183, 15}));

    click(dialog, 4);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0], QStringLiteral("(*.img);;(*.tar.gz);;All Files (*)"));
    EXPECT_EQ(control<QLineEdit>(dialog, 1032)->text(), path);

    click(dialog, 1);
    ASSERT_TRUE(test::waitUntil([&] { return watch.finished == 1; }, 100s));
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text, q(text::msg::kCameraUpgradeStarted));
    EXPECT_EQ(driver.boxes[0].title, QStringLiteral("Tarvo"));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    auto* bar = control<QProgressBar>(dialog, 1034);
    EXPECT_TRUE(watch.shownWhileRunning);
    EXPECT_EQ(bar->maximum(), 2048);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(watch.largest, 2048);
    EXPECT_FALSE(bar->isVisible());

    const auto seen = uploads("127.0.0.2");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["name"], "IPC_update_00.00.03.08.img");
    EXPECT_EQ(seen[0]["received"], 64u << 20);
    EXPECT_EQ(seen[0]["sha256"], sha256Of(path));
    EXPECT_TRUE(seen[0]["complete"].get<bool>());
    // The camera's connection outlives the dialog, ready for the next one.
    std::lock_guard guard(upgrade::g_cameraUpgradeSocket.mutex);
    EXPECT_TRUE(upgrade::g_cameraUpgradeSocket.socket.valid());
}

TEST_F(UpgradeDialogsTest, CameraSwallowsEnterAndEscapeAndRefusesAPackageThatIsNotNewer) {
    ModalDriver driver;
    const QString same = package("IPC_update_00.00.02.08.img", 5000);
    const QString newer = package("IPC_update_00.00.03.08.img", 3 * 32768 + 100);
    gui::CUpGrade dialog;
    dialog.SetTarget(5505, "127.0.0.2");
    choose(dialog, {same, newer});
    DialogWatch watch(dialog, 1034);
    dialog.show();
    EXPECT_TRUE(settled(dialog));
    click(dialog, 4);

    // Neither key starts the upload nor closes the dialog, wherever the focus is.
    control<QPushButton>(dialog, 1)->setFocus();
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(&dialog, key);
        QTest::keyClick(control<QPushButton>(dialog, 1), key);
        QTest::keyClick(control<QLineEdit>(dialog, 1032), key);
    }
    test::pump(300ms);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(watch.finished, 0);
    EXPECT_TRUE(uploads("127.0.0.2").empty());

    // Same version as the camera's: nothing is sent, nothing is said.
    click(dialog, 1);
    ASSERT_TRUE(test::waitUntil([&] { return !dialog.uploader().running(); }, 5s));
    test::pump(300ms);
    EXPECT_TRUE(driver.boxes.empty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(uploads("127.0.0.2").empty());
    EXPECT_TRUE(tcpFrames("127.0.0.2", 102).empty());

    click(dialog, 4);
    click(dialog, 1);
    ASSERT_TRUE(test::waitUntil([&] { return watch.finished == 1; }, 20s));
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text, q(text::msg::kCameraUpgradeStarted));
    const auto seen = uploads("127.0.0.2");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["name"], "IPC_update_00.00.03.08.img");
    EXPECT_EQ(seen[0]["sha256"], sha256Of(newer));
    // Four pieces on a range of 0..3: the bar stays full at the end.
    EXPECT_EQ(control<QProgressBar>(dialog, 1034)->maximum(), 3);
    EXPECT_EQ(watch.largest, 3);
}

TEST_F(UpgradeDialogsTest, CameraResetMidUploadFailsAndTheDialogTakesASecondTry) {
    ModalDriver driver;
    const QString path = package("IPC_update_00.00.03.08.img", 300000);
    gui::CUpGrade dialog;
    dialog.SetTarget(5505, "127.0.0.4");
    choose(dialog, {path});
    DialogWatch watch(dialog, 1034);
    dialog.show();
    EXPECT_TRUE(settled(dialog));
    click(dialog, 4);
    click(dialog, 1);
    ASSERT_TRUE(test::waitUntil([&] { return driver.boxes.size() == 1; }, 20s));
    EXPECT_EQ(driver.boxes[0].text, QStringLiteral("升级失败"));
    test::pump(200ms);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(watch.finished, 0);
    EXPECT_FALSE(control<QProgressBar>(dialog, 1034)->isVisible());
    EXPECT_FALSE(control<QLabel>(dialog, 1035)->isVisible());
    EXPECT_FALSE(upgrade::DeviceUploads::receiving("127.0.0.4"));

    sim->set("127.0.0.4", "uploadResetAfter=-1");
    click(dialog, 1);
    ASSERT_TRUE(test::waitUntil([&] { return watch.finished == 1; }, 20s));
    ASSERT_EQ(driver.boxes.size(), 2u);
    EXPECT_EQ(driver.boxes[1].text, q(text::msg::kCameraUpgradeStarted));
    const auto seen = uploads("127.0.0.4");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0]["complete"].get<bool>());
    EXPECT_TRUE(seen[1]["complete"].get<bool>());
    EXPECT_EQ(seen[1]["sha256"], sha256Of(path));
}

TEST_F(UpgradeDialogsTest, ClosingTheCameraDialogDuringAnUploadLeavesNoWorker) {
    ModalDriver driver;
    // About 28 s at the simulator's reading rate: it is still running when the dialog closes.
    const QString path = package("IPC_update_00.00.03.08.img", 8u << 20);
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "cancel button");
        auto dialog = std::make_unique<gui::CUpGrade>();
        dialog->SetTarget(5505, "127.0.0.10");
        choose(*dialog, {path});
        dialog->show();
        EXPECT_TRUE(settled(*dialog));
        test::pump(200ms);
        // A sanitizer starts its helper thread with the first thread made: let that happen first.
        std::thread([] {}).join();
        const auto threadsBefore = test::threadNames();
        click(*dialog, 4);
        click(*dialog, 1);
        auto* bar = control<QProgressBar>(*dialog, 1034);
        ASSERT_TRUE(test::waitUntil([&] { return bar->isVisible() && bar->value() >= 2; }, 10s));
        EXPECT_TRUE(upgrade::DeviceUploads::receiving("127.0.0.10"));

        QElapsedTimer clock;
        clock.start();
        if (closeBox) {
            dialog->close();
        } else {
            click(*dialog, 2);
        }
        // Stopped and joined before the dialog went away, well before a 5 s time-out would.
        EXPECT_LT(clock.elapsed(), 4000);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_FALSE(dialog->uploader().running());
        EXPECT_FALSE(upgrade::DeviceUploads::receiving("127.0.0.10"));
        EXPECT_FALSE(upgrade::g_cameraUpgradeSocket.claimed.load());
        EXPECT_EQ(test::threadNames(), threadsBefore);
        dialog.reset();
        test::pump(300ms);  // reports the worker posted before it ended find no dialog
        EXPECT_TRUE(driver.boxes.empty());
    }
    const auto seen = uploads("127.0.0.10");
    ASSERT_EQ(seen.size(), 2u);
    for (const auto& upload : seen) EXPECT_FALSE(upload["complete"].get<bool>());

    // A new dialog connects afresh and uploads.
    sim->set("127.0.0.10", "uploadReadRate=0");
    const QString small = package("IPC_update_00.00.04.08.img", 70000);
    gui::CUpGrade dialog;
    dialog.SetTarget(5505, "127.0.0.10");
    choose(dialog, {small});
    DialogWatch watch(dialog, 1034);
    dialog.show();
    EXPECT_TRUE(settled(dialog));
    click(dialog, 4);
    click(dialog, 1);
    ASSERT_TRUE(test::waitUntil([&] { return watch.finished == 1; }, 20s));
    EXPECT_EQ(uploads("127.0.0.10").back()["sha256"], sha256Of(small));
}

TEST_F(UpgradeDialogsTest, ClosingTheBatchDuringALoginToASilentCameraDoesNotWaitForIt) {
    ModalDriver driver;
    const QString path = package("IPC_update_00.00.03.08.img", 1000);
    gui::CBatchUpgradeDlg batch({{"127.0.0.11", 100, true, u"cam"}});
    batch.chooseFile_ = [&](QWidget*) { return path; };
    batch.show();
    const auto buttons = batch.findChildren<QPushButton*>();
    buttons[0]->click();  // Browse
    buttons[1]->click();  // Upgrade
    // After the package check, which waits for the silent camera's version in vain.
    ASSERT_TRUE(test::waitUntil([&] { return !sim->device("127.0.0.11")["logins"].empty(); }, 15s));
    const auto start = std::chrono::steady_clock::now();
    batch.reject();
    // The camera would have held the login for five seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(batch.isVisible());
    EXPECT_TRUE(driver.boxes.empty());
}

TEST_F(UpgradeDialogsTest, BatchWithOneDeviceFirstStopsWhenItKeepsItsOldVersion) {
    ModalDriver driver;
    const QString path = package("IPC_update_00.00.03.08.img", 1000);
    gui::CBatchUpgradeDlg batch(
        {{"127.0.0.2", 100, true, u"cam"}, {"127.0.0.10", 100, true, u"b"}});
    batch.chooseFile_ = [&](QWidget*) { return path; };
    batch.waitForDevice_ = 2s;
    batch.show();
    batch.findChild<QCheckBox*>(QStringLiteral("canary"))->setChecked(true);
    const auto buttons = batch.findChildren<QPushButton*>();
    buttons[0]->click();  // Browse
    buttons[1]->click();  // Upgrade
    auto* table = batch.findChild<QTableWidget*>(QStringLiteral("devices"));
    const auto result = [&](int row) { return table->item(row, table->columnCount() - 1)->text(); };
    const QString notStarted = gui::uiText(text::msg::kGuardNotStarted);
    ASSERT_TRUE(test::waitUntil([&] { return result(1) == notStarted; }, 30s))
        << result(1).toStdString();
    EXPECT_EQ(result(0), gui::uiText(text::formatText(text::tr(text::msg::kGuardOldVersionFormat),
                                                      {u"v00.00.02.08"})));
    EXPECT_EQ(sim->device("127.0.0.2")["uploads"].size(), 1u);
    EXPECT_TRUE(sim->device("127.0.0.10")["logins"].empty());
    EXPECT_TRUE(sim->device("127.0.0.10")["uploads"].empty());
}

// A camera slow to say its version: its row says so (not a bare "failed" nor a wrong package),
// and the others are upgraded all the same.
TEST_F(UpgradeDialogsTest, BatchRowOfACameraSlowToSayItsVersionSaysWhy) {
    ModalDriver driver;
    const QString path = package("IPC_update_00.00.03.08.img", 1000);
    sim->set("127.0.0.10", "versionDelayMs=8000");
    gui::CBatchUpgradeDlg batch(
        {{"127.0.0.2", 100, true, u"cam"}, {"127.0.0.10", 100, true, u"slow"}});
    batch.chooseFile_ = [&](QWidget*) { return path; };
    batch.waitForDevice_ = 2s;
    batch.show();
    const auto buttons = batch.findChildren<QPushButton*>();
    buttons[0]->click();  // Browse
    buttons[1]->click();  // Upgrade
    EXPECT_EQ(batch.cursor().shape(), Qt::BusyCursor);  // the window works for a while
    auto* table = batch.findChild<QTableWidget*>(QStringLiteral("devices"));
    const auto result = [&](int row) { return table->item(row, table->columnCount() - 1)->text(); };
    const QString why = gui::uiText(
        text::formatText(text::tr(text::msg::kVersionNoAnswerFormat), {u"127.0.0.10", u"5"}));
    const bool told = test::waitUntil([&] { return result(1) == why; }, 40s);
    sim->set("127.0.0.10", "versionDelayMs=0");
    ASSERT_TRUE(told) << result(1).toStdString();
    EXPECT_TRUE(sim->device("127.0.0.10")["uploads"].empty());
    EXPECT_EQ(sim->device("127.0.0.2")["uploads"].size(), 1u) << result(0).toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return buttons[1]->isEnabled(); }, 30s));
    EXPECT_EQ(batch.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(UpgradeDialogsTest, BatchSendsNothingWhenThePackageDoesNotFitOneDevice) {
    // One device first, and the last camera is of another type (its version ends in 09): the
    // batch stops before the first frame, the matching cameras included.
    ModalDriver driver;
    const QString path = package("IPC_update_00.00.03.08.img", 1000);
    sim->set("127.0.0.10", "version=v00.00.02.09");
    gui::CBatchUpgradeDlg batch({{"127.0.0.2", 100, true, u"cam"},
                                 {"127.0.0.4", 100, true, u"b"},
                                 {"127.0.0.10", 100, true, u"c"}});
    batch.chooseFile_ = [&](QWidget*) { return path; };
    batch.waitForDevice_ = 2s;
    batch.show();
    batch.findChild<QCheckBox*>(QStringLiteral("canary"))->setChecked(true);
    const auto buttons = batch.findChildren<QPushButton*>();
    buttons[0]->click();  // Browse
    buttons[1]->click();  // Upgrade
    auto* table = batch.findChild<QTableWidget*>(QStringLiteral("devices"));
    const auto result = [&](int row) { return table->item(row, table->columnCount() - 1)->text(); };
    const QString misfit =
        gui::uiText(text::formatText(text::tr(text::msg::kCameraPackageNameFormat), {u"09"}));
    const bool told = test::waitUntil([&] { return result(2) == misfit; }, 30s);
    sim->set("127.0.0.10", "version=v00.00.02.08");
    ASSERT_TRUE(told) << result(2).toStdString();
    const QString notStarted = gui::uiText(
        text::formatText(text::tr(text::msg::kGuardNotStartedMisfitFormat), {u"127.0.0.10"}));
    EXPECT_TRUE(test::waitUntil([&] { return result(0) == notStarted; }, 5s))
        << result(0).toStdString();
    EXPECT_EQ(result(1), notStarted);
    for (const char* ip : {"127.0.0.2", "127.0.0.4", "127.0.0.10"}) {
        EXPECT_TRUE(sim->device(ip)["uploads"].empty()) << ip;
        EXPECT_TRUE(sim->device(ip)["logins"].empty()) << ip;
    }
}

TEST_F(UpgradeDialogsTest, NvrUploadClosesTheDialogAfterSuccessAndFailureAndConnectsAnew) {
    ModalDriver driver;
    const QString uboot = package("uboot.bin", 100000);
    // Counts the done events the dialog gets.
    struct DoneCounter final : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == static_cast<QEvent::Type>(11000)) ++count;
            return false;
        }
    };

    {
        gui::CNVRUpgradeDlg dialog;
        dialog.SetTarget(5500, "127.0.0.3");
        DoneCounter done;
        dialog.installEventFilter(&done);
        choose(dialog, {uboot});
        DialogWatch watch(dialog, 1068);
        dialog.show();
        EXPECT_TRUE(settled(dialog));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("NVR升级"));
        EXPECT_EQ(dialog.size(), gui::DialogUnits(dialog.font()).size(346, 186));
        EXPECT_EQ(control<QLineEdit>(dialog, 1040)->text(), QStringLiteral("127.0.0.3"));
        EXPECT_EQ(control<QLineEdit>(dialog, 1071)->text(), QStringLiteral("v8.9.1"));
        for (int id : {1040, 1071, 1066}) EXPECT_TRUE(control<QLineEdit>(dialog, id)->isReadOnly());
        EXPECT_FALSE(control<QPushButton>(dialog, 1)->isEnabled());
        EXPECT_FALSE(control<QProgressBar>(dialog, 1068)->isVisible());

        click(dialog, 1067);
        EXPECT_EQ(filters.back(), QStringLiteral("All Files (*)"));
        EXPECT_EQ(control<QLineEdit>(dialog, 1066)->text(), uboot);
        EXPECT_EQ(control<QLabel>(dialog, 1035)->text(), QStringLiteral("你选择了升级 uboot"));
        EXPECT_TRUE(control<QPushButton>(dialog, 1)->isEnabled());
        click(dialog, 1);
        ASSERT_TRUE(test::waitUntil([&] { return watch.finished == 1; }, 20s));
        ASSERT_EQ(driver.boxes.size(), 1u);
        EXPECT_EQ(driver.boxes[0].text, q(text::msg::kNvrUpgradeStarted));
        EXPECT_EQ(done.count, 1);
        EXPECT_TRUE(watch.shownWhileRunning);
        EXPECT_EQ(watch.largest, 3);
        const auto seen = uploads("127.0.0.3");
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0]["name"], "uboot.bin");
        EXPECT_EQ(seen[0]["sha256"], sha256Of(uboot));
        std::lock_guard guard(upgrade::g_nvrUpgradeSocket.mutex);
        EXPECT_FALSE(upgrade::g_nvrUpgradeSocket.socket.valid());
    }
    EXPECT_EQ(tcpFrames("127.0.0.3", 231).size(), 1u);

    // The next dialog connects and asks again; cancelling it closes its connection too.
    {
        gui::CNVRUpgradeDlg dialog;
        dialog.SetTarget(5500, "127.0.0.3");
        dialog.show();
        EXPECT_TRUE(settled(dialog));
        EXPECT_EQ(control<QLineEdit>(dialog, 1071)->text(), QStringLiteral("v8.9.1"));
        click(dialog, 2);
        EXPECT_FALSE(dialog.isVisible());
        std::lock_guard guard(upgrade::g_nvrUpgradeSocket.mutex);
        EXPECT_FALSE(upgrade::g_nvrUpgradeSocket.socket.valid());
    }
    EXPECT_EQ(tcpFrames("127.0.0.3", 231).size(), 2u);

    // A reset while streaming: the NVR's failure text, and the dialog closes all the same.
    {
        const QString kernel = package("kernel.img", 300000);
        gui::CNVRUpgradeDlg dialog;
        dialog.SetTarget(5500, "127.0.0.6");
        DoneCounter done;
        dialog.installEventFilter(&done);
        choose(dialog, {kernel});
        DialogWatch watch(dialog, 1068);
        dialog.show();
        EXPECT_TRUE(settled(dialog));
        click(dialog, 1067);
        EXPECT_EQ(control<QLabel>(dialog, 1035)->text(), QStringLiteral("你选择了升级 内核"));
        click(dialog, 1);
        ASSERT_TRUE(test::waitUntil([&] { return watch.finished == 1; }, 40s));
        ASSERT_EQ(driver.boxes.size(), 2u);
        EXPECT_EQ(driver.boxes[1].text, QStringLiteral("升级失败, 请检查网络、选择正确的升级文件"));
        EXPECT_EQ(done.count, 1);
        std::lock_guard guard(upgrade::g_nvrUpgradeSocket.mutex);
        EXPECT_FALSE(upgrade::g_nvrUpgradeSocket.socket.valid());
    }
}

TEST_F(UpgradeDialogsTest, NvrPartIsToldByTheFileNamePrefix) {
    ModalDriver driver;
    gui::CNVRUpgradeDlg dialog;
    dialog.SetTarget(5500, "127.0.0.3");
    const auto path = [&](const char* name) { return QString::fromStdString(dir + "/" + name); };
    choose(dialog, {path("uboot.bin"), path("environment.img"), path("Uboot.bin"),
                    path("rootfs.squashfs"), path("my_kernel"), path("kernel")});
    dialog.show();
    EXPECT_TRUE(settled(dialog));
    auto* upgrade = control<QPushButton>(dialog, 1);
    auto* part = control<QLabel>(dialog, 1035);
    const QString wrong = QStringLiteral("你选择了错误的升级文件");
    const std::pair<const char*, const char*> expected[] = {
        {"uboot.bin", "你选择了升级 uboot"},
        {"environment.img", "你选择了升级 环境变量"},
        {"Uboot.bin", nullptr},
        {"rootfs.squashfs", "你选择了升级 文件系统"},
        {"my_kernel", nullptr},
        {"kernel", "你选择了升级 内核"}};
    std::size_t boxes = 0;
    for (const auto& [name, shown] : expected) {
        SCOPED_TRACE(name);
        click(dialog, 1067);
        EXPECT_EQ(control<QLineEdit>(dialog, 1066)->text(), path(name));
        EXPECT_TRUE(part->isVisible());
        if (shown != nullptr) {
            EXPECT_EQ(part->text(), QString::fromUtf8(shown));
            EXPECT_TRUE(upgrade->isEnabled());
            EXPECT_EQ(driver.boxes.size(), boxes);
        } else {
            // Also after a valid choice: the upgrade button is disabled again.
            EXPECT_EQ(part->text(), wrong);
            EXPECT_FALSE(upgrade->isEnabled());
            ASSERT_EQ(driver.boxes.size(), ++boxes);
            EXPECT_EQ(driver.boxes.back().text, wrong);
        }
    }
    // Browse cancelled: nothing changes.
    click(dialog, 1067);
    EXPECT_EQ(control<QLineEdit>(dialog, 1066)->text(), path("kernel"));
    EXPECT_TRUE(upgrade->isEnabled());
    EXPECT_TRUE(uploads("127.0.0.3").empty());
}

TEST_F(UpgradeDialogsTest, NvrConfigShowsTheResolutionAndSendsOnlyAChange) {
    ModalDriver driver;
    {
        gui::CNVRConfigDlg dialog;
        dialog.SetTarget("127.0.0.3", -1);  // a negative port is the NVR's default
        dialog.show();
        EXPECT_TRUE(settled(dialog));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("NVR配置"));
        auto* list = control<QComboBox>(dialog, 1073);
        QStringList items;
        for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
        EXPECT_EQ(items, (QStringList{"1024 x 768", "1280 x 1024", "1366 x 768", "1400 x 900",
                                      "1920 x 1080", "3840 x 2160"}));
        EXPECT_EQ(list->currentText(), QStringLiteral("1920 x 1080"));
        EXPECT_TRUE(driver.boxes.empty());
        // Unchanged: nothing sent, closed at once. Enter in the list acts as OK here.
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(list->lineEdit(), Qt::Key_Return);
        EXPECT_LT(clock.elapsed(), 2000);  // not the 3 s wait that follows a change
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.client().connected());
    }
    EXPECT_TRUE(tcpFrames("127.0.0.3", 233).empty());

    sim->set("127.0.0.3", "outputResolution=0");
    {
        gui::CNVRConfigDlg dialog;
        dialog.SetTarget("127.0.0.3", 5500);
        dialog.show();
        EXPECT_TRUE(settled(dialog));
        auto* list = control<QComboBox>(dialog, 1073);
        EXPECT_EQ(list->currentIndex(), 0);
        list->setCurrentIndex(5);
        // The window goes on painting through the wait after the change.
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(100);
        QElapsedTimer clock;
        clock.start();
        click(dialog, 1);
        const auto waited = clock.elapsed();
        EXPECT_GE(waited, 2950);
        EXPECT_LT(waited, 5000);
        EXPECT_GE(ticks, 10);  // a blocked window thread would see none
        EXPECT_FALSE(dialog.isVisible());
    }
    const auto sets = tcpFrames("127.0.0.3", 233);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0], "e90005000600");
    EXPECT_EQ(sim->device("127.0.0.3")["outputResolution"], 5);

    // Cancel sends nothing.
    {
        gui::CNVRConfigDlg dialog;
        dialog.SetTarget("127.0.0.3", 5500);
        dialog.show();
        EXPECT_TRUE(settled(dialog));
        control<QComboBox>(dialog, 1073)->setCurrentIndex(1);
        QTest::keyClick(&dialog, Qt::Key_Escape);  // Escape acts as Cancel
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(tcpFrames("127.0.0.3", 233).size(), 1u);
    EXPECT_TRUE(driver.boxes.empty());
}

TEST_F(UpgradeDialogsTest, NvrConfigFailuresLeaveTheFirstResolution) {
    ModalDriver driver;
    const auto openOn = [&](const char* address) {
        auto dialog = std::make_unique<gui::CNVRConfigDlg>();
        dialog->SetTarget(address, 5500);
        dialog->show();
        EXPECT_TRUE(settled(*dialog));
        EXPECT_EQ(control<QComboBox>(*dialog, 1073)->currentText(), QStringLiteral("1024 x 768"));
        return dialog;
    };
    {
        auto dialog = openOn("127.0.0.7");  // reports index 6
        ASSERT_EQ(driver.boxes.size(), 1u);
        EXPECT_EQ(driver.boxes[0].text, QStringLiteral("获取NVR分辨率失败！"));
        EXPECT_TRUE(dialog->client().connected());
    }
    {
        auto dialog = openOn("127.0.0.9");  // nothing listens there
        ASSERT_EQ(driver.boxes.size(), 2u);
        EXPECT_EQ(driver.boxes[1].text, QStringLiteral("连接NVR失败！"));
        // OK without a connection sends nothing and does not wait.
        QElapsedTimer clock;
        clock.start();
        control<QComboBox>(*dialog, 1073)->setCurrentIndex(3);
        click(*dialog, 1);
        EXPECT_LT(clock.elapsed(), 2000);  // not the 3 s wait that follows a change
    }

    // A peer that answers the query with five bytes.
    const test::FakeNvrPeer peer("127.0.0.99", 5500, {232, 0, 4, 0, 6});
    ASSERT_TRUE(peer.listening());
    {
        auto dialog = openOn("127.0.0.99");
        ASSERT_EQ(driver.boxes.size(), 3u);
        EXPECT_EQ(driver.boxes[2].text, QStringLiteral("获取NVR分辨率失败！"));
        click(*dialog, 2);
    }
}

TEST_F(UpgradeDialogsTest, MainWindowUpgradeAndNvrConfigurationOpenTheirDialogs) {
    ModalDriver driver;
    gui::CTarvoDlg window;
    window.onInitDialog();
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return test::rowOf(window, "127.0.0.3") >= 0; }, 5s));
    ASSERT_TRUE(test::waitUntil([&] { return test::rowOf(window, "127.0.0.2") >= 0; }, 5s));

    driver.dialogs = {closeWhenSettled<gui::UpgradeDialog>(),
                      closeWhenSettled<gui::UpgradeDialog>(),
                      closeWhenSettled<gui::CNVRConfigDlg>()};
    test::clickRow(window, test::rowOf(window, "127.0.0.2"));
    driver.logins.push_back(ModalDriver::confirm());
    test::clickButton(window, 5);
    ASSERT_TRUE(test::waitUntil([&] { return driver.others.size() == 1; }, 10s));
    EXPECT_EQ(driver.others[0], QStringLiteral("CUpGrade"));

    test::clickRow(window, test::rowOf(window, "127.0.0.3"));
    driver.logins.push_back(ModalDriver::confirm());
    test::clickButton(window, 5);
    ASSERT_TRUE(test::waitUntil([&] { return driver.others.size() == 2; }, 10s));
    EXPECT_EQ(driver.others[1], QStringLiteral("CNVRUpgradeDlg"));

    driver.logins.push_back(ModalDriver::confirm());
    test::clickButton(window, 1053);
    ASSERT_TRUE(test::waitUntil([&] { return driver.others.size() == 3; }, 10s));
    EXPECT_EQ(driver.others[2], QStringLiteral("CNVRConfigDlg"));
    EXPECT_EQ(driver.loginsSeen, 3);
    EXPECT_TRUE(driver.boxes.empty());
    // Each dialog talked to its device on the port the login dialog confirmed.
    EXPECT_EQ(tcpFrames("127.0.0.2", 103).size(), 1u);
    EXPECT_EQ(tcpFrames("127.0.0.3", 231).size(), 1u);
    EXPECT_EQ(tcpFrames("127.0.0.3", 232).size(), 1u);
    window.engine().closeInterfaces();
}
