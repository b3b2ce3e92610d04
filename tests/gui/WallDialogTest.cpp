// The wall of live pictures against simulated cameras: tiles play side by side, a camera that
// refuses or cannot be reached says why in its own tile while the others play, a stream that
// stops is said over its tile, the keys move the selection and the pages and open the preview,
// the layout is remembered, picture faults are flagged on their tiles, and the site window opens
// the plan's cameras in the plan's order.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "core/preview/CCamStreamClient.h"
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

}  // namespace
