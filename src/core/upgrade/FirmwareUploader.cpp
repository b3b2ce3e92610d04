#include "core/upgrade/FirmwareUploader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "core/net/Connect.h"
#include "core/protocol/DeviceCommands.h"
#include "core/protocol/Frames.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/upgrade/DeviceUploads.h"
#include "core/upgrade/PackageRules.h"

namespace tarvo::upgrade {

namespace {

using Clock = std::chrono::steady_clock;

// A file descriptor that is closed on every path.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    [[nodiscard]] int fd() const { return fd_; }

private:
    int fd_;
};

std::u16string systemErrorText(int error) {
    return text::fromUtf8(std::error_code(error, std::generic_category()).message());
}

// Throws away what the device sent before: the rest of a version reply, or bytes of a device
// that talks out of turn. Only bytes that come after the last piece can be its answer, and the
// device cannot answer before it has that piece, so this runs before every send.
void dropEarlierBytes(const net::Socket& socket) {
    std::array<std::uint8_t, 4096> scrap{};
    // Bounded: a device that keeps sending cannot hold the upload here.
    for (int i = 0; i < 16 && net::receiveAvailable(socket, scrap) == scrap.size(); ++i) {
    }
}

// Sends all of `data`: a send that took only part of it is continued, within one time-out for
// the whole buffer. False on an error, a closed peer, or when the time-out ran out.
bool sendAll(const net::Socket& socket, const std::uint8_t* data, std::size_t size, int timeoutMs) {
    dropEarlierBytes(socket);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < size) {
        const long sent = net::sendBytes(socket, data + done, size - done);
        if (sent <= 0) return false;
        done += static_cast<std::size_t>(sent);
        if (done < size && Clock::now() >= deadline) return false;
    }
    return true;
}

// Reads up to `size` bytes, from the file's current position, stopping early only at its end.
long readPiece(int fd, std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long>(done);
}

}  // namespace

const char* statusName(UploadStatus status) {
    switch (status) {
        case UploadStatus::NotConnected:
            return "not-connected";
        case UploadStatus::NoFile:
            return "no-file";
        case UploadStatus::NameTooLong:
            return "name-too-long";
        case UploadStatus::NotNewer:
            return "not-newer";
        case UploadStatus::WrongFile:
            return "wrong-file";
        case UploadStatus::FileError:
            return "file-error";
        case UploadStatus::FileTooLarge:
            return "file-too-large";
        case UploadStatus::HeaderNotSent:
            return "header-not-sent";
        case UploadStatus::StreamFailed:
            return "stream-failed";
        case UploadStatus::Cancelled:
            return "cancelled";
        case UploadStatus::NoAnswer:
            return "no-answer";
        case UploadStatus::Refused:
            return "refused";
        case UploadStatus::Accepted:
            return "accepted";
    }
    return "unknown";
}

bool nothingSent(UploadStatus status) {
    return status == UploadStatus::NotConnected || status == UploadStatus::NoFile ||
           status == UploadStatus::NameTooLong || status == UploadStatus::NotNewer ||
           status == UploadStatus::WrongFile || status == UploadStatus::FileError ||
           status == UploadStatus::FileTooLarge;
}

FirmwareUploader::FirmwareUploader(const UpgradeProfile& profile, UploadObserver& observer,
                                   Connection connection)
    : profile_(profile),
      observer_(observer),
      ownSlot_(connection == Connection::Own ? std::make_unique<UploadSlot>() : nullptr),
      slot_(ownSlot_ ? *ownSlot_ : profile.slot) {}

FirmwareUploader::~FirmwareUploader() {
    cancel();
}

int FirmwareUploader::SetTarget(int port, std::string_view address) {
    port_ = static_cast<std::uint16_t>(port & 0xFFFF);
    const std::string_view text = address.substr(0, address.find('\0'));
    address_ = std::string(text.substr(0, std::min<std::size_t>(text.size(), 63)));
    return 1;
}

bool FirmwareUploader::connect() {
    if (slot_.claimed.load()) return false;
    std::lock_guard guard(slot_.mutex);
    reconnect_ = false;
    return net::connectSocket(address_, port_, slot_.socket, profile_.ioTimeoutMs);
}

bool FirmwareUploader::connected() const {
    std::lock_guard guard(slot_.mutex);
    return slot_.socket.valid();
}

VersionAnswer askVersion(const UpgradeProfile& profile, const net::Socket& socket) {
    if (!socket) return {};
    const protocol::Frame query = protocol::tcpQuery(profile.versionCommand);
    if (net::sendBytes(socket, query.bytes.data(), query.size) != static_cast<long>(query.size)) {
        return {};
    }
    std::array<std::uint8_t, 260> reply{};
    const protocol::ReplyRead got =
        protocol::receiveReply(socket, reply, profile.ioTimeoutMs, protocol::needsVersionText);
    if (!got.usable() || got.count == 0) return {{}, got.unanswered()};
    return {protocol::versionFromReply(std::span<const std::uint8_t>(reply.data(), got.count)),
            false};
}

