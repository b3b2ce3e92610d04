// The picture checks on made-up luma planes: each flag on the picture it stands for, the
// pictures close to it that must not raise it (a night scene, snow, a misty view in focus, a
// still scene with a clock), the figures in full-range levels, and the check plane's size.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "core/preview/PictureCheck.h"
#include "core/text/Messages.h"

using namespace tarvo::preview;
using namespace std::chrono_literals;
using Clock = PictureCheck::Clock;

namespace {

struct Plane {
    int width;
    int height;
    int stride;
    std::vector<std::uint8_t> y;

    Plane(int w, int h, std::uint8_t fill = 0, int pad = 32)
        : width(w), height(h), stride(w + pad), y(static_cast<std::size_t>(stride) * h, fill) {}
    std::uint8_t& at(int x, int row) { return y[static_cast<std::size_t>(row) * stride + x]; }
};

// A view with detail: squares of random brightness `cell` pixels wide around `mean`, spread
// by `spread`, shifted `drift` pixels to the right, with sensor noise of +-`noise`; the left
// and right halves a quarter of `spread` apart, as large shapes are in a real view.
Plane scene(int w, int h, int mean, int spread, int drift = 0, int noise = 0, unsigned seed = 1) {
    Plane p(w, h);
    const int cell = std::max(2, w / 80);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> jitter(-noise, noise);
    for (int row = 0; row < h; ++row) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t hash = static_cast<std::uint32_t>((x + drift) / cell) * 0x9E3779B1U ^
                                 static_cast<std::uint32_t>(row / cell) * 0x85EBCA77U;
            hash ^= hash >> 15;
            hash *= 0x2C1B3C6DU;
            hash ^= hash >> 12;
            const int offset = static_cast<int>(hash % 201) - 100;  // -100..100
            const int half = (x < w / 2 ? -spread : spread) / 4;
            const int value =
                mean + half + offset * spread / 100 + (noise > 0 ? jitter(random) : 0);
            p.at(x, row) = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
        }
    }
    return p;
}

// A strong low-pass (a lens far out of focus): box passes of radius `r` along rows and columns.
void blur(Plane& p, int r) {
    std::vector<int> line;
    const auto pass = [&](int count, auto get, auto set) {
        line.assign(static_cast<std::size_t>(count), 0);
        for (int i = 0; i < count; ++i) line[static_cast<std::size_t>(i)] = get(i);
        for (int i = 0; i < count; ++i) {
            int sum = 0;
            for (int k = -r; k <= r; ++k)
                sum += line[static_cast<std::size_t>(std::clamp(i + k, 0, count - 1))];
            set(i, sum / (2 * r + 1));
        }
    };
    for (int round = 0; round < 2; ++round) {
        for (int row = 0; row < p.height; ++row)
            pass(
                p.width, [&](int i) { return p.at(i, row); },
                [&](int i, int v) { p.at(i, row) = static_cast<std::uint8_t>(v); });
        for (int x = 0; x < p.width; ++x)
            pass(
                p.height, [&](int i) { return p.at(x, i); },
                [&](int i, int v) { p.at(x, i) = static_cast<std::uint8_t>(v); });
    }
}

PictureVerdict checkOnce(const Plane& p, bool fullRange = false) {
    PictureCheck check;
    return check.check(p.y.data(), p.stride, p.width, p.height, fullRange, Clock::now());
}

// Pictures from `make(i)` at 25 a second for `seconds`; the verdict of the last.
template <typename Make>
PictureVerdict stream(PictureCheck& check, Make make, double seconds,
                      Clock::time_point start = Clock::now()) {
    PictureVerdict last;
    const int count = static_cast<int>(seconds * 25);
    for (int i = 0; i < count; ++i) {
        const Plane p = make(i);
        last = check.check(p.y.data(), p.stride, p.width, p.height, false, start + i * 40ms);
    }
    return last;
}

}  // namespace

