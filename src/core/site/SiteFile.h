#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/site/PlanCsv.h"

struct sqlite3;

namespace tarvo::site {

// Why a site could not be opened or written, as the user reads it (UTF-8).
class SiteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the site knows of one device from its searches.
struct KnownDevice {
    std::int64_t id = 0;
    std::string mac;      // empty: known only by address, until a search learns its MAC
    std::string address;  // where it answered last
    std::int64_t lastSeen = 0;
    std::string name;
    int type = 0;
    // The last two firmware versions recorded in different searches (empty when unknown).
    std::string version, previousVersion;
};

// One thing done to a device. Address changes now; upgrades, reboots and verifications carry
// their package, figures and snapshot in the same record.
struct ActionRecord {
    std::int64_t id = 0;
    std::string mac;
    std::string address;  // where the device was when the action began
    std::string kind;     // "address", "upgrade", "reboot", "verify"
    std::int64_t started = 0, finished = 0;
    // "pending" until it ends (one left pending was interrupted), then "ok" or "failed".
    std::string outcome = "pending";
    std::string detail;              // why, when it failed (UTF-8)
    std::string oldValue, newValue;  // e.g. addresses, firmware versions
    std::string figures;             // JSON
    std::vector<unsigned char> snapshot;
    std::string packageName, packageSha256;
    // The size of the snapshot in the file, also when it was not read with the record.
    std::int64_t snapshotBytes = 0;
};

// A site: one SQLite file holding the address plan, every search's observations and every action,
// keyed by MAC. Schema version in PRAGMA user_version, migrated on open; WAL, so that the window
// and the command line may hold the same site at once; each change is one transaction, so a crash
// loses nothing committed before it. Not thread-safe: one object per thread.
class SiteFile {
public:
    // The schema this program writes, and the file's identity in its SQLite header.
    static constexpr int kSchemaVersion = 1;
    static constexpr std::int32_t kApplicationId = 0x54617276;  // "Tarv"

    // The largest snapshot read back (bytes); a larger one is no camera's and is never read.
    static constexpr std::int64_t kMaxSnapshotBytes = 32LL << 20;
    // The largest single value read from a site at all (bytes).
    static constexpr int kMaxValueBytes = 48 << 20;

    // Opens the site at `path` for reading and writing, creating it when no file is there and
    // `create` is set. A site file may come from anywhere: one that is not a site, is damaged,
    // comes from a newer program, or holds any object (table, index, view, trigger) other than
    // those this program makes is refused (SiteError) and left as it was, with nothing beside
    // it. `path` is a file name, never a URI; a link is followed, a dangling one refused.
    static std::unique_ptr<SiteFile> open(const std::string& path, bool create = true);
    // Opens an existing site only to read it, with the same checks; it may lie on a read-only
    // folder or medium. Every write on it throws SiteError.
    static std::unique_ptr<SiteFile> openReadOnly(const std::string& path);
    ~SiteFile();
    SiteFile(const SiteFile&) = delete;
    SiteFile& operator=(const SiteFile&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] bool readOnly() const { return readOnly_; }
    [[nodiscard]] std::string name() const;
    [[nodiscard]] std::int64_t createdAt() const;
    void setName(const std::string& name);

    // Replaces the plan (one transaction: an interrupted import leaves the old plan whole).
    // `progress` is told each row written.
    void replacePlan(const std::vector<PlanRow>& rows,
                     const std::function<void(std::size_t)>& progress = {});
    [[nodiscard]] std::vector<PlanRow> plan() const;

    // Records one search's rows (one transaction). A device without MAC is kept by its address
    // and joined to its MAC when a later search hears a MAC there. `versions` (by MAC) adds the
    // firmware versions known of some devices. Returns the search's id.
    std::int64_t recordSearch(const std::vector<discovery::DeviceRow>& rows, std::int64_t time,
                              const std::unordered_map<std::string, std::string>& versions = {});
    [[nodiscard]] std::vector<KnownDevice> knownDevices() const;

    // Records that an action begins, committed before anything is sent, so that one the program
    // never finished shows as still pending. Returns its id.
    std::int64_t beginAction(const ActionRecord& action);
    // Records how it ended.
    void finishAction(std::int64_t id, const std::string& outcome, const std::string& detail,
                      std::int64_t time, const std::string& figures = {});
    [[nodiscard]] std::vector<ActionRecord> actions() const;

    // The now of the site's records: seconds since the epoch.
    static std::int64_t now();

    // Records how an action ended with what it learnt on the way, in one transaction:
    // `ended.id`, outcome, detail, finished, newValue; oldValue, figures and snapshot when they
    // are given (an upgrade learns the old version only once the device answered).
    void finishAction(const ActionRecord& ended);
    // Every action without its snapshot (a site may hold hundreds of pictures), in order;
    // `snapshotBytes` says which have one (the bytes stored; 0 for one not stored as bytes).
    [[nodiscard]] std::vector<ActionRecord> actionsWithoutSnapshots() const;
    // The snapshot of one action, read on its own (empty when it has none, or when it is not a
    // picture: not stored as bytes, or larger than kMaxSnapshotBytes).
    [[nodiscard]] std::vector<unsigned char> actionSnapshot(std::int64_t id) const;

private:
    SiteFile(std::string path, sqlite3* db, bool readOnly);
    static std::unique_ptr<SiteFile> openChecked(const std::string& path, bool create,
                                                 bool readOnly);
    void migrate(int from);
    std::int64_t deviceFor(const std::string& mac, const std::string& address, std::int64_t time);

    std::string path_;
    sqlite3* db_ = nullptr;
    bool readOnly_ = false;
    // SQLite's side files were made by this read-only connection, which cannot remove them.
    bool tidyOnClose_ = false;
};

}  // namespace tarvo::site
