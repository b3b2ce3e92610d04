#include "core/discovery/DeviceCapabilities.h"

#include "core/discovery/DeviceTypes.h"
#include "core/protocol/CommandCodes.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::discovery {

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
                                  .previewPort = kCamera,
                                  .camera = false};
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
                                        .previewPort = kNvr,
                                        .camera = false};
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
                                           .previewPort = kCamera,
                                           .camera = true};
// Decoders and the other listed types: the camera's commands, but no picture of their own.
constexpr DeviceCapabilities kOtherDevice = [] {
    DeviceCapabilities c = kCameraDevice;
    c.camera = false;
    return c;
}();
// A decoder without video output: not even the preview.
constexpr DeviceCapabilities kDecoderNoPreview = [] {
    DeviceCapabilities c = kOtherDevice;
    c.preview = false;
    return c;
}();

}  // namespace

const DeviceCapabilities& capabilitiesOf(int type) {
    switch (type) {
        case kTypeDvr:
            return kDvr;
        case kTypeNvr:
            return kNvrDevice;
        case kTypeDecoderNoPreview:
            return kDecoderNoPreview;
        default:
            return type >= 80 && type <= 159 ? kCameraDevice : kOtherDevice;
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
    const std::u16string_view format = type == kTypeDvr   ? text::msg::kRefusedDvrFormat
                                       : type == kTypeNvr ? text::msg::kRefusedNvrFormat
                                                          : text::msg::kRefusedNotNvrFormat;
    return text::toUtf8(text::formatText(
        text::tr(format),
        {text::fromUtf8(address), text::fromUtf8(std::to_string(type)), text::fromUtf8(command)}));
}

}  // namespace tarvo::discovery
