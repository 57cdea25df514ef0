// Reading and writing whole configuration files: a header line
// "<item count> <sensor counter>" and one 13-field line per item, CR LF ends.
// Loading runs in two passes as the configuration window does it: the header
// tells how many blank items to make, then the items are read into them.
#pragma once

#include "config/displayline.h"

#include <cstdint>
#include <string>

namespace nimbrel {

struct ConfigHeader {
    bool opened = false;          // the file could be opened
    std::int32_t itemCount = 0;   // items to create: the header's count, bounded by the file
    std::int32_t sensorCount = 0; // the header's sensor counter
    std::int32_t declared = 0;    // the count as the header states it
    bool countValid = false;      // the header states a count that is a number >= 0
    std::int32_t present = 0;     // item lines the file holds after the header
};

// A configuration never holds more items than this, whatever its file says.
inline constexpr std::int32_t kMaxConfigItems = 65536;

// First pass. Reports nothing: a file that cannot be opened gives opened=false;
// a count that is missing, negative or larger than the file holds is bounded
// by the item lines present (ReadConfigItems reports it).
ConfigHeader ReadConfigHeader(const std::string& path);

// Blank items for the first pass: texts "0", type 4, size 1.
ItemList MakeBlankItems(std::int32_t count);

// Second pass: reads the header again, then every item in order. An item whose
// read fails shows "Error"; a file holding fewer items than its header states (or
// no valid count) is reported once, naming the file, also when `items` is empty.
// Returns false when the file could not be opened.
bool ReadConfigItems(const std::string& path, ItemList& items, const ConfigHeader& header);

// Writes the header and the items through a temporary file renamed over `path`,
// so a failed save leaves the previous file intact. On failure returns false and
// puts a message naming the file into `error`.
bool WriteConfigFile(const std::string& path, std::int32_t sensorCount, const ItemList& items,
                     std::string& error);

} // namespace nimbrel
