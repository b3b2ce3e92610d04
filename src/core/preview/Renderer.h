#pragma once

#include <cstdint>

#include "core/preview/YuyvConvert.h"

namespace tarvo::preview {

// Shows the preview's pictures. The stream client initialises it with the window's handle,
// sets up a surface for the size the stream claims, and draws every decoded picture from its
// decode thread, of the size of the last set-up: packed YUYV (Y0 U Y1 V), rows of width × 2
// bytes without gaps, or, to a renderer that converts pictures itself (drawsPlanar), planar
// 4:2:0 as the decoder made it. When the pictures come at another size, the decode thread sets the
// surface up again first. Implementations serialise set-up and drawing themselves; drawing before
// set-up, or after a failed set-up, shows nothing and does not fail.
class Renderer {
public:
    virtual ~Renderer() = default;
    // `window` is whatever the implementation draws into (a widget, nothing for off-screen ones).
    virtual void initialise(void* window) = 0;
    // False when no surface of that size can be made; the caller tells the user.
    virtual bool setUpSurface(int width, int height) = 0;
    virtual void draw(const std::uint8_t* yuyv) = 0;
    // True when pictures go to drawPlanar instead of draw.
    [[nodiscard]] virtual bool drawsPlanar() const { return false; }
    // The picture's planes are the caller's again when this returns.
    virtual void drawPlanar(const PlanarPicture& /*picture*/) {}
};

}  // namespace tarvo::preview
