#include "core/site/SiteFile.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <utility>

#include "core/net/NetworkInterfaces.h"
#include "core/site/MacText.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

namespace {

// How long a write waits for another program (the window, another command) to finish its own.
constexpr int kBusyTimeoutMs = 15000;

// Each entry takes the schema from the version before it to its own number (index + 1).
constexpr std::array<std::string_view, SiteFile::kSchemaVersion> kMigrations{
    R"sql(
CREATE TABLE site (key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE devices (
    id INTEGER PRIMARY KEY,
    mac TEXT UNIQUE,  -- NULL: known only by address until a search hears its MAC
    address TEXT NOT NULL,
    name TEXT NOT NULL DEFAULT '',
    type INTEGER NOT NULL DEFAULT 0,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER NOT NULL);
CREATE INDEX devices_without_mac ON devices (address) WHERE mac IS NULL;
CREATE TABLE plan (
    mac TEXT PRIMARY KEY,
    line INTEGER NOT NULL,
    address TEXT NOT NULL,
    mask TEXT NOT NULL DEFAULT '',
    gateway TEXT NOT NULL DEFAULT '',
    dns TEXT NOT NULL DEFAULT '',
    name TEXT NOT NULL DEFAULT '',
    location TEXT NOT NULL DEFAULT '',
    note TEXT NOT NULL DEFAULT '') WITHOUT ROWID;
CREATE TABLE searches (id INTEGER PRIMARY KEY, time INTEGER NOT NULL);
CREATE TABLE observations (
    id INTEGER PRIMARY KEY,
    search_id INTEGER NOT NULL REFERENCES searches (id),
    device_id INTEGER NOT NULL REFERENCES devices (id),
    interface TEXT NOT NULL DEFAULT '',
    address TEXT NOT NULL,
    type INTEGER NOT NULL DEFAULT 0,
    name TEXT NOT NULL DEFAULT '',
    version TEXT,
    other_subnet INTEGER NOT NULL DEFAULT 0,
    conflict TEXT NOT NULL DEFAULT '');  -- the MACs answering from the address, when several
CREATE INDEX observations_by_device ON observations (device_id, search_id);
CREATE TABLE actions (
    id INTEGER PRIMARY KEY,
    device_id INTEGER REFERENCES devices (id),
    mac TEXT NOT NULL DEFAULT '',
    address TEXT NOT NULL DEFAULT '',
    kind TEXT NOT NULL CHECK (kind IN ('address', 'upgrade', 'reboot', 'verify')),
    started INTEGER NOT NULL,
    finished INTEGER,
    outcome TEXT NOT NULL DEFAULT 'pending' CHECK (outcome IN ('pending', 'ok', 'failed')),
    detail TEXT NOT NULL DEFAULT '',
    old_value TEXT NOT NULL DEFAULT '',
    new_value TEXT NOT NULL DEFAULT '',
    figures TEXT NOT NULL DEFAULT '',
    snapshot BLOB,
    package_name TEXT NOT NULL DEFAULT '',
    package_sha256 TEXT NOT NULL DEFAULT '');
CREATE INDEX actions_by_device ON actions (device_id);
)sql",
};

std::u16string u16(const std::string& s) {
    return text::fromUtf8(s);
}

std::string message(std::u16string_view format, std::initializer_list<std::u16string> values) {
    return text::toUtf8(text::formatText(text::tr(format), values));
}

// A refusal of the file's content: the file is left as it was, without side files.
class Refusal : public SiteError {
public:
    using SiteError::SiteError;
};

// The error of `code` on `db` for `path`, in the user's words.
[[noreturn]] void fail(sqlite3* db, int code, const std::string& path) {
    const std::string reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    switch (code & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            throw SiteError(message(text::msg::kSiteBusy, {u16(path)}));
        case SQLITE_NOTADB:
            throw Refusal(message(text::msg::kSiteNotASite, {u16(path)}));
        case SQLITE_CORRUPT:
            throw Refusal(message(text::msg::kSiteDamaged, {u16(path), u16(reason)}));
        default:
            throw SiteError(message(text::msg::kSiteWriteFailed, {u16(path), u16(reason)}));
    }
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

class Statement {
public:
    Statement(sqlite3* db, std::string_view sql, const std::string& path) : db_(db), path_(path) {
        const int rc =
            sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
        if (rc != SQLITE_OK) fail(db, rc, path);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const std::string& value) {
        sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, std::int64_t value) {
        sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    Statement& bindNull(int index) {
        sqlite3_bind_null(stmt_, index);
        return *this;
    }
    Statement& bindBlob(int index, const std::vector<unsigned char>& blob) {
        if (blob.empty()) return bindNull(index);
        sqlite3_bind_blob(stmt_, index, blob.data(), static_cast<int>(blob.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    // True while there is a row to read.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        fail(db_, rc, path_);
    }
    void run() {
        step();
        reset();
    }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::string text(int column) const {
        const auto* p = sqlite3_column_text(stmt_, column);
        return p ? std::string(reinterpret_cast<const char*>(p),
                               static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                 : std::string();
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::vector<unsigned char> blob(int column) const {
        const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(stmt_, column));
        return p ? std::vector<unsigned char>(p, p + sqlite3_column_bytes(stmt_, column))
                 : std::vector<unsigned char>();
    }

private:
    sqlite3* db_;
    const std::string& path_;
    sqlite3_stmt* stmt_ = nullptr;
};

void exec(sqlite3* db, std::string_view sql, const std::string& path) {
    const int rc = sqlite3_exec(db, std::string(sql).c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) fail(db, rc, path);
}

std::int64_t pragmaValue(sqlite3* db, std::string_view pragma, const std::string& path) {
    Statement s(db, pragma, path);
    return s.step() ? s.integer(0) : 0;
}

// A write transaction that takes the write lock at once (waiting up to the busy time-out), so
// that two programs never both read and then both try to write; rolled back unless committed.
class Transaction {
public:
    Transaction(sqlite3* db, const std::string& path) : db_(db), path_(path) {
        exec(db, "BEGIN IMMEDIATE", path);
    }
    ~Transaction() {
        if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        exec(db_, "COMMIT", path_);
        done_ = true;
    }

private:
    sqlite3* db_;
    const std::string& path_;
    bool done_ = false;
};

// The identity and schema version in the file's own header, read without SQLite, which would
// leave its side files beside a file it is not to touch.
void checkHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<unsigned char, 100> header{};
    in.read(reinterpret_cast<char*>(header.data()), header.size());
    constexpr std::string_view kMagic{"SQLite format 3\0", 16};
    if (in.gcount() != static_cast<std::streamsize>(header.size()) ||
        std::string_view(reinterpret_cast<const char*>(header.data()), kMagic.size()) != kMagic) {
        throw SiteError(message(text::msg::kSiteNotASite, {u16(path)}));
    }
    auto word = [&](std::size_t at) {
        return static_cast<std::int32_t>((std::uint32_t{header[at]} << 24) |
                                         (std::uint32_t{header[at + 1]} << 16) |
                                         (std::uint32_t{header[at + 2]} << 8) | header[at + 3]);
    };
    const std::int32_t version = word(60);
    const std::int32_t application = word(68);
    if (application != 0 && application != SiteFile::kApplicationId)
        throw SiteError(message(text::msg::kSiteNotASite, {u16(path)}));
    if (version > SiteFile::kSchemaVersion) {
        throw SiteError(
            message(text::msg::kSiteTooNew, {u16(path), u16(std::to_string(version)),
                                             u16(std::to_string(SiteFile::kSchemaVersion))}));
    }
}

// Makes a connection run nothing that a file brings with it: no trigger or view (this program
// makes none), no function called from the schema, no extension, no write to the schema or to a
// virtual table's own tables, no other database attached, and no value larger than any this
// program stores.
void harden(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, SiteFile::kMaxValueBytes);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
}

// `path` as SQLite is to read it: a file name, never a URI (one begins with "file:").
std::string fileName(const std::string& path) {
    return path.empty() || path[0] == '/' ? path : "./" + path;
}

// The URI of `path` read as a file nothing writes: on a read-only folder or medium SQLite can
// make no side file, and no other program can change it there.
std::string immutableUri(const std::string& path) {
    const std::string absolute = std::filesystem::absolute(path).string();
    std::string uri = "file:";
    constexpr std::string_view kHex = "0123456789ABCDEF";
    for (const unsigned char c : absolute) {
        if (std::isalnum(c) != 0 || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri + "?immutable=1";
}

bool folderWritable(const std::string& path) {
    const std::filesystem::path file(path);
    const std::string folder = file.has_parent_path() ? file.parent_path().string() : ".";
    return ::access(folder.c_str(), W_OK) == 0;
}

DbHandle connect(const std::string& path, bool readOnly, bool create) {
    const bool immutable = readOnly && !folderWritable(path);
    const std::string name = immutable ? immutableUri(path) : fileName(path);
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                      (create ? SQLITE_OPEN_CREATE : 0) | (immutable ? SQLITE_OPEN_URI : 0);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
    DbHandle db(raw);
    if (rc != SQLITE_OK) {
        throw SiteError(message(text::msg::kSiteOpenFailed,
                                {u16(path), u16(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc))}));
    }
    harden(raw);
    if (readOnly) exec(raw, "PRAGMA query_only = 1", path);
    return db;
}

// One object of a schema: type, name, table, SQL (NULL as "\x01").
using SchemaObject = std::array<std::string, 4>;

std::vector<SchemaObject> schemaObjects(sqlite3* db, const std::string& path) {
    Statement s(db, "SELECT type, name, tbl_name, sql, rootpage FROM sqlite_master", path);
    std::vector<SchemaObject> objects;
    std::vector<std::int64_t> pages;
    while (s.step()) {
        objects.push_back({s.text(0), s.text(1), s.text(2), s.isNull(3) ? "\x01" : s.text(3)});
        if (objects.back()[0] == "table" || objects.back()[0] == "index")
            pages.push_back(s.integer(4));
    }
    // Each table and index on a page of its own, none on the schema's.
    std::sort(pages.begin(), pages.end());
    if ((!pages.empty() && pages.front() < 2) ||
        std::adjacent_find(pages.begin(), pages.end()) != pages.end()) {
        throw Refusal(message(text::msg::kSiteDamaged, {u16(path), u"sqlite_master"}));
    }
    std::sort(objects.begin(), objects.end());
    return objects;
}

// The objects this program makes at schema `version`.
const std::vector<SchemaObject>& expectedObjects(int version) {
    static const auto kSchemas = [] {
        std::array<std::vector<SchemaObject>, SiteFile::kSchemaVersion + 1> schemas;
        sqlite3* raw = nullptr;
        sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE, nullptr);
        DbHandle db(raw);
        for (int v = 1; v <= SiteFile::kSchemaVersion; ++v) {
            exec(raw, kMigrations[static_cast<std::size_t>(v - 1)], ":memory:");
            schemas[static_cast<std::size_t>(v)] = schemaObjects(raw, ":memory:");
        }
        return schemas;
    }();
    return kSchemas[static_cast<std::size_t>(version)];
}

// A name read from a file, fit to be shown: short, without control characters.
std::string shownName(const SchemaObject& object) {
    std::string out = object[0] + " ";
    for (const char c : object[1].substr(0, 64))
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    return out;
}

// Refuses a file whose schema is not exactly the one this program makes at `version`: a file's
// own trigger, view, virtual table or changed table would run or be read inside this program.
void checkSchema(sqlite3* db, const std::string& path, std::int64_t version) {
    const auto actual = schemaObjects(db, path);
    const auto& expected = expectedObjects(static_cast<int>(version));
    if (actual == expected) return;
    std::vector<SchemaObject> differing;
    std::set_symmetric_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                                  std::back_inserter(differing));
    std::string names;
    for (std::size_t i = 0; i < differing.size() && i < 5; ++i)
        names += (i == 0 ? "" : ", ") + shownName(differing[i]);
    if (differing.size() > 5) names += ", …";
    throw Refusal(message(text::msg::kSiteForeignSchema, {u16(path), u16(names)}));
}

// The identity and schema version SQLite reads, and the schema; an empty database passes (it
// becomes a new site). Returns the schema version.
std::int64_t checkIdentity(sqlite3* db, const std::string& path) {
    const auto application = pragmaValue(db, "PRAGMA application_id", path);
    const auto version = pragmaValue(db, "PRAGMA user_version", path);
    if ((application != 0 && application != SiteFile::kApplicationId) || version < 0)
        throw Refusal(message(text::msg::kSiteNotASite, {u16(path)}));
    if (version > SiteFile::kSchemaVersion) {
        throw Refusal(
            message(text::msg::kSiteTooNew, {u16(path), u16(std::to_string(version)),
                                             u16(std::to_string(SiteFile::kSchemaVersion))}));
    }
    if (application == 0 && version != 0)
        throw Refusal(message(text::msg::kSiteNotASite, {u16(path)}));
    if (application == 0 && !schemaObjects(db, path).empty())
        throw Refusal(message(text::msg::kSiteNotASite, {u16(path)}));
    checkSchema(db, path, version);
    return version;
}

// Checks that the file is whole (after its schema passed: the check reads every table).
void checkWhole(sqlite3* db, const std::string& path) {
    Statement check(db, "PRAGMA quick_check", path);
    std::string problems;
    while (check.step()) {
        if (check.text(0) == "ok") continue;
        if (!problems.empty()) problems += "; ";
        problems += check.text(0);
    }
    if (!problems.empty())
        throw Refusal(message(text::msg::kSiteDamaged, {u16(path), u16(problems)}));
}

// Whether a file is at `path` (a link followed), and its size; SiteError when something else is
// there, or a link leads nowhere.
bool fileThere(const std::string& path, bool create, off_t& size) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) throw SiteError(message(text::msg::kSiteNotASite, {u16(path)}));
        size = info.st_size;
        return true;
    }
    // A dangling link would make a site wherever it points.
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        throw SiteError(message(text::msg::kSiteDanglingLink, {u16(path)}));
    if (!create) {
        throw SiteError(
            message(text::msg::kSiteOpenFailed, {u16(path), u16(sqlite3_errstr(SQLITE_CANTOPEN))}));
    }
    return false;
}

