// Changing a camera's address through the network settings window, with the camera on a device
// host of its own: the search that follows lists it at the new address with the same MAC. And
// the MAC of a camera outside the computer's subnets, which only the MAC helper can read.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "app/CTarvoDlg.h"
#include "controls/CSortListCtrl.h"
#include "controls/DialogUnits.h"
#include "core/discovery/DeviceTable.h"
#include "dialogs/CBatchAddressDlg.h"
#include "dialogs/CSiteDlg.h"
#include "support/ProcessSockets.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;
using namespace std::chrono_literals;

namespace {

QString cell(gui::CTarvoDlg& window, const char* address, int column) {
    const int row = test::rowOf(window, QString::fromLatin1(address));
    return row < 0 ? QString() : window.list()->listModel()->text(row, column);
}

void type(QDialog& dialog, int id, const QString& text) {
    auto* edit = dialog.findChild<QLineEdit*>(gui::controlName(id));
    ASSERT_NE(edit, nullptr) << id;
    edit->clear();
    QTest::keyClicks(edit, text);
}

// Closes the batch address dialog when the script driving it ends, also when a failed assertion
// ended it early, so that the dialog's modal loop always returns. The dialog refuses to close
// while its batch runs; its Close button comes back on when the batch has ended.
class CloseOnceTheBatchEnded {
public:
    explicit CloseOnceTheBatchEnded(QDialog& dialog) : dialog_(dialog) {}
    CloseOnceTheBatchEnded(const CloseOnceTheBatchEnded&) = delete;
    CloseOnceTheBatchEnded& operator=(const CloseOnceTheBatchEnded&) = delete;
    ~CloseOnceTheBatchEnded() {
        auto* close = dialog_.findChild<QPushButton*>("closeButton");
        if (close != nullptr && test::waitUntil([&] { return close->isEnabled(); }, 60s)) {
            EXPECT_TRUE(dialog_.close()) << "the dialog did not close after its batch";
        } else {
            ADD_FAILURE() << "the batch did not end within 60 s";
        }
        // Whatever happened, the modal loop ends here rather than at the test's time-out.
        if (dialog_.isVisible()) dialog_.done(QDialog::Rejected);
    }

private:
    QDialog& dialog_;
};

// The camera at 10.250.0.11 (password "pw") on a device host of its own.
std::unique_ptr<test::SimProcess> cameraOnHost() {
    test::SimOptions options;
    options.host = 1;
    return std::make_unique<test::SimProcess>(
        nlohmann::json::parse(R"({"devices": [{"ip": "10.250.0.11", "type": 100, "password": "pw",
            "netParams": {"mask": "255.255.255.0", "gateway": "10.250.0.1"}}]})"),
        options);
}

TEST(NetworkMoveGuiTest, CameraMovesAndKeepsItsMac) {
    // The camera's host already answers on the new address, as the camera will after the change.
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.250.0.21/24", "dev", "eth0"}), 0);
    const auto sim = cameraOnHost();
    test::setLanguage("zh_CN.UTF-8");
    gui::CTarvoDlg window;
    window.onInitDialog();
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return !cell(window, "10.250.0.11", 2).isEmpty(); }, 5s))
        << "the first search did not list the camera with its MAC";
    const QString mac = cell(window, "10.250.0.11", 2);
    EXPECT_EQ(mac, QStringLiteral("02:00:0a:fa:00:0b").toUpper()) << mac.toStdString();

    test::ModalDriver driver;
    test::clickRow(window, test::rowOf(window, "10.250.0.11"));
    driver.dialogs.push_back([](QDialog& d) {
        type(d, 1009, "pw");
        type(d, 1004, "10.250.0.21");
        d.findChild<QPushButton*>(gui::controlName(1))->click();
    });
    test::clickButton(window, 1010);
    EXPECT_TRUE(driver.boxes.empty());
    EXPECT_EQ(driver.others.size(), 1u);

    ASSERT_TRUE(test::waitUntil([&] { return !cell(window, "10.250.0.21", 2).isEmpty(); }, 5s))
        << "the search after the change did not list the camera at its new address";
    EXPECT_EQ(cell(window, "10.250.0.21", 2), mac);
    EXPECT_EQ(test::rowOf(window, "10.250.0.11"), -1);
    EXPECT_EQ(sim->device("10.250.0.21")["netParams"]["address"], "10.250.0.21");
    EXPECT_EQ(window.presenter().selectedAddress(), u"");
    window.engine().closeInterfaces();
}

}  // namespace

