// A large site: opening a 5,000-device site file and working out every device's state, and the
// dry run of a 5,000-row address plan (read from its CSV, the search recorded, the plan checked
// whole). The network's own time (the search listening) is not part of either. Reference in the
// same run: reading the site file's bytes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "RatioReporter.h"
#include "core/site/PlanCsv.h"
#include "core/site/PlanReview.h"
#include "core/site/SiteFile.h"
#include "core/site/SiteStatus.h"
#include "core/text/TextConvert.h"

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

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions.data(), aggregates.data()});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter(
        {{"BM_OpenSiteAndStatus/real_time", "BM_ReferenceReadSiteFile/real_time"},
         {"BM_PlanDryRun/real_time", "BM_ReferenceReadSiteFile/real_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
