#include "support/ColourPatches.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "core/preview/LibavHandles.h"
#include "core/preview/Picture.h"

namespace tarvo::test::colour {

namespace {

struct InputClose {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
using Frame = preview::FrameHandle;

// A frame converted by libswscale into `format` at the same size, with the colour details
// given for source and destination.
Frame convert(const AVFrame& in, AVPixelFormat format, const int* sourceTable, int sourceFull,
              const int* destTable, int destFull) {
    Frame out(av_frame_alloc());
    if (!out) return {};
    out->format = format;
    out->width = in.width;
    out->height = in.height;
    if (av_frame_get_buffer(out.get(), 0) < 0) return {};
    const preview::SwsHandle sws(sws_getContext(
        in.width, in.height, static_cast<AVPixelFormat>(preview::plainPixelFormat(in.format)),
        in.width, in.height, format, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
        nullptr, nullptr));
    if (!sws) return {};
    sws_setColorspaceDetails(sws.get(), sourceTable, sourceFull, destTable, destFull, 0, 1 << 16,
                             1 << 16);
    if (sws_scale(sws.get(), in.data, in.linesize, 0, in.height, out->data, out->linesize) !=
        in.height)
        return {};
    return out;
}

// The first picture a decoder of `codec` makes of what `next` hands it.
template <typename Next>
Frame decodeFirst(AVCodecID id, const AVCodecParameters* parameters, Next next,
                  std::string& error) {
    const AVCodec* codec = avcodec_find_decoder(id);
    const preview::CodecContextHandle context(codec != nullptr ? avcodec_alloc_context3(codec)
                                                               : nullptr);
    Frame frame(av_frame_alloc());
    const preview::PacketHandle packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        error = "no decoder";
        return {};
    }
    if (parameters != nullptr) avcodec_parameters_to_context(context.get(), parameters);
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        error = "cannot open the decoder";
        return {};
    }
    for (int round = 0; round < 1000; ++round) {
        const bool more = next(packet.get());
        (void)avcodec_send_packet(context.get(), more ? packet.get() : nullptr);
        av_packet_unref(packet.get());
        if (avcodec_receive_frame(context.get(), frame.get()) == 0) return frame;
        if (!more) break;
    }
    error = "no picture decoded";
    return {};
}

std::vector<Rgb> patchesOfRgb24(const AVFrame& rgb) {
    return patchesOf(
        [&](int x, int y) {
            const std::uint8_t* p = rgb.data[0] + static_cast<std::ptrdiff_t>(y) * rgb.linesize[0] +
                                    static_cast<std::ptrdiff_t>(x) * 3;
            return Rgb{p[0], p[1], p[2]};
        },
        rgb.width, rgb.height);
}

}  // namespace

Rgb patchColour(std::size_t index) {
    if (index < kGreys.size()) return {kGreys[index], kGreys[index], kGreys[index]};
    return kColours[index - kGreys.size()];
}

std::array<int, 2> patchCentre(std::size_t index, int width, int height) {
    if (index < kGreys.size()) {
        const auto n = static_cast<int>(kGreys.size());
        return {(2 * static_cast<int>(index) + 1) * width / (2 * n), height / 4};
    }
    const auto n = static_cast<int>(kColours.size());
    const auto i = static_cast<int>(index - kGreys.size());
    return {(2 * i + 1) * width / (2 * n), height * 3 / 4};
}

std::string writePatchStream(const std::string& path, bool fullRange, bool bt709, int width,
                             int height, int frames) {
    // The pattern in RGB, then to YUV at the stream's range and matrix.
    Frame rgb(av_frame_alloc());
    if (!rgb) return "out of memory";
    rgb->format = AV_PIX_FMT_RGB24;
    rgb->width = width;
    rgb->height = height;
    if (av_frame_get_buffer(rgb.get(), 0) < 0) return "out of memory";
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool top = y < height / 2;
            const std::size_t index =
                top ? static_cast<std::size_t>(x * static_cast<int>(kGreys.size()) / width)
                    : kGreys.size() +
                          static_cast<std::size_t>(x * static_cast<int>(kColours.size()) / width);
            const Rgb c = patchColour(index);
            std::uint8_t* p = rgb->data[0] + static_cast<std::ptrdiff_t>(y) * rgb->linesize[0] +
                              static_cast<std::ptrdiff_t>(x) * 3;
            p[0] = static_cast<std::uint8_t>(c[0]);
            p[1] = static_cast<std::uint8_t>(c[1]);
            p[2] = static_cast<std::uint8_t>(c[2]);
        }
    }
    const int* table = sws_getCoefficients(bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
    Frame yuv = convert(*rgb, AV_PIX_FMT_YUV420P, table, 1, table, fullRange ? 1 : 0);
    if (!yuv) return "cannot convert the pattern";

    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) return "no libx264";
    const preview::CodecContextHandle context(avcodec_alloc_context3(codec));
    const preview::PacketHandle packet(av_packet_alloc());
    if (!context || !packet) return "out of memory";
    AVCodecContext& c = *context;
    c.width = width;
    c.height = height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = AVRational{1, 10};
    c.framerate = AVRational{10, 1};
    c.gop_size = 10;
    c.max_b_frames = 0;
    // The tags a camera's stream carries in its parameter sets.
    c.color_range = fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    c.colorspace = bt709 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    c.color_primaries = bt709 ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
    c.color_trc = bt709 ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    av_opt_set(c.priv_data, "preset", "ultrafast", 0);
    av_opt_set(c.priv_data, "tune", "zerolatency", 0);
    // Flat patches at a fine quantiser: the levels come through within a step.
    av_opt_set(c.priv_data, "qp", "6", 0);
    if (avcodec_open2(&c, codec, nullptr) < 0) return "cannot open libx264";
    yuv->color_range = c.color_range;
    yuv->colorspace = c.colorspace;

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto drain = [&] {
        while (avcodec_receive_packet(&c, packet.get()) == 0) {
            out.write(reinterpret_cast<const char*>(packet->data), packet->size);
            av_packet_unref(packet.get());
        }
    };
    for (int i = 0; i < frames; ++i) {
        if (av_frame_make_writable(yuv.get()) < 0) return "frame not writable";
        yuv->pts = i;
        yuv->pict_type = i % 10 == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(&c, yuv.get()) < 0) return "encoding failed";
        drain();
    }
    (void)avcodec_send_frame(&c, nullptr);
    drain();
    out.close();
    return out ? std::string() : "cannot write " + path;
}

