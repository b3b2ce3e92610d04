#include "cli/PreviewCli.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include "cli/CliNotifier.h"
#include "cli/Credentials.h"
#include "cli/DeviceFinder.h"
#include "cli/JsonOutput.h"
#include "cli/Mp4Recorder.h"
#include "core/discovery/DeviceTypes.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/HeadlessRenderer.h"
#include "core/preview/YuyvScale.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/TextConvert.h"

namespace tarvo::cli {

namespace {

struct PreviewArgs {
    std::string ip;
    std::optional<int> port;
    std::string user = "admin";
    Password password;
    std::string stream = "main";
    std::optional<int> type;
    double seconds = 10.0;
    double timeout = 20.0;
    std::string out;
};

// How long the search for a device whose type was not given listens.
constexpr double kSearchSeconds = 1.5;

// YUYV to RGB, then libavcodec's PNG encoder. Of an odd width the last column is left out (the
// YUYV pair it would need is not there).
bool writePng(const std::string& path, const std::vector<std::uint8_t>& yuyv, int pictureWidth,
              int height) {
    const int width = preview::scaledSourceWidth(pictureWidth);
    if (width <= 0 || height <= 0) return false;
    SwsContext* sws = nullptr;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    AVCodecContext* context = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame* rgb = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool ok = context != nullptr && rgb != nullptr && packet != nullptr;
    if (ok) {
        rgb->format = AV_PIX_FMT_RGB24;
        rgb->width = width;
        rgb->height = height;
        ok = av_frame_get_buffer(rgb, 0) >= 0;
    }
    if (ok) {
        std::vector<std::uint8_t> scratch;
        ok = preview::scaleYuyv(sws, scratch, yuyv.data(), pictureWidth, height, rgb->data[0],
                                rgb->linesize[0], width, height, AV_PIX_FMT_RGB24, SWS_POINT);
    }
    if (ok) {
        context->width = width;
        context->height = height;
        context->pix_fmt = AV_PIX_FMT_RGB24;
        context->time_base = AVRational{1, 25};
        ok = avcodec_open2(context, codec, nullptr) >= 0 && avcodec_send_frame(context, rgb) >= 0 &&
             avcodec_receive_packet(context, packet) >= 0;
    }
    if (ok) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(packet->data), packet->size);
        ok = static_cast<bool>(out);
    }
    av_packet_free(&packet);
    av_frame_free(&rgb);
    avcodec_free_context(&context);
    sws_freeContext(sws);
    return ok;
}

struct Prepared {
    protocol::LoginInfo info;
    int type = 0;
};

// Type (given or searched), port, stream and the login check; nullopt with the exit status.
std::optional<Prepared> prepare(const PreviewArgs& args, CliNotifier& notifier, int& status) {
    Prepared p;
    const auto type = deviceTypeOf(args.ip, args.type, kSearchSeconds);
    if (!type) {
        std::cerr << args.ip << " did not answer a search; give its type with --type" << std::endl;
        status = 1;
        return std::nullopt;
    }
    p.type = *type;
    const int choice = args.stream == "d1" ? 1 : args.stream == "cif" ? 2 : 0;
    const auto port = static_cast<std::uint16_t>(args.port.value_or(
        p.type == discovery::kTypeNvr ? protocol::kNvrCommandPort : protocol::kCameraCommandPort));
    p.info = protocol::makeLoginInfo(args.ip, port, text::fromUtf8(args.user),
                                     text::fromUtf8(args.password.value), choice, p.type);
    if (!protocol::loginCheck(p.info, notifier)) {
        status = 1;
        return std::nullopt;
    }
    return p;
}

std::chrono::milliseconds millis(double seconds) {
    return std::chrono::milliseconds(static_cast<long>(seconds * 1000));
}

// How the wait for the stream's first picture (or key picture) ended.
enum class StreamWait { Arrived, NoStream, StreamEnded, TimedOut };

