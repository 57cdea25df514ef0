// Unit records as nimbrel-cli prints them: the fields of a record in JSON,
// the history's table, and text tables in general.
#pragma once

#include "cli/json.h"
#include "fleet/history.h"
#include "fleet/unitrecord.h"

#include <string>
#include <vector>

namespace nimbrel::cli {

// Every field of the record, with the log's names ("ptt_id" null for none).
void WriteRecordFields(JsonWriter& json, const UnitRecord& record);
// The same plus the history's "row" and "source".
void WriteHistoryRecord(JsonWriter& json, const HistoryRecord& record);

// Rows of cells as columns, each as wide as its widest cell, two blanks
// apart; the last column is not padded. The first row is the heading.
std::string FormatTable(const std::vector<std::vector<std::string>>& rows);

// The history's records, newest first: time, ID, port, version, file,
// outcome, verified, bytes. Text from the database is shown escaped.
std::string FormatHistory(const std::vector<HistoryRecord>& records);

} // namespace nimbrel::cli
