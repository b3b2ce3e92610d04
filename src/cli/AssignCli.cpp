#include "cli/AssignCli.h"

#include <arpa/inet.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/CliNotifier.h"
#include "cli/CommandResult.h"
#include "cli/Credentials.h"
#include "cli/DiscoverCli.h"
#include "cli/JsonOutput.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/net/NetworkInterfaces.h"
#include "core/ops/forms/AddressBatch.h"
#include "core/text/Messages.h"
#include "core/text/TerminalText.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/text/UiTextTable.h"

namespace tarvo::cli {

namespace {

using ops::AddressAssignment;

struct AssignArgs {
    std::vector<std::string> ips;
    bool all = false;
    DeviceFilterArgs filter;
    std::string start;
    std::optional<std::string> mask, gateway, dns;
    std::string user = "admin";
    Password password;
    double searchSeconds = 3.0;
    bool dryRun = false;
};

// The devices the command names, in its order; those that did not answer stay as bare rows
// that the batch reports as not found. --all leaves out NVRs and DVRs, which take no addresses.
std::vector<discovery::DeviceRow> chosenRows(const AssignArgs& args,
                                             const std::vector<discovery::DeviceRow>& heard) {
    std::vector<discovery::DeviceRow> chosen;
    if (args.all) {
        for (const auto& row : heard)
            if (args.filter.filter.matches(row) &&
                discovery::allows(row.type, discovery::Operation::NetworkSettings))
                chosen.push_back(row);
        // Lowest address first, so the plan reads in the order of the subnet.
        auto key = [](const discovery::DeviceRow& r) {
            return ntohl(inet_addr(text::toUtf8(r.address).c_str()));
        };
        std::stable_sort(chosen.begin(), chosen.end(),
                         [&](const auto& a, const auto& b) { return key(a) < key(b); });
        return chosen;
    }
    for (const auto& ip : args.ips) {
        const auto found = std::find_if(heard.begin(), heard.end(), [&](const auto& r) {
            return text::toUtf8(r.address) == ip;
        });
        discovery::DeviceRow missing;
        missing.address = text::fromUtf8(ip);
        chosen.push_back(found != heard.end() ? *found : missing);
    }
    return chosen;
}

// The address the device has now taken or is to take: none for one that refused it or was not
// found, which keeps its old address whatever was planned for it.
std::string newAddressOf(const AddressAssignment& a) {
    using Result = AddressAssignment::Result;
    return a.result == Result::Refused || a.result == Result::NotFound ? std::string()
                                                                       : a.newAddress;
}

void printAssignments(const GlobalOptions& global, const std::vector<AddressAssignment>& list) {
    if (global.json) {
        auto array = nlohmann::json::array();
        for (const auto& a : list) {
            array.push_back({{"ip", a.oldAddress},
                             {"mac", text::toUtf8(a.mac)},
                             {"newIp", newAddressOf(a)},
                             {"ok", !a.failed()},
                             {"searchOnly", a.searchOnly},
                             {"result", text::toUtf8(a.resultText())}});
        }
        printJson(array);
        return;
    }
    std::size_t width = 0;
    for (const auto& a : list) width = std::max(width, a.oldAddress.size());
    for (const auto& a : list) {
        std::cout << a.oldAddress << std::string(width - a.oldAddress.size(), ' ') << "  ->  "
                  << (newAddressOf(a).empty() ? std::string("-") : newAddressOf(a)) << "  "
                  << text::escapeControls(text::toUtf8(a.resultText()))
                  << (a.searchOnly
                          ? "  (" + text::toUtf8(text::tr(text::msg::kPlanSearchOnly)) + ")"
                          : std::string())
                  << '\n';
    }
    std::cout.flush();
}

int runAssign(const GlobalOptions& global, const AssignArgs& args) {
    text::buildUiText(text::chooseUiLanguage());
    std::uint32_t start = 0;
    std::uint32_t mask = 0;
    if (!net::parseIPv4(args.start, start) ||
        !net::parseIPv4(args.mask.value_or("255.255.255.0"), mask)) {
        return finish(global,
                      {"net assign", {}, exitcode::kUsage, said(text::msg::kAssignBadStartOrMask)});
    }
    CliNotifier notifier;
    ops::AddressBatch batch(notifier);
    const auto heard = batch.search(args.searchSeconds);
    auto list = batch.plan(chosenRows(args, heard), start, mask);
    // A batch that cannot be carried out completely sends nothing: each row says why.
    const bool complete = !list.empty() && std::none_of(list.begin(), list.end(),
                                                        [](const auto& a) { return a.failed(); });
    if (!complete && !args.dryRun) notifier.message(text::msg::kPlanNothingSent);
    if (complete && !args.dryRun) {
        ops::AddressBatchEntry entry{text::fromUtf8(args.user), text::fromUtf8(args.password.value),
                                     args.mask, args.gateway, args.dns};
        batch.write(list, {entry}, args.searchSeconds);
        batch.confirm(list, args.searchSeconds);
    }
    printAssignments(global, list);
    const bool failed =
        std::any_of(list.begin(), list.end(), [](const auto& a) { return a.failed(); });
    return failed || list.empty() ? 1 : 0;
}

}  // namespace

void addAssignCommand(CLI::App& net, const GlobalOptions& global, std::function<int()>& run) {
    auto args = std::make_shared<AssignArgs>();
    CLI::App* sub = net.add_subcommand(
        "assign", "Give each device the next free address from --start, several devices at a time");
    CLI::Option* ips = sub->add_option("IP", args->ips, "Device addresses");
    CLI::Option* all =
        sub->add_flag("--all", args->all, "Every device the search finds (see the filters)");
    ips->excludes(all);
    sub->add_option("--start", args->start, "First address to give")->required();
    sub->add_option("--mask", args->mask,
                    "Subnet mask to write; the plan stays in this subnet (default: "
                    "255.255.255.0, each device's own mask kept)");
    sub->add_option("--gateway", args->gateway, "Gateway (default: each device's own)");
    sub->add_option("--dns", args->dns, "DNS server (default: each device's own)");
    sub->add_option("--user", args->user, "User name")->capture_default_str();
    addPasswordOptions(*sub, args->password);
    sub->add_option("--search-seconds", args->searchSeconds, "How long each search listens")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 60.0));
    sub->add_flag("--dry-run", args->dryRun, "Print the plan; send nothing");
    addFilterOptions(*sub, args->filter);
    sub->callback([&global, &run, args] {
        if (args->ips.empty() && !args->all) throw CLI::RequiredError("IP or --all");
        args->password.resolve();
        args->filter.resolve();
        run = [&global, args] { return runAssign(global, *args); };
    });
}

}  // namespace tarvo::cli
