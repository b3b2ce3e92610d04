// The wall of live pictures against simulated cameras: tiles play side by side, a camera that
// refuses or cannot be reached says why in its own tile while the others play, a stream that
// stops is said over its tile, the keys move the selection and the pages and open the preview,
// the layout is remembered, picture faults are flagged on their tiles, and the site window opens
// the plan's cameras in the plan's order.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "core/preview/CCamStreamClient.h"
#include "dialogs/CSiteDlg.h"
#include "preview/CViewDlg.h"
#include "preview/VideoWidget.h"
#include "support/SimProcess.h"
#include "support/ThreadNames.h"
#include "wall/CWallDlg.h"
#include "wall/WallTile.h"

using namespace tarvo;
using namespace std::chrono_literals;
using tarvo::test::ModalDriver;
using tarvo::test::q;

namespace {

const char* kWallFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "name": "Gate", "video": {"width": 640, "height": 360}},
  {"ip": "127.0.0.3", "type": 100, "name": "Yard", "video": {"width": 640, "height": 360}},
  {"ip": "127.0.0.4", "type": 100, "name": "Hall", "video": {"width": 640, "height": 360}},
  {"ip": "127.0.0.5", "type": 100, "name": "Refuses", "loginRefused": true},
  {"ip": "127.0.0.6", "type": 100, "name": "Stops",
   "video": {"width": 320, "height": 240, "fault": "stall", "faultAfter": 10}},
  {"ip": "127.0.0.7", "type": 100, "name": "Black",
   "video": {"width": 704, "height": 576, "bitrate": 1024, "scene": "black"}},
  {"ip": "127.0.0.8", "type": 100, "name": "Blur",
   "video": {"width": 704, "height": 576, "bitrate": 1024, "scene": "blur"}}
]})";

gui::WallCamera camera(const char* address, const char16_t* name) {
    return {name, u"", address, 5505, 100};
}

class WallDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::setLanguage("zh_CN.UTF-8");
        sim = std::make_unique<test::SimProcess>(test::SimProcess::FleetText{kWallFleet});
    }
    void TearDown() override { sim.reset(); }

    static bool tilePlays(gui::CWallDlg& wall, int index, quint64 pictures = 3) {
        gui::WallTile* t = wall.tile(index);
        return t != nullptr && t->video()->presented() >= pictures;
    }

    std::unique_ptr<test::SimProcess> sim;
};

TEST_F(WallDialogTest, TilesOfSeveralCamerasPlayTheirSubStreams) {
    ModalDriver driver;
    const auto before = test::threadNames();
    {
        gui::CWallDlg wall({camera("127.0.0.2", u"Gate"), camera("127.0.0.3", u"Yard"),
                            camera("127.0.0.4", u"Hall")},
                           "admin", "", nullptr);
        wall.setTilesPerPage(4);
        wall.show();
        ASSERT_EQ(wall.tileCount(), 3);
        EXPECT_EQ(wall.pages(), 1);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(test::waitUntil([&] { return tilePlays(wall, i); }, 20s)) << i;
        for (int i = 0; i < 3; ++i) {
            ASSERT_NE(wall.tile(i)->client(), nullptr);
            // Each tile asked for the D1 stream.
            EXPECT_EQ(wall.tile(i)->client()->streamChoice(), 1);
            EXPECT_TRUE(wall.tile(i)->notice().isEmpty()) << qPrintable(wall.tile(i)->notice());
        }
        // The rates line fills once a second has passed.
        EXPECT_TRUE(test::waitUntil(
            [&] { return wall.tile(0)->ratesText().contains(QStringLiteral("kbit/s")); }, 5s));
        wall.close();
        EXPECT_EQ(wall.tile(0), nullptr);
    }
    // Closing left no stream running: every worker and stream thread has ended.
    EXPECT_EQ(test::threadNames(), before);
    EXPECT_TRUE(driver.boxes.empty());
    const auto stream = sim->device("127.0.0.2")["stream"];
    ASSERT_EQ(stream["requests"].size(), 1u);
    EXPECT_EQ(stream["requests"][0]["hex"], "000000006400000001000000");
}

