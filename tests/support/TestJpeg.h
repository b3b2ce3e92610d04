#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cstdint>
#include <vector>

#include "core/preview/LibavHandles.h"

namespace tarvo::test {

// A JPEG as a camera's snapshot: a gradient with a shade of its own (`seed`) and grain of up to
// `noise` levels, which makes it code to a camera's size.
inline std::vector<unsigned char> testJpeg(int width, int height, int seed, int noise = 0,
                                           int quality = 3) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    const preview::CodecContextHandle context(avcodec_alloc_context3(codec));
    const preview::FrameHandle frame(av_frame_alloc());
    const preview::PacketHandle packet(av_packet_alloc());
    if (codec == nullptr || !context || !frame || !packet) return {};
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    frame->color_range = AVCOL_RANGE_JPEG;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
    std::uint32_t state = 2463534242u + static_cast<std::uint32_t>(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = (x * 255 / width + seed * 37) & 0xff;
            if (noise > 0) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                v = (v + static_cast<int>(state % static_cast<std::uint32_t>(noise))) & 0xff;
            }
            frame->data[0][y * frame->linesize[0] + x] = static_cast<std::uint8_t>(v);
        }
    }
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            frame->data[1][y * frame->linesize[1] + x] = static_cast<std::uint8_t>(y * 2);
            frame->data[2][y * frame->linesize[2] + x] = static_cast<std::uint8_t>(seed * 53);
        }
    }
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->color_range = AVCOL_RANGE_JPEG;
    context->time_base = AVRational{1, 25};
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * quality;
    frame->quality = context->global_quality;
    if (avcodec_open2(context.get(), codec, nullptr) < 0 ||
        avcodec_send_frame(context.get(), frame.get()) < 0 ||
        avcodec_receive_packet(context.get(), packet.get()) < 0)
        return {};
    return {packet->data, packet->data + packet->size};
}

}  // namespace tarvo::test
