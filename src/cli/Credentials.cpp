#include "cli/Credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>

#include "cli/CommandResult.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::cli {

namespace {

constexpr const char* kEnvironment = "TARVO_PASSWORD";
// Far beyond any device's credential field: a longer first line is not a password.
constexpr std::size_t kMaxLine = 1024;

[[noreturn]] void refuse(const char* option, const std::string& why) {
    throw CLI::ValidationError(option, why);
}

// The system's reason for `error`: the common ones in the language shown, strerror's words (the
// C locale's) for the rest.
std::string reasonOf(int error) {
    switch (error) {
        case ENOENT:
            return said(text::msg::kNoSuchFile);
        case EACCES:
            return said(text::msg::kPermissionDenied);
        case EISDIR:
            return said(text::msg::kIsADirectory);
        default:
            return std::strerror(error);
    }
}

// The first line of `fd` without its line end, or nullopt when the input ended before anything
// came. One byte a read, so that nothing past the line is taken from a shared standard input.
std::optional<std::string> readFirstLine(int fd, const char* option, const std::string& source) {
    std::string line;
    bool any = false;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) refuse(option, said(text::msg::kCannotReadFormat, source, reasonOf(errno)));
        if (got == 0) break;
        any = true;
        if (c == '\n') break;
        if (line.size() == kMaxLine)
            refuse(option,
                   said(text::msg::kFirstLineTooLongFormat, source, std::to_string(kMaxLine)));
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!any) return std::nullopt;
    return line;
}

// The terminal as it was, and as it is while the password is typed; a signal that ends or
// stops the process puts the terminal back first.
termios g_saved{};
termios g_silent{};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

extern "C" void restoreTerminalAndRaise(int signal) {
    const int savedErrno = errno;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    struct sigaction ours {};
    ::sigaction(signal, &fallback, &ours);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);  // ends the process, or stops it until it is continued
    ::sigaction(signal, &ours, nullptr);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_silent);
    errno = savedErrno;
}

// Echo off on standard input (a terminal) for its lifetime; the line end is still echoed.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &g_saved) != 0) return;
        g_silent = g_saved;
        g_silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        g_silent.c_lflag |= ECHONL;
        struct sigaction handler {};
        handler.sa_handler = restoreTerminalAndRaise;
        sigemptyset(&handler.sa_mask);
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            ::sigaction(kSignals[i], nullptr, &previous_[i]);
            // A signal the caller ignores stays ignored.
            if (previous_[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &handler, nullptr);
        }
        installed_ = true;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_silent);
    }
    ~EchoOff() {
        if (!installed_) return;
        // A signal arriving meanwhile waits until the terminal and the handlers are back.
        sigset_t set;
        sigset_t before;
        sigemptyset(&set);
        for (const int signal : kSignals) sigaddset(&set, signal);
        ::sigprocmask(SIG_BLOCK, &set, &before);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            ::sigaction(kSignals[i], &previous_[i], nullptr);
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    bool installed_ = false;
    struct sigaction previous_[std::size(kSignals)]{};
};

std::string fromStandardInput() {
    std::optional<std::string> line;
    if (::isatty(STDIN_FILENO) != 0) {
        std::cerr << said(text::msg::kPasswordPrompt) << ' ' << std::flush;
        {
            const EchoOff silent;
            line = readFirstLine(STDIN_FILENO, "--password", said(text::msg::kStandardInput));
        }
        if (!line) std::cerr << '\n';
    } else {
        line = readFirstLine(STDIN_FILENO, "--password", said(text::msg::kStandardInput));
    }
    if (!line) refuse("--password", said(text::msg::kStandardInputEnded));
    return *line;
}

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

}  // namespace

std::string readSecretFile(const std::string& path, const char* option) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) refuse(option, said(text::msg::kCannotReadFormat, path, reasonOf(errno)));
    const FileCloser closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        (status.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        std::cerr << text::escapeControls(
                         said(text::msg::kPasswordFileReadableFormat, path, "chmod go-r"))
                  << std::endl;
    }
    return readFirstLine(fd, option, path).value_or(std::string());
}

void warnVisibleSecret(const char* option, const char* instead) {
    std::cerr << said(text::msg::kSecretVisibleFormat, option, instead) << std::endl;
}

void Password::resolve() {
    if (given && *given != "-") {
        // Every local user can read it in the process list while the command runs.
        warnVisibleSecret("--password", "--password -, --password-file, TARVO_PASSWORD");
        value = *given;
    } else if (file) {
        value = readSecretFile(*file, "--password-file");
    } else if (given) {
        value = fromStandardInput();
    } else {
        const char* environment = std::getenv(kEnvironment);
        value = environment != nullptr ? environment : "";
    }
}

void addPasswordOptions(CLI::App& sub, Password& password) {
    CLI::Option* given =
        sub.add_option("--password", password.given,
                       "Password; - reads one line from standard input (no echo on a terminal). "
                       "A value written here is visible to every local user in the process "
                       "list: prefer -, --password-file or TARVO_PASSWORD. "
                       "Default: $TARVO_PASSWORD, else empty");
    sub.add_option("--password-file", password.file,
                   "Read the password from the first line of FILE")
        ->type_name("FILE")
        ->excludes(given);
}

}  // namespace tarvo::cli
