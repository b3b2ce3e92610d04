#include "core/ops/presenter/DeviceCapabilities.h"

#include "core/discovery/DeviceTypes.h"
#include "core/protocol/CommandCodes.h"

namespace tarvo::ops {

namespace {

constexpr std::uint16_t kCamera = protocol::kCameraCommandPort;
constexpr std::uint16_t kNvr = protocol::kNvrCommandPort;

constexpr DeviceCapabilities kDvr{.kind = "a DVR",
                                  .login = false,
                                  .preview = false,
                                  .networkSettings = false,
                                  .cameraConfig = false,
                                  .nvrResolution = false,
                                  .upgrade = UpgradeKind::None,
                                  .reboot = false,
                                  .version = false,
                                  .cloud = false,
                                  .defaultPort = kCamera,
                                  .previewPort = kCamera};
constexpr DeviceCapabilities kNvrDevice{.kind = "an NVR",
                                        .login = true,
                                        .preview = true,
                                        .networkSettings = false,
                                        .cameraConfig = false,
                                        .nvrResolution = true,
                                        .upgrade = UpgradeKind::Nvr,
                                        .reboot = false,
                                        .version = false,
                                        .cloud = false,
                                        .defaultPort = kNvr,
                                        .previewPort = kNvr};
constexpr DeviceCapabilities kCameraDevice{.kind = "not an NVR",
                                           .login = true,
                                           .preview = true,
                                           .networkSettings = true,
                                           .cameraConfig = true,
                                           .nvrResolution = false,
                                           .upgrade = UpgradeKind::Camera,
                                           .reboot = true,
                                           .version = true,
                                           .cloud = true,
                                           .defaultPort = kCamera,
                                           .previewPort = kCamera};
// A decoder without video output: the camera's commands but the preview.
constexpr DeviceCapabilities kDecoderNoPreview = [] {
    DeviceCapabilities c = kCameraDevice;
    c.preview = false;
    return c;
}();

}  // namespace

const DeviceCapabilities& capabilitiesOf(int type) {
    switch (type) {
        case discovery::kTypeDvr:
            return kDvr;
        case discovery::kTypeNvr:
            return kNvrDevice;
        case discovery::kTypeDecoderNoPreview:
            return kDecoderNoPreview;
        default:
            return kCameraDevice;
    }
}

bool allows(int type, Operation operation) {
    const DeviceCapabilities& c = capabilitiesOf(type);
    switch (operation) {
        case Operation::Login:
            return c.login;
        case Operation::Preview:
            return c.preview;
        case Operation::NetworkSettings:
            return c.networkSettings;
        case Operation::CameraConfig:
            return c.cameraConfig;
        case Operation::NvrResolution:
            return c.nvrResolution;
        case Operation::Upgrade:
            return c.upgrade != UpgradeKind::None;
        case Operation::Reboot:
            return c.reboot;
        case Operation::Version:
            return c.version;
        case Operation::Cloud:
            return c.cloud;
    }
    return false;
}

std::string refusalOf(std::string_view address, int type, std::string_view command,
                      Operation operation) {
    if (allows(type, operation)) return {};
    const bool dvr = type == discovery::kTypeDvr;
    const bool nvr = type == discovery::kTypeNvr;
    std::string line = std::string(address) + " is " + capabilitiesOf(type).kind + " (type " +
                       std::to_string(type) + "): " + std::string(command);
    line += dvr ? " is not for DVRs" : nvr ? " is for cameras and decoders" : " is for NVRs";
    return line + "; nothing sent";
}

}  // namespace tarvo::ops
