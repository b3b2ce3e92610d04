#pragma once

#include <cstdint>

namespace tarvo::preview {

// Shows the preview's pictures. The stream client initialises it with the window's handle,
// sets up a surface for the size the stream claims, and draws every decoded picture from its
// decode thread: packed YUYV (Y0 U Y1 V), rows of width × 2 bytes without gaps, of the size of
// the last set-up. When the pictures come at another size, the decode thread sets the surface
// up again first.
// Implementations serialise set-up and drawing themselves; drawing before set-up, or after a
// failed set-up, shows nothing and does not fail.
class Renderer {
public:
    virtual ~Renderer() = default;
    // `window` is whatever the implementation draws into (a widget, nothing for off-screen ones).
    virtual void initialise(void* window) = 0;
    // False when no surface of that size can be made; the caller tells the user.
    virtual bool setUpSurface(int width, int height) = 0;
    virtual void draw(const std::uint8_t* yuyv) = 0;
};

}  // namespace tarvo::preview
