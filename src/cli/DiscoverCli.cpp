#include "cli/DiscoverCli.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <iostream>
#include <memory>
#include <thread>

#include "cli/CliNotifier.h"
#include "cli/CommandResult.h"
#include "cli/JsonOutput.h"
#include "cli/TextTable.h"
#include "core/discovery/CsvExport.h"
#include "core/discovery/DeviceFilter.h"
#include "core/discovery/DeviceTable.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/discovery/SearchDiagnosis.h"
#include "core/net/MacResolver.h"
#include "core/net/NetworkInterfaces.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/text/UiTextTable.h"

namespace tarvo::cli {

namespace {

struct DiscoverArgs {
    double seconds = 3.0;
    std::vector<std::string> interfaces;
    std::string sort;
    bool csv = false;
    bool diagnose = false;
    DeviceFilterArgs filter;
};

// Columns on a terminal: East Asian wide characters take two cells.
// "ip", "ip:desc", "3" or "3:desc" -> column and order; false when not a column.
bool parseSort(const std::string& sortText, int& column, bool& ascending) {
    static const std::vector<std::string> names{"seq", "ip", "mac", "name", "note", "type"};
    const auto colon = sortText.find(':');
    const std::string name = sortText.substr(0, colon);
    const std::string order = colon == std::string::npos ? "asc" : sortText.substr(colon + 1);
    if (order != "asc" && order != "desc") return false;
    ascending = order == "asc";
    const auto found = std::find(names.begin(), names.end(), name);
    if (found != names.end()) {
        column = static_cast<int>(found - names.begin());
        return true;
    }
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '5') {
        column = name[0] - '0';
        return true;
    }
    return false;
}

std::vector<net::LocalInterface> chooseInterfaces(const std::vector<std::string>& wanted,
                                                  bool& ok) {
    auto all = net::localInterfaces();
    ok = true;
    if (wanted.empty()) return all;
    std::vector<net::LocalInterface> chosen;
    for (const auto& address : wanted) {
        const auto found = std::find_if(all.begin(), all.end(), [&](const net::LocalInterface& i) {
            return net::formatIPv4(i.address) == address || i.name == address;
        });
        if (found == all.end()) {
            std::cerr << text::escapeControls(said(text::msg::kNoSuchInterfaceFormat, address))
                      << std::endl;
            ok = false;
            continue;
        }
        chosen.push_back(*found);
    }
    return chosen;
}

void printTable(const std::vector<discovery::DeviceRow>& rows) {
    const std::vector<std::u16string> headers = discovery::deviceListHeaders();
    std::vector<std::vector<std::u16string>> lines{headers};
    for (const auto& row : rows) {
        std::vector<std::u16string> cells = discovery::deviceListCells(row);
        for (auto& cell : cells) cell = text::escapeControls(cell);
        lines.push_back(std::move(cells));
    }
    printTextTable(lines);
}

nlohmann::json rowsToJson(const std::vector<discovery::DeviceRow>& rows) {
    auto array = nlohmann::json::array();
    for (const auto& row : rows) {
        array.push_back(
            {{"seq", row.sequence},
             {"ip", text::toUtf8(row.address)},
             {"mac", text::toUtf8(row.mac)},
             {"name", text::toUtf8(row.name)},
             {"note", text::toUtf8(discovery::deviceListCells(row)[discovery::kColNote])},
             {"type", row.type},
             {"sameNetwork", row.sameNetwork}});
        if (!row.conflictMacs.empty()) {
            auto& macs = array.back()["conflicts"] = nlohmann::json::array();
            for (const auto& mac : row.conflictMacs) macs.push_back(text::toUtf8(mac));
        }
    }
    return array;
}

// The figures per interface, then the hints, one a line.
void printDiagnosis(const discovery::SearchDiagnosis& diagnosis, std::ostream& out) {
    auto lines = discovery::diagnosisTable(diagnosis);
    for (auto& line : lines) {
        for (auto& cell : line) cell = text::escapeControls(cell);
    }
    printTextTable(lines, out);
    for (const auto& hint : discovery::hintTexts(diagnosis))
        out << text::toUtf8(text::escapeControls(hint)) << '\n';
    out.flush();
}

nlohmann::json diagnosisToJson(const discovery::SearchDiagnosis& diagnosis) {
    auto interfaces = nlohmann::json::array();
    for (const auto& f : diagnosis.interfaces) {
        nlohmann::json dropped = nlohmann::json::object();
        for (std::size_t r = 0; r < discovery::kDropReasons; ++r)
            dropped[std::string(discovery::dropReasonKey(static_cast<discovery::DropReason>(r)))] =
                f.dropped[r];
        interfaces.push_back({{"name", f.name},
                              {"address", net::formatIPv4(f.address)},
                              {"requestsSent", f.requestsSent},
                              {"requestsFailed", f.requestsFailed},
                              {"replies", f.replies},
                              {"rows", f.rows},
                              {"otherSubnetRows", f.otherSubnetRows},
                              {"conflicts", f.conflicts},
                              {"dropped", dropped},
                              {"packetSocket", f.frames}});
    }
    auto hints = nlohmann::json::array();
    const auto texts = discovery::hintTexts(diagnosis);
    for (std::size_t i = 0; i < diagnosis.hints.size(); ++i) {
        const auto& h = diagnosis.hints[i];
        nlohmann::json hint{{"hint", std::string(discovery::hintKey(h.hint))},
                            {"text", text::toUtf8(texts[i])}};
        if (!h.interfaceName.empty()) hint["interface"] = h.interfaceName;
        if (h.error != 0) hint["error"] = h.error;
        hints.push_back(std::move(hint));
    }
    return {{"interfaces", interfaces},
            {"rows", diagnosis.rows},
            {"replies", diagnosis.replies()},
            {"dropped", diagnosis.dropped()},
            {"hints", hints}};
}

int runDiscover(const GlobalOptions& global, const DiscoverArgs& args) {
    int sortColumn = -1;
    bool ascending = true;
    if (!args.sort.empty() && !parseSort(args.sort, sortColumn, ascending)) {
        return finish(global, {"discover", {}, exitcode::kUsage, said(text::msg::kSortExpected)});
    }
    (void)std::setlocale(LC_COLLATE, "");
    text::buildUiText(text::chooseUiLanguage());

    bool interfacesOk = true;
    const auto interfaces = chooseInterfaces(args.interfaces, interfacesOk);
    if (!interfacesOk) return finish(global, {"discover", {}, exitcode::kUsage});

    CliNotifier notifier;
    net::SystemMacResolver macResolver;
    discovery::DeviceTable table;
    discovery::DiscoveryEngine engine(table, macResolver, notifier);
    const int opened = engine.openInterfaces(interfaces);
    engine.startSearch();
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long>(args.seconds * 1000)));
    engine.setIgnoreReplies(true);
    engine.takeLateFrames();
    // Read before the interfaces close: their figures go with them.
    const auto diagnosis = engine.diagnosis();
    const auto searched = engine.interfaces();
    engine.closeInterfaces();

    if (sortColumn >= 0) table.Sort(sortColumn, ascending);
    auto heard = table.rows();
    // An empty list is a valid answer (exit status 0), but the user learns where it was asked.
    if (opened == 0) {
        std::cerr << said(text::msg::kNoInterfaceToSearch) << std::endl;
    } else if (heard.empty()) {
        std::u16string names;
        for (const auto& i : searched) {
            names += (names.empty() ? u"" : u", ") + text::fromUtf8(i.name) + u" " +
                     text::fromUtf8(net::formatIPv4(i.address));
        }
        std::cerr << text::toUtf8(text::escapeControls(
                         text::formatText(text::tr(text::msg::kNothingHeardFormat), {names})))
                  << std::endl;
    }
    std::vector<discovery::DeviceRow> rows;
    for (auto& row : heard) {
        if (args.filter.filter.matches(row)) rows.push_back(std::move(row));
    }
    if (args.csv) {
        std::cout << discovery::deviceListCsv(rows) << std::flush;
        // The CSV stays one table: the figures go beside it.
        if (args.diagnose) printDiagnosis(diagnosis, std::cerr);
    } else if (global.json) {
        if (args.diagnose) {
            printJson({{"devices", rowsToJson(rows)}, {"diagnosis", diagnosisToJson(diagnosis)}});
        } else {
            printJson(rowsToJson(rows));
        }
    } else {
        printTable(rows);
        if (args.diagnose) {
            std::cout << '\n';
            printDiagnosis(diagnosis, std::cout);
        }
    }
    return opened > 0 ? exitcode::kOk : exitcode::kFailed;
}

}  // namespace

