#include "upgrade/UploadReports.h"

#include <utility>

namespace tarvo::gui {

UploadReports::UploadReports(QObject* receiver, Handler handler)
    : queue_(receiver, [handler = std::move(handler)](Report& report) { handler(report); }) {}

void UploadReports::uploadStarted(int progressUpper, std::uint32_t /*fileSize*/) {
    queue_.push({Report::Kind::Started, progressUpper, {}});
}

void UploadReports::uploadProgress(int position, std::uint64_t /*bytesSent*/) {
    queue_.push({Report::Kind::Progress, position, {}});
}

void UploadReports::uploadFinished(const upgrade::UploadOutcome& outcome) {
    queue_.push({Report::Kind::Finished, 0, outcome});
}

}  // namespace tarvo::gui
