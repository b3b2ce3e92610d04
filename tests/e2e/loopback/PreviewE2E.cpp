// The preview against simulated cameras: stream request and reply, pictures decoded to the
// simulator's test pattern, packets of other types, broken streams, and stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

extern "C" {
#include <libavformat/avformat.h>
}

#include "core/preview/AvPictureDecoder.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/HeadlessRenderer.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "sim/TestPattern.h"
#include "support/ColourPatches.h"
#include "support/PicturePattern.h"
#include "support/RecordingNotifier.h"
#include "support/RunProcess.h"
#include "support/SharedSimTest.h"
#include "support/SimProcess.h"
#include "support/ThreadNames.h"
#include "support/Wait.h"

using namespace tarvo;
using namespace std::chrono_literals;
namespace pattern = tarvo::sim::pattern;
using test::hasRedQuarter;
using test::lumaOf;

namespace {

const char* kPreviewFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "name": "Cam1080",
   "video": {"codec": "h264", "width": 1920, "height": 1080, "fps": 25, "bitrate": 4000, "gop": 25}},
  {"ip": "127.0.0.3", "type": 100, "name": "Cam4K",
   "video": {"codec": "h265", "width": 3840, "height": 2160, "fps": 25, "bitrate": 6000, "gop": 25}},
  {"ip": "127.0.0.4", "type": 181, "name": "NVR", "video": {"width": 640, "height": 360}},
  {"ip": "127.0.0.5", "type": 100, "video": {"width": 320, "height": 240, "fault": "reset", "faultAfter": 10}},
  {"ip": "127.0.0.6", "type": 100, "video": {"width": 320, "height": 240, "fault": "oversize", "faultAfter": 5}},
  {"ip": "127.0.0.7", "type": 100, "video": {"width": 320, "height": 240, "fault": "stall", "faultAfter": 5}},
  {"ip": "127.0.0.8", "type": 100, "video": {"width": 320, "height": 240, "fault": "garbage", "faultAfter": 8}},
  {"ip": "127.0.0.9", "type": 100,
   "video": {"width": 320, "height": 240, "codecCode": 0, "otherTypeEvery": 1, "typeOneEvery": 2}},
  {"ip": "127.0.0.10", "type": 31, "name": "DVR"},
  {"ip": "127.0.0.11", "type": 100, "video": {"width": 320, "height": 240, "gop": 10}},
  {"ip": "127.0.0.12", "type": 100,
   "video": {"width": 320, "height": 240, "replyWidth": 640, "replyHeight": 480}},
  {"ip": "127.0.0.13", "type": 100, "video": {"width": 320, "height": 240, "replyWidth": 20000}},
  {"ip": "127.0.0.14", "type": 100,
   "video": {"width": 320, "height": 240, "replyWidth": 65535, "replyHeight": 65535}},
  {"ip": "127.0.0.15", "type": 100, "video": {"width": 320, "height": 240, "replyWidth": 0, "replyHeight": 0}},
  {"ip": "127.0.0.16", "type": 100, "video": {"width": 320, "height": 240, "startDelayMs": 1500}},
  {"ip": "127.0.0.17", "type": 100, "video": {"width": 320, "height": 240, "startDelayMs": 3600000}}
]})";

class PreviewE2E : public test::SharedSimTest<&kPreviewFleet> {
protected:
    // A client with a headless renderer, started.
    std::unique_ptr<preview::CCamStreamClient> open(const std::string& ip, int type = 100,
                                                    int stream = 0) {
        auto renderer = std::make_unique<preview::HeadlessRenderer>();
        view = renderer.get();
        const std::uint16_t port = type == 181 ? 5500 : 5505;
        auto client = std::make_unique<preview::CCamStreamClient>(
            protocol::makeLoginInfo(ip, port, u"admin", u"", stream, type), notifier,
            std::move(renderer));
        client->startPreview();
        return client;
    }

    // Stops the client and checks that its threads are gone within a second.
    static void stopQuickly(preview::CCamStreamClient& client) {
        const auto start = std::chrono::steady_clock::now();
        client.stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);  // not the 15 s receive time-out
        EXPECT_FALSE(client.threadsRunning());
    }

    test::RecordingNotifier notifier;
    preview::HeadlessRenderer* view = nullptr;
};

}  // namespace

