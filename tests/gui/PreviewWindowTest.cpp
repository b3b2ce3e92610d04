// The preview window against simulated cameras and an NVR: pictures of the known test pattern
// reach the screen, the title names size and codec, the window fits the screen, and every way of
// closing it stops the stream at once and leaves no thread behind.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "GuiDriver.h"
#include "app/CTarvoDlg.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/StreamWire.h"
#include "preview/CViewDlg.h"
#include "preview/PictureScaler.h"
#include "preview/SwsImageRenderer.h"
#include "preview/VideoWidget.h"
#include "support/ColourPatches.h"
#include "support/PicturePattern.h"
#include "support/SimProcess.h"
#include "support/ThreadNames.h"

using namespace tarvo;
using namespace std::chrono_literals;
using tarvo::test::ModalDriver;

namespace {

const char* kPreviewFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "name": "Cam1080",
   "video": {"codec": "h264", "width": 1920, "height": 1080, "fps": 25, "bitrate": 4000, "gop": 25}},
  {"ip": "127.0.0.3", "type": 100, "name": "Cam4K",
   "video": {"codec": "h265", "width": 3840, "height": 2160, "fps": 10, "bitrate": 4000, "gop": 10}},
  {"ip": "127.0.0.4", "type": 181, "name": "NVR", "video": {"width": 640, "height": 360}},
  {"ip": "127.0.0.5", "type": 100, "name": "CamCif", "video": {"width": 320, "height": 240}},
  {"ip": "127.0.0.6", "type": 100, "name": "CamStops",
   "video": {"width": 320, "height": 240, "fault": "stall", "faultAfter": 10}}
]})";

using tarvo::test::q;

bool isRed(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

// What the window shows, as the screen would get it.
QImage shown(gui::CViewDlg& dialog) {
    return dialog.video()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The bottom-right quarter of the test picture is solid red, the rest is not red anywhere.
void expectPattern(gui::CViewDlg& dialog) {
    const QImage image = shown(dialog);
    ASSERT_FALSE(image.isNull());
    const int w = image.width();
    const int h = image.height();
    EXPECT_TRUE(isRed(image.pixel(w * 3 / 4, h * 3 / 4)))
        << std::hex << image.pixel(w * 3 / 4, h * 3 / 4);
    EXPECT_TRUE(isRed(image.pixel(w - 4, h - 4)));
    EXPECT_FALSE(isRed(image.pixel(w / 4, h * 3 / 4)));
    EXPECT_FALSE(isRed(image.pixel(w * 3 / 4, h / 4)));
    EXPECT_FALSE(isRed(image.pixel(w / 4, h / 4)));
}

QRect expectedFrame(gui::CViewDlg& dialog, int width, int height) {
    const QRect screen = dialog.screen()->geometry();
    const auto place = preview::placeOnScreen(width, height, screen.width(), screen.height());
    return {screen.left() + place.left, screen.top() + place.top, place.width, place.height};
}

class PreviewWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::setLanguage("zh_CN.UTF-8");
        sim = std::make_unique<test::SimProcess>(test::SimProcess::FleetText{kPreviewFleet});
    }
    void TearDown() override { sim.reset(); }

    // Shows the window and waits for its stream set-up, which runs off the window's thread.
    static void open(gui::CViewDlg& dialog, const char* address, int port = 5505, int type = 100) {
        dialog.SetConnectInfo(address, port, "admin", "", 0, type);
        dialog.show();
        EXPECT_TRUE(test::waitUntil([&] { return !dialog.waiting(); }, 40s));
    }
    static bool waitForPictures(gui::CViewDlg& dialog, quint64 count,
                                std::chrono::milliseconds limit) {
        return test::waitUntil(
            [&] { return dialog.video() != nullptr && dialog.video()->presented() >= count; },
            limit);
    }

    std::unique_ptr<test::SimProcess> sim;
};

