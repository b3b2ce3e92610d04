// The decoder layer over libavcodec, fed with the simulator's encoded test pattern.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <vector>

#include "core/preview/AvPictureDecoder.h"
#include "sim/TestPattern.h"
#include "sim/VideoClip.h"

using namespace tarvo::preview;
namespace pattern = tarvo::sim::pattern;

namespace {

// Ten pictures (two GOPs of five) of the test pattern.
const tarvo::sim::VideoClip& clip(const std::string& codec) {
    static std::map<std::string, std::unique_ptr<tarvo::sim::VideoClip>> clips;
    auto& slot = clips[codec];
    if (!slot) {
        slot = std::make_unique<tarvo::sim::VideoClip>(
            tarvo::sim::VideoFormat{codec, 320, 240, 5, 800, 5, {}, 0});
        std::atomic<bool> stop{false};
        slot->encode(stop);
    }
    return *slot;
}

std::vector<std::uint8_t> frameBytes(const tarvo::sim::VideoClip& c, int from, int to) {
    std::vector<std::uint8_t> out;
    for (int i = from; i < to; ++i) {
        const auto& f = c.frame(i).data;
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

int decode(CDecoder& decoder, const std::vector<std::uint8_t>& bytes, std::uint8_t** out) {
    return decoder.Decode(bytes.data(), static_cast<int>(bytes.size()), out);
}

class Decoders : public ::testing::TestWithParam<std::string> {
protected:
    std::unique_ptr<AvPictureDecoder> make() const {
        return std::make_unique<AvPictureDecoder>(GetParam() == "h265" ? CHI265Decode : C264Decode);
    }
};

}  // namespace

TEST(DecoderParameters, ThreadTypeFrom4k) {
    EXPECT_EQ(CHI265Decode.threadsFor(3840, 2160).kind, Threading::Kind::Frame);
    EXPECT_EQ(CHI265Decode.threadsFor(3839, 2160).kind, Threading::Kind::Slice);
    AvPictureDecoder h264(C264Decode);
    ASSERT_TRUE(h264.Init(1920, 1080));
    AvPictureDecoder hevc(CHI265Decode);
    ASSERT_TRUE(hevc.Init(3840, 2160));
    EXPECT_GE(hevc.threadCount(), 1);
}

// H.264 at any size and H.265 below 3840 × 2160 decode with slice threads, so that a picture
// comes out of the call that completed it; 4K H.265 runs frame threads (on more than one
// core), whose pictures come out one call late but still in order, the last one winning.
TEST(DecoderParameters, FrameThreadsOnlyFor4kH265) {
    AvPictureDecoder h264(C264Decode);
    ASSERT_TRUE(h264.Init(3840, 2160));
    EXPECT_FALSE(h264.frameThreads());
    AvPictureDecoder small(CHI265Decode);
    ASSERT_TRUE(small.Init(3839, 2160));
    EXPECT_FALSE(small.frameThreads());
    EXPECT_LE(small.threadCount(), 2);

    AvPictureDecoder large(CHI265Decode);
    ASSERT_TRUE(large.Init(3840, 2160));
    if (large.threadCount() < 2) GTEST_SKIP() << "one core: no frame threads";
    EXPECT_TRUE(large.frameThreads());
    EXPECT_EQ(large.threadCount(), 2);  // one picture of delay, not more
    const auto& c = clip("h265");
    ASSERT_TRUE(c.finished()) << c.error();
    std::vector<std::uint32_t> seen;
    for (int i = 0; i < 10; ++i) {
        std::uint8_t* out = nullptr;
        EXPECT_EQ(decode(large, frameBytes(c, i, i + 1), &out), 0);
        if (out == nullptr) continue;
        const auto number = pattern::readFrameNumber(out, 320, 240);
        ASSERT_TRUE(number.has_value());
        seen.push_back(*number);
    }
    // The last chunk's picture is still on its thread; the ones before came out in order.
    ASSERT_GE(seen.size(), 6u);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i], seen[i - 1] + 1);
    EXPECT_EQ(seen.back(), 8u);
}

TEST(DecoderParameters, SizesOutOfRangeFailInit) {
    AvPictureDecoder a(C264Decode);
    EXPECT_FALSE(a.Init(0, 0));
    AvPictureDecoder b(CHI265Decode);
    EXPECT_FALSE(b.Init(20000, 100));
    std::uint8_t* out = nullptr;
    const std::vector<std::uint8_t> some(100, 0);
    EXPECT_EQ(decode(b, some, &out), -1);
    EXPECT_EQ(decode(a, some, &out), -1);
    EXPECT_EQ(out, nullptr);
}

