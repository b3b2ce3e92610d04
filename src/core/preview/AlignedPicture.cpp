#include "core/preview/AlignedPicture.h"

#include <cstdlib>

namespace tarvo::preview {

std::size_t AlignedPicture::offsetFor(std::uintptr_t blockAddress) {
    const std::size_t misalign = blockAddress % 16;
    return misalign == 0 ? 16 : 16 - misalign;
}

bool AlignedPicture::allocate(std::size_t bytes) {
    reset();
    if (bytes == 0 || bytes > static_cast<std::size_t>(-1) - 16) return false;
    // calloc/free stay together in this class; the block is found from the picture's offset byte.
    auto* block = static_cast<std::uint8_t*>(std::calloc(bytes + 16, 1));
    if (block == nullptr) return false;
    const std::size_t offset = offsetFor(reinterpret_cast<std::uintptr_t>(block));
    picture_ = block + offset;
    picture_[-1] = static_cast<std::uint8_t>(offset);
    size_ = bytes;
    return true;
}

void AlignedPicture::reset() {
    if (picture_ == nullptr) return;
    std::free(blockOf(picture_));
    picture_ = nullptr;
    size_ = 0;
}

}  // namespace tarvo::preview
