#pragma once

#include <cstdint>
#include <string_view>

#include "core/upgrade/UploadSlot.h"

namespace tarvo::upgrade {

// What differs between a camera upload and an NVR upload; the engine is the same.
struct UpgradeProfile {
    const char* name;  // "camera" or "NVR", for logs and the command line
    std::uint8_t versionCommand;
    std::uint8_t uploadCommand;
    int ioTimeoutMs;  // send and receive time-outs of the connection
    // Cameras refuse packages that are not newer than what they run (IsNewerPackage).
    bool checkPackageVersion;
    // Cameras keep the connection after an upload; NVRs close it once the file was opened.
    bool keepConnection;
    // The NVR dialog closes after every attempt; the camera dialog only after success.
    bool closeAfterEveryAttempt;
    std::u16string_view sendFailedMessage;
    std::u16string_view successMessage;
    UploadSlot& slot;  // the dialogs' connection
};

const UpgradeProfile& cameraUpgrade();
const UpgradeProfile& nvrUpgrade();

}  // namespace tarvo::upgrade
