#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tarvo::preview {

// libavcodec behind the decoder wrappers: a parser that cuts chunks into access units (a chunk
// need not be one), a decoder, and the last picture that came out.
//
// The decoder runs either low-delay with slice threads (every picture comes out of the call
// that completed it) or with frame threads (pictures overlap on the threads, and each comes out
// one call later; see Threading).
//
// The parser can only tell that a picture is complete when the next one starts, which costs
// one frame period of delay. Cameras send one whole picture per chunk, so once several chunks
// in a row have each begun exactly where a picture begins, chunks go to the decoder whole and
// at once (the chunk that switches yields two pictures, of which the last is kept). The first
// chunk that begins inside a picture hands the framing back to the parser for good.
// How the decoder spreads its work over threads.
struct Threading {
    enum class Kind {
        // Low delay: threads share the slices or wavefront rows of one picture. Costs no
        // delay, but helps only as far as the stream is cut into slices or rows, and a
        // wavefront's rows wait on each other.
        Slice,
        // Threads decode consecutive pictures at once: scales with the cores on any stream,
        // and each picture comes out count - 1 calls after it went in.
        Frame,
    };
    Kind kind = Kind::Slice;
    int count = 1;
};

// Slice threads, one per core up to two.
Threading lowDelayThreading();
// Two frame threads (one per core on a single-core machine): a picture of delay, no more.
Threading frameThreading();

class AvStreamDecoder {
public:
    AvStreamDecoder() = default;
    ~AvStreamDecoder() { close(); }
    AvStreamDecoder(const AvStreamDecoder&) = delete;
    AvStreamDecoder& operator=(const AvStreamDecoder&) = delete;

    bool open(AVCodecID codec, Threading threading);
    void close();
    [[nodiscard]] bool isOpen() const { return context_ != nullptr; }

    // Feeds one chunk; the number of pictures it completed. The last of them stays in
    // lastFrame() until the next call.
    int decode(const std::uint8_t* data, int size);
    [[nodiscard]] const AVFrame* lastFrame() const { return last_; }
    [[nodiscard]] int threadCount() const;
    // True when the decoder really runs frame threads (libavcodec may fall back to slices).
    [[nodiscard]] bool frameThreads() const;
    // True once chunks are taken as whole pictures.
    [[nodiscard]] bool wholeChunks() const { return framing_ == Framing::WholeUnits; }

private:
    enum class Framing { Learning, WholeUnits, Parsing };
    static constexpr int kChunksBeforeWholeUnits = 3;

public:
    // The parser keeps what it was given until a picture ends; a stream that never starts
    // one would make it keep everything. Past this many bytes since the last picture it
    // starts afresh. Many times the largest picture a camera sends in one 3 MiB packet.
    static constexpr std::size_t kMaxBytesSincePicture = 16 * 1024 * 1024;
    // Largest picture libavcodec may allocate (8192 × 8192): no stream makes it allocate more.
    static constexpr std::int64_t kMaxPixels = 8192LL * 8192LL;

private:
    void resetParser();

    // Hands the chunk to the parser through padded_: the parser reads (and copies) a little
    // beyond the end of what it is given, and a chunk may end right at the end of its buffer.
    int parse(const std::uint8_t* data, int size);
    // Hands over what the parser still holds as one unit.
    int flushParser();
    int sendAndReceive(const std::uint8_t* data, int size);

    bool hevc_ = false;
    Framing framing_ = Framing::Learning;
    int wholeStreak_ = 0;
    std::size_t sincePicture_ = 0;  // bytes given to the parser since it last gave a picture

    AVCodecContext* context_ = nullptr;
    AVCodecParserContext* parser_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* last_ = nullptr;
    std::vector<std::uint8_t> padded_;  // the last chunk parsed, zeros after it
};

}  // namespace tarvo::preview
