// The record of one unit's programming attempt and the run's log of them:
// JSON Lines, one record a line, each appended and flushed to disk before
// the next unit starts.
#pragma once

#include "config/displayline.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace nimbrel {

// Outcomes of an attempt.
inline constexpr const char* kOutcomeDone = "done";
inline constexpr const char* kOutcomeNoAnswer = "no-answer";
inline constexpr const char* kOutcomeMismatch = "mismatch";
inline constexpr const char* kOutcomePortLost = "port-lost";
inline constexpr const char* kOutcomeCancelled = "cancelled";
inline constexpr const char* kOutcomeRefused = "refused";
inline constexpr const char* kOutcomeInvalidAnswer = "invalid-answer";

struct UnitRecord {
    std::string time;          // UTC, "2026-12-09T18:03:04Z"
    std::string port;          // the device, e.g. /dev/ttyUSB0
    std::string portById;      // its stable name: /dev/serial/by-id or the link it was named by; ""
    std::int32_t pttId = -1;   // -1: no ID
    std::uint32_t pttWord = 0; // the encoded ID with its check bits
    std::string version;       // the transmitter's software version
    std::string configFile;
    std::string configSha256; // of the configuration's encoded bytes
    std::int64_t bytesWritten = 0;
    bool verified = false;
    std::string outcome;
    std::string message;
    std::int64_t durationMs = 0;
    std::string backup; // the backup .cfg, "" when none was kept

    bool operator==(const UnitRecord&) const = default;
};

// The SHA-256 (hex) of the configuration as the program writes its file: the
// hash records carry and a resumed run compares.
std::string ConfigSha256(std::int32_t sensorCount, const ItemList& items);

// The time as UTC ISO 8601 to the second.
std::string UtcTime(std::chrono::system_clock::time_point when);

// The link in `folder` (the system's is /dev/serial/by-id) that resolves to
// the same device as `device`; "" when there is none.
std::string ByIdName(const std::string& device, const std::string& folder = "/dev/serial/by-id");

// The record of one send of a configuration to `port`, as it starts: the
// time, the port's by-id name, the first PTT ID item's ID and word (none
// when it has no such item), the file and the configuration's hash. The
// caller adds what the send gives (version, bytes, outcome...).
UnitRecord SendRecord(const ItemList& items, std::int32_t sensorCount,
                      const std::string& configFile, const std::string& port);

// The record as one JSON object on one line, newline included. Strings are
// escaped; bytes that are not UTF-8 become \u00XX.
std::string RecordLine(const UnitRecord& record);
// A line as RecordLine writes it (other keys are skipped); nullopt when it
// is not such a JSON object.
std::optional<UnitRecord> ParseRecordLine(std::string_view line);

// Appends the record to the log at `path` (created when missing) with one
// write and flushes it to disk. False with the path and the reason in
// `error`.
bool AppendRecord(const std::string& path, const UnitRecord& record, std::string& error);

// The records of a log's text. A last line cut short (a crash mid-write) is
// left out; a damaged line before it is skipped and counted in `damaged`.
std::vector<UnitRecord> ReadLog(std::string_view text, std::size_t* damaged = nullptr);

// The IDs the log shows programmed and verified with the configuration of
// this hash: what a resumed run skips.
std::set<std::int32_t> DoneIds(std::string_view logText, const std::string& configSha256);

} // namespace nimbrel
