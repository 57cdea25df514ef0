#include "platform/settings.h"

#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbrel {
namespace {

namespace fs = std::filesystem;

// The folder a caller named; "" for the working folder's file, else the user's.
std::string gDirectory;
// Why the last write on this thread failed.
thread_local std::string tWriteError;

bool Fail(std::string reason) {
    tWriteError = std::move(reason);
    return false;
}

std::string SystemReason(int error) {
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// What a line's name or value is trimmed of.
constexpr std::string_view kBlanks = " \t\r";

bool SameName(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

// Reads a regular file whole; anything else (a folder, a device, a pipe) is
// not a settings file and is never waited on.
bool ReadText(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    text.clear();
    char buffer[4096];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(fd, data.data() + done, data.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// One line of the file: its text and its own line end ("", "\n" or "\r\n").
struct Line {
    std::string body;
    std::string eol;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        Line line;
        line.body = std::string(text.substr(0, end));
        if (end == std::string_view::npos) {
            text = {};
        } else {
            line.eol = "\n";
            text = text.substr(end + 1);
        }
        // Only a line feed ends a line: an unterminated last line keeps its CR.
        if (!line.eol.empty() && !line.body.empty() && line.body.back() == '\r') {
            line.body.pop_back();
            line.eol = "\r" + line.eol;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// Section name of a "[name]" line.
bool SectionOf(const std::string& line, std::string& name) {
    const std::string t = Trim(line, kBlanks);
    if (t.size() < 2 || t.front() != '[') return false;
    const auto close = t.find(']');
    if (close == std::string::npos) return false;
    name = Trim(t.substr(1, close - 1), kBlanks);
    return true;
}

bool KeyOf(const std::string& line, std::string& key, std::string& value) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(line.substr(0, eq), kBlanks);
    if (key.empty() || key[0] == ';') return false;
    value = Trim(line.substr(eq + 1), kBlanks);
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

// Follows symbolic links to the file the last one names (which may not
// exist yet); false for a loop.
bool ResolveLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        const fs::path p(path);
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return true;
        fs::path target = fs::read_symlink(p, ec);
        if (ec) return false;
        if (target.is_relative()) target = p.parent_path() / target;
        path = target.lexically_normal().string();
    }
    return false;
}

// A new settings file, made exclusively under its own name.
bool CreateFile(const std::string& path, const std::string& data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(SystemReason(errno));
    if (!WriteAll(fd, data) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(path.c_str());
        return Fail(SystemReason(error));
    }
    ::close(fd);
    return true;
}

// The folder may gain files: writable, and not write-protected against root.
bool FolderTakesFiles(const std::string& dir) {
    struct stat st {};
    const std::string d = dir.empty() ? "." : dir;
    return ::stat(d.c_str(), &st) == 0 && (st.st_mode & 0222) != 0 &&
           ::access(d.c_str(), W_OK) == 0;
}

enum class Replaced { Done, Failed, NotHere };

// Writes the new text to a copy under a unique name beside the file, with
// the file's mode and owner, and renames it over the file. NotHere when the
// copy cannot be made or cannot keep the owner: the caller writes in place.
Replaced ReplaceWithCopy(const std::string& path, const struct stat& st, const std::string& data) {
    std::string copy = path + ".XXXXXX";
    const int fd = ::mkostemp(copy.data(), O_CLOEXEC);
    if (fd < 0) return Replaced::NotHere;
    auto drop = [&] {
        ::close(fd);
        ::unlink(copy.c_str());
    };
    struct stat made {};
    const bool sameOwner =
        ::fstat(fd, &made) == 0 && made.st_uid == st.st_uid && made.st_gid == st.st_gid;
    if ((!sameOwner && ::fchown(fd, st.st_uid, st.st_gid) != 0) ||
        ::fchmod(fd, st.st_mode & 07777) != 0) {
        drop();
        return Replaced::NotHere;
    }
    if (!WriteAll(fd, data) || ::fsync(fd) != 0) {
        const int error = errno;
        drop();
        Fail(SystemReason(error));
        return Replaced::Failed;
    }
    ::close(fd);
    if (::rename(copy.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(copy.c_str());
        Fail(SystemReason(error));
        return Replaced::Failed;
    }
    return Replaced::Done;
}

// Writes the new text over the file's own bytes, so its mode, owner and
// links stay; a failed write puts the old bytes back as far as it can.
bool WriteInPlace(const std::string& path, const std::string& data, const std::string& old) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Fail(SystemReason(errno));
    const bool ok = WriteAll(fd, data) && ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 &&
                    ::fsync(fd) == 0;
    const int error = errno;
    if (!ok && WriteAll(fd, old)) {
        if (::ftruncate(fd, static_cast<off_t>(old.size())) != 0) {
            // The old text is back; a longer tail is all that is left over.
        }
    }
    ::close(fd);
    return ok || Fail(SystemReason(error));
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
    bool inSection = false;
    for (const auto& line : SplitLines(text)) {
        std::string name;
        if (SectionOf(line.body, name)) {
            inSection = SameName(name, section);
            continue;
        }
        std::string k, v;
        if (inSection && KeyOf(line.body, k, v) && SameName(k, key)) {
            value = v;
            return true;
        }
    }
    return false;
}

std::string Settings::WithValue(std::string_view text, const std::string& section,
                                const std::string& key, const std::string& value) {
    std::vector<Line> lines = SplitLines(text);
    // New lines end as the file's first line does.
    std::string fileEol = "\n";
    for (const auto& line : lines) {
        if (!line.eol.empty()) {
            fileEol = line.eol;
            break;
        }
    }
    bool inSection = false;
    bool sectionFound = false;
    std::size_t insertAt = lines.size(); // after the last non-blank line of the section
    bool done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        std::string name;
        if (SectionOf(lines[i].body, name)) {
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
        if (KeyOf(lines[i].body, k, v) && SameName(k, key)) {
            lines[i].body = k + "=" + value; // the key keeps its spelling and line end
            done = true;
        } else if (!Trim(lines[i].body, kBlanks).empty()) {
            insertAt = i + 1;
        }
    }
    if (!done) {
        std::vector<Line> added;
        if (!sectionFound) {
            insertAt = lines.size();
            added.push_back({"[" + section + "]", fileEol});
        }
        // A new line takes the line end of the line it follows, which gets
        // one if it was the unterminated last line.
        std::string eol = fileEol;
        if (insertAt > 0) {
            Line& before = lines[insertAt - 1];
            if (before.eol.empty()) before.eol = fileEol;
            if (sectionFound) eol = before.eol;
        }
        added.push_back({key + "=" + value, eol});
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), added.begin(),
                     added.end());
    }
    std::string out;
    for (const auto& line : lines)
        out += line.body + line.eol;
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

std::string Settings::FileText() {
    std::string text;
    if (!ReadText(FilePath(), text)) text.clear();
    return text;
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

std::string Settings::LastWriteError() {
    return tWriteError;
}

std::string Settings::WriteErrorText() {
    return "Cannot write the settings file " + FilePath() + ": " + tWriteError + ".";
}

bool Settings::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    tWriteError.clear();
    std::string path = FilePath();
    std::error_code ec;
    // The user's folder is made on the first write; a folder named by a
    // caller must exist.
    if (gDirectory.empty()) fs::create_directories(fs::path(path).parent_path(), ec);
    // A settings file that is a link is written through to the file it names.
    if (!ResolveLinks(path)) return Fail(SystemReason(ELOOP));

    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return Fail(SystemReason(errno));
        return CreateFile(path, WithValue("", section, key, value));
    }
    if (!S_ISREG(st.st_mode)) return Fail("it is not a regular file");
    std::string text;
    // An existing file that cannot be read is never replaced: its other
    // settings would be lost.
    if (!ReadText(path, text)) return Fail("the file cannot be read");
    const std::string data = WithValue(text, section, key, value);
    if (data == text) return true;
    // A file without write permission is left as it is, by root too.
    if ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) {
        return Fail("the file is read-only");
    }
    if (st.st_nlink == 1 && FolderTakesFiles(fs::path(path).parent_path().string())) {
        switch (ReplaceWithCopy(path, st, data)) {
        case Replaced::Done:
            return true;
        case Replaced::Failed:
            return false;
        case Replaced::NotHere:
            break;
        }
    }
    return WriteInPlace(path, data, text);
}

} // namespace nimbrel