// A camera that refuses the login, and one that cannot be reached at all, each say why in
// their own tile; the camera between them plays all the same.
TEST_F(WallDialogTest, RefusedAndUnreachableCamerasSayWhyWhileTheOthersPlay) {
    ModalDriver driver;
    gui::CWallDlg wall({camera("127.0.0.5", u"Refuses"), camera("127.0.0.2", u"Gate"),
                        camera("127.0.0.99", u"Nobody")},
                       "admin", "", nullptr);
    wall.setTilesPerPage(4);
    wall.show();
    ASSERT_EQ(wall.tileCount(), 3);
    EXPECT_TRUE(test::waitUntil([&] { return tilePlays(wall, 1); }, 20s));
    ASSERT_TRUE(test::waitUntil([&] { return !wall.tile(0)->starting(); }, 20s));
    ASSERT_TRUE(test::waitUntil([&] { return !wall.tile(2)->starting(); }, 20s));
    EXPECT_EQ(wall.tile(0)->notice(),
              QStringLiteral("Control failed\n") + q(u"设备拒绝了用户名或密码"));
    EXPECT_EQ(wall.tile(2)->notice(), QStringLiteral("Connect to IP camera failed !"));
    EXPECT_EQ(wall.tile(0)->video()->presented(), 0u);
    EXPECT_TRUE(wall.tile(1)->notice().isEmpty());
    // Nothing comes up in a box: the wall goes on with the cameras that play.
    EXPECT_TRUE(driver.boxes.empty());
    wall.close();
}

// A stream that stops is said over its tile, with the preview's own text, once no picture came
// for the preview's while.
TEST_F(WallDialogTest, StoppedStreamIsSaidOverItsTile) {
    ModalDriver driver;
    gui::CWallDlg wall({camera("127.0.0.6", u"Stops"), camera("127.0.0.2", u"Gate")}, "admin", "",
                       nullptr);
    wall.setTilesPerPage(4);
    wall.show();
    ASSERT_TRUE(test::waitUntil([&] { return tilePlays(wall, 0); }, 20s));
    EXPECT_TRUE(wall.tile(0)->notice().isEmpty());
    // The simulator stops after ten pictures.
    ASSERT_TRUE(test::waitUntil([&] { return !wall.tile(0)->notice().isEmpty(); }, 20s));
    EXPECT_TRUE(wall.tile(0)->notice().startsWith(q(u"已有 ")))
        << qPrintable(wall.tile(0)->notice());
    EXPECT_TRUE(wall.tile(0)->notice().endsWith(q(u" 秒没有收到图像")));
    EXPECT_TRUE(wall.tile(1)->notice().isEmpty());
    wall.close();
}

