#include "core/preview/Picture.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <utility>

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

}  // namespace tarvo::preview
