// The whole preview path, simulator to drawn picture, over loopback in a sandbox:
//   scripts/sandbox -- build/release/bench/bench-preview-path [seconds]
// For a 1080p25 H.264 and a 4K25 H.265 camera: pictures drawn per second against the stream's
// own rate (the reference of this run), pictures lost (gaps in the frame numbers read from the
// pixels, plus what the simulator dropped), and the delay from the simulator sending a picture
// to the picture being drawn, matched by the frame number drawn in it. The simulator serves a
// pre-encoded loop, so encoding time is not part of the delay; a camera adds its own.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ProcessMeasures.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/HeadlessRenderer.h"
#include "core/protocol/DeviceCommands.h"
#include "sim/TestPattern.h"
#include "sim/VideoClip.h"
#include "support/PicturePattern.h"
#include "support/RecordingNotifier.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;
using namespace std::chrono_literals;

namespace {

using bench::percentile;
using bench::rssKiB;
using bench::steadyMs;

struct Result {
    double fps = 0;
    std::uint64_t pictures = 0;
    std::uint64_t lost = 0;
    std::uint64_t unreadable = 0;
    std::vector<int> delays;
    long rssGrowthKiB = 0;
};

Result measure(const std::string& ip, const sim::VideoFormat& format, double seconds) {
    const int length = format.loopLength();
    // Both written and read on the decode thread only (the tap, then the draw hook).
    std::vector<std::uint32_t> sentAt(static_cast<std::size_t>(length), 0);
    Result result;
    int previous = -1;
    std::atomic<bool> counting{false};

    const long rssBefore = rssKiB();
    test::RecordingNotifier notifier;
    auto renderer = std::make_unique<preview::HeadlessRenderer>();
    preview::HeadlessRenderer& view = *renderer;
    view.setDrawHook([&](const preview::Picture& picture) {
        const auto number =
            sim::pattern::readFrameNumber(test::lumaOf(picture), picture.width(), picture.height());
        if (!number || *number >= static_cast<std::uint32_t>(length)) {
            ++result.unreadable;
            return;
        }
        const int n = static_cast<int>(*number);
        if (counting) {
            if (previous >= 0)
                result.lost += static_cast<std::uint64_t>((n - previous - 1 + length) % length);
            result.delays.push_back(
                static_cast<int>(steadyMs() - sentAt[static_cast<std::size_t>(n)]));
        }
        previous = n;
    });
    preview::CCamStreamClient client(protocol::makeLoginInfo(ip, 5505, u"admin", u"", 0, 100),
                                     notifier, std::move(renderer));
    client.setPacketTap(
        [&](int type, std::span<const std::uint8_t> header, std::span<const std::uint8_t>) {
            if (type != 0) return;
            const auto u32 = [&](std::size_t at) {
                return static_cast<std::uint32_t>(header[at]) | (header[at + 1] << 8) |
                       (header[at + 2] << 16) | (static_cast<std::uint32_t>(header[at + 3]) << 24);
            };
            sentAt[u32(10) % static_cast<std::uint32_t>(length)] = u32(14);
        });
    client.startPreview();
    // Warm-up: the decoder's first pictures, and the simulator's first loop being encoded.
    view.waitForPictures(static_cast<std::uint64_t>(length), 120s);
    const std::uint64_t start = view.pictures();
    counting = true;
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    result.rssGrowthKiB = rssKiB() - rssBefore;
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0);
    result.pictures = view.pictures() - start;
    client.stop();
    result.fps = static_cast<double>(result.pictures) / elapsed.count();
    return result;
}

}  // namespace

int main(int argc, char** argv) try {
    test::requireSandboxOrExit();
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const sim::VideoFormat hd{"h264", 1920, 1080, 25, 4000, 50, {}, 0};
    const sim::VideoFormat uhd{"h265", 3840, 2160, 25, 8000, 50, {}, 0};
    test::SimProcess sim(nlohmann::json::parse(R"({"devices": [
        {"ip": "127.0.0.2", "type": 100, "video": {"codec": "h264", "width": 1920,
         "height": 1080, "fps": 25, "bitrate": 4000, "gop": 50}},
        {"ip": "127.0.0.3", "type": 100, "video": {"codec": "h265", "width": 3840,
         "height": 2160, "fps": 25, "bitrate": 8000, "gop": 50}}]})"));

    std::printf("%-24s %8s %8s %6s %6s %10s %10s %10s %12s\n", "stream", "fps", "ratio", "lost",
                "simDrop", "delay p50", "delay p95", "delay max", "memory MiB");
    for (const auto& [ip, format] :
         {std::pair{std::string("127.0.0.2"), hd}, std::pair{std::string("127.0.0.3"), uhd}}) {
        const Result r = measure(ip, format, seconds);
        const auto dropped = sim.device(ip)["stream"]["framesDropped"].get<int>();
        std::printf("%-24s %8.2f %8.2f %6llu %6d %7d ms %7d ms %7d ms %12.1f\n",
                    format.key().c_str(), r.fps, r.fps / format.fps,
                    static_cast<unsigned long long>(r.lost), dropped, percentile(r.delays, 0.5),
                    percentile(r.delays, 0.95), percentile(r.delays, 1.0),
                    static_cast<double>(r.rssGrowthKiB) / 1024.0);
        if (r.unreadable > 0)
            std::printf("  (%llu pictures without a readable frame number)\n",
                        static_cast<unsigned long long>(r.unreadable));
    }
    std::printf("ratio = pictures drawn per second / the stream's own rate, same run\n");
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench-preview-path: %s\n", e.what());
    return 1;
}
