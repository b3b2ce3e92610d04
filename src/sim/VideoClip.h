#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarvo::sim {

// What the camera sees: its test pattern, or the pattern as a camera with a fault in front of
// its lens or sensor would send it.
enum class Scene {
    Normal,  // the moving test pattern, with detail
    Black,   // near-zero luma: a dead sensor or a lens cap in the dark
    Flat,    // one uniform mid-grey: a covered lens
    Blur,    // the pattern strongly low-passed: a lens out of focus
    Frozen,  // the first picture again and again, still encoded at the frame rate
    Bright,  // washed out: very bright, little contrast (sun into the lens, overexposure)
};

std::optional<Scene> parseScene(std::string_view text);
std::string_view sceneName(Scene scene);

// What an encoder is asked for, or the file whose video is played instead.
struct VideoFormat {
    std::string codec = "h264";  // h264 | h265
    int width = 1280;
    int height = 720;
    int fps = 25;
    int bitrateKbps = 2000;
    int gop = 50;
    // A recording played as it is (codec, size, rate and frames from the file), when not empty.
    std::string file;
    int fileFrames = 0;
    Scene scene = Scene::Normal;  // not for a recording, which is played as it is

    [[nodiscard]] std::string key() const;
    // Frames in the loop: about two seconds, a whole number of GOPs (so every loop starts
    // with an IDR picture and the stream stays valid across the seam), at most 300. A file's
    // loop is its pictures from the first key picture on.
    [[nodiscard]] int loopLength() const;
};

// What a recording to be played holds: its video's codec, size, rate and the pictures played
// (from the first key picture, at most kMaxFilePictures and kMaxFileBytes).
struct StreamFileInfo {
    std::string codec;  // h264 | h265
    int width = 0;
    int height = 0;
    int fps = 25;
    int frames = 0;
};
inline constexpr int kMaxFilePictures = 3000;
inline constexpr std::size_t kMaxFileBytes = 256u * 1024 * 1024;
// Reads the file through libavformat (an H.264 or H.265 elementary stream, or any container
// with such video); an empty codec and the reason in `error` when it cannot be played.
StreamFileInfo probeStreamFile(const std::string& path, std::string& error);

// A short clip of the test pattern, encoded once and then served in a loop to every client
// of that format. Frames become available one by one while the encoder runs, so the first
// client gets pictures as soon as they are encoded; later clients cost only the sending.
class VideoClip {
public:
    struct Frame {
        std::vector<std::uint8_t> data;  // one access unit, Annex B, headers before IDRs
        bool key = false;
    };

    explicit VideoClip(VideoFormat format)
        : format_(std::move(format)), frames_(static_cast<std::size_t>(format_.loopLength())) {}

    [[nodiscard]] const VideoFormat& format() const { return format_; }
    // Frames ready so far; frame(i) may be read for every i below it, from any thread.
    [[nodiscard]] int available() const { return available_.load(std::memory_order_acquire); }
    [[nodiscard]] bool finished() const { return finished_.load(std::memory_order_acquire); }
    [[nodiscard]] bool failed() const { return failed_.load(std::memory_order_acquire); }
    [[nodiscard]] const Frame& frame(int index) const {
        return frames_[static_cast<std::size_t>(index)];
    }
    [[nodiscard]] const std::string& error() const { return error_; }

    // Runs the encoder, or reads the file (on the library's worker); stops early when `stop`
    // becomes true.
    void encode(const std::atomic<bool>& stop);

private:
    void readFile(const std::atomic<bool>& stop);

    VideoFormat format_;
    std::vector<Frame> frames_;
    std::atomic<int> available_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> failed_{false};
    std::string error_;  // written before failed_ is set
};

// The clips of a fleet, one per format, encoded in the order they were first asked for by one
// worker thread (the event loop never waits for an encoder).
class VideoLibrary {
public:
    VideoLibrary() = default;
    ~VideoLibrary();
    VideoLibrary(const VideoLibrary&) = delete;
    VideoLibrary& operator=(const VideoLibrary&) = delete;

    std::shared_ptr<const VideoClip> clip(const VideoFormat& format);

private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, std::shared_ptr<VideoClip>> clips_;
    std::deque<std::shared_ptr<VideoClip>> queue_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

}  // namespace tarvo::sim
