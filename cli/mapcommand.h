// What `nimbrel-cli map` shows of a configuration's memory map: a table in
// address order, the same rows as JSON, and a picture as an SVG document.
#pragma once

#include "cli/json.h"
#include "config/memorymap.h"

#include <string>

namespace nimbrel::cli {

// One row per item range and per free gap, in address order: start, end,
// size, "!" for an item that shares bytes with another, item and sensor;
// then the overlapping pairs (and how many more there are). Text from the
// file is shown escaped.
std::string FormatMapTable(const MemoryMap& map);

// "FILE: 17 items write 27 bytes, 45 overlapping pairs, 65509 bytes free.",
// naming the picture when `svg` is given.
std::string MapSummaryText(const MemoryMap& map, const std::string& file, const std::string& svg);

// The same as JSON fields: "rows" (kind "item" or "free"), "overlaps" (pairs
// of items with the addresses both write), "unlisted_overlaps", "used_bytes",
// "free_bytes".
void WriteMapJson(JsonWriter& json, const MemoryMap& map);

// The map as a standalone SVG document: a 0000-FFFF overview strip, an
// address axis over the written addresses (long free stretches drawn
// shortened), each item a bar with its name coloured by its sensor, the bytes
// several items write hatched red, the free gaps shaded, and a legend.
// `title` heads the picture.
std::string MapSvg(const MemoryMap& map, const std::string& title);

// Writes `text` to `path` through a temporary file beside it, so that the
// file is either whole or as it was. False with a message in `error`.
bool WriteWholeFile(const std::string& path, const std::string& text, std::string& error);

} // namespace nimbrel::cli
