#include "core/site/SiteReport.h"

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "core/text/Messages.h"
#include "core/text/Reason.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

namespace {

std::string said(std::u16string_view text) {
    return escapeHtml(text::toUtf8(text::tr(text)));
}

std::string span(const char* cls, const std::string& words) {
    return "<span class=\"" + std::string(cls) + "\">" + escapeHtml(words) + "</span>";
}

// Words that stay together on their line: a figure is never split between its number and unit.
std::string unbroken(const std::string& words) {
    std::string out;
    for (char c : escapeHtml(words)) out += c == ' ' ? std::string("&nbsp;") : std::string(1, c);
    return out;
}

std::string kindText(const std::string& kind) {
    if (kind == "address") return said(text::msg::kReportKindAddress);
    if (kind == "upgrade") return said(text::msg::kReportKindUpgrade);
    if (kind == "reboot") return said(text::msg::kReportKindReboot);
    if (kind == "verify") return said(text::msg::kReportKindVerify);
    return escapeHtml(kind);
}

std::string outcomeText(const std::string& outcome) {
    if (outcome == "ok") return "<span class=\"ok\">" + said(text::msg::kReportOk) + "</span>";
    if (outcome == "failed")
        return "<span class=\"failed\">" + said(text::msg::kReportFailed) + "</span>";
    return "<span class=\"pending\">" + said(text::msg::kReportPending) + "</span>";
}

const char* stateClass(DeviceStatus::State state) {
    switch (state) {
        case DeviceStatus::State::InPlace:
            return "ok";
        case DeviceStatus::State::Missing:
            return "failed";
        default:
            return "pending";
    }
}

// Table cells with their share of the width, the same in the head and in every row so that the
// PDF's rows, each laid out on its own, line up.
constexpr int kDeviceWidths[] = {18, 18, 20, 13, 13, 18};
constexpr int kLogWidths[] = {13, 22, 12, 20, 9, 24};

template <std::size_t N>
std::string row(const int (&widths)[N], const std::vector<std::string>& cells, bool head) {
    std::string out = "<tr>";
    const char* tag = head ? "th" : "td";
    for (std::size_t i = 0; i < N && i < cells.size(); ++i) {
        out += "<";
        out += tag;
        out += " width=\"" + std::to_string(widths[i]) + "%\">" + cells[i] + "</" + tag + ">";
    }
    return out + "</tr>\n";
}

std::string pictureCell(std::string_view picture, const Thumbnail& thumbnail) {
    if (picture.empty() || thumbnail.width <= 0 || thumbnail.height <= 0)
        return "<span class=\"note\">" + said(text::msg::kReportNoPicture) + "</span>";
    // Shown at a fixed width, its own proportions kept.
    const int width = SiteReport::kShownWidth;
    const int height = std::max(1, width * thumbnail.height / thumbnail.width);
    return "<img src=\"" + std::string(picture) + "\" width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height) + "\" alt=\"\">";
}

std::string verifyCell(const DeviceWords& w) {
    const char* cls = w.passed               ? "ok"
                      : w.failed             ? "failed"
                      : w.verifiedAt.empty() ? "note"
                                             : "pending";
    std::string out = span(cls, w.outcome);
    if (!w.verifiedAt.empty()) out += "<br>" + escapeHtml(w.verifiedAt);
    if (!w.outdated.empty()) out += "<br>" + span("outdated", w.outdated);
    if (!w.detail.empty()) out += "<br>" + escapeHtml(w.detail);
    return out;
}

// Figures joined on one line that breaks only between them.
std::string figureLine(const std::vector<std::string>& figures) {
    std::string line;
    for (const auto& figure : figures)
        line += (line.empty() ? "" : " &middot; ") + unbroken(figure);
    return line;
}

// Under the row, across its whole width: the stream's figures on one line, the picture's on the
// next (both would not fit on one line of a page), and why a verification is older than the
// firmware.
std::string figuresRow(const DeviceWords& w) {
    std::string line = figureLine(w.figures);
    if (!w.pictureFigures.empty())
        line += (line.empty() ? "" : "<br>") + figureLine(w.pictureFigures);
    if (!w.outdatedWhy.empty())
        line += (line.empty() ? "" : "<br>") +
                span("outdated",
                     text::toUtf8(text::formatText(text::tr(text::msg::kReportOutdatedLineFormat),
                                                   {text::fromUtf8(w.outdatedWhy)})));
    if (line.empty()) return {};
    return "<tr><td colspan=\"6\" class=\"figures\">" + line + "</td></tr>\n";
}

}  // namespace

