#include "config/numbertext.h"

#include "config/displayline.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace nimbrel {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    return c;
}

} // namespace

std::string FormatFixed(double v) {
    char buf[400]; // the widest double in fixed notation with six decimals fits
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    if (r.ec != std::errc{}) return "0.000000";
    return std::string(buf, r.ptr);
}

float ParseFloat(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    std::size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    // Only decimal numbers: no hexadecimal floats, infinities or NaNs.
    const bool digit = i < s.size() && IsDigit(s[i]);
    const bool point = i + 1 < s.size() && s[i] == '.' && IsDigit(s[i + 1]);
    if (!digit && !point) return 0.0f;
    if (digit && s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X'))
        return 0.0f;
    const std::string text(s.substr(start));
    return strtof_l(text.c_str(), nullptr, CLocale());
}

std::int32_t ParseInt32(std::string_view s, bool hex) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (hex && i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
        HexDigit(s[i + 2]) >= 0)
        i += 2;

    const std::uint64_t limit = hex ? 0xFFFFFFFFull : negative ? 0x80000000ull : 0x7FFFFFFFull;
    std::uint64_t acc = 0;
    bool overflow = false;
    for (; i < s.size(); ++i) {
        const int d = hex ? HexDigit(s[i]) : IsDigit(s[i]) ? s[i] - '0' : -1;
        if (d < 0) break;
        acc = acc * (hex ? 16 : 10) + static_cast<unsigned>(d);
        if (acc > limit) {
            overflow = true;
            acc = limit; // keep scanning the digits; the result is saturated
        }
    }
    if (hex) {
        if (overflow) return -1; // all ones, like strtoul
        auto pattern = static_cast<std::uint32_t>(acc);
        if (negative) pattern = 0u - pattern;
        return static_cast<std::int32_t>(pattern);
    }
    if (negative) return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(acc));
    return static_cast<std::int32_t>(acc);
}

bool IsWholeNumberText(std::string_view s, bool hex) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (hex && i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
        HexDigit(s[i + 2]) >= 0)
        i += 2;

    const std::uint64_t limit = hex ? 0xFFFFFFFFull : negative ? 0x80000000ull : 0x7FFFFFFFull;
    std::uint64_t acc = 0;
    std::size_t digits = 0;
    for (; i < s.size(); ++i, ++digits) {
        const int d = hex ? HexDigit(s[i]) : IsDigit(s[i]) ? s[i] - '0' : -1;
        if (d < 0) break;
        acc = acc * (hex ? 16 : 10) + static_cast<unsigned>(d);
        if (acc > limit) return false;
    }
    if (digits == 0) return false;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    if (hex && i < s.size() && (s[i] == 'H' || s[i] == 'h')) {
        ++i;
        while (i < s.size() && IsBlank(s[i]))
            ++i;
    }
    return i == s.size();
}

bool IsDecimalFloatText(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    const std::size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i)
        ++digits;
    if (i < s.size() && s[i] == '.') {
        for (++i; i < s.size() && IsDigit(s[i]); ++i)
            ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exponent = 0;
        for (; i < s.size() && IsDigit(s[i]); ++i)
            ++exponent;
        if (exponent == 0) return false;
    }
    const std::size_t end = i;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    if (i != s.size()) return false;
    return std::isfinite(ParseFloat(s.substr(start, end - start)));
}

std::string ClipItemText(std::string_view s) {
    const auto nul = s.find('\0');
    if (nul != std::string_view::npos) s = s.substr(0, nul);
    if (s.size() > kMaxItemText) s = s.substr(0, kMaxItemText);
    return std::string(s);
}

} // namespace nimbrel
