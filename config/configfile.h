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
};

// First pass. A file that cannot be opened reports nothing here (opened=false).
ConfigHeader ReadConfigHeader(const std::string& path);

// Blank items for the first pass: texts "0", type 4, size 1.
ItemList MakeBlankItems(std::int32_t count);

// Second pass: reads the header again, then every item in order. An item whose
// read fails shows "Error"; a file holding fewer items than its header states is
// reported once. Returns false when the file could not be opened.
bool ReadConfigItems(const std::string& path, ItemList& items, const ConfigHeader& header);

// Writes the header and the items through a temporary file renamed over `path`,
// so a failed save leaves the previous file intact. On failure returns false and
// puts a message naming the file into `error`.
bool WriteConfigFile(const std::string& path, std::int32_t sensorCount, const ItemList& items,
                     std::string& error);

} // namespace nimbrel
