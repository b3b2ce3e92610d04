#include "sim/VideoClip.h"

#include <algorithm>
#include <array>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
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

namespace {

constexpr std::array<std::pair<Scene, std::string_view>, 6> kScenes{{
    {Scene::Normal, "normal"},
    {Scene::Black, "black"},
    {Scene::Flat, "flat"},
    {Scene::Blur, "blur"},
    {Scene::Frozen, "frozen"},
    {Scene::Bright, "bright"},
}};

}  // namespace

std::optional<Scene> parseScene(std::string_view text) {
    for (const auto& [scene, name] : kScenes)
        if (name == text) return scene;
    return std::nullopt;
}

std::string_view sceneName(Scene scene) {
    for (const auto& [each, name] : kScenes)
        if (each == scene) return name;
    return "normal";
}

std::string VideoFormat::key() const {
    if (!file.empty()) return "file:" + file;
    std::string made = codec + "/" + std::to_string(width) + "x" + std::to_string(height) + "@" +
                       std::to_string(fps) + "/" + std::to_string(bitrateKbps) + "k/g" +
                       std::to_string(gop);
    if (scene != Scene::Normal) made.append("/").append(sceneName(scene));
    return made;
}

int VideoFormat::loopLength() const {
    if (!file.empty()) return std::max(1, fileFrames);
    const int wanted = std::max(1, 2 * fps);
    const int gops = std::max(1, (wanted + gop - 1) / gop);
    return std::min(300, std::max(gop, gops * gop));
}

namespace {

// One pass of a running-mean box filter of radius `r` along a line of `count` samples `step`
// apart (edges repeated); `scratch` holds the line's copy.
void boxLine(std::uint8_t* line, int count, std::ptrdiff_t step, int r, std::vector<int>& scratch) {
    scratch.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) scratch[static_cast<std::size_t>(i)] = line[i * step];
    const auto at = [&](int i) {
        return scratch[static_cast<std::size_t>(std::clamp(i, 0, count - 1))];
    };
    int sum = 0;
    for (int i = -r; i <= r; ++i) sum += at(i);
    const int taps = 2 * r + 1;
    for (int i = 0; i < count; ++i) {
        line[i * step] = static_cast<std::uint8_t>((sum + taps / 2) / taps);
        sum += at(i + r + 1) - at(i - r);
    }
}

// A lens far out of focus: two box passes each way (close to a Gaussian) with a radius of a
// twenty-fourth of the width, which smears the pattern's detail at any picture size.
void blurLuma(std::uint8_t* y, int stride, int width, int height) {
    const int r = std::max(2, width / 24);
    std::vector<int> scratch;
    for (int pass = 0; pass < 2; ++pass) {
        for (int row = 0; row < height; ++row)
            boxLine(y + static_cast<std::ptrdiff_t>(row) * stride, width, 1, r, scratch);
        for (int x = 0; x < width; ++x) boxLine(y + x, height, stride, r, scratch);
    }
}

// The picture as `scene` shows it; the pattern itself for Normal and Frozen.
void applyScene(Scene scene, AVFrame& pic) {
    const auto eachLuma = [&pic](auto change) {
        for (int row = 0; row < pic.height; ++row) {
            std::uint8_t* line = pic.data[0] + static_cast<std::ptrdiff_t>(row) * pic.linesize[0];
            for (int x = 0; x < pic.width; ++x) line[x] = change(line[x]);
        }
    };
    const auto greyChroma = [&pic] {
        for (int plane = 1; plane <= 2; ++plane)
            for (int row = 0; row < (pic.height + 1) / 2; ++row)
                std::fill_n(
                    pic.data[plane] + static_cast<std::ptrdiff_t>(row) * pic.linesize[plane],
                    (pic.width + 1) / 2, std::uint8_t{128});
    };
    switch (scene) {
        case Scene::Normal:
        case Scene::Frozen:
            return;
        case Scene::Black:
            // Video black (16) with the faintest trace of the pattern left.
            eachLuma([](std::uint8_t v) {
                return static_cast<std::uint8_t>(16 + std::max(0, v - 16) / 32);
            });
            greyChroma();
            return;
        case Scene::Flat:
            eachLuma([](std::uint8_t) { return std::uint8_t{128}; });
            greyChroma();
            return;
        case Scene::Bright:
            // Near white, the pattern's contrast cut to an eighth.
            eachLuma([](std::uint8_t v) {
                return static_cast<std::uint8_t>(235 - std::max(0, 235 - v) / 8);
            });
            return;
        case Scene::Blur:
            blurLuma(pic.data[0], pic.linesize[0], pic.width, pic.height);
            return;
    }
}

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

// A recording's video as Annex B access units (what a camera sends), one at a time.
class FileReader {
public:
    ~FileReader() {
        av_bsf_free(&filter_);
        av_packet_free(&packet_);
        avformat_close_input(&input_);
    }

