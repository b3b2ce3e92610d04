#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <utility>

#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::cli {

class CliNotifier;

struct GlobalOptions {
    bool json = false;
};

// Exit statuses of tarvo-cli. `upgrade` tells apart how a transfer ended; every other command
// ends with kOk, kFailed or kUsage.
namespace exitcode {
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;       // the device refused, did not answer or was not found
inline constexpr int kUsage = 2;        // the command line was wrong; nothing was sent
inline constexpr int kNoAnswer = 3;     // upgrade: all sent, the device did not answer
inline constexpr int kBrokenOff = 4;    // upgrade: the transfer failed part-way
inline constexpr int kNothingSent = 5;  // upgrade: refused before the first byte
}  // namespace exitcode

// How one command on one device ended: its exit status, a line for the user, and the values it
// reports. Built up while the command runs and printed once at its end.
struct Outcome {
    Outcome(std::string command_, std::string ip_ = {}, int exitCode_ = exitcode::kFailed,
            std::string message_ = {}, nlohmann::json fields_ = nlohmann::json::object())
        : command(std::move(command_)),
          ip(std::move(ip_)),
          exitCode(exitCode_),
          message(std::move(message_)),
          fields(std::move(fields_)) {}

    std::string command;
    std::string ip;
    int exitCode = exitcode::kFailed;
    // One line: on stdout after success, on stderr otherwise (as typed, escaped when printed).
    std::string message;
    // Merged into the JSON object; in text mode printed only by the command itself.
    nlohmann::json fields = nlohmann::json::object();

    [[nodiscard]] bool ok() const { return exitCode == exitcode::kOk; }
};

// The outcome as one JSON object on stdout with --json (with the notifier's messages, when
// given), else its message as a line of text. Returns its exit status.
int finish(const GlobalOptions& global, const Outcome& outcome,
           const CliNotifier* notifier = nullptr);

// The outcome as that JSON object, for commands that report several devices at once.
nlohmann::json toJson(const Outcome& outcome, const CliNotifier* notifier = nullptr);

// A catalogue text in the language shown, its %1, %2, ... filled with `values` (UTF-8), as
// UTF-8: every line the command line writes for the user is made here or by the notifier.
template <typename... Values>
std::string said(std::u16string_view text, const Values&... values) {
    return text::toUtf8(text::formatText(text::tr(text), {text::fromUtf8(values)...}));
}

// True when standard error is a terminal: progress is shown there only.
bool stderrIsTerminal();

}  // namespace tarvo::cli
