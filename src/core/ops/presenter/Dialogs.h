#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/protocol/CCamClient.h"
#include "core/protocol/Outcome.h"

namespace tarvo::ops {

// What the login dialog hands back. `accepted` is false when the user cancelled; the other
// fields are then meaningless.
struct LoginDialogResult {
    bool accepted = false;
    std::u16string user;
    std::u16string password;
    int port = 0;
    int streamChoice = 0;  // 0 main stream ("高清"), 1 D1, 2 CIF
};

// The windows the device operations need from whoever shows them: the desktop program runs its
// dialogs, the command line answers from its arguments, tests script the answers.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The login dialog, opened with `port` in its port field. NVR mode hides the stream choice
    // and always starts from the NVR port.
    virtual LoginDialogResult runLogin(int port, bool nvrMode) = 0;
    // Opens a web page in the user's browser.
    virtual void openUrl(std::u16string_view url) = 0;
    // Lets `milliseconds` pass while the window keeps repainting and takes no other operation.
    virtual void waitMs(int milliseconds) = 0;
    // Runs one network exchange (connect, login, a query). A window runs it off its own thread
    // and keeps repainting, shows that it waits and takes no other operation meanwhile; `step`
    // must therefore touch nothing but what it was given. Its outcome, or nothing when the user
    // cancelled the wait (the step's outcome is then dropped).
    virtual std::optional<protocol::Outcome> runNetworkStep(
        std::function<protocol::Outcome()> step) {
        return step();
    }

    // The operation windows. Each runs modally and returns when the user closed it; the
    // defaults show nothing, for front ends that do not have the window (yet).
    virtual void runPreview(const protocol::LoginInfo& /*target*/) {}
    virtual void runCameraUpgrade(const std::string& /*address*/, int /*port*/) {}
    virtual void runNvrUpgrade(const std::string& /*address*/, int /*port*/) {}
    virtual void runNvrConfig(const std::string& /*address*/, int /*port*/) {}
};

}  // namespace tarvo::ops
