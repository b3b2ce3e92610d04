#include "core/preview/PictureCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "core/preview/Picture.h"
#include "core/text/Messages.h"

namespace tarvo::preview {

namespace {

using L = PictureLimits;

// Limited-range levels (16-235) to full range (0-255).
constexpr double kLimitedScale = 255.0 / 219.0;

std::string rounded(double value) {
    return std::to_string(static_cast<long long>(std::lround(value)));
}

text::Reason said(std::u16string_view format, std::initializer_list<double> values) {
    std::vector<text::Reason> v;
    for (const double each : values) v.push_back(text::Reason::literal(rounded(each)));
    return text::Reason::said(format, std::move(v));
}

}  // namespace

std::vector<text::Reason> PictureVerdict::reasons() const {
    namespace msg = text::msg;
    const PictureFigures& f = figures;
    std::vector<text::Reason> out;
    if (has(PictureFlag::Black)) out.push_back(said(msg::kPictureBlackFormat, {f.brightness}));
    if (has(PictureFlag::WashedOut))
        out.push_back(said(msg::kPictureWashedOutFormat, {f.brightness, f.contrast}));
    if (has(PictureFlag::Flat)) out.push_back(said(msg::kPictureFlatFormat, {f.contrast}));
    if (has(PictureFlag::Blurred))
        out.push_back(said(msg::kPictureBlurredFormat, {f.sharpness, f.contrast}));
    if (has(PictureFlag::Frozen)) out.push_back(said(msg::kPictureFrozenFormat, {f.stillSeconds}));
    return out;
}

void PictureCheck::reset() {
    previous_.clear();
    previousWidth_ = previousHeight_ = 0;
    window_.clear();
    stillInWindow_ = 0;
}

PictureVerdict PictureCheck::check(const Picture& picture, Clock::time_point when) {
    if (picture.empty() || picture.plane(0) == nullptr) return {};
    return check(picture.plane(0), picture.stride(0), picture.width(), picture.height(),
                 picture.range() == ColourRange::Full, when);
}

void PictureCheck::scaleDown(const std::uint8_t* luma, int stride, int width, int height) {
    // A whole factor, so that every check pixel stands for a block of the same size.
    const int factor = (width + L::kMaxWidth - 1) / L::kMaxWidth;
    width_ = width / factor;
    height_ = height / factor;
    plane_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    std::int16_t* out = plane_.data();
    if (factor == 1) {
        for (int y = 0; y < height_; ++y) {
            const std::uint8_t* row = luma + static_cast<std::ptrdiff_t>(y) * stride;
            for (int x = 0; x < width_; ++x) *out++ = static_cast<std::int16_t>(4 * row[x]);
        }
        return;
    }
    const int middle = (factor - 2) / 2;
    const int span = factor * (width_ - 1) + middle + 2;
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* top = luma + static_cast<std::ptrdiff_t>(factor * y + middle) * stride;
        const std::uint8_t* bottom = top + stride;
        // The next row pair lies in other pages, where the processor does not fetch ahead by
        // itself: ask for its cache lines while this pair is added up.
        if (y + 1 < height_) {
            const std::uint8_t* next = top + static_cast<std::ptrdiff_t>(factor) * stride;
            for (int i = 0; i < span; i += 64) {
                __builtin_prefetch(next + i);
                __builtin_prefetch(next + stride + i);
            }
        }
        for (int x = 0, c = middle; x < width_; ++x, c += factor)
            *out++ = static_cast<std::int16_t>(top[c] + top[c + 1] + bottom[c] + bottom[c + 1]);
    }
}

double PictureCheck::stillFor(bool still, Clock::time_point when) {
    window_.push_back({when, still});
    stillInWindow_ += still ? 1 : 0;
    const auto start = when - L::kFrozenWindow;
    // Keep the last picture from before the window's start: it says the window is covered.
    while (window_.size() > L::kMaxWindowPictures ||
           (window_.size() > 1 && window_[1].when <= start)) {
        stillInWindow_ -= window_.front().still ? 1 : 0;
        window_.pop_front();
    }
    if (window_.front().when > start) return 0;
    const double share = static_cast<double>(stillInWindow_) / static_cast<double>(window_.size());
    if (share < L::kFrozenStillShare) return 0;
    return std::chrono::duration<double>(when - window_.front().when).count();
}

