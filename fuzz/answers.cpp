// What comes back from a transmitter: the byte in a 12-character memory
// answer, the value text an item of every type gets from 0 to 8 bytes (it
// must read back as the bytes' value), and the terminal's display text of a
// received chunk with its trimming.
#include "config/displayline.h"
#include "config/numbertext.h"
#include "fuzz/check.h"
#include "link/protocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using nimbrel::fuzz::Shown;

namespace {

// Half the distance from f to the next float away from zero.
double HalfStep(float f) {
    const float a = std::fabs(f);
    return (double{std::nextafter(a, INFINITY)} - double{a}) / 2;
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The first `width` bytes, most significant first, missing ones as 0.
std::uint32_t Word(const std::vector<std::uint8_t>& bytes, std::size_t width) {
    std::uint32_t w = 0;
    for (std::size_t i = 0; i < width; ++i)
        w = (w << 8) | (i < bytes.size() ? bytes[i] : 0u);
    return w;
}

void CheckAnswer(const std::string& answer) {
    const std::uint8_t byte = nimbrel::AsciiToHex(answer.data() + nimbrel::kAnswerDataPos);
    const char* digits = answer.data() + nimbrel::kAnswerDataPos;
    if (IsHex(digits[0]) && IsHex(digits[1])) {
        const std::string pair(digits, 2);
        FUZZ_CHECK(byte == std::strtoul(pair.c_str(), nullptr, 16), Shown(answer));
    }
}

void CheckValueText(std::int32_t type, bool hex, const std::vector<std::uint8_t>& bytes) {
    bool idValid = true;
    const auto text = nimbrel::PttValueText(type, hex, bytes, idValid);
    // Said only when a check fails.
    const auto what = [&] {
        return "type " + std::to_string(type) + (hex ? " hex " : " ") +
               Shown(std::string(bytes.begin(), bytes.end())) + " -> " +
               (text ? Shown(*text) : "none");
    };
    if (type != nimbrel::kTypePttId) FUZZ_CHECK(idValid, what());
    switch (type) {
    case nimbrel::kTypeChar:
    case nimbrel::kTypeInt:
    case nimbrel::kTypeLong: {
        const std::size_t width = type == nimbrel::kTypeChar  ? 1
                                  : type == nimbrel::kTypeInt ? 2
                                                              : 4;
        FUZZ_CHECK(text && nimbrel::IsWholeNumberText(*text, hex), what());
        FUZZ_CHECK(nimbrel::ParseInt32(*text, hex) == static_cast<std::int32_t>(Word(bytes, width)),
                   what());
        break;
    }
    case nimbrel::kTypePttId: {
        FUZZ_CHECK(text && nimbrel::IsWholeNumberText(*text, hex), what());
        const std::int32_t id = nimbrel::ParseInt32(*text, hex);
        FUZZ_CHECK(idValid == (nimbrel::DisplayLine::GetPttId(id) == Word(bytes, 4)), what());
        break;
    }
    case nimbrel::kTypeFloat: {
        const float f = std::bit_cast<float>(Word(bytes, 4));
        FUZZ_CHECK(text.has_value(), what());
        if (!std::isfinite(f)) break;
        // Six decimals: exact from 16 on (half a step between floats is more than
        // half a millionth there); below, within half a millionth and half a step.
        const float back = nimbrel::ParseFloat(*text);
        FUZZ_CHECK(nimbrel::IsDecimalFloatText(*text), what());
        if (std::fabs(f) >= 16.0f) {
            FUZZ_CHECK(back == f, what());
        } else {
            FUZZ_CHECK(std::fabs(double{back} - double{f}) <= 5.0e-7 + HalfStep(f), what());
        }
        FUZZ_CHECK(nimbrel::FormatFixed(back) == *text, what() + " is not stable");
        break;
    }
    case nimbrel::kTypeString: {
        // The hexadecimal digits of the bytes, two a byte: what a send encodes back.
        std::string digits;
        for (const std::uint8_t b : bytes) {
            digits += "0123456789abcdef"[b >> 4];
            digits += "0123456789abcdef"[b & 0x0F];
        }
        FUZZ_CHECK(text && *text == digits, what());
        break;
    }
    case nimbrel::kTypeBaud:
        FUZZ_CHECK(text.has_value(), what());
        break;
    default:
        FUZZ_CHECK(!text, what());
        break;
    }
}

void CheckDisplay(const std::string& chunk, std::int32_t displayLength) {
    const auto count = static_cast<std::int32_t>(chunk.size());
    const std::string shown = nimbrel::ChunkDisplayText(chunk.data(), count);
    std::string pieces;
    for (const char c : chunk)
        pieces += nimbrel::ChunkDisplayText(&c, 1);
    FUZZ_CHECK(shown == pieces, Shown(chunk));
    FUZZ_CHECK(shown.size() >= chunk.size(), Shown(chunk));
    for (const char c : shown) {
        const auto b = static_cast<unsigned char>(c);
        FUZZ_CHECK(b == '\t' || b == '\n' || b == '\r' || (b >= 0x20 && b <= 0x7E), Shown(shown));
    }

    // The display's text: what was shown so far, with a count that may run ahead.
    std::int32_t length = displayLength;
    const std::string kept = nimbrel::TrimDisplayText(shown, length);
    const auto readable =
        static_cast<std::int32_t>(std::min<std::size_t>(shown.size(), nimbrel::kDisplayReadMax));
    const std::int32_t end = std::clamp(displayLength, 0, readable);
    FUZZ_CHECK(length == static_cast<std::int32_t>(kept.size()), Shown(kept));
    FUZZ_CHECK(length == std::min(end, nimbrel::kDisplayKeep), std::to_string(length));
    FUZZ_CHECK(shown.compare(static_cast<std::size_t>(end - length),
                             static_cast<std::size_t>(length), kept) == 0,
               Shown(kept));
    // Lengths a display and a receive buffer can have.
    const std::int32_t before = std::clamp(displayLength, 0, 1 << 20);
    FUZZ_CHECK(nimbrel::DisplayNeedsTrim(before, count) ==
                   (before + count >= nimbrel::kDisplayTrimAt),
               std::to_string(before));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::string answer = in.ConsumeBytesAsString(nimbrel::kAnswerLength);
    answer.resize(nimbrel::kAnswerLength, '0');
    CheckAnswer(answer);

    const auto bytes = in.ConsumeBytes<std::uint8_t>(8);
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        const std::vector<std::uint8_t> first(bytes.begin(), bytes.begin() + static_cast<long>(n));
        for (std::int32_t type = 0; type <= 11; ++type) {
            CheckValueText(type, false, first);
            CheckValueText(type, true, first);
        }
    }

    const auto displayLength = in.ConsumeIntegral<std::int32_t>();
    CheckDisplay(in.ConsumeRemainingBytesAsString(), displayLength);
    return 0;
}