TEST_F(PreviewWindowTest, FullHdH264ShowsThePatternStaysResponsiveAndClosesByTheCloseBox) {
    ModalDriver driver;
    const auto before = test::threadNames();
    {
        gui::CViewDlg dialog;
        open(dialog, "127.0.0.2");
        EXPECT_EQ(dialog.windowTitle(), q(u"宽 x 高：1920 x 1080 , 编码模式：H264  -  127.0.0.2"));
        EXPECT_EQ(dialog.frameGeometry(), expectedFrame(dialog, 1920, 1080));
        ASSERT_NE(dialog.client(), nullptr);
        EXPECT_TRUE(dialog.client()->threadsRunning());

        // The window's thread keeps its timers while pictures arrive.
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(50);
        ASSERT_TRUE(waitForPictures(dialog, 10, 10s));
        const quint64 first = dialog.video()->presented();
        test::pump(1s);
        // The stream goes on; how fast is the preview benchmark's business, not this test's.
        EXPECT_TRUE(waitForPictures(dialog, first + 10, 20s));
        EXPECT_GE(ticks, 5);  // a window thread held by the decoding would see none
        expectPattern(dialog);
        // The picture is made at the widget's size: no scaling left for the paint.
        EXPECT_EQ(dialog.video()->currentPicture().size(), dialog.video()->size());

        QElapsedTimer clock;
        clock.start();
        dialog.close();
        EXPECT_LT(clock.elapsed(), 3000);  // well inside the stream's 5 s receive time-out
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.client(), nullptr);
    }
    EXPECT_EQ(test::threadNames(), before);
    EXPECT_TRUE(driver.boxes.empty());
    const auto stream = sim->device("127.0.0.2")["stream"];
    ASSERT_EQ(stream["requests"].size(), 1u);
    EXPECT_EQ(stream["requests"][0]["hex"], "000000006400000000000000");
}

TEST_F(PreviewWindowTest, UltraHdH265ShowsThePatternAndEscapeCloses) {
    ModalDriver driver;
    const auto before = test::threadNames();
    {
        gui::CViewDlg dialog;
        open(dialog, "127.0.0.3");
        EXPECT_EQ(dialog.windowTitle(), q(u"宽 x 高：3840 x 2160 , 编码模式：H265  -  127.0.0.3"));
        // The window fits the screen; the decoder keeps the full picture.
        EXPECT_EQ(dialog.frameGeometry(), expectedFrame(dialog, 3840, 2160));
        EXPECT_LE(dialog.frameGeometry().width(), dialog.screen()->geometry().width());
        ASSERT_TRUE(waitForPictures(dialog, 2, 20s));
        expectPattern(dialog);

        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(dialog.client(), nullptr);
    }
    EXPECT_EQ(test::threadNames(), before);
    EXPECT_TRUE(driver.boxes.empty());
}

TEST_F(PreviewWindowTest, SmallPictureGetsAWindowOfItsSizeCentredAndEnterCloses) {
    ModalDriver driver;
    const auto before = test::threadNames();
    {
        gui::CViewDlg dialog;
        open(dialog, "127.0.0.5");
        EXPECT_EQ(dialog.windowTitle(), q(u"宽 x 高：320 x 240 , 编码模式：H264  -  127.0.0.5"));
        const QRect frame = dialog.frameGeometry();
        EXPECT_EQ(frame.size(), QSize(320, 240));
        EXPECT_EQ(frame.center(), dialog.screen()->geometry().center());
        ASSERT_TRUE(waitForPictures(dialog, 3, 10s));
        expectPattern(dialog);

        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(&dialog, Qt::Key_Return);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.client(), nullptr);
        // Nothing is drawn after the close, even with the stream's last packets in flight.
        const quint64 presented = dialog.video()->presented();
        test::pump(300ms);
        EXPECT_EQ(dialog.video()->presented(), presented);
    }
    EXPECT_EQ(test::threadNames(), before);
}