TEST(PictureCheckFigures, CheckPlaneIsSmallInWholeBlocks) {
    const auto hd = checkOnce(Plane(1920, 1080, 128)).figures;
    EXPECT_EQ(hd.width, 80);
    EXPECT_EQ(hd.height, 45);
    const auto d1 = checkOnce(Plane(704, 576, 128)).figures;
    EXPECT_EQ(d1.width, 78);  // blocks of 9 x 9
    EXPECT_EQ(d1.height, 64);
    EXPECT_EQ(checkOnce(Plane(352, 288, 128)).figures.width, 70);
    EXPECT_EQ(checkOnce(Plane(80, 60, 128)).figures.width, 80);
    EXPECT_EQ(checkOnce(Plane(2, 2, 128)).figures.width, 0);  // too small to judge
    EXPECT_TRUE(checkOnce(Plane(2, 2, 128)).clean());
}

TEST(PictureCheckFigures, LevelsReadInFullRange) {
    // Limited range: 16 is black, 235 white; full range as it stands.
    EXPECT_NEAR(checkOnce(Plane(320, 240, 16)).figures.brightness, 0, 0.01);
    EXPECT_NEAR(checkOnce(Plane(320, 240, 235)).figures.brightness, 255, 0.01);
    EXPECT_NEAR(checkOnce(Plane(320, 240, 16), true).figures.brightness, 16, 0.01);
    Plane halves(320, 240, 16);
    for (int row = 0; row < 240; ++row)
        for (int x = 160; x < 320; ++x) halves.at(x, row) = 235;
    const auto f = checkOnce(halves).figures;
    EXPECT_NEAR(f.brightness, 127.5, 0.5);
    EXPECT_NEAR(f.contrast, 127.5, 0.5);
    EXPECT_GT(f.sharpness, 0);  // the one edge
    EXPECT_FALSE(f.hasChange);
}

TEST(PictureCheckFlags, ViewWithDetailRaisesNothing) {
    PictureCheck check;
    const auto verdict = stream(
        check, [](int i) { return scene(1280, 720, 110, 90, 5 * i); }, 5);
    EXPECT_TRUE(verdict.clean()) << int(verdict.flags);
    EXPECT_TRUE(verdict.reasons().empty());
    EXPECT_GT(verdict.figures.change, PictureLimits::kStillChange);
}

TEST(PictureCheckFlags, BlackOnlyWhenDarkAndUniform) {
    const auto black = checkOnce(scene(704, 576, 18, 3, 0, 1));
    EXPECT_EQ(black.flags, static_cast<std::uint8_t>(PictureFlag::Black));
    ASSERT_EQ(black.reasons().size(), 1u);
    EXPECT_EQ(black.reasons()[0].key, "PictureBlackFormat");
    EXPECT_EQ(black.reasons()[0].values[0].text, "2");
    // A night scene: dark, but lamps and noise give it contrast.
    EXPECT_TRUE(checkOnce(scene(704, 576, 40, 40, 0, 4)).clean());
    // Dark and nearly uniform, but not black: flat.
    EXPECT_EQ(checkOnce(Plane(704, 576, 60)).flags, static_cast<std::uint8_t>(PictureFlag::Flat));
}

TEST(PictureCheckFlags, WashedOutOnlyWhenBrightAndWithoutContrast) {
    const auto washed = checkOnce(scene(704, 576, 228, 10));
    EXPECT_EQ(washed.flags, static_cast<std::uint8_t>(PictureFlag::WashedOut));
    ASSERT_EQ(washed.reasons().size(), 1u);
    EXPECT_EQ(washed.reasons()[0].key, "PictureWashedOutFormat");
    // Snow in the sun: bright, with contrast.
    EXPECT_TRUE(checkOnce(scene(704, 576, 200, 60)).clean());
}

TEST(PictureCheckFlags, FlatIsAUniformToneAtAnyBrightness) {
    for (const int level : {60, 128, 180}) {
        SCOPED_TRACE(level);
        const auto flat = checkOnce(scene(1280, 720, level, 2, 0, 1));
        EXPECT_EQ(flat.flags, static_cast<std::uint8_t>(PictureFlag::Flat));
        EXPECT_EQ(flat.reasons().at(0).key, "PictureFlatFormat");
    }
}

