// The site window without a network: the window's rows against a site and its plan, the filter per
// state, a refused plan file, and the last site reopened.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <chrono>

#include <fstream>
#include <map>
#include <memory>

#include "GuiDriver.h"
#include "core/site/SiteFile.h"
#include "core/text/Reason.h"
#include "core/text/TextConvert.h"
#include "dialogs/CSiteDlg.h"
#include "dialogs/CSiteVerifyDlg.h"
#include "support/SimProcess.h"
#include "support/TestJpeg.h"

using namespace tarvo;
using State = site::DeviceStatus::State;

namespace {

discovery::DeviceRow row(const char16_t* address, const char16_t* mac) {
    discovery::DeviceRow r;
    r.address = address;
    r.mac = mac;
    r.type = 100;
    return r;
}

}  // namespace

TEST(SiteDialogTest, StatesFilterAndTheLastSiteComesBack) {
    test::setLanguage("zh_CN.UTF-8");
    QTemporaryDir dir;
    const auto file = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    std::ofstream(file("plan.csv").toStdString())
        << "MAC,IP,名称\n02-00-00-00-00-01,10.0.0.21,东门\n02-00-00-00-00-02,10.0.0.22,西门\n";
    std::ofstream(file("bad.csv").toStdString()) << "MAC,IP\nnot-a-mac,10.0.0.30\n";
    const auto heard = [] {
        return std::vector<discovery::DeviceRow>{row(u"10.0.0.21", u"02:00:00:00:00:01"),
                                                 row(u"10.0.0.40", u"02:00:00:00:00:09")};
    };
    test::ModalDriver driver;
    {
        gui::CSiteDlg dialog(heard);
        EXPECT_TRUE(dialog.shown().empty());
        ASSERT_TRUE(dialog.openSite(file("a.tarvo-site")));
        ASSERT_TRUE(dialog.importPlan(file("plan.csv")));
        ASSERT_EQ(dialog.shown().size(), 3u);
        EXPECT_EQ(dialog.shown()[0].state, State::InPlace);
        EXPECT_EQ(dialog.shown()[0].name, "东门");
        EXPECT_EQ(dialog.shown()[1].state, State::Missing);
        EXPECT_EQ(dialog.shown()[2].state, State::New);
        dialog.setFilter(4);  // missing only
        ASSERT_EQ(dialog.shown().size(), 1u);
        EXPECT_EQ(dialog.shown()[0].mac, "02:00:00:00:00:02");

        EXPECT_FALSE(dialog.importPlan(file("bad.csv")));
        ASSERT_EQ(driver.boxes.size(), 1u);
        EXPECT_TRUE(driver.boxes[0].text.contains(QStringLiteral("第 2 行")))
            << driver.boxes[0].text.toStdString();
    }
    gui::CSiteDlg again(heard);
    EXPECT_EQ(again.shown().size(), 3u);  // the plan of the site reopened
}

// Closing the verify window while a camera's stream is slow to start returns at once; the worker
// stops at its next step and records the camera as stopped rather than running on to its
// time-out (or touching the closed window).
TEST(SiteDialogTest, ClosingVerifyStopsTheRunWithoutWaiting) {
    test::setLanguage("zh_CN.UTF-8");
    test::SimProcess sim(nlohmann::json::parse(
        R"({"devices": [{"ip": "127.0.0.2", "type": 100, "video": {"startDelayMs": 60000}}]})"));
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("v.tarvo-site")).toStdString();
    (void)site::SiteFile::open(path);
    auto dialog = std::make_unique<gui::CSiteVerifyDlg>(
        std::vector<discovery::DeviceRow>{row(u"127.0.0.2", u"")}, QString::fromStdString(path));
    dialog->start();
    ASSERT_TRUE(test::waitUntil(
        [&] { return sim.device("127.0.0.2")["stream"]["connections"].get<int>() > 0; },
        std::chrono::seconds(10)));
    const auto closing = std::chrono::steady_clock::now();
    dialog->reject();
    dialog.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(2));
    std::vector<site::ActionRecord> actions;
    EXPECT_TRUE(test::waitUntil(
        [&] {
            actions = site::SiteFile::open(path, false)->actions();
            return actions.size() == 1 && actions[0].outcome != "pending";
        },
        std::chrono::seconds(10)));
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].outcome, "failed");
    EXPECT_EQ(text::toUtf8(text::showStored(actions[0].detail)), "验证已中止");
}

// Another program writing the site (a command-line apply, say) keeps the site window from nothing:
// the window only reads, which the site's journal allows meanwhile.
TEST(SiteDialogTest, ASiteBeingWrittenElsewhereOpensAtOnce) {
    test::setLanguage("zh_CN.UTF-8");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("busy.tarvo-site"));
    site::SiteFile::open(path.toStdString());
    QSettings().setValue(QString::fromLatin1(gui::CSiteDlg::kLastSiteKey), path);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.toStdString().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    test::ModalDriver driver;
    {
        gui::CSiteDlg dialog([] {
            return std::vector<discovery::DeviceRow>{row(u"10.0.0.40", u"02:00:00:00:00:09")};
        });
        ASSERT_EQ(dialog.shown().size(), 1u);
        EXPECT_EQ(dialog.shown()[0].state, State::New);
    }
    EXPECT_TRUE(driver.boxes.empty()) << driver.boxes[0].text.toStdString();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

