#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo::preview {

// A zero-filled picture buffer whose first byte is 16-byte aligned. The byte just before the
// picture holds its distance (1 to 16) back to the start of the allocated block, so the block
// is found again from the picture alone.
class AlignedPicture {
public:
    AlignedPicture() = default;
    ~AlignedPicture() { reset(); }
    AlignedPicture(const AlignedPicture&) = delete;
    AlignedPicture& operator=(const AlignedPicture&) = delete;

    // Replaces the buffer; false (and no buffer) when the allocation failed.
    bool allocate(std::size_t bytes);
    void reset();

    [[nodiscard]] std::uint8_t* data() const { return picture_; }
    [[nodiscard]] std::size_t size() const { return size_; }
    explicit operator bool() const { return picture_ != nullptr; }

    // Where the picture starts inside a block at `blockAddress`: the next multiple of 16, or
    // 16 bytes in when the block is already aligned.
    static std::size_t offsetFor(std::uintptr_t blockAddress);
    // The allocated block of a picture, from its offset byte.
    static void* blockOf(std::uint8_t* picture) { return picture - picture[-1]; }

private:
    std::uint8_t* picture_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace tarvo::preview
