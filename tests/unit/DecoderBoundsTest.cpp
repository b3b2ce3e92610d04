// The decoder layer reads no byte outside the chunk it is given: each chunk here ends right
// before a page that cannot be read, as a packet can end at the end of the receive ring.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "core/preview/C264Decode.h"
#include "core/preview/CHI265Decode.h"
#include "sim/VideoClip.h"

using namespace tarvo::preview;

namespace {

// Room for `bytes` that end exactly where an unreadable page begins.
class GuardedBuffer {
public:
    explicit GuardedBuffer(std::size_t bytes) {
        page_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        readable_ = (bytes + page_ - 1) / page_ * page_;
        void* block = ::mmap(nullptr, readable_ + page_, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) return;
        base_ = static_cast<std::uint8_t*>(block);
        if (::mprotect(base_ + readable_, page_, PROT_NONE) != 0) {
            ::munmap(base_, readable_ + page_);
            base_ = nullptr;
        }
    }
    ~GuardedBuffer() {
        if (base_ != nullptr) ::munmap(base_, readable_ + page_);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    // Copies the bytes to the end of the readable part; where they now start.
    const std::uint8_t* place(const std::uint8_t* data, std::size_t bytes) {
        std::uint8_t* at = base_ + readable_ - bytes;
        std::memcpy(at, data, bytes);
        return at;
    }
    explicit operator bool() const { return base_ != nullptr; }

private:
    std::size_t page_ = 0;
    std::size_t readable_ = 0;
    std::uint8_t* base_ = nullptr;
};

class DecoderBounds : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(DecoderBounds, ChunksEndingAtAnUnreadablePageDecodeWithinTheirBytes) {
    tarvo::sim::VideoClip clip(tarvo::sim::VideoFormat{GetParam(), 96, 64, 5, 300, 5});
    const std::atomic<bool> stop{false};
    clip.encode(stop);
    ASSERT_FALSE(clip.failed()) << clip.error();
    ASSERT_GT(clip.available(), 3);

    std::unique_ptr<AvPictureDecoder> decoder;
    if (GetParam() == "h265") {
        decoder = std::make_unique<CHI265Decode>();
    } else {
        decoder = std::make_unique<C264Decode>();
    }
    ASSERT_TRUE(decoder->Init(96, 64));
    int pictures = 0;
    for (int i = 0; i < clip.available(); ++i) {
        const std::vector<std::uint8_t>& frame = clip.frame(i).data;
        // Whole pictures first, then halves: the second half starts inside a picture, so from
        // there on the parser finds the boundaries, and it keeps a partial picture between calls.
        const std::size_t cut = i < 2 ? frame.size() : frame.size() / 2;
        for (const auto& [from, to] :
             {std::pair{std::size_t{0}, cut}, std::pair{cut, frame.size()}}) {
            if (from == to) continue;
            GuardedBuffer buffer(to - from);
            ASSERT_TRUE(buffer);
            const std::uint8_t* chunk = buffer.place(frame.data() + from, to - from);
            std::uint8_t* picture = nullptr;
            decoder->Decode(chunk, static_cast<int>(to - from), &picture);
            if (picture != nullptr) ++pictures;
        }
    }
    EXPECT_FALSE(decoder->wholeChunks());
    // The parser holds the last picture back until the next one starts.
    EXPECT_GE(pictures, clip.available() - 2);
}

INSTANTIATE_TEST_SUITE_P(Codecs, DecoderBounds, ::testing::Values("h264", "h265"));
