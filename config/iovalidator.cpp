#include "config/iovalidator.h"

#include "config/displayline.h"
#include "config/numbertext.h"
#include "platform/ui.h"

#include <cctype>
#include <cmath>
#include <string_view>

namespace nimbrel {
namespace {

// A limit as a whole number, kept inside the 32-bit range.
std::int32_t WholeLimit(double f) {
    if (std::isnan(f)) return 0;
    if (f >= 2147483647.0) return INT32_MAX;
    if (f <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(f);
}

// "%lx" of the 32-bit pattern.
std::string Hex(std::int32_t v) {
    const std::string text = DisplayLine::LongToString(v, true);
    return text.substr(0, text.find(' '));
}

// A text in the form of a whole number of the base (blanks, a sign, "0x" and
// " H" for hex, as IsWholeNumberText takes them) whose value does not fit in
// 32 bits.
bool OutOfRangeWholeNumber(std::string_view s, bool hex) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto digit = [hex](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0 ||
               (hex && std::isxdigit(static_cast<unsigned char>(c)) != 0);
    };
    std::size_t i = 0;
    while (i < s.size() && blank(s[i]))
        ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (hex && i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
        digit(s[i + 2]))
        i += 2;
    const std::size_t first = i;
    while (i < s.size() && digit(s[i]))
        ++i;
    if (i == first) return false;
    std::string rest(s.substr(0, first));
    rest += '1'; // the same text with a number that fits
    rest += s.substr(i);
    return !IsWholeNumberText(s, hex) && IsWholeNumberText(rest, hex);
}

} // namespace

bool IOValidator::IsNumberText() const {
    const std::int32_t type = item_->GetType();
    if (IsTextType(type)) return true;
    if (type == kTypeFloat) return IsDecimalFloatText(item_->GetValueText());
    return IsWholeNumberText(item_->GetValueText(), item_->GetHex());
}

bool IOValidator::IsValid() const {
    const std::int32_t type = item_->GetType();
    if (IsTextType(type)) return true;
    if (!IsNumberText()) return false;

    double value = 0.0;
    if (type == kTypeFloat) {
        float f = 0.0f;
        item_->GetValue(f);
        value = f;
    } else {
        value = item_->GetValue();
    }

    if (!item_->GetList()) return min_ <= value && value <= max_;

    std::int32_t allowed = 0;
    for (bool more = item_->GetMaxMinList(true, allowed); more;
         more = item_->GetMaxMinList(false, allowed)) {
        if (allowed == value) return true;
    }
    return false;
}

std::string IOValidator::ErrorText() const {
    std::string lead;
    if (!IsNumberText()) {
        const std::string& text = item_->GetValueText();
        const bool hex = item_->GetHex();
        const char* kind = item_->GetType() == kTypeFloat ? "a number"
                           : hex                          ? "a hexadecimal number"
                                                          : "a decimal number";
        if (item_->GetType() != kTypeFloat && OutOfRangeWholeNumber(text, hex)) {
            lead = "The value " + text + " lies outside the range of whole numbers (" +
                   (hex ? "0 H to ffffffff H" : "-2147483648 to 2147483647") + ").\n\r";
        } else {
            lead = "The value " + text + " is not " + kind + ".\n\r";
        }
    }
    if (item_->GetList()) {
        return lead + "Input must be one of the list values\n\r" + item_->GetMaxText();
    }
    if (item_->GetHex()) {
        return lead + "Max = " + Hex(WholeLimit(max_)) + "\n\rMin = " + Hex(WholeLimit(min_)) +
               "\n\rValue = " + Hex(item_->GetValue());
    }
    const std::string limits =
        lead + "Max = " + FormatFixed(max_) + "\n\rMin = " + FormatFixed(min_);
    if (item_->GetType() == kTypeFloat) {
        float value = 0.0f;
        item_->GetValue(value);
        return limits + "\n\rValue = " + FormatFixed(value);
    }
    return limits + "\n\rValue = " + std::to_string(item_->GetValue());
}

void IOValidator::Error() const {
    CurrentUi().MessageBox(ErrorText(), "Input error", Buttons::Ok, Icon::None);
}

} // namespace nimbrel
