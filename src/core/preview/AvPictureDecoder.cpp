#include "core/preview/AvPictureDecoder.h"

#include <algorithm>
#include <cstring>

#include "core/preview/YuyvConvert.h"

namespace tarvo::preview {

namespace {

void fillBlack(std::uint8_t* yuyv, std::size_t bytes) {
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        yuyv[i] = 16;
        yuyv[i + 1] = 128;
    }
}

}  // namespace

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
}

bool AvPictureDecoder::Init(int width, int height) {
    release();
    width_ = width;
    height_ = height;
    if (width < kMinSide || height < kMinSide || width > kMaxSide || height > kMaxSide)
        return false;
    // A failed allocation is not reported here: Decode then produces nothing.
    (void)buffer_.allocate(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2);
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
    if (!decoder_.isOpen() || !buffer_) return false;
    if (decoder_.decode(data, length) == 0) return false;
    const AVFrame* frame = decoder_.lastFrame();
    if (frame == nullptr || frame->data[0] == nullptr) return false;
    if (frame->format != AV_PIX_FMT_YUV420P && frame->format != AV_PIX_FMT_YUVJ420P) return false;
    return convertLast();
}

bool AvPictureDecoder::convertLast() {
    const AVFrame& frame = *decoder_.lastFrame();
    const int width = std::min(width_, frame.width);
    const int height = std::min(height_, frame.height);
    if (frame.width != width_ || frame.height != height_) {
        ++mismatched_;
        if (frame.width < width_ || frame.height < height_)
            fillBlack(buffer_.data(), buffer_.size());
    }
    if (width <= 0 || height <= 0) return false;
    const std::ptrdiff_t outStride = static_cast<std::ptrdiff_t>(width_) * 2;
    PlanarPicture in{frame.data[0],     frame.data[1], frame.data[2], frame.linesize[0],
                     frame.linesize[1], width,         height};
    if (in.chromaStride != frame.linesize[2]) {
        // Both chroma planes are stepped together; libavcodec gives them one stride.
        return false;
    }
    if (width == width_) {
        convertToYuyv(in, buffer_.data());
        return true;
    }
    // Cropped: the conversion writes rows of width × 2 bytes, the buffer's rows are longer,
    // so convert row pair by row pair into place.
    for (int row = 0; row < height; row += 2) {
        PlanarPicture pair = in;
        pair.y = in.y + static_cast<std::ptrdiff_t>(row) * in.yStride;
        pair.u = in.u + static_cast<std::ptrdiff_t>(row / 2) * in.chromaStride;
        pair.v = in.v + static_cast<std::ptrdiff_t>(row / 2) * in.chromaStride;
        pair.height = 1;
        convertToYuyv(pair, buffer_.data() + row * outStride);
        if (row + 1 < height) {
            pair.y += in.yStride;
            convertToYuyv(pair, buffer_.data() + (row + 1) * outStride);
        }
    }
    return true;
}

}  // namespace tarvo::preview
