#include "core/site/Thumbnail.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

#include "core/preview/LibavHandles.h"
#include "core/preview/Picture.h"

namespace tarvo::site {

namespace {

// The whole JPEG decoded, or nothing.
preview::Picture decodeJpeg(std::span<const unsigned char> jpeg) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    if (codec == nullptr || jpeg.empty() || jpeg.size() > static_cast<std::size_t>(INT32_MAX / 2))
        return {};
    const preview::CodecContextHandle context(avcodec_alloc_context3(codec));
    const preview::PacketHandle packet(av_packet_alloc());
    const preview::FrameHandle frame(av_frame_alloc());
    if (!context || !packet || !frame) return {};
    context->max_pixels = kMaxThumbnailSource;
    context->thread_count = 1;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return {};
    // The decoder reads past the end up to the padding, which av_new_packet zeroes.
    if (av_new_packet(packet.get(), static_cast<int>(jpeg.size())) < 0) return {};
    std::memcpy(packet->data, jpeg.data(), jpeg.size());
    if (avcodec_send_packet(context.get(), packet.get()) < 0) return {};
    (void)avcodec_send_packet(context.get(), nullptr);
    if (avcodec_receive_frame(context.get(), frame.get()) < 0) return {};
    if (frame->width <= 0 || frame->height <= 0) return {};
    return preview::Picture::referenceTo(*frame);
}

}  // namespace

Thumbnail makeThumbnail(std::span<const unsigned char> jpeg, int maxWidth, int maxHeight) {
    const preview::Picture picture = decodeJpeg(jpeg);
    if (picture.empty() || maxWidth <= 0 || maxHeight <= 0) return {};
    const double scale = std::min({1.0, static_cast<double>(maxWidth) / picture.width(),
                                   static_cast<double>(maxHeight) / picture.height()});
    // Even sizes: 4:2:0 JPEG halves both.
    const int width = std::max(2, static_cast<int>(picture.width() * scale) & ~1);
    const int height = std::max(2, static_cast<int>(picture.height() * scale) & ~1);

    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (codec == nullptr) return {};
    const preview::CodecContextHandle context(avcodec_alloc_context3(codec));
    const preview::FrameHandle out(av_frame_alloc());
    const preview::PacketHandle packet(av_packet_alloc());
    if (!context || !out || !packet) return {};
    out->format = AV_PIX_FMT_YUV420P;
    out->width = width;
    out->height = height;
    if (av_frame_get_buffer(out.get(), 0) < 0) return {};
    const preview::SwsHandle sws(sws_getContext(
        picture.width(), picture.height(), static_cast<AVPixelFormat>(picture.pixelFormat()), width,
        height, AV_PIX_FMT_YUV420P, SWS_AREA, nullptr, nullptr, nullptr));
    if (!sws) return {};
    // From the picture's own levels to JPEG's (full-range BT.601).
    const preview::SwsColour colour = preview::swsColourOf(picture);
    (void)sws_setColorspaceDetails(sws.get(), colour.coefficients, colour.fullRange,
                                   sws_getCoefficients(SWS_CS_ITU601), 1, 0, 1 << 16, 1 << 16);
    const std::uint8_t* const planes[4] = {picture.plane(0), picture.plane(1), picture.plane(2),
                                           picture.plane(3)};
    const int strides[4] = {picture.stride(0), picture.stride(1), picture.stride(2),
                            picture.stride(3)};
    if (sws_scale(sws.get(), planes, strides, 0, picture.height(), out->data, out->linesize) !=
        height)
        return {};

    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, 25};
    context->color_range = AVCOL_RANGE_JPEG;
    context->colorspace = AVCOL_SPC_BT470BG;
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * 4;
    out->quality = context->global_quality;
    out->color_range = AVCOL_RANGE_JPEG;
    if (avcodec_open2(context.get(), codec, nullptr) < 0 ||
        avcodec_send_frame(context.get(), out.get()) < 0 ||
        avcodec_receive_packet(context.get(), packet.get()) < 0)
        return {};
    Thumbnail thumbnail;
    thumbnail.jpeg.assign(packet->data, packet->data + packet->size);
    thumbnail.width = width;
    thumbnail.height = height;
    return thumbnail;
}

}  // namespace tarvo::site
