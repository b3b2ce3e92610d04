#pragma once

#include <QImage>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/preview/PictureCheck.h"
#include "core/preview/Renderer.h"
#include "preview/PictureScaler.h"

namespace tarvo::gui {

class VideoWidget;

// The whole video path of one tile of the wall: takes the decoder's pictures, scales each to the
// tile's video widget, and checks the decoded picture for the wall's flags and focus meter:
// once a second, or several times a second on the selected tile. The latest verdict is
// published for the window's thread.
//
// A tile's picture is small: scaling it on the decode thread costs less than handing it to a
// thread of its own, and sixteen streams on two cores have no core to spare for the hand-overs.
// A very large picture (a 4K main stream filling the window) would hold the decoder up too long,
// so from kOwnThreadPixels on pictures go to a thread of the renderer, which converts
// the newest one handed over (a picture it had no time for is replaced, not queued).
//
// The stream client owns it; the tile only detaches it from the widget before the widget goes,
// and reads the readout. No other part of the wall touches pictures.
class TileRenderer final : public preview::Renderer {
public:
    static constexpr std::chrono::milliseconds kCheckEvery{1000};
    static constexpr std::chrono::milliseconds kSelectedCheckEvery{200};
    // Largest picture side accepted at set-up (what a stream reply may claim).
    static constexpr int kMaxSide = 8192;
    // Decoded pictures of this many pixels and more are scaled on the renderer's own thread.
    static constexpr long kOwnThreadPixels = 2560L * 1440L;

    TileRenderer() = default;
    // Ends the conversion thread, if one was started; the widget is not touched afterwards.
    ~TileRenderer() override;
    TileRenderer(const TileRenderer&) = delete;
    TileRenderer& operator=(const TileRenderer&) = delete;

    // `window` is the tile's VideoWidget.
    void initialise(void* window) override;
    bool setUpSurface(int width, int height) override;
    void draw(const preview::Picture& picture) override;

    // Any thread: from now on the widget is never touched again (it may go).
    void detach();
    // Any thread: the selected tile is checked more often, for its focus meter.
    void setSelected(bool selected) { selected_ = selected; }

    struct Readout {
        preview::PictureVerdict verdict;  // of the last picture checked
        std::uint64_t checks = 0;         // pictures checked so far (0: no verdict yet)
        double bestSharpness = 0;         // the sharpest picture checked so far
    };
    [[nodiscard]] Readout readout() const;

private:
    void convertLoop();
    // Checks (when due) and shows one picture; on the decode thread or the conversion thread.
    void work(const preview::Picture& picture);
    void checkIfDue(const preview::Picture& picture);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_: the set-up size and the picture handed over.
    int width_ = 0;
    int height_ = 0;
    bool ready_ = false;
    bool stopping_ = false;
    preview::Picture handOver_;
    Readout readout_;
    // Held while a picture is worked on (checked, scaled, shown), whichever thread does it:
    // detach() waits for a picture being handed over, and the two threads never work at once
    // (the stream's pictures may grow past kOwnThreadPixels or shrink below it).
    std::mutex workMutex_;
    VideoWidget* view_ = nullptr;  // guarded by workMutex_
    std::atomic<bool> selected_{false};
    // Guarded by workMutex_.
    PictureScaler scaler_{PictureScaler::Tuning{true, 2 /* SWS_BILINEAR */, true}};
    QImage next_;
    preview::PictureCheck check_;
    preview::PictureCheck::Clock::time_point lastCheck_{};
    // The conversion thread's own.
    preview::Picture working_;
    std::thread thread_;
};

}  // namespace tarvo::gui
