// Streams of simulated cameras through the preview's own client and decoder: the sub-streams
// come at their own sizes, and the picture checks raise, on each of the simulator's scenes, the
// flag that the scene stands for and no other.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/preview/CCamStreamClient.h"
#include "core/preview/HeadlessRenderer.h"
#include "core/preview/PictureCheck.h"
#include "core/protocol/DeviceCommands.h"
#include "support/RecordingNotifier.h"
#include "support/SharedSimTest.h"
#include "support/Wait.h"

using namespace tarvo;
using namespace std::chrono_literals;
using preview::PictureFlag;
using preview::PictureVerdict;

namespace {

const char* kSceneFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "video": {"width": 1280, "height": 720, "bitrate": 2000}},
  {"ip": "127.0.0.3", "type": 100, "video": {"width": 1280, "height": 720, "codec": "h265"}},
  {"ip": "127.0.0.10", "type": 100, "video": {"width": 704, "height": 576, "bitrate": 1024}},
  {"ip": "127.0.0.11", "type": 100,
   "video": {"width": 704, "height": 576, "bitrate": 1024, "scene": "black"}},
  {"ip": "127.0.0.12", "type": 100,
   "video": {"width": 704, "height": 576, "bitrate": 1024, "scene": "bright"}},
  {"ip": "127.0.0.13", "type": 100,
   "video": {"width": 704, "height": 576, "bitrate": 1024, "scene": "flat"}},
  {"ip": "127.0.0.14", "type": 100,
   "video": {"width": 704, "height": 576, "bitrate": 1024, "scene": "blur"}},
  {"ip": "127.0.0.15", "type": 100,
   "video": {"width": 704, "height": 576, "bitrate": 1024, "scene": "frozen"}}
]})";

class PictureCheckE2E : public test::SharedSimTest<&kSceneFleet> {
protected:
    // A started client whose pictures go to `hook` on the decode thread.
    std::unique_ptr<preview::CCamStreamClient> open(const std::string& ip, int stream,
                                                    preview::HeadlessRenderer::DrawHook hook) {
        auto renderer = std::make_unique<preview::HeadlessRenderer>();
        renderer->setDrawHook(std::move(hook));
        view = renderer.get();
        auto client = std::make_unique<preview::CCamStreamClient>(
            protocol::makeLoginInfo(ip, 5505, u"admin", u"", stream, 100), notifier,
            std::move(renderer));
        client->startPreview();
        return client;
    }

    test::RecordingNotifier notifier;
    preview::HeadlessRenderer* view = nullptr;
};

struct Size {
    int width;
    int height;
};

}  // namespace

// High definition, D1 and CIF as the request's byte 8 chooses them, for either codec: the
// reply and the decoded pictures both have the sub-stream's size.
TEST_F(PictureCheckE2E, EachStreamChoiceComesAtItsSize) {
    const Size sizes[] = {{1280, 720}, {704, 576}, {352, 288}};
    for (const char* ip : {"127.0.0.2", "127.0.0.3"}) {
        for (int choice = 0; choice < 3; ++choice) {
            SCOPED_TRACE(testing::Message() << ip << " stream " << choice);
            auto client = open(ip, choice, {});
            EXPECT_EQ(client->reply().width, sizes[choice].width);
            EXPECT_EQ(client->reply().height, sizes[choice].height);
            ASSERT_TRUE(view->waitForPictures(2, 30s));
            const auto picture = view->lastPicture();
            EXPECT_EQ(picture.width(), sizes[choice].width);
            EXPECT_EQ(picture.height(), sizes[choice].height);
            client->stop();
            const auto requests = sim->device(ip)["stream"]["requests"];
            ASSERT_FALSE(requests.empty());
            const std::string hex = requests.back()["hex"];
            ASSERT_EQ(hex.size(), 24u);
            EXPECT_EQ(hex[16], '0');
            EXPECT_EQ(hex[17], static_cast<char>('0' + choice));
        }
    }
}