TEST_F(PreviewE2E, FullHdH264ShowsTheMovingPatternWithOtherPacketsSkipped) {
    const auto threadsBefore = test::threadNames();
    auto client = open("127.0.0.2");
    EXPECT_EQ(client->reply().width, 1920);
    EXPECT_EQ(client->reply().height, 1080);
    EXPECT_EQ(client->reply().codecCode, 1);
    EXPECT_EQ(client->title(), u"宽 x 高：1920 x 1080 , 编码模式：H264");
    ASSERT_TRUE(view->waitForPictures(0, 20s));
    const auto first = view->lastPicture();
    ASSERT_EQ(first.width(), 1920);
    ASSERT_EQ(first.height(), 1080);
    EXPECT_TRUE(hasRedQuarter(first));
    const auto number = pattern::readFrameNumber(lumaOf(first), 1920, 1080);
    ASSERT_TRUE(number.has_value());
    ASSERT_TRUE(view->waitForPictures(10, 20s));
    const auto later = view->lastPicture();
    const auto laterNumber = pattern::readFrameNumber(lumaOf(later), 1920, 1080);
    ASSERT_TRUE(laterNumber.has_value());
    EXPECT_NE(*laterNumber, *number);  // the picture moves on
    const auto stats = client->stats();
    EXPECT_GT(stats.skippedPackets, 0u);  // the interleaved type-1 packets
    EXPECT_EQ(stats.decoderFaults, 0u);
    EXPECT_TRUE(notifier.entries().empty());
    stopQuickly(*client);
    EXPECT_EQ(test::threadNames(), threadsBefore);

    const auto requests = sim->device("127.0.0.2")["stream"]["requests"];
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back()["hex"], "000000006400000000000000");
    EXPECT_TRUE(requests.back()["accepted"].get<bool>());
}

TEST_F(PreviewE2E, UltraHdH265DecodesAtFullSize) {
    auto client = open("127.0.0.3");
    EXPECT_EQ(client->reply().width, 3840);
    EXPECT_EQ(client->reply().height, 2160);
    EXPECT_EQ(client->title(), u"宽 x 高：3840 x 2160 , 编码模式：H265");
    // The simulator encodes the first loop of a 4K clip while it sends it.
    ASSERT_TRUE(view->waitForPictures(2, 60s));
    const auto picture = view->lastPicture();
    ASSERT_EQ(picture.width(), 3840);
    ASSERT_EQ(picture.height(), 2160);
    EXPECT_TRUE(hasRedQuarter(picture));
    EXPECT_TRUE(pattern::readFrameNumber(lumaOf(picture), 3840, 2160).has_value());
    stopQuickly(*client);
}

TEST_F(PreviewE2E, NvrIsAskedForStreamOneWhateverWasChosen) {
    auto client = open("127.0.0.4", 181, 2);
    EXPECT_EQ(client->reply().width, 640);
    ASSERT_TRUE(view->waitForPictures(0, 20s));
    stopQuickly(*client);
    const auto requests = sim->device("127.0.0.4")["stream"]["requests"];
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back()["hex"], "0000ff006301000001000000");
}

TEST_F(PreviewE2E, ResetStreamFreezesTheLastPicture) {
    auto client = open("127.0.0.5");
    ASSERT_TRUE(view->waitForPictures(0, 20s));
    // Packets received before the reset may still wait for the decoder: once they are drawn,
    // nothing more comes.
    ASSERT_TRUE(test::waitUntil(
        [&] { return client->stats().receiveEnded && client->pendingPackets() == 0; }, 10s))
        << "the stream did not end, or its last packets were not decoded";
    const auto pictures = view->pictures();
    EXPECT_FALSE(view->lastPicture().empty());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(view->pictures(), pictures);
    EXPECT_FALSE(client->stats().oversizePacket);
    EXPECT_TRUE(notifier.entries().empty());
    stopQuickly(*client);
}

TEST_F(PreviewE2E, OversizePacketClosesTheStreamConnection) {
    auto client = open("127.0.0.6");
    ASSERT_TRUE(test::waitUntil([&] { return client->stats().receiveEnded; }, 20s));
    EXPECT_TRUE(client->stats().oversizePacket);
    EXPECT_GT(view->pictures(), 0u);
    stopQuickly(*client);
}

TEST_F(PreviewE2E, StalledStreamStopsWithoutWaitingForItsTimeOut) {
    auto client = open("127.0.0.7");
    ASSERT_TRUE(view->waitForPictures(0, 20s));
    // Five pictures and then nothing: the receive thread blocks in recv.
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(client->stats().receiveEnded);
    stopQuickly(*client);
}

