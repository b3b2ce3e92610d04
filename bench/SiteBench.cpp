// A large site: opening a 5,000-device site file and working out every device's state, and the
// dry run of a 5,000-row address plan (read from its CSV, the search recorded, the plan checked
// whole). The network's own time (the search listening) is not part of either. Reference in the
// same run: reading the site file's bytes.
// The report of 500 verified devices with a camera-sized snapshot each, as HTML and as PDF: its
// size, time and the memory it takes beyond the program's (peak resident set); reference:
// reading that site file's bytes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ProcessMeasures.h"
#include "RatioReporter.h"
#include "core/site/PlanCsv.h"
#include "core/site/PlanReview.h"
#include "core/site/SiteFile.h"
#include "core/site/SiteReport.h"
#include "core/site/SiteStatus.h"
#include "core/text/TextConvert.h"
#ifdef TARVO_SITE_BENCH_VERIFY
#include <atomic>
#include <memory>
#include <mutex>

#include "core/site/SiteApply.h"
#include "core/site/SiteVerify.h"
#include "core/text/Notifier.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"
#endif
#include "report/PdfReport.h"
#include "support/TestJpeg.h"

using namespace tarvo;

namespace {

constexpr int kDevices = 5000;

std::string macOf(int i) {
    char mac[18];
    (void)std::snprintf(mac, sizeof mac, "02:00:0A:01:%02X:%02X", (i >> 8) & 0xff, i & 0xff);
    return mac;
}
std::string addressOf(int i, int base) {
    return "10." + std::to_string(base) + "." + std::to_string(i / 250) + "." +
           std::to_string(i % 250 + 1);
}

// The plan puts every device in 10.2.0.0/16; the search hears most of them there already, some
// still at their factory addresses in 10.1.0.0/16, and a few that the plan does not know.
struct Fixture {
    std::string dir, site, csv;
    std::vector<discovery::DeviceRow> heard;

