#include "core/preview/AvPictureDecoder.h"

#include "core/preview/YuyvConvert.h"

namespace tarvo::preview {

AvPictureDecoder::~AvPictureDecoder() {
    release();
}

void AvPictureDecoder::release() {
    if (lock_ != nullptr) {
        std::lock_guard guard(*lock_);
        decoder_.close();
    } else {
        decoder_.close();
    }
    buffer_.reset();
    pictureWidth_ = 0;
    pictureHeight_ = 0;
}

bool AvPictureDecoder::Init(int width, int height) {
    release();
    width_ = width;
    height_ = height;
    if (width < kMinSide || height < kMinSide || width > kMaxSide || height > kMaxSide)
        return false;
    const Threading threads = threadsFor(width, height);
    if (lock_ != nullptr) {
        std::lock_guard guard(*lock_);
        return decoder_.open(codec_, threads);
    }
    return decoder_.open(codec_, threads);
}

int AvPictureDecoder::Resize(int width, int height) {
    if (width != width_ || height != height_) {
        release();
        Init(width, height);
    }
    return 0;
}

bool AvPictureDecoder::decodeChunk(const std::uint8_t* data, int length) {
    if (!decoder_.isOpen()) return false;
    if (decoder_.decode(data, length) == 0) return false;
    const AVFrame* frame = decoder_.lastFrame();
    if (frame == nullptr || frame->data[0] == nullptr) return false;
    if (frame->format != AV_PIX_FMT_YUV420P && frame->format != AV_PIX_FMT_YUVJ420P) return false;
    return convertLast();
}

bool AvPictureDecoder::convertLast() {
    const AVFrame& frame = *decoder_.lastFrame();
    if (frame.width <= 0 || frame.height <= 0 || frame.width > kMaxPictureSide ||
        frame.height > kMaxPictureSide)
        return false;
    if (frame.linesize[1] != frame.linesize[2]) {
        // Both chroma planes are stepped together; libavcodec gives them one stride.
        return false;
    }
    if (frame.width != pictureWidth_ || frame.height != pictureHeight_ || !buffer_) {
        pictureWidth_ = 0;
        pictureHeight_ = 0;
        // A failed allocation costs this picture; the next one tries again.
        if (!buffer_.allocate(static_cast<std::size_t>(frame.width) *
                              static_cast<std::size_t>(frame.height) * 2))
            return false;
        pictureWidth_ = frame.width;
        pictureHeight_ = frame.height;
    }
    if (frame.width != width_ || frame.height != height_) ++mismatched_;
    const PlanarPicture in{frame.data[0],     frame.data[1], frame.data[2], frame.linesize[0],
                           frame.linesize[1], frame.width,   frame.height};
    convertToYuyv(in, buffer_.data());
    return true;
}

}  // namespace tarvo::preview