TEST_F(PreviewE2E, GarbagePayloadsDoNotStopThePreview) {
    auto client = open("127.0.0.8");
    ASSERT_TRUE(view->waitForPictures(0, 20s));
    ASSERT_TRUE(test::waitUntil([&] { return client->stats().videoPackets > 30; }, 20s));
    EXPECT_FALSE(client->stats().receiveEnded);
    stopQuickly(*client);
    EXPECT_GT(sim->device("127.0.0.8")["stream"]["faults"].get<int>(), 0);
}

TEST_F(PreviewE2E, UnknownPacketTypesAreSkippedAndCodeZeroIsH264TitledH265) {
    auto client = open("127.0.0.9");
    EXPECT_EQ(client->reply().codecCode, 0);
    EXPECT_EQ(client->title(), u"宽 x 高：320 x 240 , 编码模式：H265");
    ASSERT_TRUE(view->waitForPictures(5, 20s));
    const auto* decoder = dynamic_cast<preview::AvPictureDecoder*>(client->decoder());
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(decoder->codec(), AV_CODEC_ID_H264);
    const auto stats = client->stats();
    EXPECT_GT(stats.skippedPackets, stats.videoPackets);  // one type-7 per picture, type 1 too
    stopQuickly(*client);
}

TEST_F(PreviewE2E, StreamPortRefusedShowsConnectErrorAndZeroTitle) {
    auto client = open("127.0.0.10", 31);
    EXPECT_EQ(notifier.texts(),
              std::vector<std::u16string>{std::u16string(text::msg::kStreamConnectError)});
    EXPECT_EQ(client->title(), u"宽 x 高：0 x 0 , 编码模式：H265");
    EXPECT_FALSE(client->threadsRunning());
    stopQuickly(*client);
}

TEST_F(PreviewE2E, SurfaceThatCannotBeMadeIsReportedAndStreamingGoesOn) {
    auto renderer = std::make_unique<preview::HeadlessRenderer>();
    renderer->setSurfaceLimit(1000);
    preview::HeadlessRenderer& refusing = *renderer;
    preview::CCamStreamClient client(
        protocol::makeLoginInfo("127.0.0.11", 5505, u"admin", u"", 0, 100), notifier,
        std::move(renderer));
    client.startPreview();
    const auto entries = notifier.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].systemError);
    EXPECT_EQ(entries[0].text, text::msg::kDisplayAdapterUnsupported);
    // Pictures are decoded; drawing them on no surface shows nothing and does not fail.
    ASSERT_TRUE(test::waitUntil([&] { return client.stats().pictures > 3; }, 20s));
    EXPECT_EQ(refusing.pictures(), 0u);
    stopQuickly(client);
}

// What a reply claims sizes nothing: in range but wrong, too large for any window, or zero, the
// stream's own pictures are shown at their size, with no message about the display.
TEST_F(PreviewE2E, ClaimedSizesPreviewTheStreamsOwnPictures) {
    for (const char* ip : {"127.0.0.12", "127.0.0.13", "127.0.0.14", "127.0.0.15"}) {
        SCOPED_TRACE(ip);
        auto client = open(ip);
        ASSERT_TRUE(view->waitForPictures(0, 20s));
        const auto picture = view->lastPicture();
        ASSERT_EQ(picture.width(), 320);
        ASSERT_EQ(picture.height(), 240);
        EXPECT_TRUE(hasRedQuarter(picture));
        EXPECT_TRUE(notifier.entries().empty());
        stopQuickly(*client);
    }
}

TEST_F(PreviewE2E, SimulatorStateRoundTripsTheVideoSettings) {
    const auto device = sim->device("127.0.0.3");
    EXPECT_EQ(device["video"]["codec"], "h265");
    EXPECT_EQ(device["video"]["width"], 3840);
    EXPECT_EQ(device["video"]["fault"], "none");
    EXPECT_TRUE(device["stream"]["listening"].get<bool>());
}

