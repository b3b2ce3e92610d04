#include "core/preview/AvStreamDecoder.h"

#include "core/preview/NalScan.h"

#include <algorithm>
#include <cstring>
#include <thread>

extern "C" {
#include <libavutil/error.h>
}

namespace tarvo::preview {

namespace {
// A decoder that neither takes input nor gives output would loop forever otherwise.
constexpr int kMaxRounds = 64;
}  // namespace

namespace {
int cores() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}
}  // namespace

Threading lowDelayThreading() {
    // More slice threads than cores only adds hand-overs: a wavefront row whose thread is not
    // running holds up every row below it.
    return {Threading::Kind::Slice, std::min(cores(), 2)};
}

Threading frameThreading() {
    // Each frame thread beyond the first adds a picture of delay; two keep it at one.
    return {Threading::Kind::Frame, std::min(cores(), 2)};
}

bool AvStreamDecoder::open(AVCodecID codecId, Threading threading) {
    close();
    const AVCodec* codec = avcodec_find_decoder(codecId);
    if (codec == nullptr) return false;
    context_ = avcodec_alloc_context3(codec);
    parser_ = av_parser_init(codecId);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    last_ = av_frame_alloc();
    if (context_ == nullptr || parser_ == nullptr || packet_ == nullptr || frame_ == nullptr ||
        last_ == nullptr) {
        close();
        return false;
    }
    if (threading.kind == Threading::Kind::Frame) {
        // The low-delay flag would turn frame threads off.
        context_->thread_type = FF_THREAD_FRAME;
    } else {
        context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
        context_->thread_type = FF_THREAD_SLICE;
    }
    context_->thread_count = std::max(1, threading.count);
    context_->max_pixels = kMaxPixels;
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        close();
        return false;
    }
    hevc_ = codecId == AV_CODEC_ID_HEVC;
    framing_ = Framing::Learning;
    wholeStreak_ = 0;
    sincePicture_ = 0;
    return true;
}

void AvStreamDecoder::close() {
    if (parser_ != nullptr) av_parser_close(parser_);
    parser_ = nullptr;
    avcodec_free_context(&context_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    av_frame_free(&last_);
}

int AvStreamDecoder::threadCount() const {
    return context_ != nullptr ? context_->thread_count : 0;
}

bool AvStreamDecoder::frameThreads() const {
    return context_ != nullptr && context_->active_thread_type == FF_THREAD_FRAME;
}

int AvStreamDecoder::decode(const std::uint8_t* data, int size) {
    if (context_ == nullptr || data == nullptr || size <= 0) return 0;
    const bool unitStart = startsAccessUnit(std::span(data, static_cast<std::size_t>(size)), hevc_);
    switch (framing_) {
        case Framing::WholeUnits:
            if (unitStart) return sendAndReceive(data, size);
            // Cut inside a picture after all: the parser finds the boundaries from now on.
            framing_ = Framing::Parsing;
            resetParser();
            return parse(data, size);
        case Framing::Learning:
            if (!unitStart) {
                framing_ = Framing::Parsing;
                return parse(data, size);
            }
            if (++wholeStreak_ < kChunksBeforeWholeUnits) return parse(data, size);
            framing_ = Framing::WholeUnits;
            // The parser gives the previous picture and keeps this chunk, which is whole.
            return parse(data, size) + flushParser();
        case Framing::Parsing:
            break;
    }
    return parse(data, size);
}

void AvStreamDecoder::resetParser() {
    if (parser_ != nullptr) av_parser_close(parser_);
    parser_ = av_parser_init(hevc_ ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    sincePicture_ = 0;
}

int AvStreamDecoder::flushParser() {
    std::uint8_t* unit = nullptr;
    int unitSize = 0;
    av_parser_parse2(parser_, context_, &unit, &unitSize, nullptr, 0, AV_NOPTS_VALUE,
                     AV_NOPTS_VALUE, 0);
    return unitSize > 0 ? sendAndReceive(unit, unitSize) : 0;
}

int AvStreamDecoder::parse(const std::uint8_t* chunk, int size) {
    if (parser_ == nullptr) return 0;
    const auto bytes = static_cast<std::size_t>(size);
    if (padded_.size() < bytes + AV_INPUT_BUFFER_PADDING_SIZE)
        padded_.resize(bytes + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(padded_.data(), chunk, bytes);
    std::memset(padded_.data() + bytes, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    const std::uint8_t* data = padded_.data();
    int pictures = 0;
    for (int round = 0; size > 0 && round < 1 << 20; ++round) {
        std::uint8_t* unit = nullptr;
        int unitSize = 0;
        const int used = av_parser_parse2(parser_, context_, &unit, &unitSize, data, size,
                                          AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0) break;
        data += used;
        size -= used;
        sincePicture_ += static_cast<std::size_t>(used);
        if (unitSize > 0) {
            sincePicture_ = 0;
            pictures += sendAndReceive(unit, unitSize);
        } else if (sincePicture_ > kMaxBytesSincePicture) {
            // No picture boundary in all that: drop what the parser holds.
            resetParser();
            if (parser_ == nullptr) break;
        }
        if (used == 0 && unitSize == 0) break;
    }
    return pictures;
}

int AvStreamDecoder::sendAndReceive(const std::uint8_t* data, int size) {
    int pictures = 0;
    packet_->data = const_cast<std::uint8_t*>(data);  // not owned; the decoder copies it
    packet_->size = size;
    bool sent = false;
    for (int round = 0; round < kMaxRounds; ++round) {
        if (!sent) {
            const int result = avcodec_send_packet(context_, packet_);
            if (result == 0) {
                sent = true;
            } else if (result != AVERROR(EAGAIN)) {
                break;  // a broken unit: drop it
            }
        }
        const int received = avcodec_receive_frame(context_, frame_);
        if (received == 0) {
            av_frame_unref(last_);
            av_frame_move_ref(last_, frame_);
            ++pictures;
            continue;
        }
        if (sent || received != AVERROR(EAGAIN)) break;
    }
    packet_->data = nullptr;
    packet_->size = 0;
    return pictures;
}

}  // namespace tarvo::preview
