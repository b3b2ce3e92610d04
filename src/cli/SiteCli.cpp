#include "cli/SiteCli.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>

#include "cli/CliNotifier.h"
#include "cli/CommandResult.h"
#include "cli/Credentials.h"
#include "cli/JsonOutput.h"
#include "cli/TextTable.h"
#include "core/discovery/CsvExport.h"
#include "core/net/NetworkInterfaces.h"
#include "core/ops/forms/AddressBatch.h"
#include "core/site/PlanCsv.h"
#include "core/site/SiteApply.h"
#include "core/site/SiteFile.h"
#include "core/site/SiteReport.h"
#include "core/site/SiteStatus.h"
#include "core/site/SiteVerify.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/text/UiTextTable.h"
#include "report/PdfReport.h"

namespace tarvo::cli {

namespace {

struct SiteArgs {
    std::string site;
    std::string planFile;
    double seconds = 3.0;
    bool csv = false;
    bool dryRun = false;
    std::string user = "admin";
    Password password;
    // verify
    std::vector<std::string> addresses;
    int parallel = 4;
    double verifySeconds = 5.0;
    double timeout = 20.0;
    std::optional<int> port;
    std::string out;
    // apply
    bool strict = false;
    int applyParallel = 8;
};

// Every text read from the site or a plan (MACs and addresses too: the file may come from
// anywhere) reaches the terminal as device texts do, its control characters escaped.
std::string shown(std::string_view s) {
    return text::escapeControls(s);
}
// The same as a table or CSV cell.
std::u16string cell(std::string_view s) {
    return text::fromUtf8(shown(s));
}

// How a command needs its site: to write (made on first use), only to read, or to write when it
// can (else read it, and say why nothing is recorded).
enum class Access { Write, Read, TryWrite };

// Opens the site; on failure the reason is reported and nothing else happens.
std::unique_ptr<site::SiteFile> openSite(const GlobalOptions& global, const std::string& command,
                                         const SiteArgs& args, Access access, int& exitCode) {
    try {
        if (access == Access::Read) return site::SiteFile::openReadOnly(args.site);
        try {
            return site::SiteFile::open(args.site, true);
        } catch (const site::SiteError& e) {
            if (access != Access::TryWrite) throw;
            auto site = site::SiteFile::openReadOnly(args.site);
            std::cerr << shown(said(text::msg::kSiteSearchNotRecorded, std::string(e.what())))
                      << '\n';
            return site;
        }
    } catch (const site::SiteError& e) {
        exitCode = finish(global, {command, {}, exitcode::kFailed, e.what()});
        return nullptr;
    }
}

// Runs `body` with the open site; a site that fails while in use is reported the same way.
int withSite(const GlobalOptions& global, const std::string& command, const SiteArgs& args,
             Access access, const std::function<int(site::SiteFile&)>& body) {
    text::buildUiText(text::chooseUiLanguage());
    int exitCode = exitcode::kFailed;
    auto site = openSite(global, command, args, access, exitCode);
    if (!site) return exitCode;
    try {
        return body(*site);
    } catch (const site::SiteError& e) {
        return finish(global, {command, {}, exitcode::kFailed, e.what()});
    }
}

int runImport(const GlobalOptions& global, const SiteArgs& args) {
    return withSite(global, "site plan import", args, Access::Write, [&](site::SiteFile& site) {
        const auto plan = site::readPlanFile(args.planFile);
        if (!plan.problems.empty()) {
            auto problems = nlohmann::json::array();
            for (const auto& p : plan.problems) {
                const auto line = text::toUtf8(site::lineText(p));
                if (!global.json) std::cerr << shown(line) << '\n';
                problems.push_back({{"line", p.line}, {"message", line}});
            }
            // Nothing of a plan with a bad row is taken: the old plan stays.
            return finish(
                global, {"site plan import", {}, exitcode::kFailed, {}, {{"problems", problems}}});
        }
        site.replacePlan(plan.rows);
        return finish(global,
                      {"site plan import",
                       {},
                       exitcode::kOk,
                       said(text::msg::kDevicesPlannedFormat, std::to_string(plan.rows.size())),
                       {{"rows", plan.rows.size()}}});
    });
}

int runPlanShow(const GlobalOptions& global, const SiteArgs& args) {
    return withSite(global, "site plan show", args, Access::Read, [&](site::SiteFile& site) {
        const auto plan = site.plan();
        auto array = nlohmann::json::array();
        std::vector<std::vector<std::u16string>> lines{
            {u"MAC", u"IP", text::tr(text::msg::kAddressBatchMask),
             text::tr(text::msg::kAddressBatchGateway), text::tr(text::msg::kBatchColName),
             text::tr(text::msg::kSiteCsvLocation), text::tr(text::msg::kSiteCsvNote)}};
        for (const auto& r : plan) {
            array.push_back({{"line", r.line},
                             {"mac", r.mac},
                             {"ip", r.address},
                             {"mask", r.mask},
                             {"gateway", r.gateway},
                             {"dns", r.dns},
                             {"name", r.name},
                             {"location", r.location},
                             {"note", r.note}});
            lines.push_back({cell(r.mac), cell(r.address), cell(r.mask), cell(r.gateway),
                             cell(r.name), cell(r.location), cell(r.note)});
        }
        if (global.json)
            printJson(array);
        else
            printTextTable(lines);
        return exitcode::kOk;
    });
}

int runStatus(const GlobalOptions& global, const SiteArgs& args) {
    return withSite(global, "site status", args, Access::TryWrite, [&](site::SiteFile& site) {
        CliNotifier notifier;
        ops::AddressBatch search(notifier);
        const auto heard = search.search(args.seconds);
        // A site that cannot be written still shows its states, and says so.
        try {
            if (!site.readOnly()) site.recordSearch(heard, site::SiteFile::now());
        } catch (const site::SiteError& e) {
            std::cerr << shown(said(text::msg::kSiteSearchNotRecorded, std::string(e.what())))
                      << '\n';
        }
        const auto status = site::siteStatus(site.plan(), site.knownDevices(), heard);
        if (global.json) {
            auto array = nlohmann::json::array();
            for (const auto& s : status) {
                array.push_back({{"mac", s.mac},
                                 {"ip", s.address},
                                 {"plannedIp", s.plannedAddress},
                                 {"lastIp", s.lastAddress},
                                 {"state", site::stateKey(s.state)},
                                 {"name", s.name},
                                 {"location", s.location},
                                 {"note", s.note},
                                 {"type", s.type},
                                 {"version", s.version},
                                 {"firmwareChanged", s.firmwareChanged}});
            }
            printJson(array);
            return exitcode::kOk;
        }
        if (args.csv) {
            // Spreadsheets read the BOM as "this is UTF-8".
            auto field = [](const std::string& v) { return discovery::csvField(cell(v)); };
            auto header = [](std::u16string_view column) {
                return discovery::csvField(text::tr(column));
            };
            std::cout << "\xEF\xBB\xBF"
                      << "MAC,IP," << header(text::msg::kSiteCsvPlanned) << ','
                      << header(text::msg::kSiteCsvLast) << ',' << header(text::msg::kSiteCsvState)
                      << ',' << header(text::msg::kBatchColName) << ','
                      << header(text::msg::kSiteCsvLocation) << ','
                      << header(text::msg::kBatchColType) << ','
                      << header(text::msg::kBatchColVersion) << ','
                      << header(text::msg::kSiteFirmwareChanged) << ','
                      << header(text::msg::kSiteCsvNote) << "\r\n";
            for (const auto& s : status) {
                std::cout << field(s.mac) << ',' << field(s.address) << ','
                          << field(s.plannedAddress) << ',' << field(s.lastAddress) << ','
                          << field(text::toUtf8(site::stateText(s.state))) << ',' << field(s.name)
                          << ',' << field(s.location) << ',' << s.type << ',' << field(s.version)
                          << ',' << (s.firmwareChanged ? 1 : 0) << ',' << field(s.note) << "\r\n";
            }
            return exitcode::kOk;
        }
        // The same columns as the CSV, with the last address in brackets for a missing device.
        std::vector<std::vector<std::u16string>> lines{
            {u"MAC", u"IP", text::tr(text::msg::kSiteCsvPlanned),
             text::tr(text::msg::kSiteCsvState), text::tr(text::msg::kSiteColFirmware),
             text::tr(text::msg::kBatchColName), text::tr(text::msg::kSiteCsvLocation),
             text::tr(text::msg::kSiteCsvNote)}};
        for (const auto& s : status) {
            std::u16string location = cell(s.location);
            if (s.mac.empty()) location += u"  " + text::tr(text::msg::kSiteNoMac);
            const std::string at = !s.address.empty()       ? s.address
                                   : !s.lastAddress.empty() ? "(" + s.lastAddress + ")"
                                                            : "-";
            lines.push_back(
                {cell(s.mac.empty() ? "-" : s.mac), cell(at),
                 cell(s.plannedAddress.empty() ? "-" : s.plannedAddress),
                 std::u16string(site::stateText(s.state)),
                 s.firmwareChanged ? text::tr(text::msg::kSiteFirmwareChangedMark) : u"-",
                 cell(s.name), std::move(location), cell(s.note)});
        }
        printTextTable(lines);
        return exitcode::kOk;
    });
}

// The plan's rows with their results, the devices not in the plan, then what was left.
void printApply(const GlobalOptions& global, const SiteArgs& args, const site::ApplyReport& report,
                bool ok) {
    const std::size_t left = report.notApplied();
    if (global.json) {
        auto steps = nlohmann::json::array();
        for (const auto& r : report.results) {
            steps.push_back({{"line", r.line},
                             {"mac", text::toUtf8(r.mac)},
                             {"ip", r.oldAddress},
                             {"newIp", r.newAddress},
                             {"ok", !r.failed()},
                             {"searchOnly", r.searchOnly},
                             {"result", text::toUtf8(r.resultText())}});
        }
        auto unplanned = nlohmann::json::array();
        for (const auto& u : report.review.unplanned) {
            unplanned.push_back({{"ip", text::toUtf8(u.address)},
                                 {"mac", text::toUtf8(u.mac)},
                                 {"name", text::toUtf8(u.name)}});
        }
        auto problems = nlohmann::json::array();
        for (const auto& p : report.review.problems)
            problems.push_back({{"line", p.line}, {"message", text::toUtf8(site::lineText(p))}});
        printJson({{"command", "site apply"},
                   {"ok", ok},
                   {"dryRun", args.dryRun},
                   {"sent", report.sent},
                   {"notApplied", left},
                   {"steps", steps},
                   {"unplanned", unplanned},
                   {"problems", problems}});
        return;
    }
    // Who moves from where to where, then who answers but is not in the plan.
    std::vector<std::vector<std::u16string>> lines;
    for (const auto& r : report.results) {
        std::u16string result = text::escapeControls(r.resultText());
        if (r.searchOnly) result += u"  (" + text::tr(text::msg::kPlanSearchOnly) + u")";
        lines.push_back({text::formatText(
                             text::tr(text::msg::kPlanLine),
                             {text::fromUtf8(std::to_string(r.line)), text::escapeControls(r.mac)}),
                         cell(r.oldAddress.empty() ? "-" : r.oldAddress), u"->", cell(r.newAddress),
                         std::move(result)});
    }
    for (const auto& u : report.review.unplanned) {
        lines.push_back({u.mac.empty() ? u"-" : text::escapeControls(u.mac),
                         text::escapeControls(u.address), u"", u"",
                         text::tr(text::msg::kSiteNew) + u"  " + text::escapeControls(u.name)});
    }
    printTextTable(lines);
    if (!report.review.canApply()) {
        std::cerr << text::toUtf8(text::tr(text::msg::kPlanNothingSent)) << '\n';
        for (const auto& p : report.review.problems)
            std::cerr << shown(text::toUtf8(site::lineText(p))) << '\n';
    } else if (left > 0 && !args.dryRun) {
        std::cerr << text::toUtf8(text::formatText(text::tr(text::msg::kSiteNotApplied),
                                                   {text::fromUtf8(std::to_string(left))}))
                  << '\n';
    }
}

int runApply(const GlobalOptions& global, const SiteArgs& args) {
    return withSite(global, "site apply", args, Access::Write, [&](site::SiteFile& site) {
        if (site.plan().empty()) {
            return finish(global, {"site apply",
                                   {},
                                   exitcode::kFailed,
                                   text::toUtf8(text::tr(text::msg::kPlanEmpty))});
        }
        CliNotifier notifier;
        site::ApplyOptions options;
        options.user = text::fromUtf8(args.user);
        options.password = text::fromUtf8(args.password.value);
        options.searchSeconds = args.seconds;
        options.dryRun = args.dryRun;
        options.strict = args.strict;
        options.parallel = static_cast<std::size_t>(args.applyParallel);
        const auto report = site::applyPlan(site, options, notifier);
        // Done only when every planned device is in place (a dry run: when all can be done).
        const bool ok =
            report.review.canApply() && std::none_of(report.results.begin(), report.results.end(),
                                                     [](const auto& r) { return r.failed(); });
        printApply(global, args, report, ok);
        return ok ? exitcode::kOk : exitcode::kFailed;
    });
}

// Prints each device's line as it finishes (text mode); JSON waits for the whole array.
class VerifyLines final : public site::VerifyObserver {
public:
    explicit VerifyLines(bool json) : json_(json) {}
    void verified(const site::VerifyResult& r, std::span<const std::uint8_t>) override {
        if (json_) return;
        std::u16string line = cell(r.target.address) + u"  " +
                              cell(r.target.mac.empty() ? "-" : r.target.mac) + u"  " +
                              text::escapeControls(r.resultText());
        if (!r.version.empty()) line += u"  " + text::escapeControls(text::fromUtf8(r.version));
        const std::u16string figures = r.figures.text();
        if (!figures.empty()) line += u"  " + figures;
        std::lock_guard lock(mutex_);
        std::cout << text::toUtf8(line) << std::endl;
        if (!r.siteError.empty() && r.reason != text::Reason::literal(r.siteError))
            std::cerr << shown(r.siteError) << std::endl;
    }

private:
    const bool json_;
    std::mutex mutex_;
};

int runVerify(const GlobalOptions& global, const SiteArgs& args) {
    return withSite(global, "site verify", args, Access::Write, [&](site::SiteFile& site) {
        CliNotifier notifier;
        ops::AddressBatch search(notifier);
        const auto heard = search.search(args.seconds);
        const auto targets = site::verifyTargets(heard, args.addresses);
        if (targets.empty()) {
            std::u16string names;
            for (const auto& i : search.interfaces()) {
                if (!names.empty()) names += u", ";
                names += text::fromUtf8(i.name) + u" " + text::fromUtf8(net::formatIPv4(i.address));
            }
            return finish(global, {"site verify",
                                   {},
                                   exitcode::kFailed,
                                   text::toUtf8(text::escapeControls(text::formatText(
                                       text::tr(text::msg::kNothingHeardFormat), {names})))});
        }
        site::VerifyOptions options;
        options.user = text::fromUtf8(args.user);
        options.password = text::fromUtf8(args.password.value);
        options.parallel = args.parallel;
        options.seconds = args.verifySeconds;
        options.timeout = args.timeout;
        if (args.port) options.port = static_cast<std::uint16_t>(*args.port);
        VerifyLines lines(global.json);
        const std::atomic<bool> stop{false};
        // The workers keep connections of their own to the site; this one stays out of the way.
        const auto results = site::verifyDevices(site.path(), heard, targets, options, lines, stop);
        const auto failures = std::count_if(results.begin(), results.end(), [](const auto& r) {
            return !r.ok || !r.siteError.empty();
        });
        if (global.json) {
            auto array = nlohmann::json::array();
            for (const auto& r : results) {
                nlohmann::json item{{"ip", r.target.address},
                                    {"mac", r.target.mac},
                                    {"name", r.target.name},
                                    {"type", r.target.type},
                                    {"ok", r.ok},
                                    {"result", text::toUtf8(r.resultText())},
                                    {"version", r.version},
                                    {"figures", nlohmann::json::parse(r.figures.json())},
                                    {"snapshotBytes", r.snapshotBytes},
                                    {"action", r.actionId}};
                if (!r.ok) item["reason"] = text::toUtf8(text::show(r.reason));
                if (!r.siteError.empty()) item["siteError"] = r.siteError;
                array.push_back(std::move(item));
            }
            printJson(array);
        } else {
            std::cerr << said(text::msg::kVerifyProgressFormat, std::to_string(results.size()),
                              std::to_string(results.size()), std::to_string(failures))
                      << std::endl;
        }
        return failures == 0 ? exitcode::kOk : exitcode::kFailed;
    });
}

// The report of an existing site (a report never makes one). The file's name says the format;
// nothing is written for another one, and a failed report leaves no file behind.
int runReport(const GlobalOptions& global, const SiteArgs& args) {
    text::buildUiText(text::chooseUiLanguage());
    const auto format = site::reportFormatOf(args.out);
    if (!format)
        return finish(global,
                      {"site report", {}, exitcode::kUsage, said(text::msg::kReportExtension)});
    // Qt only for the PDF, and only now: the capabilities were dropped at the start.
    std::optional<report::OffscreenGui> gui;
    try {
        const auto opened = site::SiteFile::openReadOnly(args.site);
        if (*format == site::ReportFormat::Pdf) gui.emplace();
        if (*format == site::ReportFormat::Html)
            site::writeHtmlReport(*opened, args.out);
        else
            report::writePdfReport(*opened, args.out);
    } catch (const std::runtime_error& e) {  // SiteError, ReportError
        return finish(global,
                      {"site report", {}, exitcode::kFailed, e.what(), {{"out", args.out}}});
    }
    return finish(global, {"site report",
                           {},
                           exitcode::kOk,
                           said(text::msg::kReportWrittenFormat, args.out),
                           {{"out", args.out}}});
}

// site status: the devices' states against the site.
void addStatusCommand(CLI::App& site, const GlobalOptions& global, std::function<int()>& run,
                      const std::shared_ptr<SiteArgs>& args) {
    CLI::App* status =
        site.add_subcommand("status", "Search, and show each device's state against the site");
    status->add_option("--seconds", args->seconds, "How long the search listens")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 60.0));
    status->add_flag("--csv", args->csv, "Print CSV (UTF-8 with BOM) instead of a table");
    status->callback(
        [&global, &run, args] { run = [&global, args] { return runStatus(global, *args); }; });
}

