// The 4:2:0 to YUYV conversion of a 3840 × 2160 picture, single-threaded, against memcpy of
// the same output bytes and against libswscale's yuv420p -> yuyv422 (SWS_POINT).
// And the work the preview window does per 4K picture, from the decoder's planes to RGB at the
// window's size (796 × 796, bilinear): /0 with a hand-over copy of the planes (as the window
// did), /1 from the decoder's planes by reference, libswscale told the picture's range and
// matrix (as it does now).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "RatioReporter.h"
#include "core/preview/AlignedPicture.h"
#include "core/preview/YuyvConvert.h"

using namespace tarvo::preview;

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;
constexpr std::size_t kOut = static_cast<std::size_t>(kWidth) * kHeight * 2;

struct Source {
    std::vector<std::uint8_t> y, u, v;
    Source() : y(static_cast<std::size_t>(kWidth) * kHeight), u(y.size() / 4), v(y.size() / 4) {
        std::mt19937 random(3);
        for (auto* plane : {&y, &u, &v})
            for (auto& b : *plane) b = static_cast<std::uint8_t>(random());
    }
};

const Source& source() {
    static const Source s;
    return s;
}

void BM_ConvertToYuyv(benchmark::State& state) {
    forceSse2YuyvConvert(state.range(0) == 1);
    const Source& s = source();
    AlignedPicture out;
    out.allocate(kOut);
    const PlanarPicture in{s.y.data(), s.u.data(), s.v.data(), kWidth, kWidth / 2, kWidth, kHeight};
    for (auto _ : state) {
        convertToYuyv(in, out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(yuyvConvertPath());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kOut);
    forceSse2YuyvConvert(false);
}
BENCHMARK(BM_ConvertToYuyv)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReferenceMemcpy(benchmark::State& state) {
    std::vector<std::uint8_t> from(kOut, 1);
    AlignedPicture out;
    out.allocate(kOut);
    for (auto _ : state) {
        std::memcpy(out.data(), from.data(), kOut);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kOut);
}
BENCHMARK(BM_ReferenceMemcpy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReferenceSwscale(benchmark::State& state) {
    const Source& s = source();
    SwsContext* sws = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight,
                                     AV_PIX_FMT_YUYV422, SWS_POINT, nullptr, nullptr, nullptr);
    AlignedPicture out;
    out.allocate(kOut);
    const std::uint8_t* planes[3] = {s.y.data(), s.u.data(), s.v.data()};
    const int strides[3] = {kWidth, kWidth / 2, kWidth / 2};
    std::uint8_t* dst[1] = {out.data()};
    const int dstStride[1] = {kWidth * 2};
    for (auto _ : state) {
        sws_scale(sws, planes, strides, 0, kHeight, dst, dstStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(sws);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kOut);
}
BENCHMARK(BM_ReferenceSwscale)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToScreen(benchmark::State& state) {
    constexpr int kScreen = 796;
    const Source& s = source();
    const bool byReference = state.range(0) == 1;
    std::vector<std::uint8_t> handOver(kOut * 3 / 4);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kScreen) * kScreen * 4);
    SwsContext* sws = nullptr;
    std::uint8_t* const dst[4] = {rgb.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {kScreen * 4, 0, 0, 0};
    const int strides[4] = {kWidth, kWidth / 2, kWidth / 2, 0};
    for (auto _ : state) {
        const std::uint8_t* y = s.y.data();
        const std::uint8_t* u = s.u.data();
        const std::uint8_t* v = s.v.data();
        if (!byReference) {
            std::uint8_t* copy = handOver.data();
            std::memcpy(copy, s.y.data(), s.y.size());
            std::memcpy(copy + s.y.size(), s.u.data(), s.u.size());
            std::memcpy(copy + s.y.size() + s.u.size(), s.v.data(), s.v.size());
            y = copy;
            u = copy + s.y.size();
            v = u + s.u.size();
        }
        sws = sws_getCachedContext(sws, kWidth, kHeight, AV_PIX_FMT_YUV420P, kScreen, kScreen,
                                   AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (byReference) {
            const int* table = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(sws, table, 1, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                                     1 << 16, 1 << 16);
        }
        const std::uint8_t* const planes[4] = {y, u, v, nullptr};
        sws_scale(sws, planes, strides, 0, kHeight, dst, dstStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(sws);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ToScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Other work on the machine comes and goes: several interleaved runs, compared by median.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions.data(), interleave.data(), aggregates.data()});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter({{"BM_ConvertToYuyv/0/real_time", "BM_ReferenceMemcpy/real_time"},
                            {"BM_ConvertToYuyv/0/real_time", "BM_ReferenceSwscale/real_time"},
                            {"BM_ConvertToYuyv/1/real_time", "BM_ReferenceMemcpy/real_time"},
                            {"BM_ConvertToYuyv/1/real_time", "BM_ReferenceSwscale/real_time"},
                            {"BM_ToScreen/1", "BM_ToScreen/0"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