// A stream that stops leaves its last picture on screen and says so over it once no picture
// came for three seconds; nothing is said while pictures come.
TEST_F(PreviewWindowTest, StoppedStreamIsSaidOverItsLastPicture) {
    ModalDriver driver;
    gui::CViewDlg dialog;
    open(dialog, "127.0.0.6");
    ASSERT_TRUE(waitForPictures(dialog, 3, 10s));
    EXPECT_TRUE(test::waitUntil([&] { return dialog.video()->notice().isEmpty(); }, 2s));
    // The simulator stops after ten pictures.
    ASSERT_TRUE(test::waitUntil([&] { return !dialog.video()->notice().isEmpty(); }, 20s));
    EXPECT_TRUE(dialog.video()->notice().startsWith(q(u"已有 ")))
        << qPrintable(dialog.video()->notice());
    EXPECT_TRUE(dialog.video()->notice().endsWith(q(u" 秒没有收到图像")));
    EXPECT_FALSE(dialog.video()->currentPicture().isNull());
    // Said over the picture: the band is dark, the picture below it is not covered.
    const QImage image = shown(dialog);
    EXPECT_LT(qGray(image.pixel(2, 2)), 100);
    EXPECT_TRUE(isRed(image.pixel(image.width() * 3 / 4, image.height() * 3 / 4)));
    dialog.close();
}

// Under a window manager the frame comes after the window is shown: the outer rectangle, frame
// included, must still be the clamped and centred one (also for a picture larger than the
// screen). Off-screen there is no frame and this holds at once.
TEST_F(PreviewWindowTest, FramedWindowHasTheClampedOuterSize) {
    ModalDriver driver;
    for (const auto& [address, width, height] :
         {std::tuple{"127.0.0.5", 320, 240}, std::tuple{"127.0.0.3", 3840, 2160}}) {
        SCOPED_TRACE(address);
        gui::CViewDlg dialog;
        open(dialog, address);
        const QRect expected = expectedFrame(dialog, width, height);
        if (QGuiApplication::platformName() != QStringLiteral("offscreen")) {
            EXPECT_TRUE(
                test::waitUntil([&] { return dialog.frameGeometry() != dialog.geometry(); }, 20s))
                << "the window manager did not frame the window";
        }
        EXPECT_TRUE(test::waitUntil([&] { return dialog.frameGeometry() == expected; }, 20s))
            << "the framed window did not take its clamped outer size";
        EXPECT_EQ(dialog.frameGeometry(), expected);
        dialog.close();
    }
}

TEST_F(PreviewWindowTest, UnreachableDeviceTellsTheUserAndKeepsTheWindowOpen) {
    ModalDriver driver;
    gui::CViewDlg dialog;
    const QSize designed = dialog.size();
    open(dialog, "127.0.0.99");
    ASSERT_TRUE(test::waitUntil([&] { return driver.boxes.size() == 2u; }, 5s));
    EXPECT_EQ(driver.boxes[0].text, QStringLiteral("Connect to IP camera failed !"));
    EXPECT_EQ(driver.boxes[1].text, QStringLiteral("connect error!"));
    EXPECT_EQ(dialog.windowTitle(), q(u"宽 x 高：0 x 0 , 编码模式：H265  -  127.0.0.99"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.size(), designed);
    EXPECT_EQ(dialog.video()->presented(), 0u);
    dialog.close();
    EXPECT_EQ(dialog.client(), nullptr);
}

TEST_F(PreviewWindowTest, CloseAskedForWhileABoxOfTheSetUpIsOpenWaitsForTheSetUpToEnd) {
    ModalDriver driver;
    gui::CViewDlg dialog;
    // Runs inside the first box's event loop, while the client is still starting.
    bool closedDuringSetUp = false;
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        closedDuringSetUp = !driver.boxes.empty() || dialog.client() != nullptr;
        dialog.close();
    });
    closer.start(0);
    open(dialog, "127.0.0.99");
    EXPECT_TRUE(closedDuringSetUp);
    // The set-up went on to its end.
    EXPECT_TRUE(test::waitUntil([&] { return driver.boxes.size() == 2u; }, 5s));
    ASSERT_TRUE(test::waitUntil([&] { return !dialog.isVisible(); }, 2s));
    EXPECT_EQ(dialog.client(), nullptr);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// Closed during its set-up and released, as the main window does: the set-up's boxes come up over
