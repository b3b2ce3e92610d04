// Resource soak: 100 searches, 100 previews opened and closed and 20 firmware uploads against a
// simulated fleet, with this process's open descriptors (/proc/self/fd), threads
// (/proc/self/task) and resident memory (VmRSS) taken after a warm-up round and at the end.
// Descriptors and threads must come back to exactly the warm-up figures; memory may grow by at
// most the stated bound (allocator caches settle, nothing may pile up per operation).
//
//   scripts/soak                       (builds nothing; runs this in a sandbox)
//   scripts/sandbox -- build/release/bench/tarvo-soak [--searches N] [--previews N] [--uploads N]
//                                                     [--rss-growth-kib K] [--time-limit S]
//
// Exit status 0 when everything held, 1 when a figure grew or an operation failed, 2 on misuse.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/HeadlessRenderer.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/upgrade/FirmwareUploader.h"
#include "core/upgrade/UpgradeProfile.h"
#include "support/RecordingNotifier.h"
#include "support/Sandbox.h"
#include "support/Sanitizers.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

using namespace tarvo;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFleetSize = 24;

using tarvo::test::kSanitized;

int countEntries(const char* path) {
    int count = 0;
    if (DIR* dir = ::opendir(path)) {
        while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.' ? 1 : 0;
        ::closedir(dir);
    }
    return count;
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

struct Figures {
    int fds = 0;
    int threads = 0;
    long rssKiB = 0;
};

Figures measure() {
    // The directory listing itself holds one descriptor while it runs, the same every time.
    return {countEntries("/proc/self/fd"), countEntries("/proc/self/task"), residentKiB()};
}

class Watch final : public upgrade::UploadObserver {
public:
    void uploadStarted(int, std::uint32_t) override {}
    void uploadProgress(int, std::uint64_t) override {}
    void uploadFinished(const upgrade::UploadOutcome& o) override { outcome = o; }
    upgrade::UploadOutcome outcome;
};

struct Soak {
    discovery::DeviceTable table;
    net::SystemMacResolver resolver;
    test::RecordingNotifier notifier;
    discovery::DiscoveryEngine engine{table, resolver, notifier};
    std::string package;
    int failures = 0;

    void fail(const char* what, int round) {
        ++failures;
        std::fprintf(stderr, "soak: %s failed in round %d\n", what, round);
    }

    // One search the way the window runs it, on the engine that stays open; waits for the fleet.
    void search(int round) {
        engine.startSearch();
        const bool all = test::waitUntil(
            [&] {
                std::lock_guard guard(table.lock());
                return table.rowCount() == kFleetSize;
            },
            5s);
        if (!all) fail("search", round);
    }

    // A preview window's life: open, first picture, close.
    void preview(int round) {
        auto renderer = std::make_unique<preview::HeadlessRenderer>();
        preview::HeadlessRenderer* view = renderer.get();
        const std::string ip = "127.0.0." + std::to_string(2 + round % 4);
        preview::CCamStreamClient client(
            protocol::makeLoginInfo(ip, protocol::kCameraCommandPort, u"admin", u"", 0, 100),
            notifier, std::move(renderer));
        client.startPreview();
        if (!view->waitForPictures(0, 10s)) fail("preview", round);
        client.stop();
    }

    void upload(const test::SimProcess& sim, int round) {
        const std::string ip = "127.0.0.2";
        sim.set(ip, "version=v00.00.02.08");
        Watch watch;
        upgrade::FirmwareUploader uploader(upgrade::cameraUpgrade(), watch);
        uploader.SetTarget(protocol::kCameraCommandPort, ip);
        if (!uploader.connect()) return fail("upload connect", round);
        uploader.QueryFirmwareVersion();
        uploader.start(package);
        uploader.wait();
        if (watch.outcome.status != upgrade::UploadStatus::Accepted) fail("upload", round);
    }
};

int argument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}

}  // namespace