namespace {

struct SceneCase {
    const char* scene;
    const char* ip;
    std::uint8_t flag;  // the one flag expected; 0 for none
};

void PrintTo(const SceneCase& c, std::ostream* out) {
    *out << c.scene << " at " << c.ip;
}

class PictureCheckScenes : public PictureCheckE2E,
                           public ::testing::WithParamInterface<SceneCase> {};

// Five seconds of pictures: longer than the frozen window, whatever the machine's load, since
// the pictures are timed by their number at the stream's 25 a second.
constexpr int kPictures = 125;

void printFigures(const char* scene, const std::vector<PictureVerdict>& verdicts) {
    const auto range = [&](auto figure) {
        std::vector<double> values;
        for (const auto& v : verdicts) values.push_back(figure(v.figures));
        std::sort(values.begin(), values.end());
        char text[64];
        std::snprintf(text, sizeof text, "%.2f/%.2f/%.2f", values.front(),
                      values[values.size() / 2], values.back());
        return std::string(text);
    };
    std::printf(
        "scene %-7s (min/median/max) brightness %s contrast %s sharpness %s "
        "sharpness/variance %s change %s\n",
        scene, range([](const auto& f) { return f.brightness; }).c_str(),
        range([](const auto& f) { return f.contrast; }).c_str(),
        range([](const auto& f) { return f.sharpness; }).c_str(),
        range([](const auto& f) {
            return f.contrast > 0 ? f.sharpness / (f.contrast * f.contrast) : 0;
        }).c_str(),
        range([](const auto& f) { return f.change; }).c_str());
}

}  // namespace

TEST_P(PictureCheckScenes, RaisesTheScenesFlagAlone) {
    const SceneCase& c = GetParam();
    preview::PictureCheck check;
    std::vector<PictureVerdict> verdicts;  // written on the decode thread, read after stop
    std::atomic<int> checked{0};
    const auto start = preview::PictureCheck::Clock::now();
    auto client = open(c.ip, 0, [&](const preview::Picture& picture) {
        if (checked.load() >= kPictures) return;
        verdicts.push_back(check.check(picture, start + verdicts.size() * 40ms));
        ++checked;
    });
    ASSERT_TRUE(test::waitUntil([&] { return checked.load() >= kPictures; }, 60s));
    client->stop();
    printFigures(c.scene, verdicts);

    // Nothing but the scene's own flag, ever; the scene's flag on the last picture, and, but
    // for frozen (which takes its window), on nearly all of them.
    int raised = 0;
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        ASSERT_EQ(verdicts[i].flags & ~c.flag, 0)
            << "picture " << i << " flags " << int(verdicts[i].flags);
        raised += verdicts[i].flags == c.flag ? 1 : 0;
    }
    EXPECT_EQ(verdicts.back().flags, c.flag);
    if (c.flag != static_cast<std::uint8_t>(PictureFlag::Frozen)) {
        EXPECT_GE(raised, kPictures - 2);
    }
    EXPECT_EQ(verdicts.back().reasons().size(), c.flag != 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, PictureCheckScenes,
    ::testing::Values(
        SceneCase{"normal", "127.0.0.10", 0},
        SceneCase{"black", "127.0.0.11", static_cast<std::uint8_t>(PictureFlag::Black)},
        SceneCase{"bright", "127.0.0.12", static_cast<std::uint8_t>(PictureFlag::WashedOut)},
        SceneCase{"flat", "127.0.0.13", static_cast<std::uint8_t>(PictureFlag::Flat)},
        SceneCase{"blur", "127.0.0.14", static_cast<std::uint8_t>(PictureFlag::Blurred)},
        SceneCase{"frozen", "127.0.0.15", static_cast<std::uint8_t>(PictureFlag::Frozen)}),
    [](const auto& info) { return std::string(info.param.scene); });
