#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo::discovery {

// What a device type takes, in one place for the window, the command line, the batch windows,
// the dialogs' sequences and the site: DVRs take no TCP command, NVRs their own few, everything
// else the camera's.
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
    // A camera proper (types 80..159): it sends its own picture, which a verification measures.
    bool camera;
};

const DeviceCapabilities& capabilitiesOf(int type);
bool allows(int type, Operation operation);

// Why `command` is not for a device of `type` at `address`, as one line for the command line;
// empty when it is.
std::string refusalOf(std::string_view address, int type, std::string_view command,
                      Operation operation);

}  // namespace tarvo::discovery
