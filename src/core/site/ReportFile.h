#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace tarvo::site {

// Why a report could not be written, as the user reads it (UTF-8).
class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The report formats a file name may ask for by its extension (any case).
enum class ReportFormat { Html, Pdf };
std::optional<ReportFormat> reportFormatOf(const std::string& path);

// A file written under a temporary name beside its place and renamed there only when whole, so
// that a report that fails leaves no partial file (and an older report stays as it was).
class ReplacingFile {
public:
    // Creates the temporary file; ReportError when the folder takes none.
    explicit ReplacingFile(std::string path);
    ~ReplacingFile();  // removes the temporary file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    [[nodiscard]] const std::string& temporaryPath() const { return temporary_; }
    // Flushes the temporary file to disk and renames it to its place; ReportError on failure.
    void commit();

private:
    std::string path_, temporary_;
    bool committed_ = false;
};

// The reason of a failed write of `path` (errno `error`), in the user's words.
std::string reportWriteError(const std::string& path, int error);

}  // namespace tarvo::site
