#pragma once

#include "core/preview/AvPictureDecoder.h"

namespace tarvo::preview {

// H.265 through libavcodec's hevc decoder.
class CHI265Decode final : public AvPictureDecoder {
public:
    // The decoder's creation parameters for a picture size.
    struct Attributes {
        int maxWidth = 0;
        int maxHeight = 0;
        int maxReferences = 3;
        int maxVps = 16;
        int maxSps = 16;
        int maxPps = 64;
        int bitDepth = 8;
        int threadType = 0;  // 1: frame threads (3840 × 2160 and larger), 0: slice threads
        int outputOrder = 0;
    };
    static Attributes attributesFor(int width, int height);

    CHI265Decode() : AvPictureDecoder(AV_CODEC_ID_HEVC) {}
    // 0 when the decoder ran (with or without a picture), -1 without a usable decoder.
    int Decode(const std::uint8_t* data, int length, std::uint8_t** out) override;

    [[nodiscard]] const Attributes& attributes() const { return attributes_; }

protected:
    Threading threadsFor(int width, int height) override;

private:
    Attributes attributes_;
};

}  // namespace tarvo::preview