TEST_F(PreviewE2E, SlowDrawingHoldsTheStreamBackWithoutLosingPackets) {
    std::vector<std::uint32_t> numbers;  // written on the decode thread, read after stop
    std::atomic<int> drawn{0};
    auto renderer = std::make_unique<preview::HeadlessRenderer>();
    renderer->setDrawHook([&](const preview::Picture& picture) {
        numbers.push_back(
            pattern::readFrameNumber(lumaOf(picture), picture.width(), picture.height())
                .value_or(0xFFFF));
        std::this_thread::sleep_for(100ms);  // a quarter of the stream's rate
        ++drawn;
    });
    preview::CCamStreamClient client(
        protocol::makeLoginInfo("127.0.0.11", 5505, u"admin", u"", 0, 100), notifier,
        std::move(renderer));
    client.startPreview();
    // Twenty pictures drawn: two seconds of the stream, long enough for the ten slots to fill
    // and the receive thread to wait for the decoder, however late the first picture came.
    EXPECT_TRUE(test::waitUntil([&] { return drawn.load() >= 20; }, 60s));
    stopQuickly(client);
    ASSERT_GT(numbers.size(), 10u);
    const int length = 50;  // the simulator's loop at 25 pictures a second
    // From the third picture on: the decoder skips one picture, once, when it starts taking
    // chunks as whole pictures.
    for (std::size_t i = 3; i < numbers.size(); ++i)
        ASSERT_EQ(numbers[i], (numbers[i - 1] + 1) % length) << "picture " << i;
    EXPECT_EQ(sim->device("127.0.0.11")["stream"]["framesDropped"], 0);
}

