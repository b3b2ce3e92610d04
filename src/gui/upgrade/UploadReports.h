#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

#include "core/upgrade/UploadObserver.h"

namespace tarvo::gui {

// Hands an upload worker's reports to the window thread, in order: the worker queues them under
// a lock and returns at once; one queued call per burst drains them on the window thread. The
// reports travel through this lock, not inside Qt's posted events, so their hand-over is
// visible to the thread checker.
class UploadReports final : public QObject, public upgrade::UploadObserver {
    Q_OBJECT
public:
    struct Report {
        enum class Kind { Started, Progress, Finished } kind;
        int value = 0;  // the range's upper bound, or the position
        upgrade::UploadOutcome outcome;
    };
    using Handler = std::function<void(const Report&)>;

    // `handler` runs on this object's (the window's) thread.
    explicit UploadReports(Handler handler, QObject* parent = nullptr);

    // upgrade::UploadObserver, on the worker.
    void uploadStarted(int progressUpper, std::uint32_t fileSize) override;
    void uploadProgress(int position, std::uint64_t bytesSent) override;
    void uploadFinished(const upgrade::UploadOutcome& outcome) override;

private:
    Q_INVOKABLE void drain();
    void push(Report report);

    Handler handler_;
    std::mutex mutex_;
    std::deque<Report> pending_;  // guarded by mutex_
    bool scheduled_ = false;      // guarded by mutex_
};

}  // namespace tarvo::gui