// The batch dialog from the window's menu, beside the window's own search, moves the checked
// camera and fills in its result from the search that confirms it, while the dialog keeps
// handling events; once it is closed the window lists the camera at its new address only.
TEST(NetworkMoveGuiTest, BatchDialogMovesTheCheckedCamera) {
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.250.0.41/24", "dev", "eth0"}), 0);
    const auto sim = cameraOnHost();
    test::setLanguage("zh_CN.UTF-8");
    gui::CTarvoDlg window;
    window.onInitDialog();
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return test::rowOf(window, "10.250.0.11") >= 0; }, 5s));
    test::ModalDriver driver;
    QString result;
    QString newAddress;
    QString planned;
    driver.dialogs.push_back([&](QDialog& dialog) {
        const CloseOnceTheBatchEnded closing(dialog);
        dialog.findChild<QLineEdit*>("start")->setText("10.250.0.41");
        dialog.findChild<QLineEdit*>("password")->setText("pw");
        auto* devices = dialog.findChild<QTableWidget*>("devices");
        // The plan shows before anything is sent; Start writes it.
        auto* start = dialog.findChild<QPushButton*>("startButton");
        dialog.findChild<QPushButton*>("planButton")->click();
        ASSERT_TRUE(test::waitUntil([&] { return start->isEnabled(); }, 20s))
            << "no plan to start: " << devices->item(0, 4)->text().toStdString();
        planned = devices->item(0, 3)->text();
        start->click();
        const QString moved = QString::fromStdU16String(u"已修改");
        ASSERT_TRUE(test::waitUntil([&] { return devices->item(0, 4)->text() == moved; }, 40s))
            << "the batch did not confirm the move: " << devices->item(0, 4)->text().toStdString();
        result = devices->item(0, 4)->text();
        newAddress = devices->item(0, 3)->text();
    });
    auto* menu = window.findChild<QMenu*>("menu129");
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
        if (action->text() == QString::fromStdU16String(u"批量修改IP…")) action->trigger();
    }
    ASSERT_EQ(driver.others, std::vector<QString>{"batchAddress"});
    EXPECT_EQ(result, QString::fromStdU16String(u"已修改"));
    EXPECT_EQ(planned, "10.250.0.41");
    EXPECT_EQ(newAddress, "10.250.0.41");
    EXPECT_EQ(sim->device("10.250.0.41")["netParams"]["address"], "10.250.0.41");
    EXPECT_TRUE(test::waitUntil(
        [&] {
            return test::rowOf(window, "10.250.0.11") < 0 &&
                   test::rowOf(window, "10.250.0.41") >= 0;
        },
        10s))
        << "the window's list does not show the camera at its new address only";
    window.engine().closeInterfaces();
}

// A camera on the host and one on loopback, another network than the start address's: the batch
// cannot be completed, so the camera on the host is not changed either, and each row says why.
TEST(NetworkMoveGuiTest, BatchDialogSendsNothingWhenTheBatchCannotBeCompleted) {
    const auto one = cameraOnHost();
    const auto two = std::make_unique<test::SimProcess>(nlohmann::json::parse(
        R"({"devices": [{"ip": "127.0.0.2", "type": 100, "password": "pw"}]})"));
    test::setLanguage("zh_CN.UTF-8");
    gui::CTarvoDlg window;
    window.onInitDialog();
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.table().rowCount() == 2; }, 5s));
    test::ModalDriver driver;
    std::vector<QString> results;
    driver.dialogs.push_back([&](QDialog& dialog) {
        const CloseOnceTheBatchEnded closing(dialog);
        // One free address for two devices: the second has none.
        dialog.findChild<QLineEdit*>("start")->setText("10.250.0.254");
        dialog.findChild<QLineEdit*>("password")->setText("pw");
        auto* plan = dialog.findChild<QPushButton*>("planButton");
        plan->click();
        ASSERT_TRUE(test::waitUntil([&] { return plan->isEnabled(); }, 20s))
            << "the plan's search did not end";
        // Start stays off: the batch holds a device it cannot move.
        auto* start = dialog.findChild<QPushButton*>("startButton");
        EXPECT_FALSE(start->isEnabled());
        start->click();
        auto* devices = dialog.findChild<QTableWidget*>("devices");
        for (int r = 0; r < devices->rowCount(); ++r)
            results.push_back(devices->item(r, 4)->text());
    });
    for (QAction* action : window.findChild<QMenu*>("menu129")->actions()) {
        if (action->text() == QString::fromStdU16String(u"批量修改IP…")) action->trigger();
    }
    std::sort(results.begin(), results.end());
    EXPECT_EQ(results,
              (std::vector<QString>{QString::fromStdU16String(u"没有发送：批量中有无法完成的设备"),
                                    QString::fromStdU16String(u"网段内没有空闲地址")}));
    for (const auto* sim : {one.get(), two.get()}) {
        const nlohmann::json state = sim->state();
        for (const auto& f : state["devices"][0]["received"]) EXPECT_EQ(f["command"], 10) << f;
    }
    window.engine().closeInterfaces();
}

