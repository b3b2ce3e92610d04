#pragma once

#include <QImage>

#include <cstdint>
#include <mutex>

#include "core/preview/Renderer.h"

struct SwsContext;

namespace tarvo::gui {

class VideoWidget;

// Shows the preview's YUYV pictures in a VideoWidget: libswscale converts each picture to RGB
// and scales it to the widget's size in one pass, on the decode thread; the widget then only
// copies finished pixels to the screen. Needs no GPU.
class SwsImageRenderer final : public preview::Renderer {
public:
    // Largest picture side accepted at set-up.
    static constexpr int kMaxSide = 8192;

    SwsImageRenderer() = default;
    ~SwsImageRenderer() override;
    SwsImageRenderer(const SwsImageRenderer&) = delete;
    SwsImageRenderer& operator=(const SwsImageRenderer&) = delete;

    // `window` is the VideoWidget to draw into; it must outlive the renderer.
    void initialise(void* window) override;
    bool setUpSurface(int width, int height) override;
    void draw(const std::uint8_t* yuyv) override;

private:
    std::mutex mutex_;  // set-up against drawing
    VideoWidget* view_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool ready_ = false;
    SwsContext* scaler_ = nullptr;  // decode thread only, once set up
    QImage next_;                   // the picture being made; reused from frame to frame
};

}  // namespace tarvo::gui