void addDiscoverCommand(CLI::App& app, const GlobalOptions& global, std::function<int()>& run) {
    auto args = std::make_shared<DiscoverArgs>();
    CLI::App* sub =
        app.add_subcommand("discover", "Search every local network for devices and list them");
    sub->add_option("--seconds", args->seconds, "How long to collect replies")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 600.0));
    sub->add_option("--interface", args->interfaces,
                    "Search only on this local address (or interface name); repeatable");
    sub->add_option("--sort", args->sort,
                    "Sort by COLUMN[:asc|:desc]: seq, ip, mac, name, note, type");
    sub->add_flag("--csv", args->csv,
                  "Print the list as CSV (UTF-8 with byte-order mark) for a spreadsheet");
    sub->add_flag("--diagnose", args->diagnose,
                  "Also tell why a device may not show up: per interface the requests sent, "
                  "replies, devices, other-subnet devices, conflicts and replies dropped (and "
                  "why), then hints (with --json: {\"devices\": [...], \"diagnosis\": {...}}; "
                  "with --csv on stderr)");
    addFilterOptions(*sub, args->filter);
    sub->callback([&global, &run, args] {
        args->filter.resolve();
        run = [&global, args] { return runDiscover(global, *args); };
    });
}

void addFilterOptions(CLI::App& sub, DeviceFilterArgs& filter) {
    sub.add_option("--type", filter.filter.type, "Only devices of this type code")
        ->check(CLI::Range(0, 0xFFFF));
    sub.add_option("--name", filter.name, "Only devices whose name contains TEXT (any case)");
    sub.add_option("--subnet", filter.subnet, "Only devices in this subnet (A.B.C.D/N)");
    sub.add_flag("--other-subnet", filter.filter.otherSubnetOnly,
                 "Only devices outside the subnet of the interface that heard them");
}

void DeviceFilterArgs::resolve() {
    filter.name = text::fromUtf8(name);
    if (!subnet.empty() && !filter.setSubnet(subnet))
        throw CLI::ValidationError("--subnet", said(text::msg::kSubnetExpected));
}

}  // namespace tarvo::cli
