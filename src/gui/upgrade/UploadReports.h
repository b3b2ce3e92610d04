#pragma once

#include <QObject>

#include <functional>

#include "common/UiQueue.h"
#include "core/upgrade/UploadObserver.h"

namespace tarvo::gui {

// Hands an upload worker's reports to the window thread, in order: the worker queues them and
// returns at once.
class UploadReports final : public upgrade::UploadObserver {
public:
    struct Report {
        enum class Kind { Started, Progress, Finished } kind;
        int value = 0;  // the range's upper bound, or the position
        upgrade::UploadOutcome outcome;
    };
    using Handler = std::function<void(const Report&)>;

    // `handler` runs on the thread of `receiver` (the window's).
    UploadReports(QObject* receiver, Handler handler);

    // upgrade::UploadObserver, on the worker.
    void uploadStarted(int progressUpper, std::uint32_t fileSize) override;
    void uploadProgress(int position, std::uint64_t bytesSent) override;
    void uploadFinished(const upgrade::UploadOutcome& outcome) override;

private:
    UiQueue<Report> queue_;
};

}  // namespace tarvo::gui
