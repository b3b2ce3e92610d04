#include "core/upgrade/UpgradeProfile.h"

#include "core/protocol/CommandCodes.h"
#include "core/text/Messages.h"

namespace tarvo::upgrade {

UploadSlot g_cameraUpgradeSocket;
UploadSlot g_nvrUpgradeSocket;

const UpgradeProfile& cameraUpgrade() {
    static const UpgradeProfile profile{
        "camera",
        protocol::cmd::kCameraVersion,
        protocol::cmd::kCameraUpload,
        5000,
        true,
        true,
        false,
        text::msg::kUpgradeFailed,
        text::msg::kCameraUpgradeStarted,
        g_cameraUpgradeSocket,
    };
    return profile;
}

const UpgradeProfile& nvrUpgrade() {
    static const UpgradeProfile profile{
        "NVR",
        protocol::cmd::kNvrVersion,
        protocol::cmd::kNvrUpload,
        15000,
        false,
        false,
        true,
        text::msg::kNvrUpgradeFailed,
        text::msg::kNvrUpgradeStarted,
        g_nvrUpgradeSocket,
    };
    return profile;
}

}  // namespace tarvo::upgrade