std::vector<Rgb> patchesOf(const std::function<Rgb(int x, int y)>& pixel, int width, int height) {
    std::vector<Rgb> patches;
    // A square well inside the patch, away from the edges the chroma spreads over.
    const int radius = std::max(1, std::min(width, height) / 40);
    for (std::size_t i = 0; i < kPatches; ++i) {
        const auto [cx, cy] = patchCentre(i, width, height);
        Rgb sum{0, 0, 0};
        int count = 0;
        for (int y = std::max(0, cy - radius); y <= std::min(height - 1, cy + radius); ++y) {
            for (int x = std::max(0, cx - radius); x <= std::min(width - 1, cx + radius); ++x) {
                const Rgb p = pixel(x, y);
                for (int k = 0; k < 3; ++k) sum[k] += p[k];
                ++count;
            }
        }
        for (int k = 0; k < 3; ++k) sum[k] = count > 0 ? (sum[k] + count / 2) / count : 0;
        patches.push_back(sum);
    }
    return patches;
}

std::vector<Rgb> referencePatches(const std::string& path, std::string& error) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) {
        error = "cannot open " + path;
        return {};
    }
    const std::unique_ptr<AVFormatContext, InputClose> input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        error = "no stream info";
        return {};
    }
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        error = "no video";
        return {};
    }
    const AVCodecParameters* par = input->streams[stream]->codecpar;
    Frame frame = decodeFirst(
        par->codec_id, par,
        [&](AVPacket* packet) {
            while (av_read_frame(input.get(), packet) >= 0) {
                if (packet->stream_index == stream) return true;
                av_packet_unref(packet);
            }
            return false;
        },
        error);
    if (!frame) return {};
    const bool full =
        frame->color_range == AVCOL_RANGE_JPEG || frame->format == AV_PIX_FMT_YUVJ420P;
    Frame rgb = convert(*frame, AV_PIX_FMT_RGB24, sws_getCoefficients(frame->colorspace),
                        full ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1);
    if (!rgb) {
        error = "cannot convert";
        return {};
    }
    return patchesOfRgb24(*rgb);
}

std::vector<Rgb> pngPatches(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        error = "cannot read " + path;
        return {};
    }
    bool given = false;
    Frame frame = decodeFirst(
        AV_CODEC_ID_PNG, nullptr,
        [&](AVPacket* packet) {
            if (given || av_new_packet(packet, static_cast<int>(bytes.size())) < 0) return false;
            std::copy(bytes.begin(), bytes.end(), packet->data);
            given = true;
            return true;
        },
        error);
    if (!frame) return {};
    if (frame->format != AV_PIX_FMT_RGB24) {
        error = "not an RGB PNG";
        return {};
    }
    return patchesOfRgb24(*frame);
}

std::string describe(const std::vector<Rgb>& patches) {
    std::string text;
    for (const Rgb& p : patches) {
        if (!text.empty()) text += ", ";
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%d %d %d", p[0], p[1], p[2]);
        text += buffer;
    }
    return text;
}

int largestDifference(const std::vector<Rgb>& a, const std::vector<Rgb>& b) {
    if (a.size() != b.size()) return 1000;
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int k = 0; k < 3; ++k) largest = std::max(largest, std::abs(a[i][k] - b[i][k]));
    return largest;
}

nlohmann::json patchFleet(std::string& dir) {
    std::string pattern = ::testing::TempDir() + "tarvo-colour-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a folder under " << ::testing::TempDir();
        return nullptr;
    }
    dir = pattern;
    nlohmann::json fleet{{"devices", nlohmann::json::array()}};
    for (const PatchStream& s : kPatchStreams) {
        const std::string path = dir + "/" + s.file;
        const std::string error = writePatchStream(path, s.full, s.bt709);
        if (!error.empty()) {
            ADD_FAILURE() << path << ": " << error;
            return nullptr;
        }
        fleet["devices"].push_back(
            {{"ip", s.ip}, {"type", 100}, {"name", s.file}, {"video", {{"file", path}}}});
    }
    return fleet;
}

}  // namespace tarvo::test::colour
