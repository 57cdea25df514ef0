#include "fleet/unitrecord.h"

#include "config/configfile.h"
#include "platform/displaytext.h"
#include "platform/sha256.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace nimbrel {
namespace {

void Quote(std::string& out, std::string_view text) {
    out += JsonQuote(text, /*escapeC1=*/false);
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A scalar JSON value of a flat object.
struct Value {
    enum Kind { kString, kNumber, kBool, kNull } kind = kNull;
    std::string text;
    std::int64_t number = 0;
    bool flag = false;
};

// Reads one flat JSON object whose values are strings, whole numbers,
// booleans or null.
class FlatReader {
public:
    explicit FlatReader(std::string_view s) : s_(s) {}

    template <typename OnField> bool Object(OnField onField) {
        if (!Eat('{')) return false;
        if (!Eat('}')) {
            do {
                std::string key;
                Value value;
                if (!String(key) || !Eat(':') || !ReadValue(value)) return false;
                onField(key, value);
            } while (Eat(','));
            if (!Eat('}')) return false;
        }
        Blanks();
        return at_ == s_.size();
    }

private:
    void Blanks() {
        while (at_ < s_.size() &&
               (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\r' || s_[at_] == '\n'))
            ++at_;
    }
    bool Eat(char c) {
        Blanks();
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view w) {
        if (s_.substr(at_, w.size()) != w) return false;
        at_ += w.size();
        return true;
    }
    bool Hex4(std::uint32_t& v) {
        if (at_ + 4 > s_.size()) return false;
        v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[at_++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= c - '0';
            else if (c >= 'a' && c <= 'f')
                v |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v |= c - 'A' + 10;
            else
                return false;
        }
        return true;
    }
    bool String(std::string& out) {
        if (!Eat('"')) return false;
        while (at_ < s_.size()) {
            const char c = s_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= s_.size()) return false;
            const char e = s_[at_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::uint32_t cp = 0;
                if (!Hex4(cp)) return false;
                if (cp >= 0x80 && cp <= 0xFF) {
                    out += static_cast<char>(cp); // a byte that was not UTF-8
                } else if (cp >= 0xD800 && cp <= 0xDBFF) {
                    std::uint32_t low = 0;
                    if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                    AppendUtf8(out, 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    return false;
                } else {
                    AppendUtf8(out, cp);
                }
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }
    bool ReadValue(Value& v) {
        Blanks();
        if (at_ >= s_.size()) return false;
        if (s_[at_] == '"') {
            v.kind = Value::kString;
            return String(v.text);
        }
        if (Word("true")) {
            v.kind = Value::kBool;
            v.flag = true;
            return true;
        }
        if (Word("false")) {
            v.kind = Value::kBool;
            v.flag = false;
            return true;
        }
        if (Word("null")) {
            v.kind = Value::kNull;
            return true;
        }
        const bool negative = s_[at_] == '-';
        if (negative) ++at_;
        const std::size_t digits = at_;
        std::int64_t n = 0;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') {
            if (n > (INT64_MAX - 9) / 10) return false;
            n = n * 10 + (s_[at_++] - '0');
        }
        if (at_ == digits) return false;
        v.kind = Value::kNumber;
        v.number = negative ? -n : n;
        return true;
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

std::string HexWord(std::uint32_t w) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08X", w);
    return buf;
}

void Field(std::string& out, const char* key, std::string_view text) {
    if (out.size() > 1) out += ',';
    Quote(out, key);
    out += ':';
    Quote(out, text);
}

void RawField(std::string& out, const char* key, const std::string& json) {
    if (out.size() > 1) out += ',';
    Quote(out, key);
    out += ':';
    out += json;
}

std::string Reason(int err) {
    return std::strerror(err);
}

} // namespace

std::string ConfigSha256(std::int32_t sensorCount, const ItemList& items) {
    return Sha256Hex(ConfigFileText(sensorCount, items));
}

std::string UtcTime(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buf;
}

std::string ByIdName(const std::string& device, const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().string());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::error_code same;
        if (fs::equivalent(name, device, same) && !same) return name;
    }
    return {};
}

UnitRecord SendRecord(const ItemList& items, std::int32_t sensorCount,
                      const std::string& configFile, const std::string& port) {
    UnitRecord r;
    r.time = UtcTime(std::chrono::system_clock::now());
    r.port = port;
    r.portById = ByIdName(port);
    for (const auto& item : items) {
        if (item->GetType() != kTypePttId) continue;
        r.pttId = item->GetValue();
        r.pttWord = DisplayLine::GetPttId(r.pttId);
        break;
    }
    r.configFile = configFile;
    r.configSha256 = ConfigSha256(sensorCount, items);
    return r;
}

std::string RecordLine(const UnitRecord& r) {
    std::string out = "{";
    Field(out, "time", r.time);
    Field(out, "port", r.port);
    Field(out, "port_by_id", r.portById);
    RawField(out, "ptt_id", r.pttId < 0 ? "null" : std::to_string(r.pttId));
    if (r.pttId < 0) {
        RawField(out, "ptt_word", "null");
    } else {
        Field(out, "ptt_word", HexWord(r.pttWord));
    }
    Field(out, "version", r.version);
    Field(out, "config", r.configFile);
    Field(out, "config_sha256", r.configSha256);
    RawField(out, "bytes_written", std::to_string(r.bytesWritten));
    RawField(out, "verified", r.verified ? "true" : "false");
    Field(out, "outcome", r.outcome);
    Field(out, "message", r.message);
    RawField(out, "duration_ms", std::to_string(r.durationMs));
    Field(out, "backup", r.backup);
    out += "}\n";
    return out;
}

std::optional<UnitRecord> ParseRecordLine(std::string_view line) {
    UnitRecord r;
    bool wellTyped = true;
    bool hasOutcome = false;
    const auto onField = [&](const std::string& key, const Value& v) {
        const auto text = [&](std::string& to) {
            if (v.kind == Value::kString)
                to = v.text;
            else if (v.kind != Value::kNull)
                wellTyped = false;
        };
        const auto number = [&](std::int64_t& to) {
            if (v.kind == Value::kNumber)
                to = v.number;
            else if (v.kind != Value::kNull)
                wellTyped = false;
        };
        if (key == "time")
            text(r.time);
        else if (key == "port")
            text(r.port);
        else if (key == "port_by_id")
            text(r.portById);
        else if (key == "version")
            text(r.version);
        else if (key == "config")
            text(r.configFile);
        else if (key == "config_sha256")
            text(r.configSha256);
        else if (key == "message")
            text(r.message);
        else if (key == "backup")
            text(r.backup);
        else if (key == "bytes_written")
            number(r.bytesWritten);
        else if (key == "duration_ms")
            number(r.durationMs);
        else if (key == "outcome") {
            text(r.outcome);
            hasOutcome = v.kind == Value::kString;
        } else if (key == "verified") {
            if (v.kind == Value::kBool)
                r.verified = v.flag;
            else
                wellTyped = false;
        } else if (key == "ptt_id") {
            std::int64_t id = -1;
            number(id);
            if (id < -1 || id > INT32_MAX)
                wellTyped = false;
            else
                r.pttId = static_cast<std::int32_t>(id);
        } else if (key == "ptt_word") {
            std::string hex;
            text(hex);
            if (!hex.empty()) {
                const char* end = hex.data() + hex.size();
                const auto [stop, ec] = std::from_chars(hex.data(), end, r.pttWord, 16);
                if (ec != std::errc() || stop != end) wellTyped = false;
            }
        }
    };
    if (!FlatReader(line).Object(onField) || !wellTyped || !hasOutcome) return std::nullopt;
    return r;
}

bool AppendRecord(const std::string& path, const UnitRecord& record, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "Cannot open the log " + path + ": " + Reason(errno) + ".";
        return false;
    }
    std::string line = RecordLine(record);
    // A line cut short by an earlier crash must not swallow this record.
    if (const off_t size = ::lseek(fd, 0, SEEK_END); size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, size - 1) == 1 && last != '\n') line.insert(0, 1, '\n');
    }
    ssize_t n = 0;
    do {
        n = ::write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    bool ok = true;
    if (n < 0) {
        error = "Cannot write to the log " + path + ": " + Reason(errno) + ".";
        ok = false;
    } else if (static_cast<std::size_t>(n) != line.size()) {
        error = "Only " + std::to_string(n) + " of " + std::to_string(line.size()) +
                " bytes of a record went into the log " + path + " (is the disk full?).";
        ok = false;
    } else if (::fsync(fd) != 0) {
        error = "Cannot flush the log " + path + " to disk: " + Reason(errno) + ".";
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = "Cannot close the log " + path + ": " + Reason(errno) + ".";
        ok = false;
    }
    return ok;
}

std::vector<UnitRecord> ReadLog(std::string_view text, std::size_t* damaged) {
    std::vector<UnitRecord> records;
    std::size_t bad = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        const bool last = end == std::string_view::npos;
        if (last) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
        if (auto record = ParseRecordLine(line)) {
            records.push_back(std::move(*record));
        } else if (!last) {
            ++bad;
        }
    }
    if (damaged != nullptr) *damaged = bad;
    return records;
}

std::set<std::int32_t> DoneIds(std::string_view logText, const std::string& configSha256) {
    std::set<std::int32_t> done;
    for (const UnitRecord& r : ReadLog(logText)) {
        if (r.outcome == kOutcomeDone && r.verified && r.configSha256 == configSha256 &&
            r.pttId >= 0)
            done.insert(r.pttId);
    }
    return done;
}

} // namespace nimbrel
