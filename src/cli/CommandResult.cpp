#include "cli/CommandResult.h"

#include <unistd.h>

#include <iostream>

#include "cli/CliNotifier.h"
#include "cli/JsonOutput.h"
#include "core/text/TerminalText.h"

namespace tarvo::cli {

nlohmann::json toJson(const Outcome& outcome, const CliNotifier* notifier) {
    nlohmann::json out = {{"command", outcome.command}};
    if (!outcome.ip.empty()) out["ip"] = outcome.ip;
    out["ok"] = outcome.ok();
    out["exitCode"] = outcome.exitCode;
    out.update(outcome.fields);
    if (!outcome.message.empty()) out["message"] = outcome.message;
    if (notifier != nullptr) {
        auto messages = nlohmann::json::array();
        for (const auto& e : notifier->entries())
            messages.push_back({{"kind", e.kind}, {"text", e.text}});
        out["messages"] = messages;
    }
    return out;
}

int finish(const GlobalOptions& global, const Outcome& outcome, const CliNotifier* notifier) {
    if (global.json) {
        printJson(toJson(outcome, notifier));
    } else if (!outcome.message.empty()) {
        (outcome.ok() ? std::cout : std::cerr)
            << text::escapeControls(outcome.message) << std::endl;
    }
    return outcome.exitCode;
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace tarvo::cli
