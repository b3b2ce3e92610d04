#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>

#include "core/preview/Picture.h"

struct SwsContext;

namespace tarvo::gui {

// Makes RGB pictures of a widget's size from decoded pictures with libswscale, in the picture's
// own colour range and matrix. Keeps its scalers and buffers from picture to picture; used by
// one thread at a time.
class PictureScaler {
public:
    struct Tuning {
        // Scale the YUV planes first, then convert to RGB at the target size: the scaling then
        // runs in libswscale's vector code on 4:2:0 samples, the conversion without scaling
        // (for a D1 picture shrunk to a tile, a third of the one-pass cost).
        bool scaleThenConvert = false;
        // Scaling filter. Bilinear keeps the picture sharp enough to focus by while a 4K picture
        // shrinks to the screen; on small targets SWS_FAST_BILINEAR costs far more than it in
        // libswscale 6, whose fast path is not vectorised.
        int scaleFlags = 2;  // SWS_BILINEAR
        // With scaleThenConvert, a 4:2:0 picture at least twice the target's size both ways is
        // first halved by averaging each 2x2 block: libswscale then filters a quarter of the
        // samples (its horizontal pass runs over every source row), and the box average keeps
        // the fine detail from folding back as the bilinear filter shrinks the rest.
        bool halveFirst = false;
    };

    explicit PictureScaler(Tuning tuning) : tuning_(tuning) {}
    ~PictureScaler();
    PictureScaler(const PictureScaler&) = delete;
    PictureScaler& operator=(const PictureScaler&) = delete;

    // `in` at `target`'s size into `out` (RGB32), which is made again when it cannot take it;
    // false when no picture could be made (out of memory, a layout libswscale refuses).
    bool scale(const preview::Picture& in, QSize target, QImage& out);

private:
    // Y, U, V planes of one picture, as libswscale takes them.
    struct Planes {
        const std::uint8_t* data[4] = {};
        int stride[4] = {};
        int width = 0;
        int height = 0;
        int format = -1;
    };
    bool scaleYuv(const Planes& in, QSize target);
    // `in` halved into halved_ when halveFirst applies to it and `target`.
    bool halve(const preview::Picture& in, QSize target, Planes& out);

    Tuning tuning_;
    SwsContext* scaler_ = nullptr;
    // scaleThenConvert: the scaled YUV planes (av_malloc'd) and their RGB converter.
    SwsContext* converter_ = nullptr;
    std::uint8_t* scaled_[4] = {};
    int scaledStride_[4] = {};
    QSize scaledSize_;
    int scaledFormat_ = -1;
    // halveFirst: the halved planes (av_malloc'd).
    std::uint8_t* halved_[4] = {};
    int halvedStride_[4] = {};
    QSize halvedSize_;
    // What the RGB scaler was last made for and told: libswscale may make a new context at the
    // old one's address, so the pointer alone does not show that it was made again.
    struct Told {
        int sourceWidth = 0;
        int sourceHeight = 0;
        int format = -1;
        int width = 0;
        int height = 0;
        int flags = 0;
        bool twoSteps = false;
        preview::SwsColour colour;
        bool operator==(const Told&) const = default;
    };
    Told told_;
};

}  // namespace tarvo::gui
