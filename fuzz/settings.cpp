// The settings reader and writer on text: any text is read without harm; a
// value written under a section and key reads back exactly, leaves another
// key's value as it was, and writing it again changes nothing.
#include "platform/settings.h"
#include "fuzz/check.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

using nimbrel::Settings;
using nimbrel::fuzz::Shown;

namespace {

// The input's next line ("" at the end).
std::string Line(std::string_view& in) {
    const auto end = in.find('\n');
    const std::string line(in.substr(0, end));
    in = end == std::string_view::npos ? std::string_view{} : in.substr(end + 1);
    return line;
}

// A name as the program's keys are: letters, digits, blanks inside, '_'.
std::string Name(std::string_view& in) {
    std::string name;
    for (const char c : Line(in).substr(0, 24)) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c == ' ' && !name.empty()))
            name += c;
    }
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name.empty() ? "k" : name;
}

// A value: one line without blanks at its ends.
std::string Value(std::string_view& in) {
    std::string value;
    for (const char c : Line(in)) {
        if (c != '\r') value += c;
    }
    const auto first = value.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return value.substr(first, value.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Lines: section, key, value, another section and key; the rest is the text.
    std::string_view in(reinterpret_cast<const char*>(data), size);
    const std::string section = Name(in);
    const std::string key = Name(in);
    const std::string value = Value(in);
    const std::string otherSection = Name(in);
    const std::string otherKey = Name(in);
    const std::string text(in);

    std::string found;
    if (Settings::FindValue(text, section, key, found)) (void)Settings::ParseInt(found);
    std::string otherBefore;
    const bool hadOther = Settings::FindValue(text, otherSection, otherKey, otherBefore);

    const std::string written = Settings::WithValue(text, section, key, value);
    const auto what = [&] {
        return "[" + section + "] " + key + "=" + value + " into " + Shown(text) + "\n  gives " +
               Shown(written);
    };
    FUZZ_CHECK(Settings::FindValue(written, section, key, found), what());
    FUZZ_CHECK(found == value, what() + "\n  reads " + Shown(found));
    FUZZ_CHECK(Settings::WithValue(written, section, key, value) == written, what());

    auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    if (lower(otherSection) != lower(section) || lower(otherKey) != lower(key)) {
        std::string otherAfter;
        const bool hasOther = Settings::FindValue(written, otherSection, otherKey, otherAfter);
        FUZZ_CHECK(hasOther == hadOther && otherAfter == otherBefore,
                   what() + "\n  changes [" + otherSection + "] " + otherKey);
    }
    return 0;
}