    bool open(const std::string& path, std::string& error) {
        if (avformat_open_input(&input_, path.c_str(), nullptr, nullptr) < 0) {
            error = "cannot open " + path;
            return false;
        }
        if (avformat_find_stream_info(input_, nullptr) < 0) {
            error = "cannot read the streams of " + path;
            return false;
        }
        stream_ = av_find_best_stream(input_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream_ < 0) {
            error = path + " holds no video";
            return false;
        }
        const AVStream& video = *input_->streams[stream_];
        const AVCodecParameters& par = *video.codecpar;
        if (par.codec_id != AV_CODEC_ID_H264 && par.codec_id != AV_CODEC_ID_HEVC) {
            error = path + ": the video is neither H.264 nor H.265";
            return false;
        }
        info.codec = par.codec_id == AV_CODEC_ID_HEVC ? "h265" : "h264";
        info.width = par.width;
        info.height = par.height;
        AVRational rate = video.avg_frame_rate.num > 0 ? video.avg_frame_rate : video.r_frame_rate;
        info.fps = rate.num > 0 && rate.den > 0 ? std::clamp(rate.num / rate.den, 1, 120) : 25;
        if (info.width < 16 || info.height < 16 || info.width > 8192 || info.height > 8192) {
            error = path + ": a picture size the cameras do not send";
            return false;
        }
        // Containers keep the parameter sets apart and sizes before each unit; a camera sends
        // start codes and the parameter sets before every key picture. Annex B input passes
        // through unchanged.
        const AVBitStreamFilter* annexB = av_bsf_get_by_name(
            par.codec_id == AV_CODEC_ID_HEVC ? "hevc_mp4toannexb" : "h264_mp4toannexb");
        packet_ = av_packet_alloc();
        if (annexB == nullptr || packet_ == nullptr || av_bsf_alloc(annexB, &filter_) < 0 ||
            avcodec_parameters_copy(filter_->par_in, &par) < 0 || av_bsf_init(filter_) < 0) {
            error = "cannot read the video of " + path;
            return false;
        }
        filter_->time_base_in = video.time_base;
        return true;
    }

    // The next access unit; false at the end (or on an error).
    bool next(std::vector<std::uint8_t>& unit, bool& key) {
        for (int round = 0; round < 1 << 20; ++round) {
            const int got = av_bsf_receive_packet(filter_, packet_);
            if (got == 0) {
                unit.assign(packet_->data, packet_->data + packet_->size);
                key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
                av_packet_unref(packet_);
                return true;
            }
            if (got != AVERROR(EAGAIN) || ended_) return false;
            if (av_read_frame(input_, packet_) < 0) {
                ended_ = true;
                (void)av_bsf_send_packet(filter_, nullptr);
                continue;
            }
            if (packet_->stream_index != stream_) {
                av_packet_unref(packet_);
                continue;
            }
            if (av_bsf_send_packet(filter_, packet_) < 0) av_packet_unref(packet_);
        }
        return false;
    }

    StreamFileInfo info;

private:
    AVFormatContext* input_ = nullptr;
    AVBSFContext* filter_ = nullptr;
    AVPacket* packet_ = nullptr;
    int stream_ = -1;
    bool ended_ = false;
};

}  // namespace

StreamFileInfo probeStreamFile(const std::string& path, std::string& error) {
    FileReader reader;
    if (!reader.open(path, error)) return {};
    std::vector<std::uint8_t> unit;
    bool key = false;
    std::size_t bytes = 0;
    int frames = 0;
    while (frames < kMaxFilePictures && reader.next(unit, key)) {
        if (frames == 0 && !key) continue;  // nothing before a picture a decoder can start from
        bytes += unit.size();
        if (bytes > kMaxFileBytes) break;
        ++frames;
    }
    if (frames == 0) {
        error = path + " holds no picture a decoder can start from";
        return {};
    }
    StreamFileInfo info = reader.info;
    info.frames = frames;
    return info;
}

void VideoClip::readFile(const std::atomic<bool>& stop) {
    FileReader reader;
    if (!reader.open(format_.file, error_)) {
        failed_.store(true, std::memory_order_release);
        return;
    }
    const int length = format_.loopLength();
    int stored = 0;
    Frame unit;
    while (stored < length && !stop.load() && reader.next(unit.data, unit.key)) {
        if (stored == 0 && !unit.key) continue;
        frames_[static_cast<std::size_t>(stored)] = std::move(unit);
        ++stored;
        available_.store(stored, std::memory_order_release);
    }
    if (stored < length) {
        error_ = format_.file + " changed while it was played";
        failed_.store(true, std::memory_order_release);
        return;
    }
    finished_.store(true, std::memory_order_release);
}

void VideoClip::encode(const std::atomic<bool>& stop) {
    if (!format_.file.empty()) return readFile(stop);
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
        // A frozen camera repeats its first picture.
        const auto shown = static_cast<std::uint32_t>(format_.scene == Scene::Frozen ? 0 : i);
        pattern::draw(pic.data[0], pic.linesize[0], pic.data[1], pic.linesize[1], pic.data[2],
                      pic.linesize[2], pic.width, pic.height, shown);
        applyScene(format_.scene, pic);
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
