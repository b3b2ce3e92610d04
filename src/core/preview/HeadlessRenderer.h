#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "core/preview/Renderer.h"

namespace tarvo::preview {

// A renderer without a screen, for the command line and the tests: keeps a copy of the last
// picture and counts them. Safe to read from any thread while the decode thread draws.
class HeadlessRenderer final : public Renderer {
public:
    using DrawHook = std::function<void(const std::uint8_t* yuyv, int width, int height)>;

    void initialise(void* window) override;
    bool setUpSurface(int width, int height) override;
    void draw(const std::uint8_t* yuyv) override;

    // Called on the decode thread for every picture, before it is kept (for measurements).
    void setDrawHook(DrawHook hook);
    // Surfaces larger than this many bytes are refused (to test the refusal).
    void setSurfaceLimit(std::size_t bytes);

    // Waits until more than `count` pictures have been drawn; false on time-out.
    bool waitForPictures(std::uint64_t count, std::chrono::milliseconds limit);
    [[nodiscard]] std::uint64_t pictures() const;
    [[nodiscard]] int width() const;
    [[nodiscard]] int height() const;
    // A copy of the last picture (empty before the first).
    [[nodiscard]] std::vector<std::uint8_t> lastPicture() const;
    struct Picture {
        std::vector<std::uint8_t> yuyv;  // empty before the first
        int width = 0;
        int height = 0;
    };
    // The last picture with its size, taken at once.
    [[nodiscard]] Picture lastPictureWithSize() const;
    [[nodiscard]] bool initialised() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable drawn_;
    DrawHook hook_;
    std::size_t surfaceLimit_ = static_cast<std::size_t>(-1);
    bool initialised_ = false;
    int width_ = 0;
    int height_ = 0;
    bool hasPicture_ = false;
    std::uint64_t pictures_ = 0;
    std::vector<std::uint8_t> picture_;
};

}  // namespace tarvo::preview
