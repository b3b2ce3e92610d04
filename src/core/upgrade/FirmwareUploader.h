#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/net/Socket.h"
#include "core/upgrade/UpgradeProfile.h"
#include "core/upgrade/UploadObserver.h"

namespace tarvo::upgrade {

// The firmware upload behind the camera and NVR upgrade dialogs, and the command line:
//
//   FirmwareUploader uploader(cameraUpgrade(), observer);
//   uploader.SetTarget(port, address);
//   uploader.connect();               // on the profile's process-wide connection
//   uploader.QueryFirmwareVersion();  // currentVersion() for the label
//   uploader.start(path);             // a worker streams the file; observer hears of it
//
// One upload per device at a time (DeviceUploads); uploads to other devices run in parallel,
// each on its own uploader. The dialogs' uploaders share the profile's process-wide
// connection; an uploader made with Connection::Own has one of its own. Destroying the uploader
// cancels a running worker and joins it, so no worker outlives its owner (nor the observer the
// owner gave it).
// The version of the device on `socket` (the profile's version command), empty when it did not
// answer. Touches nothing but the socket, so any thread may ask.
struct VersionAnswer {
    std::u16string version;   // empty: none came, or none could be read
    bool unanswered = false;  // nothing came within the profile's time-out (a slow device)
};
VersionAnswer askVersion(const UpgradeProfile& profile, const net::Socket& socket);
std::u16string queryVersion(const UpgradeProfile& profile, const net::Socket& socket);

class FirmwareUploader {
public:
    enum class Connection { Shared, Own };
    FirmwareUploader(const UpgradeProfile& profile, UploadObserver& observer,
                     Connection connection = Connection::Shared);
    ~FirmwareUploader();
    FirmwareUploader(const FirmwareUploader&) = delete;
    FirmwareUploader& operator=(const FirmwareUploader&) = delete;

    // Keeps the port's low 16 bits and at most 63 bytes of the address; returns 1.
    int SetTarget(int port, std::string_view address);
    [[nodiscard]] const std::string& address() const { return address_; }
    [[nodiscard]] std::uint16_t port() const { return port_; }

    // Connects the uploader's slot (an open connection there is closed first), with the
    // profile's time-outs and the 4-second connect wait. Refused while a worker uses that
    // connection.
    bool connect();
    [[nodiscard]] bool connected() const;

    // Takes a connection made elsewhere (on a worker, see queryVersion) into the slot, with the
    // version asked on it (empty: no answer, the version stays as it was). Refused while a
    // worker uses the slot; the connection then closes.
    bool adopt(net::Socket socket, std::u16string version);

    // Asks the device for its firmware version on the slot's connection; the version stays as
    // it was when the device does not answer.
    void QueryFirmwareVersion();
    [[nodiscard]] std::u16string currentVersion() const;

    // Starts a worker that uploads the file at `packagePath`. False, and nothing happens, while
    // an upload to the same device runs (from its start, not only from frame B on) or while
    // the connection is another worker's.
    bool start(std::string packagePath);
    // Stops a running worker at its next piece (or its blocked send) and joins it.
    void cancel();
    // Joins a worker that ends by itself.
    void wait();
    [[nodiscard]] bool running() const { return running_.load(); }
    // Whether the target device is receiving a package, from this uploader or another one.
    [[nodiscard]] bool busy() const;

    // The upload itself, on the calling thread: the worker's body. Public for the tests.
    UploadOutcome UploadFirmware(const std::string& packagePath);

private:
    // Takes the slot's connection for the worker; an invalid socket when there is none.
    net::Socket takeConnection();
    // Gives it back (camera, exchange complete) or closes it.
    void releaseConnection(bool keep);
    UploadOutcome finish(UploadOutcome outcome, bool keepConnection);
    // The worker's steps: the connection made its own, the frames and pieces of the package
    // (the ended outcome when the upload stops there), the device's answer.
    void holdConnection();
    std::optional<UploadOutcome> sendPackage(const net::Socket& socket, int file,
                                             const std::u16string& wideName,
                                             UploadOutcome& outcome);
    UploadOutcome readAnswer(const net::Socket& socket, UploadOutcome outcome);

    const UpgradeProfile& profile_;
    UploadObserver& observer_;
    std::unique_ptr<UploadSlot> ownSlot_;
    UploadSlot& slot_;
    std::string address_;
    std::uint16_t port_ = 0;

    mutable std::mutex versionMutex_;
    std::u16string currentVersion_;

    // The connection while the worker holds it; cancel() shuts it down to wake a blocked send.
    std::mutex activeMutex_;
    net::Socket active_;

    std::atomic<bool> cancel_{false};
    std::atomic<bool> running_{false};
    // A camera upload that broke off leaves the connection out of step: the next upload
    // connects again first.
    std::atomic<bool> reconnect_{false};
    std::thread worker_;
};

}  // namespace tarvo::upgrade
