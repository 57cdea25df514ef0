// What a fuzz target asserts: a failed check prints what was expected and
// aborts, so libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) nimbrel::fuzz::Fail(#condition, what, __FILE__, __LINE__);               \
    } while (false)

namespace nimbrel::fuzz {

[[noreturn]] inline void Fail(const char* condition, std::string_view what, const char* file,
                              int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n  %.*s\n", file, line, condition,
                 static_cast<int>(what.size()), what.data());
    std::abort();
}

// A text shown with its bytes escaped, for failure messages.
inline std::string Shown(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && c != '\\' && c != '"') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            out += hex;
        }
    }
    return out + "\"";
}

} // namespace nimbrel::fuzz
