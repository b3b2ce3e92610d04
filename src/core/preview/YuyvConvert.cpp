#include "core/preview/YuyvConvert.h"

#include <immintrin.h>

#include <atomic>
#include <cstddef>

namespace tarvo::preview {

namespace {

using RowPairFn = void (*)(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                           const std::uint8_t* v, std::uint8_t* out0, std::uint8_t* out1,
                           int width);

// Pixels [from, width) of one row pair (or one row when y1/out1 are null).
inline void rowTail(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                    const std::uint8_t* v, std::uint8_t* out0, std::uint8_t* out1, int from,
                    int width) {
    for (int x = from; x < width; ++x) {
        const std::uint8_t c = (x & 1) == 0 ? u[x >> 1] : v[x >> 1];
        out0[2 * x] = y0[x];
        out0[2 * x + 1] = c;
        if (y1 != nullptr && out1 != nullptr) {
            out1[2 * x] = y1[x];
            out1[2 * x + 1] = c;
        }
    }
}

// Large pictures do not fit any cache: their rows are written with non-temporal stores, which
// skip reading the destination lines first (the same trick memcpy uses at these sizes).
template <bool NonTemporal>
inline void store16(std::uint8_t* at, __m128i value) {
    if constexpr (NonTemporal) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(at), value);
    } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value);
    }
}

template <bool NonTemporal>
__attribute__((target("avx2"))) inline void store32(std::uint8_t* at, __m256i value) {
    if constexpr (NonTemporal) {
        _mm256_stream_si256(reinterpret_cast<__m256i*>(at), value);
    } else {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), value);
    }
}

// 16 pixels by two rows a step: 8 Cb and 8 Cr interleaved, then with each row's 16 luma bytes.
template <bool NonTemporal>
void rowPairSse2(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                 const std::uint8_t* v, std::uint8_t* out0, std::uint8_t* out1, int width) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i cb = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i cr = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m128i uv = _mm_unpacklo_epi8(cb, cr);
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y0 + x));
        store16<NonTemporal>(out0 + 2 * x, _mm_unpacklo_epi8(a, uv));
        store16<NonTemporal>(out0 + 2 * x + 16, _mm_unpackhi_epi8(a, uv));
        if (y1 != nullptr && out1 != nullptr) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y1 + x));
            store16<NonTemporal>(out1 + 2 * x, _mm_unpacklo_epi8(b, uv));
            store16<NonTemporal>(out1 + 2 * x + 16, _mm_unpackhi_epi8(b, uv));
        }
    }
    rowTail(y0, y1, u, v, out0, out1, x, width);
}

// 32 pixels by two rows a step; the unpacks work per 128-bit lane, so the chroma halves are
// placed one per lane and the results recombined across lanes before storing.
template <bool NonTemporal>
__attribute__((target("avx2"))) void rowPairAvx2(const std::uint8_t* y0, const std::uint8_t* y1,
                                                 const std::uint8_t* u, const std::uint8_t* v,
                                                 std::uint8_t* out0, std::uint8_t* out1,
                                                 int width) {
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m128i cb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i cr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m256i uv = _mm256_set_m128i(_mm_unpackhi_epi8(cb, cr), _mm_unpacklo_epi8(cb, cr));
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y0 + x));
        const __m256i alo = _mm256_unpacklo_epi8(a, uv);
        const __m256i ahi = _mm256_unpackhi_epi8(a, uv);
        store32<NonTemporal>(out0 + 2 * x, _mm256_permute2x128_si256(alo, ahi, 0x20));
        store32<NonTemporal>(out0 + 2 * x + 32, _mm256_permute2x128_si256(alo, ahi, 0x31));
        if (y1 != nullptr && out1 != nullptr) {
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y1 + x));
            const __m256i blo = _mm256_unpacklo_epi8(b, uv);
            const __m256i bhi = _mm256_unpackhi_epi8(b, uv);
            store32<NonTemporal>(out1 + 2 * x, _mm256_permute2x128_si256(blo, bhi, 0x20));
            store32<NonTemporal>(out1 + 2 * x + 32, _mm256_permute2x128_si256(blo, bhi, 0x31));
        }
    }
    if (x < width)
        rowPairSse2<NonTemporal>(y0 + x, y1 != nullptr ? y1 + x : nullptr, u + x / 2, v + x / 2,
                                 out0 + 2 * x, out1 != nullptr ? out1 + 2 * x : nullptr, width - x);
}

void rowPairScalar(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                   const std::uint8_t* v, std::uint8_t* out0, std::uint8_t* out1, int width) {
    rowTail(y0, y1, u, v, out0, out1, 0, width);
}

std::atomic<bool> g_forceSse2{false};

bool cpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}

constexpr std::size_t kNonTemporalBytes = 4u << 20;

// The row-pair kernel for this CPU and destination. Non-temporal stores need every row start
// aligned to the store width.
RowPairFn chooseRowPair(const std::uint8_t* out = nullptr, int width = 0, int height = 0) {
    const auto address = reinterpret_cast<std::uintptr_t>(out);
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2;
    const bool large = out != nullptr && bytes >= kNonTemporalBytes;
    const bool rows16 = large && address % 16 == 0 && (width * 2) % 16 == 0;
    const bool rows32 = large && address % 32 == 0 && (width * 2) % 32 == 0;
    if (!g_forceSse2.load(std::memory_order_relaxed) && cpuHasAvx2()) {
        if (rows32) return rowPairAvx2<true>;
        if (rows16) return rowPairSse2<true>;
        return rowPairAvx2<false>;
    }
    return rows16 ? rowPairSse2<true> : rowPairSse2<false>;
}

void convertWith(RowPairFn rowPair, const PlanarPicture& in, std::uint8_t* out) {
    if (in.width <= 0 || in.height <= 0) return;
    const std::ptrdiff_t outStride = static_cast<std::ptrdiff_t>(in.width) * 2;
    const std::uint8_t* y = in.y;
    const std::uint8_t* u = in.u;
    const std::uint8_t* v = in.v;
    int row = 0;
    for (; row + 2 <= in.height; row += 2) {
        rowPair(y, y + in.yStride, u, v, out, out + outStride, in.width);
        y += 2 * static_cast<std::ptrdiff_t>(in.yStride);
        u += in.chromaStride;
        v += in.chromaStride;
        out += 2 * outStride;
    }
    if (row < in.height) rowPair(y, nullptr, u, v, out, nullptr, in.width);
}

}  // namespace

void convertToYuyv(const PlanarPicture& in, std::uint8_t* out) {
    const RowPairFn rowPair = chooseRowPair(out, in.width, in.height);
    convertWith(rowPair, in, out);
    // Non-temporal stores are weakly ordered: make them visible before the picture is handed on.
    _mm_sfence();
}

void convertToYuyvScalar(const PlanarPicture& in, std::uint8_t* out) {
    convertWith(rowPairScalar, in, out);
}

const char* yuyvConvertPath() {
    return chooseRowPair() == rowPairAvx2<false> ? "avx2" : "sse2";
}

void forceSse2YuyvConvert(bool force) {
    g_forceSse2.store(force, std::memory_order_relaxed);
}

}  // namespace tarvo::preview
