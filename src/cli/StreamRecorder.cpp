#include "cli/StreamRecorder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

#include "cli/CommandResult.h"
#include "core/preview/LibavHandles.h"
#include "core/preview/NalScan.h"
#include "core/text/Messages.h"

namespace tarvo::cli {

namespace {

// Decodes the first key picture once to learn the colours the stream declares (range, matrix,
// primaries, transfer), which the file's header has to carry for players that read them there.
// Whatever cannot be learnt stays unspecified.
void learnColours(std::span<const std::uint8_t> chunk, bool hevc, AVCodecParameters& par) {
    const AVCodec* codec = avcodec_find_decoder(hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (codec == nullptr) return;
    const preview::CodecContextHandle context(avcodec_alloc_context3(codec));
    const preview::FrameHandle frame(av_frame_alloc());
    const preview::PacketHandle packet(av_packet_alloc());
    if (!context || !frame || !packet) return;
    context->thread_count = 1;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return;
    if (av_new_packet(packet.get(), static_cast<int>(chunk.size())) < 0) return;
    std::copy(chunk.begin(), chunk.end(), packet->data);
    if (avcodec_send_packet(context.get(), packet.get()) < 0) return;
    (void)avcodec_send_packet(context.get(), nullptr);
    if (avcodec_receive_frame(context.get(), frame.get()) < 0) return;
    const bool jFormat = frame->format == AV_PIX_FMT_YUVJ420P ||
                         frame->format == AV_PIX_FMT_YUVJ422P ||
                         frame->format == AV_PIX_FMT_YUVJ444P;
    par.color_range = jFormat ? AVCOL_RANGE_JPEG : frame->color_range;
    par.color_space = frame->colorspace;
    par.color_primaries = frame->color_primaries;
    par.color_trc = frame->color_trc;
}

// The parameter sets that open the first key picture, for the header: Matroska carries them
// there only, and MP4 players find them there too.
void learnParameterSets(std::span<const std::uint8_t> chunk, AVCodecParameters& par) {
    const AVBitStreamFilter* filter = av_bsf_get_by_name("extract_extradata");
    AVBSFContext* bsf = nullptr;
    if (filter == nullptr || av_bsf_alloc(filter, &bsf) < 0) return;
    const preview::PacketHandle packet(av_packet_alloc());
    bsf->par_in->codec_type = AVMEDIA_TYPE_VIDEO;
    bsf->par_in->codec_id = par.codec_id;
    std::size_t size = 0;
    const std::uint8_t* sets = nullptr;
    if (packet && av_bsf_init(bsf) >= 0 &&
        av_new_packet(packet.get(), static_cast<int>(chunk.size())) >= 0) {
        std::copy(chunk.begin(), chunk.end(), packet->data);
        if (av_bsf_send_packet(bsf, packet.get()) >= 0 &&
            av_bsf_receive_packet(bsf, packet.get()) >= 0) {
            sets = av_packet_get_side_data(packet.get(), AV_PKT_DATA_NEW_EXTRADATA, &size);
        }
    }
    if (sets != nullptr && size > 0 && size < (1u << 20)) {
        par.extradata = static_cast<std::uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
        if (par.extradata != nullptr) {
            std::copy(sets, sets + size, par.extradata);
            par.extradata_size = static_cast<int>(size);
        }
    }
    av_bsf_free(&bsf);
}

}  // namespace

const char* recordingMuxerOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".mp4") return "mp4";
    if (extension == ".mkv") return "matroska";
    if (extension == ".ts") return "mpegts";
    return nullptr;
}

StreamRecorder::StreamRecorder(std::string path, bool hevc, int width, int height,
                               std::chrono::milliseconds length)
    : path_(std::move(path)),
      hevc_(hevc),
      width_(width),
      height_(height),
      length_(length),
      muxer_(recordingMuxerOf(path_)) {}

StreamRecorder::~StreamRecorder() {
    std::lock_guard lock(mutex_);
    close();
}

