// The settings file Nimbrel.ini: sections of key=value lines, names matched
// without regard to case. It is the one in the working folder when there is
// one, else the user's ($XDG_CONFIG_HOME/Nimbrel, ~/.config/Nimbrel). Nothing
// is cached: every reader reads its key when it needs it and applies its own
// default.
#pragma once

#include <string>
#include <string_view>

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
    // Folder that holds the settings file: exactly `dir` (tests, a private
    // copy); "" (the default) for the working folder's file when there is
    // one, else the user's folder. Directory() gives what was set.
    static void SetDirectory(const std::string& dir);
    static std::string Directory();
    // The user's folder: $XDG_CONFIG_HOME/Nimbrel, else $HOME/.config/Nimbrel
    // (relative paths are ignored); "" without either.
    static std::string UserDirectory();

    // The settings file: an existing file named nimbrel.ini in any letter case
    // in the folder, else Nimbrel.ini there (created by the first write, the
    // user's folder too).
    static std::string FilePath();

    // Leading decimal digits after an optional minus; no digit first gives 0;
    // a missing file, section or key gives `def`.
    static int GetInt(const std::string& section, const std::string& key, int def);
    // Missing key gives `def`; the value is cut to bufferSize - 1 characters.
    static std::string GetString(const std::string& section, const std::string& key,
                                 const std::string& def, int bufferSize);
    // Creates the file, section and key as needed; replaces an existing value in
    // place and keeps every other line's bytes. The file keeps its mode, owner
    // and links (a linked file is written through). False when the file could
    // not be written, with LastWriteError telling why: a read-only file is left
    // alone. A write that changes nothing succeeds without touching the file.
    static bool WriteString(const std::string& section, const std::string& key,
                            const std::string& value);
    // Why the last WriteString on this thread failed ("the file is read-only",
    // "no space left on device", ...); empty after a success.
    static std::string LastWriteError();
    // The message for the user after a failed write: "Cannot write the
    // settings file <path>: <LastWriteError>."
    static std::string WriteErrorText();

    // The settings file's whole text; "" when there is none to read.
    static std::string FileText();

    static int Get(const IntSetting& s) { return GetInt(s.section, s.key, s.defaultValue); }
    static std::string Get(const TextSetting& s) {
        return GetString(s.section, s.key, s.defaultValue, s.bufferSize);
    }

    // The same rules on the file's text. FindValue: false when the section or
    // key is missing. WithValue: the text with the key set, as WriteString
    // writes it.
    static bool FindValue(std::string_view text, const std::string& section, const std::string& key,
                          std::string& value);
    static std::string WithValue(std::string_view text, const std::string& section,
                                 const std::string& key, const std::string& value);

    // The integer rule of the file on one value text.
    static int ParseInt(const std::string& value);
};

} // namespace nimbrel
