#include "cli/CliNotifier.h"

#include <cstdio>

#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::cli {

void CliNotifier::message(std::u16string_view text) {
    emit("message", text);
}

void CliNotifier::systemError(std::u16string_view text) {
    emit("error", text);
}

bool CliNotifier::report(const protocol::Outcome& outcome) {
    const bool ok = outcome.report(*this);
    if (outcome.loginRefused) message(text::msg::kLoginRefusedNote);
    return ok;
}

std::vector<CliNotifier::Entry> CliNotifier::entries() const {
    std::lock_guard guard(mutex_);
    return entries_;
}

void CliNotifier::emit(const char* kind, std::u16string_view text) {
    std::lock_guard guard(mutex_);
    std::string line = text::toUtf8(text::tr(text));
    if (echo_) {
        (void)std::fprintf(stderr, "%s\n", line.c_str());
        (void)std::fflush(stderr);
    }
    entries_.push_back({kind, std::move(line)});
}

}  // namespace tarvo::cli