// the hidden window afterwards, and the window must not go while one of them is still open.
TEST_F(PreviewWindowTest, ReleasedWindowGoesOnlyAfterTheBoxesOfItsSetUp) {
    ModalDriver driver;
    auto dialog = std::make_unique<gui::CViewDlg>();
    dialog->SetConnectInfo("127.0.0.99", 5505, "admin", "", 0, 100);
    dialog->show();
    dialog->close();
    const QPointer<gui::CViewDlg> released(dialog.get());
    gui::CViewDlg::release(std::move(dialog));
    EXPECT_TRUE(test::waitUntil([&] { return released.isNull(); }, 20s));
    EXPECT_EQ(driver.boxes.size(), 2u);
}

TEST_F(PreviewWindowTest, MainWindowPreviewOfAnNvrAsksForItsStreamOnTheNvrPort) {
    ModalDriver driver;
    gui::CTarvoDlg window;
    window.onInitDialog();
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return test::rowOf(window, "127.0.0.4") >= 0; }, 5s));
    ASSERT_TRUE(test::waitUntil([&] { return test::rowOf(window, "127.0.0.2") >= 0; }, 5s));

    struct Seen {
        QString title;
        int port = 0;
        int type = 0;
        bool red = false;
    };
    std::vector<Seen> seen;
    // Each preview is looked at once it shows pictures, then closed with Esc.
    const auto lookAndClose = [&](QDialog& modal) {
        auto& dialog = dynamic_cast<gui::CViewDlg&>(modal);
        EXPECT_TRUE(test::waitUntil([&] { return !dialog.waiting(); }, 20s));
        Seen s;
        s.title = dialog.windowTitle();
        s.port = dialog.connectInfo().port;
        s.type = dialog.connectInfo().deviceType;
        if (waitForPictures(dialog, 3, 10s)) {
            const QImage image = shown(dialog);
            s.red = isRed(image.pixel(image.width() * 3 / 4, image.height() * 3 / 4));
        }
        seen.push_back(s);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    };

    const auto before = test::threadNames();
    test::clickRow(window, test::rowOf(window, "127.0.0.4"));
    driver.logins.push_back(ModalDriver::confirm());
    driver.dialogs.push_back(lookAndClose);
    test::clickButton(window, 1017);
    ASSERT_TRUE(test::waitUntil([&] { return seen.size() == 1; }, 20s));

    test::clickRow(window, test::rowOf(window, "127.0.0.2"));
    driver.logins.push_back(ModalDriver::confirm());
    driver.dialogs.push_back(lookAndClose);
    test::clickButton(window, 1017);
    ASSERT_TRUE(test::waitUntil([&] { return seen.size() == 2; }, 20s));
    test::pump(100ms);

    EXPECT_EQ(driver.others, (std::vector<QString>{"CViewDlg", "CViewDlg"}));
    EXPECT_TRUE(driver.boxes.empty());
    // The designed title first, then the device's address and name.
    EXPECT_EQ(seen[0].title, q(u"宽 x 高：640 x 360 , 编码模式：H264  -  127.0.0.4 NVR"));
    EXPECT_EQ(seen[0].port, 5500);
    EXPECT_EQ(seen[0].type, 181);
    EXPECT_TRUE(seen[0].red);
    EXPECT_EQ(seen[1].title, q(u"宽 x 高：1920 x 1080 , 编码模式：H264  -  127.0.0.2 Cam1080"));
    EXPECT_EQ(seen[1].port, 5505);
    EXPECT_TRUE(seen[1].red);
    EXPECT_EQ(test::threadNames(), before);

    // The NVR is asked for stream 1 with its own request, whatever the stream choice.
    const auto nvr = sim->device("127.0.0.4")["stream"]["requests"];
    ASSERT_EQ(nvr.size(), 1u);
    EXPECT_EQ(nvr[0]["hex"], "0000ff006301000001000000");
    window.engine().closeInterfaces();
}

