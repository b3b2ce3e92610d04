#pragma once

#include <cstdint>
#include <string>

namespace tarvo::upgrade {

enum class UploadStatus {
    NotConnected,   // no connection to the device: nothing sent
    NoFile,         // no file name in the path: nothing sent
    NameTooLong,    // the name does not fit frame A's field: nothing sent
    NotNewer,       // the package is not newer than the camera's version: nothing sent
    WrongFile,      // not a package for this camera (no version in its name, other type)
    FileError,      // the file cannot be opened or sized: nothing sent
    FileTooLarge,   // 2 GiB or more: nothing sent
    HeaderNotSent,  // frame A or B could not be sent
    StreamFailed,   // a piece could not be sent, or the file ended before its announced size
    Cancelled,      // stopped by its owner
    NoAnswer,       // every byte went out, the device did not answer in time
    Refused,        // the device answered, tag not 1
    Accepted,       // the device answered tag 1
};

// "accepted", "refused", ... for the command line and logs.
const char* statusName(UploadStatus status);
// True when no byte of the upload went to the device.
bool nothingSent(UploadStatus status);

struct UploadOutcome {
    UploadStatus status = UploadStatus::NotConnected;
    // The message to show, empty when the case is silent. A file error carries the system's
    // description of it.
    std::u16string message;
    bool closeDialog = false;
    std::uint32_t fileSize = 0;
    std::uint64_t bytesSent = 0;  // file bytes, headers not counted
    int pieces = 0;
    bool answered = false;
    std::uint8_t answerTag = 0;
};

// What an upload tells its owner. Called on the worker thread: a window posts these to its own
// thread and returns at once; never wait here for the owner's thread, which may be joining the
// worker. uploadFinished is called exactly once per started worker, as its last act, after the
// device was released (so the owner may start the next upload when it gets it).
class UploadObserver {
public:
    virtual ~UploadObserver() = default;
    // Frames A and B are out: show the progress with the range 0..`progressUpper`, position 0.
    virtual void uploadStarted(int progressUpper, std::uint32_t fileSize) = 0;
    // One more piece went out; `position` counts the pieces.
    virtual void uploadProgress(int position, std::uint64_t bytesSent) = 0;
    // The worker ends; the progress is to be hidden.
    virtual void uploadFinished(const UploadOutcome& outcome) = 0;
};

}  // namespace tarvo::upgrade