SiteReport::SiteReport(const SiteFile& site, std::int64_t madeAt)
    : site_(site), model_(site, madeAt) {}

std::string SiteReport::styleSheet() {
    return "body { font-family: 'WenQuanYi Micro Hei', 'Noto Sans CJK SC', 'Microsoft YaHei', "
           "sans-serif; font-size: 10pt; margin: 1.5em; }\n"
           "h1 { font-size: 16pt; } h2 { font-size: 13pt; margin-top: 1.2em; }\n"
           "table { border-collapse: collapse; width: 100%; }\n"
           "th, td { border: 1px solid #999; padding: 4px; vertical-align: top; "
           "text-align: left; }\n"
           "th { background-color: #e8e8e8; }\n"
           "tr { page-break-inside: avoid; break-inside: avoid; }\n"
           ".ok { color: #006400; font-weight: bold; }\n"
           ".failed { color: #b00000; font-weight: bold; }\n"
           ".pending { color: #a05a00; font-weight: bold; }\n"
           ".outdated { color: #b00000; font-weight: bold; }\n"
           ".figures { font-size: 8.5pt; background-color: #f6f6f6; }\n"
           ".mac { font-family: 'DejaVu Sans Mono', monospace; font-size: 8pt; }\n"
           ".note { color: #555; }\n";
}

std::string SiteReport::title() const {
    return escapeHtml(text::toUtf8(text::formatText(text::tr(text::msg::kReportTitleFormat),
                                                    {text::fromUtf8(model_.siteName())})));
}

std::string SiteReport::heading() const {
    auto dated = [](std::u16string_view format, std::int64_t time) {
        return escapeHtml(
            text::toUtf8(text::formatText(text::tr(format), {text::fromUtf8(reportDate(time))})));
    };
    return "<h1>" + title() + "</h1>\n<p>" + dated(text::msg::kReportMadeFormat, model_.madeAt()) +
           "<br>" + dated(text::msg::kReportCreatedFormat, model_.createdAt()) + "</p>\n";
}

std::string SiteReport::summary() const {
    std::string lines;
    for (const auto& line : model_.summaryLines())
        lines += (lines.empty() ? "" : "<br>") + escapeHtml(line);
    return "<h2>" + said(text::msg::kReportSummary) + "</h2>\n<p>" + lines + "</p>\n";
}

std::string SiteReport::devicesHeading() const {
    return "<h2>" + said(text::msg::kReportDevices) + "</h2>\n";
}

std::string SiteReport::tableStart() {
    return "<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\" "
           "style=\"margin-top: 0; margin-bottom: 0\">\n";
}

std::string SiteReport::deviceHeaderRow() const {
    return row(kDeviceWidths,
               {said(text::msg::kReportColPicture), said(text::msg::kReportColDevice),
                said(text::msg::kReportColName), said(text::msg::kReportColType),
                said(text::msg::kSiteColumn), said(text::msg::kReportColVerify)},
               true);
}

std::string SiteReport::deviceRow(const ReportDevice& d, std::string_view picture,
                                  const Thumbnail& thumbnail) const {
    const DeviceWords w = ReportModel::wordsOf(d);
    std::string where = d.mac.empty() ? escapeHtml(w.where) : span("mac", w.where);
    where += "<br>" + escapeHtml(d.address.empty() ? "-" : d.address);
    std::string name = escapeHtml(d.name.empty() ? "-" : d.name);
    if (!d.location.empty()) name += "<br>" + escapeHtml(d.location);
    if (!d.note.empty()) name += "<br>" + span("note", d.note);
    const std::string kind =
        escapeHtml(w.type) + "<br>" + escapeHtml(d.firmware.empty() ? "-" : d.firmware);
    std::string state = span(stateClass(d.state), w.state);
    if (!w.planned.empty()) state += "<br>" + span("note", w.planned);
    if (!w.seen.empty()) state += "<br>" + span("note", w.seen);
    return row(kDeviceWidths,
               {pictureCell(picture, thumbnail), where, name, kind, state, verifyCell(w)}, false) +
           figuresRow(w);
}

std::string SiteReport::logHeading() const {
    return "<h2>" + said(text::msg::kReportLog) + "</h2>\n";
}

