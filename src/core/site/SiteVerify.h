#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/site/VerifyFigures.h"
#include "core/text/Reason.h"

namespace tarvo::site {

struct VerifyOptions {
    std::u16string user = u"admin";
    std::u16string password;
    int parallel = 4;                   // devices at a time, 1..kMaxVerifyParallel
    double seconds = 5.0;               // how long a camera's stream is measured
    double timeout = 20.0;              // per device: from its first frame to its first key picture
    std::optional<std::uint16_t> port;  // the command port; the device type's when not given
};

inline constexpr int kMaxVerifyParallel = 16;

// One device to verify, as a search heard it.
struct VerifyTarget {
    std::string address;
    std::string mac;  // empty: unknown (kept by its address)
    std::string name;
    int type = 0;
    bool heard = true;                      // false: the search did not hear the address
    std::vector<std::string> conflictMacs;  // several devices answer from the address
};

struct VerifyResult {
    VerifyTarget target;
    bool ok = false;
    text::Reason reason;  // why it failed
    std::string version;  // the firmware version as the device told it (UTF-8)
    VerifyFigures figures;
    std::size_t snapshotBytes = 0;  // the snapshot's size (it went to the site, not kept here)
    std::int64_t actionId = 0;      // the site's record of it; 0: none
    std::string siteError;          // the site could not record it (UTF-8)

    // "通过", or "未通过：" and the reason.
    [[nodiscard]] std::u16string resultText() const;
};

// The devices a verification covers: every row heard when `addresses` is empty, else each
// address once, in the order given (one no search heard is marked as such).
std::vector<VerifyTarget> verifyTargets(const std::vector<discovery::DeviceRow>& heard,
                                        const std::vector<std::string>& addresses);

class VerifyObserver {
public:
    virtual ~VerifyObserver() = default;
    // From the workers' threads, as each device finishes. `snapshot` (JPEG; empty when none)
    // is dropped after the call.
    virtual void verified(const VerifyResult& result, std::span<const std::uint8_t> snapshot) = 0;
};

// One device, without a site: TCP connect, login and firmware version where its type takes
// them, and for cameras the stream: the first key picture within the time-out, then pictures
// and bits a second over options.seconds and a snapshot (JPEG, at most 1920 x 1080) into
// `snapshot`. Ends early, failed, once `stop` is set. Blocking.
VerifyResult verifyDevice(const VerifyTarget& target, const VerifyOptions& options,
                          const std::atomic<bool>& stop, std::vector<std::uint8_t>& snapshot);

// Verifies `targets`, options.parallel at a time, each on a worker of its own. With a site
// (`sitePath` not empty) each device's verification is an action, begun before its first frame
// and finished with its outcome, figures, version and snapshot; the versions read are recorded
// as observations of `heard` (the search that found the devices). A device no search heard is
// recorded only when the site knows a device at its address. Memory stays flat in the number of
// devices: each snapshot goes to the site and the observer, and is dropped. Returns the results
// in the order of `targets`. Blocking; front ends call it off their UI thread.
std::vector<VerifyResult> verifyDevices(const std::string& sitePath,
                                        const std::vector<discovery::DeviceRow>& heard,
                                        std::vector<VerifyTarget> targets,
                                        const VerifyOptions& options, VerifyObserver& observer,
                                        const std::atomic<bool>& stop);

}  // namespace tarvo::site
