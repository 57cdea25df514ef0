// One configuration item: a named, typed value of a transmitter or sensor
// setting, with its EEPROM address, limits or list, and display flags.
// The item is data first; when the configuration window shows it, a RowView
// mirrors its texts, and edits in the row flow back through the setters.
#pragma once

#include "config/iovalidator.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nimbrel {

class RowView;

// Value type codes, as stored in items and configuration files.
enum ItemType : std::int32_t {
    kTypeChar = 1,
    kTypeInt = 2,
    kTypeString = 3, // hexadecimal digit text, two per byte
    kTypeLong = 4,
    kTypeUnformatted = 5, // ready-made transmitter command text
    kTypeFloat = 6,
    kTypeAscii = 7,
    kTypeUserCommand = 8, // never sent with the configuration
    kTypePttId = 9,       // sent with check bits
    kTypeBaud = 10,       // sent as a one-byte code
};

bool IsTextType(std::int32_t type);   // 3, 5, 7, 8
bool IsNumberType(std::int32_t type); // 1, 2, 4, 9, 10
bool IsValidType(std::int32_t type);  // 1 .. 10
// Bytes of the fixed-width types: int 2; long, float and PTT ID 4; baud rate 1.
// 0 for char (its size is free) and for text and invalid types.
std::int32_t FixedTypeWidth(std::int32_t type);
// The editor's label of a type code ("char", "int", ...); "" for an invalid code.
const char* TypeLabel(std::int32_t type);

// Texts of an item hold at most this many characters.
inline constexpr std::size_t kMaxItemText = 254;
// One item is written with at most this many bytes (36 commands of 7 characters).
inline constexpr std::int32_t kMaxItemBytes = 36;
// Transmitter memory addresses run from 0 to this.
inline constexpr std::int32_t kMaxAddress = 0xFFFF;

class DisplayLine {
public:
    // Index, sensor name, sensor number text, item name, value text, type, size.
    // A new item is decimal, not a list, at address 0 and not user configurable.
    DisplayLine(std::int32_t index, const std::string& sensor, const std::string& number,
                const std::string& name, const std::string& value, std::int32_t type,
                std::int32_t size);
    ~DisplayLine();
    DisplayLine(const DisplayLine&) = delete;
    DisplayLine& operator=(const DisplayLine&) = delete;

    // The row that mirrors this item (not owned); null when not shown.
    void AttachView(RowView* view);
    RowView* View() const { return view_; }
    void SendPaint();

    // Value.
    void GetValue(std::string& out) const { out = value_; }
    const std::string& GetValueText() const { return value_; }
    void GetValue(std::int32_t& v) const { v = StringToLong(value_); }
    void GetValue(float& v) const;
    std::int32_t GetValue() const { return StringToLong(value_); }
    void SetValue(std::int32_t v);
    void SetValue(float v); // "%f"
    void SetValue(const std::string& s);
    void SetValue(const char* s) { SetValue(std::string(s)); }

    // Limits. The number forms also set the validator's limits.
    std::int32_t GetMax() const { return StringToLong(max_); }
    std::int32_t GetMin() const { return StringToLong(min_); }
    void SetMax(std::int32_t v);
    void SetMin(std::int32_t v);
    void GetMax(std::string& out) const { out = max_; }
    void GetMin(std::string& out) const { out = min_; }
    const std::string& GetMaxText() const { return max_; }
    const std::string& GetMinText() const { return min_; }
    void SetMax(const std::string& s); // text unchanged (list text); validator untouched
    void SetMax(const char* s) { SetMax(std::string(s)); }
    void SetMinText(const std::string& s);

    // Names.
    void GetName(std::string& out) const { out = name_; }
    const std::string& GetName() const { return name_; }
    void SetName(const std::string& s);
    void GetSensor(std::string& out) const { out = sensor_; }
    const std::string& GetSensor() const { return sensor_; }
    void SetSensor(const std::string& s);
    std::int32_t GetNumber() const;
    const std::string& GetNumberText() const { return number_; }
    void SetNumber(std::int32_t n);

