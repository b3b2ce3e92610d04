#pragma once

#include <QImage>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/preview/Picture.h"
#include "core/preview/Renderer.h"
#include "preview/PictureScaler.h"

namespace tarvo::gui {

class VideoWidget;

// Shows the preview's pictures in a VideoWidget: libswscale converts each picture to RGB with
// the picture's own colour range and matrix and scales it to the widget's size in one pass; the
// widget then only copies finished pixels to the screen. Needs no GPU.
//
// Converting a large picture takes longer than decoding the next one may wait, so draw() only
// takes a reference to the decoder's picture (no copy) and returns; a thread of the renderer
// converts the newest picture handed over (a picture it had no time for is replaced, not queued)
// while the decode thread goes on decoding. Each picture carries its own size, so the surface may
// be set up again for another size while pictures of the old one are still being converted.
class SwsImageRenderer final : public preview::Renderer {
public:
    // Largest picture side accepted at set-up (what a stream reply may claim).
    static constexpr int kMaxSide = 8192;

    // How pictures are made; the default suits the single preview's one large picture.
    struct Tuning {
        // Convert on the renderer's own thread (the newest picture wins); false: on the decode
        // thread inside draw(), which for small pictures costs less than the hand-over.
        bool ownThread = true;
        PictureScaler::Tuning scaling;
    };
    // Many small pictures (the wall's stand-in in its benchmark): converted on the decode
    // thread, scaled (bilinear) in YUV first.
    static Tuning tileTuning();

    SwsImageRenderer() : SwsImageRenderer(Tuning()) {}
    explicit SwsImageRenderer(Tuning tuning) : tuning_(tuning), scaler_(tuning.scaling) {}
    // Ends the conversion thread; the widget is not touched afterwards.
    ~SwsImageRenderer() override;
    SwsImageRenderer(const SwsImageRenderer&) = delete;
    SwsImageRenderer& operator=(const SwsImageRenderer&) = delete;

    // `window` is the VideoWidget to draw into; it must outlive the renderer.
    void initialise(void* window) override;
    bool setUpSurface(int width, int height) override;
    void draw(const preview::Picture& picture) override;

    // Pictures handed over and pictures replaced before they were converted.
    [[nodiscard]] std::uint64_t drawn() const;
    [[nodiscard]] std::uint64_t replaced() const;

private:
    void convertLoop();
    void convert(const preview::Picture& in);

    Tuning tuning_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    VideoWidget* view_ = nullptr;
    // Guarded by mutex_: the set-up size, and the picture handed over.
    int width_ = 0;
    int height_ = 0;
    bool ready_ = false;
    bool stopping_ = false;
    preview::Picture handOver_;  // a picture not yet converted, when not empty
    std::uint64_t drawn_ = 0;
    std::uint64_t replaced_ = 0;
    // The converting thread's own (the renderer's, or the decode thread's).
    preview::Picture working_;
    PictureScaler scaler_;
    QImage next_;  // the picture being made; reused from frame to frame
    std::thread thread_;
};

}  // namespace tarvo::gui