TEST_F(PreviewE2E, CliSnapshotAndRecord) {
    const std::string dir = ::testing::TempDir();
    const std::string png = dir + "/tarvo-snapshot.png";
    const auto snap =
        test::runProcess({TARVO_CLI_PATH, "snapshot", "127.0.0.2", "--out", png, "--json"}, 60s);
    ASSERT_EQ(snap.exitCode, 0) << snap.err;
    const auto result = nlohmann::json::parse(snap.out);
    EXPECT_EQ(result["type"], 100);  // learnt by the search
    EXPECT_EQ(result["width"], 1920);
    std::ifstream file(png, std::ios::binary);
    char signature[8] = {};
    file.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
    // The extension names the format: JPEG, or a usage error before anything is sent.
    const std::string jpeg = dir + "/tarvo-snapshot.JPG";
    const auto jpg =
        test::runProcess({TARVO_CLI_PATH, "snapshot", "127.0.0.2", "--out", jpeg, "--type", "100"},
                         60s, {"LANG=en_US.UTF-8", "LC_ALL="});
    ASSERT_EQ(jpg.exitCode, 0) << jpg.err;
    EXPECT_EQ(jpg.out.rfind("Saved " + jpeg + " (", 0), 0u) << jpg.out;
    std::ifstream(jpeg, std::ios::binary).read(signature, 3);
    EXPECT_EQ(std::string(signature, 3), "\xFF\xD8\xFF");
    const auto logins = sim->device("127.0.0.2")["logins"].size();
    EXPECT_EQ(test::runProcess({TARVO_CLI_PATH, "snapshot", "127.0.0.2", "--out", dir + "/x.gif"})
                  .exitCode,
              2);
    EXPECT_EQ(sim->device("127.0.0.2")["logins"].size(), logins);

    // A camera slow to bring its first picture still gives two seconds of video.
    const std::string mp4 = dir + "/tarvo-record.mp4";
    const auto rec = test::runProcess({TARVO_CLI_PATH, "record", "127.0.0.16", "--seconds", "2",
                                       "--out", mp4, "--type", "100", "--json"},
                                      60s);
    ASSERT_EQ(rec.exitCode, 0) << rec.err;
    AVFormatContext* format = nullptr;
    ASSERT_EQ(avformat_open_input(&format, mp4.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
    ASSERT_EQ(format->nb_streams, 1u);
    EXPECT_EQ(format->streams[0]->codecpar->codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(format->streams[0]->codecpar->width, 320);
    AVPacket* packet = av_packet_alloc();
    std::int64_t first = -1;
    std::int64_t last = 0;
    while (av_read_frame(format, packet) >= 0) {
        if (first < 0) {
            EXPECT_TRUE(packet->flags & AV_PKT_FLAG_KEY);
            first = packet->pts;
        }
        last = std::max(last, packet->pts);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    const double seconds =
        static_cast<double>(last - first) * av_q2d(format->streams[0]->time_base);
    avformat_close_input(&format);
    EXPECT_GT(seconds, 1.9);  // from the first key picture, one picture short of two seconds
    EXPECT_LT(seconds, 2.0);
    // Progress only on a terminal.
    EXPECT_EQ(rec.err.find('\r'), std::string::npos) << rec.err;
    const auto tty = test::runProcess(
        {"script", "-qec",
         std::string(TARVO_CLI_PATH) + " record 127.0.0.11 --seconds 1 --type 100 --out " + mp4,
         "/dev/null"},
        60s, {"LANG=en_US.UTF-8", "LC_ALL="});
    EXPECT_EQ(tty.exitCode, 0) << tty.out;
    EXPECT_NE(tty.out.find("\rRecording: "), std::string::npos) << tty.out;
    // The name chooses the container, and a name with a colon is a file, not a protocol.
    const auto mkv =
        test::runProcess({"/bin/sh", "-c", R"(cd "$0" && exec "$@")", dir, TARVO_CLI_PATH, "record",
                          "127.0.0.11", "--seconds", "1", "--type", "100", "--out", "cam-1:30.mkv"},
                         60s);
    ASSERT_EQ(mkv.exitCode, 0) << mkv.err;
    ASSERT_EQ(avformat_open_input(&format, (dir + "/cam-1:30.mkv").c_str(), nullptr, nullptr), 0);
    EXPECT_NE(std::string(format->iformat->name).find("matroska"), std::string::npos);
    EXPECT_GE(avformat_find_stream_info(format, nullptr), 0);
    EXPECT_EQ(format->streams[0]->codecpar->width, 320);
    avformat_close_input(&format);

    // A stream that brings no picture ends at its start time-out, saying so.
    const auto never = test::runProcess({TARVO_CLI_PATH, "record", "127.0.0.17", "--seconds", "2",
                                         "--timeout", "1", "--out", mp4, "--type", "100"},
                                        60s);
    EXPECT_EQ(never.exitCode, 1);
    EXPECT_NE(never.err.find("1 秒内没有收到关键帧"), std::string::npos) << never.err;
}

// A stream that cannot be set up ends the snapshot at once, not after its whole time-out.
TEST_F(PreviewE2E, CliSnapshotWithoutAStreamEndsAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    const auto snap =
        test::runProcess({TARVO_CLI_PATH, "snapshot", "127.0.0.10", "--type", "100", "--timeout",
                          "120", "--out", ::testing::TempDir() + "/tarvo-none.png"},
                         180s);
    EXPECT_EQ(snap.exitCode, 1);
    EXPECT_NE(snap.err.find("connect error!"), std::string::npos) << snap.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
}

// The same colour patches coded at full range with BT.601 and at limited range with BT.709,
// played from files: the snapshot holds every patch within 3 levels of FFmpeg's own conversion,
// and the recording declares the stream's own range and matrix.
TEST(PreviewColourE2E, SnapshotLevelsAndRecordingTagsFollowTheStream) {
    std::string dir;
    const nlohmann::json fleet = test::colour::patchFleet(dir);
    ASSERT_FALSE(fleet.is_null());
    test::SimProcess sim(fleet);
    for (const auto& s : test::colour::kPatchStreams) {
        SCOPED_TRACE(s.file);
        std::string error;
        const auto reference = test::colour::referencePatches(dir + "/" + s.file, error);
        ASSERT_FALSE(reference.empty()) << error;

        const std::string png = dir + "/" + s.file + ".png";
        const auto snap = test::runProcess(
            {TARVO_CLI_PATH, "snapshot", s.ip, "--type", "100", "--out", png, "--json"}, 60s);
        ASSERT_EQ(snap.exitCode, 0) << snap.err;
        EXPECT_EQ(nlohmann::json::parse(snap.out)["colourRange"], s.full ? "full" : "limited");
        const auto saved = test::colour::pngPatches(png, error);
        ASSERT_FALSE(saved.empty()) << error;
        std::cout << "snapshot " << s.file << ": " << test::colour::describe(saved)
                  << "\nreference: " << test::colour::describe(reference) << std::endl;
        // At the picture's own size there is nothing to blur the levels: within one level.
        EXPECT_LE(test::colour::largestDifference(saved, reference), 1)
            << "saved:     " << test::colour::describe(saved)
            << "\nreference: " << test::colour::describe(reference);

        const std::string mp4 = dir + "/" + s.file + ".mp4";
        const auto rec = test::runProcess(
            {TARVO_CLI_PATH, "record", s.ip, "--seconds", "0.5", "--type", "100", "--out", mp4},
            60s);
        ASSERT_EQ(rec.exitCode, 0) << rec.err;
        // What the file's header says, before any decoder looked at the video.
        AVFormatContext* format = nullptr;
        ASSERT_EQ(avformat_open_input(&format, mp4.c_str(), nullptr, nullptr), 0);
        ASSERT_EQ(format->nb_streams, 1u);
        const AVCodecParameters& par = *format->streams[0]->codecpar;
        EXPECT_EQ(par.color_range, s.full ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG);
        EXPECT_EQ(par.color_space, s.bt709 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M);
        avformat_close_input(&format);
    }
}
