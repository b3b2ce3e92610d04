// Firmware upload to several simulated cameras at once, each on a device host of the sandbox
// and on its own connection. The upload paces itself (5 ms after each 32 KiB piece), so uploads
// to different devices should overlap almost fully: reports the time for all of them against
// the time for one, measured in the same run (target: within 1.2), and this process's peak
// resident memory during each (it should not grow with the number of devices).
// Run inside the sandbox: scripts/sandbox --hosts 8 -- build/release/bench/bench-batch-upload [MiB]
//
// The site-scale case, on loopback addresses (no device hosts needed): a batch of 32 cameras,
// 4 uploads at a time, each camera silent for its restart after taking the package. A camera
// that took its package must free its slot at once, so the whole batch should take the uploads
// (measured in the same run: every upload's own time, summed, over 4) plus one restart, plus
// at most 3 s to find the last camera again and read its version.
// scripts/sandbox -- build/release/bench/bench-batch-upload reboot [MiB (16)] [restart s (20)]
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RandomPackage.h"
#include "core/site/GuardedUpgrade.h"
#include "core/upgrade/FirmwareUploader.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;
using Clock = std::chrono::steady_clock;

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

class Watch final : public upgrade::UploadObserver {
public:
    void uploadStarted(int, std::uint32_t) override {}
    void uploadProgress(int, std::uint64_t) override {}
    void uploadFinished(const upgrade::UploadOutcome& o) override { status = o.status; }
    std::atomic<upgrade::UploadStatus> status{upgrade::UploadStatus::NotConnected};
};

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    int accepted = 0;
};

// Uploads `path` to the first `count` hosts at once; the time from the first start to the last
// end, and the peak resident memory meanwhile.
Run uploadTo(int count, const std::string& path) {
    std::vector<std::unique_ptr<Watch>> watches;
    std::vector<std::unique_ptr<upgrade::FirmwareUploader>> uploaders;
    for (int k = 1; k <= count; ++k) {
        watches.push_back(std::make_unique<Watch>());
        uploaders.push_back(std::make_unique<upgrade::FirmwareUploader>(
            upgrade::cameraUpgrade(), *watches.back(), upgrade::FirmwareUploader::Connection::Own));
        uploaders.back()->SetTarget(5505, test::sandboxHostAddress(k));
        if (!uploaders.back()->connect()) {
            (void)std::fprintf(stderr, "bench-batch-upload: cannot connect to host %d\n", k);
        }
        uploaders.back()->QueryFirmwareVersion();
    }
    Run run;
    run.peakKiB = residentKiB();
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            run.peakKiB = std::max(run.peakKiB, residentKiB());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const auto start = Clock::now();
    for (auto& uploader : uploaders) uploader->start(path);
    for (auto& uploader : uploaders) uploader->wait();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sampling = false;
    sampler.join();
    for (const auto& watch : watches) {
        run.accepted += watch->status == upgrade::UploadStatus::Accepted ? 1 : 0;
    }
    return run;
}

constexpr int kSiteCameras = 32;
constexpr int kSiteParallel = 4;

std::string siteCameraAddress(int k) {
    return "127.0.1." + std::to_string(k);
}

// One camera's upload for the batch, on a connection of its own, up to the camera's answer.
site::UploadAttempt uploadOne(const std::string& address, const std::string& path) {
    Watch watch;
    upgrade::FirmwareUploader uploader(upgrade::cameraUpgrade(), watch,
                                       upgrade::FirmwareUploader::Connection::Own);
    uploader.SetTarget(5505, address);
    site::UploadAttempt attempt;
    if (!uploader.connect()) return attempt;
    uploader.QueryFirmwareVersion();
    attempt.oldVersion = uploader.currentVersion();
    if (uploader.start(path)) uploader.wait();
    attempt.accepted = watch.status == upgrade::UploadStatus::Accepted;
    return attempt;
}

