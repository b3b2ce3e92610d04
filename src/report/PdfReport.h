#pragma once

#include <memory>
#include <string>

class QGuiApplication;

namespace tarvo::site {
class SiteFile;
}

namespace tarvo::report {

// Writes the report of `site` as a PDF to `path`: A4 pages with margins, laid out by Qt's text
// document from the same HTML parts as the HTML report. Each device's row is laid out on its
// own and starts a new page (under the table's repeated head) when it would not fit, so that no
// row is ever cut by a page break. Written under a temporary name beside `path` and renamed
// there only when complete; site::ReportError on failure, with nothing left behind.
// Needs a QGuiApplication (for the fonts); may run on any thread, one report at a time per
// thread.
void writePdfReport(const site::SiteFile& site, const std::string& path);

// A QGuiApplication on the off-screen platform for a program without windows, while it lives
// (none when an application exists already). Made after the program has dropped its
// capabilities: Qt loads plugins.
class OffscreenGui {
public:
    OffscreenGui();
    ~OffscreenGui();
    OffscreenGui(const OffscreenGui&) = delete;
    OffscreenGui& operator=(const OffscreenGui&) = delete;

private:
    std::unique_ptr<QGuiApplication> app_;
};

}  // namespace tarvo::report
