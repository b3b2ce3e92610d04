#include "core/ops/presenter/DeviceCapabilities.h"

#include "core/discovery/DeviceTypes.h"
#include "core/protocol/CommandCodes.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::ops {

namespace {

constexpr std::uint16_t kCamera = protocol::kCameraCommandPort;
constexpr std::uint16_t kNvr = protocol::kNvrCommandPort;

constexpr DeviceCapabilities kDvr{.login = false,
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
constexpr DeviceCapabilities kNvrDevice{.login = true,
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
constexpr DeviceCapabilities kCameraDevice{.login = true,
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
    const std::u16string_view format = type == discovery::kTypeDvr ? text::msg::kRefusedDvrFormat
                                       : type == discovery::kTypeNvr
                                           ? text::msg::kRefusedNvrFormat
                                           : text::msg::kRefusedNotNvrFormat;
    return text::toUtf8(text::formatText(
        text::tr(format),
        {text::fromUtf8(address), text::fromUtf8(std::to_string(type)), text::fromUtf8(command)}));
}

}  // namespace tarvo::ops
