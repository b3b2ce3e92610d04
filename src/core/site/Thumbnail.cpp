#include "core/site/Thumbnail.h"

extern "C" {
#include <libavcodec/avcodec.h>
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
    // A damaged snapshot shows as no picture; what the decoder says of it stays off the
    // terminal (every message of this context falls below any level FFmpeg prints).
    context->log_level_offset = 2 * AV_LOG_TRACE;
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
    if (maxWidth <= 0 || maxHeight <= 0) return {};
    const preview::Picture picture = decodeJpeg(jpeg);
    if (picture.empty()) return {};
    Thumbnail thumbnail;
    thumbnail.image = preview::convertedPicture(picture, AV_PIX_FMT_RGB24, maxWidth, maxHeight);
    if (thumbnail.image.empty()) return {};
    thumbnail.width = thumbnail.image.width();
    thumbnail.height = thumbnail.image.height();
    return thumbnail;
}

std::vector<std::uint8_t> Thumbnail::jpeg() const {
    // The encoder's finest usual quantiser: the one coding of these pixels loses next to nothing.
    return preview::encodePicture(image, preview::PictureCoding::Jpeg, 0, 0, 2);
}

}  // namespace tarvo::site
