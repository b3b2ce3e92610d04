// The whole preview path with the window, off-screen, over loopback in a sandbox:
//   QT_QPA_PLATFORM=offscreen scripts/sandbox -- build/release/bench/bench-preview-window [seconds]
// The simulator's stream goes through the stream client and decoder into the preview window
// (CViewDlg: libswscale converts and scales each picture to the video widget, which paints it).
// For a 1080p25 H.264 and a 4K25 H.265 camera:
//   - pictures painted per second (each frame number counted once) against the stream's rate;
//   - pictures lost on the way to the screen: gaps in the frame numbers read back from the
//     painted pixels; of them, how many the renderer replaced before converting them, and what
//     the simulator itself dropped;
//   - the delay from the simulator sending a picture to the widget having painted it (frame
//     number matched), median, 95th percentile and largest;
//   - the process's CPU while the window is open, in cores;
//   - the memory the open window adds (resident size while it is open, against before).
// The simulator serves a pre-encoded loop, so encoding is not part of the delay.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ProcessMeasures.h"
#include "core/preview/CCamStreamClient.h"
#include "preview/CViewDlg.h"
#include "preview/SwsImageRenderer.h"
#include "preview/VideoWidget.h"
#include "sim/TestPattern.h"
#include "sim/VideoClip.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;

namespace {

using bench::percentile;
using bench::rssKiB;
using bench::steadyMs;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The frame number of a painted picture: the test pattern's bit blocks, found where the
// scaling put them (source geometry mapped onto the painted size); white reads as 1.
std::optional<std::uint32_t> paintedFrameNumber(const QImage& image, int sourceWidth,
                                                int sourceHeight) {
    if (image.isNull() || image.format() != QImage::Format_RGB32) return std::nullopt;
    const double sx = static_cast<double>(image.width()) / sourceWidth;
    const double sy = static_cast<double>(image.height()) / sourceHeight;
    const int block = sim::pattern::blockSize(sourceWidth, sourceHeight);
    const int radius = std::max(1, static_cast<int>(block / 4 * std::min(sx, sy)));
    std::uint32_t number = 0;
    for (int i = 0; i < sim::pattern::kBits; ++i) {
        const int cx = static_cast<int>((block * (i + 1) + block / 2) * sx);
        const int cy = static_cast<int>((block + block / 2) * sy);
        int sum = 0;
        int count = 0;
        for (int y = std::max(0, cy - radius); y <= std::min(image.height() - 1, cy + radius);
             ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = std::max(0, cx - radius); x <= std::min(image.width() - 1, cx + radius);
                 ++x) {
                sum += qGreen(line[x]);
                ++count;
            }
        }
        const int mean = count > 0 ? sum / count : 0;
        if (mean > 170) {
            number = number << 1 | 1;
        } else if (mean < 85) {
            number <<= 1;
        } else {
            return std::nullopt;
        }
    }
    return number;
}

// Runs the event loop until `done` holds (looked at every 20 ms) or `limitMs` passed; true when
// it held. The loop sleeps between events, so the figures carry no cost of waiting.
template <typename Done>
bool runUntil(Done done, int limitMs) {
    if (done()) return true;
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    bool held = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        held = done();
        if (held || clock.elapsed() >= limitMs) loop.quit();
    });
    clock.start();
    poll.start(20);
    loop.exec();
    return held;
}

struct Result {
    double fps = 0;
    std::uint64_t painted = 0;
    std::uint64_t lost = 0;
    std::uint64_t replaced = 0;
    std::uint64_t unreadable = 0;
    std::vector<int> delays;
    double cores = 0;
    long windowKiB = 0;
    int widgetWidth = 0;
    int widgetHeight = 0;
    bool warmedUp = false;
};

