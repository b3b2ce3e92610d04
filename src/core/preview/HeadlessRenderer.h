#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "core/preview/Renderer.h"

namespace tarvo::preview {

// A renderer without a screen, for the command line and the tests: keeps the last picture (a
// reference to the decoder's frame, no copy) and counts them. Safe to read from any thread while
// the decode thread draws.
class HeadlessRenderer final : public Renderer {
public:
    using DrawHook = std::function<void(const Picture& picture)>;

    void initialise(void* window) override;
    bool setUpSurface(int width, int height) override;
    void draw(const Picture& picture) override;

    // Called on the decode thread for every picture, before it is kept (for measurements).
    void setDrawHook(DrawHook hook);
    // Surfaces larger than this many bytes (two a pixel) are refused (to test the refusal).
    void setSurfaceLimit(std::size_t bytes);

    // Waits until more than `count` pictures have been drawn; false on time-out.
    bool waitForPictures(std::uint64_t count, std::chrono::milliseconds limit);
    [[nodiscard]] std::uint64_t pictures() const;
    [[nodiscard]] int width() const;
    [[nodiscard]] int height() const;
    // The last picture drawn (empty before the first).
    [[nodiscard]] Picture lastPicture() const;
    [[nodiscard]] bool initialised() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable drawn_;
    DrawHook hook_;
    std::size_t surfaceLimit_ = static_cast<std::size_t>(-1);
    bool initialised_ = false;
    int width_ = 0;
    int height_ = 0;
    std::uint64_t pictures_ = 0;
    Picture picture_;
};

}  // namespace tarvo::preview
