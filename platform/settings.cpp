#include "platform/settings.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace nimbrel {
namespace {

namespace fs = std::filesystem;

// The folder a caller named; "" for the working folder's file, else the user's.
std::string gDirectory;

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

bool ReadText(const std::string& path, std::string& text) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

// Lines without their line ends; `crlf` tells whether any ended in CR LF.
std::vector<std::string> SplitLines(std::string_view text, bool& crlf) {
    std::vector<std::string> lines;
    crlf = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string line(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            crlf = true;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// Section name of a "[name]" line.
bool SectionOf(const std::string& line, std::string& name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    const auto close = t.find(']');
    if (close == std::string::npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool KeyOf(const std::string& line, std::string& key, std::string& value) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(line.substr(0, eq));
    if (key.empty() || key[0] == ';') return false;
    value = Trim(line.substr(eq + 1));
    return true;
}

// Finds the value of section/key; false when the file, section or key is missing.
bool Lookup(const std::string& section, const std::string& key, std::string& value) {
    std::string text;
    if (!ReadText(Settings::FilePath(), text)) return false;
    return Settings::FindValue(text, section, key, value);
}

// The settings file in `dir`: an existing one in any letter case, else Nimbrel.ini.
std::string FileIn(const std::string& dir, bool& exists) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (Lower(name) == "nimbrel.ini") {
            exists = true;
            return (fs::path(dir) / name).string();
        }
    }
    exists = false;
    return (fs::path(dir) / "Nimbrel.ini").string();
}

} // namespace

void Settings::SetDirectory(const std::string& dir) {
    gDirectory = dir;
}
std::string Settings::Directory() {
    return gDirectory;
}

std::string Settings::UserDirectory() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && fs::path(config).is_absolute()) {
        return (fs::path(config) / "Nimbrel").string();
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && fs::path(home).is_absolute()) {
        return (fs::path(home) / ".config" / "Nimbrel").string();
    }
    return {};
}

std::string Settings::FilePath() {
    bool exists = false;
    if (!gDirectory.empty()) return FileIn(gDirectory, exists);
    const std::string local = FileIn(".", exists);
    if (exists) return local;
    const std::string user = UserDirectory();
    return user.empty() ? local : FileIn(user, exists);
}

bool Settings::FindValue(std::string_view text, const std::string& section, const std::string& key,
                         std::string& value) {
    bool crlf = false;
    bool inSection = false;
    for (const auto& line : SplitLines(text, crlf)) {
        std::string name;
        if (SectionOf(line, name)) {
            inSection = SameName(name, section);
            continue;
        }
        std::string k, v;
        if (inSection && KeyOf(line, k, v) && SameName(k, key)) {
            value = v;
            return true;
        }
    }
    return false;
}

std::string Settings::WithValue(std::string_view text, const std::string& section,
                                const std::string& key, const std::string& value) {
    bool crlf = false;
    std::vector<std::string> lines = SplitLines(text, crlf);
    const std::string entry = key + "=" + value;
    bool inSection = false;
    bool sectionFound = false;
    std::size_t insertAt = lines.size(); // after the last non-blank line of the section
    bool done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        std::string name;
        if (SectionOf(lines[i], name)) {
            if (inSection) break; // end of our section without the key
            inSection = SameName(name, section);
            if (inSection) {
                sectionFound = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection) continue;
        std::string k, v;
        if (KeyOf(lines[i], k, v) && SameName(k, key)) {
            lines[i] = k + "=" + value; // the key keeps its spelling
            done = true;
        } else if (!Trim(lines[i]).empty()) {
            insertAt = i + 1;
        }
    }
    if (!done) {
        if (sectionFound) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        } else {
            lines.push_back("[" + section + "]");
            lines.push_back(entry);
        }
    }
    const char* eol = crlf ? "\r\n" : "\n";
    std::string out;
    for (const auto& line : lines)
        out += line + eol;
    return out;
}

int Settings::ParseInt(const std::string& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < value.size() && value[i] == '-') {
        negative = true;
        ++i;
    }
    std::int64_t n = 0;
    for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
        n = n * 10 + (value[i] - '0');
        if (n > INT32_MAX) n = INT32_MAX; // saturate instead of overflowing
    }
    return static_cast<int>(negative ? -n : n);
}

int Settings::GetInt(const std::string& section, const std::string& key, int def) {
    std::string value;
    if (!Lookup(section, key, value)) return def;
    return ParseInt(value);
}

std::string Settings::GetString(const std::string& section, const std::string& key,
                                const std::string& def, int bufferSize) {
    std::string value;
    if (!Lookup(section, key, value)) value = def;
    const std::size_t room = bufferSize > 0 ? static_cast<std::size_t>(bufferSize - 1) : 0;
    if (value.size() > room) value.resize(room);
    return value;
}

bool Settings::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    std::string path = FilePath();
    std::error_code ec;
    // The user's folder is made on the first write; a folder named by a
    // caller must exist.
    if (gDirectory.empty()) fs::create_directories(fs::path(path).parent_path(), ec);
    // A settings file that is a link is written through to the file it names.
    if (fs::is_symlink(path, ec)) {
        const fs::path target = fs::canonical(path, ec);
        if (!ec) path = target.string();
    }
    std::string text;
    // An existing file that cannot be read is never replaced: its other
    // settings would be lost.
    if (!ReadText(path, text) && fs::exists(path, ec)) return false;
    const std::string data = WithValue(text, section, key, value);

    // Write a temporary file and rename it over the settings file.
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << data;
        out.flush();
        if (!out) {
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace nimbrel
