// The programming history: one SQLite database that keeps a record of every
// send (from the window, the command line or a fleet run) across runs, and
// answers which configuration went into which unit, when and from where.
//
// Nothing here throws, and no call waits on another process's lock longer
// than the busy timeout: a database that cannot be opened or written makes
// the call return false (or nothing) with a message naming the file in
// Error(), so the caller can keep the record elsewhere and tell the user.
//
// Threads: one History is one connection, for one thread at a time. Several
// Histories (threads or processes) may append to the same file at once.
#pragma once

#include "fleet/unitrecord.h"
#include "platform/options.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace nimbrel {

// One send as the history keeps it: the unit's record (a send without an ID
// has pttId -1, kept as NULL) and where the send came from.
struct HistoryRecord : UnitRecord {
    std::int64_t rowId = 0; // set by Query
    std::string source;     // "window", "cli" or "fleet"

    bool operator==(const HistoryRecord&) const = default;
};

// The record of a send as the history keeps it.
HistoryRecord ToHistory(const UnitRecord& record, std::string source);

// What Query returns; empty fields match everything.
struct HistoryFilter {
    std::optional<std::int64_t> pttId;
    std::string port;  // a device or a by-id name
    std::string since; // "YYYY-MM-DD" or an ISO 8601 time (UTC)
    int limit = 0;     // at most this many, newest first; 0: all
};

struct HistoryOptions {
    int busyTimeoutMs = 5000; // longest wait for another connection's lock
};

// $XDG_DATA_HOME/Nimbrel/history.sqlite, else ~/.local/share/Nimbrel/history.sqlite.
std::string DefaultHistoryPath();

// The history the settings name ([HISTORY] File), else DefaultHistoryPath().
std::string ConfiguredHistoryPath(const SettingsSnapshot& settings = {});

// The current UTC time as the history writes it.
std::string HistoryTimeNow();

class History {
public:
    explicit History(HistoryOptions options = {});
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Opens the database, creating it and its folder on first use. A database
    // that exists but cannot be written is opened for queries only.
    bool Open(const std::string& path);
    bool IsOpen() const { return db_ != nullptr; }
    void Close();

    // Adds one record in its own transaction.
    bool Append(const HistoryRecord& record);
    std::optional<std::vector<HistoryRecord>> Query(const HistoryFilter& filter);

    const std::string& Path() const { return path_; }
    // Why the last call failed, naming the file.
    const std::string& Error() const { return error_; }

private:
    bool Exec(const char* sql);
    bool Fail(const char* what);
    bool EnsureSchema();
    bool OpenForReading();

    HistoryOptions options_;
    std::string path_;
    std::string error_;
    int code_ = 0; // SQLite's code for error_
    sqlite3* db_ = nullptr;
};

} // namespace nimbrel
