#include "config/modsensorxfer.h"

#include "config/displayline.h"
#include "config/numbertext.h"
#include "platform/ui.h"

#include <array>

namespace nimbrel {
namespace {

constexpr std::array<std::int32_t, 10> kEntryTypes = {
    kTypeChar,  kTypeInt,   kTypeLong,        kTypeString, kTypeUnformatted,
    kTypeFloat, kTypeAscii, kTypeUserCommand, kTypeBaud,   kTypePttId};

// A text that is a whole number in base `from`, re-shown in base `to`; any
// other text is kept as typed.
void Rebase(std::string& text, bool from, bool to) {
    if (from == to || !IsWholeNumberText(text, from)) return;
    text = EditorLongToString(EditorStringToLong(text, from), to);
}

} // namespace

void ShowEditorMessage(const EditorMessage& message) {
    CurrentUi().MessageBox(message.text, message.caption, Buttons::Ok, Icon::Exclamation);
}

const std::vector<std::string>& ModSensorTypeEntries() {
    static const std::vector<std::string> entries = [] {
        std::vector<std::string> out;
        for (std::int32_t type : kEntryTypes)
            out.emplace_back(TypeLabel(type));
        return out;
    }();
    return entries;
}

std::int32_t TypeCodeOfEntry(std::string_view entry) {
    switch (entry.empty() ? '\0' : entry.front()) {
    case 'i':
        return kTypeInt;
    case 'l':
        return kTypeLong;
    case 's':
        return kTypeString;
    case 'u':
        return kTypeUnformatted;
    case 'f':
        return kTypeFloat;
    case 'A':
        return kTypeAscii;
    case 'U':
        return kTypeUserCommand;
    case 'B':
        return kTypeBaud;
    case 'P':
        return kTypePttId;
    default:
        return kTypeChar;
    }
}

std::int32_t SelectedTypeCode(const ModSensorXfer& xfer) {
    const auto& entries = xfer.types.empty() ? ModSensorTypeEntries() : xfer.types;
    if (xfer.selected < 0 || static_cast<std::size_t>(xfer.selected) >= entries.size())
        return kTypeChar;
    return TypeCodeOfEntry(entries[static_cast<std::size_t>(xfer.selected)]);
}

std::int32_t EntryIndexOfType(std::int32_t type) {
    for (std::size_t i = 0; i < kEntryTypes.size(); ++i) {
        if (kEntryTypes[i] == type) return static_cast<std::int32_t>(i);
    }
    return 0;
}

std::optional<std::string> ProposedSize(std::string_view entry) {
    switch (entry.empty() ? '\0' : entry.front()) {
    case 'c':
        return "1";
    case 'i':
        return "2";
    case 'f':
    case 'l':
        return "4";
    default:
        return std::nullopt;
    }
}

std::string EditorLongToString(std::int32_t v, bool hex) {
    return DisplayLine::LongToString(v, hex);
}

std::int32_t EditorStringToLong(std::string_view s, bool hex) {
    std::string lower(s);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return ParseInt32(lower, hex);
}

std::optional<EditorMessage> ToggleHex(ModSensorXfer& form, bool checked) {
    const std::int32_t type = SelectedTypeCode(form);
    if (checked && (type == kTypeFloat || type == kTypeAscii))
        return EditorMessage{"Hex not allowed for floats or literal strings", ""};
    if (!checked && (type == kTypeString || type == kTypeUnformatted))
        return EditorMessage{"Hex must be set for strings", ""};
    if (checked && form.list != 0)
        return EditorMessage{"Lists must be decimal.", "Configuration error"};

    const bool from = form.hex != 0;
    if (IsNumberType(type)) Rebase(form.value, from, checked);
    if (form.list == 0) {
        Rebase(form.max, from, checked);
        Rebase(form.min, from, checked);
    }
    form.hex = checked ? 1 : 0;
    return std::nullopt;
}

void ToggleList(ModSensorXfer& form, bool checked) {
    if (!checked) {
        form.max.assign(1, '0');
        form.min.assign(1, '0');
        return;
    }
    form.max = "{}";
    form.min.clear();
    if (form.hex != 0) {
        if (IsNumberType(SelectedTypeCode(form))) Rebase(form.value, true, false);
        form.hex = 0;
    }
}

std::optional<EditorMessage> CheckModSensorXfer(const ModSensorXfer& form) {
    if (form.name.find(',') != std::string::npos)
        return EditorMessage{"Commas not allowed in description", "Error"};
    const std::int32_t address = EditorStringToLong(form.address, true);
    if (!IsWholeNumberText(form.address, true) || address < 0 || address > kMaxAddress)
        return EditorMessage{"The address must lie between 0 H and ffff H.", "Error"};
    return std::nullopt;
}

void FillModSensorXfer(const DisplayLine& item, ModSensorXfer& xfer) {
    xfer.address = DisplayLine::LongToString(item.GetAddress(), true);
    xfer.types = ModSensorTypeEntries();
    xfer.selected = EntryIndexOfType(item.GetType());
    if (item.GetList()) {
        xfer.max = item.GetMaxText();
        xfer.min.assign(1, '0');
    } else {
        xfer.max = item.LongToString(item.GetMax());
        xfer.min = item.LongToString(item.GetMin());
    }
    xfer.name = item.GetName();
    xfer.value = item.GetValueText();
    xfer.size = std::to_string(item.GetSize());
    xfer.hex = item.GetHex() ? 1 : 0;
    xfer.user = item.GetUser() ? 1 : 0;
    xfer.list = item.GetList() ? 1 : 0;
}

void ApplyModSensorXfer(const ModSensorXfer& xfer, DisplayLine& item) {
    const bool base = xfer.hex != 0; // the base the editor's number texts are in
    const bool list = xfer.list != 0;

    item.SetName(xfer.name);
    // An item that stops being a list may become hex in the same OK.
    if (!list) item.SetList(false);
    item.SetHex(base && !list); // lists are decimal
    item.SetUser(xfer.user != 0);
    item.SetType(SelectedTypeCode(xfer));

    std::string value = xfer.value;
    if (!IsTextType(item.GetType())) Rebase(value, base, item.GetHex());
    item.SetValue(value);

    if (list) {
        item.SetMin(0);
        item.SetMax(xfer.max);
        item.SetList(true);
    } else {
        item.SetMax(EditorStringToLong(xfer.max, base));
        item.SetMin(EditorStringToLong(xfer.min, base));
        item.SetList(false);
    }
    item.SetSize(ParseInt32(xfer.size, false));
    item.SetAddress(ParseInt32(xfer.address, true));
}

} // namespace nimbrel
