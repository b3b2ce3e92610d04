#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/text/Notifier.h"

namespace tarvo::test {

// Keeps every text the core wanted to show, in order; safe from any thread.
class RecordingNotifier final : public text::Notifier {
public:
    struct Entry {
        bool systemError = false;
        std::u16string text;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    void message(std::u16string_view text) override { add(false, text); }
    void systemError(std::u16string_view text) override { add(true, text); }

    std::vector<Entry> entries() const {
        std::lock_guard guard(mutex_);
        return entries_;
    }
    std::vector<std::u16string> texts() const {
        std::lock_guard guard(mutex_);
        std::vector<std::u16string> out;
        for (const auto& e : entries_) out.push_back(e.text);
        return out;
    }
    void clear() {
        std::lock_guard guard(mutex_);
        entries_.clear();
    }

private:
    void add(bool error, std::u16string_view text) {
        std::lock_guard guard(mutex_);
        entries_.push_back({error, std::u16string(text)});
    }
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace tarvo::test
