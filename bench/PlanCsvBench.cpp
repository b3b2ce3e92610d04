// Reading address plans from files as the command line does (readPlanFile): the time and the
// most resident memory it takes, for plans a spreadsheet saves and for files made to hurt:
//   quotes/N: "a" followed by N MiB of '"' in a row's MAC cell;
//   separators/N: N MiB of commas (one line of empty cells);
//   lineEnds/N: N MiB of empty lines;
//   shortBadRows: as many rows as a plan may hold, each too short to be right;
//   rows/N: a plan of N devices (100,000 is past the most a plan may hold, and refused).
// peakMiB is the growth of the resident set while a fresh process reads the file once,
// peakPerByte the same over the file's size.
// Reference in the same run: reading the 32 MiB file's bytes.
//   build/release/bench/bench-plan-csv [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "ProcessMeasures.h"
#include "RatioReporter.h"
#include "core/site/PlanCsv.h"

using namespace tarvo;

namespace {

constexpr std::size_t kMiB = 1u << 20;
// Run as "bench-plan-csv --peak-of FILE": reads FILE once and prints the resident set's growth.
constexpr const char* kPeakOf = "--peak-of";

std::string macOf(int i) {
    char mac[18];
    (void)std::snprintf(mac, sizeof mac, "02:00:%02X:%02X:%02X:%02X", (i >> 24) & 0xff,
                        (i >> 16) & 0xff, (i >> 8) & 0xff, i & 0xff);
    return mac;
}

// Devices in 10.0.0.0/8, none the network's or broadcast address.
std::string addressOf(int i) {
    const int host = i + 2;
    return "10." + std::to_string((host >> 16) & 0xff) + "." + std::to_string((host >> 8) & 0xff) +
           "." + std::to_string(host & 0xff);
}

std::string planOf(int devices) {
    std::string csv = "MAC,IP,Mask,Gateway,Name,Location\r\n";
    for (int i = 0; i < devices; ++i) {
        csv += macOf(i) + "," + addressOf(i) + ",255.0.0.0,10.255.255.254,Camera " +
               std::to_string(i) + ",Floor " + std::to_string(i % 40) + "\r\n";
    }
    return csv;
}

// The bench's files, written once each.
class Files {
public:
    Files() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-plan-bench-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
    }
    ~Files() { std::filesystem::remove_all(dir_); }

    const std::string& path(const std::string& name, std::size_t bytes = 0) {
        const std::string key = name + "-" + std::to_string(bytes);
        auto found = paths_.find(key);
        if (found != paths_.end()) return found->second;
        const std::string path = dir_ + "/" + key + ".csv";
        std::ofstream(path, std::ios::binary) << contentOf(name, bytes);
        return paths_.emplace(key, path).first->second;
    }

private:
    static std::string contentOf(const std::string& name, std::size_t bytes) {
        if (name == "quotes") {
            std::string header = "MAC,IP\r\na";
            return header + std::string(bytes - header.size(), '"');
        }
        if (name == "separators") return std::string(bytes, ',');
        if (name == "lineEnds") return std::string(bytes, '\n');
        if (name == "shortBadRows") {
            std::string csv = "MAC,IP\r\n";
            for (std::size_t i = 1; i < site::kMaxPlanRows; ++i) csv += "x,y\r\n";
            return csv;
        }
        return planOf(static_cast<int>(bytes));
    }

    std::string dir_;
    std::map<std::string, std::string> paths_;
};

Files& files() {
    static Files f;
    return f;
}

// The peak resident set from here on (Linux resets it on "5" to clear_refs); memory freed
// before goes back to the system first.
long startPeak() {
    (void)malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    return bench::rssKiB();
}

// How much the resident set grows while a fresh process reads `path`, as the command line
// reads a plan once: in this one, memory kept from the runs before would hide it. -1 on failure.
long peakKiBOfReading(const std::string& path) {
    std::array<int, 2> fds{};
    if (::pipe(fds.data()) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl("/proc/self/exe", "bench-plan-csv", kPeakOf, path.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string out;
    std::array<char, 64> buffer{};
    for (ssize_t n = 0; (n = ::read(fds[0], buffer.data(), buffer.size())) > 0;)
        out.append(buffer.data(), static_cast<std::size_t>(n));
    ::close(fds[0]);
    if (child > 0) ::waitpid(child, nullptr, 0);
    return out.empty() ? -1 : std::stol(out);
}

void readPlan(benchmark::State& state, const std::string& path) {
    const auto bytes = static_cast<double>(std::filesystem::file_size(path));
    std::size_t rows = 0, problems = 0;
    for (auto _ : state) {
        const auto plan = site::readPlanFile(path);
        rows = plan.rows.size();
        problems = plan.problems.size();
        benchmark::DoNotOptimize(plan.rows.data());
    }
    const long peak = peakKiBOfReading(path);
    state.counters["fileMiB"] = bytes / kMiB;
    state.counters["peakMiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["peakPerByte"] = static_cast<double>(peak) * 1024.0 / bytes;
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["problems"] = static_cast<double>(problems);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
}

void BM_PlanQuotes(benchmark::State& state) {
    readPlan(state, files().path("quotes", static_cast<std::size_t>(state.range(0)) * kMiB));
}
BENCHMARK(BM_PlanQuotes)->Arg(1)->Arg(4)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlanSeparators(benchmark::State& state) {
    readPlan(state, files().path("separators", static_cast<std::size_t>(state.range(0)) * kMiB));
}
BENCHMARK(BM_PlanSeparators)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlanLineEnds(benchmark::State& state) {
    readPlan(state, files().path("lineEnds", static_cast<std::size_t>(state.range(0)) * kMiB));
}
BENCHMARK(BM_PlanLineEnds)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlanShortBadRows(benchmark::State& state) {
    readPlan(state, files().path("shortBadRows"));
}
BENCHMARK(BM_PlanShortBadRows)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlanRows(benchmark::State& state) {
    readPlan(state, files().path("rows", static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_PlanRows)
    ->Arg(5000)
    ->Arg(static_cast<int>(site::kMaxPlanRows) - 1)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ReferenceReadFile(benchmark::State& state) {
    const auto& path = files().path("separators", 32 * kMiB);
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(32 * kMiB) * state.iterations());
}
BENCHMARK(BM_ReferenceReadFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == kPeakOf) {
        const long before = startPeak();
        const auto plan = site::readPlanFile(argv[2]);
        std::printf("%ld\n", bench::peakKiB() - before);
        return plan.rows.empty() && plan.problems.empty() ? 1 : 0;
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter({{"BM_PlanQuotes/32/real_time", "BM_ReferenceReadFile/real_time"},
                            {"BM_PlanSeparators/32/real_time", "BM_ReferenceReadFile/real_time"},
                            {"BM_PlanLineEnds/32/real_time", "BM_ReferenceReadFile/real_time"},
                            {"BM_PlanRows/65535/real_time", "BM_ReferenceReadFile/real_time"},
                            {"BM_PlanRows/100000/real_time", "BM_ReferenceReadFile/real_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