    // Type, size, flags, address, index.
    std::int32_t GetType() const { return type_; }
    void SetType(std::int32_t type);
    std::int32_t GetSize() const { return size_; }
    void SetSize(std::int32_t size) { size_ = size; }
    std::int32_t BytesInType(std::int32_t type);
    bool GetHex() const { return hex_; }
    void SetHex(bool hex);
    bool GetList() const { return list_; }
    void SetList(bool list) { list_ = list; }
    bool GetUser() const { return user_; }
    void SetUser(bool notUserConfigurable);
    std::int32_t GetAddress() const { return address_; }
    void SetAddress(std::int32_t address) { address_ = address; }
    std::int32_t GetIndex() const { return index_; }
    void SetIndex(std::int32_t i);
    // 25 * (i + 1), kept inside the 32-bit range for any index.
    static std::int32_t GetScreenPos(std::int32_t i);
    std::int32_t GetDisplayYPos() const { return GetScreenPos(index_); }
    void SetScreenPos(std::int32_t i);

    IOValidator& Validator() { return validator_; }
    const IOValidator& Validator() const { return validator_; }

    // Number texts under the item's hex flag: "%d" or "%x H" of the 32-bit value.
    // Parsing is strtol-like (blanks, sign, digits up to the first non-digit, none
    // reads 0): decimal saturates at the 32-bit range; hex accepts "0x" and reads
    // the 32-bit pattern ("fffffffb H" is -5; more than 32 bits read all ones).
    std::string LongToString(std::int32_t v) const;
    std::int32_t StringToLong(const std::string& s) const;
    static std::string LongToString(std::int32_t v, bool hex);
    static std::int32_t StringToLong(const std::string& s, bool hex);

    // Encoding for the transmitter.
    // Next allowed value of a list item; `first` restarts the walk.
    bool GetMaxMinList(bool first, std::int32_t& value);
    // The item as memory-write commands, upper case, at most 255 characters.
    // User-command items give "". Parts that cannot be encoded (too many bytes,
    // addresses past FFFF, an unknown baud rate, missing hex digits) are left
    // out; CheckPttValue names them.
    std::string GetPttValue() const;
    // False, with a message naming the item in `problem`, when the item cannot be
    // sent as it is: more than 36 bytes, addresses outside 0..FFFF, a value that
    // does not fit its bytes, an unknown baud rate, a string without enough hex digits,
    // a value text that is not wholly a number of the item's base.
    bool CheckPttValue(std::string& problem) const;
    static std::uint32_t GetPttId(std::int32_t id);
    // Sets the value from the item's bytes as read back from the transmitter,
    // most significant first. False (after "Ptt ID invalid") when a PTT ID word
    // fails both check-bit tests; the value is set all the same.
    bool SetFromPttBytes(const std::vector<std::uint8_t>& bytes);

    // One field of a configuration file line, at most 255 characters. A field that
    // begins with "{" is a list: it keeps its commas and ends with "}". CR LF, LF
    // or CR end a line. False once the stream has failed (end of file).
    static bool GetDataFromFile(std::istream& in, std::string& field);

private:
    std::int32_t index_ = 0;
    std::string value_;
    std::string sensor_;
    std::string name_;
    std::string number_;
    std::string max_;
    std::string min_;
    bool hex_ = false;
    std::int32_t size_ = 0;
    std::int32_t type_ = 0;
    bool list_ = false;
    bool user_ = false;
    std::int32_t address_ = 0;
    IOValidator validator_;
    RowView* view_ = nullptr;
    std::size_t listPos_ = std::string::npos; // where the list walk goes on; npos: ended
};

using ItemList = std::vector<std::unique_ptr<DisplayLine>>;

// The value text an item of `type` gets from its bytes as read back from the
// transmitter, most significant first, shown in the item's base (`hex`);
// nullopt for the types whose value a read leaves unchanged (unformatted
// string, ASCII string, user command, unknown codes). A string gets the
// hexadecimal digits of its bytes ("414243"), which a send writes back as
// they were. `idValid` becomes false
// for a PTT ID word that fails both check-bit tests (the text is still given).
std::optional<std::string> PttValueText(std::int32_t type, bool hex,
                                        const std::vector<std::uint8_t>& bytes, bool& idValid);

// One item line of a configuration file (13 fields, CR LF). The writer turns
// commas and line ends inside texts into ";" and blanks, so fields never shift.
// The reader keeps to one line: a short line fails the stream after applying
// what it has; a long one is read to its end. Empty lines are skipped.
std::ostream& operator<<(std::ostream& out, const DisplayLine& item);
std::istream& operator>>(std::istream& in, DisplayLine& item);

} // namespace nimbrel
