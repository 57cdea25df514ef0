#include "platform/displaytext.h"

#include <cstdio>

#include <cstdint>

namespace nimbrel {

std::size_t Utf8Length(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t b = byte(at);
    std::size_t n = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const std::uint8_t c = byte(at + k);
        if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 0;
    }
    return n;
}

namespace {

void AppendCode(std::string& out, unsigned code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", code);
    out += buf;
}

void Escape(std::string& out, char c) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const auto b = static_cast<std::uint8_t>(c);
    out += "\\x";
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
}

} // namespace

std::string DisplayText(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto b = static_cast<std::uint8_t>(c);
        if (b < 0x80) {
            const bool lineBreak = keepLineBreaks && (c == '\r' || c == '\n');
            if ((b < 0x20 || b == 0x7F) && !lineBreak) {
                Escape(out, c);
            } else {
                out += c;
            }
            ++i;
            continue;
        }
        const std::size_t n = Utf8Length(text, i);
        // C2 80 to C2 9F: the C1 controls (0x9b starts a command on some terminals).
        const bool c1 = n == 2 && b == 0xC2 && static_cast<std::uint8_t>(text[i + 1]) < 0xA0;
        if (n == 0 || c1) {
            const std::size_t bad = n == 0 ? 1 : n;
            for (std::size_t k = 0; k < bad; ++k)
                Escape(out, text[i + k]);
            i += bad;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

std::string JsonQuote(std::string_view text, bool escapeC1) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = Utf8Length(text, i);
            if (escapeC1 && n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                // A C1 control: escaped like the C0 ones.
                AppendCode(out, static_cast<unsigned char>(text[i + 1]));
                i += n;
            } else if (n > 0) {
                out.append(text.substr(i, n));
                i += n;
            } else {
                AppendCode(out, c);
                ++i;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                AppendCode(out, c);
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

} // namespace nimbrel
