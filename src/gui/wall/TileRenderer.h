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

struct SwsContext;

namespace tarvo::gui {

class VideoWidget;

// The whole video path of one tile of the wall: takes the decoder's pictures, scales the newest
// one to the tile's video widget on a thread of its own (a picture it had no time for is
// replaced, not queued), and checks the decoded picture for the wall's flags and focus meter:
// once a second, or several times a second on the selected tile. The latest verdict is
// published for the window's thread.
//
// The stream client owns it; the tile only detaches it from the widget before the widget goes,
// and reads the readout. No other part of the wall touches pictures.
class TileRenderer final : public preview::Renderer {
public:
    static constexpr std::chrono::milliseconds kCheckEvery{1000};
    static constexpr std::chrono::milliseconds kSelectedCheckEvery{200};
    // Largest picture side accepted at set-up (what a stream reply may claim).
    static constexpr int kMaxSide = 8192;

    TileRenderer() = default;
    // Ends the conversion thread; the widget is not touched afterwards.
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
    void convert(VideoWidget* view);
    void checkIfDue();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_: the set-up size and the picture handed over.
    int width_ = 0;
    int height_ = 0;
    bool ready_ = false;
    bool stopping_ = false;
    preview::Picture handOver_;
    Readout readout_;
    // Held while the widget is used: detach() waits for a picture being handed over.
    std::mutex viewMutex_;
    VideoWidget* view_ = nullptr;  // guarded by viewMutex_
    std::atomic<bool> selected_{false};
    // The conversion thread's own.
    preview::Picture working_;
    SwsContext* scaler_ = nullptr;
    QImage next_;
    preview::PictureCheck check_;
    preview::PictureCheck::Clock::time_point lastCheck_{};
    std::thread thread_;
};

}  // namespace tarvo::gui
