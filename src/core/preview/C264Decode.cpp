#include "core/preview/C264Decode.h"

namespace tarvo::preview {

C264Decode::Attributes C264Decode::attributesFor(int width, int height) {
    Attributes a;
    a.widthMacroblocks = width / 16 + 1;
    a.heightMacroblocks = height / 16 + 1;
    if (a.widthMacroblocks < 2 || a.widthMacroblocks > 1024) a.widthMacroblocks = 120;
    if (a.heightMacroblocks < 6 || a.heightMacroblocks > 1024) a.heightMacroblocks = 68;
    return a;
}

Threading C264Decode::threadsFor(int width, int height) {
    attributes_ = attributesFor(width, height);
    // Cameras cut H.264 pictures into slices: slice threads cost no delay at any size.
    return lowDelayThreading();
}

int C264Decode::Decode(const std::uint8_t* data, int length, std::uint8_t** out) {
    if (decodeChunk(data, length) && out != nullptr) *out = const_cast<std::uint8_t*>(picture());
    return 0;
}

}  // namespace tarvo::preview
