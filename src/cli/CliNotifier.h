#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/protocol/Outcome.h"
#include "core/text/Notifier.h"

namespace tarvo::cli {

// Writes every message to stderr, one a line, exactly as the text reads, and keeps them for
// the JSON result. Safe to call from any thread.
class CliNotifier final : public text::Notifier {
public:
    struct Entry {
        std::string kind;  // "message" or "error"
        std::string text;  // UTF-8
    };

    // Without `echo` the messages are only kept (a batch prints them with their device).
    explicit CliNotifier(bool echo = true) : echo_(echo) {}

    void message(std::u16string_view text) override;
    void systemError(std::u16string_view text) override;

    // Shows the outcome's message, and for a login the device refused a line that says so
    // (its own message, "Control failed", names no cause). Whether the command succeeded.
    bool report(const protocol::Outcome& outcome);

    // A copy: receive threads may still add messages.
    [[nodiscard]] std::vector<Entry> entries() const;

private:
    void emit(const char* kind, std::u16string_view text);
    const bool echo_;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace tarvo::cli
