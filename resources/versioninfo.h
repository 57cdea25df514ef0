// A version-information block: named values looked up by path, as
// "\VarFileInfo\Translation" (language and code page pairs, 16 bits each,
// little-endian) and "\StringFileInfo\<language><code page>\<name>" (a
// zero-terminated text). The program carries one built in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel {

class VersionBlock {
public:
    void AddTranslation(std::uint16_t language, std::uint16_t codePage);
    // Adds a text value under "\StringFileInfo\<table>\<name>".
    void AddString(const std::string& table, const std::string& name, const std::string& value);

    // The bytes stored at `path` (matched without regard to case); false when
    // there is no such value.
    bool Query(const std::string& path, const std::uint8_t*& data, std::uint32_t& size) const;

private:
    struct Entry {
        std::string path;
        std::vector<std::uint8_t> bytes;
    };
    Entry* Find(const std::string& path);
    const Entry* Find(const std::string& path) const;
    std::vector<Entry> entries_;
};

// The block built into the program.
const VersionBlock& ProgramVersionBlock();

} // namespace nimbrel