int rebootCase(std::uint64_t mebibytes, int restartSeconds) {
    const std::string path = bench::writeRandomPackage(mebibytes << 20);
    if (path.empty()) return 1;
    nlohmann::json fleet{{"devices", nlohmann::json::array()}};
    std::vector<site::UpgradeTarget> targets;
    for (int k = 1; k <= kSiteCameras; ++k) {
        fleet["devices"].push_back({{"ip", siteCameraAddress(k)},
                                    {"type", 100},
                                    {"version", "v00.00.02.08"},
                                    {"uploadInstalls", true},
                                    {"rebootSeconds", restartSeconds}});
        targets.push_back({siteCameraAddress(k), 100, {}});
    }
    int status = 0;
    {
        test::SimProcess sim(fleet);
        site::GuardedOptions options;
        options.packagePath = path;
        options.parallel = kSiteParallel;
        options.wait = std::chrono::seconds(restartSeconds + 60);
        site::GuardedHooks hooks;
        std::mutex mutex;
        Clock::time_point lastTaken{};
        Clock::duration uploading{};  // every upload's own time, summed
        hooks.upload = [&](std::size_t i) {
            const auto began = Clock::now();
            site::UploadAttempt attempt = uploadOne(targets[i].address, path);
            std::lock_guard guard(mutex);
            uploading += Clock::now() - began;
            if (attempt.accepted) lastTaken = std::max(lastTaken, Clock::now());
            return attempt;
        };
        const auto start = Clock::now();
        const auto results = site::runGuardedUpgrade(targets, options, hooks);
        const double total = std::chrono::duration<double>(Clock::now() - start).count();
        // The reference: the uploads alone, four at a time, as if nothing else held a slot.
        const double uploads = std::chrono::duration<double>(uploading).count() / kSiteParallel;
        const double taken = std::chrono::duration<double>(lastTaken - start).count();
        const auto upgraded = std::count_if(results.begin(), results.end(),
                                            [](const auto& r) { return r.upgraded(); });
        const double bound = uploads + restartSeconds + 3.0;
        std::printf("%d cameras, %d at a time, %llu MiB, %d s restart\n", kSiteCameras,
                    kSiteParallel, static_cast<unsigned long long>(mebibytes), restartSeconds);
        std::printf("uploads alone, %d at a time (their times summed / %d): %.1f s\n",
                    kSiteParallel, kSiteParallel, uploads);
        std::printf("the last camera took its package after %.1f s\n", taken);
        std::printf("whole batch, read back: %.1f s (%ld of %d upgraded)\n", total,
                    static_cast<long>(upgraded), kSiteCameras);
        std::printf("bound uploads + one restart + 3 s: %.1f s %s\n", bound,
                    total <= bound ? "OK" : "MISSED");
        std::printf("ratio batch / (uploads + one restart): %.3f\n",
                    total / (uploads + restartSeconds));
        if (upgraded != kSiteCameras || total > bound) status = 1;
    }
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
    return status;
}

}  // namespace

int main(int argc, char** argv) try {
    test::requireSandboxOrExit();
    if (argc > 1 && std::string(argv[1]) == "reboot") {
        return rebootCase(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 16,
                          argc > 3 ? std::atoi(argv[3]) : 20);
    }
    const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 16;
    constexpr int kDevices = 8;
    if (test::sandboxHostCount() < kDevices) {
        (void)std::fprintf(stderr, "bench-batch-upload: run it with scripts/sandbox --hosts %d\n",
                           kDevices);
        return 2;
    }
    const std::string path = bench::writeRandomPackage(mebibytes << 20);
    if (path.empty()) return 1;
    const std::string dir = std::filesystem::path(path).parent_path();

    int status = 0;
    {
        std::vector<std::unique_ptr<test::SimProcess>> sims;
        for (int k = 1; k <= kDevices; ++k) {
            test::SimOptions options;
            options.host = k;
            const nlohmann::json device = {
                {"ip", test::sandboxHostAddress(k)}, {"type", 100}, {"version", "v00.00.02.08"}};
            sims.push_back(
                std::make_unique<test::SimProcess>(nlohmann::json{{"devices", {device}}}, options));
        }
        const Run one = uploadTo(1, path);
        const Run all = uploadTo(kDevices, path);
        const double ratio = all.seconds / one.seconds;
        std::printf("upload %llu MiB to 1 device: %.3f s, peak RSS %ld KiB (%d accepted)\n",
                    static_cast<unsigned long long>(mebibytes), one.seconds, one.peakKiB,
                    one.accepted);
        std::printf(
            "upload %llu MiB to %d devices at once: %.3f s, peak RSS %ld KiB (%d accepted)\n",
            static_cast<unsigned long long>(mebibytes), kDevices, all.seconds, all.peakKiB,
            all.accepted);
        std::printf("ratio %d devices / 1 device: %.3f (target <= 1.2) %s\n", kDevices, ratio,
                    ratio <= 1.2 ? "OK" : "MISSED");
        std::printf("peak RSS growth %d vs 1: %ld KiB %s\n", kDevices, all.peakKiB - one.peakKiB,
                    all.peakKiB - one.peakKiB < 2048 ? "flat" : "NOT FLAT");
        if (one.accepted != 1 || all.accepted != kDevices || ratio > 1.2 ||
            all.peakKiB - one.peakKiB >= 2048) {
            status = 1;
        }
    }
    std::filesystem::remove_all(dir);
    return status;
} catch (const std::exception& e) {
    (void)std::fprintf(stderr, "bench-batch-upload: %s\n", e.what());
    return 1;
}