TEST_P(Decoders, PicturesComeOutInOrderAndLastWins) {
    const auto& c = clip(GetParam());
    ASSERT_TRUE(c.finished()) << c.error();
    auto decoder = make();
    ASSERT_TRUE(decoder->Init(320, 240));
    // At first the parser knows a picture is complete only when the next one starts: the first
    // chunk alone gives nothing and leaves `out` as it was.
    auto* const sentinel = reinterpret_cast<std::uint8_t*>(0x1);
    std::uint8_t* out = sentinel;
    EXPECT_EQ(decode(*decoder, frameBytes(c, 0, 1), &out), 0);
    EXPECT_EQ(out, sentinel);
    out = nullptr;
    decode(*decoder, frameBytes(c, 1, 2), &out);
    ASSERT_EQ(out, decoder->picture());
    EXPECT_EQ(pattern::readFrameNumber(out, 320, 240), 0u);
    EXPECT_TRUE(pattern::hasRedQuarter(out, 320, 240));
    EXPECT_FALSE(decoder->wholeChunks());
    // One chunk with three pictures: the buffer keeps the last one. Every chunk so far began
    // with a picture, so from here on chunks count as whole pictures: this one's last picture
    // comes out at once.
    out = nullptr;
    decode(*decoder, frameBytes(c, 2, 5), &out);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(pattern::readFrameNumber(out, 320, 240), 4u);
    EXPECT_TRUE(decoder->wholeChunks());
    for (int i = 5; i < 10; ++i) {
        out = nullptr;
        decode(*decoder, frameBytes(c, i, i + 1), &out);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(pattern::readFrameNumber(out, 320, 240), static_cast<std::uint32_t>(i));
    }
}

TEST_P(Decoders, ChunksCutInsidePicturesGoThroughTheParser) {
    const auto& c = clip(GetParam());
    auto decoder = make();
    ASSERT_TRUE(decoder->Init(320, 240));
    const auto all = frameBytes(c, 0, 10);
    std::uint32_t next = 0;
    for (std::size_t at = 0; at < all.size(); at += 777) {
        const std::vector<std::uint8_t> piece(
            all.begin() + static_cast<long>(at),
            all.begin() + static_cast<long>(std::min(all.size(), at + 777)));
        std::uint8_t* out = nullptr;
        decode(*decoder, piece, &out);
        if (out != nullptr) {
            const auto number = pattern::readFrameNumber(out, 320, 240);
            ASSERT_TRUE(number.has_value());
            EXPECT_GE(*number, next);
            next = *number + 1;
        }
    }
    EXPECT_FALSE(decoder->wholeChunks());
    EXPECT_EQ(next, 9u);  // the last picture waits for a next one that never comes
}

TEST_P(Decoders, GarbageGivesNoPictureAndDoesNotHurt) {
    auto decoder = make();
    ASSERT_TRUE(decoder->Init(320, 240));
    std::mt19937 random(5);
    std::vector<std::uint8_t> junk(50'000);
    for (int round = 0; round < 20; ++round) {
        for (auto& b : junk) b = static_cast<std::uint8_t>(random());
        std::uint8_t* out = nullptr;
        decode(*decoder, junk, &out);
    }
    // Still decodes a real stream afterwards.
    const auto& c = clip(GetParam());
    std::uint8_t* out = nullptr;
    decode(*decoder, frameBytes(c, 0, 3), &out);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(pattern::hasRedQuarter(out, 320, 240));
}

// The size given to Init comes from what the device claims; the picture buffer follows the
// stream's own pictures, so a claim sizes nothing.
TEST_P(Decoders, PicturesComeOutAtTheirOwnSizeWhateverInitWasGiven) {
    const auto& c = clip(GetParam());
    for (const auto& [width, height] : {std::pair{3839, 2160}, std::pair{100, 60}}) {
        auto decoder = make();
        ASSERT_TRUE(decoder->Init(width, height));
        std::uint8_t* out = nullptr;
        decode(*decoder, frameBytes(c, 0, 2), &out);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(decoder->pictureWidth(), 320);
        EXPECT_EQ(decoder->pictureHeight(), 240);
        EXPECT_TRUE(pattern::hasRedQuarter(out, 320, 240));
        EXPECT_EQ(pattern::readFrameNumber(out, 320, 240), 0u);
    }
}

// The same size keeps the decoder and its picture; another makes a new decoder that decodes.
TEST_P(Decoders, ResizeReinitialisesOnlyOnChange) {
    auto decoder = make();
    ASSERT_TRUE(decoder->Init(320, 240));
    std::uint8_t* out = nullptr;
    decode(*decoder, frameBytes(clip(GetParam()), 0, 2), &out);
    ASSERT_NE(out, nullptr);
    decoder->Resize(320, 240);
    EXPECT_EQ(decoder->picture(), out);
    EXPECT_EQ(decoder->pictureWidth(), 320);
    decoder->Resize(640, 480);
    EXPECT_EQ(decoder->width(), 640);
    EXPECT_EQ(decoder->pictureWidth(), 0);
    out = nullptr;
    EXPECT_EQ(decode(*decoder, frameBytes(clip(GetParam()), 0, 2), &out), 0);
    EXPECT_NE(out, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Codecs, Decoders, ::testing::Values("h264", "h265"));
