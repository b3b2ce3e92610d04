#include "core/preview/HeadlessRenderer.h"

namespace tarvo::preview {

void HeadlessRenderer::initialise(void* /*window*/) {
    std::lock_guard lock(mutex_);
    initialised_ = true;
}

bool HeadlessRenderer::setUpSurface(int width, int height) {
    std::lock_guard lock(mutex_);
    width_ = 0;
    height_ = 0;
    picture_ = Picture();
    if (width <= 0 || height <= 0) return false;
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2;
    if (bytes > surfaceLimit_) return false;
    width_ = width;
    height_ = height;
    return true;
}

void HeadlessRenderer::draw(const Picture& picture) {
    DrawHook hook;
    {
        std::lock_guard lock(mutex_);
        // Only pictures of the surface's size, as a screen would take them.
        if (picture.empty() || width_ == 0 || picture.width() != width_ ||
            picture.height() != height_)
            return;
        hook = hook_;
    }
    if (hook) hook(picture);
    Picture kept = picture;  // a reference, taken outside the lock
    if (kept.empty()) return;
    {
        std::lock_guard lock(mutex_);
        if (width_ != kept.width() || height_ != kept.height()) return;
        picture_ = std::move(kept);
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
Picture HeadlessRenderer::lastPicture() const {
    std::lock_guard lock(mutex_);
    return picture_;
}
bool HeadlessRenderer::initialised() const {
    std::lock_guard lock(mutex_);
    return initialised_;
}

}  // namespace tarvo::preview
