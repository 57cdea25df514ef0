#include "fleet/history.h"

#include "platform/settingskeys.h"

#include <sqlite3.h>

#include <cctype>
#include <chrono>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace nimbrel {
namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kCreateSchema = R"(
CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS records (
  id INTEGER PRIMARY KEY,
  time TEXT NOT NULL,
  port TEXT NOT NULL,
  port_by_id TEXT NOT NULL,
  ptt_id INTEGER,
  encoded_word TEXT NOT NULL,
  software_version TEXT NOT NULL,
  config_file TEXT NOT NULL,
  config_sha256 TEXT NOT NULL,
  bytes_written INTEGER NOT NULL,
  verified INTEGER NOT NULL,
  outcome TEXT NOT NULL,
  message TEXT NOT NULL,
  duration_ms INTEGER NOT NULL,
  backup_path TEXT NOT NULL,
  source TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS records_ptt_id ON records (ptt_id);
CREATE INDEX IF NOT EXISTS records_time ON records (time);
)";

// The record's columns in the order Append binds and Query reads them.
constexpr const char* kRecordColumns =
    "time, port, port_by_id, ptt_id, encoded_word, software_version, config_file, "
    "config_sha256, bytes_written, verified, outcome, message, duration_ms, backup_path, source";

// A prepared statement, finalized when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        ok_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) == SQLITE_OK;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return ok_; }
    sqlite3_stmt* Get() const { return stmt_; }
    void Bind(int i, const std::string& text) {
        sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void Bind(int i, std::int64_t value) { sqlite3_bind_int64(stmt_, i, value); }
    void Bind(int i, const std::optional<std::int64_t>& value) {
        if (value)
            Bind(i, *value);
        else
            sqlite3_bind_null(stmt_, i);
    }
    std::string Text(int i) const {
        auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
        return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i)))
                    : std::string();
    }
    std::int64_t Int(int i) const { return sqlite3_column_int64(stmt_, i); }

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool ok_ = false;
};

// "YYYY-MM-DD", optionally followed by "THH:MM", ":SS", ".fff" and "Z".
bool IsIsoTime(const std::string& s) {
    auto digits = [&](std::size_t at, std::size_t n) {
        if (at + n > s.size()) return false;
        for (std::size_t i = at; i < at + n; ++i)
            if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        return true;
    };
    if (!digits(0, 4) || s.size() < 10 || s[4] != '-' || !digits(5, 2) || s[7] != '-' ||
        !digits(8, 2))
        return false;
    std::size_t at = 10;
    if (at < s.size()) {
        if (s[at] != 'T' || !digits(at + 1, 2) || s.size() < at + 6 || s[at + 3] != ':' ||
            !digits(at + 4, 2))
            return false;
        at += 6;
        if (at < s.size() && s[at] == ':') {
            if (!digits(at + 1, 2)) return false;
            at += 3;
            if (at < s.size() && s[at] == '.') {
                ++at;
                if (!digits(at, 1)) return false;
                while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])))
                    ++at;
            }
        }
    }
    return at == s.size() || (at + 1 == s.size() && s[at] == 'Z');
}

// The encoded word as the records keep it, and back ("" and bad text: 0).
std::string WordText(std::uint32_t word) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08X", word);
    return buf;
}

std::uint32_t WordValue(const std::string& text) {
    std::uint32_t word = 0;
    std::from_chars(text.data(), text.data() + text.size(), word, 16);
    return word;
}

} // namespace

std::string DefaultHistoryPath() {
    std::string base;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') { // relative values are to be ignored
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.local/share";
    }
    return base + "/Nimbrel/history.sqlite";
}

std::string ConfiguredHistoryPath(const SettingsSnapshot& settings) {
    std::string path = settings.Get(keys::kHistoryFile);
    return path.empty() ? DefaultHistoryPath() : path;
}

HistoryRecord ToHistory(const UnitRecord& record, std::string source) {
    HistoryRecord h;
    static_cast<UnitRecord&>(h) = record;
    h.source = std::move(source);
    return h;
}

std::string HistoryTimeNow() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

History::History(HistoryOptions options) : options_(options) {}

History::~History() {
    Close();
}

void History::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool History::Fail(const char* what) {
    code_ = db_ ? sqlite3_errcode(db_) : SQLITE_NOMEM;
    std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
    error_ =
        std::string("Cannot ") + what + " the programming history " + path_ + ": " + reason + ".";
    return false;
}

bool History::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool History::Open(const std::string& path) {
    Close();
    path_ = path;
    error_.clear();
    code_ = SQLITE_OK;
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            error_ = "Cannot open the programming history " + path + ": cannot create the folder " +
                     folder.string() + " (" + ec.message() + ").";
            return false;
        }
    }
    int rc =
        sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        Fail("open");
        Close();
        return false;
    }
    sqlite3_busy_timeout(db_, options_.busyTimeoutMs);
    // Another connection creating the database or switching it to WAL at the
    // same moment makes these steps busy without the busy handler: retry them
    // for as long as a lock may be waited for.
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.busyTimeoutMs);
    for (;;) {
        if (Exec("PRAGMA journal_mode=WAL") && EnsureSchema()) return true;
        const int code = sqlite3_errcode(db_) & 0xff;
        if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
            std::chrono::steady_clock::now() >= until)
            break;
        error_.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (error_.empty()) Fail("open");
    bool readOnly = (code_ & 0xff) == SQLITE_READONLY;
    Close();
    return readOnly && OpenForReading();
}

