#pragma once

// The capability table lives beside the device types, where the dialogs' sequences and the
// site reach it too; these names keep the window's and the command line's spelling.
#include "core/discovery/DeviceCapabilities.h"

namespace tarvo::ops {

using discovery::allows;
using discovery::capabilitiesOf;
using discovery::DeviceCapabilities;
using discovery::Operation;
using discovery::refusalOf;
using discovery::UpgradeKind;

}  // namespace tarvo::ops
