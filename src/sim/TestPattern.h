#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

// The simulator's test picture, and how a test reads it back from a decoded picture:
//   - a band of 16 blocks near the top carries the frame number, most significant bit first
//     (white block = 1, black = 0);
//   - the bottom-right quarter is solid red (Y 81, U 90, V 240);
//   - the rest is a diagonal ramp that moves with the frame number, overlaid with a field of
//     squares of random brightness that drifts a pixel a picture: fine detail, so that a
//     sharpness figure of the picture means something and a blurred picture differs from it.
// Header-only, so that the tests and benchmarks read it the way the simulator draws it.
namespace tarvo::sim::pattern {

inline constexpr int kBits = 16;
inline constexpr std::uint8_t kRedY = 81;
inline constexpr std::uint8_t kRedU = 90;
inline constexpr std::uint8_t kRedV = 240;

// Side of one bit block: large enough to survive compression, small enough for CIF.
inline int blockSize(int width, int height) {
    return std::max(8, std::min(width / (kBits + 2), height / 4) & ~7);
}

// Side of one texture square: about 80 across the picture, so that the squares are still a
// pixel or two wide in a picture scaled down to 160 columns.
inline int textureCell(int width) {
    return std::max(2, width / 80);
}

// The brightness offset (-32..31) of the square at (x, row), the field shifted `drift` pixels.
inline int texture(int x, int row, int cell, std::uint32_t drift) {
    std::uint32_t h =
        (static_cast<std::uint32_t>(x) + drift) / static_cast<std::uint32_t>(cell) * 0x9E3779B1U ^
        static_cast<std::uint32_t>(row / cell) * 0x85EBCA77U;
    h ^= h >> 15;
    h *= 0x2C1B3C6DU;
    h ^= h >> 12;
    return static_cast<int>(h & 63U) - 32;
}

// Fills one planar 4:2:0 picture.
inline void draw(std::uint8_t* y, int yStride, std::uint8_t* u, int uStride, std::uint8_t* v,
                 int vStride, int width, int height, std::uint32_t frame) {
    const int block = blockSize(width, height);
    const int cell = textureCell(width);
    const int shift = static_cast<int>((frame * 8) % 256);
    for (int row = 0; row < height; ++row) {
        std::uint8_t* line = y + static_cast<std::ptrdiff_t>(row) * yStride;
        const bool band = row >= block && row < 2 * block;
        for (int x = 0; x < width; ++x) {
            std::uint8_t value;
            if (x >= width / 2 && row >= height / 2) {
                value = kRedY;
            } else if (band && x >= block && x < block * (kBits + 1)) {
                const int bit = kBits - 1 - (x / block - 1);
                value = ((frame >> bit) & 1U) != 0 ? 235 : 16;
            } else if (band) {
                value = 128;
            } else {
                const int ramp = 32 + ((x + row + shift) & 127);
                value = static_cast<std::uint8_t>(
                    std::clamp(ramp + texture(x, row, cell, frame), 16, 235));
            }
            line[x] = value;
        }
    }
    for (int row = 0; row < (height + 1) / 2; ++row) {
        std::uint8_t* cu = u + static_cast<std::ptrdiff_t>(row) * uStride;
        std::uint8_t* cv = v + static_cast<std::ptrdiff_t>(row) * vStride;
        for (int x = 0; x < (width + 1) / 2; ++x) {
            const bool red = 2 * x >= width / 2 && 2 * row >= height / 2;
            cu[x] = red ? kRedU : 128;
            cv[x] = red ? kRedV : 128;
        }
    }
}

// Where a picture's luma samples are: row `stride` bytes apart, `step` bytes apart in a row
// (2 in a packed YUYV picture, 1 in a planar one).
struct Luma {
    const std::uint8_t* data = nullptr;
    int stride = 0;
    int step = 1;
    [[nodiscard]] int at(int x, int row) const {
        return data[static_cast<std::ptrdiff_t>(row) * stride +
                    static_cast<std::ptrdiff_t>(x) * step];
    }
};

// Mean luma of a square around (cx, cy).
inline int lumaAround(const Luma& luma, int width, int height, int cx, int cy, int radius) {
    int sum = 0;
    int count = 0;
    for (int row = std::max(0, cy - radius); row <= std::min(height - 1, cy + radius); ++row) {
        for (int x = std::max(0, cx - radius); x <= std::min(width - 1, cx + radius); ++x) {
            sum += luma.at(x, row);
            ++count;
        }
    }
    return count > 0 ? sum / count : 0;
}

// The same in a YUYV picture.
inline int lumaAround(const std::uint8_t* yuyv, int width, int height, int cx, int cy, int radius) {
    return lumaAround(Luma{yuyv, width * 2, 2}, width, height, cx, cy, radius);
}

// The frame number of a decoded picture; nullopt when a block is neither clearly white nor
// clearly black (not the test picture, or badly damaged).
inline std::optional<std::uint32_t> readFrameNumber(const Luma& luma, int width, int height) {
    const int block = blockSize(width, height);
    std::uint32_t number = 0;
    for (int i = 0; i < kBits; ++i) {
        const int value = lumaAround(luma, width, height, block * (i + 1) + block / 2,
                                     block + block / 2, block / 4);
        if (value > 170) {
            number = (number << 1) | 1U;
        } else if (value < 80) {
            number <<= 1;
        } else {
            return std::nullopt;
        }
    }
    return number;
}

inline std::optional<std::uint32_t> readFrameNumber(const std::uint8_t* yuyv, int width,
                                                    int height) {
    return readFrameNumber(Luma{yuyv, width * 2, 2}, width, height);
}

namespace detail {
inline bool near(int value, int expected, int tolerance) {
    return value >= expected - tolerance && value <= expected + tolerance;
}
}  // namespace detail

// True when the bottom-right quarter is the expected red, within `tolerance` per component.
inline bool hasRedQuarter(const std::uint8_t* yuyv, int width, int height, int tolerance = 16) {
    const int cx = (width * 3 / 4) & ~1;
    const int cy = height * 3 / 4;
    const std::uint8_t* p = yuyv + (static_cast<std::ptrdiff_t>(cy) * width + cx) * 2;
    return detail::near(p[0], kRedY, tolerance) && detail::near(p[1], kRedU, tolerance) &&
           detail::near(p[2], kRedY, tolerance) && detail::near(p[3], kRedV, tolerance);
}

// The same in a planar 4:2:0 picture.
inline bool hasRedQuarter(const std::uint8_t* y, int yStride, const std::uint8_t* u,
                          const std::uint8_t* v, int chromaStride, int width, int height,
                          int tolerance = 16) {
    const int cx = (width * 3 / 4) & ~1;
    const int cy = height * 3 / 4;
    const auto at = [](const std::uint8_t* plane, int stride, int x, int row) {
        return plane[static_cast<std::ptrdiff_t>(row) * stride + x];
    };
    return detail::near(at(y, yStride, cx, cy), kRedY, tolerance) &&
           detail::near(at(u, chromaStride, cx / 2, cy / 2), kRedU, tolerance) &&
           detail::near(at(v, chromaStride, cx / 2, cy / 2), kRedV, tolerance);
}

}  // namespace tarvo::sim::pattern
