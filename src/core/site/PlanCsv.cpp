#include "core/site/PlanCsv.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <limits>
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

// Longer than any header name: the rest of a long cell cannot make it one.
constexpr std::size_t kLongestHeaderKey = 64;

std::string headerKey(std::string_view cell) {
    std::string key;
    for (char c : cell) {
        if (c == ' ' || c == '_' || c == '-' || c == '\t') continue;
        if (key.size() > kLongestHeaderKey) break;
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return key;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A field as a problem names it: a long one cut to its first characters, so that a problem
// stays one short line however long the field.
std::u16string excerpt(std::string_view field) {
    constexpr std::size_t kMaxCharacters = 40;
    std::size_t end = 0;
    for (std::size_t n = 0; n < kMaxCharacters && end < field.size(); ++n) {
        ++end;
        while (end < field.size() && (static_cast<unsigned char>(field[end]) >> 6) == 2) ++end;
    }
    if (end == field.size()) return text::fromUtf8(field);
    return text::fromUtf8(field.substr(0, end)) + u"…";
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

// The file's text as UTF-8: the bytes themselves (past a BOM) when they are UTF-8 already, else
// their text converted into `converted`.
std::string_view decoded(std::string_view bytes, std::string& converted) {
    auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
    if (starts("\xEF\xBB\xBF")) return bytes.substr(3);
    const bool little = starts("\xFF\xFE");
    if (little || starts("\xFE\xFF")) {
        std::u16string wide;
        wide.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]);
            const auto b = static_cast<unsigned char>(bytes[i + 1]);
            wide += static_cast<char16_t>(little ? a | (b << 8) : (a << 8) | b);
        }
        converted = text::toUtf8(wide);
        return converted;
    }
    if (validUtf8(bytes)) return bytes;
    converted = text::toUtf8(text::widenString(bytes));
    return converted;
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

// The cells of a CSV text one at a time, with RFC 4180 quoting: a quoted field may hold
// separators, line ends and doubled quotes. Every character is looked at once and copied at most
// once, and only the cell at hand is kept, so that a file of nothing but quotes or separators
// costs no more than its length.
class CsvCells {
public:
    CsvCells(std::string_view text, char separator) : text_(text), separator_(separator) {}

    // Moves to the next cell; false past the last one.
    bool next();
    [[nodiscard]] std::string_view text() const { return cell_; }
    // Nothing but spaces and tabs.
    [[nodiscard]] bool blank() const { return blank_; }
    [[nodiscard]] std::size_t column() const { return column_; }
    [[nodiscard]] bool endsRecord() const { return endsRecord_; }
    // The line its record starts on (1: the first).
    [[nodiscard]] int line() const { return recordLine_; }

private:
    void append(char c) {
        cell_ += c;
        blank_ = blank_ && (c == ' ' || c == '\t');
    }

    std::string_view text_;
    char separator_;
    std::size_t at_ = 0;
    std::string cell_;
    bool blank_ = true;
    bool endsRecord_ = true;  // the cell before ended its record
    bool started_ = false;    // something of this record was read: one more cell is due
    std::size_t column_ = 0;
    int line_ = 1;
    int recordLine_ = 1;
};

bool CsvCells::next() {
    if (endsRecord_) {
        column_ = 0;
        recordLine_ = line_;
        started_ = false;
    } else {
        ++column_;
    }
    cell_.clear();
    blank_ = true;
    bool quoted = false;
    while (at_ < text_.size()) {
        const char c = text_[at_++];
        if (quoted) {
            if (c != '"') {
                line_ += c == '\n' ? 1 : 0;
                append(c);
            } else if (at_ < text_.size() && text_[at_] == '"') {
                append('"');
                ++at_;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == '\r' || c == '\n') {
            if (c == '\r' && at_ < text_.size() && text_[at_] == '\n') ++at_;
            ++line_;
            endsRecord_ = true;
            return true;
        }
        started_ = true;
        if (c == separator_) {
            endsRecord_ = false;
            return true;
        }
        // A quote opens a quoted field where only blanks came before it; elsewhere it is text.
        if (c == '"' && blank_) {
            cell_.clear();
            quoted = true;
        } else {
            append(c);
        }
    }
    if (!started_) return false;
    started_ = false;
    endsRecord_ = true;
    return true;
}

using Columns = std::array<std::size_t, kFieldCount>;
constexpr std::size_t kNoColumn = std::numeric_limits<std::size_t>::max();

// The column of each field, as the header (the first record) names them.
Columns readHeader(CsvCells& cells) {
    Columns column;
    column.fill(kNoColumn);
    while (cells.next()) {
        const auto found = headerNames().find(headerKey(trimmed(cells.text())));
        if (found != headerNames().end() && column[found->second] == kNoColumn)
            column[found->second] = cells.column();
        if (cells.endsRecord()) break;
    }
    return column;
}

// One record of the plan: the cells of its columns, trimmed; the others are not kept.
struct Record {
    int line = 0;
    std::array<std::string, kFieldCount> cells;
    bool blank = true;  // every cell, of the plan's columns or not
};

// The next record; false past the last one.
bool readRecord(CsvCells& cells, const Columns& column, Record& record) {
    record = Record{};
    bool any = false;
    while (cells.next()) {
        any = true;
        record.line = cells.line();
        record.blank = record.blank && cells.blank();
        for (std::size_t f = 0; f < kFieldCount; ++f)
            if (column[f] == cells.column()) record.cells[f] = trimmed(cells.text());
        if (cells.endsRecord()) break;
    }
    return any;
}

bool isMask(std::uint32_t hostOrder) {
    return hostOrder != 0 && (~hostOrder & (~hostOrder + 1)) == 0;
}

// A dotted address read as a whole: inet_pton would stop at a NUL inside the text and take the
// part before it.
bool readAddress(const std::string& dotted, std::uint32_t& networkOrder) {
    return dotted.find('\0') == std::string::npos && net::parseIPv4(dotted, networkOrder);
}

bool isAddress(const std::string& dotted) {
    std::uint32_t ignored = 0;
    return readAddress(dotted, ignored);
}

std::uint32_t hostOrder(const std::string& dotted) {
    std::uint32_t a = 0;
    net::parseIPv4(dotted, a);
    return ntohl(a);
}

// The lines where each MAC and address came first. Kept as numbers, which take a fraction of
// the memory of their texts: a MAC as parseMac writes it and a valid address (inet_pton takes
// no leading zeros) have one spelling each. Texts that are no address are kept as they are.
class Seen {
public:
    // The line where it came first, or nothing when this is the first.
    std::optional<int> mac(const std::string& parsed, int line) {
        std::uint64_t key = 0;
        for (char c : parsed) {
            if (c != ':') key = key << 4 | static_cast<std::uint64_t>(hexValue(c));
        }
        return firstLine(macLines_, key, line);
    }
    std::optional<int> address(const std::string& text, int line) {
        std::uint32_t key = 0;
        if (readAddress(text, key)) return firstLine(addressLines_, key, line);
        return firstLine(otherAddressLines_, text, line);
    }

private:
    static int hexValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }
    template <typename Map, typename Key>
    static std::optional<int> firstLine(Map& map, const Key& key, int line) {
        const auto [at, fresh] = map.emplace(key, line);
        return fresh ? std::nullopt : std::optional<int>(at->second);
    }

    std::unordered_map<std::uint64_t, int> macLines_;
    std::unordered_map<std::uint32_t, int> addressLines_;
    std::unordered_map<std::string, int> otherAddressLines_;
};

// The row's problems, or the row into the plan when it has none.
void takeRow(Record&& record, Seen& seen, PlanFile& plan) {
    const std::size_t before = plan.problems.size();
    auto problem = [&](std::u16string_view format, std::initializer_list<std::u16string> v) {
        plan.problems.push_back({record.line, text::formatText(text::tr(format), v)});
    };
    PlanRow row;
    row.line = record.line;
    const auto mac = parseMac(record.cells[kMac]);
    if (!mac) problem(text::msg::kPlanBadMac, {excerpt(record.cells[kMac])});
    row.mac = mac.value_or("");
    row.address = std::move(record.cells[kAddress]);
    row.mask = std::move(record.cells[kMask]);
    row.gateway = std::move(record.cells[kGateway]);
    row.dns = std::move(record.cells[kDns]);
    row.name = std::move(record.cells[kName]);
    row.location = std::move(record.cells[kLocation]);
    row.note = std::move(record.cells[kNote]);
    for (const auto* value : {&row.address, &row.gateway, &row.dns}) {
        const bool required = value == &row.address;
        if ((required || !value->empty()) && !isAddress(*value))
            problem(text::msg::kPlanBadAddress, {excerpt(*value)});
    }
    if (!row.mask.empty() && (!isAddress(row.mask) || !isMask(hostOrder(row.mask))))
        problem(text::msg::kPlanBadMask, {excerpt(row.mask)});
    if (mac) {
        if (const auto first = seen.mac(*mac, record.line))
            problem(text::msg::kPlanDuplicateMac,
                    {text::fromUtf8(*mac), text::fromUtf8(std::to_string(*first))});
    }
    if (!row.address.empty()) {
        if (const auto first = seen.address(row.address, record.line))
            problem(text::msg::kPlanDuplicateAddress,
                    {excerpt(row.address), text::fromUtf8(std::to_string(*first))});
    }
    if (plan.problems.size() == before && !row.mask.empty()) {
        // The address must be a host of its subnet and the gateway in that subnet.
        const auto mask = hostOrder(row.mask);
        const auto address = hostOrder(row.address);
        const bool host =
            mask == 0xFFFFFFFFu || ((address & ~mask) != 0 && (address & ~mask) != ~mask);
        if (!host)
            problem(text::msg::kPlanAddressNotHost,
                    {text::fromUtf8(row.address), text::fromUtf8(row.mask)});
        if (!row.gateway.empty() &&
            ((hostOrder(row.gateway) & mask) != (address & mask) || row.gateway == row.address))
            problem(text::msg::kPlanGatewayOutside,
                    {text::fromUtf8(row.gateway), text::fromUtf8(row.address),
                     text::fromUtf8(row.mask)});
    }
    if (plan.problems.size() == before) plan.rows.push_back(std::move(row));
}

PlanFile problemOnly(std::u16string text) {
    PlanFile plan;
    plan.problems.push_back({0, std::move(text)});
    return plan;
}

}  // namespace