TEST(PictureCheckFlags, BlurredAgainstThePicturesOwnContrast) {
    // A lens far out of focus: smeared over a twenty-fourth of the width.
    Plane soft = scene(704, 576, 110, 90);
    blur(soft, 704 / 24);
    const auto blurred = checkOnce(soft);
    EXPECT_EQ(blurred.flags, static_cast<std::uint8_t>(PictureFlag::Blurred))
        << blurred.figures.sharpness << " " << blurred.figures.contrast;
    ASSERT_EQ(blurred.reasons().size(), 1u);
    EXPECT_EQ(blurred.reasons()[0].key, "PictureBlurredFormat");
    // Mist or dusk: little contrast, but in focus.
    const auto misty = checkOnce(scene(704, 576, 110, 20));
    EXPECT_TRUE(misty.clean()) << misty.figures.sharpness << " " << misty.figures.contrast;
    // A slight softness is not a fault.
    Plane slightly = scene(704, 576, 110, 90);
    blur(slightly, 3);
    EXPECT_TRUE(checkOnce(slightly).clean());
}

TEST(PictureCheckFlags, FrozenAfterTheWindowOfStillPictures) {
    PictureCheck check;
    const auto start = Clock::now();
    const Plane still = scene(704, 576, 110, 90);
    // Two seconds still: not yet.
    EXPECT_TRUE(stream(
                    check, [&](int) { return still; }, 2, start)
                    .clean());
    // Past the window, with one re-coded key picture (a level off in a few places) among them.
    Plane recoded = still;
    for (int x = 0; x < 704; x += 3) recoded.at(x, 300) ^= 1;
    const auto frozen = stream(
        check, [&](int i) { return i == 10 ? recoded : still; }, 2, start + 2s);
    EXPECT_EQ(frozen.flags, static_cast<std::uint8_t>(PictureFlag::Frozen));
    EXPECT_GE(frozen.figures.stillSeconds, 3.0);
    EXPECT_EQ(frozen.reasons().at(0).key, "PictureFrozenFormat");
    EXPECT_EQ(frozen.reasons().at(0).values.at(0).text, "3");
    // It moves again: a moment of motion ends it (more than a tenth of the window).
    const auto live = stream(
        check, [](int i) { return scene(704, 576, 110, 90, 5 + i); }, 0.4, start + 4s);
    EXPECT_TRUE(live.clean()) << live.figures.stillSeconds;
}

TEST(PictureCheckFlags, NoisyStillSceneIsNotFrozen) {
    // A camera's sensor noise changes every picture a little.
    PictureCheck check;
    const auto verdict = stream(
        check, [](int i) { return scene(704, 576, 60, 50, 0, 12, 100 + i); }, 5);
    EXPECT_FALSE(verdict.has(PictureFlag::Frozen)) << verdict.figures.change;
}

TEST(PictureCheckFlags, PictureWithoutContentIsNeverBlurredOrFrozen) {
    PictureCheck check;
    const auto verdict = stream(
        check, [](int) { return Plane(704, 576, 16); }, 5);
    EXPECT_EQ(verdict.flags, static_cast<std::uint8_t>(PictureFlag::Black));
    EXPECT_EQ(verdict.reasons().size(), 1u);
}

TEST(PictureCheckFlags, NewSizeStartsTheChangeAfresh) {
    PictureCheck check;
    const Plane big = scene(704, 576, 110, 90);
    const Plane small = scene(352, 288, 110, 90);
    const auto start = Clock::now();
    check.check(big.y.data(), big.stride, 704, 576, false, start);
    const auto afterBig = check.check(big.y.data(), big.stride, 704, 576, false, start + 40ms);
    EXPECT_TRUE(afterBig.figures.hasChange);
    EXPECT_EQ(afterBig.figures.change, 0);
    const auto first = check.check(small.y.data(), small.stride, 352, 288, false, start + 80ms);
    EXPECT_FALSE(first.figures.hasChange);
    check.reset();
    EXPECT_FALSE(check.check(small.y.data(), small.stride, 352, 288, false, start + 120ms)
                     .figures.hasChange);
}