std::u16string queryVersion(const UpgradeProfile& profile, const net::Socket& socket) {
    return askVersion(profile, socket).version;
}

void FirmwareUploader::QueryFirmwareVersion() {
    std::lock_guard guard(slot_.mutex);
    std::u16string version = queryVersion(profile_, slot_.socket);
    if (version.empty()) return;
    std::lock_guard versionGuard(versionMutex_);
    currentVersion_ = std::move(version);
}

bool FirmwareUploader::adopt(net::Socket socket, std::u16string version) {
    if (slot_.claimed.load()) return false;
    {
        std::lock_guard guard(slot_.mutex);
        reconnect_ = false;
        slot_.socket = std::move(socket);
    }
    if (version.empty()) return true;
    std::lock_guard versionGuard(versionMutex_);
    currentVersion_ = std::move(version);
    return true;
}

std::u16string FirmwareUploader::currentVersion() const {
    std::lock_guard guard(versionMutex_);
    return currentVersion_;
}

bool FirmwareUploader::busy() const {
    return DeviceUploads::receiving(address_);
}

bool FirmwareUploader::start(std::string packagePath) {
    if (worker_.joinable() && worker_.get_id() == std::this_thread::get_id()) return false;
    bool expected = false;
    if (!slot_.claimed.compare_exchange_strong(expected, true)) return false;
    if (!DeviceUploads::claim(address_)) {
        slot_.claimed = false;
        return false;
    }
    if (worker_.joinable()) worker_.join();  // the last one has ended: it gave up its claims
    cancel_ = false;
    running_ = true;
    worker_ = std::thread([this, path = std::move(packagePath), device = address_] {
        const UploadOutcome outcome = UploadFirmware(path);
        DeviceUploads::release(device);
        slot_.claimed = false;
        running_ = false;
        observer_.uploadFinished(outcome);
    });
    return true;
}

void FirmwareUploader::cancel() {
    cancel_ = true;
    {
        std::lock_guard guard(activeMutex_);
        active_.shutdown();
    }
    wait();
}

void FirmwareUploader::wait() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

net::Socket FirmwareUploader::takeConnection() {
    std::lock_guard guard(slot_.mutex);
    if (reconnect_ && profile_.keepConnection) {
        reconnect_ = false;
        net::connectSocket(address_, port_, slot_.socket, profile_.ioTimeoutMs);
    }
    return std::move(slot_.socket);
}

void FirmwareUploader::releaseConnection(bool keep) {
    net::Socket socket;
    {
        std::lock_guard guard(activeMutex_);
        socket = std::move(active_);
    }
    if (!socket) return;
    if (!keep) return;  // closes with `socket`
    std::lock_guard guard(slot_.mutex);
    slot_.socket = std::move(socket);
}

UploadOutcome FirmwareUploader::finish(UploadOutcome outcome, bool keepConnection) {
    using enum UploadStatus;
    // The rest are silent, but for the file errors, whose text the caller has set.
    if (outcome.status == StreamFailed) {
        outcome.message = std::u16string(profile_.sendFailedMessage);
    } else if (outcome.status == Accepted) {
        outcome.message = std::u16string(profile_.successMessage);
    }
    outcome.closeDialog = outcome.status == Accepted ||
                          (profile_.closeAfterEveryAttempt && outcome.status != Cancelled);
    if (!keepConnection && profile_.keepConnection) reconnect_ = true;
    releaseConnection(keepConnection);
    return outcome;
}