    Fixture() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-site-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        site = dir + "/big.tarvo-site";
        csv = "\xEF\xBB\xBFMAC;IP;Mask;Gateway;Name;Location\r\n";
        for (int i = 0; i < kDevices; ++i) {
            csv += macOf(i) + ";" + addressOf(i, 2) + ";255.255.0.0;10.2.255.254;Camera " +
                   std::to_string(i) + ";Floor " + std::to_string(i % 40) + "\r\n";
            discovery::DeviceRow row;
            row.mac = text::fromUtf8(macOf(i < kDevices - 50 ? i : i + 10000));
            row.address = text::fromUtf8(addressOf(i, i % 10 == 0 ? 1 : 2));
            row.name = u"IPCamera";
            row.type = 100;
            heard.push_back(std::move(row));
        }
        auto s = site::SiteFile::open(site);
        s->replacePlan(site::readPlanCsv(csv).rows);
        for (int visit = 0; visit < 3; ++visit) s->recordSearch(heard, 1000 + visit);
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_OpenSiteAndStatus(benchmark::State& state) {
    auto& f = fixture();
    std::size_t devices = 0;
    for (auto _ : state) {
        auto s = site::SiteFile::open(f.site, false);
        const auto status = site::siteStatus(s->plan(), s->knownDevices(), f.heard);
        devices = status.size();
        benchmark::DoNotOptimize(status.data());
    }
    state.counters["devices"] = static_cast<double>(devices);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpenSiteAndStatus)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlanDryRun(benchmark::State& state) {
    auto& f = fixture();
    std::size_t problems = 0;
    for (auto _ : state) {
        const auto plan = site::readPlanCsv(f.csv);
        auto s = site::SiteFile::open(f.site, false);
        s->recordSearch(f.heard, site::SiteFile::now());
        const auto review = site::reviewPlan(plan.rows, f.heard);
        problems = review.problems.size();
        benchmark::DoNotOptimize(review.steps.data());
    }
    state.counters["problems"] = static_cast<double>(problems);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlanDryRun)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReferenceReadSiteFile(benchmark::State& state) {
    auto& f = fixture();
    for (auto _ : state) {
        std::ifstream in(f.site, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReferenceReadSiteFile)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef TARVO_SITE_BENCH_VERIFY
// Verifying cameras: 16 at four at a time against four rounds of one camera, each camera's
// stream measured for a second, results and snapshots written to a site. The verification is
// mostly waiting for the devices, so four at a time should take about as long as one: the ratio
// printed for the pair is the 16 cameras' time over the four rounds' (target: within 1.3).
// fpsOfSent is the pictures a second the verifications measured over the 25 the cameras send
// (target: above 0.4 at four at a time).
// Needs the simulator and a network sandbox: scripts/sandbox -- build/release/bench/bench-site
constexpr int kVerifyCameras = 16;

struct VerifyFixture {
    std::string dir, site;
    std::unique_ptr<test::SimProcess> sim;
    std::vector<site::VerifyTarget> targets;
    std::string why;

    VerifyFixture() {
        if (!test::insideSandbox(why)) return;
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-verify-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        site = dir + "/verify.tarvo-site";
        (void)site::SiteFile::open(site);
        nlohmann::json devices = nlohmann::json::array();
        for (int i = 0; i < kVerifyCameras; ++i) {
            const std::string ip = "127.0.0." + std::to_string(101 + i);
            devices.push_back(
                {{"ip", ip},
                 {"type", 100},
                 {"video", {{"width", 640}, {"height", 360}, {"fps", 25}, {"gop", 25}}}});
            site::VerifyTarget t;
            t.address = ip;
            t.type = 100;
            targets.push_back(std::move(t));
        }
        sim = std::make_unique<test::SimProcess>(nlohmann::json{{"devices", devices}});
    }
    ~VerifyFixture() {
        sim.reset();
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
};

VerifyFixture& verifyFixture() {
    static VerifyFixture f;
    return f;
}

// The cameras' configured picture rate, the reference of the rate a verification measures.
constexpr double kVerifyFps = 25.0;

class CountPassed final : public site::VerifyObserver {
public:
    void verified(const site::VerifyResult& r, std::span<const std::uint8_t>) override {
        std::lock_guard lock(mutex);
        passed += r.ok ? 1 : 0;
        fpsSum += r.figures.fps.value_or(0.0);
    }
    std::mutex mutex;
    int passed = 0;
    double fpsSum = 0;  // of every camera verified
};

// Verifies `count` cameras from the first, `parallel` at a time; false unless all passed.
// Adds each camera's measured picture rate to `fpsSum`.
bool verifyCameras(int count, int parallel, double& fpsSum) {
    auto& f = verifyFixture();
    site::VerifyOptions options;
    options.parallel = parallel;
    options.seconds = 1.0;
    CountPassed observer;
    const std::atomic<bool> stop{false};
    std::vector<site::VerifyTarget> targets(f.targets.begin(), f.targets.begin() + count);
    (void)site::verifyDevices(f.site, {}, std::move(targets), options, observer, stop);
    std::lock_guard lock(observer.mutex);
    fpsSum += observer.fpsSum;
    return observer.passed == count;
}

// The pictures a second the verifications measured, as a share of the rate the cameras send
// (1.0: every picture arrived and was decoded within its second).
void reportFps(benchmark::State& state, double fpsSum, int cameras) {
    if (cameras > 0) state.counters["fpsOfSent"] = fpsSum / cameras / kVerifyFps;
}

void BM_VerifyFourRoundsOfOneCamera(benchmark::State& state) {
    if (!verifyFixture().sim) {
        state.SkipWithError(("run it with scripts/sandbox: " + verifyFixture().why).c_str());
        return;
    }
    double fpsSum = 0;
    int cameras = 0;
    for (auto _ : state) {
        for (int round = 0; round < 4; ++round) {
            if (!verifyCameras(1, 1, fpsSum))
                state.SkipWithError("a camera failed its verification");
            ++cameras;
        }
    }
    state.SetItemsProcessed(state.iterations());
    reportFps(state, fpsSum, cameras);
}
BENCHMARK(BM_VerifyFourRoundsOfOneCamera)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

void BM_VerifySixteenCamerasFourAtATime(benchmark::State& state) {
    if (!verifyFixture().sim) {
        state.SkipWithError(("run it with scripts/sandbox: " + verifyFixture().why).c_str());
        return;
    }
    double fpsSum = 0;
    int cameras = 0;
    for (auto _ : state) {
        if (!verifyCameras(kVerifyCameras, 4, fpsSum))
            state.SkipWithError("a camera failed its verification");
        cameras += kVerifyCameras;
    }
    state.SetItemsProcessed(state.iterations());
    reportFps(state, fpsSum, cameras);
}
BENCHMARK(BM_VerifySixteenCamerasFourAtATime)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

// Applying an address plan: 64 devices, each on a device host of its own (so each has its own
// MAC), against one device. The writes and confirmations run in parallel rounds, so 64 should
// take little longer than one: the ratio printed is the 64 devices' time over the one's
// (target: within 1.5). Every host already holds the addresses its device is moved to.
// Needs 64 device hosts: scripts/sandbox --hosts 64 -- build/release/bench/bench-site
//   --benchmark_filter=Apply
constexpr int kApplyDevices = 64;

struct ApplyFixture {
    std::string dir, site;
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    std::string why;

    static std::string hostMac(int k) {
        char mac[18];
        (void)std::snprintf(mac, sizeof mac, "02:00:0A:FA:00:%02X", 10 + k);
        return mac;
    }
    // Where host k's device goes in the large run, and host 1's in the single one.
    static std::string largeAddress(int k) { return "10.250.0." + std::to_string(100 + k); }
    static std::string singleAddress() { return "10.250.0.200"; }

    ApplyFixture() {
        if (!test::insideSandbox(why)) return;
        if (test::sandboxHostAddresses().size() < static_cast<std::size_t>(kApplyDevices)) {
            why = "needs scripts/sandbox --hosts 64";
            return;
        }
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-apply-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        site = dir + "/apply.tarvo-site";
        (void)site::SiteFile::open(site);
        for (int k = 1; k <= kApplyDevices; ++k) {
            for (const auto& a : {largeAddress(k), singleAddress()}) {
                if (k != 1 && a == singleAddress()) continue;
                if (test::runInHost(k, {"ip", "addr", "add", a + "/24", "dev", "eth0"}) != 0) {
                    why = "could not add " + a + " to host " + std::to_string(k);
                    return;
                }
            }
            test::SimOptions options;
            options.host = k;
            nlohmann::json device{
                {"ip", test::sandboxHostAddress(k)},
                {"type", 100},
                {"password", "pw"},
                {"netParams", {{"mask", "255.255.255.0"}, {"gateway", "10.250.0.1"}}}};
            sims.push_back(
                std::make_unique<test::SimProcess>(nlohmann::json{{"devices", {device}}}, options));
        }
    }
    ~ApplyFixture() {
        sims.clear();
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
};

ApplyFixture& applyFixture() {
    static ApplyFixture f;
    return f;
}

class QuietNotifier final : public text::Notifier {
public:
    void message(std::u16string_view) override {}
    void systemError(std::u16string_view) override {}
};

// Applies a plan of the first `count` hosts' devices; false unless every one moved.
bool applyDevices(int count) {
    auto& f = applyFixture();
    std::vector<site::PlanRow> plan;
    for (int k = 1; k <= count; ++k) {
        site::PlanRow row;
        row.line = k + 1;
        row.mac = ApplyFixture::hostMac(k);
        row.address = count == 1 ? ApplyFixture::singleAddress() : ApplyFixture::largeAddress(k);
        row.mask = "255.255.255.0";
        row.gateway = "10.250.0.1";
        plan.push_back(std::move(row));
    }
    auto s = site::SiteFile::open(f.site);
    s->replacePlan(plan);
    site::ApplyOptions options;
    options.password = u"pw";
    options.searchSeconds = 2.0;
    QuietNotifier notifier;
    const auto report = site::applyPlan(*s, options, notifier);
    return report.results.size() == static_cast<std::size_t>(count) &&
           std::none_of(report.results.begin(), report.results.end(),
                        [](const auto& r) { return r.failed(); });
}

void BM_ApplyOneDevice(benchmark::State& state) {
    if (!applyFixture().sims.size()) {
        state.SkipWithError(("run it in the sandbox: " + applyFixture().why).c_str());
        return;
    }
    for (auto _ : state) {
        if (!applyDevices(1)) state.SkipWithError("the device did not move");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ApplyOneDevice)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(1);

void BM_ApplySixtyFourDevices(benchmark::State& state) {
    if (!applyFixture().sims.size()) {
        state.SkipWithError(("run it in the sandbox: " + applyFixture().why).c_str());
        return;
    }
    for (auto _ : state) {
        if (!applyDevices(kApplyDevices)) state.SkipWithError("a device did not move");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ApplySixtyFourDevices)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(1);
#endif
constexpr int kReportDevices = 500;

// 500 planned devices, each verified with a 1080p snapshot of about 150 KB.
struct ReportFixture {
    std::string dir, site;
    double snapshotBytes = 0;

    ReportFixture() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-report-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        site = dir + "/report.tarvo-site";
        std::vector<std::vector<unsigned char>> pictures;
        for (int k = 0; k < 8; ++k) pictures.push_back(test::testJpeg(1920, 1080, k, 12, 4));
        auto s = site::SiteFile::open(site);
        std::vector<site::PlanRow> plan;
        for (int i = 0; i < kReportDevices; ++i) {
            plan.push_back({i + 2, macOf(i), addressOf(i, 2), "255.255.0.0", "", "",
                            "摄像机 " + std::to_string(i), "楼层 " + std::to_string(i % 40), ""});
        }
        s->replacePlan(plan);
        for (int i = 0; i < kReportDevices; ++i) {
            site::ActionRecord a;
            a.mac = macOf(i);
            a.address = addressOf(i, 2);
            a.kind = "verify";
            a.started = 1000 + i;
            a.newValue = "V5.6.1";
            a.snapshot = pictures[static_cast<std::size_t>(i) % pictures.size()];
            snapshotBytes += static_cast<double>(a.snapshot.size());
            const auto id = s->beginAction(a);
            s->finishAction(id, "ok", "", 1010 + i,
                            R"({"connectMs":3,"loginMs":9,"firstKeyMs":700,"fps":25,)"
                            R"("kbps":4096,"width":1920,"height":1080,"seconds":10})");
        }
        snapshotBytes /= kReportDevices;
    }
    ~ReportFixture() { std::filesystem::remove_all(dir); }
};

ReportFixture& reportFixture() {
    static ReportFixture f;
    return f;
}

// The peak resident set from here on (Linux resets it on "5" to clear_refs).
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void runReport(benchmark::State& state, bool pdf) {
    auto& f = reportFixture();
    const std::string out = f.dir + (pdf ? "/report.pdf" : "/report.html");
    const long before = bench::rssKiB();
    resetPeakMemory();
    for (auto _ : state) {
        const auto s = site::SiteFile::open(f.site, false);
        if (pdf)
            report::writePdfReport(*s, out);
        else
            site::writeHtmlReport(*s, out);
    }
    state.counters["fileMB"] = static_cast<double>(std::filesystem::file_size(out)) / 1e6;
    state.counters["snapshotKB"] = f.snapshotBytes / 1e3;
    state.counters["extraMiB"] = static_cast<double>(bench::peakKiB() - before) / 1024.0;
    state.SetItemsProcessed(state.iterations());
}

void BM_ReportHtml500(benchmark::State& state) {
    runReport(state, false);
}
BENCHMARK(BM_ReportHtml500)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1)->Repetitions(1);

void BM_ReportPdf500(benchmark::State& state) {
    runReport(state, true);
}
BENCHMARK(BM_ReportPdf500)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1)->Repetitions(1);

void BM_ReferenceReadReportSite(benchmark::State& state) {
    auto& f = reportFixture();
    for (auto _ : state) {
        std::ifstream in(f.site, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReferenceReadReportSite)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(1);

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions.data(), aggregates.data()});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    // Reports need fonts (QtGui), never a screen.
    tarvo::report::OffscreenGui gui;
    RatioReporter reporter(
        {{"BM_OpenSiteAndStatus/real_time", "BM_ReferenceReadSiteFile/real_time"},
         {"BM_PlanDryRun/real_time", "BM_ReferenceReadSiteFile/real_time"},
         {"BM_VerifyFourRoundsOfOneCamera/iterations:1/repeats:3/real_time",
          "BM_VerifySixteenCamerasFourAtATime/iterations:1/repeats:3/real_time"},
         // Both count one item a run, so this is the 64 devices' time over the one's.
         {"BM_ApplyOneDevice/iterations:1/repeats:1/real_time",
          "BM_ApplySixtyFourDevices/iterations:1/repeats:1/real_time"},
         {"BM_ReportHtml500/iterations:1/repeats:1/real_time",
          "BM_ReferenceReadReportSite/iterations:1/repeats:1/real_time"},
         {"BM_ReportPdf500/iterations:1/repeats:1/real_time",
          "BM_ReferenceReadReportSite/iterations:1/repeats:1/real_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
