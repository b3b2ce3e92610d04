#pragma once

#include <atomic>
#include <mutex>

#include "core/net/Socket.h"

namespace tarvo::upgrade {

// The connection an upload runs on. The dialogs share one per kind of upload (camera or NVR):
// a new dialog's connect replaces it, and a camera connection outlives its dialog until then.
// An uploader of a batch has its own. `claimed` is held by the one worker that may use it,
// from start to end.
struct UploadSlot {
    std::mutex mutex;
    net::Socket socket;  // guarded by `mutex`
    std::atomic<bool> claimed{false};
};

extern UploadSlot g_cameraUpgradeSocket;
extern UploadSlot g_nvrUpgradeSocket;

}  // namespace tarvo::upgrade