UploadOutcome FirmwareUploader::UploadFirmware(const std::string& packagePath) {
    using enum UploadStatus;
    UploadOutcome outcome;
    holdConnection();
    // The connection is only touched by this thread from here on; cancel() may shut it down.
    const net::Socket& socket = active_;
    const bool keepBeforeOpen = true;
    const bool keepAfterOpen = profile_.keepConnection;

    const auto silent = [&](UploadStatus status) {
        outcome.status = status;
        return finish(std::move(outcome), keepBeforeOpen);
    };
    if (!socket) return silent(NotConnected);
    const std::string_view name = fileNameOf(packagePath);
    if (name.empty()) return silent(NoFile);
    const std::u16string wideName = text::fromUtf8(name);
    if (!fitsUploadNameField(wideName)) {
        outcome.status = NameTooLong;
        outcome.message = std::u16string(text::msg::kUpgradeFileNameTooLong);
        return finish(std::move(outcome), keepBeforeOpen);
    }
    if (profile_.checkPackageVersion) {
        if (!isCameraPackage(currentVersion(), wideName)) {
            outcome.status = WrongFile;
            outcome.message = std::u16string(text::msg::kWrongUpgradeFile);
            return finish(std::move(outcome), keepBeforeOpen);
        }
        if (!IsNewerPackage(currentVersion(), wideName)) return silent(NotNewer);
    }

    // Not blocking: a named pipe given as the package must not hold the worker in open().
    const FileHandle file(::open(packagePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const auto fileError = [&](std::u16string message, bool keep) {
        outcome.status = FileError;
        outcome.message = std::move(message);
        return finish(std::move(outcome), keep);
    };
    if (file.fd() < 0) return fileError(systemErrorText(errno), keepBeforeOpen);
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0) return fileError(systemErrorText(errno), keepAfterOpen);
    // A folder, a pipe or a device has no size to announce: refused before the first frame.
    if (!S_ISREG(info.st_mode)) {
        return fileError(std::u16string(text::msg::kUpgradeFileNotRegular), keepAfterOpen);
    }
    std::uint8_t first = 0;
    if (info.st_size > 0 && ::pread(file.fd(), &first, 1, 0) != 1) {
        return fileError(systemErrorText(errno == 0 ? EIO : errno), keepAfterOpen);
    }
    if (static_cast<std::uint64_t>(info.st_size) > kLargestPackage) {
        outcome.status = FileTooLarge;
        outcome.message = std::u16string(text::msg::kUpgradeFileTooLarge);
        return finish(std::move(outcome), keepAfterOpen);
    }
    const auto size = static_cast<std::uint32_t>(info.st_size);
    outcome.fileSize = size;

    if (auto ended = sendPackage(socket, file.fd(), wideName, outcome)) return std::move(*ended);
    return readAnswer(socket, std::move(outcome));
}

void FirmwareUploader::holdConnection() {
    net::Socket taken = takeConnection();
    std::lock_guard guard(activeMutex_);
    active_ = std::move(taken);
    // A cancel that came before the connection was ours finds it shut down here.
    if (cancel_) active_.shutdown();
}

std::optional<UploadOutcome> FirmwareUploader::sendPackage(const net::Socket& socket, int file,
                                                           const std::u16string& wideName,
                                                           UploadOutcome& outcome) {
    using enum UploadStatus;
    const std::uint32_t size = outcome.fileSize;
    const protocol::Frame frameA = protocol::uploadNameFrame(profile_.uploadCommand, wideName);
    const protocol::Frame frameB = protocol::uploadSizeFrame(profile_.uploadCommand, size);
    if (cancel_ || !sendAll(socket, frameA.bytes.data(), frameA.size, profile_.ioTimeoutMs) ||
        !sendAll(socket, frameB.bytes.data(), frameB.size, profile_.ioTimeoutMs)) {
        outcome.status = cancel_ ? Cancelled : HeaderNotSent;
        return finish(std::move(outcome), false);
    }
    observer_.uploadStarted(progressUpper(size), size);

    std::array<std::uint8_t, kPieceSize> piece{};
    std::uint64_t remaining = size;
    while (remaining > 0) {
        if (cancel_) {
            outcome.status = Cancelled;
            return finish(std::move(outcome), false);
        }
        piece.fill(0);
        // Never more than announced, even when the file has grown since.
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kPieceSize));
        const long got = readPiece(file, piece.data(), want);
        // A file that shrank (or cannot be read) can no longer deliver the announced size.
        if (got <= 0 ||
            !sendAll(socket, piece.data(), static_cast<std::size_t>(got), profile_.ioTimeoutMs)) {
            outcome.status = cancel_ ? Cancelled : StreamFailed;
            return finish(std::move(outcome), false);
        }
        ++outcome.pieces;
        outcome.bytesSent += static_cast<std::uint64_t>(got);
        remaining -= static_cast<std::uint64_t>(got);
        std::this_thread::sleep_for(std::chrono::milliseconds(kPiecePauseMs));
        observer_.uploadProgress(outcome.pieces, outcome.bytesSent);
    }
    return std::nullopt;
}

UploadOutcome FirmwareUploader::readAnswer(const net::Socket& socket, UploadOutcome outcome) {
    using enum UploadStatus;
    // The 6-byte answer; its tag (byte 1) says whether the device took the package. Pieces are
    // joined within one receive time-out for the whole answer, and the wait ends once the tag
    // is in: the other bytes are not read.
    std::array<std::uint8_t, 6> answer{};
    const protocol::ReplyRead received =
        protocol::receiveReply(socket, answer, profile_.ioTimeoutMs, protocol::needsUploadAnswer);
    if (cancel_) {
        outcome.status = Cancelled;
        return finish(std::move(outcome), false);
    }
    if (received.count < 2) {
        outcome.status = NoAnswer;
        if (received.unanswered()) {
            outcome.message = protocol::noAnswerText(address_, profile_.ioTimeoutMs);
        }
        return finish(std::move(outcome), false);
    }
    outcome.answered = true;
    outcome.answerTag = answer[1];
    outcome.status = answer[1] == 1 ? Accepted : Refused;
    return finish(std::move(outcome), profile_.keepConnection);
}

}  // namespace tarvo::upgrade