// site plan import|show.
void addPlanCommands(CLI::App& site, const GlobalOptions& global, std::function<int()>& run,
                     const std::shared_ptr<SiteArgs>& args) {
    CLI::App* plan = site.add_subcommand("plan", "The site's address plan");
    plan->require_subcommand(1);
    CLI::App* importCommand = plan->add_subcommand(
        "import",
        "Take the plan from a CSV file (MAC, address, mask, gateway, DNS, name, "
        "location, note); a file with a bad row changes nothing");
    importCommand->add_option("FILE", args->planFile, "The plan (CSV or tab-separated text)")
        ->required();
    importCommand->callback(
        [&global, &run, args] { run = [&global, args] { return runImport(global, *args); }; });
    CLI::App* show = plan->add_subcommand("show", "Print the site's plan");
    show->callback(
        [&global, &run, args] { run = [&global, args] { return runPlanShow(global, *args); }; });
}

// site apply: every device of the plan to its address.
void addApplyCommand(CLI::App& site, const GlobalOptions& global, std::function<int()>& run,
                     const std::shared_ptr<SiteArgs>& args) {
    CLI::App* apply = site.add_subcommand(
        "apply",
        "Move every device of the plan to its address; nothing is sent while the plan has errors; "
        "devices that do not answer today are left for the next apply");
    apply->add_flag("--dry-run", args->dryRun, "Show what would change; send nothing");
    apply->add_flag("--strict", args->strict,
                    "Send nothing unless every device of the plan can be moved today");
    apply->add_option("--parallel", args->applyParallel, "Devices written at a time")
        ->capture_default_str()
        ->check(CLI::Range(1, 64));
    apply->add_option("--user", args->user, "User name")->capture_default_str();
    addPasswordOptions(*apply, args->password);
    apply->add_option("--search-seconds", args->seconds, "How long each search listens")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 60.0));
    apply->callback([&global, &run, args] {
        args->password.resolve();
        run = [&global, args] { return runApply(global, *args); };
    });
}

