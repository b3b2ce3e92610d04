#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/protocol/CCamClient.h"
#include "core/protocol/Outcome.h"

namespace tarvo::protocol {

// Credentials as the login dialog passes them on: each text narrowed into a 16-byte field; a text
// that does not fit with its terminator becomes empty.
std::string narrowCredential(std::u16string_view text);
LoginInfo makeLoginInfo(std::string_view address, std::uint16_t port, std::u16string_view user,
                        std::u16string_view password, int streamChoice, int deviceType);

// TCP login with the given credentials, then the connection is closed again.
// Ok only when the device accepted them; a failure carries the connect's or the login's message.
Outcome loginCheck(const LoginInfo& info);

// Logs in and, only when the login was accepted, sends the reboot command (130) on the same
// connection. Ok when the reboot frame went out; "Control failed" when it could not be sent.
Outcome rebootDevice(const LoginInfo& info);

// Asks the camera for its version (103) and checks it against its type's minimum.
// `version` receives the version without its leading v (e.g. 00.00.22.06) once the reply was
// well formed, and stays empty otherwise; every failure carries its message (none for an empty
// address).
Outcome checkCameraVersion(std::string_view address, std::uint16_t port, std::u16string& version);

// The version text of a 103/231 reply: bytes from offset 6 to the first NUL or the end of what
// arrived, widened into 64 units (a longer text counts as empty).
std::u16string versionFromReply(std::span<const std::uint8_t> reply);

}  // namespace tarvo::protocol
