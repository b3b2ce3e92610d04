#include "core/site/ReportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

std::optional<ReportFormat> reportFormatOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".html" || extension == ".htm") return ReportFormat::Html;
    if (extension == ".pdf") return ReportFormat::Pdf;
    return std::nullopt;
}

std::string reportWriteError(const std::string& path, int error) {
    std::u16string reason;
    switch (error) {
        case ENOENT:
            reason = text::tr(text::msg::kNoSuchFile);
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            reason = text::tr(text::msg::kPermissionDenied);
            break;
        case EISDIR:
            reason = text::tr(text::msg::kIsADirectory);
            break;
        default:
            reason = text::fromUtf8(std::strerror(error));
    }
    return text::toUtf8(text::formatText(text::tr(text::msg::kReportWriteFailedFormat),
                                         {text::fromUtf8(path), reason}));
}

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)) {
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw ReportError(reportWriteError(path_, EISDIR));
    const std::filesystem::path target(path_);
    const std::string folder =
        target.has_parent_path() ? target.parent_path().string() : std::string(".");
    // A report replaced keeps its mode: one kept private stays private.
    std::optional<mode_t> mode;
    if (::stat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode)) mode = info.st_mode & 07777;
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        (void)std::snprintf(suffix, sizeof suffix, "%08x", random());
        std::string candidate = folder + "/." + target.filename().string() + ".tmp-" + suffix;
        // The mode the final file would get; the umask applies as to any new file.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            const bool kept = !mode || ::fchmod(fd, *mode) == 0;
            const int error = errno;
            ::close(fd);
            if (!kept) {
                ::unlink(candidate.c_str());
                throw ReportError(reportWriteError(path_, error));
            }
            temporary_ = std::move(candidate);
            return;
        }
        if (errno != EEXIST) throw ReportError(reportWriteError(path_, errno));
    }
    throw ReportError(reportWriteError(path_, EEXIST));
}

ReplacingFile::~ReplacingFile() {
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void ReplacingFile::commit() {
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ReportError(reportWriteError(path_, errno));
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    ::close(fd);
    if (!synced) throw ReportError(reportWriteError(path_, syncError));
    if (::rename(temporary_.c_str(), path_.c_str()) != 0)
        throw ReportError(reportWriteError(path_, errno));
    committed_ = true;
}

}  // namespace tarvo::site
