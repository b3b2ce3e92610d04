// Pictures per second through the decoder layer (parser, libavcodec, conversion to YUYV) on the
// two streams the preview path benchmark plays: 1080p25 H.264 and 4K25 H.265 of the simulator's
// test pattern.
//
// References in the same run, on the same clip:
//   - BM_ReferenceDecode: libavcodec driven as `ffmpeg -threads 2 -i clip -f null -` drives it
//     (a parser cutting the raw stream into pictures, two threads of the decoder's preferred
//     kind, which is frame threads for both codecs, and no work on the pictures). No ffmpeg
//     binary is installed here to run it directly.
//   - BM_ReferenceConvert: the same, plus the YUYV conversion of every picture into one
//     buffer, the output work the layer does: the like-for-like comparison.
// Each benchmark also reports the process's CPU time per picture ("cpu_ms"), which the load of
// other work on the machine moves far less than the rate.
//
//   bench-preview-decode [--clip-dir=DIR] [--iterations=N] [benchmark flags]
// --clip-dir keeps the encoded clips in DIR (made on the first run, read afterwards), so that a
// process can be timed as a whole with the decoding as nearly all of its work; --iterations
// fixes the passes over the clip per repetition instead of running for a minimum time.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "RatioReporter.h"
#include "core/preview/AlignedPicture.h"
#include "core/preview/AvPictureDecoder.h"
#include "core/preview/YuyvConvert.h"
#include "sim/VideoClip.h"

using namespace tarvo;

namespace {

std::string gClipDir;

sim::VideoFormat formatFor(bool hevc) {
    return hevc ? sim::VideoFormat{"h265", 3840, 2160, 25, 8000, 50, {}, 0}
                : sim::VideoFormat{"h264", 1920, 1080, 25, 4000, 50, {}, 0};
}

struct Clip {
    sim::VideoFormat format;
    std::vector<std::vector<std::uint8_t>> frames;  // one access unit each
};

std::string cachePath(const sim::VideoFormat& format) {
    std::string name = format.key();
    for (char& c : name) {
        if (c == '/' || c == '@') c = '_';
    }
    return gClipDir + "/" + name + ".clip";
}

// Frame sizes as 32-bit little-endian counts, each followed by its bytes.
bool readCache(const std::string& path, Clip& clip) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    for (int i = 0; i < clip.format.loopLength(); ++i) {
        std::uint8_t size[4];
        if (!in.read(reinterpret_cast<char*>(size), 4)) return false;
        const std::uint32_t n =
            size[0] | size[1] << 8 | size[2] << 16 | static_cast<std::uint32_t>(size[3]) << 24;
        if (n == 0 || n > (64U << 20)) return false;
        std::vector<std::uint8_t> frame(n);
        if (!in.read(reinterpret_cast<char*>(frame.data()), n)) return false;
        clip.frames.push_back(std::move(frame));
    }
    return true;
}

void writeCache(const std::string& path, const Clip& clip) {
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        for (const auto& frame : clip.frames) {
            const auto n = static_cast<std::uint32_t>(frame.size());
            const char size[4] = {static_cast<char>(n & 0xFF), static_cast<char>(n >> 8 & 0xFF),
                                  static_cast<char>(n >> 16 & 0xFF),
                                  static_cast<char>(n >> 24 & 0xFF)};
            out.write(size, 4);
            out.write(reinterpret_cast<const char*>(frame.data()),
                      static_cast<std::streamsize>(frame.size()));
        }
        if (!out) return;
    }
    std::rename(partial.c_str(), path.c_str());
}

