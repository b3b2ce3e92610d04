#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

// The simulator's test picture, and how a test reads it back from a decoded YUYV picture:
//   - a band of 16 blocks near the top carries the frame number, most significant bit first
//     (white block = 1, black = 0);
//   - the bottom-right quarter is solid red (Y 81, U 90, V 240);
//   - the rest is a diagonal ramp that moves with the frame number.
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

// Fills one planar 4:2:0 picture.
inline void draw(std::uint8_t* y, int yStride, std::uint8_t* u, int uStride, std::uint8_t* v,
                 int vStride, int width, int height, std::uint32_t frame) {
    const int block = blockSize(width, height);
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
                value = static_cast<std::uint8_t>(32 + ((x + row + shift) & 127));
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

// Mean luma of a square around (cx, cy) in a YUYV picture.
inline int lumaAround(const std::uint8_t* yuyv, int width, int height, int cx, int cy, int radius) {
    int sum = 0;
    int count = 0;
    for (int row = std::max(0, cy - radius); row <= std::min(height - 1, cy + radius); ++row) {
        for (int x = std::max(0, cx - radius); x <= std::min(width - 1, cx + radius); ++x) {
            sum += yuyv[(static_cast<std::ptrdiff_t>(row) * width + x) * 2];
            ++count;
        }
    }
    return count > 0 ? sum / count : 0;
}

// The frame number of a decoded picture; nullopt when a block is neither clearly white nor
// clearly black (not the test picture, or badly damaged).
inline std::optional<std::uint32_t> readFrameNumber(const std::uint8_t* yuyv, int width,
                                                    int height) {
    const int block = blockSize(width, height);
    std::uint32_t number = 0;
    for (int i = 0; i < kBits; ++i) {
        const int luma = lumaAround(yuyv, width, height, block * (i + 1) + block / 2,
                                    block + block / 2, block / 4);
        if (luma > 170) {
            number = (number << 1) | 1U;
        } else if (luma < 80) {
            number <<= 1;
        } else {
            return std::nullopt;
        }
    }
    return number;
}

// True when the bottom-right quarter is the expected red, within `tolerance` per component.
inline bool hasRedQuarter(const std::uint8_t* yuyv, int width, int height, int tolerance = 16) {
    const int cx = (width * 3 / 4) & ~1;
    const int cy = height * 3 / 4;
    const std::uint8_t* p = yuyv + (static_cast<std::ptrdiff_t>(cy) * width + cx) * 2;
    const auto near = [tolerance](int value, int expected) {
        return value >= expected - tolerance && value <= expected + tolerance;
    };
    return near(p[0], kRedY) && near(p[1], kRedU) && near(p[2], kRedY) && near(p[3], kRedV);
}

}  // namespace tarvo::sim::pattern
