#include "core/preview/Picture.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <utility>

#include "core/preview/LibavHandles.h"

namespace tarvo::preview {

int plainPixelFormat(int format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            return AV_PIX_FMT_YUV411P;
        default:
            return format;
    }
}

Picture Picture::referenceTo(const AVFrame& frame) {
    Picture picture;
    if (frame.buf[0] == nullptr) return picture;
    picture.frame_ = av_frame_alloc();
    if (picture.frame_ != nullptr && av_frame_ref(picture.frame_, &frame) < 0) picture.release();
    return picture;
}

Picture::~Picture() {
    release();
}

void Picture::release() {
    av_frame_free(&frame_);
}

Picture::Picture(const Picture& other) {
    if (other.frame_ != nullptr) *this = referenceTo(*other.frame_);
}

Picture& Picture::operator=(const Picture& other) {
    if (this != &other) *this = other.frame_ != nullptr ? referenceTo(*other.frame_) : Picture();
    return *this;
}

Picture::Picture(Picture&& other) noexcept : frame_(std::exchange(other.frame_, nullptr)) {}

Picture& Picture::operator=(Picture&& other) noexcept {
    if (this != &other) {
        release();
        frame_ = std::exchange(other.frame_, nullptr);
    }
    return *this;
}

int Picture::width() const {
    return frame_ != nullptr ? frame_->width : 0;
}

int Picture::height() const {
    return frame_ != nullptr ? frame_->height : 0;
}

int Picture::pixelFormat() const {
    return frame_ != nullptr ? plainPixelFormat(frame_->format) : AV_PIX_FMT_NONE;
}

ColourRange Picture::range() const {
    if (frame_ == nullptr) return ColourRange::Limited;
    // A J format is full range whatever the tag says; an untagged stream is video, limited.
    const bool full = frame_->color_range == AVCOL_RANGE_JPEG ||
                      plainPixelFormat(frame_->format) != frame_->format;
    return full ? ColourRange::Full : ColourRange::Limited;
}

ColourMatrix Picture::matrix() const {
    if (frame_ == nullptr) return ColourMatrix::Bt601;
    switch (frame_->colorspace) {
        case AVCOL_SPC_BT709:
            return ColourMatrix::Bt709;
        case AVCOL_SPC_UNSPECIFIED:
        case AVCOL_SPC_RESERVED:
            return matrixForSize(frame_->width, frame_->height);
        default:
            // BT.470BG, SMPTE 170M, FCC and the rest: the SD matrix, as libswscale takes them.
            return ColourMatrix::Bt601;
    }
}

ColourMatrix Picture::matrixForSize(int width, int height) {
    return width >= 1280 || height > 576 ? ColourMatrix::Bt709 : ColourMatrix::Bt601;
}

const std::uint8_t* Picture::plane(int index) const {
    if (frame_ == nullptr || index < 0 || index >= AV_NUM_DATA_POINTERS) return nullptr;
    return frame_->data[index];
}

int Picture::stride(int index) const {
    if (frame_ == nullptr || index < 0 || index >= AV_NUM_DATA_POINTERS) return 0;
    return frame_->linesize[index];
}

SwsColour swsColourOf(const Picture& picture) {
    return {sws_getCoefficients(picture.matrix() == ColourMatrix::Bt709 ? SWS_CS_ITU709
                                                                        : SWS_CS_ITU601),
            picture.range() == ColourRange::Full ? 1 : 0};
}

namespace {

// The exact path: libswscale's fast unscaled one leaves limited-range pictures up to three
// levels dark; the exact one costs a few milliseconds once per picture.
constexpr int kSwsFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

bool isYuv420(int format) {
    return format == AV_PIX_FMT_YUV420P;
}

}  // namespace