// The files SQLite keeps beside a database that were not there before: a refused file leaves
// none behind.
class NewSideFiles {
public:
    explicit NewSideFiles(const std::string& path) {
        for (const char* suffix : {"-wal", "-shm", "-journal"}) {
            struct stat info {};
            if (::lstat((path + suffix).c_str(), &info) != 0) files_.push_back(path + suffix);
        }
    }
    void remove() const {
        for (const auto& f : files_) ::unlink(f.c_str());
    }
    [[nodiscard]] bool madeWal() const {
        return std::any_of(files_.begin(), files_.end(), [](const std::string& f) {
            return f.ends_with("-wal") && std::filesystem::exists(f);
        });
    }

private:
    std::vector<std::string> files_;
};

}  // namespace

std::int64_t SiteFile::now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::unique_ptr<SiteFile> SiteFile::open(const std::string& path, bool create) {
    return openChecked(path, create, false);
}

std::unique_ptr<SiteFile> SiteFile::openReadOnly(const std::string& path) {
    return openChecked(path, false, true);
}

std::unique_ptr<SiteFile> SiteFile::openChecked(const std::string& path, bool create,
                                                bool readOnly) {
    off_t size = 0;
    const bool exists = fileThere(path, create, size);
    if (exists && size > 0) checkHeader(path);
    const NewSideFiles sideFiles(path);
    try {
        // Checked whole on a connection that cannot write, before one that can is opened.
        DbHandle checked;
        if (exists) {
            checked = connect(path, true, false);
            checkIdentity(checked.get(), path);
            checkWhole(checked.get(), path);
        }
        if (readOnly) {
            std::unique_ptr<SiteFile> site(new SiteFile(path, checked.release(), true));
            site->tidyOnClose_ = sideFiles.madeWal();
            return site;
        }
        checked.reset();
        DbHandle db = connect(path, false, create);
        sqlite3* raw = db.get();
        // The file may have changed in between: no statement touches a table before this.
        checkIdentity(raw, path);
        exec(raw, "PRAGMA foreign_keys = ON", path);
        // Durable at each commit, power cuts included.
        exec(raw, "PRAGMA synchronous = FULL", path);
        {
            Statement wal(raw, "PRAGMA journal_mode = WAL", path);
            wal.step();
        }
        std::unique_ptr<SiteFile> site(new SiteFile(path, db.release(), false));
        site->migrate(static_cast<int>(pragmaValue(site->db_, "PRAGMA user_version", path)));
        return site;
    } catch (const Refusal&) {
        sideFiles.remove();
        throw;
    }
}

