#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/net/Socket.h"
#include "core/protocol/Outcome.h"
#include "core/text/Reason.h"
#include "core/upgrade/FirmwareUploader.h"
#include "core/upgrade/PackageRules.h"

namespace tarvo::ops {

// The firmware upgrade of one device, the same for the single dialogs, the batch window and the
// command line:
//
//   package name -> NVR part rule -> login -> connect -> version -> package rules -> start
//
// The package rules (a camera package newer than the camera) are the upload's own, checked by
// the uploader's worker before its first frame. The window runs the network steps one at a
// time off its thread (checkLogin and openConnection touch nothing but their arguments); the
// batch and the command line run them in one go with run().
struct UpgradeRequest {
    std::string address;
    std::uint16_t port = 0;
    int type = 0;
    bool nvr = false;  // the device takes NVR part files (its capability)
    std::u16string user;
    std::u16string password;
    std::string packagePath;
};

// Where a run stopped. An NVR that does not say its version goes on (its parts carry none); a
// camera's package is judged by its version, so a camera that does not say it stops at Version.
enum class UpgradeStep { Package, PartRule, Login, Connect, Version, Start, Started };

// An NVR takes only its four part files, told by name; nothing for a camera (its rules come
// with the upload).
std::optional<upgrade::NvrPart> partRule(bool nvr, std::string_view packagePath);
// The login dialog's check of the credentials.
protocol::Outcome checkLogin(const UpgradeRequest& request);

// A connection for the upload and the version the device said on it.
struct UpgradeConnection {
    net::Socket socket;              // invalid: the device could not be reached
    std::u16string version;          // empty: no answer
    bool versionUnanswered = false;  // no answer to the version query within the time-out
};
UpgradeConnection openConnection(const upgrade::UpgradeProfile& profile, std::string_view address,
                                 std::uint16_t port);
// The message for a connection that could not be made.
std::u16string_view connectFailedText(bool nvr);

struct UpgradeProgress {
    UpgradeStep reached = UpgradeStep::Package;  // the step that failed, or Started
    protocol::Outcome outcome;                   // the failed step's message, if it has one
    std::optional<upgrade::NvrPart> part;
    std::u16string version;
    text::Reason why;  // the failed step's reason, where the message alone does not keep it
};

// Every step up to the start of the upload, on the calling thread; the uploader's worker then
// streams the file. `stopped` is asked between the steps: a stop ends the run where it is,
// with its step as `reached` and no message.
UpgradeProgress runUpgrade(const UpgradeRequest& request, upgrade::FirmwareUploader& uploader,
                           const std::function<bool()>& stopped = {});

// What the upload of one device of a batch did, the same for every front end.
struct UploadAttempt {
    bool accepted = false;      // the device took the package (answer tag 1)
    bool sentAnything = false;  // some byte of the upload went out
    std::u16string oldVersion;  // the version it said before the upload (empty: none)
    text::Reason detail;        // why not; kept as a key, shown in the reader's language
};
// The attempt from the steps of runUpgrade and, when the upload started, its outcome (nothing:
// the front end stopped it before it ended).
UploadAttempt attemptOf(const UpgradeProgress& steps, bool nvr,
                        const std::optional<upgrade::UploadOutcome>& outcome);
// The attempt on a device the sequence was not run for: the search did not hear it (no
// type), or its type takes no firmware.
UploadAttempt attemptNotRun(std::string_view address, std::optional<int> type);

}  // namespace tarvo::ops