// The same colour patches coded at full range with the BT.601 matrix (as many cameras send
// them, "yuvj420p") and at limited range with BT.709: the window shows every patch within 3
// levels of FFmpeg's own conversion of the stream.
TEST(PreviewColourTest, FullAndLimitedRangeStreamsShowTheirOwnLevels) {
    test::setLanguage("zh_CN.UTF-8");
    std::string dir;
    const nlohmann::json fleet = test::colour::patchFleet(dir);
    ASSERT_FALSE(fleet.is_null());
    test::SimProcess sim(fleet);
    ModalDriver driver;
    for (const auto& s : test::colour::kPatchStreams) {
        SCOPED_TRACE(s.file);
        std::string error;
        const auto reference = test::colour::referencePatches(dir + "/" + s.file, error);
        ASSERT_FALSE(reference.empty()) << error;
        // The reference itself gives back the pattern.
        std::vector<test::colour::Rgb> drawn;
        for (std::size_t i = 0; i < test::colour::kPatches; ++i)
            drawn.push_back(test::colour::patchColour(i));
        EXPECT_LE(test::colour::largestDifference(reference, drawn), 3)
            << test::colour::describe(reference);

        gui::CViewDlg dialog;
        dialog.SetConnectInfo(s.ip, 5505, "admin", "", 0, 100);
        dialog.show();
        ASSERT_TRUE(test::waitUntil(
            [&] { return dialog.video() != nullptr && dialog.video()->presented() >= 3; }, 10s));
        const QImage image = dialog.video()->currentPicture();
        const auto shownPatches = test::colour::patchesOf(
            [&](int x, int y) {
                const QRgb p = image.pixel(x, y);
                return test::colour::Rgb{qRed(p), qGreen(p), qBlue(p)};
            },
            image.width(), image.height());
        std::cout << "window " << s.file << ": " << test::colour::describe(shownPatches)
                  << std::endl;
        EXPECT_LE(test::colour::largestDifference(shownPatches, reference), 3)
            << "shown:     " << test::colour::describe(shownPatches)
            << "\nreference: " << test::colour::describe(reference);
        dialog.close();
    }
}

// The renderer alone, with hand-made pictures.
TEST(SwsImageRendererTest, DrawsOnlyAfterASuccessfulSetUpAndScalesToTheWidget) {
    gui::VideoWidget widget;
    widget.resize(64, 48);
    widget.show();
    ASSERT_TRUE(test::waitUntil([&] { return widget.pictureSize() == QSize(64, 48); }, 2s));

    const preview::Picture red = test::solidPicture(16, 8, 81, 90, 240);
    ASSERT_FALSE(red.empty());
    {
        gui::SwsImageRenderer renderer;
        renderer.initialise(&widget);
        renderer.draw(red);  // before set-up
        EXPECT_FALSE(renderer.setUpSurface(0, 0));
        EXPECT_FALSE(renderer.setUpSurface(20000, 2160));
        renderer.draw(red);  // after a failed set-up
        test::pump(100ms);
        EXPECT_EQ(renderer.drawn(), 0u);
        EXPECT_EQ(widget.presented(), 0u);
    }
    const auto before = test::threadNames();
    {
        gui::SwsImageRenderer renderer;
        renderer.initialise(&widget);
        ASSERT_TRUE(renderer.setUpSurface(32, 16));
        // The stream's pictures decide: set up again at their size before they are drawn.
        ASSERT_TRUE(renderer.setUpSurface(16, 8));
        renderer.draw(red);
        ASSERT_TRUE(test::waitUntil([&] { return widget.presented() == 1; }, 2s));
        const QImage picture = widget.currentPicture();
        EXPECT_EQ(picture.size(), QSize(64, 48));
        EXPECT_TRUE(isRed(picture.pixel(0, 0)));
        EXPECT_TRUE(isRed(picture.pixel(63, 47)));
        // The widget paints the picture it was handed.
        EXPECT_TRUE(isRed(widget.grab().toImage().pixel(32, 24)));

        renderer.draw(test::solidPicture(16, 8, 128, 128, 128));
        ASSERT_TRUE(test::waitUntil([&] { return widget.presented() == 2; }, 2s));
        const QRgb pixel = widget.currentPicture().pixel(10, 10);
        EXPECT_NEAR(qRed(pixel), 130, 10);
        EXPECT_NEAR(qGreen(pixel), 130, 10);
        EXPECT_EQ(renderer.drawn(), 2u);
    }
    // The conversion thread ended with the renderer.
    EXPECT_EQ(test::threadNames(), before);
}