// site verify: each device checked and its result recorded.
void addVerifyCommand(CLI::App& site, const GlobalOptions& global, std::function<int()>& run,
                      const std::shared_ptr<SiteArgs>& args) {
    CLI::App* verify = site.add_subcommand(
        "verify",
        "Check each device (connect, login, firmware version; for cameras the stream's first key "
        "picture, rates, size and a snapshot) and record the results in the site");
    verify->add_option("IP", args->addresses,
                       "Devices to verify (default: every device that answers)");
    verify->add_option("--parallel", args->parallel, "Devices verified at a time")
        ->capture_default_str()
        ->check(CLI::Range(1, site::kMaxVerifyParallel));
    verify
        ->add_option("--seconds", args->verifySeconds, "How long each camera's stream is measured")
        ->capture_default_str()
        ->check(CLI::Range(0.5, 600.0));
    verify
        ->add_option("--timeout", args->timeout,
                     "Seconds each device has up to its first key picture")
        ->capture_default_str()
        ->check(CLI::Range(1.0, 600.0));
    verify->add_option("--port", args->port, "Command port (default 5500 for an NVR, else 5505)")
        ->check(CLI::Range(1, 65534));
    verify->add_option("--user", args->user, "User name")->capture_default_str();
    addPasswordOptions(*verify, args->password);
    verify->add_option("--search-seconds", args->seconds, "How long the search listens")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 60.0));
    verify->callback([&global, &run, args] {
        args->password.resolve();
        run = [&global, args] { return runVerify(global, *args); };
    });
}

// site report: the report to hand over.
void addReportCommand(CLI::App& site, const GlobalOptions& global, std::function<int()>& run,
                      const std::shared_ptr<SiteArgs>& args) {
    CLI::App* reportCommand = site.add_subcommand(
        "report",
        "Write the site's report to hand over: every device with its verification, the "
        "action log and totals, as HTML or PDF");
    reportCommand->add_option("--out", args->out, "The report: FILE.html or FILE.pdf")->required();
    reportCommand->callback(
        [&global, &run, args] { run = [&global, args] { return runReport(global, *args); }; });
}

}  // namespace

void addSiteCommands(CLI::App& app, const GlobalOptions& global, std::function<int()>& run) {
    auto args = std::make_shared<SiteArgs>();
    CLI::App* site = app.add_subcommand(
        "site", "Work on a site file: its address plan by MAC and its devices' states");
    site->require_subcommand(1);
    site->add_option("--site", args->site, "The site file (*.tarvo-site); made on first use")
        ->required();
    addStatusCommand(*site, global, run, args);
    addPlanCommands(*site, global, run, args);
    addApplyCommand(*site, global, run, args);
    addVerifyCommand(*site, global, run, args);
    addReportCommand(*site, global, run, args);
}

}  // namespace tarvo::cli
