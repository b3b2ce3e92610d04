#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tarvo::preview {

// libavcodec behind the decoder wrappers: a parser that cuts chunks into access units (a chunk
// need not be one), a low-delay decoder (slice threads only, so no frame of threading delay),
// and the last picture that came out.
//
// The parser can only tell that a picture is complete when the next one starts, which costs
// one frame period of delay. Cameras send one whole picture per chunk, so once several chunks
// in a row have each begun exactly where a picture begins, chunks go to the decoder whole and
// at once (the chunk that switches yields two pictures, of which the last is kept). The first
// chunk that begins inside a picture hands the framing back to the parser for good.
class AvStreamDecoder {
public:
    AvStreamDecoder() = default;
    ~AvStreamDecoder() { close(); }
    AvStreamDecoder(const AvStreamDecoder&) = delete;
    AvStreamDecoder& operator=(const AvStreamDecoder&) = delete;

    // `sliceThreads` threads decode the slices or wavefront rows of one picture.
    bool open(AVCodecID codec, int sliceThreads);
    void close();
    [[nodiscard]] bool isOpen() const { return context_ != nullptr; }

    // Feeds one chunk; the number of pictures it completed. The last of them stays in
    // lastFrame() until the next call.
    int decode(const std::uint8_t* data, int size);
    [[nodiscard]] const AVFrame* lastFrame() const { return last_; }
    [[nodiscard]] int threadCount() const;
    // True once chunks are taken as whole pictures.
    [[nodiscard]] bool wholeChunks() const { return framing_ == Framing::WholeUnits; }

private:
    enum class Framing { Learning, WholeUnits, Parsing };
    static constexpr int kChunksBeforeWholeUnits = 3;

    // Hands the chunk to the parser through padded_: the parser reads (and copies) a little
    // beyond the end of what it is given, and a chunk may end right at the end of its buffer.
    int parse(const std::uint8_t* data, int size);
    // Hands over what the parser still holds as one unit.
    int flushParser();
    int sendAndReceive(const std::uint8_t* data, int size);

    bool hevc_ = false;
    Framing framing_ = Framing::Learning;
    int wholeStreak_ = 0;

    AVCodecContext* context_ = nullptr;
    AVCodecParserContext* parser_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* last_ = nullptr;
    std::vector<std::uint8_t> padded_;  // the last chunk parsed, zeros after it
};

// Slice threads for a picture size: four per core (at most eight) for pictures of 3840 × 2160
// and more, two below.
int sliceThreadsFor(bool large);

}  // namespace tarvo::preview
