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

// Cuts a text at its first NUL and to the item text limit.
std::string ClipItemText(std::string_view s);

} // namespace nimbrel
