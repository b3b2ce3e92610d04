#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvo::discovery {

// Column layout of the device list.
enum Column : int { kColSeq = 0, kColAddress, kColMac, kColName, kColNote, kColType, kColumnCount };

// One listed device. The view and the sort read its cells as texts through cell().
struct DeviceRow {
    int sequence = 0;        // the "number" column: the order devices answered in
    std::u16string address;  // dotted quad as listed
    std::u16string mac;      // may be empty (other subnet, no MAC learned)
    std::u16string name;
    std::u16string note;  // the type's label (type-89 cameras change it later)
    int type = 0;         // the discovery::kType* codes of DeviceTypes.h
    // Whether the device's address lies in the subnet of the interface that heard it.
    bool sameNetwork = true;
    // Every MAC that answered the search from this row's address, when that is more than one:
    // an address conflict (the MAC cell holds the first).
    std::vector<std::u16string> conflictMacs;
    // The local interface addresses (network order) that heard it, first heard first. UDP
    // commands for the device leave there: with several interfaces, another link never hears
    // them. Two entries for one device on two interfaces of the same link.
    std::vector<std::uint32_t> heardOn;

    // The text the view shows in `column` and the sort compares; empty for no such column.
    [[nodiscard]] std::u16string cell(int column) const;
};

// Compares two cell texts the way the device list sorts: shorter first (longer first when
// descending); equal lengths of digits (decided by `a` alone) by number; otherwise by the
// locale's collation. Returns -1, 0 or +1.
int compareCellTexts(std::u16string_view a, std::u16string_view b, bool ascending);

// What a view of the table learns. Called with the table's lock held, on the thread that made
// the change; a view on another thread copies what it needs and hands it over.
class DeviceTableListener {
public:
    virtual ~DeviceTableListener() = default;
    virtual void rowInserted(int row, const DeviceRow& texts) = 0;
    virtual void cellChanged(int row, int column, const std::u16string& text) = 0;
    virtual void rowRemoved(int row) = 0;
    // The rows were re-ordered; `order[i]` is the former index of the row now at i.
    virtual void rowsSorted(const std::vector<int>& order, int column, bool ascending) = 0;
    // The row's marks (conflict) changed.
    virtual void rowMarked(int row, const DeviceRow& texts) {
        (void)row;
        (void)texts;
    }
};

// The rows of the device list, keyed by address text, with the list's sort state.
// Every change goes through these operations so the stored copies stay current.
class DeviceTable {
public:
    // Rows a search may add: what hosts that answer from a million spoofed addresses can make
    // the list hold.
    static constexpr int kMaxRows = 65536;

    // The lock that receive threads and searches take around their changes (listLock).
    std::recursive_mutex& lock() const { return lock_; }

    // Appends a row; returns its index.
    int AddItem(DeviceRow row);
    // Sets a text column (address, MAC, name, note). 1 on success; 0 for a row that does not
    // exist or a column that holds no free text, changing nothing.
    int SetItemText(int row, int column, std::u16string text);
    // Sets the MACs of an address conflict on the row; false when it does not exist.
    bool setConflict(int row, std::vector<std::u16string> macs);
    // Notes that the interface `interfaceAddress` heard the row's device too; false when the row
    // does not exist or already had it.
    bool addHeardOn(int row, std::uint32_t interfaceAddress);
    // Removes a row; false when it does not exist.
    bool DeleteItem(int row);
    void Sort(int column, bool ascending);
    // A click on a column header: the same column reverses, another sorts ascending.
    void columnClicked(int column);

    [[nodiscard]] int rowCount() const;
    [[nodiscard]] std::u16string text(int row, int column) const;
    [[nodiscard]] DeviceRow row(int row) const;
    [[nodiscard]] std::vector<DeviceRow> rows() const;
    // Whether any row's address reads `address`; constant time.
    [[nodiscard]] bool hasAddress(std::u16string_view address) const;
    // Index of the first row whose column `column` reads `text`, or -1.
    [[nodiscard]] int findRow(int column, std::u16string_view text) const;
    // Every device that a UDP command for `address` reaches, as "address MAC" texts, when that
    // is more than one: the frame's `target` carries only the address's last two octets, so it
    // reaches each MAC that answered from `address` and every row whose address ends in the
    // same two octets. Only rows heard on an interface that heard `address` count: the command
    // leaves there, and devices of other links never see it. Empty when it reaches one device
    // (or none) of this table.
    [[nodiscard]] std::vector<std::u16string> devicesSharingTarget(
        std::u16string_view address) const;
    [[nodiscard]] int sortColumn() const;
    [[nodiscard]] bool ascending() const;

    void setListener(DeviceTableListener* listener);

private:
    mutable std::recursive_mutex lock_;
    int sortColumn_ = -1;
    bool ascending_ = true;
    std::vector<DeviceRow> rows_;
    // How many rows carry each address; keeps the duplicate test of large sites cheap.
    std::unordered_map<std::u16string, int> addressCount_;
    DeviceTableListener* listener_ = nullptr;

    void countAddress(const DeviceRow& row, int delta);
};

}  // namespace tarvo::discovery
