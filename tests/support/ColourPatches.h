#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// A picture of colour patches for checking the levels a preview shows: seven grey patches
// (0, 16, 64, 128, 192, 235, 255) across the top half and red, green and blue across the bottom
// half. Written as an H.264 elementary stream coded at full or limited range with the BT.601 or
// BT.709 matrix (and tagged so), and read back by FFmpeg's own conversion for reference.
namespace tarvo::test::colour {

using Rgb = std::array<int, 3>;

inline constexpr std::array<int, 7> kGreys{0, 16, 64, 128, 192, 235, 255};
inline constexpr std::array<Rgb, 3> kColours{{{200, 40, 40}, {40, 200, 40}, {40, 40, 200}}};
inline constexpr std::size_t kPatches = kGreys.size() + kColours.size();

// The colour patch `index` is drawn with (greys first).
Rgb patchColour(std::size_t index);
// The centre of patch `index` in a picture of that size (scaled pictures included).
std::array<int, 2> patchCentre(std::size_t index, int width, int height);

// Writes `frames` pictures of the pattern (one key picture every ten) as an H.264 elementary
// stream; empty on success, else the reason.
std::string writePatchStream(const std::string& path, bool fullRange, bool bt709, int width = 640,
                             int height = 480, int frames = 20);

// The pattern as cameras send it: full range with BT.601 ("yuvj420p") and limited range with
// BT.709, each on a simulated camera of its own.
struct PatchStream {
    const char* ip;
    const char* file;
    bool full;
    bool bt709;
};
inline constexpr std::array<PatchStream, 2> kPatchStreams{
    {{"127.0.0.21", "tarvo-full-601.h264", true, false},
     {"127.0.0.22", "tarvo-limited-709.h264", false, true}}};

// Writes every stream of kPatchStreams into a new folder of the test's temporary folder (its
// path goes to `dir`, so that test programs running at once keep apart) and returns the
// simulator's fleet playing them; null with a failure of the test when that fails.
nlohmann::json patchFleet(std::string& dir);

// The mean colour around each patch's centre, read through `pixel` (x, y) of a picture of that
// size.
std::vector<Rgb> patchesOf(const std::function<Rgb(int x, int y)>& pixel, int width, int height);

// FFmpeg's own conversion of the file's first picture to RGB (libswscale told the picture's
// own range and matrix, as the ffmpeg tool does), its patches; empty with `error` on failure.
std::vector<Rgb> referencePatches(const std::string& path, std::string& error);

// The patches of a PNG file (decoded by libavcodec); empty with `error` on failure.
std::vector<Rgb> pngPatches(const std::string& path, std::string& error);

// "0 0 0, 16 16 16, ..." for messages and reports.
std::string describe(const std::vector<Rgb>& patches);

// The largest difference of any component between two lists of patches (a large number when
// their lengths differ).
int largestDifference(const std::vector<Rgb>& a, const std::vector<Rgb>& b);

}  // namespace tarvo::test::colour
