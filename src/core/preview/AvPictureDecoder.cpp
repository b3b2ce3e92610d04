#include "core/preview/AvPictureDecoder.h"

#include "core/preview/YuyvConvert.h"

#include <utility>

namespace tarvo::preview {

namespace {

Threading h264Threads(int /*width*/, int /*height*/) {
    return lowDelayThreading();
}

// An H.265 picture is usually one slice whose wavefront rows wait on each other, so slice
// threads gain little (measured on a 4K stream with wavefront rows: two slice threads about as
// fast as one, two frame threads 1.5 times as fast). From 3840 × 2160 on a busy scene can take
// one core longer than a frame period, so pictures are decoded side by side on frame threads,
// at the cost of one picture of delay. Smaller pictures keep the low delay on one thread:
// besides gaining little, libavcodec's wavefront slice threads follow a null pointer on some
// broken streams (picture parameters replaced after a slice that uses them).
Threading hevcThreads(int width, int height) {
    constexpr long kFrameThreadsFrom = 3840L * 2160L;
    return static_cast<long>(width) * height >= kFrameThreadsFrom
               ? frameThreading()
               : Threading{Threading::Kind::Slice, 1};
}

}  // namespace

const DecoderKind C264Decode{AV_CODEC_ID_H264, h264Threads};
const DecoderKind CHI265Decode{AV_CODEC_ID_HEVC, hevcThreads};

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
    bufferWidth_ = 0;
    bufferHeight_ = 0;
    pictureWidth_ = 0;
    pictureHeight_ = 0;
}

bool AvPictureDecoder::Init(int width, int height) {
    release();
    width_ = width;
    height_ = height;
    if (width < kMinSide || height < kMinSide || width > kMaxSide || height > kMaxSide)
        return false;
    Threading threads = kind_.threadsFor(width, height);
    if (maxThreads_ > 0 && threads.count > maxThreads_) threads.count = maxThreads_;
    if (lock_ != nullptr) {
        std::lock_guard guard(*lock_);
        return decoder_.open(kind_.codec, threads);
    }
    return decoder_.open(kind_.codec, threads);
}

int AvPictureDecoder::Resize(int width, int height) {
    if (width != width_ || height != height_) {
        release();
        Init(width, height);
    }
    return 0;
}

int AvPictureDecoder::Decode(const std::uint8_t* data, int length, std::uint8_t** out) {
    if (!hasDecoder()) return -1;
    // Every picture the chunk completes is decoded; the buffer keeps the last.
    const AVFrame* frame = decodeChunk(data, length);
    if (frame != nullptr && convert(*frame) && out != nullptr) *out = buffer_.data();
    return 0;
}

bool AvPictureDecoder::decodePicture(const std::uint8_t* data, int length, Picture& out) {
    const AVFrame* frame = decodeChunk(data, length);
    if (frame == nullptr) return false;
    Picture picture = Picture::referenceTo(*frame);
    if (picture.empty()) return false;
    pictureWidth_ = frame->width;
    pictureHeight_ = frame->height;
    out = std::move(picture);
    return true;
}

const AVFrame* AvPictureDecoder::decodeChunk(const std::uint8_t* data, int length) {
    if (!decoder_.isOpen()) return nullptr;
    if (decoder_.decode(data, length) == 0) return nullptr;
    const AVFrame* frame = decoder_.lastFrame();
    if (frame == nullptr || frame->data[0] == nullptr) return nullptr;
    if (frame->format != AV_PIX_FMT_YUV420P && frame->format != AV_PIX_FMT_YUVJ420P) return nullptr;
    if (frame->width <= 0 || frame->height <= 0 || frame->width > kMaxPictureSide ||
        frame->height > kMaxPictureSide)
        return nullptr;
    if (frame->linesize[1] != frame->linesize[2]) {
        // Both chroma planes are stepped together; libavcodec gives them one stride.
        return nullptr;
    }
    if (frame->width != width_ || frame->height != height_) ++mismatched_;
    return frame;
}

bool AvPictureDecoder::convert(const AVFrame& frame) {
    // The buffer's own size, not the last picture's: decodePicture hands out pictures without it.
    if (frame.width != bufferWidth_ || frame.height != bufferHeight_ || !buffer_) {
        pictureWidth_ = 0;
        pictureHeight_ = 0;
        bufferWidth_ = 0;
        bufferHeight_ = 0;
        // A failed allocation costs this picture; the next one tries again.
        if (!buffer_.allocate(static_cast<std::size_t>(frame.width) *
                              static_cast<std::size_t>(frame.height) * 2))
            return false;
        bufferWidth_ = frame.width;
        bufferHeight_ = frame.height;
    }
    pictureWidth_ = frame.width;
    pictureHeight_ = frame.height;
    const PlanarPicture in{frame.data[0],     frame.data[1], frame.data[2], frame.linesize[0],
                           frame.linesize[1], frame.width,   frame.height};
    convertToYuyv(in, buffer_.data());
    return true;
}

}  // namespace tarvo::preview
