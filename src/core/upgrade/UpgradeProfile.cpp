#include "core/upgrade/UpgradeProfile.h"

#include "core/protocol/CommandCodes.h"
#include "core/text/Messages.h"

namespace tarvo::upgrade {

UploadSlot g_cameraUpgradeSocket;
UploadSlot g_nvrUpgradeSocket;
std::atomic<bool> g_cameraUpgradeBusy{false};
std::atomic<bool> g_nvrUpgradeBusy{false};

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
        g_cameraUpgradeBusy,
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
        g_nvrUpgradeBusy,
    };
    return profile;
}

}  // namespace tarvo::upgrade
