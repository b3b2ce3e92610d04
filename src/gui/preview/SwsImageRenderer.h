#pragma once

#include <QImage>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "core/preview/Renderer.h"
#include "core/preview/YuyvConvert.h"

struct SwsContext;

namespace tarvo::gui {

class VideoWidget;

// Shows the preview's pictures in a VideoWidget: libswscale converts each picture to RGB and
// scales it to the widget's size in one pass; the widget then only copies finished pixels to the
// screen. Needs no GPU. The stream client hands over the decoder's planar 4:2:0 pictures as they
// are (drawPlanar), so each is converted once; packed YUYV pictures (draw) are taken as well.
//
// Converting a large picture takes longer than decoding the next one may wait, so draw() only
// copies the picture into a hand-over buffer and returns; a thread of the renderer converts the
// newest picture handed over (a picture it had no time for is replaced, not queued) while the
// decode thread goes on decoding. Each picture travels with its size, so the surface may be set
// up again for another size while pictures of the old one are still being converted; memory is
// taken for pictures drawn, not for sizes set up.
class SwsImageRenderer final : public preview::Renderer {
public:
    // Largest picture side accepted at set-up (what a stream reply may claim).
    static constexpr int kMaxSide = 8192;

    SwsImageRenderer() = default;
    // Ends the conversion thread; the widget is not touched afterwards.
    ~SwsImageRenderer() override;
    SwsImageRenderer(const SwsImageRenderer&) = delete;
    SwsImageRenderer& operator=(const SwsImageRenderer&) = delete;

    // `window` is the VideoWidget to draw into; it must outlive the renderer.
    void initialise(void* window) override;
    bool setUpSurface(int width, int height) override;
    void draw(const std::uint8_t* yuyv) override;
    [[nodiscard]] bool drawsPlanar() const override { return true; }
    void drawPlanar(const preview::PlanarPicture& picture) override;

    // Pictures handed over and pictures replaced before they were converted.
    [[nodiscard]] std::uint64_t drawn() const;
    [[nodiscard]] std::uint64_t replaced() const;

private:
    // How a picture is laid out in the hand-over and working buffers.
    struct Layout {
        bool planar = false;
        int width = 0;
        int height = 0;
        // Planar: the three planes one after the other, rows of these strides.
        int yStride = 0;
        int chromaStride = 0;
    };
    // Takes the hand-over buffer for a picture of `layout`, `bytes` long; null when there is
    // no surface or no memory. Called with mutex_ held.
    std::uint8_t* handOverSpace(const Layout& layout, std::size_t bytes);
    void handedOver();
    void convertLoop();
    void convert();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    VideoWidget* view_ = nullptr;
    // Guarded by mutex_: the set-up size, and the picture handed over with its size.
    int width_ = 0;
    int height_ = 0;
    bool ready_ = false;
    bool stopping_ = false;
    bool waiting_ = false;  // handOver_ holds a picture not yet converted
    std::vector<std::uint8_t> handOver_;
    Layout handOverLayout_;
    std::uint64_t drawn_ = 0;
    std::uint64_t replaced_ = 0;
    // The conversion thread's own.
    std::vector<std::uint8_t> working_;
    Layout workingLayout_;
    SwsContext* scaler_ = nullptr;
    std::vector<std::uint8_t> scratch_;  // for widths libswscale would read past
    QImage next_;                        // the picture being made; reused from frame to frame
    std::thread thread_;
};

}  // namespace tarvo::gui
