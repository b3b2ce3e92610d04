#include "core/site/SiteReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <unordered_map>
#include <unordered_set>

#include "core/discovery/DeviceTypes.h"
#include "core/text/Messages.h"
#include "core/text/Reason.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

namespace {

std::string said(std::u16string_view text) {
    return escapeHtml(text::toUtf8(text::tr(text)));
}

// A catalogue text with its values (already escaped, or numbers), each mark replaced once in
// one pass, so that a value holding "%2" stays as it is.
std::string said(std::u16string_view format, std::initializer_list<std::string> values) {
    const std::string text = escapeHtml(text::toUtf8(text::tr(format)));
    const std::vector<std::string> given(values);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const std::size_t index = static_cast<std::size_t>(next - '1');
        if (text[i] == '%' && next >= '1' && next <= '9' && index < given.size()) {
            out += given[index];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string dateText(std::int64_t seconds) {
    if (seconds <= 0) return "-";
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return "-";
    char buffer[32];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &local);
    return std::string(buffer, n);
}

std::string number(double value, int decimals) {
    return figureText(value, decimals);
}

// The figures in three lines: the connection's times, the stream's rate, the picture.
std::string figuresText(const VerifyFigures& f) {
    auto whole = [](double v) { return number(v, 0); };
    std::vector<std::string> lines(3);
    auto add = [&](std::size_t line, const std::string& part) {
        lines[line] += (lines[line].empty() ? "" : " · ") + part;
    };
    if (f.connectMs) add(0, said(text::msg::kReportConnectFormat, {whole(*f.connectMs)}));
    if (f.loginMs) add(0, said(text::msg::kReportLoginFormat, {whole(*f.loginMs)}));
    if (f.firstKeyMs) add(0, said(text::msg::kReportFirstKeyFormat, {whole(*f.firstKeyMs)}));
    if (f.fps) add(1, said(text::msg::kReportFpsFormat, {number(*f.fps, 1)}));
    if (f.kbps) add(1, said(text::msg::kReportKbpsFormat, {whole(*f.kbps)}));
    if (f.width && f.height)
        add(2, said(text::msg::kReportSizeFormat, {whole(*f.width), whole(*f.height)}));
    if (f.seconds) add(2, said(text::msg::kReportSecondsFormat, {number(*f.seconds, 1)}));
    std::string out;
    for (const auto& line : lines)
        if (!line.empty()) out += (out.empty() ? "" : "<br>") + line;
    return out;
}

std::string outcomeText(const std::string& outcome, bool verification) {
    if (outcome == "ok")
        return "<span class=\"ok\">" +
               said(verification ? text::msg::kVerifyPassed : text::msg::kReportOk) + "</span>";
    if (outcome == "failed")
        return "<span class=\"failed\">" +
               said(verification ? text::msg::kVerifyFailed : text::msg::kReportFailed) + "</span>";
    return "<span class=\"pending\">" + said(text::msg::kReportPending) + "</span>";
}

std::string kindText(const std::string& kind) {
    if (kind == "address") return said(text::msg::kReportKindAddress);
    if (kind == "upgrade") return said(text::msg::kReportKindUpgrade);
    if (kind == "reboot") return said(text::msg::kReportKindReboot);
    if (kind == "verify") return said(text::msg::kReportKindVerify);
    return escapeHtml(kind);
}

// Table cells with their share of the width, the same in the head and in every row so that the
// PDF's rows, each laid out on its own, line up.
constexpr int kDeviceWidths[] = {25, 22, 17, 13, 23};
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

void writeBase64(std::ostream& out, std::span<const unsigned char> bytes) {
    out << base64(bytes);
}

}  // namespace

std::string escapeHtml(std::string_view text) {
    const std::u16string wide = text::fromUtf8(text);
    std::u16string safe;
    safe.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            safe += c;
            safe += wide[++i];
            continue;
        }
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        const bool direction = (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
                               c == 0x200E || c == 0x200F || c == 0x061C;
        safe += (high || low || control || direction) ? u'\uFFFD' : c;
    }
    std::string out;
    for (char c : text::toUtf8(safe)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string base64(std::span<const unsigned char> bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v =
            (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        const std::uint32_t v =
            (std::uint32_t{bytes[i]} << 16) | (rest == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += rest == 2 ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

SiteReport::SiteReport(const SiteFile& site, std::int64_t madeAt)
    : site_(site), madeAt_(madeAt), name_(site.name()), createdAt_(site.createdAt()) {
    actions_ = site.actionsWithoutSnapshots();
    const auto plan = site.plan();
    const auto known = site.knownDevices();

    // The last verification of each device, and the last version an action read or wrote.
    std::unordered_map<std::string, const ActionRecord*> lastVerify, lastVersion;
    for (const auto& a : actions_) {
        const std::string key = a.mac.empty() ? "@" + a.address : a.mac;
        if (a.kind == "verify") lastVerify[key] = &a;
        if ((a.kind == "verify" || a.kind == "upgrade") && a.outcome == "ok" && !a.newValue.empty())
            lastVersion[key] = &a;
    }
    std::unordered_map<std::string, const KnownDevice*> knownByMac;
    for (const auto& k : known)
        if (!k.mac.empty()) knownByMac.emplace(k.mac, &k);

    auto complete = [&](ReportDevice& d, const KnownDevice* k) {
        if (k != nullptr) {
            if (d.address.empty() || !k->address.empty()) d.address = k->address;
            if (d.name.empty()) d.name = k->name;
            d.type = k->type;
            d.firmware = k->version;
        }
        const std::string key = d.mac.empty() ? "@" + d.address : d.mac;
        if (const auto v = lastVerify.find(key); v != lastVerify.end()) d.verification = *v->second;
        if (d.firmware.empty()) {
            if (const auto v = lastVersion.find(key); v != lastVersion.end())
                d.firmware = v->second->newValue;
        }
        devices_.push_back(std::move(d));
    };
    // The plan in its order, then the devices the searches found beyond it.
    std::unordered_set<std::string> planned;
    for (const auto& p : plan) {
        planned.insert(p.mac);
        ReportDevice d;
        d.mac = p.mac;
        d.address = p.address;
        d.plannedAddress = p.address;
        d.name = p.name;
        d.location = p.location;
        d.note = p.note;
        const auto k = knownByMac.find(p.mac);
        complete(d, k == knownByMac.end() ? nullptr : k->second);
    }
    for (const auto& k : known) {
        if (!k.mac.empty() && planned.contains(k.mac)) continue;
        ReportDevice d;
        d.mac = k.mac;
        complete(d, &k);
    }
}

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
           ".mac { font-family: 'DejaVu Sans Mono', monospace; font-size: 9pt; }\n"
           ".note { color: #555; }\n";
}

std::string SiteReport::title() const {
    return said(text::msg::kReportTitleFormat, {escapeHtml(name_)});
}

std::string SiteReport::heading() const {
    return "<h1>" + title() + "</h1>\n<p>" +
           said(text::msg::kReportMadeFormat, {dateText(madeAt_)}) + "<br>" +
           said(text::msg::kReportCreatedFormat, {dateText(createdAt_)}) + "</p>\n";
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
                said(text::msg::kReportColVerify)},
               true);
}

std::string SiteReport::deviceRow(const ReportDevice& d, std::string_view picture,
                                  const Thumbnail& thumbnail) const {
    std::string image;
    if (!picture.empty() && thumbnail.width > 0 && thumbnail.height > 0) {
        // Shown at a fixed width, its own proportions kept.
        const int width = kShownWidth;
        const int height = std::max(1, kShownWidth * thumbnail.height / thumbnail.width);
        image = "<img src=\"" + std::string(picture) + "\" width=\"" + std::to_string(width) +
                "\" height=\"" + std::to_string(height) + "\" alt=\"\">";
    } else {
        image = "<span class=\"note\">" + said(text::msg::kReportNoPicture) + "</span>";
    }
    std::string where = d.mac.empty() ? said(text::msg::kSiteNoMac)
                                      : "<span class=\"mac\">" + escapeHtml(d.mac) + "</span>";
    where += "<br>" + escapeHtml(d.address.empty() ? "-" : d.address);
    if (!d.plannedAddress.empty() && d.plannedAddress != d.address) {
        where += "<br><span class=\"note\">" +
                 said(text::msg::kReportPlannedFormat, {escapeHtml(d.plannedAddress)}) + "</span>";
    }
    std::string name = escapeHtml(d.name.empty() ? "-" : d.name);
    if (!d.location.empty()) name += "<br>" + escapeHtml(d.location);
    if (!d.note.empty()) name += "<br><span class=\"note\">" + escapeHtml(d.note) + "</span>";
    std::string kind =
        d.type != 0 ? escapeHtml(text::toUtf8(text::tr(discovery::typeLabel(d.type)))) : "-";
    kind += "<br>" + escapeHtml(d.firmware.empty() ? "-" : d.firmware);
    std::string verify;
    if (!d.verification) {
        verify = "<span class=\"note\">" + said(text::msg::kReportNotVerified) + "</span>";
    } else {
        const auto& v = *d.verification;
        verify = outcomeText(v.outcome, true) + "<br>" +
                 said(text::msg::kReportVerifiedAtFormat,
                      {dateText(v.finished != 0 ? v.finished : v.started)});
        if (!v.detail.empty())
            verify += "<br>" + escapeHtml(text::toUtf8(text::showStored(v.detail)));
        const std::string figures = figuresText(VerifyFigures::parse(v.figures));
        if (!figures.empty()) verify += "<br>" + figures;
    }
    return row(kDeviceWidths, {image, where, name, kind, verify}, false);
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
    std::string device = a.mac.empty() ? said(text::msg::kSiteNoMac)
                                       : "<span class=\"mac\">" + escapeHtml(a.mac) + "</span>";
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
        detail += said(text::msg::kReportPackageFormat,
                       {escapeHtml(a.packageName), escapeHtml(a.packageSha256)});
    }
    return row(kLogWidths,
               {dateText(a.started), device, kindText(a.kind), change,
                outcomeText(a.outcome, false), detail},
               false);
}

std::string SiteReport::totals() const {
    int passed = 0, failed = 0, never = 0;
    for (const auto& d : devices_) {
        if (!d.verification || d.verification->outcome == "pending")
            ++never;
        else if (d.verification->outcome == "ok")
            ++passed;
        else
            ++failed;
    }
    int ok = 0, bad = 0, pending = 0;
    for (const auto& a : actions_) {
        if (a.outcome == "ok")
            ++ok;
        else if (a.outcome == "failed")
            ++bad;
        else
            ++pending;
    }
    auto n = [](std::size_t v) { return std::to_string(v); };
    return "<h2>" + said(text::msg::kReportTotals) + "</h2>\n<p>" +
           said(text::msg::kReportTotalDevicesFormat, {n(devices_.size())}) + "<br>" +
           said(text::msg::kReportTotalVerifyFormat,
                {n(static_cast<std::size_t>(passed)), n(static_cast<std::size_t>(failed)),
                 n(static_cast<std::size_t>(never))}) +
           "<br>" +
           said(text::msg::kReportTotalActionsFormat,
                {n(actions_.size()), n(static_cast<std::size_t>(ok)),
                 n(static_cast<std::size_t>(bad)), n(static_cast<std::size_t>(pending))}) +
           "</p>\n";
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
        << heading() << devicesHeading();
    if (devices_.empty()) {
        out << noDevices();
    } else {
        out << tableStart() << "<thead>" << deviceHeaderRow() << "</thead>\n<tbody>\n";
        for (const auto& d : devices_) {
            const Thumbnail t = thumbnail(d);
            if (t.jpeg.empty()) {
                out << deviceRow(d, {}, t);
                continue;
            }
            // The picture goes straight to the file, not through another copy of the row.
            const std::string marker = "\x01";
            const std::string html = deviceRow(d, marker, t);
            const auto at = html.find(marker);
            out << html.substr(0, at) << "data:image/jpeg;base64,";
            writeBase64(out, t.jpeg);
            out << html.substr(at + marker.size());
        }
        out << "</tbody>\n</table>\n";
    }
    out << logHeading();
    if (actions_.empty()) {
        out << noActions();
    } else {
        out << tableStart() << "<thead>" << logHeaderRow() << "</thead>\n<tbody>\n";
        for (const auto& a : actions_) out << logRow(a);
        out << "</tbody>\n</table>\n";
    }
    out << totals() << "</body>\n</html>\n";
}

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