int main(int argc, char** argv) try {
    test::requireSandboxOrExit();
    const int searches = argument(argc, argv, "--searches", 100);
    const int previews = argument(argc, argv, "--previews", 100);
    const int uploads = argument(argc, argv, "--uploads", 20);
    const long rssBoundKiB = argument(argc, argv, "--rss-growth-kib", 8192);
    const int timeLimit = argument(argc, argv, "--time-limit", 300);
    if (searches < 1 || previews < 1 || uploads < 1 || timeLimit < 10) {
        std::fprintf(stderr, "tarvo-soak: counts must be positive\n");
        return 2;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(timeLimit);

    nlohmann::json devices = nlohmann::json::array();
    for (int i = 0; i < kFleetSize; ++i) {
        nlohmann::json d{{"ip", "127.0.0." + std::to_string(2 + i)},
                         {"type", 100},
                         {"name", "soak-" + std::to_string(i)},
                         {"version", "v00.00.02.08"}};
        if (i < 4)
            d["video"] = {{"codec", i % 2 == 0 ? "h264" : "h265"},
                          {"width", 320},
                          {"height", 240},
                          {"fps", 25},
                          {"gop", 25}};
        devices.push_back(d);
    }
    test::SimProcess sim(nlohmann::json{{"devices", devices}});

    char pattern[] = "/tmp/tarvo-soak-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return 1;
    const std::string dir = pattern;
    Soak soak;
    soak.package = dir + "/IPC_update_00.00.03.08.img";
    {
        std::ofstream out(soak.package, std::ios::binary);
        std::vector<char> block(256 * 1024);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31);
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    soak.engine.openInterfaces();

    // Warm-up: every kind of operation once or a few times, so that lazily made things
    // (thread-pool-like runtime helpers, codec tables, allocator arenas) exist before measuring.
    const auto start = Clock::now();
    for (int i = 0; i < 3; ++i) soak.search(-1);
    for (int i = 0; i < 4; ++i) soak.preview(i);
    for (int i = 0; i < 2; ++i) soak.upload(sim, -1);
    std::this_thread::sleep_for(200ms);
    const Figures before = measure();

    int done[3] = {0, 0, 0};
    // Interleaved, as a person works: a search, some previews, now and then an upload.
    const int rounds = std::max({searches, previews, uploads});
    for (int r = 0; r < rounds && Clock::now() < deadline; ++r) {
        if (r < searches) soak.search(r), ++done[0];
        if (r < previews) soak.preview(r), ++done[1];
        if (r * uploads / rounds != (r + 1) * uploads / rounds) soak.upload(sim, r), ++done[2];
    }
    std::this_thread::sleep_for(200ms);
    const Figures after = measure();
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    soak.engine.closeInterfaces();
    std::filesystem::remove_all(dir);

    const bool complete = done[0] == searches && done[1] == previews && done[2] == uploads;
    const bool fdsFlat = after.fds == before.fds;
    const bool threadsFlat = after.threads == before.threads;
    const bool rssOk = kSanitized || after.rssKiB - before.rssKiB <= rssBoundKiB;
    std::printf("soak: %d searches, %d previews, %d uploads in %.1f s (%d failed operations)\n",
                done[0], done[1], done[2], took, soak.failures);
    std::printf("descriptors: %d after warm-up, %d at the end %s\n", before.fds, after.fds,
                fdsFlat ? "(flat)" : "GREW");
    std::printf("threads:     %d after warm-up, %d at the end %s\n", before.threads, after.threads,
                threadsFlat ? "(flat)" : "GREW");
    std::printf(
        "memory:      %ld KiB after warm-up, %ld KiB at the end, growth %ld KiB (bound %ld) %s\n",
        before.rssKiB, after.rssKiB, after.rssKiB - before.rssKiB, rssBoundKiB,
        kSanitized ? "(not judged under a sanitizer)" : (rssOk ? "(ok)" : "TOO MUCH"));
    if (!complete) std::printf("soak: stopped at the time limit of %d s\n", timeLimit);
    return complete && soak.failures == 0 && fdsFlat && threadsFlat && rssOk ? 0 : 1;
} catch (const std::exception& e) {
    std::fprintf(stderr, "tarvo-soak: %s\n", e.what());
    return 1;
}
