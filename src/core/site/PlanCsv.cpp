#include "core/site/PlanCsv.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <optional>
#include <unordered_map>

#include "core/net/NetworkInterfaces.h"
#include "core/site/MacText.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

namespace {

enum Field : int { kMac, kAddress, kMask, kGateway, kDns, kName, kLocation, kNote, kFieldCount };

// Header names, compared after lower-casing ASCII and dropping spaces, '_' and '-'.
const std::unordered_map<std::string, Field>& headerNames() {
    static const std::unordered_map<std::string, Field> names = [] {
        std::unordered_map<std::string, Field> m;
        const std::array<std::pair<Field, std::vector<std::u16string_view>>, kFieldCount> all{{
            {kMac, {u"mac", u"macaddress", u"mac地址", u"物理地址"}},
            {kAddress, {u"ip", u"address", u"ipaddress", u"ip地址", u"地址", u"新地址"}},
            {kMask, {u"mask", u"netmask", u"subnetmask", u"子网掩码", u"掩码"}},
            {kGateway, {u"gateway", u"defaultgateway", u"网关", u"默认网关"}},
            {kDns, {u"dns", u"dnsserver", u"dns服务器"}},
            {kName, {u"name", u"devicename", u"名称", u"设备名称"}},
            {kLocation, {u"location", u"place", u"位置", u"安装位置"}},
            {kNote, {u"note", u"notes", u"comment", u"备注"}},
        }};
        for (const auto& [field, list] : all)
            for (auto name : list) m.emplace(text::toUtf8(name), field);
        return m;
    }();
    return names;
}

std::string headerKey(std::string_view cell) {
    std::string key;
    for (char c : cell) {
        if (c == ' ' || c == '_' || c == '-' || c == '\t') continue;
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return key;
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t length = c < 0x80         ? 1
                                   : (c >> 5) == 6  ? 2
                                   : (c >> 4) == 14 ? 3
                                   : (c >> 3) == 30 ? 4
                                                    : 0;
        if (length == 0 || i + length > s.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += length;
    }
    return true;
}

// The file's text as UTF-8.
std::string decoded(std::string_view bytes) {
    auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
    if (starts("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
    const bool little = starts("\xFF\xFE");
    if (little || starts("\xFE\xFF")) {
        std::u16string wide;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]);
            const auto b = static_cast<unsigned char>(bytes[i + 1]);
            wide += static_cast<char16_t>(little ? a | (b << 8) : (a << 8) | b);
        }
        return text::toUtf8(wide);
    }
    if (validUtf8(bytes)) return std::string(bytes);
    return text::toUtf8(text::widenString(bytes));
}

// The separator the header line uses most (commas on a tie).
char separatorOf(std::string_view text) {
    const auto end = text.find_first_of("\r\n");
    const auto header = text.substr(0, end);
    bool quoted = false;
    std::array<int, 3> counts{};
    for (char c : header) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        counts[0] += c == ',';
        counts[1] += c == ';';
        counts[2] += c == '\t';
    }
    if (counts[1] > counts[0] && counts[1] >= counts[2]) return ';';
    if (counts[2] > counts[0] && counts[2] > counts[1]) return '\t';
    return ',';
}

struct Record {
    int line = 0;
    std::vector<std::string> cells;
};

// Records with RFC 4180 quoting; a quoted field may hold separators and line ends.
std::vector<Record> records(std::string_view text, char separator, std::size_t limit) {
    std::vector<Record> out;
    Record current{1, {}};
    std::string cell;
    int line = 1;
    bool quoted = false;
    bool any = false;
    auto endRecord = [&] {
        current.cells.push_back(std::move(cell));
        cell.clear();
        out.push_back(std::move(current));
        current = Record{line, {}};
        any = false;
    };
    for (std::size_t i = 0; i < text.size() && out.size() <= limit; ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                line += c == '\n' ? 1 : 0;
                cell += c;
            }
            continue;
        }
        if (c == '"' && trimmed(cell).empty()) {
            cell.clear();
            quoted = true;
            any = true;
        } else if (c == separator) {
            current.cells.push_back(std::move(cell));
            cell.clear();
            any = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            ++line;
            endRecord();
        } else {
            cell += c;
            any = true;
        }
    }
    if (any || !cell.empty()) endRecord();
    return out;
}

bool isMask(std::uint32_t hostOrder) {
    return hostOrder != 0 && (~hostOrder & (~hostOrder + 1)) == 0;
}

std::uint32_t hostOrder(const std::string& dotted) {
    std::uint32_t a = 0;
    net::parseIPv4(dotted, a);
    return ntohl(a);
}

}  // namespace

std::u16string lineText(const PlanProblem& problem) {
    if (problem.line <= 0) return problem.text;
    return text::formatText(text::tr(text::msg::kPlanLine),
                            {text::fromUtf8(std::to_string(problem.line)), problem.text});
}

