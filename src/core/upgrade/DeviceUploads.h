#pragma once

#include <string>
#include <string_view>

namespace tarvo::upgrade {

// One upload per device: a device that is receiving a package refuses a second one, while
// other devices take theirs in parallel. Every front end asks this one rule.
//
// A device is known by its address, in canonical dotted form where it is one.
// The claim is held from the start of an upload until its worker ends.
class DeviceUploads {
public:
    // True, and the device is claimed, when no upload to it runs.
    static bool claim(std::string_view address);
    static void release(std::string_view address);
    // Whether an upload to the device runs (Browse and Upgrade are ignored meanwhile).
    static bool receiving(std::string_view address);

private:
    static std::string keyOf(std::string_view address);
};

}  // namespace tarvo::upgrade