// The report is made on the window's worker and said when done; a name that is no report's is
// refused, nothing written.
TEST(SiteDialogTest, ReportIsMadeOffTheWindowsThread) {
    test::setLanguage("en_US.UTF-8");
    QTemporaryDir dir;
    test::ModalDriver driver;
    gui::CSiteDlg dialog([] { return std::vector<discovery::DeviceRow>{}; });
    ASSERT_TRUE(dialog.openSite(dir.filePath(QStringLiteral("r.tarvo-site"))));
    {  // a verified camera: its picture is laid out on the worker too
        const auto site = site::SiteFile::open(dialog.currentSitePath().toStdString(), false);
        site::ActionRecord a;
        a.mac = "02:00:00:00:00:01";
        a.kind = "verify";
        a.snapshot = test::testJpeg(640, 360, 1);
        site->finishAction(site->beginAction(a), "ok", "", 1);
    }
    EXPECT_FALSE(dialog.makeReport(dir.filePath(QStringLiteral("r.doc"))));
    ASSERT_TRUE(dialog.makeReport(dir.filePath(QStringLiteral("r.pdf"))));
    EXPECT_TRUE(test::waitUntil([&] { return !dialog.busy() && driver.boxes.size() == 2; },
                                std::chrono::seconds(60)));
    ASSERT_EQ(driver.boxes.size(), 2u);
    EXPECT_TRUE(driver.boxes[0].text.contains(QStringLiteral(".pdf")));
    EXPECT_TRUE(driver.boxes[1].text.startsWith(QStringLiteral("Report written")))
        << driver.boxes[1].text.toStdString();
    EXPECT_EQ(driver.boxes[1].icon, QMessageBox::Information);  // news, not a warning
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("r.pdf"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("r.doc"))));
}

// A plan its check refuses: each row says why in its own row (never "planned" beside a refusal),
// the plan's lines stand beside the rows since the refusals cite them, and a new import clears
// the old results.
TEST(SiteDialogTest, RowsSayWhyTheyWereNotAppliedBesideTheirLines) {
    test::setLanguage("en_US.UTF-8");
    QTemporaryDir dir;
    const auto file = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    std::ofstream(file("plan.csv").toStdString())
        << "MAC,IP,Name,Location,Note\n"
           "02-00-00-00-00-01,224.0.0.9,East gate,Gate house roof,camera VLAN 20\n"
           "02-00-00-00-00-02,10.0.0.22,Loading bay,Warehouse north wall,not yet mounted\n";
    test::ModalDriver driver;
    gui::CSiteDlg dialog([] { return std::vector<discovery::DeviceRow>{}; });
    ASSERT_TRUE(dialog.openSite(file("a.tarvo-site")));
    ASSERT_TRUE(dialog.importPlan(file("plan.csv")));
    dialog.apply();
    // While its worker asks the network, the window says it works (and still takes clicks).
    EXPECT_TRUE(dialog.busy());
    EXPECT_EQ(dialog.cursor().shape(), Qt::BusyCursor);
    ASSERT_TRUE(test::waitUntil([&] { return !dialog.busy() && driver.boxes.size() == 1; },
                                std::chrono::seconds(30)));
    EXPECT_EQ(dialog.cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(driver.boxes[0].text.contains(QStringLiteral("Line 2")))
        << driver.boxes[0].text.toStdString();
    EXPECT_EQ(dialog.resultOf(QStringLiteral("02:00:00:00:00:01")),
              QStringLiteral("224.0.0.9 is not a unicast address a device can use"));
    EXPECT_EQ(dialog.resultOf(QStringLiteral("02:00:00:00:00:02")),
              QStringLiteral("The device did not answer the search"));
    const auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("devices"));
    ASSERT_NE(table, nullptr);
    std::map<QString, QString> lines;
    for (int r = 0; r < table->rowCount(); ++r)
        lines[table->item(r, 1)->text()] = table->item(r, 0)->text();
    EXPECT_EQ(lines[QStringLiteral("02:00:00:00:00:01")], QStringLiteral("2"));
    EXPECT_EQ(lines[QStringLiteral("02:00:00:00:00:02")], QStringLiteral("3"));
    // Every reason shows whole in its cell (wrapped where the column is narrow), never cut.
    dialog.show();
    test::pump(std::chrono::milliseconds(200));
    const int result = table->columnCount() - 1;
    const int room = table->columnWidth(result) - 8;  // the cell's own margins
    for (int r = 0; r < table->rowCount(); ++r) {
        const QString text = table->item(r, result)->text();
        const QRect needed =
            table->fontMetrics().boundingRect(QRect(0, 0, room, 10000), Qt::TextWordWrap, text);
        EXPECT_LE(needed.width(), room) << text.toStdString();
        EXPECT_LE(needed.height(), table->rowHeight(r)) << text.toStdString();
    }

    ASSERT_TRUE(dialog.importPlan(file("plan.csv")));
    EXPECT_TRUE(dialog.resultOf(QStringLiteral("02:00:00:00:00:01")).isEmpty());
}
