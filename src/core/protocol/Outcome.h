#pragma once

#include <string>
#include <string_view>

#include "core/text/Notifier.h"

namespace tarvo::protocol {

// What a device command ended with: whether it succeeded and the one message, if any, that the
// user is to see. The command itself shows nothing; its caller shows the message through its
// own notifier, so the same command serves the window, the command line and the tests.
struct Outcome {
    enum class Box { None, Message, SystemError };

    bool ok = false;
    Box box = Box::None;
    std::u16string message;
    // The device answered the login and refused it: the message alone ("Control failed") does
    // not say so, and a front end may name the cause.
    bool loginRefused = false;

    static Outcome success() { return {true, Box::None, {}, false}; }
    static Outcome silentFailure() { return {}; }
    static Outcome failure(std::u16string_view text) {
        return {false, Box::Message, std::u16string(text), false};
    }
    static Outcome refusedLogin(std::u16string_view text) {
        Outcome refused = failure(text);
        refused.loginRefused = true;
        return refused;
    }
    static Outcome systemFailure(std::u16string_view text) {
        return {false, Box::SystemError, std::u16string(text), false};
    }

    // Shows the message, if there is one, and answers whether the command succeeded.
    bool report(text::Notifier& notifier) const {
        if (box == Box::Message) notifier.message(message);
        if (box == Box::SystemError) notifier.systemError(message);
        return ok;
    }
};

}  // namespace tarvo::protocol
