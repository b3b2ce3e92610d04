#pragma once

#include <cstdint>
#include <vector>

struct AVFrame;

namespace tarvo::preview {

// How the stream codes its levels: limited (video, 16-235 luma) or full (0-255, as JPEG and
// many cameras send, "yuvj420p").
enum class ColourRange { Limited, Full };
// The YUV-to-RGB matrix the stream was coded with.
enum class ColourMatrix { Bt601, Bt709 };

// One decoded picture as it goes from the decoder to whatever shows or saves it: a reference to
// the decoder's own frame (its buffers are shared, never copied, and stay valid as long as a
// Picture holds them), with the size, pixel format, colour range and matrix to convert it by.
// Copying a Picture takes another reference; an empty Picture holds nothing.
class Picture {
public:
    Picture() = default;
    // A reference to `frame`'s buffers; empty when the frame holds none or memory runs out.
    static Picture referenceTo(const AVFrame& frame);
    ~Picture();
    Picture(const Picture& other);
    Picture& operator=(const Picture& other);
    Picture(Picture&& other) noexcept;
    Picture& operator=(Picture&& other) noexcept;

    [[nodiscard]] bool empty() const { return frame_ == nullptr; }
    [[nodiscard]] int width() const;
    [[nodiscard]] int height() const;
    // An AVPixelFormat; the "J" formats are given as their plain twins, since range() carries
    // what the J stands for (libswscale warns about the J formats and wants the range instead).
    [[nodiscard]] int pixelFormat() const;
    [[nodiscard]] ColourRange range() const;
    [[nodiscard]] ColourMatrix matrix() const;
    [[nodiscard]] const std::uint8_t* plane(int index) const;
    [[nodiscard]] int stride(int index) const;
    [[nodiscard]] const AVFrame* frame() const { return frame_; }

    // The matrix of a stream that does not name one: BT.709 for HD sizes (1280 wide or more
    // than 576 rows), BT.601 for SD, as players and the HD and SD standards do.
    static ColourMatrix matrixForSize(int width, int height);

private:
    void release();
    AVFrame* frame_ = nullptr;
};

// The plain twin of a "J" (full-range) pixel format; other formats as they are (AVPixelFormat
// values).
int plainPixelFormat(int format);

// The libswscale colour details for a conversion from `picture` to RGB: the coefficient
// table (sws_getCoefficients) and the source range flag (1 = full).
struct SwsColour {
    const int* coefficients = nullptr;
    int fullRange = 0;
    bool operator==(const SwsColour&) const = default;
};
SwsColour swsColourOf(const Picture& picture);

// How a picture is written to a file.
enum class PictureCoding { Jpeg, Png };

// The picture converted once, with its own range and matrix, to `pixelFormat` (an
// AVPixelFormat): full-range BT.601 for YUV (JFIF's own colours), RGB as it is; scaled down,
// keeping its proportions, to fit `maxWidth` x `maxHeight` when larger (0: no limit), with even
// sides for YUV 4:2:0. Empty when it cannot be made.
Picture convertedPicture(const Picture& picture, int pixelFormat, int maxWidth = 0,
                         int maxHeight = 0);

// The one picture encoder of the program: the picture as a JPEG (full-range BT.601 4:2:0,
// `jpegQuality` the encoder's quantiser, 1 best) or PNG (RGB, lossless) file's bytes, converted
// and scaled as convertedPicture does. Empty when it cannot be made.
std::vector<std::uint8_t> encodePicture(const Picture& picture, PictureCoding coding,
                                        int maxWidth = 0, int maxHeight = 0, int jpegQuality = 3);

// The picture as a JPEG file's bytes (encodePicture at the snapshot's quality).
std::vector<std::uint8_t> jpegOf(const Picture& picture, int maxWidth = 0, int maxHeight = 0);

}  // namespace tarvo::preview
