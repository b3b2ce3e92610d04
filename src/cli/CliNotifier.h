#pragma once

#include <string>
#include <vector>

#include "core/ops/Notifier.h"

namespace tarvo::cli {

// Writes every message to stderr, one a line, exactly as the text reads, and keeps them for
// the JSON result.
class CliNotifier final : public ops::Notifier {
public:
    struct Entry {
        std::string kind;  // "message" or "error"
        std::string text;  // UTF-8
    };

    void message(std::u16string_view text) override;
    void systemError(std::u16string_view text) override;

    [[nodiscard]] const std::vector<Entry>& entries() const { return entries_; }

private:
    void emit(const char* kind, std::u16string_view text);
    std::vector<Entry> entries_;
};

}  // namespace tarvo::cli