std::string SiteReport::logHeaderRow() const {
    return row(kLogWidths,
               {said(text::msg::kReportColTime), said(text::msg::kReportColDevice),
                said(text::msg::kReportColAction), said(text::msg::kReportColChange),
                said(text::msg::kReportColOutcome), said(text::msg::kReportColDetail)},
               true);
}

std::string SiteReport::logRow(const ActionRecord& a) const {
    std::string device = a.mac.empty() ? said(text::msg::kSiteNoMac) : span("mac", a.mac);
    if (!a.address.empty()) device += "<br>" + escapeHtml(a.address);
    std::string change;
    if (!a.oldValue.empty() || !a.newValue.empty()) {
        change = escapeHtml(a.oldValue.empty() ? "-" : a.oldValue) + " → " +
                 escapeHtml(a.newValue.empty() ? "-" : a.newValue);
    }
    // Stored as a key with its values: shown in the reader's language.
    std::string detail = escapeHtml(text::toUtf8(text::showStored(a.detail)));
    if (!a.packageName.empty()) {
        if (!detail.empty()) detail += "<br>";
        detail += escapeHtml(text::toUtf8(
            text::formatText(text::tr(text::msg::kReportPackageFormat),
                             {text::fromUtf8(a.packageName), text::fromUtf8(a.packageSha256)})));
    }
    return row(
        kLogWidths,
        {reportDate(a.started), device, kindText(a.kind), change, outcomeText(a.outcome), detail},
        false);
}

std::string SiteReport::noDevices() const {
    return "<p>" + said(text::msg::kReportNoDevices) + "</p>\n";
}

std::string SiteReport::noActions() const {
    return "<p>" + said(text::msg::kReportNoActions) + "</p>\n";
}

Thumbnail SiteReport::thumbnail(const ReportDevice& device) const {
    // A snapshot no camera sends (a damaged or foreign file) is not read into memory at all.
    if (!device.verification || device.verification->snapshotBytes <= 0 ||
        device.verification->snapshotBytes > SiteFile::kMaxSnapshotBytes)
        return {};
    const auto jpeg = site_.actionSnapshot(device.verification->id);
    return makeThumbnail(jpeg, kThumbnailWidth, kThumbnailHeight);
}

void SiteReport::writeHtml(std::ostream& out) const {
    const bool chinese = text::uiLanguage() == 2;
    out << "<!DOCTYPE html>\n<html lang=\"" << (chinese ? "zh-CN" : "en")
        << "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << title() << "</title>\n<style>\n"
        << styleSheet() << "</style>\n</head>\n<body>\n"
        << heading() << summary() << devicesHeading();
    if (devices().empty()) {
        out << noDevices();
    } else {
        out << tableStart() << "<thead>" << deviceHeaderRow() << "</thead>\n<tbody>\n";
        for (const auto& d : devices()) {
            const Thumbnail t = thumbnail(d);
            const auto jpeg = t.jpeg();
            if (jpeg.empty()) {
                out << deviceRow(d, {}, t);
                continue;
            }
            // The picture goes straight to the file, not through another copy of the row.
            const std::string marker = "\x01";
            const std::string html = deviceRow(d, marker, t);
            const auto at = html.find(marker);
            out << html.substr(0, at) << "data:image/jpeg;base64," << base64(jpeg)
                << html.substr(at + marker.size());
        }
        out << "</tbody>\n</table>\n";
    }
    out << logHeading();
    if (actions().empty()) {
        out << noActions();
    } else {
        out << tableStart() << "<thead>" << logHeaderRow() << "</thead>\n<tbody>\n";
        for (const auto& a : actions()) out << logRow(a);
        out << "</tbody>\n</table>\n";
    }
    out << "</body>\n</html>\n";
}

void writeHtmlReport(const SiteFile& site, const std::string& path) {
    const SiteReport report(site);
    ReplacingFile file(path);
    std::ofstream out(file.temporaryPath(), std::ios::binary | std::ios::trunc);
    if (!out) throw ReportError(reportWriteError(path, errno));
    report.writeHtml(out);
    out.flush();
    if (!out) throw ReportError(reportWriteError(path, errno != 0 ? errno : EIO));
    out.close();
    if (!out) throw ReportError(reportWriteError(path, errno != 0 ? errno : EIO));
    file.commit();
}

}  // namespace tarvo::site
