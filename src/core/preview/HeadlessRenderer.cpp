#include "core/preview/HeadlessRenderer.h"

#include <cstring>
#include <new>

namespace tarvo::preview {

void HeadlessRenderer::initialise(void* /*window*/) {
    std::lock_guard lock(mutex_);
    initialised_ = true;
}

bool HeadlessRenderer::setUpSurface(int width, int height) {
    std::lock_guard lock(mutex_);
    width_ = 0;
    height_ = 0;
    picture_.clear();
    picture_.shrink_to_fit();
    hasPicture_ = false;
    if (width <= 0 || height <= 0) return false;
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2;
    if (bytes > surfaceLimit_) return false;
    // The copy is made with the first picture drawn.
    width_ = width;
    height_ = height;
    return true;
}

void HeadlessRenderer::draw(const std::uint8_t* yuyv) {
    DrawHook hook;
    int width = 0;
    int height = 0;
    {
        std::lock_guard lock(mutex_);
        if (yuyv == nullptr || width_ == 0) return;
        hook = hook_;
        width = width_;
        height = height_;
    }
    if (hook) hook(yuyv, width, height);
    {
        std::lock_guard lock(mutex_);
        if (width_ != width || height_ != height) return;
        const std::size_t bytes =
            static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2;
        try {
            picture_.resize(bytes);
        } catch (const std::bad_alloc&) {
            return;
        }
        std::memcpy(picture_.data(), yuyv, bytes);
        hasPicture_ = true;
        ++pictures_;
    }
    drawn_.notify_all();
}

void HeadlessRenderer::setDrawHook(DrawHook hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

void HeadlessRenderer::setSurfaceLimit(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    surfaceLimit_ = bytes;
}

bool HeadlessRenderer::waitForPictures(std::uint64_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return drawn_.wait_for(lock, limit, [&] { return pictures_ > count; });
}

std::uint64_t HeadlessRenderer::pictures() const {
    std::lock_guard lock(mutex_);
    return pictures_;
}
int HeadlessRenderer::width() const {
    std::lock_guard lock(mutex_);
    return width_;
}
int HeadlessRenderer::height() const {
    std::lock_guard lock(mutex_);
    return height_;
}
std::vector<std::uint8_t> HeadlessRenderer::lastPicture() const {
    std::lock_guard lock(mutex_);
    return hasPicture_ ? picture_ : std::vector<std::uint8_t>{};
}
HeadlessRenderer::Picture HeadlessRenderer::lastPictureWithSize() const {
    std::lock_guard lock(mutex_);
    if (!hasPicture_) return {};
    return {picture_, width_, height_};
}
bool HeadlessRenderer::initialised() const {
    std::lock_guard lock(mutex_);
    return initialised_;
}

}  // namespace tarvo::preview
