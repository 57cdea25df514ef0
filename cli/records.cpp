#include "cli/records.h"

#include "platform/displaytext.h"

#include <algorithm>
#include <cstdio>

namespace nimbrel::cli {

void WriteRecordFields(JsonWriter& json, const UnitRecord& r) {
    json.Field("time", r.time).Field("port", r.port).Field("port_by_id", r.portById);
    if (r.pttId < 0) {
        json.Key("ptt_id").Null().Key("ptt_word").Null();
    } else {
        char word[12];
        std::snprintf(word, sizeof word, "%08X", r.pttWord);
        json.Field("ptt_id", r.pttId).Field("ptt_word", word);
    }
    json.Field("version", r.version)
        .Field("config", r.configFile)
        .Field("config_sha256", r.configSha256)
        .Field("bytes_written", r.bytesWritten)
        .Field("verified", r.verified)
        .Field("outcome", r.outcome)
        .Field("message", r.message)
        .Field("duration_ms", r.durationMs)
        .Field("backup", r.backup);
}

void WriteHistoryRecord(JsonWriter& json, const HistoryRecord& r) {
    json.BeginObject().Field("row", r.rowId);
    WriteRecordFields(json, r);
    json.Field("source", r.source).EndObject();
}

std::string FormatTable(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line.append(widths[c] - row[c].size() + 2, ' ');
        }
        out += line + '\n';
    }
    return out;
}

std::string FormatHistory(const std::vector<HistoryRecord>& records) {
    std::vector<std::vector<std::string>> rows = {
        {"TIME", "ID", "PORT", "VERSION", "FILE", "OUTCOME", "VERIFIED", "BYTES"}};
    for (const HistoryRecord& r : records) {
        rows.push_back({DisplayText(r.time), r.pttId < 0 ? "-" : std::to_string(r.pttId),
                        DisplayText(r.port), DisplayText(r.version), DisplayText(r.configFile),
                        DisplayText(r.outcome), r.verified ? "yes" : "no",
                        std::to_string(r.bytesWritten)});
    }
    return FormatTable(rows);
}

} // namespace nimbrel::cli