// Arrows move the selection within the page's grid and stop at its edges; Page Down and Up
// change pages, and the selection stays on a tile of the page.
TEST_F(WallDialogTest, ArrowsMoveTheSelectionAndPageKeysThePages) {
    ModalDriver driver;
    std::vector<gui::WallCamera> cameras;
    for (const char* address :
         {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.7", "127.0.0.8", "127.0.0.6"})
        cameras.push_back(camera(address, u"Cam"));
    gui::CWallDlg wall(cameras, "admin", "", nullptr);
    wall.setTilesPerPage(4);
    wall.show();
    ASSERT_EQ(wall.pages(), 2);
    ASSERT_EQ(wall.tileCount(), 4);
    EXPECT_EQ(wall.selectedTile(), 0);
    EXPECT_TRUE(wall.tile(0)->selected());
    QTest::keyClick(&wall, Qt::Key_Right);
    EXPECT_EQ(wall.selectedTile(), 1);
    QTest::keyClick(&wall, Qt::Key_Right);  // the edge of the 2 x 2 grid
    EXPECT_EQ(wall.selectedTile(), 1);
    QTest::keyClick(&wall, Qt::Key_Down);
    EXPECT_EQ(wall.selectedTile(), 3);
    EXPECT_TRUE(wall.tile(3)->selected());
    EXPECT_FALSE(wall.tile(1)->selected());
    QTest::keyClick(&wall, Qt::Key_Left);
    EXPECT_EQ(wall.selectedTile(), 2);
    QTest::keyClick(&wall, Qt::Key_Up);
    EXPECT_EQ(wall.selectedTile(), 0);

    QTest::keyClick(&wall, Qt::Key_PageDown);
    EXPECT_EQ(wall.page(), 1);
    ASSERT_EQ(wall.tileCount(), 2);
    EXPECT_EQ(wall.tile(0)->camera().address, "127.0.0.8");
    QTest::keyClick(&wall, Qt::Key_PageDown);  // the last page
    EXPECT_EQ(wall.page(), 1);
    QTest::keyClick(&wall, Qt::Key_Down);  // no tile below
    EXPECT_EQ(wall.selectedTile(), 0);
    QTest::keyClick(&wall, Qt::Key_Right);
    EXPECT_EQ(wall.selectedTile(), 1);
    QTest::keyClick(&wall, Qt::Key_PageUp);
    EXPECT_EQ(wall.page(), 0);
    EXPECT_EQ(wall.tileCount(), 4);
    EXPECT_TRUE(test::waitUntil([&] { return tilePlays(wall, 0); }, 20s));
    wall.close();
}

// Each layout shares the window among its tiles, also after a larger layout, and a tile's
// picture fills its tile, made at the tile's size.
TEST_F(WallDialogTest, TilesShareTheWindowAndPicturesFillTheirTiles) {
    ModalDriver driver;
    std::vector<gui::WallCamera> cameras;
    for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.8"})
        cameras.push_back(camera(address, u"Cam"));
    gui::CWallDlg wall(cameras, "admin", "", nullptr);
    wall.setTilesPerPage(16);
    wall.show();
    QWidget* grid = wall.findChild<QWidget*>(QStringLiteral("grid"));
    ASSERT_NE(grid, nullptr);
    for (const int n : {16, 9, 4}) {
        SCOPED_TRACE(n);
        wall.setTilesPerPage(n);
        test::pump(100ms);  // the grid lays the new tiles out
        const int columns = n == 16 ? 4 : n == 9 ? 3 : 2;
        for (int i = 0; i < wall.tileCount(); ++i) {
            const QRect tile = wall.tile(i)->geometry();
            EXPECT_GE(tile.width(), grid->width() / columns - 8);
            EXPECT_GE(tile.height(), grid->height() / columns - 8);
            EXPECT_GE(wall.tile(i)->video()->width(), tile.width() - 8);
            EXPECT_GE(wall.tile(i)->video()->height(), tile.height() - 8);
        }
    }
    ASSERT_TRUE(test::waitUntil([&] { return tilePlays(wall, 0); }, 20s));
    EXPECT_EQ(wall.tile(0)->video()->currentPicture().size(), wall.tile(0)->video()->size());
    wall.close();
}

// Enter opens the full preview of the selected camera on its main stream, with the wall's
// credentials; closing it brings the page back.
TEST_F(WallDialogTest, EnterOpensThePreviewOfTheSelectedCamera) {
    ModalDriver driver;
    protocol::LoginInfo opened;
    driver.dialogs.push_back([&](QDialog& dialog) {
        if (auto* view = qobject_cast<gui::CViewDlg*>(&dialog)) opened = view->connectInfo();
        dialog.reject();
    });
    gui::CWallDlg wall({camera("127.0.0.2", u"Gate"), camera("127.0.0.3", u"Yard")}, "admin", "",
                       nullptr);
    wall.setTilesPerPage(4);
    wall.show();
    QTest::keyClick(&wall, Qt::Key_Right);
    QTest::keyClick(&wall, Qt::Key_Return);
    ASSERT_EQ(driver.others.size(), 1u);
    EXPECT_EQ(driver.others[0], QStringLiteral("CViewDlg"));
    EXPECT_EQ(opened.address, "127.0.0.3");
    EXPECT_EQ(opened.streamChoice, 0);
    EXPECT_EQ(opened.user, "admin");
    EXPECT_EQ(opened.port, 5505);
    EXPECT_TRUE(wall.isVisible());
    ASSERT_EQ(wall.tileCount(), 2);
    EXPECT_EQ(wall.selectedTile(), 1);
    EXPECT_TRUE(test::waitUntil([&] { return tilePlays(wall, 1); }, 20s));
    wall.close();
}

// The layout (tiles a page, stream) and the window's size come back the next time; one tile a
// page plays the main stream.
TEST_F(WallDialogTest, LayoutAndSizeAreRemembered) {
    ModalDriver driver;
    {
        gui::CWallDlg wall({camera("127.0.0.2", u"Gate")}, "admin", "", nullptr);
        wall.show();
        wall.setTilesPerPage(9);
        wall.setStreamChoice(2);
        wall.resize(900, 600);
        ASSERT_EQ(wall.tileCount(), 1);
        ASSERT_NE(wall.tile(0)->client(), nullptr);
        EXPECT_EQ(wall.tile(0)->client()->streamChoice(), 2);
        wall.close();
    }
    gui::CWallDlg again({camera("127.0.0.2", u"Gate")}, "admin", "", nullptr);
    EXPECT_EQ(again.tilesPerPage(), 9);
    EXPECT_EQ(again.streamChoice(), 2);
    EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("layout"))->currentText(), "9");
    EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("stream"))->currentText(), "CIF");
    EXPECT_EQ(again.size(), QSize(900, 600));
    again.setTilesPerPage(1);
    again.show();
    ASSERT_NE(again.tile(0)->client(), nullptr);
    EXPECT_EQ(again.tile(0)->client()->streamChoice(), 0);
    again.close();
}

