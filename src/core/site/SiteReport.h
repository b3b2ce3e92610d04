#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/site/HtmlText.h"
#include "core/site/ReportFile.h"
#include "core/site/ReportModel.h"
#include "core/site/SiteFile.h"
#include "core/site/Thumbnail.h"

namespace tarvo::site {

// The report handed over with a site, written as HTML: its name and date, the summary, every
// device with its site state and last verification (result, a remark when it is older than the
// device's firmware, figures on one line, a thumbnail of its snapshot), and the action log, in
// the language shown. What it shows comes from a ReportModel, read once without the pictures;
// each picture is read and made into a thumbnail when its device is written, so that a site with
// hundreds of snapshots needs the memory of one. The parts are HTML (UTF-8, every text from the
// site escaped), shared by the HTML file and the PDF.
class SiteReport {
public:
    // The thumbnails' largest size in pixels.
    static constexpr int kThumbnailWidth = 256, kThumbnailHeight = 144;
    // How large a thumbnail is shown (CSS pixels).
    static constexpr int kShownWidth = 112, kShownHeight = 63;

    explicit SiteReport(const SiteFile& site, std::int64_t madeAt = SiteFile::now());

    [[nodiscard]] const ReportModel& model() const { return model_; }
    [[nodiscard]] const std::vector<ReportDevice>& devices() const { return model_.devices(); }
    [[nodiscard]] const std::vector<ActionRecord>& actions() const { return model_.actions(); }

    // The file's style sheet; the pieces below use its classes.
    [[nodiscard]] static std::string styleSheet();
    [[nodiscard]] std::string title() const;
    // The title, the report's date and the site's.
    [[nodiscard]] std::string heading() const;
    // The summary's heading and lines.
    [[nodiscard]] std::string summary() const;
    [[nodiscard]] std::string devicesHeading() const;
    // The device table's opening tag, and its head row; the PDF repeats the head on each page.
    [[nodiscard]] static std::string tableStart();
    [[nodiscard]] std::string deviceHeaderRow() const;
    // One device's rows (its facts, then its figures on one line under them); `picture` is the
    // thumbnail's image source (empty: no picture).
    [[nodiscard]] std::string deviceRow(const ReportDevice& device, std::string_view picture,
                                        const Thumbnail& thumbnail) const;
    [[nodiscard]] std::string logHeading() const;
    [[nodiscard]] std::string logHeaderRow() const;
    [[nodiscard]] std::string logRow(const ActionRecord& action) const;
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
    ReportModel model_;
};

// Writes the HTML report of `site` to `path` through a ReplacingFile; ReportError on failure.
void writeHtmlReport(const SiteFile& site, const std::string& path);

}  // namespace tarvo::site
