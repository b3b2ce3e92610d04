#pragma once

#include "core/preview/Picture.h"

namespace tarvo::preview {

// Shows the preview's pictures. The stream client initialises it with the window's handle,
// sets up a surface for the size the stream claims, and draws every decoded picture from its
// decode thread: the decoder's own picture by reference, which the renderer converts with the
// picture's own colour range and matrix. When the pictures come at another size, the decode
// thread sets the surface up again first. Implementations serialise set-up and drawing
// themselves; drawing before set-up, or after a failed set-up, shows nothing and does not fail.
class Renderer {
public:
    virtual ~Renderer() = default;
    // `window` is whatever the implementation draws into (a widget, nothing for off-screen ones).
    virtual void initialise(void* window) = 0;
    // False when no surface of that size can be made; the caller tells the user.
    virtual bool setUpSurface(int width, int height) = 0;
    // The renderer may keep the picture (a reference) as long as it needs it.
    virtual void draw(const Picture& picture) = 0;
};

}  // namespace tarvo::preview
