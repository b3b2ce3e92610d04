#include "core/preview/CHI265Decode.h"

namespace tarvo::preview {

CHI265Decode::Attributes CHI265Decode::attributesFor(int width, int height) {
    Attributes a;
    a.maxWidth = width;
    a.maxHeight = height;
    a.threadType = static_cast<long>(width) * height > 8294399 ? 1 : 0;
    return a;
}

int CHI265Decode::threadsFor(int width, int height) {
    attributes_ = attributesFor(width, height);
    return sliceThreadsFor(attributes_.threadType == 1);
}

int CHI265Decode::Decode(const std::uint8_t* data, int length, std::uint8_t** out) {
    if (!hasDecoder() || picture() == nullptr) return -1;
    if (decodeChunk(data, length) && out != nullptr) *out = const_cast<std::uint8_t*>(picture());
    return 0;
}

}  // namespace tarvo::preview
