// The simple-mode form without its window: which items its four fields stand
// for, the text each field shows, and how a typed text is stored.
#pragma once

#include "config/displayline.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbrel {

// The form's fields, in the order OK stores and checks them.
enum SimpleField : int { kFieldPttId = 0, kFieldRepRate, kFieldOnTime, kFieldOffTime };
inline constexpr int kSimpleFieldCount = 4;

// Item names of the three named fields, compared exactly.
inline constexpr const char* kRepRateItem = "Fast transmission rep rate (seconds)";
inline constexpr const char* kOnTimeItem = "Transmission on time (seconds)";
inline constexpr const char* kOffTimeItem = "Transmission off time (seconds)";

// Item index of each field; -1 for a field without an item.
using SimpleFieldIndexes = std::array<std::int32_t, kSimpleFieldCount>;

// The PTT ID is item 0. The named items are looked for in the leading run of
// sensor number 1 items (from item 0 until the first item of another sensor);
// when a name occurs twice there, the later item is taken.
SimpleFieldIndexes FindSimpleFields(const ItemList& items);

// What a field shows: a whole-number item's value as signed decimal whatever
// its base ("fffffffb H" shows -5); other items their value text.
std::string SimpleFieldText(const DisplayLine& item);

// Stores a typed text as the item's value. A decimal whole number typed for a
// whole-number item shown in hexadecimal is stored in that base (7200 becomes
// "1c20 H"); any other text is stored as typed.
void ApplySimpleText(DisplayLine& item, std::string_view text);

// OK of the form: stores each field's text into its item in field order (a
// field without an item is skipped), then checks each stored value with its
// validator. Answers the fields whose value fails, in field order.
std::vector<int> ApplySimpleForm(const std::array<DisplayLine*, kSimpleFieldCount>& items,
                                 const std::array<std::string, kSimpleFieldCount>& texts);

} // namespace nimbrel
