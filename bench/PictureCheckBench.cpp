// What the picture checks cost beside the decoding of the same pictures: a D1 (704 x 576)
// H.264 clip of the simulator's test pattern through the preview's own decoder
// (BM_DecodePicture), and the checks on each of its decoded pictures (BM_CheckPicture). The
// checks run on every picture of a stream, so they must stay a small part of its decoding:
// at most 2 % of it, per picture, measured in the same run: the decoding in processor time (it
// may use more than one thread; every thread's time counts), the checks, which run on the
// decode thread alone, in their own time around each call.
//
//   bench-picture-check [benchmark flags]
// Prints both costs and their share, and exits with 1 when the share is above 2 %.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "core/preview/AvPictureDecoder.h"
#include "core/preview/Picture.h"
#include "core/preview/PictureCheck.h"
#include "sim/VideoClip.h"

using namespace tarvo;

namespace {

constexpr double kLargestShare = 0.02;

const std::vector<std::vector<std::uint8_t>>& clip() {
    static const auto frames = [] {
        sim::VideoClip encoded(sim::VideoFormat{"h264", 704, 576, 25, 1024, 50, {}, 0});
        std::atomic<bool> stop{false};
        encoded.encode(stop);
        if (!encoded.finished())
            throw std::runtime_error("cannot encode the clip: " + encoded.error());
        std::vector<std::vector<std::uint8_t>> out;
        for (int i = 0; i < encoded.available(); ++i) out.push_back(encoded.frame(i).data);
        return out;
    }();
    return frames;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// What reading the thread's clock twice costs, taken off each timed check.
double clockCost() {
    static const double cost = [] {
        constexpr int kReads = 2000;
        const double start = threadCpuSeconds();
        for (int i = 0; i < kReads; ++i) benchmark::DoNotOptimize(threadCpuSeconds());
        return (threadCpuSeconds() - start) / (kReads + 1);
    }();
    return cost;
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void report(benchmark::State& state, std::int64_t pictures, double cpuSeconds) {
    state.SetItemsProcessed(pictures);
    state.counters["cpu_us"] = pictures > 0 ? cpuSeconds * 1e6 / static_cast<double>(pictures) : 0;
}

void BM_DecodePicture(benchmark::State& state) {
    preview::AvPictureDecoder decoder(preview::C264Decode);
    if (!decoder.Init(704, 576)) {
        state.SkipWithError("no decoder");
        return;
    }
    std::int64_t pictures = 0;
    const double cpu0 = processCpuSeconds();
    for (auto _ : state) {
        for (const auto& f : clip()) {
            preview::Picture picture;
            if (decoder.decodePicture(f.data(), static_cast<int>(f.size()), picture)) ++pictures;
            benchmark::DoNotOptimize(picture);
        }
    }
    report(state, pictures, processCpuSeconds() - cpu0);
}

// Each picture checked right after it was decoded, as the preview does, so that it is where
// the decoder left it in the caches; only the checks are timed.
void BM_CheckPicture(benchmark::State& state) {
    preview::AvPictureDecoder decoder(preview::C264Decode);
    if (!decoder.Init(704, 576)) {
        state.SkipWithError("no decoder");
        return;
    }
    preview::PictureCheck check;
    auto when = preview::PictureCheck::Clock::now();
    std::int64_t pictures = 0;
    std::uint8_t flags = 0;
    double total = 0;
    for (auto _ : state) {
        double seconds = 0;
        for (const auto& f : clip()) {
            preview::Picture picture;
            if (!decoder.decodePicture(f.data(), static_cast<int>(f.size()), picture)) continue;
            when += std::chrono::milliseconds(40);
            const double start = threadCpuSeconds();
            flags |= check.check(picture, when).flags;
            seconds += std::max(0.0, threadCpuSeconds() - start - clockCost());
            ++pictures;
        }
        state.SetIterationTime(seconds);
        total += seconds;
    }
    report(state, pictures, total);
    state.SetLabel(flags == 0 ? "no flag raised" : "flags raised on the test pattern!");
}

// The ratios, and at the end each benchmark's processor time per picture (median of the
// repetitions) with the checks' share of the decoding.
class CostReporter : public RatioReporter {
public:
    using RatioReporter::RatioReporter;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type != Run::RT_Aggregate && run.repetitions <= 1;
            const auto cpu = run.counters.find("cpu_us");
            if ((median || single) && cpu != run.counters.end())
                cpuUs_[run.run_name.function_name] = cpu->second;
        }
        RatioReporter::ReportRuns(runs);
    }

    void Finalize() override {
        RatioReporter::Finalize();
        const double decode = cpuUs_["BM_DecodePicture"];
        const double check = cpuUs_["BM_CheckPicture"];
        if (decode <= 0 || check <= 0) return;
        share = check / decode;
        std::printf(
            "\nProcessor time per D1 H.264 picture: decoding %.1f us, checks %.2f us; "
            "the checks cost %.2f %% of the decoding (at most %.0f %%): %s\n",
            decode, check, share * 100, kLargestShare * 100,
            share <= kLargestShare ? "ok" : "TOO MUCH");
    }

    double share = -1;

private:
    std::map<std::string, double> cpuUs_;
};

}  // namespace

int main(int argc, char** argv) try {
    // Interleaved repetitions, compared by median, so that other work on the machine moves
    // both alike. Flags given on the command line come later and win.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions.data(), interleave.data()});
    benchmark::RegisterBenchmark("BM_DecodePicture", BM_DecodePicture)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
    // A fixed count of passes: the timed checks are a small part of each pass (the decoding is
    // not timed), so running to a minimum of timed time would take minutes.
    benchmark::RegisterBenchmark("BM_CheckPicture", BM_CheckPicture)
        ->Unit(benchmark::kMicrosecond)
        ->UseManualTime()
        ->Iterations(40);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    clip();  // encoded before any timing starts
    // Decoding rate over checking rate: the checks' cost as a share of the decoding's.
    CostReporter reporter(std::vector<std::pair<std::string, std::string>>{
        {"BM_DecodePicture/process_time/real_time", "BM_CheckPicture/iterations:40/manual_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.share > kLargestShare ? 1 : 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench-picture-check: %s\n", e.what());
    return 1;
}
