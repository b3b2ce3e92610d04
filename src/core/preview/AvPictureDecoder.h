#pragma once

#include <cstdint>

#include "core/preview/AlignedPicture.h"
#include "core/preview/AvStreamDecoder.h"
#include "core/preview/CDecoder.h"

namespace tarvo::preview {

// Which libavcodec decoder, and how it spreads its work over threads for a picture size.
struct DecoderKind {
    AVCodecID codec;
    Threading (*threadsFor)(int width, int height);
};

// H.264: slice threads at every size (cameras cut H.264 pictures into slices, so slice threads
// cost no delay).
extern const DecoderKind C264Decode;
// H.265: one thread below 3840 × 2160, two frame threads from there on.
extern const DecoderKind CHI265Decode;

// The preview's decoder, of either kind: the size from Init, the aligned YUYV picture buffer,
// the libavcodec decoder, and the conversion of its last picture.
//
// The buffer is sized from the decoded picture, not from Init's size (which comes from what the
// device claims): it is made with the first picture and made again only when the stream's
// pictures change size. Pictures larger than kMaxPictureSide on a side, or in a layout other
// than 8-bit 4:2:0, produce nothing.
class AvPictureDecoder final : public CDecoder {
public:
    static constexpr int kMinSide = 8;
    static constexpr int kMaxSide = 16384;
    // Largest decoded picture handed out, per side (what the preview window can show).
    static constexpr int kMaxPictureSide = 8192;

    explicit AvPictureDecoder(const DecoderKind& kind) : kind_(kind) {}
    ~AvPictureDecoder() override;
    AvPictureDecoder(const AvPictureDecoder&) = delete;
    AvPictureDecoder& operator=(const AvPictureDecoder&) = delete;

    bool Init(int width, int height) override;
    // Before Init: at most this many decoding threads (0: as the kind chooses). A window that
    // decodes many streams at once already keeps every core busy with them.
    void setMaxThreads(int count) { maxThreads_ = count; }
    int Decode(const std::uint8_t* data, int length, std::uint8_t** out) override;
    bool decodePicture(const std::uint8_t* data, int length, Picture& out) override;
    int Resize(int width, int height) override;

    [[nodiscard]] AVCodecID codec() const { return kind_.codec; }
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

private:
    void release();
    // Decodes the chunk; the picture that came out, when it is one that is handed out.
    const AVFrame* decodeChunk(const std::uint8_t* data, int length);
    // Into the buffer; false when it could not be had.
    bool convert(const AVFrame& frame);

    DecoderKind kind_;
    int maxThreads_ = 0;
    int width_ = 0;
    int height_ = 0;
    int pictureWidth_ = 0;
    int pictureHeight_ = 0;
    int bufferWidth_ = 0;  // the size buffer_ was made for
    int bufferHeight_ = 0;
    AlignedPicture buffer_;
    AvStreamDecoder decoder_;
    std::uint64_t mismatched_ = 0;
};

}  // namespace tarvo::preview