// Waits until `arrived` holds, the stream could not be set up (the client already said why,
// where it has a reason), the stream ended with everything it sent decoded, or `limit` passed.
template <typename Arrived>
StreamWait waitForStream(const preview::CCamStreamClient& client, std::chrono::milliseconds limit,
                         Arrived arrived) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (arrived()) return StreamWait::Arrived;
        if (!client.threadsRunning()) return StreamWait::NoStream;
        // The receive thread ends first; what it left in the ring is decoded before giving up.
        if (client.stats().receiveEnded && client.pendingPackets() == 0)
            return arrived() ? StreamWait::Arrived : StreamWait::StreamEnded;
        if (std::chrono::steady_clock::now() >= end) return StreamWait::TimedOut;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void reportWait(StreamWait wait, const PreviewArgs& args, const char* what) {
    switch (wait) {
        case StreamWait::Arrived:
            return;
        case StreamWait::NoStream:
            std::cerr << "no stream from " << args.ip << std::endl;
            return;
        case StreamWait::StreamEnded:
            std::cerr << "the stream ended before " << what << " arrived" << std::endl;
            return;
        case StreamWait::TimedOut:
            std::cerr << "no " << what << " arrived within " << args.timeout << " s" << std::endl;
            return;
    }
}

int runSnapshot(const GlobalOptions& global, const PreviewArgs& args) {
    CliNotifier notifier;
    int status = 0;
    const auto prepared = prepare(args, notifier, status);
    if (!prepared) return status;
    auto renderer = std::make_unique<preview::HeadlessRenderer>();
    preview::HeadlessRenderer& view = *renderer;
    preview::CCamStreamClient client(prepared->info, notifier, std::move(renderer));
    client.startPreview();
    const StreamWait wait =
        waitForStream(client, millis(args.timeout), [&] { return view.pictures() > 0; });
    const auto picture = view.lastPictureWithSize();
    const auto reply = client.reply();
    const auto stats = client.stats();
    client.stop();
    bool ok = wait == StreamWait::Arrived && !picture.yuyv.empty();
    reportWait(wait, args, "picture");
    if (ok) {
        ok = writePng(args.out, picture.yuyv, picture.width, picture.height);
        if (!ok) std::cerr << "cannot write " << args.out << std::endl;
    }
    if (global.json) {
        printJson(nlohmann::json{{"command", "snapshot"},
                                 {"ip", args.ip},
                                 {"ok", ok},
                                 {"type", prepared->type},
                                 {"width", reply.width},
                                 {"height", reply.height},
                                 {"pictureWidth", picture.width},
                                 {"pictureHeight", picture.height},
                                 {"codecCode", reply.codecCode},
                                 {"title", text::toUtf8(client.title())},
                                 {"packets", stats.packets},
                                 {"out", args.out}});
    }
    return ok ? 0 : 1;
}

