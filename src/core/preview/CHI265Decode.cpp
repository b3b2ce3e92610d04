#include "core/preview/CHI265Decode.h"

namespace tarvo::preview {

CHI265Decode::Attributes CHI265Decode::attributesFor(int width, int height) {
    Attributes a;
    a.maxWidth = width;
    a.maxHeight = height;
    a.threadType = static_cast<long>(width) * height > 8294399 ? 1 : 0;
    return a;
}

Threading CHI265Decode::threadsFor(int width, int height) {
    attributes_ = attributesFor(width, height);
    // An H.265 picture is usually one slice whose wavefront rows wait on each other, so slice
    // threads gain little (measured on a 4K stream with wavefront rows: two slice threads about
    // as fast as one, two frame threads 1.5 times as fast). From 3840 × 2160 on a busy scene can
    // take one core longer than a frame period, so pictures are decoded side by side on frame
    // threads, at the cost of one picture of delay. Smaller pictures keep the low delay on one
    // thread: besides gaining little, libavcodec's wavefront slice threads follow a null pointer
    // on some broken streams (picture parameters replaced after a slice that uses them).
    return attributes_.threadType == 1 ? frameThreading() : Threading{Threading::Kind::Slice, 1};
}

int CHI265Decode::Decode(const std::uint8_t* data, int length, std::uint8_t** out) {
    if (!hasDecoder()) return -1;
    if (decodeChunk(data, length) && out != nullptr) *out = const_cast<std::uint8_t*>(picture());
    return 0;
}

}  // namespace tarvo::preview
