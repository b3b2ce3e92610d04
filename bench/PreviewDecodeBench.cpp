// Pictures per second through the decoder layer (parser, low-delay libavcodec with slice
// threads, conversion to YUYV) on a 1080p H.264 and a 4K H.265 clip of the simulator's test
// pattern. Reference in the same run: a plain libavcodec decode loop with two frame threads
// and no conversion, the work `ffmpeg -threads 2 -i clip -f null -` does (no ffmpeg binary is
// installed here to run it directly).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <atomic>
#include <map>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "RatioReporter.h"
#include "core/preview/C264Decode.h"
#include "core/preview/CHI265Decode.h"
#include "sim/VideoClip.h"

using namespace tarvo;

namespace {

const sim::VideoClip& clip(bool hevc) {
    static std::map<bool, std::unique_ptr<sim::VideoClip>> clips;
    auto& slot = clips[hevc];
    if (!slot) {
        const sim::VideoFormat format = hevc ? sim::VideoFormat{"h265", 3840, 2160, 12, 8000, 24}
                                             : sim::VideoFormat{"h264", 1920, 1080, 25, 4000, 50};
        slot = std::make_unique<sim::VideoClip>(format);
        std::atomic<bool> stop{false};
        slot->encode(stop);
    }
    return *slot;
}

void BM_DecoderLayer(benchmark::State& state) {
    const bool hevc = state.range(0) == 1;
    const auto& c = clip(hevc);
    std::unique_ptr<preview::AvPictureDecoder> decoder;
    if (hevc) {
        decoder = std::make_unique<preview::CHI265Decode>();
    } else {
        decoder = std::make_unique<preview::C264Decode>();
    }
    decoder->Init(c.format().width, c.format().height);
    std::int64_t pictures = 0;
    for (auto _ : state) {
        for (int i = 0; i < c.available(); ++i) {
            std::uint8_t* out = nullptr;
            const auto& f = c.frame(i).data;
            decoder->Decode(f.data(), static_cast<int>(f.size()), &out);
            pictures += out != nullptr ? 1 : 0;
        }
    }
    state.SetItemsProcessed(pictures);
    state.SetLabel(c.format().key() + ", " + std::to_string(decoder->threadCount()) +
                   " slice threads");
}
BENCHMARK(BM_DecoderLayer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReferenceLibavcodec(benchmark::State& state) {
    const bool hevc = state.range(0) == 1;
    const auto& c = clip(hevc);
    const AVCodec* codec = avcodec_find_decoder(hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 2;
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::int64_t pictures = 0;
    for (auto _ : state) {
        for (int i = 0; i < c.available(); ++i) {
            const auto& f = c.frame(i).data;
            packet->data = const_cast<std::uint8_t*>(f.data());
            packet->size = static_cast<int>(f.size());
            avcodec_send_packet(context, packet);
            while (avcodec_receive_frame(context, frame) == 0) ++pictures;
        }
    }
    packet->data = nullptr;
    packet->size = 0;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    state.SetItemsProcessed(pictures);
    state.SetLabel(c.format().key() + ", 2 frame threads");
}
BENCHMARK(BM_ReferenceLibavcodec)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    RatioReporter reporter({{"BM_DecoderLayer/0/real_time", "BM_ReferenceLibavcodec/0/real_time"},
                            {"BM_DecoderLayer/1/real_time", "BM_ReferenceLibavcodec/1/real_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
