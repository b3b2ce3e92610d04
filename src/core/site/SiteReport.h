#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/site/SiteFile.h"
#include "core/site/Thumbnail.h"
#include "core/site/VerifyFigures.h"

namespace tarvo::site {

// Why a report could not be written, as the user reads it (UTF-8).
class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One device as the report shows it: the plan's and the searches' knowledge joined by MAC.
struct ReportDevice {
    std::string mac;  // empty: known only by its address
    std::string address, plannedAddress, name, location, note;
    int type = 0;
    std::string firmware;
    std::optional<ActionRecord> verification;  // the last one, without its snapshot
};

// The report handed over with a site: its name and date, every device with its last
// verification (result, figures, a thumbnail of its snapshot), the action log and totals, in
// the language shown. Reads the site's records once, without their pictures; each picture is
// read and scaled down when its device is written, so that a site with hundreds of snapshots
// needs the memory of one. The parts are HTML (UTF-8, every text from the site escaped), shared
// by the HTML file and the PDF.
class SiteReport {
public:
    // The thumbnails' largest size in pixels.
    static constexpr int kThumbnailWidth = 256, kThumbnailHeight = 144;
    // How large a thumbnail is shown (CSS pixels).
    static constexpr int kShownWidth = 160, kShownHeight = 90;

    explicit SiteReport(const SiteFile& site, std::int64_t madeAt = SiteFile::now());

    [[nodiscard]] const std::vector<ReportDevice>& devices() const { return devices_; }
    [[nodiscard]] const std::vector<ActionRecord>& actions() const { return actions_; }

    // The file's style sheet; the pieces below use its classes.
    [[nodiscard]] static std::string styleSheet();
    [[nodiscard]] std::string title() const;
    // The title, the report's date and the site's.
    [[nodiscard]] std::string heading() const;
    [[nodiscard]] std::string devicesHeading() const;
    // The device table's opening tag, and its head row; the PDF repeats the head on each page.
    [[nodiscard]] static std::string tableStart();
    [[nodiscard]] std::string deviceHeaderRow() const;
    // One device's row; `picture` is the thumbnail's image source (empty: no picture).
    [[nodiscard]] std::string deviceRow(const ReportDevice& device, std::string_view picture,
                                        const Thumbnail& thumbnail) const;
    [[nodiscard]] std::string logHeading() const;
    [[nodiscard]] std::string logHeaderRow() const;
    [[nodiscard]] std::string logRow(const ActionRecord& action) const;
    [[nodiscard]] std::string totals() const;
    // What stands in place of an empty table.
    [[nodiscard]] std::string noDevices() const;
    [[nodiscard]] std::string noActions() const;

    // The thumbnail of a device's last verification snapshot, read from the site now (empty
    // when there is none, or it is not a picture).
    [[nodiscard]] Thumbnail thumbnail(const ReportDevice& device) const;

    // The whole report as one HTML file with its pictures inline (data: URIs): it refers to
    // nothing outside itself.
    void writeHtml(std::ostream& out) const;

private:
    const SiteFile& site_;
    std::int64_t madeAt_;
    std::string name_;
    std::int64_t createdAt_ = 0;
    std::vector<ReportDevice> devices_;
    std::vector<ActionRecord> actions_;
};

// `text` safe inside HTML: markup characters as entities, control and text-direction
// characters and invalid UTF-8 as U+FFFD.
std::string escapeHtml(std::string_view text);
// `bytes` in Base64 (RFC 4648, with padding).
std::string base64(std::span<const unsigned char> bytes);

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

// Writes the HTML report of `site` to `path` through a ReplacingFile; ReportError on failure.
void writeHtmlReport(const SiteFile& site, const std::string& path);

}  // namespace tarvo::site
