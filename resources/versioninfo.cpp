#include "resources/versioninfo.h"

#include <algorithm>
#include <cctype>

namespace nimbrel {
namespace {

constexpr const char* kTranslationPath = "\\VarFileInfo\\Translation";

bool SamePath(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

VersionBlock MakeProgramBlock() {
    VersionBlock block;
    block.AddTranslation(0x0409, 0x04E4);
    const std::string table = "040904E4";
    block.AddString(table, "CompanyName", "Nimbrel developers");
    block.AddString(table, "FileDescription", "PTT Comunications Interface");
    block.AddString(table, "FileVersion", "3.0.1");
    block.AddString(table, "InternalName", "nimbrel");
    block.AddString(table, "LegalCopyright",
                    "Copyright (c) the Nimbrel developers.\n"
                    "Provided as is, without warranty of any kind.");
    block.AddString(table, "OriginalFilename", "nimbrel");
    block.AddString(table, "ProductName", "Nimbrel");
    block.AddString(table, "ProductVersion", "3.0 build 1");
    return block;
}

} // namespace

VersionBlock::Entry* VersionBlock::Find(const std::string& path) {
    for (auto& e : entries_) {
        if (SamePath(e.path, path)) return &e;
    }
    return nullptr;
}

const VersionBlock::Entry* VersionBlock::Find(const std::string& path) const {
    return const_cast<VersionBlock*>(this)->Find(path);
}

void VersionBlock::AddTranslation(std::uint16_t language, std::uint16_t codePage) {
    Entry* e = Find(kTranslationPath);
    if (e == nullptr) {
        entries_.push_back({kTranslationPath, {}});
        e = &entries_.back();
    }
    for (std::uint16_t v : {language, codePage}) {
        e->bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
        e->bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
}

void VersionBlock::AddString(const std::string& table, const std::string& name,
                             const std::string& value) {
    const std::string path = "\\StringFileInfo\\" + table + "\\" + name;
    std::vector<std::uint8_t> bytes(value.begin(), value.end());
    bytes.push_back(0);
    if (Entry* e = Find(path)) {
        e->bytes = std::move(bytes);
    } else {
        entries_.push_back({path, std::move(bytes)});
    }
}

bool VersionBlock::Query(const std::string& path, const std::uint8_t*& data,
                         std::uint32_t& size) const {
    const Entry* e = Find(path);
    if (e == nullptr) return false;
    data = e->bytes.data();
    size = static_cast<std::uint32_t>(e->bytes.size());
    return true;
}

const VersionBlock& ProgramVersionBlock() {
    static const VersionBlock block = MakeProgramBlock();
    return block;
}

} // namespace nimbrel