PlanFile readPlanCsv(std::string_view bytes) {
    PlanFile plan;
    if (bytes.size() > kMaxPlanBytes) {
        plan.problems.push_back({0, text::tr(text::msg::kPlanTooLarge)});
        return plan;
    }
    const std::string text = decoded(bytes);
    const auto all = records(text, separatorOf(text), kMaxPlanRows + 1);
    if (all.size() > kMaxPlanRows) {
        plan.problems.push_back({0, text::tr(text::msg::kPlanTooLarge)});
        return plan;
    }
    std::array<int, kFieldCount> column{};
    column.fill(-1);
    if (!all.empty()) {
        for (std::size_t i = 0; i < all.front().cells.size(); ++i) {
            const auto found = headerNames().find(headerKey(trimmed(all.front().cells[i])));
            if (found != headerNames().end() && column[found->second] < 0)
                column[found->second] = static_cast<int>(i);
        }
    }
    if (column[kMac] < 0 || column[kAddress] < 0) {
        plan.problems.push_back({0, text::tr(text::msg::kPlanNoColumns)});
        return plan;
    }
    std::unordered_map<std::string, int> macLines;
    std::unordered_map<std::string, int> addressLines;
    for (std::size_t r = 1; r < all.size(); ++r) {
        const auto& record = all[r];
        auto cell = [&](Field f) {
            const int c = column[f];
            return c >= 0 && static_cast<std::size_t>(c) < record.cells.size()
                       ? trimmed(record.cells[static_cast<std::size_t>(c)])
                       : std::string();
        };
        if (std::all_of(record.cells.begin(), record.cells.end(),
                        [](const std::string& s) { return trimmed(s).empty(); }))
            continue;
        const std::size_t before = plan.problems.size();
        auto problem = [&](std::u16string_view format, std::initializer_list<std::u16string> v) {
            plan.problems.push_back({record.line, text::formatText(text::tr(format), v)});
        };
        PlanRow row;
        row.line = record.line;
        const auto mac = parseMac(cell(kMac));
        if (!mac) problem(text::msg::kPlanBadMac, {text::fromUtf8(cell(kMac))});
        row.mac = mac.value_or("");
        row.address = cell(kAddress);
        row.mask = cell(kMask);
        row.gateway = cell(kGateway);
        row.dns = cell(kDns);
        row.name = cell(kName);
        row.location = cell(kLocation);
        row.note = cell(kNote);
        std::uint32_t ignored = 0;
        for (const auto* value : {&row.address, &row.gateway, &row.dns}) {
            const bool required = value == &row.address;
            if ((required || !value->empty()) && !net::parseIPv4(*value, ignored))
                problem(text::msg::kPlanBadAddress, {text::fromUtf8(*value)});
        }
        if (!row.mask.empty() &&
            (!net::parseIPv4(row.mask, ignored) || !isMask(hostOrder(row.mask))))
            problem(text::msg::kPlanBadMask, {text::fromUtf8(row.mask)});
        if (mac) {
            const auto [at, fresh] = macLines.emplace(*mac, record.line);
            if (!fresh)
                problem(text::msg::kPlanDuplicateMac,
                        {text::fromUtf8(*mac), text::fromUtf8(std::to_string(at->second))});
        }
        if (!row.address.empty()) {
            const auto [at, fresh] = addressLines.emplace(row.address, record.line);
            if (!fresh)
                problem(text::msg::kPlanDuplicateAddress,
                        {text::fromUtf8(row.address), text::fromUtf8(std::to_string(at->second))});
        }
        if (plan.problems.size() == before) {
            // The address must be a host of its subnet and the gateway in that subnet.
            if (!row.mask.empty()) {
                const auto mask = hostOrder(row.mask);
                const auto address = hostOrder(row.address);
                const bool host =
                    mask == 0xFFFFFFFFu || ((address & ~mask) != 0 && (address & ~mask) != ~mask);
                if (!host)
                    problem(text::msg::kPlanAddressNotHost,
                            {text::fromUtf8(row.address), text::fromUtf8(row.mask)});
                if (!row.gateway.empty() && ((hostOrder(row.gateway) & mask) != (address & mask) ||
                                             row.gateway == row.address))
                    problem(text::msg::kPlanGatewayOutside,
                            {text::fromUtf8(row.gateway), text::fromUtf8(row.address),
                             text::fromUtf8(row.mask)});
            }
        }
        if (plan.problems.size() == before) plan.rows.push_back(std::move(row));
    }
    if (plan.rows.empty() && plan.problems.empty())
        plan.problems.push_back({0, text::tr(text::msg::kPlanEmpty)});
    return plan;
}

PlanFile readPlanFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    if (in) {
        in.seekg(0, std::ios::end);
        const auto size = in.tellg();
        in.seekg(0);
        if (size > static_cast<std::streamoff>(kMaxPlanBytes)) {
            return {{}, {{0, text::tr(text::msg::kPlanTooLarge)}}};
        }
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!in && !in.eof()) {
        return {
            {},
            {{0, text::formatText(text::tr(text::msg::kPlanUnreadable), {text::fromUtf8(path)})}}};
    }
    return readPlanCsv(bytes);
}

}  // namespace tarvo::site