// The site window applies its plan by MAC: it shows the move and asks first, then moves the camera
// and says how it went.
TEST(NetworkMoveGuiTest, SiteWindowAppliesThePlanAfterShowingIt) {
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.250.0.41/24", "dev", "eth0"}), 0);
    const auto sim = cameraOnHost();
    test::setLanguage("zh_CN.UTF-8");
    gui::CTarvoDlg window;
    window.onInitDialog();
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return !cell(window, "10.250.0.11", 2).isEmpty(); }, 5s));
    QTemporaryDir dir;
    std::ofstream(dir.filePath("plan.csv").toStdString())
        << "MAC,IP,子网掩码,网关\n02-00-0a-fa-00-0b,10.250.0.41,255.255.255.0,10.250.0.1\n";
    test::ModalDriver driver;
    gui::CSiteDlg site([&] { return window.table().rows(); }, &window);
    ASSERT_TRUE(site.openSite(dir.filePath("s.tarvo-site")));
    ASSERT_TRUE(site.importPlan(dir.filePath("plan.csv")));
    site.findChild<QLineEdit*>("password")->setText("pw");
    site.apply();
    // Each row shows its device's result as it comes: written, before the confirming search ends.
    ASSERT_EQ(site.shown().size(), 1u);
    const QString mac = QString::fromStdString(site.shown()[0].mac);
    ASSERT_TRUE(test::waitUntil(
        [&] { return site.resultOf(mac) == QString::fromStdU16String(u"已写入，等待搜索确认"); },
        40s))
        << site.resultOf(mac).toStdString();
    EXPECT_LT(driver.boxes.size(), 2u);
    ASSERT_TRUE(test::waitUntil([&] { return driver.boxes.size() == 2; }, 40s));
    EXPECT_EQ(site.resultOf(mac), QString::fromStdU16String(u"已修改"));
    EXPECT_TRUE(driver.boxes[0].text.contains(QStringLiteral("10.250.0.11 → 10.250.0.41")))
        << driver.boxes[0].text.toStdString();
    EXPECT_TRUE(driver.boxes[1].text.contains(QString::fromStdU16String(u"已修改")))
        << driver.boxes[1].text.toStdString();
    EXPECT_EQ(sim->device("10.250.0.41")["netParams"]["address"], "10.250.0.41");
    window.engine().closeInterfaces();
}

TEST(NetworkMoveGuiTest, WindowListsAnOtherSubnetMacThroughTheHelperAndHoldsNoPacketSocket) {
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.251.1.108/24", "dev", "eth0"}), 0);
    test::SimOptions options;
    options.host = 1;
    test::SimProcess sim(
        nlohmann::json::parse(R"({"devices": [{"ip": "10.251.1.108", "type": 100}]})"), options);
    test::setLanguage("zh_CN.UTF-8");
    gui::CTarvoDlg window;
    window.onInitDialog();
    window.show();
    // Outside the computer's subnets the neighbour table knows nothing: the MAC is the frame's.
    ASSERT_TRUE(test::waitUntil([&] { return !cell(window, "10.251.1.108", 2).isEmpty(); }, 10s));
    EXPECT_EQ(cell(window, "10.251.1.108", 2), QStringLiteral("02:00:0A:FA:00:0B"));
    EXPECT_EQ(test::packetSocketOf(0), -1);
    const auto helpers = test::macHelpersOf(0);
    ASSERT_EQ(helpers.size(), 1u);
    EXPECT_GE(test::packetSocketOf(helpers.front()), 0);
}
