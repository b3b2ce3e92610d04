// The 4:2:0 to YUYV conversion: the reference layout, every fast path against the scalar
// reference at awkward sizes, and the aligned picture buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/preview/AlignedPicture.h"
#include "core/preview/YuyvConvert.h"

using namespace tarvo::preview;

namespace {

struct Planes {
    int width;
    int height;
    int yStride;
    int cStride;
    std::vector<std::uint8_t> y, u, v;

    Planes(int w, int h, int yPad, int cPad, unsigned seed)
        : width(w), height(h), yStride(w + yPad), cStride((w + 1) / 2 + cPad) {
        std::mt19937 random(seed);
        // Exactly the bytes a picture of this size may read, so a sanitizer sees overreads.
        y.resize(static_cast<std::size_t>(yStride) * (h - 1) + w);
        const int ch = (h + 1) / 2;
        u.resize(static_cast<std::size_t>(cStride) * (ch - 1) + (w + 1) / 2);
        v.resize(u.size());
        for (auto* plane : {&y, &u, &v})
            for (auto& b : *plane) b = static_cast<std::uint8_t>(random());
    }
    PlanarPicture picture() const {
        return {y.data(), u.data(), v.data(), yStride, cStride, width, height};
    }
};

class ForcedPath : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { forceSse2YuyvConvert(GetParam()); }
    void TearDown() override { forceSse2YuyvConvert(false); }
};

}  // namespace

TEST(YuyvConvert, ReferenceBytesOfTheTopLeftCorner) {
    Planes p(16, 2, 0, 0, 1);
    const std::uint8_t top[4] = {10, 11, 12, 13};
    const std::uint8_t bottom[4] = {20, 21, 22, 23};
    std::copy(top, top + 4, p.y.begin());
    std::copy(bottom, bottom + 4, p.y.begin() + 16);
    p.u[0] = 1;
    p.u[1] = 2;
    p.v[0] = 5;
    p.v[1] = 6;
    std::vector<std::uint8_t> out(16 * 2 * 2);
    convertToYuyv(p.picture(), out.data());
    const std::vector<std::uint8_t> row0(out.begin(), out.begin() + 8);
    const std::vector<std::uint8_t> row1(out.begin() + 32, out.begin() + 40);
    EXPECT_EQ(row0, (std::vector<std::uint8_t>{10, 1, 11, 5, 12, 2, 13, 6}));
    EXPECT_EQ(row1, (std::vector<std::uint8_t>{20, 1, 21, 5, 22, 2, 23, 6}));
}

TEST_P(ForcedPath, MatchesScalarReferenceAtAwkwardSizes) {
    const std::vector<std::pair<int, int>> sizes{{1, 1},
                                                 {2, 2},
                                                 {3, 3},
                                                 {15, 2},
                                                 {16, 1},
                                                 {17, 3},
                                                 {31, 5},
                                                 {32, 2},
                                                 {33, 7},
                                                 {47, 4},
                                                 {63, 9},
                                                 {64, 64},
                                                 {65, 33},
                                                 {100, 11},
                                                 {352, 288},
                                                 {704, 576},
                                                 {1000, 3},
                                                 {1920, 7},
                                                 {1283, 721},
                                                 // Large enough for the non-temporal stores.
                                                 {2048, 1100},
                                                 {1928, 1090}};
    unsigned seed = 7;
    for (const auto& [w, h] : sizes) {
        for (int pad : {0, 13}) {
            Planes p(w, h, pad, pad / 2, seed++);
            std::vector<std::uint8_t> fast(static_cast<std::size_t>(w) * h * 2 + 64, 0xEE);
            std::vector<std::uint8_t> slow(fast.size(), 0xEE);
            convertToYuyv(p.picture(), fast.data());
            convertToYuyvScalar(p.picture(), slow.data());
            ASSERT_EQ(fast, slow) << w << "x" << h << " pad " << pad << " " << yuyvConvertPath();
            // Nothing beyond width × height × 2 bytes was written.
            for (std::size_t i = static_cast<std::size_t>(w) * h * 2; i < fast.size(); ++i)
                ASSERT_EQ(fast[i], 0xEE) << w << "x" << h;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ForcedPath, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Sse2" : "Best"; });

TEST(YuyvConvert, ScalarLayoutRepeatsChromaForBothRowsAndOddEdges) {
    Planes p(3, 3, 0, 0, 3);
    std::vector<std::uint8_t> out(3 * 3 * 2);
    convertToYuyvScalar(p.picture(), out.data());
    for (int row = 0; row < 3; ++row) {
        for (int x = 0; x < 3; ++x) {
            const std::size_t at = static_cast<std::size_t>(row * 3 + x) * 2;
            EXPECT_EQ(out[at], p.y[static_cast<std::size_t>(row * p.yStride + x)]);
            const auto& chroma = x % 2 == 0 ? p.u : p.v;
            EXPECT_EQ(out[at + 1], chroma[static_cast<std::size_t>(row / 2 * p.cStride + x / 2)]);
        }
    }
}

TEST(AlignedPicture, StartsAlignedAndKnowsItsBlock) {
    EXPECT_EQ(AlignedPicture::offsetFor(0x1000), 16u);
    EXPECT_EQ(AlignedPicture::offsetFor(0x1001), 15u);
    EXPECT_EQ(AlignedPicture::offsetFor(0x100F), 1u);
    EXPECT_EQ(AlignedPicture::offsetFor(0x1008), 8u);
    for (std::size_t bytes : {1u, 2u * 16 * 16, 1920u * 1080 * 2}) {
        AlignedPicture picture;
        ASSERT_TRUE(picture.allocate(bytes));
        const auto address = reinterpret_cast<std::uintptr_t>(picture.data());
        EXPECT_EQ(address % 16, 0u);
        const std::uint8_t offset = picture.data()[-1];
        EXPECT_GE(offset, 1);
        EXPECT_LE(offset, 16);
        EXPECT_EQ(AlignedPicture::blockOf(picture.data()), picture.data() - offset);
        EXPECT_EQ(picture.data()[0], 0);
        EXPECT_EQ(picture.data()[bytes - 1], 0);
    }
    AlignedPicture none;
    EXPECT_FALSE(none.allocate(0));
    EXPECT_EQ(none.data(), nullptr);
}