// Row by row, with 32-bit sums within a row (a row of a few hundred check pixels cannot overflow
// them), so that the compiler keeps every loop in vector registers.
PictureCheck::Sums PictureCheck::measure(bool withPrevious) const {
    Sums s;
    const int w = width_;
    for (int y = 0; y < height_; ++y) {
        const std::int16_t* row = plane_.data() + static_cast<std::ptrdiff_t>(y) * w;
        std::int32_t sum = 0;
        std::int32_t squares = 0;  // products of 16-bit values: one multiply-add a pair
        for (int x = 0; x < w; ++x) {
            sum += row[x];
            squares += static_cast<std::int32_t>(row[x]) * row[x];
        }
        s.sum += static_cast<std::uint64_t>(sum);
        s.squares += static_cast<std::uint64_t>(squares);
        if (withPrevious) {
            const std::int16_t* before = previous_.data() + static_cast<std::ptrdiff_t>(y) * w;
            std::int32_t difference = 0;
            for (int x = 0; x < w; ++x) {
                const auto d = static_cast<std::int16_t>(row[x] - before[x]);
                difference += d < 0 ? -d : d;
            }
            s.difference += static_cast<std::uint64_t>(difference);
        }
        if (y == 0 || y + 1 == height_) continue;
        std::int32_t lapSum = 0;
        std::int32_t lapSquares = 0;  // below 2^31 for 128 pixels of at most 4080 squared
        for (int x = 1; x + 1 < w; ++x) {
            const auto lap = static_cast<std::int16_t>(4 * row[x] - row[x - 1] - row[x + 1] -
                                                       row[x - w] - row[x + w]);
            lapSum += lap;
            lapSquares += static_cast<std::int32_t>(lap) * lap;
        }
        s.lapSum += lapSum;
        s.lapSquares += static_cast<std::uint64_t>(lapSquares);
    }
    return s;
}

PictureVerdict PictureCheck::check(const std::uint8_t* luma, int stride, int width, int height,
                                   bool fullRange, Clock::time_point when) {
    PictureVerdict verdict;
    if (luma == nullptr || width < 3 || height < 3 || stride < width) return verdict;
    scaleDown(luma, stride, width, height);
    const int w = width_;
    const int h = height_;
    const bool sameSize = previousWidth_ == w && previousHeight_ == h;
    const Sums sums = measure(sameSize);
    previous_.swap(plane_);
    previousWidth_ = w;
    previousHeight_ = h;

    // The sums are of four samples: a quarter of them is a level.
    const double n = static_cast<double>(w) * h;
    const double inner = static_cast<double>(w - 2) * (h - 2);
    const double scale = fullRange ? 1.0 : kLimitedScale;
    const double offset = fullRange ? 0.0 : 16.0;
    const double mean = static_cast<double>(sums.sum) / n / 4;
    const double variance =
        std::max(0.0, static_cast<double>(sums.squares) / n / 16 - mean * mean) * scale * scale;
    const double lapMean = static_cast<double>(sums.lapSum) / inner / 4;
    const double lapVariance =
        std::max(0.0, static_cast<double>(sums.lapSquares) / inner / 16 - lapMean * lapMean) *
        scale * scale;
    PictureFigures& f = verdict.figures;
    f.width = w;
    f.height = h;
    f.brightness = std::clamp((mean - offset) * scale, 0.0, 255.0);
    f.contrast = std::sqrt(variance);
    f.sharpness = lapVariance;
    f.hasChange = sameSize;
    f.change = sameSize ? static_cast<double>(sums.difference) / n / 4 * scale : 0;
    f.stillSeconds = stillFor(sameSize && f.change < L::kStillChange, when);
    judge(verdict);
    return verdict;
}

void PictureCheck::judge(PictureVerdict& verdict) {
    const PictureFigures& f = verdict.figures;
    const auto raise = [&verdict](PictureFlag flag) {
        verdict.flags |= static_cast<std::uint8_t>(flag);
    };
    if (f.brightness <= L::kBlackBrightness && f.contrast <= L::kBlackContrast) {
        raise(PictureFlag::Black);
    } else if (f.brightness >= L::kWashedOutBrightness && f.contrast <= L::kWashedOutContrast) {
        raise(PictureFlag::WashedOut);
    } else if (f.contrast <= L::kFlatContrast) {
        raise(PictureFlag::Flat);
    } else {
        if (f.sharpness < L::kBlurredSharpnessShare * f.contrast * f.contrast)
            raise(PictureFlag::Blurred);
        if (f.stillSeconds > 0) raise(PictureFlag::Frozen);
    }
}

}  // namespace tarvo::preview
