// What nimbrel-cli prints, as pure functions: the items a send writes in the
// encode formats, memory dumps, and the progress line.
#pragma once

#include "cli/json.h"
#include "cli/options.h"
#include "engine/configtransfer.h"
#include "engine/transferengine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel::cli {

// The 7-character commands of a command text (a shorter last piece as it is).
std::vector<std::string> SplitCommands(const std::string& commands);

// The address and byte of each memory-write command ("E" + 4 + 2 hex digits).
struct MemoryWrite {
    std::uint32_t address = 0;
    std::uint8_t byte = 0;
};
std::vector<MemoryWrite> MemoryWrites(const std::string& commands);

// encode's output. Commands: one line per item that writes something, its
// commands separated by blanks. Hex: one "AAAA BB" line per memory byte
// written. Json: {"items":[{name, sensor, address, commands, writes}], ...}.
std::string FormatEncoded(const std::vector<EncodedItem>& items, Format format);
void WriteEncodedJson(JsonWriter& json, const std::vector<EncodedItem>& items);

// A hex dump: 16 bytes a line, "AAAA  BB BB ... |text|".
std::string FormatDump(std::uint32_t from, const std::vector<std::uint8_t>& bytes);

// "12.3 s", or "m:ss" from a minute on.
std::string ElapsedText(std::int32_t ms);
// The progress as a terminal line of at most `width` characters: a bar with
// step k of n when the steps are known, what is done, bytes, elapsed time.
std::string ProgressBarText(const Progress& p, int width);
// The progress as a plain log line.
std::string ProgressLineText(const Progress& p);

} // namespace nimbrel::cli