// Pictures are taken as the decoder lays them out: rows longer than the picture, and an odd
// width whose last chroma column serves one pixel. A picture of another size than the surface's
// is not read.
TEST(SwsImageRendererTest, PicturesOfOddWidthAndPaddedRows) {
    gui::VideoWidget widget;
    widget.resize(64, 48);
    widget.show();
    ASSERT_TRUE(test::waitUntil([&] { return widget.pictureSize() == QSize(64, 48); }, 2s));
    const preview::Picture red = test::solidPicture(17, 9, 81, 90, 240);
    ASSERT_GT(red.stride(0), 17);
    gui::SwsImageRenderer renderer;
    renderer.initialise(&widget);
    ASSERT_TRUE(renderer.setUpSurface(18, 9));
    renderer.draw(red);
    ASSERT_TRUE(renderer.setUpSurface(17, 9));
    renderer.draw(red);
    ASSERT_TRUE(test::waitUntil([&] { return widget.presented() == 1; }, 2s));
    EXPECT_EQ(renderer.drawn(), 1u);
    const QImage picture = widget.currentPicture();
    EXPECT_TRUE(isRed(picture.pixel(0, 0)));
    EXPECT_TRUE(isRed(picture.pixel(63, 47)));
}

// A decode thread faster than the conversion never waits for it: pictures it had no time for
// are replaced by newer ones.
TEST(SwsImageRendererTest, ADecodeThreadFasterThanTheConversionIsNotHeldUp) {
    gui::VideoWidget widget;
    widget.resize(1920, 1080);
    widget.show();
    ASSERT_TRUE(test::waitUntil([&] { return widget.pictureSize() == QSize(1920, 1080); }, 2s));
    const preview::Picture picture = test::solidPicture(3840, 2160, 128, 128, 128);
    gui::SwsImageRenderer renderer;
    renderer.initialise(&widget);
    ASSERT_TRUE(renderer.setUpSurface(3840, 2160));
    // Drawn from another thread, as the decode thread does.
    std::thread decoder([&] {
        for (int i = 0; i < 60; ++i) renderer.draw(picture);
    });
    decoder.join();
    EXPECT_EQ(renderer.drawn(), 60u);
    EXPECT_GT(renderer.replaced(), 0u);
    ASSERT_TRUE(test::waitUntil([&] { return widget.presented() >= 1; }, 5s));
    test::pump(300ms);
    EXPECT_LT(widget.presented(), 60u);
}

// Pictures made for tiles of any width, in one pass or scaled in YUV first: libswscale's vector
// conversion writes whole groups of pixels, past a row of a width that is no multiple of 8 (a
// fault the sanitizer builds see), and the two steps must keep the colours to the last row and
// column and read a full-range picture as full range.
TEST(PictureScalerTest, TileWidthsKeepColoursToTheEdgesInOneOrTwoSteps) {
    const preview::Picture red = test::solidPicture(704, 576, 81, 90, 240);
    const preview::Picture fullGrey =
        test::solidPicture(704, 576, 128, 128, 128, AVCOL_RANGE_JPEG, AVCOL_SPC_BT470BG);
    ASSERT_FALSE(red.empty());
    ASSERT_FALSE(fullGrey.empty());
    for (const bool twoSteps : {false, true}) {
        gui::PictureScaler scaler(gui::PictureScaler::Tuning{twoSteps, 2 /* bilinear */});
        for (const QSize size : {QSize(309, 162), QSize(318, 178), QSize(320, 180), QSize(7, 5)}) {
            SCOPED_TRACE(testing::Message()
                         << twoSteps << " " << size.width() << "x" << size.height());
            QImage out;
            ASSERT_TRUE(scaler.scale(red, size, out));
            ASSERT_EQ(out.size(), size);
            EXPECT_TRUE(isRed(out.pixel(0, 0)));
            EXPECT_TRUE(isRed(out.pixel(size.width() - 1, size.height() - 1)));
            EXPECT_TRUE(isRed(out.pixel(size.width() - 1, 0)));
            ASSERT_TRUE(scaler.scale(fullGrey, size, out));
            const QRgb grey = out.pixel(size.width() - 1, size.height() - 1);
            EXPECT_NEAR(qGreen(grey), 128, 1);  // read as limited range: 130
            EXPECT_NEAR(qRed(grey), 128, 1);
        }
    }
}

}  // namespace
