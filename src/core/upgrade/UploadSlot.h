#pragma once

#include <atomic>
#include <mutex>

#include "core/net/Socket.h"

namespace tarvo::upgrade {

// The process-wide connection of one kind of upload (camera or NVR). A new dialog's connect
// replaces it; a camera connection outlives its dialog until then. `claimed` is held by the
// one worker that may use it, from start to end, so that a second start is refused even
// before the busy flag is set.
struct UploadSlot {
    std::mutex mutex;
    net::Socket socket;  // guarded by `mutex`
    std::atomic<bool> claimed{false};
};

extern UploadSlot g_cameraUpgradeSocket;
extern UploadSlot g_nvrUpgradeSocket;

// Set while a worker streams a package, from frame B until the worker ends. The dialogs ignore
// Browse and Upgrade while it is set.
extern std::atomic<bool> g_cameraUpgradeBusy;
extern std::atomic<bool> g_nvrUpgradeBusy;

}  // namespace tarvo::upgrade