std::u16string lineText(const PlanProblem& problem) {
    if (problem.line <= 0) return problem.text;
    return text::formatText(text::tr(text::msg::kPlanLine),
                            {text::fromUtf8(std::to_string(problem.line)), problem.text});
}

PlanFile readPlanCsv(std::string_view bytes) {
    if (bytes.size() > kMaxPlanBytes) return problemOnly(text::tr(text::msg::kPlanTooLarge));
    std::string converted;
    const std::string_view text = decoded(bytes, converted);
    CsvCells cells(text, separatorOf(text));
    const Columns column = readHeader(cells);
    const bool columns = column[kMac] != kNoColumn && column[kAddress] != kNoColumn;
    // Records are read one at a time (empty lines count too); past the most a plan may hold the
    // file is refused, whatever else is wrong with it.
    PlanFile plan;
    Seen seen;
    Record record;
    std::size_t records = text.empty() ? 0 : 1;  // the header
    while (readRecord(cells, column, record)) {
        if (++records > kMaxPlanRows) return problemOnly(text::tr(text::msg::kPlanTooLarge));
        if (columns && !record.blank) takeRow(std::move(record), seen, plan);
    }
    if (!columns) return problemOnly(text::tr(text::msg::kPlanNoColumns));
    if (plan.rows.empty() && plan.problems.empty())
        plan.problems.push_back({0, text::tr(text::msg::kPlanEmpty)});
    return plan;
}

PlanFile readPlanFile(const std::string& path) {
    const auto unreadable = [&] {
        return problemOnly(
            text::formatText(text::tr(text::msg::kPlanUnreadable), {text::fromUtf8(path)}));
    };
    // A folder opens, and tells a size that is none.
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return unreadable();
    std::ifstream in(path, std::ios::binary);
    if (!in) return unreadable();
    // The size told saves growing the buffer; the read itself stops past the most a plan may
    // hold, so that a file that grows or has no size (a pipe) cannot fill memory.
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size > static_cast<std::streamoff>(kMaxPlanBytes))
        return problemOnly(text::tr(text::msg::kPlanTooLarge));
    in.clear();
    in.seekg(0);
    in.clear();
    std::string bytes;
    if (size > 0) bytes.reserve(static_cast<std::size_t>(size));
    std::array<char, 1 << 16> chunk;
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
        bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxPlanBytes) return problemOnly(text::tr(text::msg::kPlanTooLarge));
    }
    if (in.bad()) return unreadable();
    return readPlanCsv(bytes);
}

}  // namespace tarvo::site
