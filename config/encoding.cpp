// Items as transmitter memory-write commands ("E" + 4 address digits + 2 data
// digits per byte, most significant byte first), PTT ID check bits, the walk
// over list texts, and values read back from transmitter bytes.
#include "config/displayline.h"

#include "config/numbertext.h"
#include "platform/ui.h"

#include <array>
#include <bit>
#include <cstdint>

namespace nimbrel {
namespace {

constexpr std::array<std::uint8_t, 14> kCheckBitsLow = {0x13, 0x26, 0x1F, 0x3E, 0x2F, 0x0D, 0x1A,
                                                        0x34, 0x3B, 0x25, 0x19, 0x32, 0x37, 0x3D};
constexpr std::array<std::uint8_t, 14> kCheckBitsHigh = {0x13, 0x37, 0x1F, 0x2F, 0x3E, 0x0D, 0x1A,
                                                         0x25, 0x2A, 0x34, 0x19, 0x23, 0x26, 0x2C};
constexpr std::int32_t kHighIdBase = 16384;
// IDs whose number still fits the 26 upper bits of the ID word.
constexpr std::int64_t kIdLimit = kHighIdBase + (std::int64_t{1} << 26);

struct BaudCode {
    std::int32_t baud;
    std::uint8_t code;
};
constexpr std::array<BaudCode, 5> kBaudCodes = {
    {{300, 0x35}, {1200, 0x33}, {2400, 0x32}, {4800, 0x31}, {9600, 0x30}}};

const char kHexDigits[] = "0123456789abcdef";

void AppendHexByte(std::string& out, std::uint8_t b) {
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0x0F];
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void ToUpperAscii(std::string& s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
}

// Bytes a whole-number value occupies: its natural width, the rest of a larger
// item is padded with zero bytes.
std::int32_t NumberWidth(std::int32_t type) {
    const std::int32_t width = FixedTypeWidth(type);
    return width > 0 ? width : 1; // char, and invalid codes encoded like char
}

// The low `width` bytes of v, most significant first, as hexadecimal digits.
std::string BigEndianDigits(std::uint32_t v, std::int32_t width) {
    std::string digits;
    for (std::int32_t i = width - 1; i >= 0; --i) {
        AppendHexByte(digits, static_cast<std::uint8_t>(v >> (8 * i)));
    }
    return digits;
}

// Baud code digits, "" for a rate without a code.
std::string BaudDigits(std::int32_t baud) {
    for (const auto& b : kBaudCodes) {
        if (b.baud == baud) {
            std::string digits;
            AppendHexByte(digits, b.code);
            return digits;
        }
    }
    return {};
}

std::string BytesAsText(const std::vector<std::uint8_t>& bytes) {
    return ClipItemText(std::string(bytes.begin(), bytes.end()));
}

// The hexadecimal digit text of a string item: two digits a byte, as a send
// encodes it back to the same bytes.
std::string BytesAsDigits(const std::vector<std::uint8_t>& bytes) {
    std::string digits;
    for (const std::uint8_t b : bytes)
        AppendHexByte(digits, b);
    return ClipItemText(digits);
}

} // namespace

bool DisplayLine::GetMaxMinList(bool first, std::int32_t& value) {
    if (max_.empty() || max_[0] != '{') {
        CurrentUi().MessageBox("Check list does not have a valid start character.",
                               "Max min list error", Buttons::Ok, Icon::Exclamation);
        value = 0;
        listPos_ = std::string::npos;
        return false;
    }
    std::size_t begin = 1;
    if (!first) {
        if (listPos_ == std::string::npos || listPos_ > max_.size()) {
            value = 0;
            return false;
        }
        begin = listPos_;
    }
    const std::size_t comma = max_.find(',', begin);
    const std::string piece =
        max_.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
    listPos_ = comma == std::string::npos ? std::string::npos : comma + 1;
    value = StringToLong(piece); // stops at the closing brace
    return true;
}

std::uint32_t DisplayLine::GetPttId(std::int32_t id) {
    const auto bits = static_cast<std::uint32_t>(id);
    std::uint32_t check = 0;
    std::uint32_t number = bits;
    const auto& table = id < kHighIdBase ? kCheckBitsLow : kCheckBitsHigh;
    if (id >= kHighIdBase) {
        number = bits - kHighIdBase;
        check = 0x20;
    }
    for (std::size_t k = 0; k < table.size(); ++k) {
        if (bits & (1u << k)) check ^= table[k];
    }
    if (id >= kHighIdBase && (check & 0x20)) check ^= 0x11;
    return (number << 6) + check;
}

std::string DisplayLine::GetPttValue() const {
    if (type_ == kTypeUserCommand) return {};
    if (type_ == kTypeUnformatted) {
        // Ready-made commands: cut at the first "H", then at the first blank.
        std::string text = value_.substr(0, value_.find('H'));
        text = text.substr(0, text.find(' '));
        ToUpperAscii(text);
        return text;
    }
    if (address_ < 0 || address_ > kMaxAddress) return {};

    std::string digits;
    std::int32_t count = size_;
    switch (type_) {
    case kTypeBaud:
        digits = BaudDigits(GetValue());
        count = digits.empty() ? 0 : 1;
        break;
    case kTypeString:
        digits = value_;
        break;
    case kTypeAscii:
        for (std::int32_t i = 0; i < count && i < kMaxItemBytes; ++i) {
            const auto u = static_cast<std::size_t>(i);
            AppendHexByte(digits, u < value_.size() ? static_cast<std::uint8_t>(value_[u]) : 0);
        }
        break;
    case kTypeFloat: {
        float f = 0.0f;
        GetValue(f);
        digits = BigEndianDigits(std::bit_cast<std::uint32_t>(f), 4);
        break;
    }
    case kTypePttId:
        digits = BigEndianDigits(GetPttId(GetValue()), 4);
        break;
    default:
        digits = BigEndianDigits(static_cast<std::uint32_t>(GetValue()), NumberWidth(type_));
        break;
    }

    if (count > kMaxItemBytes) count = kMaxItemBytes;
    std::string out;
    for (std::int32_t i = 0; i < count && address_ + i <= kMaxAddress; ++i) {
        const auto at = static_cast<std::size_t>(2 * i);
        std::string pair = at + 1 < digits.size() ? digits.substr(at, 2) : std::string("00");
        if (type_ == kTypeString &&
            (at + 1 >= digits.size() || !IsHexDigit(pair[0]) || !IsHexDigit(pair[1])))
            break; // a string needs two hex digits per byte
        out += 'E';
        AppendHexByte(out, static_cast<std::uint8_t>((address_ + i) >> 8));
        AppendHexByte(out, static_cast<std::uint8_t>(address_ + i));
        out += pair;
    }
    ToUpperAscii(out);
    return out;
}

bool DisplayLine::CheckPttValue(std::string& problem) const {
    problem.clear();
    if (type_ == kTypeUserCommand || type_ == kTypeUnformatted) return true;
    const std::string item = "The item \"" + name_ + "\"";

    if (type_ != kTypeBaud && size_ < 0) {
        problem = item + " has the size " + std::to_string(size_) + ", which is not a byte count.";
        return false;
    }
    const std::int32_t count = type_ == kTypeBaud ? 1 : size_;
    if (count > kMaxItemBytes) {
        problem = item + " has " + std::to_string(count) + " bytes; an item can hold at most " +
                  std::to_string(kMaxItemBytes) + ".";
        return false;
    }
    const std::int64_t last = std::int64_t{address_} + (count > 0 ? count - 1 : 0);
    if (address_ < 0 || last > kMaxAddress) {
        problem = item + " at address " + LongToString(address_, true) + " with " +
                  std::to_string(count) + " bytes lies outside the memory addresses 0 to ffff H.";
        return false;
    }

    // What is sent is what the value text reads as, so it must be wholly that number.
    if (!IsTextType(type_)) {
        const bool number =
            type_ == kTypeFloat ? IsDecimalFloatText(value_) : IsWholeNumberText(value_, hex_);
        if (!number) {
            const char* kind = type_ == kTypeFloat ? "a number"
                               : hex_              ? "a hexadecimal number"
                                                   : "a decimal number";
            problem = item + " holds the value \"" + value_ + "\", which is not " + kind + ".";
            return false;
        }
    }

    switch (type_) {
    case kTypeBaud:
        if (BaudDigits(GetValue()).empty()) {
            problem = item + " has the baud rate " + std::to_string(GetValue()) +
                      "; the transmitter knows 300, 1200, 2400, 4800 and 9600.";
            return false;
        }
        return true;
    case kTypeString: {
        const auto need = static_cast<std::size_t>(2 * count);
        bool ok = value_.size() >= need;
        for (std::size_t i = 0; ok && i < need; ++i)
            ok = IsHexDigit(value_[i]);
        if (!ok) {
            problem = item + " needs " + std::to_string(need) + " hexadecimal digits for its " +
                      std::to_string(count) + " bytes, but its value is \"" + value_ + "\".";
        }
        return ok;
    }
    case kTypeAscii:
        return true; // a shorter text is padded with zero bytes
    default:
        break;
    }

    // Whole numbers, floats and PTT IDs.
    const std::int32_t width = NumberWidth(type_);
    const std::string label = IsValidType(type_) ? TypeLabel(type_) : "char";
    if (size_ < width) {
        problem = item + " has " + std::to_string(size_) + " bytes, but a " + label + " needs " +
                  std::to_string(width) + ".";
        return false;
    }
    const std::int32_t value = GetValue();
    if (type_ == kTypePttId && (value < 0 || value >= kIdLimit)) {
        problem = item + " holds the PTT ID " + std::to_string(value) + ", which is out of range.";
        return false;
    }
    if (type_ != kTypeFloat && width < 4) {
        const std::int32_t low = -(1 << (8 * width - 1));
        const std::int32_t high = (1 << (8 * width)) - 1;
        if (value < low || value > high) {
            problem = item + " holds the value " + std::to_string(value) +
                      ", which does not fit in " + std::to_string(width) +
                      (width == 1 ? " byte." : " bytes.");
            return false;
        }
    }
    return true;
}

std::optional<std::string> PttValueText(std::int32_t type, bool hex,
                                        const std::vector<std::uint8_t>& bytes, bool& idValid) {
    idValid = true;
    auto word = [&bytes](std::size_t n) {
        std::uint32_t w = 0;
        for (std::size_t i = 0; i < n; ++i)
            w = (w << 8) | (i < bytes.size() ? bytes[i] : 0u);
        return w;
    };
    auto number = [hex](std::uint32_t v) {
        return DisplayLine::LongToString(static_cast<std::int32_t>(v), hex);
    };
    switch (type) {
    case kTypeChar:
        return number(word(1));
    case kTypeInt:
        return number(word(2));
    case kTypeLong:
        return number(word(4));
    case kTypeFloat:
        return FormatFixed(std::bit_cast<float>(word(4)));
    case kTypeString:
        return BytesAsDigits(bytes);
    case kTypeBaud:
        for (const auto& b : kBaudCodes) {
            if (!bytes.empty() && b.code == bytes[0])
                return number(static_cast<std::uint32_t>(b.baud));
        }
        return BytesAsText(bytes);
    case kTypePttId: {
        const std::uint32_t w = word(4);
        auto id = static_cast<std::int32_t>(w >> 6);
        if (DisplayLine::GetPttId(id) != w) id += kHighIdBase;
        idValid = DisplayLine::GetPttId(id) == w;
        return number(static_cast<std::uint32_t>(id));
    }
    default:
        return std::nullopt; // read, but not used
    }
}

bool DisplayLine::SetFromPttBytes(const std::vector<std::uint8_t>& bytes) {
    bool valid = true;
    const std::optional<std::string> text = PttValueText(type_, hex_, bytes, valid);
    if (!valid) CurrentUi().MessageBox("Ptt ID invalid", "Read error", Buttons::Ok, Icon::None);
    if (text) SetValue(*text);
    return valid;
}

} // namespace nimbrel
