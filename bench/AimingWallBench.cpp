// A wall of live camera tiles, off-screen, over loopback in a sandbox:
//   QT_QPA_PLATFORM=offscreen scripts/sandbox -- build/release/bench/bench-aiming-wall [seconds]
//       [--only16] [--stand-in] [--decoder-threads N] [--tuning T] [--no-bare]
// One simulator serves 16 cameras (1080p H.264 main streams, D1 sub-streams at about 1 Mbit/s,
// 25 pictures a second, a pre-encoded loop: encoding is not the wall's cost). First a wall of 4
// tiles on the main streams, then one of 16 tiles on the D1 streams; for each:
//   - pictures lost: gaps in the frame numbers read back from each tile's painted pixels, less
//     what the simulator itself dropped;
//   - painted pictures a second per tile (the slowest tile), each frame number counted once;
//   - the delay from the simulator sending a picture to its tile having painted it (median);
//   - the window thread's longest stall (pinged every 10 ms, as a window manager does);
//   - the process's peak resident memory while the wall plays (VmHWM, reset before);
//   - the process's CPU in cores, against the CPU of a bare decode of the same streams measured
//     just before and just after the wall in the same run (their mean, so that a load that
//     comes or goes meanwhile weighs on both sides alike): the same cameras received by the same
//     stream client, with one single-threaded decoder each and no renderer. That baseline gets the
//     very packets the wall gets, at the rate and in the bursts the network gives them, and pays
//     the same receive path, so what the ratio shows above 1 is what showing the pictures costs.
// Ends with one figure a line for scripts (the 16-tile wall), and "within bounds" or the bounds
// missed; exits 1 when one is missed.
//
// --stand-in (and the default where the wall window is not built): the tiles are the single
// preview's pieces side by side (stream client, SwsImageRenderer, VideoWidget per tile).
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGridLayout>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "GuiDriver.h"
#include "ProcessMeasures.h"
#include "core/preview/CCamStreamClient.h"
#include "preview/SwsImageRenderer.h"
#include "preview/VideoWidget.h"
#include "sim/TestPattern.h"
#include "sim/VideoClip.h"
#include "support/RecordingNotifier.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

#if __has_include("wall/CWallDlg.h")
#include "wall/CWallDlg.h"
#include "wall/WallTile.h"
#define TARVO_BENCH_HAS_WALL 1
#endif

using namespace tarvo;