SiteFile::SiteFile(std::string path, sqlite3* db, bool readOnly)
    : path_(std::move(path)), db_(db), readOnly_(readOnly) {}

SiteFile::~SiteFile() {
    sqlite3_close_v2(db_);
    // The last connection that may write removes the side files when it closes, as the
    // program's own writing connections do; one still open elsewhere keeps them.
    if (tidyOnClose_) {
        sqlite3* raw = nullptr;
        if (sqlite3_open_v2(fileName(path_).c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK) {
            harden(raw);
            sqlite3_busy_timeout(raw, 0);
            (void)sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                               nullptr);
        }
        sqlite3_close_v2(raw);
    }
}

void SiteFile::migrate(int from) {
    if (from >= kSchemaVersion) return;
    Transaction t(db_, path_);
    // Another program may have migrated it meanwhile; this transaction's view is the one that
    // counts.
    int version = static_cast<int>(pragmaValue(db_, "PRAGMA user_version", path_));
    if (version > kSchemaVersion) {
        throw SiteError(message(text::msg::kSiteTooNew, {u16(path_), u16(std::to_string(version)),
                                                         u16(std::to_string(kSchemaVersion))}));
    }
    if (version == 0) {
        exec(db_, "PRAGMA application_id = " + std::to_string(kApplicationId), path_);
        exec(db_, kMigrations[0], path_);
        Statement(db_, "INSERT INTO site (key, value) VALUES ('created', ?)", path_)
            .bind(1, std::to_string(now()))
            .run();
        version = 1;
    }
    for (; version < kSchemaVersion; ++version) exec(db_, kMigrations[version], path_);
    exec(db_, "PRAGMA user_version = " + std::to_string(kSchemaVersion), path_);
    t.commit();
}

