#pragma once

#include <QImage>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "core/preview/Renderer.h"

struct SwsContext;

namespace tarvo::gui {

class VideoWidget;

// Shows the preview's YUYV pictures in a VideoWidget: libswscale converts each picture to RGB
// and scales it to the widget's size in one pass; the widget then only copies finished pixels
// to the screen. Needs no GPU.
//
// Converting a large picture takes longer than decoding the next one may wait, so draw() only
// copies the picture into a hand-over buffer and returns; a thread of the renderer converts the
// newest picture handed over (a picture it had no time for is replaced, not queued) while the
// decode thread goes on decoding.
class SwsImageRenderer final : public preview::Renderer {
public:
    // Largest picture side accepted at set-up.
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

    // Pictures handed over and pictures replaced before they were converted.
    [[nodiscard]] std::uint64_t drawn() const;
    [[nodiscard]] std::uint64_t replaced() const;

private:
    void convertLoop();
    void convert(const std::uint8_t* yuyv);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    VideoWidget* view_ = nullptr;
    int width_ = 0;   // set up before the thread starts, then fixed
    int height_ = 0;  // likewise
    bool ready_ = false;
    bool stopping_ = false;
    bool waiting_ = false;                // handOver_ holds a picture not yet converted
    std::vector<std::uint8_t> handOver_;  // guarded by mutex_
    std::uint64_t drawn_ = 0;             // guarded by mutex_
    std::uint64_t replaced_ = 0;          // guarded by mutex_
    // The conversion thread's own.
    std::vector<std::uint8_t> working_;
    SwsContext* scaler_ = nullptr;
    QImage next_;  // the picture being made; reused from frame to frame
    std::thread thread_;
};

}  // namespace tarvo::gui
