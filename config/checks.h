// Checks of a whole configuration without a screen: items whose EEPROM bytes
// overlap, items whose value the window would refuse or a send could not
// encode, and the items whose value in the transmitter differs from the
// file's. Each finding names the item, its sensor and its address.
#pragma once

#include "config/displayline.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace nimbrel {

// The sensor each item belongs to: the sensor name of the first item of its
// run of items with the same sensor number, or "sensor N" when that run has
// no name.
std::vector<std::string> SensorNames(const ItemList& items);

// "\"PTT ID number\" (ARGOS transmitter, address 100 H)": how checks name an item.
std::string ItemDesignation(const DisplayLine& item, const std::string& sensor);

// The EEPROM bytes an item writes with a send: from its address on, one for a
// baud rate, else its size (at most 36), none past FFFF. User commands,
// unformatted strings (their addresses are in their text) and items at an
// address outside 0..FFFF write none here.
struct ByteRange {
    std::int32_t first = 0;
    std::int32_t count = 0; // 0: the item writes no bytes
};
ByteRange WrittenBytes(const DisplayLine& item);

// Two items writing the same bytes: their indexes (first < second) and the
// first and last address both write.
struct Overlap {
    std::size_t first = 0;
    std::size_t second = 0;
    std::int32_t from = 0;
    std::int32_t to = 0;
};
// Every overlapping pair, ordered by item. At most `limit` pairs are listed
// (those at the lowest addresses); `total`, when given, gets the count of all.
std::vector<Overlap> FindOverlaps(const ItemList& items,
                                  std::size_t limit = std::numeric_limits<std::size_t>::max(),
                                  std::int64_t* total = nullptr);

// An item whose value in the transmitter differs from the file's.
struct Difference {
    std::size_t item = 0;
    std::string name;
    std::string sensor;
    std::int32_t address = 0;
    std::string fileValue;
    std::string pttValue;
};
// Compares each item with the value text read from the transmitter (as
// PttValueText gives it; nullopt: not read, skipped). Whole numbers compare
// as the bytes of their width hold them (so -1 and 65535 are the same int),
// floats as float numbers, hex-digit strings by the bytes they stand for (a
// string value of characters, as older reads saved it, with the characters
// of the bytes read). A value text that is not a number compares as text.
std::vector<Difference> CompareValues(const ItemList& items,
                                      const std::vector<std::optional<std::string>>& readTexts);

// One problem of a configuration, as a whole line naming the item (and, for
// an overlap, the other item).
struct Problem {
    std::size_t item = 0;
    std::optional<std::size_t> other;
    std::string text;
};
// The first problem of one item: a value outside its limits or list (naming
// them), a list that is not a list, or what CheckPttValue refuses (a value
// that is not a number or does not fit, a size, an address outside
// 0..FFFF). nullopt when the item is fine.
std::optional<Problem> CheckItem(const ItemList& items, std::size_t index);
// Every item's problem in order, then one problem per overlapping pair: at
// most kOverlapLines of them; `unlisted`, when given, gets the count of the
// pairs left out.
inline constexpr std::size_t kOverlapLines = 200;
std::vector<Problem> CheckConfiguration(const ItemList& items, std::int64_t* unlisted = nullptr);

} // namespace nimbrel
