#include "core/net/ReplyFrameTap.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace tarvo::net {

namespace {

// A reader that stops asking keeps at most this many frames (the oldest go first).
constexpr std::size_t kReaderFrames = 1 << 16;
// The helper opens its socket in milliseconds; a loaded machine may take longer.
constexpr auto kStartWait = std::chrono::seconds(3);
// It answers a request for what it holds in a round trip; a stalled helper costs a receive
// thread no more than this (the frame then comes with a later call).
constexpr auto kCatchUpWait = std::chrono::milliseconds(500);

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Starts `helper` with its stdin and stdout on new pipes; its pid, or -1.
pid_t spawnHelper(const std::string& helper, int& toHelper, int& fromHelper) {
    // The helper's stdin is a socket, not a pipe: a byte sent to a helper that just ended
    // must not raise SIGPIPE in the program.
    std::array<int, 2> in{-1, -1};
    std::array<int, 2> out{-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in.data()) != 0) return -1;
    if (::pipe2(out.data(), O_CLOEXEC) != 0) {
        closeFd(in[0]);
        closeFd(in[1]);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string path = helper;
    std::array<char*, 2> argv{path.data(), nullptr};
    std::array<char*, 1> environment{nullptr};  // it needs none
    pid_t pid = -1;
    if (::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environment.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    closeFd(in[0]);
    closeFd(out[1]);
    if (pid < 0) {
        closeFd(in[1]);
        closeFd(out[0]);
        return -1;
    }
    toHelper = in[1];
    fromHelper = out[0];
    return pid;
}

}  // namespace

std::string ReplyFrameTap::helperPath() {
    if (const char* set = std::getenv("TARVO_MACWATCH"); set != nullptr && *set != '\0') return set;
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    const auto folder = program.parent_path();
    for (const auto& candidate :
         {folder / "../lib/tarvo/tarvo-macwatch", folder / "../macwatch/tarvo-macwatch"}) {
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.lexically_normal().string();
    }
    return {};
}

ReplyFrameTap& ReplyFrameTap::shared() {
    static ReplyFrameTap tap(helperPath());
    return tap;
}

ReplyFrameTap::~ReplyFrameTap() {
    stop();
}

void ReplyFrameTap::stop() {
    closeFd(toHelper_);                         // the helper ends when its stdin does
    if (pid_ > 0) (void)::kill(pid_, SIGTERM);  // and surely: the reader must not wait long
    if (reader_.joinable()) reader_.join();
    closeFd(fromHelper_);
    if (pid_ > 0) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

void ReplyFrameTap::start(std::unique_lock<std::mutex>& guard) {
    state_ = State::Failed;
    if (helper_.empty()) return;
    pid_ = spawnHelper(helper_, toHelper_, fromHelper_);
    if (pid_ < 0) return;
    state_ = State::Starting;
    reader_ = std::thread([this] { readRecords(); });
    changed_.wait_for(guard, kStartWait, [this] { return state_ != State::Starting; });
    // No word in time: it reads nothing then, and it is not waited for again.
    if (state_ == State::Starting) state_ = State::Failed;
}

void ReplyFrameTap::readRecords() {
    std::vector<std::uint8_t> pending;
    std::array<std::uint8_t, 64 * kReplyRecordSize> chunk{};
    for (;;) {
        const ssize_t got = ::read(fromHelper_, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the helper ended
        pending.insert(pending.end(), chunk.begin(), chunk.begin() + got);
        const std::size_t whole = pending.size() - pending.size() % kReplyRecordSize;
        std::lock_guard guard(mutex_);
        for (std::size_t at = 0; at < whole; at += kReplyRecordSize) {
            const std::span<const std::uint8_t, kReplyRecordSize> record(pending.data() + at,
                                                                         kReplyRecordSize);
            if (isReadyRecord(record)) {
                if (state_ == State::Starting) state_ = State::Running;
            } else if (const auto count = readSyncRecord(record)) {
                syncDone_ = *count;
            } else if (const auto frame = readFrameRecord(record);
                       frame && state_ == State::Running) {
                deliver(*frame);
            }
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(whole));
        changed_.notify_all();
    }
    std::lock_guard guard(mutex_);
    state_ = State::Failed;
    changed_.notify_all();
}

void ReplyFrameTap::deliver(const ReplyFrame& frame) {
    for (auto& [id, reader] : readers_) {
        if (reader.interfaceIndex != frame.interfaceIndex) continue;
        if (reader.frames.size() >= kReaderFrames) reader.frames.pop_front();
        reader.frames.emplace_back(frame.sender, frame.mac);
    }
}

ReplyFrameTap::ReaderId ReplyFrameTap::subscribe(unsigned interfaceIndex) {
    std::unique_lock guard(mutex_);
    if (state_ == State::NotStarted) start(guard);
    if (state_ != State::Running) return 0;
    const ReaderId id = nextReader_++;
    readers_[id].interfaceIndex = interfaceIndex;
    return id;
}

void ReplyFrameTap::unsubscribe(ReaderId reader) {
    std::lock_guard guard(mutex_);
    readers_.erase(reader);
}

void ReplyFrameTap::catchUp(std::unique_lock<std::mutex>& guard) {
    if (state_ != State::Running) return;
    const char ask = 0;
    // A full buffer (a stalled helper) must not block a receive thread either.
    if (::send(toHelper_, &ask, 1, MSG_NOSIGNAL | MSG_DONTWAIT) != 1) return;
    const std::uint32_t mine = ++syncAsked_;
    // Counts wrap: `mine` is answered once the answer is not behind it.
    changed_.wait_for(guard, kCatchUpWait, [&] {
        return state_ != State::Running || static_cast<std::int32_t>(syncDone_ - mine) >= 0;
    });
}

void ReplyFrameTap::take(ReaderId reader, const FrameSink& sink, std::uint32_t sender) {
    std::deque<std::pair<std::uint32_t, MacAddress>> frames;
    {
        std::unique_lock guard(mutex_);
        const auto asked = readers_.find(reader);
        if (asked == readers_.end()) return;
        // In a burst of replies the helper is mostly ahead: no round trip then.
        const auto& queued = asked->second.frames;
        const bool atHand =
            sender != 0 && std::any_of(queued.begin(), queued.end(),
                                       [&](const auto& f) { return f.first == sender; });
        if (!atHand) catchUp(guard);
        const auto found = readers_.find(reader);  // it may have gone meanwhile
        if (found == readers_.end()) return;
        frames.swap(found->second.frames);
    }
    // Outside the lock: the sink takes the device table's.
    for (const auto& [sender, mac] : frames) sink(sender, mac);
}

}  // namespace tarvo::net