// A database this process may not write can still answer queries; Append
// then fails with the reason.
bool History::OpenForReading() {
    std::string writeError = error_;
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) ==
        SQLITE_OK) {
        sqlite3_busy_timeout(db_, options_.busyTimeoutMs);
        Statement get(db_, "SELECT max(version) FROM schema_version");
        if (get.Ok() && sqlite3_step(get.Get()) == SQLITE_ROW && get.Int(0) == kSchemaVersion) {
            error_.clear();
            return true;
        }
    }
    Close();
    error_ = writeError;
    return false;
}

// Creates the tables unless the file has them already, so that a database
// that is only readable still answers queries.
bool History::EnsureSchema() {
    int version = 0;
    {
        Statement has(db_, "SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'");
        if (!has.Ok() || sqlite3_step(has.Get()) != SQLITE_ROW) return Fail("open");
        if (has.Int(0) > 0) {
            Statement get(db_, "SELECT max(version) FROM schema_version");
            if (!get.Ok() || sqlite3_step(get.Get()) != SQLITE_ROW) return Fail("open");
            version = static_cast<int>(get.Int(0));
        }
    }
    if (version > kSchemaVersion) {
        error_ = "Cannot open the programming history " + path_ + ": it was written by a newer " +
                 "version of Nimbrel (schema " + std::to_string(version) + ").";
        return false;
    }
    if (version == kSchemaVersion) return true;
    if (!Exec("BEGIN IMMEDIATE")) return Fail("create");
    bool ok = Exec(kCreateSchema) && Exec("DELETE FROM schema_version") &&
              Exec(("INSERT INTO schema_version VALUES (" + std::to_string(kSchemaVersion) + ")")
                       .c_str()) &&
              Exec("COMMIT");
    if (!ok) {
        Fail("create");
        if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
    }
    return ok;
}

bool History::Append(const HistoryRecord& r) {
    if (!db_) {
        if (error_.empty()) error_ = "The programming history is not open.";
        return false;
    }
    error_.clear();
    // Taking the write lock up front makes the busy timeout apply to the whole wait.
    if (!Exec("BEGIN IMMEDIATE")) return Fail("write");
    bool ok;
    {
        Statement insert(db_, std::string("INSERT INTO records (") + kRecordColumns +
                                  ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        ok = insert.Ok();
        if (ok) {
            insert.Bind(1, r.time.empty() ? HistoryTimeNow() : r.time);
            insert.Bind(2, r.port);
            insert.Bind(3, r.portById);
            insert.Bind(4, r.pttId >= 0 ? std::optional<std::int64_t>(r.pttId) : std::nullopt);
            insert.Bind(5, r.pttId >= 0 ? WordText(r.pttWord) : std::string());
            insert.Bind(6, r.version);
            insert.Bind(7, r.configFile);
            insert.Bind(8, r.configSha256);
            insert.Bind(9, r.bytesWritten);
            insert.Bind(10, std::int64_t{r.verified ? 1 : 0});
            insert.Bind(11, r.outcome);
            insert.Bind(12, r.message);
            insert.Bind(13, r.durationMs);
            insert.Bind(14, r.backup);
            insert.Bind(15, r.source);
            ok = sqlite3_step(insert.Get()) == SQLITE_DONE;
        }
    }
    if (ok) ok = Exec("COMMIT");
    if (!ok) {
        Fail("write");
        if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
    }
    return ok;
}

std::optional<std::vector<HistoryRecord>> History::Query(const HistoryFilter& filter) {
    if (!db_) {
        if (error_.empty()) error_ = "The programming history is not open.";
        return std::nullopt;
    }
    error_.clear();
    std::string since = filter.since;
    if (!since.empty()) {
        if (!IsIsoTime(since)) {
            error_ =
                "Not a date or time: \"" + since + "\" (use YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ).";
            return std::nullopt;
        }
        // Stored times end in Z; a bound without it compares the same way.
        if (since.back() == 'Z') since.pop_back();
    }
    std::string sql = std::string("SELECT id, ") + kRecordColumns + " FROM records WHERE 1";
    if (filter.pttId) sql += " AND ptt_id = :id";
    if (!filter.port.empty()) sql += " AND (port = :port OR port_by_id = :port)";
    if (!since.empty()) sql += " AND time >= :since";
    sql += " ORDER BY time DESC, id DESC";
    if (filter.limit > 0) sql += " LIMIT " + std::to_string(filter.limit);

    Statement select(db_, sql);
    if (!select.Ok()) {
        Fail("read");
        return std::nullopt;
    }
    auto bind = [&](const char* name, const auto& value) {
        int i = sqlite3_bind_parameter_index(select.Get(), name);
        if (i > 0) select.Bind(i, value);
    };
    bind(":id", filter.pttId);
    bind(":port", filter.port);
    bind(":since", since);

    std::vector<HistoryRecord> records;
    int rc;
    while ((rc = sqlite3_step(select.Get())) == SQLITE_ROW) {
        HistoryRecord r;
        r.rowId = select.Int(0);
        r.time = select.Text(1);
        r.port = select.Text(2);
        r.portById = select.Text(3);
        if (sqlite3_column_type(select.Get(), 4) != SQLITE_NULL)
            r.pttId = static_cast<std::int32_t>(select.Int(4));
        r.pttWord = WordValue(select.Text(5));
        r.version = select.Text(6);
        r.configFile = select.Text(7);
        r.configSha256 = select.Text(8);
        r.bytesWritten = select.Int(9);
        r.verified = select.Int(10) != 0;
        r.outcome = select.Text(11);
        r.message = select.Text(12);
        r.durationMs = select.Int(13);
        r.backup = select.Text(14);
        r.source = select.Text(15);
        records.push_back(std::move(r));
    }
    if (rc != SQLITE_DONE) {
        Fail("read");
        return std::nullopt;
    }
    return records;
}

} // namespace nimbrel
