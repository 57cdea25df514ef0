// Reading and writing whole configuration files: a header line
// "<item count> <sensor counter>" and one 13-field line per item, CR LF ends.
// Loading runs in two passes as the configuration window does it: the header
// tells how many blank items to make, then the items are read into them.
#pragma once

#include "config/displayline.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

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
// The same on text: the header is the stream's first line (opened is true).
ConfigHeader ReadConfigHeaderFrom(std::istream& in);

// True when the file holds no configuration: no item lines after a header that
// is missing, unreadable or states items (an empty file, a stray text). A count
// of 0 is an empty configuration, not this.
bool HoldsNoConfiguration(const ConfigHeader& header);

// Blank items for the first pass: texts "0", type 4, size 1.
ItemList MakeBlankItems(std::int32_t count);

// Second pass on text: skips the header line, then reads every item in order.
// Nothing is shown: each problem's text is appended to `problems` in order,
// led by the item's line in the file ("Line 3: "): the refusals of the item's
// setters ("Unknown type", ...) and "Error" for an item whose read fails; then
// a shortfall of the file against its header (or no valid count), naming the
// file as `name`, also when `items` is empty. Texts are safe to show
// (DisplayText).
void ReadConfigItemsFrom(std::istream& in, const std::string& name, ItemList& items,
                         const ConfigHeader& header, std::vector<std::string>& problems);

// The second pass on the file at `path`; false when it could not be opened.
bool ReadConfigItems(const std::string& path, ItemList& items, const ConfigHeader& header,
                     std::vector<std::string>& problems);
// The same, showing the problems as one message (ShowConfigProblems).
bool ReadConfigItems(const std::string& path, ItemList& items, const ConfigHeader& header);

// Both passes over a whole text: `items` becomes the configuration it holds.
ConfigHeader LoadConfigText(std::string_view text, const std::string& name, ItemList& items,
                            std::vector<std::string>& problems);

// The one message of a file's problems: "The file NAME has problems:", then
// one line each, at most kMaxProblemLines of them and then "and N more". The
// name and the problems are made safe to show (DisplayText).
inline constexpr std::size_t kMaxProblemLines = 20;
std::string ConfigProblemsText(const std::string& name, const std::vector<std::string>& problems);
// Shows that message (caption "Error") when there are problems.
void ShowConfigProblems(const std::string& name, const std::vector<std::string>& problems);
// "The file NAME holds no configuration.", the name made safe to show.
std::string NoConfigurationText(const std::string& name);

// A copy of valid items, each through its file line; it shows nothing and
// installs no Ui, so any thread may copy.
ItemList CopyItems(const ItemList& items);

// The file's text: the header "<item count> <sensor counter>" and every item.
std::string ConfigFileText(std::int32_t sensorCount, const ItemList& items);

// Writes the header and the items through a temporary file renamed over `path`,
// so a failed save leaves the previous file intact. On failure returns false and
// puts a message naming the file into `error`.
bool WriteConfigFile(const std::string& path, std::int32_t sensorCount, const ItemList& items,
                     std::string& error);

} // namespace nimbrel