void StreamRecorder::close() {
    if (format_ != nullptr) {
        if (format_->pb != nullptr) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
    av_packet_free(&packet_);
}

bool StreamRecorder::open(std::span<const std::uint8_t> firstChunk) {
    // The name is a file's, never a URL: "file:" keeps "tcp://..." or "cam-1:30.mp4" from being
    // read as a protocol, and the whitelist keeps any other protocol shut.
    const std::string url = "file:" + path_;
    if (muxer_ == nullptr ||
        avformat_alloc_output_context2(&format_, nullptr, muxer_, url.c_str()) < 0 ||
        format_ == nullptr) {
        error_ = said(text::msg::kNoMuxerFormat, path_);
        return false;
    }
    AVStream* stream = avformat_new_stream(format_, nullptr);
    packet_ = av_packet_alloc();
    if (stream == nullptr || packet_ == nullptr) {
        error_ = said(text::msg::kOutOfMemory);
        return false;
    }
    stream->time_base = AVRational{1, 1000};
    AVCodecParameters& par = *stream->codecpar;
    par.codec_type = AVMEDIA_TYPE_VIDEO;
    par.codec_id = hevc_ ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
    par.width = width_;
    par.height = height_;
    learnColours(firstChunk, hevc_, par);
    learnParameterSets(firstChunk, par);
    // The muxer takes the parameter sets from the first sample, which starts with them.
    AVDictionary* options = nullptr;
    (void)av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = avio_open2(&format_->pb, url.c_str(), AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        error_ = said(text::msg::kCannotWriteFormat, path_);
        return false;
    }
    if (avformat_write_header(format_, nullptr) < 0) {
        error_ = said(text::msg::kCannotWriteHeaderFormat, path_);
        return false;
    }
    headerWritten_ = true;
    return true;
}

void StreamRecorder::add(std::span<const std::uint8_t> chunk) {
    std::lock_guard lock(mutex_);
    if (finished_ || full_ || chunk.empty() || !error_.empty()) return;
    const bool key = preview::startsDecoding(chunk, hevc_);
    if (!headerWritten_) {
        if (!key) return;  // nothing before the first picture a player could start from
        if (!open(chunk)) return;
        first_ = std::chrono::steady_clock::now();
    }
    std::int64_t pts = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - first_)
                           .count();
    if (pts >= length_.count()) {
        full_ = true;
        return;
    }
    if (pts <= lastPts_) pts = lastPts_ + 1;
    lastPts_ = pts;
    av_packet_unref(packet_);
    if (av_new_packet(packet_, static_cast<int>(chunk.size())) < 0) return;
    std::copy(chunk.begin(), chunk.end(), packet_->data);
    packet_->pts = packet_->dts = pts;
    packet_->stream_index = 0;
    if (key) packet_->flags |= AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(packet_, AVRational{1, 1000}, format_->streams[0]->time_base);
    if (av_write_frame(format_, packet_) >= 0) {
        ++samples_;
        bytes_ += chunk.size();
    }
}

bool StreamRecorder::finish() {
    std::lock_guard lock(mutex_);
    if (finished_) return samples_ > 0;
    finished_ = true;
    bool ok = false;
    if (headerWritten_) ok = av_write_trailer(format_) >= 0 && samples_ > 0;
    close();
    return ok;
}

std::uint64_t StreamRecorder::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

StreamRecorder::Progress StreamRecorder::progress() const {
    std::lock_guard lock(mutex_);
    return {std::chrono::milliseconds(lastPts_ < 0 ? 0 : lastPts_), bytes_};
}

bool StreamRecorder::started() const {
    std::lock_guard lock(mutex_);
    return headerWritten_;
}

std::chrono::steady_clock::time_point StreamRecorder::startedAt() const {
    std::lock_guard lock(mutex_);
    return first_;
}

std::string StreamRecorder::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

bool StreamRecorder::full() const {
    std::lock_guard lock(mutex_);
    return full_;
}

}  // namespace tarvo::cli