Picture convertedPicture(const Picture& picture, int pixelFormat, int maxWidth, int maxHeight) {
    const int width = picture.width();
    const int height = picture.height();
    if (picture.empty() || width <= 0 || height <= 0) return {};
    double scale = 1.0;
    if (maxWidth > 0) scale = std::min(scale, static_cast<double>(maxWidth) / width);
    if (maxHeight > 0) scale = std::min(scale, static_cast<double>(maxHeight) / height);
    // 4:2:0 wants even sides.
    const int even = isYuv420(pixelFormat) ? ~1 : ~0;
    const int outWidth = std::max(2, static_cast<int>(width * scale) & even);
    const int outHeight = std::max(2, static_cast<int>(height * scale) & even);

    const FrameHandle out(av_frame_alloc());
    if (!out) return {};
    out->format = pixelFormat;
    out->width = outWidth;
    out->height = outHeight;
    if (av_frame_get_buffer(out.get(), 0) < 0) return {};
    const SwsHandle sws(sws_getContext(
        width, height, static_cast<AVPixelFormat>(picture.pixelFormat()), outWidth, outHeight,
        static_cast<AVPixelFormat>(pixelFormat), kSwsFlags, nullptr, nullptr, nullptr));
    if (!sws) return {};
    const SwsColour colour = swsColourOf(picture);
    // JPEG's YUV is BT.601 at full range; RGB has no range of its own.
    (void)sws_setColorspaceDetails(sws.get(), colour.coefficients, colour.fullRange,
                                   sws_getCoefficients(SWS_CS_ITU601), 1, 0, 1 << 16, 1 << 16);
    const std::uint8_t* const planes[4] = {picture.plane(0), picture.plane(1), picture.plane(2),
                                           nullptr};
    const int strides[4] = {picture.stride(0), picture.stride(1), picture.stride(2), 0};
    if (sws_scale(sws.get(), planes, strides, 0, height, out->data, out->linesize) != outHeight)
        return {};
    if (isYuv420(pixelFormat)) {
        out->color_range = AVCOL_RANGE_JPEG;
        out->colorspace = AVCOL_SPC_BT470BG;
    }
    return Picture::referenceTo(*out);
}

std::vector<std::uint8_t> encodePicture(const Picture& picture, PictureCoding coding, int maxWidth,
                                        int maxHeight, int jpegQuality) {
    const bool jpeg = coding == PictureCoding::Jpeg;
    const int format = jpeg ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_RGB24;
    const Picture converted = convertedPicture(picture, format, maxWidth, maxHeight);
    if (converted.empty()) return {};
    const AVCodec* codec = avcodec_find_encoder(jpeg ? AV_CODEC_ID_MJPEG : AV_CODEC_ID_PNG);
    if (codec == nullptr) return {};
    const CodecContextHandle context(avcodec_alloc_context3(codec));
    const PacketHandle packet(av_packet_alloc());
    const FrameHandle out(av_frame_alloc());
    if (!context || !packet || !out || av_frame_ref(out.get(), converted.frame()) < 0) return {};
    context->width = converted.width();
    context->height = converted.height();
    context->pix_fmt = static_cast<AVPixelFormat>(format);
    context->time_base = AVRational{1, 25};
    if (jpeg) {
        context->color_range = AVCOL_RANGE_JPEG;
        context->colorspace = AVCOL_SPC_BT470BG;
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = FF_QP2LAMBDA * std::clamp(jpegQuality, 1, 31);
        out->quality = context->global_quality;
    }
    if (avcodec_open2(context.get(), codec, nullptr) < 0 ||
        avcodec_send_frame(context.get(), out.get()) < 0 ||
        avcodec_receive_packet(context.get(), packet.get()) < 0)
        return {};
    return {packet->data, packet->data + packet->size};
}

std::vector<std::uint8_t> jpegOf(const Picture& picture, int maxWidth, int maxHeight) {
    return encodePicture(picture, PictureCoding::Jpeg, maxWidth, maxHeight);
}

}  // namespace tarvo::preview