int runRecord(const GlobalOptions& global, const PreviewArgs& args) {
    CliNotifier notifier;
    int status = 0;
    const auto prepared = prepare(args, notifier, status);
    if (!prepared) return status;
    // The recorder is made on the first packet: codec and size come with the stream's reply,
    // which is in place before the threads start.
    std::mutex recorderMutex;
    std::unique_ptr<Mp4Recorder> recorder;
    const auto length = millis(args.seconds);
    preview::CCamStreamClient client(prepared->info, notifier, nullptr);
    client.setPacketTap(
        [&](int type, std::span<const std::uint8_t>, std::span<const std::uint8_t> payload) {
            if (type != 0) return;
            std::lock_guard lock(recorderMutex);
            if (!recorder) {
                const auto& r = client.reply();
                recorder = std::make_unique<Mp4Recorder>(
                    args.out, preview::decodesAsHevc(r.codecCode), r.width, r.height, length);
            }
            recorder->add(payload);
        });
    const auto recorderSays = [&](auto ask) {
        std::lock_guard lock(recorderMutex);
        return recorder && ask(*recorder);
    };
    client.startPreview();
    const auto reply = client.reply();
    // The length counts from the first key picture, however long the stream takes to bring it.
    const StreamWait wait = waitForStream(client, millis(args.timeout), [&] {
        return recorderSays([](const Mp4Recorder& r) { return r.started(); });
    });
    reportWait(wait, args, "key picture");
    if (wait == StreamWait::Arrived) {
        // Full once a picture arrives past the length; a stream that stalls ends the recording
        // when the length has passed on the clock.
        std::chrono::steady_clock::time_point startedAt;
        {
            std::lock_guard lock(recorderMutex);
            startedAt = recorder->startedAt();
        }
        const auto stalledBy = startedAt + length + std::chrono::seconds(1);
        (void)waitForStream(
            client,
            std::chrono::duration_cast<std::chrono::milliseconds>(stalledBy -
                                                                  std::chrono::steady_clock::now()),
            [&] { return recorderSays([](const Mp4Recorder& r) { return r.full(); }); });
    }
    client.stop();  // the tap runs no more after this
    const bool ok = wait == StreamWait::Arrived && recorder && recorder->finish();
    if (!ok && wait == StreamWait::Arrived) {
        std::cerr << "nothing recorded"
                  << (recorder && !recorder->error().empty() ? ": " + recorder->error() : "")
                  << std::endl;
    }
    if (global.json) {
        printJson(nlohmann::json{{"command", "record"},
                                 {"ip", args.ip},
                                 {"ok", ok},
                                 {"type", prepared->type},
                                 {"width", reply.width},
                                 {"height", reply.height},
                                 {"codecCode", reply.codecCode},
                                 {"samples", recorder ? recorder->samples() : 0},
                                 {"out", args.out}});
    }
    return ok ? 0 : 1;
}

void addCommon(CLI::App& sub, PreviewArgs& args) {
    sub.add_option("IP", args.ip, "Device address")->required();
    sub.add_option("--out", args.out, "Output file")->required();
    sub.add_option("--port", args.port, "Command port (default 5500 for an NVR, else 5505)")
        ->check(CLI::Range(1, 65534));
    sub.add_option("--user", args.user, "User name")->capture_default_str();
    addPasswordOptions(sub, args.password);
    sub.add_option("--stream", args.stream, "Stream: main, d1 or cif")
        ->check(CLI::IsMember({"main", "d1", "cif"}))
        ->capture_default_str();
    sub.add_option("--type", args.type, "Device type code (default: learnt by a search)")
        ->check(CLI::Range(0, 65535));
}

}  // namespace

void addPreviewCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run) {
    auto snapshot = std::make_shared<PreviewArgs>();
    CLI::App* snapCmd =
        app.add_subcommand("snapshot", "Save the first picture of the live stream as PNG");
    addCommon(*snapCmd, *snapshot);
    snapCmd->add_option("--timeout", snapshot->timeout, "Seconds to wait for a picture")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 600.0));
    snapCmd->callback([&global, &run, snapshot] {
        snapshot->password.resolve();
        run = [&global, snapshot] { return runSnapshot(global, *snapshot); };
    });

    auto record = std::make_shared<PreviewArgs>();
    CLI::App* recCmd =
        app.add_subcommand("record", "Record the live stream into MP4 (no re-encoding)");
    addCommon(*recCmd, *record);
    recCmd
        ->add_option("--seconds", record->seconds,
                     "Seconds of video to record, from the first key picture")
        ->required()
        ->check(CLI::Range(0.1, 86400.0));
    recCmd->add_option("--timeout", record->timeout, "Seconds to wait for the first key picture")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 600.0));
    recCmd->callback([&global, &run, record] {
        record->password.resolve();
        run = [&global, record] { return runRecord(global, *record); };
    });
}

}  // namespace tarvo::cli