std::string SiteFile::name() const {
    Statement s(db_, "SELECT value FROM site WHERE key = 'name'", path_);
    if (s.step()) return s.text(0);
    // A site not named yet is called after its file.
    const auto slash = path_.find_last_of('/');
    std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    const auto dot = base.find('.');
    return dot == 0 || dot == std::string::npos ? base : base.substr(0, dot);
}

std::int64_t SiteFile::createdAt() const {
    Statement s(db_, "SELECT value FROM site WHERE key = 'created'", path_);
    if (!s.step()) return 0;
    const std::string value = s.text(0);
    return std::strtoll(value.c_str(), nullptr, 10);
}

void SiteFile::setName(const std::string& name) {
    Transaction t(db_, path_);
    Statement(db_, "INSERT OR REPLACE INTO site (key, value) VALUES ('name', ?)", path_)
        .bind(1, name)
        .run();
    t.commit();
}

void SiteFile::replacePlan(const std::vector<PlanRow>& rows,
                           const std::function<void(std::size_t)>& progress) {
    Transaction t(db_, path_);
    exec(db_, "DELETE FROM plan", path_);
    Statement insert(db_,
                     "INSERT INTO plan (mac, line, address, mask, gateway, dns, name, location, "
                     "note) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                     path_);
    std::size_t done = 0;
    for (const auto& r : rows) {
        insert.bind(1, r.mac)
            .bind(2, std::int64_t{r.line})
            .bind(3, r.address)
            .bind(4, r.mask)
            .bind(5, r.gateway)
            .bind(6, r.dns)
            .bind(7, r.name)
            .bind(8, r.location)
            .bind(9, r.note)
            .run();
        if (progress) progress(++done);
    }
    t.commit();
}

std::vector<PlanRow> SiteFile::plan() const {
    Statement s(db_,
                "SELECT mac, line, address, mask, gateway, dns, name, location, note FROM plan "
                "ORDER BY line",
                path_);
    std::vector<PlanRow> rows;
    while (s.step()) {
        rows.push_back({static_cast<int>(s.integer(1)), s.text(0), s.text(2), s.text(3), s.text(4),
                        s.text(5), s.text(6), s.text(7), s.text(8)});
    }
    return rows;
}

std::int64_t SiteFile::deviceFor(const std::string& mac, const std::string& address,
                                 std::int64_t time) {
    auto single = [&](std::string_view sql, const std::string& value) -> std::int64_t {
        Statement s(db_, sql, path_);
        s.bind(1, value);
        return s.step() ? s.integer(0) : 0;
    };
    const std::int64_t withoutMac =
        single("SELECT id FROM devices WHERE mac IS NULL AND address = ?", address);
    std::int64_t id =
        mac.empty() ? withoutMac : single("SELECT id FROM devices WHERE mac = ?", mac);
    if (!mac.empty() && withoutMac != 0) {
        if (id == 0) {
            // The device known only by this address now has a MAC.
            Statement(db_, "UPDATE devices SET mac = ? WHERE id = ?", path_)
                .bind(1, mac)
                .bind(2, withoutMac)
                .run();
            return withoutMac;
        }
        for (std::string_view sql : {"UPDATE observations SET device_id = ? WHERE device_id = ?",
                                     "UPDATE actions SET device_id = ? WHERE device_id = ?"}) {
            Statement(db_, sql, path_).bind(1, id).bind(2, withoutMac).run();
        }
        Statement(db_, "DELETE FROM devices WHERE id = ?", path_).bind(1, withoutMac).run();
    }
    if (id != 0) return id;
    Statement insert(
        db_, "INSERT INTO devices (mac, address, first_seen, last_seen) VALUES (?, ?, ?, ?)",
        path_);
    if (mac.empty()) {
        insert.bindNull(1);
    } else {
        insert.bind(1, mac);
    }
    insert.bind(2, address).bind(3, time).bind(4, time).run();
    return sqlite3_last_insert_rowid(db_);
}

std::int64_t SiteFile::recordSearch(const std::vector<discovery::DeviceRow>& heard,
                                    std::int64_t time,
                                    const std::unordered_map<std::string, std::string>& versions) {
    const auto rows = withDeviceMacs(heard);
    Transaction t(db_, path_);
    Statement(db_, "INSERT INTO searches (time) VALUES (?)", path_).bind(1, time).run();
    const std::int64_t search = sqlite3_last_insert_rowid(db_);
    Statement update(db_,
                     "UPDATE devices SET address = ?, name = ?, type = ?, last_seen = ? "
                     "WHERE id = ?",
                     path_);
    Statement observe(db_,
                      "INSERT INTO observations (search_id, device_id, interface, address, type, "
                      "name, version, other_subnet, conflict) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                      path_);
    for (const auto& row : rows) {
        const std::string address = text::toUtf8(row.address);
        const std::string name = text::toUtf8(row.name);
        std::string conflict;
        for (const auto& m : row.conflictMacs) {
            if (!conflict.empty()) conflict += ' ';
            conflict += text::toUtf8(m);
        }
        // Each MAC of a conflict is a device of its own at that address.
        std::vector<std::string> macs{text::toUtf8(row.mac)};
        for (const auto& m : row.conflictMacs)
            if (m != row.mac) macs.push_back(text::toUtf8(m));
        for (const auto& mac : macs) {
            const std::int64_t id = deviceFor(mac, address, time);
            update.bind(1, address).bind(2, name).bind(3, std::int64_t{row.type}).bind(4, time);
            update.bind(5, id).run();
            observe.bind(1, search).bind(2, id);
            observe.bind(3, row.heardOn.empty() ? std::string() : net::formatIPv4(row.heardOn[0]));
            observe.bind(4, address).bind(5, std::int64_t{row.type}).bind(6, name);
            const auto version = versions.find(mac);
            if (version != versions.end() && !mac.empty()) {
                observe.bind(7, version->second);
            } else {
                observe.bindNull(7);
            }
            observe.bind(8, std::int64_t{row.sameNetwork ? 0 : 1}).bind(9, conflict).run();
        }
    }
    t.commit();
    return search;
}

std::vector<KnownDevice> SiteFile::knownDevices() const {
    Statement s(db_, R"sql(
SELECT d.id, coalesce(d.mac, ''), d.address, d.last_seen, d.name, d.type,
  (SELECT version FROM observations o WHERE o.device_id = d.id AND o.version IS NOT NULL
   ORDER BY o.search_id DESC LIMIT 1),
  (SELECT version FROM observations o WHERE o.device_id = d.id AND o.version IS NOT NULL
   ORDER BY o.search_id DESC LIMIT 1 OFFSET 1)
FROM devices d ORDER BY d.id)sql",
                path_);
    std::vector<KnownDevice> out;
    while (s.step()) {
        out.push_back({s.integer(0), s.text(1), s.text(2), s.integer(3), s.text(4),
                       static_cast<int>(s.integer(5)), s.text(6), s.text(7)});
    }
    return out;
}

std::int64_t SiteFile::beginAction(const ActionRecord& a) {
    // The all-zero MAC of a loopback frame names no device: the action is the one of the device
    // kept by its address, as its searches keep it.
    const std::string mac = a.mac.empty() ? std::string() : parseMac(a.mac).value_or("");
    Transaction t(db_, path_);
    const std::int64_t device = deviceFor(mac, a.address, a.started);
    Statement insert(db_,
                     "INSERT INTO actions (device_id, mac, address, kind, started, outcome, "
                     "old_value, new_value, figures, snapshot, package_name, package_sha256) "
                     "VALUES (?, ?, ?, ?, ?, 'pending', ?, ?, ?, ?, ?, ?)",
                     path_);
    insert.bind(1, device).bind(2, mac).bind(3, a.address).bind(4, a.kind).bind(5, a.started);
    insert.bind(6, a.oldValue).bind(7, a.newValue).bind(8, a.figures).bindBlob(9, a.snapshot);
    insert.bind(10, a.packageName).bind(11, a.packageSha256).run();
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    t.commit();
    return id;
}

void SiteFile::finishAction(std::int64_t id, const std::string& outcome, const std::string& detail,
                            std::int64_t time, const std::string& figures) {
    Transaction t(db_, path_);
    Statement update(db_,
                     "UPDATE actions SET outcome = ?, detail = ?, finished = ?, "
                     "figures = CASE WHEN ? = '' THEN figures ELSE ? END WHERE id = ?",
                     path_);
    update.bind(1, outcome).bind(2, detail).bind(3, time).bind(4, figures).bind(5, figures);
    update.bind(6, id).run();
    t.commit();
}

namespace {

// A snapshot is a picture when stored as bytes, and read only up to its cap: the length of a
// text counts characters up to its first NUL, not its bytes, and would need the whole text read.
const std::string kSnapshotBytes =
    "CASE WHEN typeof(snapshot) = 'blob' THEN length(snapshot) ELSE 0 END";
const std::string kSnapshotPicture =
    "CASE WHEN typeof(snapshot) = 'blob' AND length(snapshot) <= " +
    std::to_string(SiteFile::kMaxSnapshotBytes) + " THEN snapshot END";

// Every action in order; with `snapshots`, each with its picture, else with the picture's size.
std::vector<ActionRecord> readActions(sqlite3* db, const std::string& path, bool snapshots) {
    Statement s(db,
                std::string("SELECT id, mac, address, kind, started, coalesce(finished, 0), "
                            "outcome, detail, old_value, new_value, figures, ") +
                    (snapshots ? kSnapshotPicture : kSnapshotBytes) +
                    ", package_name, package_sha256 FROM actions ORDER BY id",
                path);
    std::vector<ActionRecord> out;
    while (s.step()) {
        ActionRecord a;
        a.id = s.integer(0);
        a.mac = s.text(1);
        a.address = s.text(2);
        a.kind = s.text(3);
        a.started = s.integer(4);
        a.finished = s.integer(5);
        a.outcome = s.text(6);
        a.detail = s.text(7);
        a.oldValue = s.text(8);
        a.newValue = s.text(9);
        a.figures = s.text(10);
        if (snapshots) {
            a.snapshot = s.blob(11);
            a.snapshotBytes = static_cast<std::int64_t>(a.snapshot.size());
        } else {
            a.snapshotBytes = s.integer(11);
        }
        a.packageName = s.text(12);
        a.packageSha256 = s.text(13);
        out.push_back(std::move(a));
    }
    return out;
}

}  // namespace

std::vector<ActionRecord> SiteFile::actions() const {
    return readActions(db_, path_, true);
}

void SiteFile::finishAction(const ActionRecord& e) {
    Transaction t(db_, path_);
    Statement update(db_,
                     "UPDATE actions SET outcome = ?, detail = ?, finished = ?, new_value = ?, "
                     "old_value = CASE WHEN ? = '' THEN old_value ELSE ? END, "
                     "figures = CASE WHEN ? = '' THEN figures ELSE ? END, "
                     "snapshot = CASE WHEN ? THEN ? ELSE snapshot END WHERE id = ?",
                     path_);
    update.bind(1, e.outcome).bind(2, e.detail).bind(3, e.finished).bind(4, e.newValue);
    update.bind(5, e.oldValue).bind(6, e.oldValue).bind(7, e.figures).bind(8, e.figures);
    update.bind(9, std::int64_t{e.snapshot.empty() ? 0 : 1}).bindBlob(10, e.snapshot);
    update.bind(11, e.id).run();
    t.commit();
}

std::vector<ActionRecord> SiteFile::actionsWithoutSnapshots() const {
    return readActions(db_, path_, false);
}

std::vector<unsigned char> SiteFile::actionSnapshot(std::int64_t id) const {
    Statement s(db_, "SELECT " + kSnapshotPicture + " FROM actions WHERE id = ?", path_);
    s.bind(1, id);
    return s.step() ? s.blob(0) : std::vector<unsigned char>();
}

}  // namespace tarvo::site
