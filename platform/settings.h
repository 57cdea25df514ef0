// The settings file Nimbrel.ini in the working directory: sections of
// key=value lines, names matched without regard to case. Nothing is cached:
// every reader reads its key when it needs it and applies its own default.
#pragma once

#include <string>

namespace nimbrel {

struct IntSetting {
    const char* section;
    const char* key;
    int defaultValue;
};

struct TextSetting {
    const char* section;
    const char* key;
    const char* defaultValue;
    int bufferSize; // a value is cut to bufferSize - 1 characters
};

class Settings {
public:
    // Folder that holds the settings file; "." unless a test points elsewhere.
    static void SetDirectory(const std::string& dir);
    static std::string Directory();

    // The settings file: an existing file named nimbrel.ini in any letter case,
    // else Nimbrel.ini (created by the first write).
    static std::string FilePath();

    // Leading decimal digits after an optional minus; no digit first gives 0;
    // a missing file, section or key gives `def`.
    static int GetInt(const std::string& section, const std::string& key, int def);
    // Missing key gives `def`; the value is cut to bufferSize - 1 characters.
    static std::string GetString(const std::string& section, const std::string& key,
                                 const std::string& def, int bufferSize);
    // Creates the file, section and key as needed; replaces an existing value in
    // place and keeps every other line. False when the file could not be written.
    static bool WriteString(const std::string& section, const std::string& key,
                            const std::string& value);

    static int Get(const IntSetting& s) { return GetInt(s.section, s.key, s.defaultValue); }
    static std::string Get(const TextSetting& s) {
        return GetString(s.section, s.key, s.defaultValue, s.bufferSize);
    }

    // The integer rule of the file on one value text.
    static int ParseInt(const std::string& value);
};

} // namespace nimbrel
