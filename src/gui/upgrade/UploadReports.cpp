#include "upgrade/UploadReports.h"

#include <QMetaObject>

#include <utility>

namespace tarvo::gui {

UploadReports::UploadReports(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

void UploadReports::uploadStarted(int progressUpper, std::uint32_t /*fileSize*/) {
    push({Report::Kind::Started, progressUpper, {}});
}

void UploadReports::uploadProgress(int position, std::uint64_t /*bytesSent*/) {
    push({Report::Kind::Progress, position, {}});
}

void UploadReports::uploadFinished(const upgrade::UploadOutcome& outcome) {
    push({Report::Kind::Finished, 0, outcome});
}

void UploadReports::push(Report report) {
    bool post = false;
    {
        std::lock_guard guard(mutex_);
        pending_.push_back(std::move(report));
        post = !scheduled_;
        scheduled_ = true;
    }
    if (post) QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
}

void UploadReports::drain() {
    std::deque<Report> reports;
    {
        std::lock_guard guard(mutex_);
        reports.swap(pending_);
        scheduled_ = false;
    }
    for (const Report& report : reports) handler_(report);
}

}  // namespace tarvo::gui
