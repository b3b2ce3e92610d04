#pragma once

#include <cstdint>

#include "core/preview/AlignedPicture.h"
#include "core/preview/AvStreamDecoder.h"
#include "core/preview/CDecoder.h"

namespace tarvo::preview {

// What both wrappers share: the size from Init, the aligned YUYV picture buffer, the libavcodec
// decoder, and the conversion of its last picture.
//
// The buffer is sized from the decoded picture, not from Init's size (which comes from what the
// device claims): it is made with the first picture and made again only when the stream's
// pictures change size. Pictures larger than kMaxPictureSide on a side, or in a layout other
// than 8-bit 4:2:0, produce nothing.
class AvPictureDecoder : public CDecoder {
public:
    static constexpr int kMinSide = 8;
    static constexpr int kMaxSide = 16384;
    // Largest decoded picture handed out, per side (what the preview window can show).
    static constexpr int kMaxPictureSide = 8192;

    ~AvPictureDecoder() override;

    bool Init(int width, int height) override;
    int Resize(int width, int height) override;

    [[nodiscard]] int width() const { return width_; }
    [[nodiscard]] int height() const { return height_; }
    [[nodiscard]] const std::uint8_t* picture() const { return buffer_.data(); }
    [[nodiscard]] int pictureWidth() const override { return pictureWidth_; }
    [[nodiscard]] int pictureHeight() const override { return pictureHeight_; }
    [[nodiscard]] bool hasDecoder() const { return decoder_.isOpen(); }
    [[nodiscard]] int threadCount() const { return decoder_.threadCount(); }
    // True when pictures are decoded on frame threads, each coming out one chunk late.
    [[nodiscard]] bool frameThreads() const { return decoder_.frameThreads(); }
    // True once chunks are decoded as whole pictures, without waiting for the next one.
    [[nodiscard]] bool wholeChunks() const { return decoder_.wholeChunks(); }
    // Pictures seen with a size other than Init's.
    [[nodiscard]] std::uint64_t mismatchedPictures() const { return mismatched_; }

protected:
    explicit AvPictureDecoder(AVCodecID codec) : codec_(codec) {}
    // The decoder's threads for this size.
    virtual Threading threadsFor(int width, int height) = 0;
    // Decodes the chunk; true when a picture was converted into the buffer.
    bool decodeChunk(const std::uint8_t* data, int length);
    void release();

private:
    bool convertLast();

    AVCodecID codec_;
    int width_ = 0;
    int height_ = 0;
    int pictureWidth_ = 0;
    int pictureHeight_ = 0;
    AlignedPicture buffer_;
    AvStreamDecoder decoder_;
    std::uint64_t mismatched_ = 0;
};

}  // namespace tarvo::preview
