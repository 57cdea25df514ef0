// Number texts: every whole number's text reads back as the number in both
// bases, every finite float's "%f" text reads back within its six decimals
// and is stable; any text is read without harm and, where it is wholly a
// number, as the C library reads it.
#include "config/displayline.h"
#include "config/numbertext.h"
#include "fuzz/check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <locale.h>
#include <string>

using nimbrel::DisplayLine;
using nimbrel::fuzz::Shown;

namespace {

// Half the distance from f to the next float away from zero.
double HalfStep(float f) {
    const float a = std::fabs(f);
    return (double{std::nextafter(a, INFINITY)} - double{a}) / 2;
}

void CheckWhole(std::int32_t v) {
    for (const bool hex : {false, true}) {
        const std::string text = DisplayLine::LongToString(v, hex);
        FUZZ_CHECK(DisplayLine::StringToLong(text, hex) == v, Shown(text));
        FUZZ_CHECK(nimbrel::IsWholeNumberText(text, hex), Shown(text));
        DisplayLine item(0, "", "0", "", "0", nimbrel::kTypeLong, 4);
        item.SetHex(hex);
        item.SetValue(v);
        FUZZ_CHECK(item.GetValue() == v && item.GetValueText() == text, Shown(item.GetValueText()));
        item.SetHex(!hex);
        FUZZ_CHECK(item.GetValue() == v, Shown(item.GetValueText()));
    }
}

void CheckFloat(float f) {
    const std::string text = nimbrel::FormatFixed(f);
    if (!std::isfinite(f)) return;
    const float back = nimbrel::ParseFloat(text);
    FUZZ_CHECK(nimbrel::IsDecimalFloatText(text), Shown(text));
    if (std::fabs(f) >= 16.0f) {
        FUZZ_CHECK(back == f, Shown(text));
    } else {
        FUZZ_CHECK(std::fabs(double{back} - double{f}) <= 5.0e-7 + HalfStep(f), Shown(text));
    }
    FUZZ_CHECK(nimbrel::FormatFixed(back) == text, Shown(text) + " is not stable");
}

void CheckText(const std::string& text) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    for (const bool hex : {false, true}) {
        const std::int32_t n = nimbrel::ParseInt32(text, hex);
        if (!nimbrel::IsWholeNumberText(text, hex)) continue;
        const long long wide = std::strtoll(text.c_str(), nullptr, hex ? 16 : 10);
        FUZZ_CHECK(n == static_cast<std::int32_t>(static_cast<std::uint32_t>(wide)), Shown(text));
    }
    const float f = nimbrel::ParseFloat(text);
    if (nimbrel::IsDecimalFloatText(text)) {
        FUZZ_CHECK(std::isfinite(f), Shown(text));
        FUZZ_CHECK(f == strtof_l(text.c_str(), nullptr, c), Shown(text));
    }
    (void)nimbrel::ClipItemText(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    CheckWhole(in.ConsumeIntegral<std::int32_t>());
    CheckFloat(std::bit_cast<float>(in.ConsumeIntegral<std::uint32_t>()));
    CheckText(in.ConsumeRemainingBytesAsString());
    return 0;
}
