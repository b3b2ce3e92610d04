#include "core/discovery/DeviceTable.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <numeric>

#include "core/protocol/Frames.h"
#include "core/text/TextConvert.h"

namespace tarvo::discovery {

namespace {

bool allDigits(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// The number a text stands for, read like atoi through a 10-byte buffer: a text of ten or more
// characters does not fit and counts as empty (0).
long long numberOf(std::u16string_view text) {
    if (text.size() >= 10) return 0;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = value * 10 + (text[i] - u'0');
    return negative ? -value : value;
}

std::wstring toWide(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        out += static_cast<wchar_t>(cp);
    }
    return out;
}

int sign(long long v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

std::u16string decimal(long value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

// The stored text of a free-text column, or null for the numbered ones and unknown columns.
std::u16string* textField(DeviceRow& row, int column) {
    switch (column) {
        case kColAddress:
            return &row.address;
        case kColMac:
            return &row.mac;
        case kColName:
            return &row.name;
        case kColNote:
            return &row.note;
        default:
            return nullptr;
    }
}

}  // namespace

std::u16string DeviceRow::cell(int column) const {
    switch (column) {
        case kColSeq:
            return decimal(sequence);
        case kColAddress:
            return address;
        case kColMac:
            return mac;
        case kColName:
            return name;
        case kColNote:
            return note;
        case kColType:
            return decimal(type);
        default:
            return {};
    }
}

int compareCellTexts(std::u16string_view a, std::u16string_view b, bool ascending) {
    if (a.size() != b.size()) {
        const bool aShorter = a.size() < b.size();
        if (ascending) return aShorter ? -1 : 1;
        return aShorter ? 1 : -1;
    }
    if (allDigits(a)) {
        const long long na = numberOf(a);
        const long long nb = numberOf(b);
        return ascending ? sign(na - nb) : sign(nb - na);
    }
    const std::wstring wa = toWide(a);
    const std::wstring wb = toWide(b);
    const int c =
        ascending ? std::wcscoll(wa.c_str(), wb.c_str()) : std::wcscoll(wb.c_str(), wa.c_str());
    return sign(c);
}

int DeviceTable::AddItem(DeviceRow row) {
    std::lock_guard guard(lock_);
    rows_.push_back(std::move(row));
    countAddress(rows_.back(), +1);
    const int index = static_cast<int>(rows_.size()) - 1;
    if (listener_ != nullptr) listener_->rowInserted(index, rows_.back());
    return index;
}

int DeviceTable::SetItemText(int row, int column, std::u16string text) {
    std::lock_guard guard(lock_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return 0;
    auto& target = rows_[static_cast<std::size_t>(row)];
    std::u16string* cell = textField(target, column);
    if (cell == nullptr) return 0;
    if (column == kColAddress) countAddress(target, -1);
    *cell = std::move(text);
    if (column == kColAddress) countAddress(target, +1);
    if (listener_ != nullptr) listener_->cellChanged(row, column, *cell);
    return 1;
}

bool DeviceTable::addHeardOn(int row, std::uint32_t interfaceAddress) {
    std::lock_guard guard(lock_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    auto& heard = rows_[static_cast<std::size_t>(row)].heardOn;
    if (std::find(heard.begin(), heard.end(), interfaceAddress) != heard.end()) return false;
    heard.push_back(interfaceAddress);
    return true;
}

bool DeviceTable::setConflict(int row, std::vector<std::u16string> macs) {
    std::lock_guard guard(lock_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    auto& target = rows_[static_cast<std::size_t>(row)];
    target.conflictMacs = std::move(macs);
    if (listener_ != nullptr) listener_->rowMarked(row, target);
    return true;
}

bool DeviceTable::DeleteItem(int row) {
    std::lock_guard guard(lock_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    countAddress(rows_[static_cast<std::size_t>(row)], -1);
    rows_.erase(rows_.begin() + row);
    if (listener_ != nullptr) listener_->rowRemoved(row);
    return true;
}

void DeviceTable::Sort(int column, bool ascending) {
    std::lock_guard guard(lock_);
    sortColumn_ = column;
    ascending_ = ascending;
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    if (column >= 0 && column < kColumnCount) {
        // Each cell's text once, not once per comparison.
        std::vector<std::u16string> keys;
        keys.reserve(rows_.size());
        for (const auto& row : rows_) keys.push_back(row.cell(column));
        std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
            return compareCellTexts(keys[static_cast<std::size_t>(x)],
                                    keys[static_cast<std::size_t>(y)], ascending) < 0;
        });
        std::vector<DeviceRow> sorted;
        sorted.reserve(rows_.size());
        for (int index : order) sorted.push_back(std::move(rows_[static_cast<std::size_t>(index)]));
        rows_ = std::move(sorted);
    }
    if (listener_ != nullptr) listener_->rowsSorted(order, column, ascending);
}

void DeviceTable::columnClicked(int column) {
    std::lock_guard guard(lock_);
    Sort(column, column == sortColumn_ ? !ascending_ : true);
}

int DeviceTable::rowCount() const {
    std::lock_guard guard(lock_);
    return static_cast<int>(rows_.size());
}

std::u16string DeviceTable::text(int row, int column) const {
    std::lock_guard guard(lock_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    return rows_[static_cast<std::size_t>(row)].cell(column);
}

DeviceRow DeviceTable::row(int row) const {
    std::lock_guard guard(lock_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    return rows_[static_cast<std::size_t>(row)];
}

std::vector<DeviceRow> DeviceTable::rows() const {
    std::lock_guard guard(lock_);
    return rows_;
}

void DeviceTable::countAddress(const DeviceRow& row, int delta) {
    const auto& address = row.address;
    auto found = addressCount_.find(address);
    if (found == addressCount_.end()) {
        if (delta > 0) addressCount_.emplace(address, delta);
        return;
    }
    found->second += delta;
    if (found->second <= 0) addressCount_.erase(found);
}

bool DeviceTable::hasAddress(std::u16string_view address) const {
    std::lock_guard guard(lock_);
    return addressCount_.find(std::u16string(address)) != addressCount_.end();
}

int DeviceTable::findRow(int column, std::u16string_view text) const {
    std::lock_guard guard(lock_);
    if (column < 0 || column >= kColumnCount) return -1;
    if (column == kColAddress && addressCount_.find(std::u16string(text)) == addressCount_.end())
        return -1;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].cell(column) == text) return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::u16string> DeviceTable::devicesSharingTarget(std::u16string_view address) const {
    const std::uint16_t target = protocol::targetFor(text::toUtf8(address));
    std::lock_guard guard(lock_);
    // Where the command leaves: the interfaces that heard the device (none known: every link).
    std::vector<std::uint32_t> links;
    for (const auto& row : rows_) {
        if (row.address == address)
            links.insert(links.end(), row.heardOn.begin(), row.heardOn.end());
    }
    const auto onLink = [&links](const DeviceRow& row) {
        if (links.empty() || row.heardOn.empty()) return true;
        return std::any_of(row.heardOn.begin(), row.heardOn.end(), [&links](std::uint32_t each) {
            return std::find(links.begin(), links.end(), each) != links.end();
        });
    };
    std::vector<std::u16string> reached;
    for (const auto& row : rows_) {
        const auto& rowAddress = row.address;
        if (protocol::targetFor(text::toUtf8(rowAddress)) != target || !onLink(row)) continue;
        if (row.conflictMacs.empty()) {
            const auto& mac = row.mac;
            reached.push_back(mac.empty() ? rowAddress : rowAddress + u" " + mac);
        }
        for (const auto& mac : row.conflictMacs) reached.push_back(rowAddress + u" " + mac);
    }
    if (reached.size() <= 1) reached.clear();
    return reached;
}

int DeviceTable::sortColumn() const {
    std::lock_guard guard(lock_);
    return sortColumn_;
}

bool DeviceTable::ascending() const {
    std::lock_guard guard(lock_);
    return ascending_;
}

void DeviceTable::setListener(DeviceTableListener* listener) {
    std::lock_guard guard(lock_);
    listener_ = listener;
}

}  // namespace tarvo::discovery
