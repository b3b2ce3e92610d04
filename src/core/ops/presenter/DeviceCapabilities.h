#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo::ops {

// What a device type takes, in one place for the window, the command line and the batch
// windows: DVRs take no TCP command, NVRs their own few, everything else the camera's.
enum class Operation {
    Login,
    Preview,
    NetworkSettings,
    CameraConfig,
    NvrResolution,
    Upgrade,
    Reboot,
    Version,
    Cloud,
};

enum class UpgradeKind { None, Camera, Nvr };

struct DeviceCapabilities {
    bool login;
    bool preview;
    bool networkSettings;
    bool cameraConfig;
    bool nvrResolution;
    UpgradeKind upgrade;
    bool reboot;
    bool version;
    bool cloud;
    std::uint16_t defaultPort;  // the command port a front end uses when none is given
    // The command port the preview's login dialog opens with.
    std::uint16_t previewPort;
};

const DeviceCapabilities& capabilitiesOf(int type);
bool allows(int type, Operation operation);

// Why `command` is not for a device of `type` at `address`, as one line for the command line;
// empty when it is.
std::string refusalOf(std::string_view address, int type, std::string_view command,
                      Operation operation);

}  // namespace tarvo::ops
