// Small text helpers shared by the settings reader, the link and the engine.
#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

// `s` without the leading and trailing characters found in `blanks`.
std::string Trim(std::string_view s, std::string_view blanks = " \t");

// `s` with the ASCII letters a to z in upper case; every other byte as it is.
std::string Upper(std::string s);

// `text` with each line break ("\r\n", "\n\r", a lone "\r" or "\n") as one "\n".
std::string SingleNewlines(std::string_view text);

// The whole file at `path`, bytes as they are; false for a file that cannot
// be read (or a folder).
bool ReadWholeFile(const std::string& path, std::string& bytes);

} // namespace nimbrel
