#pragma once

#include "core/preview/AvPictureDecoder.h"

namespace tarvo::preview {

// H.264 through libavcodec's h264 decoder.
class C264Decode final : public AvPictureDecoder {
public:
    // The decoder's creation parameters for a picture size, in macroblocks with the
    // replacements for values out of range.
    struct Attributes {
        int pictureFormat = 0;  // planar 4:2:0
        int streamType = 0;
        int widthMacroblocks = 0;
        int heightMacroblocks = 0;
        int referenceBuffers = 5;
        int workMode = 0x20;
    };
    static Attributes attributesFor(int width, int height);

    C264Decode() : AvPictureDecoder(AV_CODEC_ID_H264) {}
    // Every picture the chunk completes is decoded; the buffer keeps the last. Returns 0.
    int Decode(const std::uint8_t* data, int length, std::uint8_t** out) override;

    [[nodiscard]] const Attributes& attributes() const { return attributes_; }

protected:
    Threading threadsFor(int width, int height) override;

private:
    Attributes attributes_;
};

}  // namespace tarvo::preview
