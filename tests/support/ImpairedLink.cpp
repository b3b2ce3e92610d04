#include "support/ImpairedLink.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tarvo::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kAnswerTimeout = std::chrono::seconds(10);

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("ImpairedLink: " + what);
}

std::string settingsWords(const ImpairSettings& s) {
    std::ostringstream out;
    out << "delay=" << s.delayMs << " jitter=" << s.jitterMs << " loss-in=" << s.lossIn
        << " loss-out=" << s.lossOut << " reorder=" << s.reorder;
    return out.str();
}

}  // namespace

std::string ImpairSettings::describe() const {
    std::ostringstream out;
    out << delayMs << "±" << jitterMs << " ms, loss " << lossIn << "/" << lossOut << " %, reorder "
        << reorder << " %";
    return out.str();
}

std::string ImpairedLink::executablePath() {
    const char* fromEnv = std::getenv("TARVO_IMPAIR");
    if (fromEnv != nullptr && *fromEnv != '\0') return fromEnv;
#ifdef TARVO_IMPAIR_PATH
    return TARVO_IMPAIR_PATH;
#else
    return "tarvo-impair";
#endif
}

ImpairedLink::ImpairedLink(int host, const ImpairSettings& settings, std::uint64_t seed) {
    std::vector<std::string> argv{executablePath(),     std::to_string(host), "--control", "--seed",
                                  std::to_string(seed), "--max-seconds",      "900"};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);

    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        for (int fd : {in[0], in[1], out[0], out[1]})
            if (fd >= 0) ::close(fd);
        fail("pipe: " + std::string(std::strerror(errno)));
    }
    pid_ = ::fork();
    if (pid_ < 0) {
        for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        fail("fork: " + std::string(std::strerror(errno)));
    }
    if (pid_ == 0) {
        if (::dup2(in[0], STDIN_FILENO) < 0 || ::dup2(out[1], STDOUT_FILENO) < 0) ::_exit(126);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    toRelay_ = in[1];
    fromRelay_ = out[0];
    try {
        if (readLine() != "READY") fail("the relay did not come up");
        set(settings);
    } catch (...) {
        stop();
        throw;
    }
}

ImpairedLink::~ImpairedLink() {
    stop();
}

void ImpairedLink::set(const ImpairSettings& settings) {
    const std::string answer = request("set " + settingsWords(settings));
    if (answer != "ok") fail("settings refused: " + answer);
}

nlohmann::json ImpairedLink::stats() {
    return nlohmann::json::parse(request("stats"));
}

std::string ImpairedLink::request(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(toRelay_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        fail("the relay does not take commands");
    return readLine();
}

std::string ImpairedLink::readLine() {
    const auto deadline = Clock::now() + kAnswerTimeout;
    for (;;) {
        const auto end = buffered_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) fail("no answer from the relay");
        pollfd watch{fromRelay_, POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char chunk[512];
        const ssize_t got = ::read(fromRelay_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) fail("the relay ended");
        buffered_.append(chunk, static_cast<std::size_t>(got));
        if (buffered_.size() > 65536) fail("the relay's answer is too long");
    }
}

void ImpairedLink::stop() {
    if (toRelay_ >= 0) ::close(toRelay_);  // the end of its input ends the relay
    toRelay_ = -1;
    if (pid_ > 0) {
        int status = 0;
        bool reaped = false;
        for (int i = 0; i < 200 && !reaped; ++i) {
            reaped = ::waitpid(pid_, &status, WNOHANG) == pid_;
            if (!reaped) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!reaped) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (fromRelay_ >= 0) ::close(fromRelay_);
    fromRelay_ = -1;
}

}  // namespace tarvo::test
