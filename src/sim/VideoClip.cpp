#include "sim/VideoClip.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include "sim/TestPattern.h"

#if defined(__SANITIZE_THREAD__)
// libx265 hands work to its own threads through lock-free queues in code built without the
// sanitizer, so the handover is invisible to it: reports from inside the encoder are noise.
// libavcodec's frame threads hand finished pictures over the same way (an atomic state read
// without the lock when the picture is already done), so its and libavutil's memory calls look
// unsynchronised too; the accesses of this program's own code are still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libx265.so\nrace:x265::\n"
           "called_from_lib:libavcodec.so\ncalled_from_lib:libavutil.so\n";
}
#endif

// GCC says it builds with AddressSanitizer by a macro, clang only through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define TARVO_SIM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVO_SIM_ASAN 1
#endif
#endif

#if defined(TARVO_SIM_ASAN)
// libx265 keeps a few small blocks of every encoder it opened until the process ends; they are
// the library's, not ours, and would fail every sanitizer run that encodes H.265.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}
#endif

namespace tarvo::sim {

std::string VideoFormat::key() const {
    return codec + "/" + std::to_string(width) + "x" + std::to_string(height) + "@" +
           std::to_string(fps) + "/" + std::to_string(bitrateKbps) + "k/g" + std::to_string(gop);
}

int VideoFormat::loopLength() const {
    const int wanted = std::max(1, 2 * fps);
    const int gops = std::max(1, (wanted + gop - 1) / gop);
    return std::min(300, std::max(gop, gops * gop));
}

namespace {

// Owns the encoder's libavcodec objects for one clip.
struct Encoder {
    AVCodecContext* context = nullptr;
    AVFrame* picture = nullptr;
    AVPacket* packet = nullptr;
    ~Encoder() {
        avcodec_free_context(&context);
        av_frame_free(&picture);
        av_packet_free(&packet);
    }
};

}  // namespace

void VideoClip::encode(const std::atomic<bool>& stop) {
    const int length = format_.loopLength();
    const auto fail = [this](std::string text) {
        error_ = std::move(text);
        failed_.store(true, std::memory_order_release);
    };
    const bool hevc = format_.codec == "h265";
    const AVCodec* codec = avcodec_find_encoder_by_name(hevc ? "libx265" : "libx264");
    if (codec == nullptr) return fail(std::string("no encoder ") + (hevc ? "libx265" : "libx264"));

    Encoder enc;
    enc.context = avcodec_alloc_context3(codec);
    enc.picture = av_frame_alloc();
    enc.packet = av_packet_alloc();
    if (enc.context == nullptr || enc.picture == nullptr || enc.packet == nullptr)
        return fail("out of memory");
    AVCodecContext& c = *enc.context;
    c.width = format_.width;
    c.height = format_.height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = AVRational{1, format_.fps};
    c.framerate = AVRational{format_.fps, 1};
    c.bit_rate = static_cast<std::int64_t>(format_.bitrateKbps) * 1000;
    c.gop_size = format_.gop;
    c.max_b_frames = 0;
    // Live-camera settings: no look-ahead, no B-frames, an IDR every GOP with its headers.
    av_opt_set(c.priv_data, "preset", "ultrafast", 0);
    av_opt_set(c.priv_data, "tune", "zerolatency", 0);
    av_opt_set_int(c.priv_data, "forced-idr", 1, 0);
    const std::string keyint = "keyint=" + std::to_string(format_.gop) +
                               ":min-keyint=" + std::to_string(format_.gop) + ":scenecut=0";
    if (hevc) {
        av_opt_set(c.priv_data, "x265-params", (keyint + ":open-gop=0:log-level=error").c_str(), 0);
    } else {
        av_opt_set(c.priv_data, "x264-params", keyint.c_str(), 0);
    }
    if (avcodec_open2(&c, codec, nullptr) < 0) return fail("cannot open " + format_.key());

    AVFrame& pic = *enc.picture;
    pic.format = AV_PIX_FMT_YUV420P;
    pic.width = format_.width;
    pic.height = format_.height;
    if (av_frame_get_buffer(&pic, 0) < 0) return fail("out of memory");

    int stored = 0;
    const auto drain = [&]() -> bool {
        for (;;) {
            const int got = avcodec_receive_packet(&c, enc.packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
            if (got < 0) return false;
            if (stored < length) {
                Frame& out = frames_[static_cast<std::size_t>(stored)];
                out.data.assign(enc.packet->data, enc.packet->data + enc.packet->size);
                out.key = (enc.packet->flags & AV_PKT_FLAG_KEY) != 0;
                ++stored;
                available_.store(stored, std::memory_order_release);
            }
            av_packet_unref(enc.packet);
        }
    };
    for (int i = 0; i < length && !stop.load(); ++i) {
        if (av_frame_make_writable(&pic) < 0) return fail("frame not writable");
        pattern::draw(pic.data[0], pic.linesize[0], pic.data[1], pic.linesize[1], pic.data[2],
                      pic.linesize[2], pic.width, pic.height, static_cast<std::uint32_t>(i));
        pic.pts = i;
        pic.pict_type = i % format_.gop == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(&c, &pic) < 0 || !drain()) return fail("encoding failed");
    }
    if (stop.load()) return fail("stopped");
    avcodec_send_frame(&c, nullptr);
    if (!drain()) return fail("encoding failed");
    if (stored < length) return fail("the encoder gave too few frames");
    finished_.store(true, std::memory_order_release);
}

VideoLibrary::~VideoLibrary() {
    stop_ = true;
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

std::shared_ptr<const VideoClip> VideoLibrary::clip(const VideoFormat& format) {
    std::lock_guard lock(mutex_);
    const std::string key = format.key();
    const auto found = clips_.find(key);
    if (found != clips_.end()) return found->second;
    auto made = std::make_shared<VideoClip>(format);
    clips_.emplace(key, made);
    queue_.push_back(made);
    if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    wake_.notify_one();
    return made;
}

void VideoLibrary::work() {
    for (;;) {
        std::shared_ptr<VideoClip> next;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_.load() || !queue_.empty(); });
            if (stop_.load()) return;
            next = queue_.front();
            queue_.pop_front();
        }
        next->encode(stop_);
    }
}

}  // namespace tarvo::sim