// A black and a blurred camera each show their own flag, with the catalogue's text; a camera
// with a normal picture none.
TEST_F(WallDialogTest, PictureFaultsAreFlaggedOnTheirTiles) {
    ModalDriver driver;
    gui::CWallDlg wall(
        {camera("127.0.0.7", u"Black"), camera("127.0.0.8", u"Blur"), camera("127.0.0.2", u"Gate")},
        "admin", "", nullptr);
    wall.setTilesPerPage(4);
    wall.show();
    ASSERT_TRUE(test::waitUntil([&] { return !wall.tile(0)->flagsText().isEmpty(); }, 20s));
    EXPECT_TRUE(wall.tile(0)->flagsText().startsWith(q(u"画面全黑")))
        << qPrintable(wall.tile(0)->flagsText());
    EXPECT_TRUE(wall.tile(0)->verdict().has(preview::PictureFlag::Black));
    ASSERT_TRUE(test::waitUntil([&] { return !wall.tile(1)->flagsText().isEmpty(); }, 20s));
    EXPECT_TRUE(wall.tile(1)->flagsText().startsWith(q(u"画面模糊")))
        << qPrintable(wall.tile(1)->flagsText());
    ASSERT_TRUE(test::waitUntil([&] { return tilePlays(wall, 2, 30); }, 20s));
    test::pump(1500ms);  // a check or two more
    EXPECT_TRUE(wall.tile(2)->flagsText().isEmpty()) << qPrintable(wall.tile(2)->flagsText());
    // The selected tile's focus meter: the live sharpness and the best seen.
    EXPECT_TRUE(wall.tile(0)->focusMeter()->isVisible());
    EXPECT_TRUE(wall.tile(0)->focusMeter()->text().startsWith(q(u"清晰度 ")));
    EXPECT_FALSE(wall.tile(2)->focusMeter()->isVisible());
    wall.close();
}

// The site window's wall: the plan's cameras in the plan's order (not the order they answered
// in), with the plan's names and locations, reached where they answer.
TEST_F(WallDialogTest, SiteWindowOpensThePlansCamerasInPlanOrder) {
    QTemporaryDir dir;
    const QString plan = dir.filePath(QStringLiteral("plan.csv"));
    std::ofstream(plan.toStdString())
        << "MAC,IP,名称,位置\n02-00-00-00-00-03,127.0.0.4,大厅,一楼\n"
           "02-00-00-00-00-01,127.0.0.2,东门,大门口\n02-00-00-00-00-02,127.0.0.3,院子,北侧\n";
    const auto heard = [] {
        std::vector<discovery::DeviceRow> rows;
        for (const auto& [address, mac] : {std::pair{u"127.0.0.2", u"02:00:00:00:00:01"},
                                           std::pair{u"127.0.0.3", u"02:00:00:00:00:02"},
                                           std::pair{u"127.0.0.4", u"02:00:00:00:00:03"}}) {
            discovery::DeviceRow r;
            r.address = address;
            r.mac = mac;
            r.type = 100;
            rows.push_back(r);
        }
        return rows;
    };
    ModalDriver driver;
    std::vector<std::tuple<std::u16string, std::u16string, std::string>> tiles;
    bool played = false;
    driver.dialogs.push_back([&](QDialog& dialog) {
        auto* wall = qobject_cast<gui::CWallDlg*>(&dialog);
        if (wall != nullptr) {
            for (int i = 0; i < wall->tileCount(); ++i)
                tiles.emplace_back(wall->tile(i)->camera().name, wall->tile(i)->camera().location,
                                   wall->tile(i)->camera().address);
            played = test::waitUntil([&] { return tilePlays(*wall, 0); }, 20s);
        }
        dialog.reject();
    });
    gui::CSiteDlg site(heard);
    ASSERT_TRUE(site.openSite(dir.filePath(QStringLiteral("s.tarvo-site"))));
    ASSERT_TRUE(site.importPlan(plan));
    site.findChild<QPushButton*>(QStringLiteral("wallButton"))->click();
    ASSERT_EQ(driver.others.size(), 1u);
    EXPECT_EQ(driver.others[0], QStringLiteral("CWallDlg"));
    using Tile = std::tuple<std::u16string, std::u16string, std::string>;
    EXPECT_EQ(tiles, (std::vector<Tile>{{u"大厅", u"一楼", "127.0.0.4"},
                                        {u"东门", u"大门口", "127.0.0.2"},
                                        {u"院子", u"北侧", "127.0.0.3"}}));
    EXPECT_TRUE(played);  // with the site window's credentials
}

}  // namespace
