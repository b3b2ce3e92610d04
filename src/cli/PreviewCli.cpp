#include "cli/PreviewCli.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <thread>

#include "cli/CliNotifier.h"
#include "cli/CommandResult.h"
#include "cli/Credentials.h"
#include "cli/DeviceFinder.h"
#include "cli/StreamRecorder.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/HeadlessRenderer.h"
#include "core/preview/Picture.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

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

enum class PictureFormat { Png, Jpeg };

// The format a snapshot's file name asks for by its extension (any case); nullopt for others.
std::optional<PictureFormat> pictureFormatOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".png") return PictureFormat::Png;
    if (extension == ".jpg" || extension == ".jpeg") return PictureFormat::Jpeg;
    return std::nullopt;
}

// The decoder's picture converted once, with its own colour range and matrix, straight into
// what the encoder takes, at its own size.
bool writePicture(const std::string& path, PictureFormat format, const preview::Picture& picture) {
    const bool jpeg = format == PictureFormat::Jpeg;
    const auto bytes = preview::encodePicture(
        picture, jpeg ? preview::PictureCoding::Jpeg : preview::PictureCoding::Png, 0, 0, 2);
    if (bytes.empty()) return false;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

struct Prepared {
    protocol::LoginInfo info;
    int type = 0;
};

// Type (given or searched), port, stream and the login check; nullopt with the outcome's exit
// status. The outcome names the file in any case.
std::optional<Prepared> prepare(const PreviewArgs& args, CliNotifier& notifier, Outcome& outcome) {
    outcome.fields["out"] = args.out;
    int& status = outcome.exitCode;
    Prepared p;
    const auto type = deviceTypeOf(args.ip, args.type, kSearchSeconds);
    if (!type) {  // the search said that the address did not answer
        status = exitcode::kFailed;
        return std::nullopt;
    }
    p.type = *type;
    if (const auto refusal =
            discovery::refusalOf(args.ip, p.type, "preview", discovery::Operation::Preview);
        !refusal.empty()) {
        std::cerr << text::escapeControls(refusal) << std::endl;
        status = exitcode::kFailed;
        return std::nullopt;
    }
    const int choice = args.stream == "d1" ? 1 : args.stream == "cif" ? 2 : 0;
    const auto port = static_cast<std::uint16_t>(
        args.port.value_or(discovery::capabilitiesOf(p.type).previewPort));
    p.info = protocol::makeLoginInfo(args.ip, port, text::fromUtf8(args.user),
                                     text::fromUtf8(args.password.value), choice, p.type);
    if (!notifier.report(protocol::loginCheck(p.info))) {
        status = exitcode::kFailed;
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

// `keyPicture`: the wait was for a key picture (recording), else for any picture.
void reportWait(StreamWait wait, const PreviewArgs& args, bool keyPicture) {
    switch (wait) {
        case StreamWait::Arrived:
            return;
        case StreamWait::NoStream:
            std::cerr << said(text::msg::kNoStreamFormat, args.ip) << std::endl;
            return;
        case StreamWait::StreamEnded:
            std::cerr << said(keyPicture ? text::msg::kStreamEndedBeforeKeyPicture
                                         : text::msg::kStreamEndedBeforePicture)
                      << std::endl;
            return;
        case StreamWait::TimedOut: {
            std::ostringstream limit;  // as typed: "1", "0.5", "20"
            limit << args.timeout;
            std::cerr << said(keyPicture ? text::msg::kNoKeyPictureWithinFormat
                                         : text::msg::kNoPictureWithinFormat,
                              limit.str())
                      << std::endl;
            return;
        }
    }
}

// What snapshot and record report of the stream they took.
nlohmann::json streamFields(const Prepared& prepared, const preview::StreamReply& reply,
                            const PreviewArgs& args) {
    return {{"type", prepared.type},
            {"width", reply.width},
            {"height", reply.height},
            {"codecCode", reply.codecCode},
            {"out", args.out}};
}

std::uintmax_t fileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

std::u16string decimal(std::uintmax_t value) {
    return text::fromUtf8(std::to_string(value));
}

int runSnapshot(const GlobalOptions& global, const PreviewArgs& args) {
    CliNotifier notifier;
    Outcome outcome{"snapshot", args.ip};
    const auto prepared = prepare(args, notifier, outcome);
    if (!prepared) return finish(global, outcome, &notifier);
    auto renderer = std::make_unique<preview::HeadlessRenderer>();
    preview::HeadlessRenderer& view = *renderer;
    preview::CCamStreamClient client(prepared->info, notifier, std::move(renderer));
    client.startPreview();
    const StreamWait wait =
        waitForStream(client, millis(args.timeout), [&] { return view.pictures() > 0; });
    const preview::Picture picture = view.lastPicture();
    const auto reply = client.reply();
    const auto stats = client.stats();
    client.stop();
    bool ok = wait == StreamWait::Arrived && !picture.empty();
    reportWait(wait, args, false);
    if (ok) {
        ok =
            writePicture(args.out, pictureFormatOf(args.out).value_or(PictureFormat::Png), picture);
        if (!ok)
            std::cerr << text::escapeControls(said(text::msg::kCannotWriteFormat, args.out))
                      << std::endl;
    }
    outcome.fields = streamFields(*prepared, reply, args);
    outcome.fields.update(
        {{"pictureWidth", picture.width()},
         {"pictureHeight", picture.height()},
         {"colourRange", picture.range() == preview::ColourRange::Full ? "full" : "limited"},
         {"colourMatrix", picture.matrix() == preview::ColourMatrix::Bt709 ? "bt709" : "bt601"},
         {"title", text::toUtf8(client.title())},
         {"packets", stats.packets}});
    outcome.exitCode = ok ? exitcode::kOk : exitcode::kFailed;
    if (ok) {
        const auto size = fileSize(args.out);
        outcome.fields["bytes"] = size;
        outcome.message = text::toUtf8(text::formatText(text::tr(text::msg::kSnapshotSavedFormat),
                                                        {text::fromUtf8(args.out), decimal(size)}));
    }
    return finish(global, outcome, &notifier);
}

// Seconds with one decimal.
std::u16string seconds(std::chrono::milliseconds value) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.1f", static_cast<double>(value.count()) / 1000.0);
    return text::fromUtf8(text);
}

// On a terminal, the recording so far redrawn in place on stderr; nothing when not a terminal.
class RecordProgress {
public:
    RecordProgress() : tty_(stderrIsTerminal()) {}
    ~RecordProgress() { end(); }
    RecordProgress(const RecordProgress&) = delete;
    RecordProgress& operator=(const RecordProgress&) = delete;

    void show(const StreamRecorder::Progress& progress) {
        if (!tty_) return;
        const auto line =
            text::toUtf8(text::formatText(text::tr(text::msg::kRecordingProgressFormat),
                                          {seconds(progress.recorded), decimal(progress.bytes)}));
        (void)std::fprintf(stderr, "\r%s   ", line.c_str());
        (void)std::fflush(stderr);
        drawn_ = true;
    }
    void end() {
        if (drawn_) (void)std::fputs("\n", stderr);
        drawn_ = false;
    }

private:
    const bool tty_;
    bool drawn_ = false;
};

// The recorder the stream's packet tap feeds, shared with the thread that waits on it. It is
// made on the first packet: codec and size come with the stream's reply, which is in place
// before the threads start.
class TappedRecorder {
public:
    TappedRecorder(std::string path, std::chrono::milliseconds length)
        : path_(std::move(path)), length_(length) {}

    void add(const preview::StreamReply& reply, std::span<const std::uint8_t> payload) {
        std::lock_guard lock(mutex_);
        if (!recorder_) {
            recorder_ = std::make_unique<StreamRecorder>(
                path_, preview::decodesAsHevc(reply.codecCode), reply.width, reply.height, length_);
        }
        recorder_->add(payload);
    }
    // Whether there is a recorder and `ask` holds for it.
    template <typename Ask>
    bool says(Ask ask) {
        std::lock_guard lock(mutex_);
        return recorder_ && ask(*recorder_);
    }
    // The recorder itself, for the time after the stream's threads have stopped; may be null.
    StreamRecorder* stopped() { return recorder_.get(); }
    std::chrono::milliseconds length() const { return length_; }

private:
    const std::string path_;
    const std::chrono::milliseconds length_;
    std::mutex mutex_;
    std::unique_ptr<StreamRecorder> recorder_;
};

struct RecordingStart {
    preview::StreamReply reply;
    StreamWait wait = StreamWait::NoStream;
};

// Starts the stream into the recorder and waits for the first key picture, however long the
// stream takes to bring it; a file that cannot be written ends the wait at once.
RecordingStart startRecording(preview::CCamStreamClient& client, TappedRecorder& recorder,
                              const PreviewArgs& args) {
    client.setPacketTap(
        [&](int type, std::span<const std::uint8_t>, std::span<const std::uint8_t> payload) {
            if (type == 0) recorder.add(client.reply(), payload);
        });
    client.startPreview();
    RecordingStart start;
    start.reply = client.reply();
    start.wait = waitForStream(client, millis(args.timeout), [&] {
        return recorder.says(
            [](const StreamRecorder& r) { return r.started() || !r.error().empty(); });
    });
    return start;
}

// Records until the recorder is full, which it is once a picture arrives past the length; a
// stream that stalls ends the recording when the length has passed on the clock.
void recordToLength(const preview::CCamStreamClient& client, TappedRecorder& recorder,
                    RecordProgress& progress) {
    std::chrono::steady_clock::time_point startedAt;
    (void)recorder.says([&](const StreamRecorder& r) {
        startedAt = r.startedAt();
        return true;
    });
    const auto stalledBy = startedAt + recorder.length() + std::chrono::seconds(1);
    auto nextDraw = std::chrono::steady_clock::now();
    (void)waitForStream(client,
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            stalledBy - std::chrono::steady_clock::now()),
                        [&] {
                            return recorder.says([&](const StreamRecorder& r) {
                                if (std::chrono::steady_clock::now() >= nextDraw) {
                                    progress.show(r.progress());
                                    nextDraw = std::chrono::steady_clock::now() +
                                               std::chrono::milliseconds(250);
                                }
                                return r.full();
                            });
                        });
}

// Why a stream that came made no file.
void reportNothingRecorded(const StreamRecorder* recorder) {
    const std::string cause = recorder ? recorder->error() : std::string();
    std::cerr << text::escapeControls(cause.empty()
                                          ? said(text::msg::kNothingRecorded)
                                          : said(text::msg::kNothingRecordedBecauseFormat, cause))
              << std::endl;
}

void describeRecording(Outcome& outcome, const StreamRecorder* recorder, bool ok,
                       const PreviewArgs& args) {
    outcome.fields["samples"] = recorder ? recorder->samples() : 0;
    outcome.exitCode = ok ? exitcode::kOk : exitcode::kFailed;
    if (!ok || recorder == nullptr) return;  // a recording that is ok has its recorder
    const auto size = fileSize(args.out);
    const auto recorded = recorder->progress().recorded;
    outcome.fields["bytes"] = size;
    outcome.fields["seconds"] = static_cast<double>(recorded.count()) / 1000.0;
    outcome.message = text::toUtf8(
        text::formatText(text::tr(text::msg::kRecordingSavedFormat),
                         {seconds(recorded), text::fromUtf8(args.out), decimal(size)}));
}

int runRecord(const GlobalOptions& global, const PreviewArgs& args) {
    CliNotifier notifier;
    Outcome outcome{"record", args.ip};
    const auto prepared = prepare(args, notifier, outcome);
    if (!prepared) return finish(global, outcome, &notifier);
    TappedRecorder tapped(args.out, millis(args.seconds));
    preview::CCamStreamClient client(prepared->info, notifier, nullptr);
    const auto [reply, wait] = startRecording(client, tapped, args);
    reportWait(wait, args, true);
    const bool started = wait == StreamWait::Arrived &&
                         tapped.says([](const StreamRecorder& r) { return r.error().empty(); });
    RecordProgress progress;
    if (started) recordToLength(client, tapped, progress);
    client.stop();  // the tap runs no more after this
    StreamRecorder* recorder = tapped.stopped();
    const bool ok = started && recorder->finish();
    if (ok) progress.show(recorder->progress());
    progress.end();
    if (!ok && wait == StreamWait::Arrived) reportNothingRecorded(recorder);
    outcome.fields = streamFields(*prepared, reply, args);
    describeRecording(outcome, recorder, ok, args);
    return finish(global, outcome, &notifier);
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
        app.add_subcommand("snapshot", "Save the first picture of the live stream (PNG or JPEG)");
    addCommon(*snapCmd, *snapshot);
    // Checked before anything is sent: the extension names the format.
    snapCmd->get_option("--out")
        ->description("Output file: .png or .jpg/.jpeg")
        ->check([](const std::string& path) {
            return pictureFormatOf(path) ? std::string()
                                         : text::toUtf8(text::tr(text::msg::kSnapshotExtension));
        });
    snapCmd->add_option("--timeout", snapshot->timeout, "Seconds to wait for a picture")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 600.0));
    snapCmd->callback([&global, &run, snapshot] {
        snapshot->password.resolve();
        run = [&global, snapshot] { return runSnapshot(global, *snapshot); };
    });

    auto record = std::make_shared<PreviewArgs>();
    CLI::App* recCmd =
        app.add_subcommand("record", "Record the live stream into MP4, MKV or TS (no re-encoding)");
    addCommon(*recCmd, *record);
    // Checked before anything is sent: the extension names the container.
    recCmd->get_option("--out")
        ->description("Output file: .mp4, .mkv or .ts")
        ->check([](const std::string& path) {
            return recordingMuxerOf(path) != nullptr
                       ? std::string()
                       : text::toUtf8(text::tr(text::msg::kRecordExtension));
        });
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
