#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "core/text/Reason.h"

namespace tarvo::preview {

class Picture;

// Where a picture stops looking like a camera's view. Every figure is in full-range luma levels
// (0-255), whatever range the stream codes, on the check plane (see PictureCheck).
//
// Chosen from the simulator's scenes as the checks themselves measure them on D1 H.264 (the
// scene tests print them), and kept clear of what real cameras send:
//   - the black scene reads brightness 2, the washed-out one 234 with contrast 5.5, the flat
//     one contrast 0, the normal pattern brightness 84 with contrast 44;
//   - a night scene is dark, but lamps, IR light and sensor noise give it contrast: a picture
//     counts as black only when it is both very dark and nearly uniform; the same for washed
//     out at the bright end (a snow scene is bright but keeps its contrast);
//   - sharpness is judged against the picture's own contrast (the Laplacian's variance over
//     the picture's variance), so that a dim or misty picture in focus is not called blurred:
//     about 7 in the normal pattern, 0.04 to 0.09 in the blurred one, whose Laplacian is down
//     to the coder's own noise; the mark lies between them, nearer the blurred end. Check
//     pixels lie several picture pixels apart, so a scene in focus keeps its edges from one
//     check pixel to the next and stays well above the mark; a lens far out of focus (a smear
//     over a few percent of the width) falls below it. A slightly soft picture is not
//     flagged: only a gross fault is;
//   - a still picture changes by less than half a level: the frozen scene reads 0 between
//     pictures and up to about 1.2 when a key picture codes it afresh (hence the share of still
//     pictures rather than all of them), the moving pattern 14 in the median. A live camera's
//     noise and its clock overlay keep it above the mark, though a perfectly still scene
//     without either cannot be told from a frozen one.
struct PictureLimits {
    // The check plane: at most this many columns. Small enough for the checks to cost under
    // 2 % of decoding the picture even for D1, whose decoding is cheap (about 80 x 64 check
    // pixels for D1, 80 x 45 for HD); large enough that a gross fault still shows.
    static constexpr int kMaxWidth = 80;
    static constexpr double kBlackBrightness = 20;
    static constexpr double kBlackContrast = 10;
    static constexpr double kWashedOutBrightness = 210;
    static constexpr double kWashedOutContrast = 25;
    static constexpr double kFlatContrast = 8;
    static constexpr double kBlurredSharpnessShare = 0.2;
    static constexpr double kStillChange = 0.5;
    // Frozen: pictures kept on being still for this long (this share of them, so that a key
    // picture re-coding a frozen one does not count as life).
    static constexpr std::chrono::milliseconds kFrozenWindow{3000};
    static constexpr double kFrozenStillShare = 0.9;
    // Pictures remembered for that window (a 120 pictures/s stream's three seconds).
    static constexpr std::size_t kMaxWindowPictures = 400;
};

enum class PictureFlag : std::uint8_t {
    Black = 1,
    WashedOut = 2,
    Flat = 4,
    Blurred = 8,
    Frozen = 16,
};

struct PictureFigures {
    double brightness = 0;    // mean
    double contrast = 0;      // standard deviation
    double sharpness = 0;     // variance of the Laplacian
    double change = 0;        // mean absolute difference from the last checked picture
    bool hasChange = false;   // false for the first picture, or after a change of size
    double stillSeconds = 0;  // how long the window of still pictures behind this one is
    int width = 0;            // of the check plane
    int height = 0;
};

// One picture's figures and the flags they raise. At most one of black, washed out and flat
// (in that order: a picture without content has nothing to be blurred or frozen in, so those
// two are judged only on pictures with content).
struct PictureVerdict {
    PictureFigures figures;
    std::uint8_t flags = 0;

    [[nodiscard]] bool has(PictureFlag flag) const {
        return (flags & static_cast<std::uint8_t>(flag)) != 0;
    }
    [[nodiscard]] bool clean() const { return flags == 0; }
    // Why, as catalogue texts with their figures, one per flag raised (black first).
    [[nodiscard]] std::vector<text::Reason> reasons() const;
};

// Checks the pictures of one stream, one after another: brightness, contrast, sharpness and
// change on a small luma plane taken straight from the decoded picture's Y plane (no colour
// conversion): each check pixel is the mean of the 2 x 2 samples at the middle of its block
// of the picture. Keeps the last plane and the recent stillness for the next picture. Not
// shared between threads; nothing is allocated once the first picture of a size was seen.
class PictureCheck {
public:
    using Clock = std::chrono::steady_clock;

    // A decoded picture (planar Y first, as libavcodec gives it), shown at `when`.
    PictureVerdict check(const Picture& picture, Clock::time_point when);
    // A luma plane of `width` x `height` samples, rows `stride` bytes apart; `fullRange` when
    // black is 0 and white 255 rather than 16 and 235.
    PictureVerdict check(const std::uint8_t* luma, int stride, int width, int height,
                         bool fullRange, Clock::time_point when);
    // Forgets the last picture and the stillness (a new stream).
    void reset();

private:
    struct Sums {
        std::uint64_t sum = 0;
        std::uint64_t squares = 0;
        std::int64_t lapSum = 0;
        std::uint64_t lapSquares = 0;
        std::uint64_t difference = 0;
    };
    void scaleDown(const std::uint8_t* luma, int stride, int width, int height);
    [[nodiscard]] Sums measure(bool withPrevious) const;
    static void judge(PictureVerdict& verdict);
    double stillFor(bool still, Clock::time_point when);

    // Sums of four samples (0-1020) per check pixel, signed for the vector multiply-adds.
    std::vector<std::int16_t> plane_;
    std::vector<std::int16_t> previous_;
    int width_ = 0;
    int height_ = 0;
    int previousWidth_ = 0;
    int previousHeight_ = 0;
    struct Seen {
        Clock::time_point when;
        bool still = false;
    };
    std::deque<Seen> window_;
    std::size_t stillInWindow_ = 0;
};

}  // namespace tarvo::preview
