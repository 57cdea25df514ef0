// The sensor item editor without its window: the transfer record that carries
// one item into the editor and back, and the rules the editor's controls
// follow (type entries, size proposals, the hex and list boxes, the OK check).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbrel {

class DisplayLine;

// The editor's transfer record, fields in transfer order. The editor's own
// number base is `hex`: value, maximum and minimum texts are read in it.
struct ModSensorXfer {
    std::string address;            // "%lx H"
    std::vector<std::string> types; // the ten entries in the editor's order
    std::int32_t selected = 0;      // index into types
    std::string name, value, max, min, size;
    std::uint32_t hex = 0, user = 0, list = 0; // check-box states 1/0
};

// A refusal of the editor, shown with an OK button and the exclamation icon.
struct EditorMessage {
    std::string text;
    std::string caption;
    bool operator==(const EditorMessage&) const = default;
};
void ShowEditorMessage(const EditorMessage& message);

// The type entries in the editor's order: "char", "int", "long", "string",
// "unformatted string", "float", "ASCII string", "User command", "Baud rate",
// "PTT ID number".
const std::vector<std::string>& ModSensorTypeEntries();
// The type code an entry stands for, by its first character; an unknown entry
// stands for char.
std::int32_t TypeCodeOfEntry(std::string_view entry);
// The type code of the record's selected entry (char when none is selected).
std::int32_t SelectedTypeCode(const ModSensorXfer& xfer);
// Index of a type code's entry; 0 ("char") for a code that is not 1 to 10.
std::int32_t EntryIndexOfType(std::int32_t type);

// The size the editor proposes when an entry is chosen: "1" for char, "2" for
// int, "4" for long and float; nothing for the others.
std::optional<std::string> ProposedSize(std::string_view entry);

// The editor's number texts: "%lx H" or "%ld"; reading lower-cases the text
// and reads it in base 16 or 10 as the item does.
std::string EditorLongToString(std::int32_t v, bool hex);
std::int32_t EditorStringToLong(std::string_view s, bool hex);

// The hex box was clicked and now shows `checked`; `form.hex` is the state
// before the click, the base the texts are in. Refused (the box goes back,
// nothing changes): hex for float and ASCII string, decimal for string and
// unformatted string, hex while "Max/min is list" is checked. Otherwise
// `form.hex` follows the box and the texts that are numbers are re-shown in the
// new base: the value for the whole-number types, the maximum and minimum for
// every type unless the list box is checked.
std::optional<EditorMessage> ToggleHex(ModSensorXfer& form, bool checked);

// The list box was clicked and now shows `checked`. Checked: maximum "{}",
// minimum empty, and hex turned off (a numeric value re-shown in decimal).
// Unchecked: maximum and minimum "0".
void ToggleList(ModSensorXfer& form, bool checked);

// The OK check: no comma in the item name, and an address that is a
// hexadecimal number from 0 to ffff. Nothing when OK may close the editor.
std::optional<EditorMessage> CheckModSensorXfer(const ModSensorXfer& form);

// Fills the record from an item: the address in hexadecimal, the item's type
// selected (char for an unknown code), limits in the item's base (a list item:
// its list text and "0"), name, value, size in decimal and the three flags.
void FillModSensorXfer(const DisplayLine& item, ModSensorXfer& xfer);

// Writes the record back into the item after OK, in this order: name, the
// list flag when it is cleared, hex, user flag, type, value, limits and list
// flag, size, address. A list item
// stays decimal. Numbers keep their values across a change of type or base:
// the limits are read in the editor's base and set as numbers, and a value that
// is a number in the editor's base is converted when the item's base differs.
// Only the item's own setters report anything (SetHex, SetType).
void ApplyModSensorXfer(const ModSensorXfer& xfer, DisplayLine& item);

} // namespace nimbrel
