#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

struct AVFormatContext;
struct AVPacket;

namespace tarvo::cli {

// The container a recording's file name asks for by its extension (any case): FFmpeg's muxer
// name for .mp4, .mkv or .ts; nullptr for any other.
const char* recordingMuxerOf(const std::string& path);

// Writes the camera's elementary stream into a file as it arrives, without re-encoding, in the
// container its name asks for (recordingMuxerOf):
// from the first picture a decoder can start from, each video chunk becomes one sample timed
// by its arrival, up to `length` after that first picture: a chunk arriving later is not
// written and makes the recording full. The file declares the stream's own colour range,
// matrix, primaries and transfer. Safe to feed from the decode thread while another
// thread watches and finishes it.
class StreamRecorder {
public:
    StreamRecorder(std::string path, bool hevc, int width, int height,
                   std::chrono::milliseconds length);
    ~StreamRecorder();
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    void add(std::span<const std::uint8_t> chunk);
    // Writes the index; false when nothing could be written. Later add() calls do nothing.
    bool finish();

    [[nodiscard]] std::uint64_t samples() const;
    // How far the recording has come: the time of its last sample and the video bytes written.
    struct Progress {
        std::chrono::milliseconds recorded{0};
        std::uint64_t bytes = 0;
    };
    [[nodiscard]] Progress progress() const;
    // The first key picture arrived (at startedAt()); the recording holds its whole length.
    [[nodiscard]] bool started() const;
    [[nodiscard]] std::chrono::steady_clock::time_point startedAt() const;
    [[nodiscard]] bool full() const;
    // Why nothing more is written: the file could not be opened or written. Empty while well.
    [[nodiscard]] std::string error() const;

private:
    bool open(std::span<const std::uint8_t> firstChunk);
    void close();

    std::string path_;
    bool hevc_;
    int width_;
    int height_;
    std::chrono::milliseconds length_;
    const char* muxer_;
    mutable std::mutex mutex_;
    AVFormatContext* format_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool headerWritten_ = false;
    bool finished_ = false;
    bool full_ = false;
    std::uint64_t samples_ = 0;
    std::uint64_t bytes_ = 0;
    std::int64_t lastPts_ = -1;
    std::chrono::steady_clock::time_point first_;
    std::string error_;
};

}  // namespace tarvo::cli
