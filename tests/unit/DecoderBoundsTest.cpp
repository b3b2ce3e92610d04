// The decoder layer on input a camera should never send: chunks that end right before a page
// that cannot be read (as a packet can end at the end of the receive ring), broken streams that
// once brought the decoder down, and streams without a picture boundary.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "core/preview/AvPictureDecoder.h"
#include "sim/VideoClip.h"
#include "support/Sanitizers.h"

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

std::unique_ptr<AvPictureDecoder> makeDecoder(const std::string& codec) {
    return std::make_unique<AvPictureDecoder>(codec == "h265" ? CHI265Decode : C264Decode);
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace

TEST_P(DecoderBounds, ChunksEndingAtAnUnreadablePageDecodeWithinTheirBytes) {
    tarvo::sim::VideoClip clip(tarvo::sim::VideoFormat{GetParam(), 96, 64, 5, 300, 5, {}, 0});
    const std::atomic<bool> stop{false};
    clip.encode(stop);
    ASSERT_FALSE(clip.failed()) << clip.error();
    ASSERT_GT(clip.available(), 3);

    const auto decoder = makeDecoder(GetParam());
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

// The parser keeps everything until a picture ends; a device that never starts one must not
// make it keep more than a bounded amount.
TEST_P(DecoderBounds, StreamWithoutStartCodesKeepsTheParserBounded) {
    const auto decoder = makeDecoder(GetParam());
    ASSERT_TRUE(decoder->Init(320, 240));
    const std::vector<std::uint8_t> chunk(1 << 20, 0xA5);
    const std::size_t before = residentBytes();
    for (int i = 0; i < 96; ++i) {
        std::uint8_t* picture = nullptr;
        decoder->Decode(chunk.data(), static_cast<int>(chunk.size()), &picture);
        EXPECT_EQ(picture, nullptr);
    }
    // Sanitizers keep freed memory in quarantine: only a plain build can see the bound.
    if (!tarvo::test::kSanitized) {
        EXPECT_LT(residentBytes(), before + (48u << 20));
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, DecoderBounds, ::testing::Values("h264", "h265"));

// An H.265 chunk with parameter sets, a slice of a picture using wavefront rows, and a picture
// parameter set that replaces the one the slice refers to. Decoded on slice threads, libavcodec
// followed a null pointer on it; the preview must survive it at any size.
TEST(DecoderHostileStreams, H265PictureParametersReplacedAfterASliceDoNotBringTheDecoderDown) {
    static constexpr std::uint8_t kChunk[] = {
        0x00, 0x00, 0x01, 0x40, 0x01, 0x0c, 0x01, 0xff, 0xff, 0x01, 0x60, 0x00, 0x00, 0x00,
        0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x1e, 0xba, 0x02, 0x40, 0x00, 0x00, 0x01, 0x42,
        0x01, 0x01, 0x01, 0x60, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x48, 0x00, 0x1e,
        0xa0, 0x16, 0x20, 0x24, 0x59, 0x6e, 0x92, 0x93, 0x0b, 0x9a, 0x01, 0xff, 0xff, 0xff,
        0xff, 0x00, 0x00, 0x01, 0x44, 0x01, 0xc0, 0x71, 0x83, 0x12, 0x00, 0x00, 0x01, 0x02,
        0x01, 0xd0, 0x11, 0xfe, 0x20, 0x35, 0x6a, 0x00, 0x00, 0x01, 0x44, 0x01, 0x98};
    for (const auto& [width, height] :
         {std::pair{183, 8}, std::pair{640, 480}, std::pair{1920, 1080}, std::pair{3840, 2160}}) {
        AvPictureDecoder decoder(CHI265Decode);
        ASSERT_TRUE(decoder.Init(width, height));
        for (int i = 0; i < 3; ++i) {
            std::uint8_t* picture = nullptr;
            EXPECT_EQ(decoder.Decode(kChunk, static_cast<int>(sizeof kChunk), &picture), 0);
            if (picture != nullptr) {
                EXPECT_EQ(picture, decoder.picture());
            }
        }
    }
}