namespace {

using bench::percentile;
using bench::steadyMs;

constexpr int kCameras = 16;
constexpr int kPort = 5505;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Peak resident memory counts from here on (the kernel sets the mark to the current size).
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string cameraIp(int i) {
    return "127.0.0." + std::to_string(2 + i);
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

struct Options {
    double seconds = 30;
    bool only16 = false;
    bool standIn = false;
    bool bare = true;        // --no-bare: the wall alone (for profiling it)
    int decoderThreads = 1;  // the stand-in's decoders (the wall chooses its own)
    // The stand-in's renderers: --tuning preview (the single preview's), or
    // --tuning THREAD,STEPS,FLAGS (own|inline, 1|2, libswscale flags); the tiles' by default.
    gui::SwsImageRenderer::Tuning tuning = gui::SwsImageRenderer::tileTuning();
};

// The wall as the benchmark drives it: tiles whose packets it taps and whose paints it reads.
class Wall {
public:
    virtual ~Wall() = default;
    using TapFactory = std::function<preview::CCamStreamClient::PacketTap(int index)>;
    // Before show().
    virtual void setTapFactory(TapFactory factory) = 0;
    virtual void show() = 0;
    [[nodiscard]] virtual int tiles() const = 0;
    [[nodiscard]] virtual gui::VideoWidget* video(int index) const = 0;
};

// The single preview's pieces side by side: one client, SwsImageRenderer and VideoWidget per
// tile, in a grid as large as a wall's window on a 1366 x 768 screen.
class StandInWall final : public Wall {
public:
    StandInWall(int tiles, int streamChoice, const Options& options)
        : choice_(streamChoice), decoderThreads_(options.decoderThreads), tuning_(options.tuning) {
        auto* grid = new QGridLayout(&window_);
        grid->setSpacing(2);
        grid->setContentsMargins(2, 2, 2, 2);
        const int side = tiles <= 1 ? 1 : tiles <= 4 ? 2 : tiles <= 9 ? 3 : 4;
        for (int i = 0; i < tiles; ++i) {
            auto* video = new gui::VideoWidget(&window_);
            grid->addWidget(video, i / side, i % side);
            videos_.push_back(video);
        }
        window_.resize(1280, 720);
    }
    ~StandInWall() override {
        for (auto& client : clients_) client->stop();
    }
    void setTapFactory(TapFactory factory) override { factory_ = std::move(factory); }
    void show() override {
        window_.show();
        for (std::size_t i = 0; i < videos_.size(); ++i) {
            const protocol::LoginInfo info{
                cameraIp(static_cast<int>(i)), kPort, "admin", "", choice_, 100};
            auto client = std::make_unique<preview::CCamStreamClient>(
                info, notifier_, std::make_unique<gui::SwsImageRenderer>(tuning_), videos_[i]);
            if (factory_) client->setPacketTap(factory_(static_cast<int>(i)));
            client->setDecoderThreads(decoderThreads_);
            client->startPreview();
            clients_.push_back(std::move(client));
        }
    }
    [[nodiscard]] int tiles() const override { return static_cast<int>(videos_.size()); }
    [[nodiscard]] gui::VideoWidget* video(int index) const override {
        return videos_[static_cast<std::size_t>(index)];
    }

private:
    int choice_;
    int decoderThreads_;
    gui::SwsImageRenderer::Tuning tuning_;
    QWidget window_;
    std::vector<gui::VideoWidget*> videos_;
    test::RecordingNotifier notifier_;
    TapFactory factory_;
    std::vector<std::unique_ptr<preview::CCamStreamClient>> clients_;
};

#ifdef TARVO_BENCH_HAS_WALL
class DialogWall final : public Wall {
public:
    DialogWall(int tiles, int streamChoice) {
        std::vector<gui::WallCamera> cameras;
        for (int i = 0; i < tiles; ++i)
            cameras.push_back({u"Cam " + std::u16string(1, static_cast<char16_t>(u'A' + i)),
                               u"Bench", cameraIp(i), kPort, 100});
        dialog_ = std::make_unique<gui::CWallDlg>(std::move(cameras), "admin", "");
        dialog_->setTilesPerPage(tiles);
        if (streamChoice == 0) {
            dialog_->setMainStreams(true);
        } else {
            dialog_->setStreamChoice(streamChoice);
        }
    }
    void setTapFactory(TapFactory factory) override {
        dialog_->setPacketTapFactory(std::move(factory));
    }
    void show() override {
        dialog_->resize(1280, 720);
        dialog_->show();
    }
    [[nodiscard]] int tiles() const override { return dialog_->tileCount(); }
    [[nodiscard]] gui::VideoWidget* video(int index) const override {
        return dialog_->tile(index)->video();
    }

private:
    std::unique_ptr<gui::CWallDlg> dialog_;
};
#endif

std::unique_ptr<Wall> makeWall(const Options& options, int tiles, int streamChoice) {
#ifdef TARVO_BENCH_HAS_WALL
    if (!options.standIn) return std::make_unique<DialogWall>(tiles, streamChoice);
#endif
    return std::make_unique<StandInWall>(tiles, streamChoice, options);
}

// What one tile painted. sentAt is written on the tile's decode thread (the tap) and read on
// the window's thread (the paint); the rest is the window thread's.
struct TileTrack {
    explicit TileTrack(int length) : sentAt(static_cast<std::size_t>(length)) {}
    std::vector<std::atomic<std::uint32_t>> sentAt;
    int previous = -1;
    std::uint64_t distinct = 0;
    std::uint64_t counted = 0;
    std::uint64_t lost = 0;
    std::uint64_t unreadable = 0;
};

std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

std::uint64_t simDropped(const test::SimProcess& sim, int cameras) {
    std::uint64_t dropped = 0;
    for (int i = 0; i < cameras; ++i)
        dropped += sim.device(cameraIp(i))["stream"]["framesDropped"].get<std::uint64_t>();
    return dropped;
}

struct Figures {
    int tiles = 0;
    std::uint64_t lost = 0;
    std::uint64_t simDrop = 0;
    std::uint64_t unreadable = 0;
    double minFps = 0;
    double bareFps = 0;
    int p50 = -1;
    int p95 = -1;
    long stallMs = 0;
    double peakMiB = 0;
    double cores = 0;
    double bareCores = 0;
    bool warmedUp = false;
    QSize tile;                            // the first tile's picture area
    std::pair<double, double> bareSpread;  // the bare decode before and after the wall
    [[nodiscard]] double ratio() const { return bareCores > 0 ? cores / bareCores : 0; }
};

// The bare decode: the same cameras through the same stream client, one single-threaded
// decoder each, no renderer. Its CPU in cores over `seconds`, and pictures a second per stream.
void measureBare(const sim::VideoFormat& format, int cameras, int streamChoice, double seconds,
                 Figures& figures) {
    test::RecordingNotifier notifier;
    std::vector<std::unique_ptr<preview::CCamStreamClient>> clients;
    for (int i = 0; i < cameras; ++i) {
        const protocol::LoginInfo info{cameraIp(i), kPort, "admin", "", streamChoice, 100};
        auto client = std::make_unique<preview::CCamStreamClient>(info, notifier, nullptr);
        client->setDecoderThreads(1);
        client->startPreview();
        clients.push_back(std::move(client));
    }
    const auto pictures = [&] {
        std::uint64_t fewest = ~0ULL;
        for (const auto& c : clients) fewest = std::min(fewest, c->stats().pictures);
        return fewest;
    };
    // A loop's worth first: the decoders' start and the simulator's first encoding stay out.
    runUntil([&] { return pictures() >= static_cast<std::uint64_t>(format.loopLength()); },
             180'000);
    const std::uint64_t before = pictures();
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runUntil([] { return false; }, static_cast<int>(seconds * 1000));
    const double elapsed = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    figures.bareCores = (cpuSeconds() - cpu0) / elapsed;
    figures.bareFps = static_cast<double>(pictures() - before) / elapsed;
    for (auto& c : clients) c->stop();
}

void watchTile(gui::VideoWidget& video, TileTrack& track, const sim::VideoFormat& format,
               const bool& counting, std::vector<int>& delays) {
    const int length = format.loopLength();
    video.setPaintObserver([&track, &counting, &delays, format, length](const QImage& painted) {
        if (painted.isNull()) return;
        const auto number = paintedFrameNumber(painted, format.width, format.height);
        if (!number || *number >= static_cast<std::uint32_t>(length)) {
            track.unreadable += counting ? 1 : 0;
            return;
        }
        const int n = static_cast<int>(*number);
        if (n == track.previous) return;  // the same picture painted again
        ++track.distinct;
        if (counting) {
            ++track.counted;
            if (track.previous >= 0)
                track.lost +=
                    static_cast<std::uint64_t>((n - track.previous - 1 + length) % length);
            delays.push_back(static_cast<int>(
                steadyMs() -
                track.sentAt[static_cast<std::size_t>(n)].load(std::memory_order_relaxed)));
        }
        track.previous = n;
    });
}

void measureWall(const Options& options, const test::SimProcess& sim,
                 const sim::VideoFormat& format, int tiles, int streamChoice, Figures& figures) {
    const int length = format.loopLength();
    std::vector<std::unique_ptr<TileTrack>> tracks;
    for (int i = 0; i < tiles; ++i) tracks.push_back(std::make_unique<TileTrack>(length));
    bool counting = false;
    std::vector<int> delays;

    resetPeak();
    auto wall = makeWall(options, tiles, streamChoice);
    wall->setTapFactory([&tracks, length](int index) -> preview::CCamStreamClient::PacketTap {
        TileTrack* track = tracks[static_cast<std::size_t>(index)].get();
        return [track, length](int type, std::span<const std::uint8_t> header,
                               std::span<const std::uint8_t>) {
            if (type != 0 || header.size() < 18) return;
            track->sentAt[readU32(header, 10) % static_cast<std::uint32_t>(length)].store(
                readU32(header, 14), std::memory_order_relaxed);
        };
    });
    // The wall makes its tiles as it shows.
    wall->show();
    if (wall->tiles() != tiles) throw std::runtime_error("the wall shows another count of tiles");
    for (int i = 0; i < wall->tiles(); ++i)
        watchTile(*wall->video(i), *tracks[static_cast<std::size_t>(i)], format, counting, delays);
    const auto allPainted = [&](std::uint64_t count) {
        return std::all_of(tracks.begin(), tracks.end(),
                           [count](const auto& t) { return t->distinct >= count; });
    };
    figures.warmedUp =
        runUntil([&] { return allPainted(static_cast<std::uint64_t>(length)); }, 180'000);
    const std::uint64_t droppedBefore = simDropped(sim, tiles);
    counting = true;
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    test::StallProbe probe;
    runUntil([] { return false; }, static_cast<int>(options.seconds * 1000));
    const double elapsed = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    figures.cores = (cpuSeconds() - cpu0) / elapsed;
    counting = false;
    figures.stallMs = static_cast<long>(probe.stop().count());
    figures.peakMiB = static_cast<double>(bench::peakKiB()) / 1024.0;
    figures.simDrop = simDropped(sim, tiles) - droppedBefore;
    figures.tiles = wall->tiles();
    figures.tile = wall->video(0)->size();
    std::uint64_t lost = 0;
    figures.minFps = tracks.empty() ? 0 : 1e9;
    for (const auto& t : tracks) {
        lost += t->lost;
        figures.unreadable += t->unreadable;
        figures.minFps = std::min(figures.minFps, static_cast<double>(t->counted) / elapsed);
    }
    figures.lost = lost > figures.simDrop ? lost - figures.simDrop : 0;
    figures.p50 = percentile(delays, 0.5);
    figures.p95 = percentile(delays, 0.95);
    for (int i = 0; i < wall->tiles(); ++i) wall->video(i)->setPaintObserver({});
    wall.reset();
}

// The bounds a wall must keep; the names of those it missed.
std::vector<std::string> missedBounds(const Figures& f) {
    std::vector<std::string> missed;
    if (f.lost > 0) missed.emplace_back("lost > 0");
    if (f.minFps < 24.5) missed.emplace_back("painted fps min < 24.5");
    if (f.p50 < 0 || f.p50 > 60) missed.emplace_back("p50 > 60 ms");
    if (f.stallMs > 50) missed.emplace_back("stall > 50 ms");
    if (f.peakMiB > 400) missed.emplace_back("peak > 400 MiB");
    if (f.ratio() <= 0 || f.ratio() > 1.3) missed.emplace_back("cpu ratio > 1.3");
    return missed;
}

void printFigures(const char* what, const Figures& f) {
    std::printf("%-30s %5d %5llu %7llu %8.2f %8.2f %6d %6d %6ld %8.1f %6.2f %6.2f %6.2f\n", what,
                f.tiles, static_cast<unsigned long long>(f.lost),
                static_cast<unsigned long long>(f.simDrop), f.minFps, f.bareFps, f.p50, f.p95,
                f.stallMs, f.peakMiB, f.cores, f.bareCores, f.ratio());
    std::printf("  tile picture %dx%d; bare decode runs %.2f and %.2f cores\n", f.tile.width(),
                f.tile.height(), f.bareSpread.first, f.bareSpread.second);
    if (!f.warmedUp) std::printf("  (not every tile painted a whole loop within the warm-up)\n");
    if (f.unreadable > 0)
        std::printf("  (%llu painted pictures without a readable frame number)\n",
                    static_cast<unsigned long long>(f.unreadable));
    const auto missed = missedBounds(f);
    if (missed.empty()) {
        std::printf("  within bounds\n");
    } else {
        for (const auto& m : missed) std::printf("  missed: %s\n", m.c_str());
    }
    std::fflush(stdout);
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--only16") {
            o.only16 = true;
        } else if (arg == "--no-bare") {
            o.bare = false;
        } else if (arg == "--stand-in") {
            o.standIn = true;
        } else if (arg == "--tuning" && i + 1 < argc) {
            const std::string t = argv[++i];
            if (t == "preview") {
                o.tuning = gui::SwsImageRenderer::Tuning();
            } else {
                o.tuning.ownThread = t.rfind("own", 0) == 0;
                o.tuning.scaling.scaleThenConvert = t.find(",2,") != std::string::npos;
                o.tuning.scaling.scaleFlags = std::atoi(t.substr(t.rfind(',') + 1).c_str());
            }
        } else if (arg == "--decoder-threads" && i + 1 < argc) {
            o.decoderThreads = std::atoi(argv[++i]);
        } else {
            o.seconds = std::atof(arg.c_str());
        }
    }
    o.seconds = std::clamp(o.seconds, 1.0, 600.0);
#ifndef TARVO_BENCH_HAS_WALL
    o.standIn = true;
#endif
    return o;
}

nlohmann::json fleet() {
    nlohmann::json devices = nlohmann::json::array();
    for (int i = 0; i < kCameras; ++i) {
        devices.push_back({{"ip", cameraIp(i)},
                           {"type", 100},
                           {"video",
                            {{"codec", "h264"},
                             {"width", 1920},
                             {"height", 1080},
                             {"fps", 25},
                             {"bitrate", 4000},
                             {"gop", 50}}}});
    }
    return {{"devices", devices}};
}

}  // namespace

int main(int argc, char** argv) try {
    test::requireSandboxOrExit();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The wall remembers its layout in the settings: a directory of the run's own, not the user's.
    const QTemporaryDir config;
    if (!config.isValid()) throw std::runtime_error("no temporary directory");
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const Options options = parseOptions(argc, argv);
    test::SimProcess sim(fleet());
    // What the simulator serves for stream choice 0 (main) and 1 (D1, at most 1024 kbit/s).
    const sim::VideoFormat main{"h264", 1920, 1080, 25, 4000, 50, {}, 0};
    const sim::VideoFormat d1{"h264", 704, 576, 25, 1024, 50, {}, 0};

    std::printf("wall: %s, %.0f s a wall\n",
                options.standIn ? "stand-in (preview pieces side by side)" : "CWallDlg",
                options.seconds);
    std::printf("%-30s %5s %5s %7s %8s %8s %6s %6s %6s %8s %6s %6s %6s\n", "wall", "tiles", "lost",
                "simDrop", "fps min", "bare fps", "p50", "p95", "stall", "peak MiB", "cores",
                "bare", "ratio");
    bool allWithin = true;
    if (!options.only16) {
        Figures hd;
        if (options.bare) measureBare(main, 4, 0, options.seconds, hd);
        const double hdBefore = hd.bareCores;
        measureWall(options, sim, main, 4, 0, hd);
        if (options.bare) {
            measureBare(main, 4, 0, options.seconds, hd);
            hd.bareSpread = {std::min(hdBefore, hd.bareCores), std::max(hdBefore, hd.bareCores)};
            hd.bareCores = (hdBefore + hd.bareCores) / 2;
        }
        printFigures("4 tiles, 1080p main streams", hd);
        allWithin = allWithin && missedBounds(hd).empty();
    }
    Figures f;
    if (options.bare) measureBare(d1, kCameras, 1, options.seconds, f);
    const double bareBefore = f.bareCores;
    measureWall(options, sim, d1, kCameras, 1, f);
    if (options.bare) {
        measureBare(d1, kCameras, 1, options.seconds, f);
        f.bareSpread = {std::min(bareBefore, f.bareCores), std::max(bareBefore, f.bareCores)};
        f.bareCores = (bareBefore + f.bareCores) / 2;
    }
    printFigures("16 tiles, D1 sub-streams", f);
    allWithin = allWithin && missedBounds(f).empty();
    std::printf(
        "bare = the same streams through the stream client, one single-threaded decoder "
        "each, no renderer: the mean of a run just before and one just after the wall; "
        "ratio = cores / bare\n");
    std::printf(
        "lost %llu\npainted fps min %.2f\np50 ms %d\nstall ms %ld\npeak MiB %.1f\n"
        "cpu ratio %.2f\n",
        static_cast<unsigned long long>(f.lost), f.minFps, f.p50, f.stallMs, f.peakMiB, f.ratio());
    return allWithin ? 0 : 1;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench-aiming-wall: %s\n", e.what());
    return 2;
}
