// Number texts of the configuration model, independent of the C locale (the Qt
// layer sets it from the environment, which would turn "1.5" into "1,5").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrel {

// "%f": six decimals.
std::string FormatFixed(double v);

// A leading decimal floating-point number (blanks, sign, digits, point,
// exponent); text that does not start with one reads as 0. Out of range gives
// an infinity, or 0 when too small.
float ParseFloat(std::string_view s);

// strtol-like reading of a 32-bit number: leading blanks, a sign, digits up to
// the first non-digit, no digits read 0. Decimal saturates at the 32-bit range;
// base 16 accepts "0x" and reads the 32-bit pattern (strtoul-like, all ones on
// overflow), so "fffffffb" is -5.
std::int32_t ParseInt32(std::string_view s, bool hex);

// True when the whole text is one whole number that ParseInt32 reads exactly
// (no saturation): blanks, a sign, digits of the base, blanks. Base 16 also
// takes a "0x" prefix and the " H" ending of its number texts, so "ff H",
// "FF H", "ff" and "0xff" are numbers; "", "12abc" and "0x" are not.
bool IsWholeNumberText(std::string_view s, bool hex);

// True when the whole text is one decimal floating-point number that a float
// holds (finite): blanks, a sign, digits with an optional point and fraction
// (or a point and digits), an optional exponent, blanks.
bool IsDecimalFloatText(std::string_view s);

// Cuts a text at its first NUL and to the item text limit.
std::string ClipItemText(std::string_view s);

} // namespace nimbrel