const Clip& clip(bool hevc) {
    static std::map<bool, std::unique_ptr<Clip>> clips;
    auto& slot = clips[hevc];
    if (slot) return *slot;
    slot = std::make_unique<Clip>();
    slot->format = formatFor(hevc);
    if (!gClipDir.empty() && readCache(cachePath(slot->format), *slot)) return *slot;
    slot->frames.clear();
    sim::VideoClip encoded(slot->format);
    std::atomic<bool> stop{false};
    encoded.encode(stop);
    if (!encoded.finished()) throw std::runtime_error("cannot encode the clip: " + encoded.error());
    for (int i = 0; i < encoded.available(); ++i) slot->frames.push_back(encoded.frame(i).data);
    if (!gClipDir.empty()) writeCache(cachePath(slot->format), *slot);
    return *slot;
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void report(benchmark::State& state, std::int64_t pictures, double cpuSeconds,
            const std::string& label) {
    state.SetItemsProcessed(pictures);
    state.counters["cpu_ms"] = pictures > 0 ? cpuSeconds * 1e3 / static_cast<double>(pictures) : 0;
    state.SetLabel(label);
}

void BM_DecoderLayer(benchmark::State& state) {
    const bool hevc = state.range(0) == 1;
    const Clip& c = clip(hevc);
    auto decoder = std::make_unique<preview::AvPictureDecoder>(hevc ? preview::CHI265Decode
                                                                    : preview::C264Decode);
    if (!decoder->Init(c.format.width, c.format.height)) {
        state.SkipWithError("no decoder");
        return;
    }
    std::int64_t pictures = 0;
    const double cpu0 = processCpuSeconds();
    for (auto _ : state) {
        for (const auto& f : c.frames) {
            std::uint8_t* out = nullptr;
            decoder->Decode(f.data(), static_cast<int>(f.size()), &out);
            pictures += out != nullptr ? 1 : 0;
        }
    }
    report(state, pictures, processCpuSeconds() - cpu0,
           c.format.key() + ", " + std::to_string(decoder->threadCount()) +
               (decoder->frameThreads() ? " frame" : " slice") + " threads");
}

// libavcodec as ffmpeg drives it: its raw-stream demuxer cuts the stream into pictures with
// the parser, and the decoder runs two threads of its preferred kind.
void reference(benchmark::State& state, bool convert) {
    const bool hevc = state.range(0) == 1;
    const Clip& c = clip(hevc);
    const AVCodecID id = hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVCodecParserContext* parser = av_parser_init(id);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    preview::AlignedPicture yuyv;
    const std::size_t bytes = static_cast<std::size_t>(c.format.width) * c.format.height * 2;
    if (context == nullptr || parser == nullptr || packet == nullptr || frame == nullptr ||
        !yuyv.allocate(bytes)) {
        state.SkipWithError("out of memory");
    } else {
        context->thread_count = 2;
        if (avcodec_open2(context, codec, nullptr) < 0) state.SkipWithError("no decoder");
    }
    std::int64_t pictures = 0;
    const auto receive = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            if (convert && frame->width == c.format.width && frame->height == c.format.height) {
                preview::convertToYuyv(
                    {frame->data[0], frame->data[1], frame->data[2], frame->linesize[0],
                     frame->linesize[1], frame->width, frame->height},
                    yuyv.data());
            }
            ++pictures;
            av_frame_unref(frame);
        }
    };
    const double cpu0 = processCpuSeconds();
    if (!state.error_occurred()) {
        for (auto _ : state) {
            for (const auto& f : c.frames) {
                const std::uint8_t* data = f.data();
                int size = static_cast<int>(f.size());
                while (size > 0) {
                    std::uint8_t* unit = nullptr;
                    int unitSize = 0;
                    const int used = av_parser_parse2(parser, context, &unit, &unitSize, data, size,
                                                      AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
                    if (used < 0) break;
                    data += used;
                    size -= used;
                    if (unitSize > 0) {
                        packet->data = unit;
                        packet->size = unitSize;
                        avcodec_send_packet(context, packet);
                        receive();
                    }
                }
            }
        }
    }
    const double cpu = processCpuSeconds() - cpu0;
    const int threads = context != nullptr ? context->thread_count : 0;
    const bool frameThreads = context != nullptr && context->active_thread_type == FF_THREAD_FRAME;
    packet->data = nullptr;
    packet->size = 0;
    if (parser != nullptr) av_parser_close(parser);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    report(state, pictures, cpu,
           c.format.key() + ", " + std::to_string(threads) + (frameThreads ? " frame" : " slice") +
               " threads" + (convert ? ", YUYV" : ", no output"));
}

void BM_ReferenceDecode(benchmark::State& state) {
    reference(state, false);
}

void BM_ReferenceConvert(benchmark::State& state) {
    reference(state, true);
}

}  // namespace

int main(int argc, char** argv) try {
    // Other work on the machine comes and goes: several interleaved repetitions, compared by
    // median and pair by pair. Flags given on the command line come later and win.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::string aggregates = "--benchmark_report_aggregates_only=false";
    args.insert(args.begin() + 1, {repetitions.data(), interleave.data(), aggregates.data()});
    long iterations = 0;
    for (auto it = args.begin() + 1; it != args.end();) {
        const std::string arg = *it;
        if (arg.rfind("--clip-dir=", 0) == 0) {
            gClipDir = arg.substr(11);
        } else if (arg.rfind("--iterations=", 0) == 0) {
            iterations = std::stol(arg.substr(13));
        } else {
            ++it;
            continue;
        }
        it = args.erase(it);
    }
    using Function = void (*)(benchmark::State&);
    for (const auto& [name, function] :
         {std::pair<const char*, Function>{"BM_DecoderLayer", BM_DecoderLayer},
          {"BM_ReferenceDecode", BM_ReferenceDecode},
          {"BM_ReferenceConvert", BM_ReferenceConvert}}) {
        auto* b = benchmark::RegisterBenchmark(name, function)
                      ->Arg(0)
                      ->Arg(1)
                      ->Unit(benchmark::kMillisecond)
                      ->UseRealTime()
                      ->MeasureProcessCPUTime();
        if (iterations > 0) b->Iterations(iterations);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    // Encoded before any timing starts (the 4K one takes several seconds).
    clip(false);
    clip(true);
    RatioReporter reporter({{"BM_DecoderLayer/0/process_time/real_time",
                             "BM_ReferenceConvert/0/process_time/real_time"},
                            {"BM_DecoderLayer/1/process_time/real_time",
                             "BM_ReferenceConvert/1/process_time/real_time"},
                            {"BM_DecoderLayer/0/process_time/real_time",
                             "BM_ReferenceDecode/0/process_time/real_time"},
                            {"BM_DecoderLayer/1/process_time/real_time",
                             "BM_ReferenceDecode/1/process_time/real_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench-preview-decode: %s\n", e.what());
    return 1;
}