Result measure(const std::string& ip, const sim::VideoFormat& format, double seconds) {
    const int length = format.loopLength();
    // Written on the decode thread, read on the window's.
    std::vector<std::atomic<std::uint32_t>> sentAt(static_cast<std::size_t>(length));
    Result result;
    bool counting = false;
    int previous = -1;
    std::uint64_t distinct = 0;

    const long rssBefore = rssKiB();
    auto dialog = std::make_unique<gui::CViewDlg>();
    dialog->SetConnectInfo(ip, 5505, "admin", "", 0, 100);
    dialog->setPacketTap(
        [&](int type, std::span<const std::uint8_t> header, std::span<const std::uint8_t>) {
            if (type != 0 || header.size() < 18) return;
            const auto u32 = [&](std::size_t at) {
                return static_cast<std::uint32_t>(header[at]) | (header[at + 1] << 8) |
                       (header[at + 2] << 16) | (static_cast<std::uint32_t>(header[at + 3]) << 24);
            };
            sentAt[u32(10) % static_cast<std::uint32_t>(length)].store(u32(14),
                                                                       std::memory_order_relaxed);
        });
    dialog->video()->setPaintObserver([&](const QImage& painted) {
        if (painted.isNull()) return;
        const auto number = paintedFrameNumber(painted, format.width, format.height);
        if (!number || *number >= static_cast<std::uint32_t>(length)) {
            result.unreadable += counting ? 1 : 0;
            return;
        }
        const int n = static_cast<int>(*number);
        if (n == previous) return;  // the same picture painted again (an expose)
        ++distinct;
        if (counting) {
            if (previous >= 0)
                result.lost += static_cast<std::uint64_t>((n - previous - 1 + length) % length);
            result.delays.push_back(static_cast<int>(
                steadyMs() - sentAt[static_cast<std::size_t>(n)].load(std::memory_order_relaxed)));
        }
        previous = n;
    });
    dialog->show();
    // Warm-up: the simulator encodes its loop while serving it the first time.
    result.warmedUp =
        runUntil([&] { return distinct >= static_cast<std::uint64_t>(length); }, 180'000);
    auto* renderer = dialog->client() != nullptr
                         ? dynamic_cast<gui::SwsImageRenderer*>(dialog->client()->renderer())
                         : nullptr;
    const std::uint64_t replacedBefore = renderer != nullptr ? renderer->replaced() : 0;
    const std::uint64_t start = distinct;
    counting = true;
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runUntil([] { return false; }, static_cast<int>(seconds * 1000));
    const double elapsed = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    result.cores = (cpuSeconds() - cpu0) / elapsed;
    result.windowKiB = rssKiB() - rssBefore;
    result.painted = distinct - start;
    result.fps = static_cast<double>(result.painted) / elapsed;
    result.replaced = renderer != nullptr ? renderer->replaced() - replacedBefore : 0;
    result.widgetWidth = dialog->video()->width();
    result.widgetHeight = dialog->video()->height();
    counting = false;
    dialog->close();
    dialog.reset();
    return result;
}

}  // namespace

int main(int argc, char** argv) try {
    test::requireSandboxOrExit();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const sim::VideoFormat hd{"h264", 1920, 1080, 25, 4000, 50, {}, 0};
    const sim::VideoFormat uhd{"h265", 3840, 2160, 25, 8000, 50, {}, 0};
    test::SimProcess sim(nlohmann::json::parse(R"({"devices": [
        {"ip": "127.0.0.2", "type": 100, "video": {"codec": "h264", "width": 1920,
         "height": 1080, "fps": 25, "bitrate": 4000, "gop": 50}},
        {"ip": "127.0.0.3", "type": 100, "video": {"codec": "h265", "width": 3840,
         "height": 2160, "fps": 25, "bitrate": 8000, "gop": 50}}]})"));

    std::printf("%-24s %10s %7s %6s %5s %8s %7s %9s %9s %9s %6s %10s\n", "stream", "widget", "fps",
                "ratio", "lost", "replaced", "simDrop", "delay p50", "delay p95", "delay max",
                "cores", "window MiB");
    for (const auto& [ip, format] :
         {std::pair{std::string("127.0.0.2"), hd}, std::pair{std::string("127.0.0.3"), uhd}}) {
        const Result r = measure(ip, format, seconds);
        const auto dropped = sim.device(ip)["stream"]["framesDropped"].get<int>();
        const std::string widget =
            std::to_string(r.widgetWidth) + "x" + std::to_string(r.widgetHeight);
        std::printf("%-24s %10s %7.2f %6.2f %5llu %8llu %7d %6d ms %6d ms %6d ms %6.2f %10.1f\n",
                    format.key().c_str(), widget.c_str(), r.fps, r.fps / format.fps,
                    static_cast<unsigned long long>(r.lost),
                    static_cast<unsigned long long>(r.replaced), dropped, percentile(r.delays, 0.5),
                    percentile(r.delays, 0.95), percentile(r.delays, 1.0), r.cores,
                    static_cast<double>(r.windowKiB) / 1024.0);
        if (!r.warmedUp) std::printf("  (the first loop was not painted within the warm-up)\n");
        if (r.unreadable > 0)
            std::printf("  (%llu painted pictures without a readable frame number)\n",
                        static_cast<unsigned long long>(r.unreadable));
    }
    std::printf("ratio = pictures painted per second / the stream's own rate, same run\n");
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench-preview-window: %s\n", e.what());
    return 1;
}
