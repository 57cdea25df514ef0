#include "config/configfile.h"

#include "config/numbertext.h"
#include "platform/displaytext.h"
#include "platform/ui.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace nimbrel {
namespace {

constexpr std::size_t kMaxField = 255;
constexpr int kItemFields = 13;

enum class FieldEnd { Comma, LineEnd, EndOfFile, Full, List };

// Consumes a line end whose first character `c` was just read: CR LF counts once.
void FinishLineEnd(std::istream& in, int c) {
    if (c == '\r' && in.peek() == '\n') in.get();
}

// One field of an item line. A field that begins with "{" is a list: commas
// are part of it and it ends with "}", after which the separating comma is
// dropped. A line end ends any field and is not stored.
FieldEnd ReadField(std::istream& in, std::string& field) {
    field.clear();
    for (;;) {
        const int c = in.get();
        if (c == std::char_traits<char>::eof()) return FieldEnd::EndOfFile;
        if (c == '\r' || c == '\n') {
            FinishLineEnd(in, c);
            return FieldEnd::LineEnd;
        }
        const bool list = !field.empty() && field[0] == '{';
        if (c == ',' && !list) return FieldEnd::Comma;
        field += static_cast<char>(c);
        if (list && c == '}') {
            const int next = in.peek();
            if (next == std::char_traits<char>::eof()) return FieldEnd::EndOfFile;
            in.get();
            if (next == '\r' || next == '\n') {
                FinishLineEnd(in, next);
                return FieldEnd::LineEnd;
            }
            return FieldEnd::List;
        }
        if (field.size() >= kMaxField) return FieldEnd::Full;
    }
}

// Reads up to the end of the line (or of the file), keeping at most `limit`
// characters of it.
void ReadLine(std::istream& in, std::string* line, std::size_t limit) {
    for (;;) {
        const int c = in.get();
        if (c == std::char_traits<char>::eof()) return;
        if (c == '\r' || c == '\n') {
            FinishLineEnd(in, c);
            return;
        }
        if (line && line->size() < limit) *line += static_cast<char>(c);
    }
}

// Skips empty lines; true when nothing is left to read.
bool AtEnd(std::istream& in) {
    for (;;) {
        const int c = in.peek();
        if (c == std::char_traits<char>::eof()) return true;
        if (c != '\r' && c != '\n') return false;
        in.get();
        FinishLineEnd(in, c);
    }
}

std::int32_t Number(const std::string& field) {
    return DisplayLine::StringToLong(field, false);
}

// Texts cannot hold the separators of the format: commas become semicolons,
// line ends blanks, and a leading brace (which would start a list) a parenthesis.
std::string FieldText(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c == ',') c = ';';
        if (c == '\r' || c == '\n') c = ' ';
    }
    if (!out.empty() && out[0] == '{') out[0] = '(';
    return out;
}

// A list text runs from "{" to the first "}"; one without its closing brace gets it.
std::string ListText(const std::string& text) {
    if (text.empty() || text[0] != '{') return FieldText(text);
    std::string out = text.substr(0, text.find('}'));
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out + '}';
}

// While it is in force, message boxes become problem texts (answered Ok, or
// No when asked); every other request goes to the Ui it replaced.
class CollectingUi : public DelegatingUi {
public:
    explicit CollectingUi(std::vector<std::string>& problems)
        : DelegatingUi(CurrentUi()), problems_(problems), scope_(*this) {}

    Answer MessageBox(const std::string& text, const std::string&, Buttons buttons, Icon) override {
        problems_.push_back(text);
        return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::No
                                                                            : Answer::Ok;
    }

private:
    std::vector<std::string>& problems_;
    ScopedUi scope_; // last: installed once the rest is ready
};

bool OpenFile(const std::string& path, std::ifstream& in) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    in.open(path, std::ios::binary);
    return static_cast<bool>(in);
}

// A read-only stream over text that is not copied.
class TextBuf : public std::streambuf {
public:
    explicit TextBuf(std::string_view text) {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }
};

// Passes another stream's characters on one at a time and counts the line
// breaks among those handed out (CR LF once, as the loader reads them).
class LineCountingBuf : public std::streambuf {
public:
    explicit LineCountingBuf(std::streambuf* source) : source_(source) {}

    // The line of the character handed out last (1 before any).
    std::int32_t Line() const { return breaks_ + (lastBreak_ ? 0 : 1); }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        const int_type c = source_->sbumpc();
        if (traits_type::eq_int_type(c, traits_type::eof())) return c;
        ch_ = traits_type::to_char_type(c);
        lastBreak_ = ch_ == '\r' || ch_ == '\n';
        if (ch_ == '\r' || (ch_ == '\n' && !afterCr_)) ++breaks_;
        afterCr_ = ch_ == '\r';
        setg(&ch_, &ch_, &ch_ + 1);
        return c;
    }

private:
    std::streambuf* source_;
    char ch_ = 0;
    std::int32_t breaks_ = 0;
    bool afterCr_ = false;
    bool lastBreak_ = false;
};

std::string ErrnoText(int err) {
    return std::error_code(err, std::generic_category()).message();
}

} // namespace

bool DisplayLine::GetDataFromFile(std::istream& in, std::string& field) {
    ReadField(in, field);
    return !in.fail();
}

std::ostream& operator<<(std::ostream& out, const DisplayLine& item) {
    const std::int32_t type = item.GetType();
    const bool textValue = IsTextType(type) || type == kTypeFloat;
    out << type << ',' << (item.GetHex() ? '1' : '0') << ','
        << (textValue ? FieldText(item.GetValueText()) : std::to_string(item.GetValue())) << ','
        << FieldText(item.GetSensor()) << ',' << FieldText(item.GetName()) << ','
        << item.GetNumber() << ',' << item.GetIndex() << ',' << (item.GetList() ? '1' : '0') << ',';
    if (item.GetList()) {
        out << ListText(item.GetMaxText()) << ",0,";
    } else {
        out << item.GetMax() << ',' << item.GetMin() << ',';
    }
    out << item.GetSize() << ',' << (item.GetUser() ? '1' : '0') << ',' << item.GetAddress()
        << "\r\n";
    return out;
}

// Reads one item line and applies its fields in the order of the format. A
// line with fewer than 13 fields applies what it has and fails the stream; a
// longer one is read to its end, so the next item starts on the next line.
std::istream& operator>>(std::istream& in, DisplayLine& item) {
    if (AtEnd(in)) {
        in.setstate(std::ios::failbit);
        return in;
    }
    std::array<std::string, kItemFields> f;
    int n = 0;
    FieldEnd end = FieldEnd::Comma;
    while (n < kItemFields) {
        end = ReadField(in, f[static_cast<std::size_t>(n++)]);
        if (end == FieldEnd::LineEnd || end == FieldEnd::EndOfFile) break;
    }
    const bool complete = n == kItemFields;
    if (complete && end != FieldEnd::LineEnd && end != FieldEnd::EndOfFile)
        ReadLine(in, nullptr, 0);

    item.SetType(Number(f[0]));
    item.SetHex(false);
    const bool hex = n > 1 && !f[1].empty() && f[1][0] == '1';
    if (n > 2) {
        const std::int32_t type = item.GetType();
        if (IsTextType(type) || type == kTypeFloat) {
            item.SetValue(f[2]);
        } else {
            item.SetValue(Number(f[2]));
        }
    }
    if (n > 3) item.SetSensor(f[3]);
    if (n > 4) item.SetName(f[4]);
    if (n > 5) item.SetNumber(Number(f[5]));
    if (n > 6) item.SetIndex(Number(f[6]));
    if (n > 7) {
        if (!f[7].empty() && f[7][0] == '1') {
            if (n > 8) item.SetMax(f[8]);
            item.SetMin(0);
            item.SetList(true);
        } else {
            if (n > 8) item.SetMax(Number(f[8]));
            if (n > 9) item.SetMin(Number(f[9]));
            item.SetList(false);
        }
    }
    if (n > 10) item.SetSize(Number(f[10]));
    if (n > 11) item.SetUser(!f[11].empty() && f[11][0] == '1');
    if (n > 12) item.SetAddress(Number(f[12]));
    if (n > 1) item.SetHex(hex);
    if (n > 9 && hex && IsTextType(item.GetType()) && !item.GetList()) {
        // SetHex does not re-show the limits of a text item; they were read decimal.
        item.SetMax(Number(f[8]));
        item.SetMin(Number(f[9]));
    }

    if (!complete) {
        in.setstate(std::ios::failbit);
    } else if (in.eof()) {
        in.clear(std::ios::eofbit); // a complete last line without its line end
    }
    return in;
}

ConfigHeader ReadConfigHeaderFrom(std::istream& in) {
    ConfigHeader header;
    header.opened = true;

    std::string line;
    ReadLine(in, &line, 1024);
    const std::string_view text(line);
    std::size_t pos = text.find_first_not_of(" \t");
    if (pos == std::string_view::npos) pos = text.size();
    const std::size_t start = pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    const std::size_t digits = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        ++pos;
    header.declared = ParseInt32(text.substr(start, pos - start), false);
    header.countValid = pos > digits && header.declared >= 0;
    header.sensorCount = ParseInt32(text.substr(pos), false);

    // Item lines present: non-empty lines after the header.
    std::int32_t present = 0;
    bool content = false;
    std::streambuf* buf = in.rdbuf();
    for (int c = buf->sbumpc(); c != std::char_traits<char>::eof() && present <= kMaxConfigItems;
         c = buf->sbumpc()) {
        if (c == '\r' || c == '\n') {
            if (content) ++present;
            content = false;
        } else {
            content = true;
        }
    }
    if (content) ++present;
    header.present = present;
    header.itemCount = header.countValid ? std::min(header.declared, present) : present;
    header.itemCount = std::min(header.itemCount, kMaxConfigItems);
    return header;
}

ConfigHeader ReadConfigHeader(const std::string& path) {
    std::ifstream in;
    if (!OpenFile(path, in)) return {};
    return ReadConfigHeaderFrom(in);
}

bool HoldsNoConfiguration(const ConfigHeader& header) {
    return header.opened && header.present == 0 && !(header.countValid && header.declared == 0);
}

ItemList MakeBlankItems(std::int32_t count) {
    ItemList items;
    count = std::clamp(count, 0, kMaxConfigItems);
    items.reserve(static_cast<std::size_t>(count));
    for (std::int32_t j = 0; j < count; ++j) {
        items.push_back(std::make_unique<DisplayLine>(j, "0", "0", "0", "0", kTypeLong, 1));
    }
    return items;
}

ItemList CopyItems(const ItemList& items) {
    ItemList copy = MakeBlankItems(static_cast<std::int32_t>(items.size()));
    for (std::size_t i = 0; i < copy.size(); ++i) {
        std::stringstream line;
        line << *items[i];
        line >> *copy[i];
    }
    return copy;
}

void ReadConfigItemsFrom(std::istream& source, const std::string& name, ItemList& items,
                         const ConfigHeader& header, std::vector<std::string>& problems) {
    CollectingUi collect(problems);
    LineCountingBuf counter(source.rdbuf());
    std::istream in(&counter);
    ReadLine(in, nullptr, 0); // the header
    const std::string shownName = DisplayText(name);

    std::int32_t read = 0;
    for (auto& item : items) {
        if (AtEnd(in)) break;
        // AtEnd looked at the item's first character: the line it is on.
        const std::int32_t line = counter.Line();
        const std::size_t before = problems.size();
        in >> *item;
        ++read;
        if (in.fail()) problems.emplace_back("Error");
        for (std::size_t k = before; k < problems.size(); ++k)
            problems[k] = "Line " + std::to_string(line) + ": " + DisplayText(problems[k]);
        if (in.fail()) {
            if (in.eof()) break;
            in.clear();
        }
    }

    const bool moreLines = !in.eof() && !AtEnd(in);
    if (!header.countValid) {
        problems.push_back("The file " + shownName + " does not state how many items it holds; " +
                           std::to_string(read) + (read == 1 ? " item was" : " items were") +
                           " read.");
    } else if (header.declared > read) {
        problems.push_back("The file " + shownName + " declares " +
                           std::to_string(header.declared) + " items but " +
                           (moreLines ? "only the first " : "holds only ") + std::to_string(read) +
                           (moreLines ? " were read." : "."));
    }
}

bool ReadConfigItems(const std::string& path, ItemList& items, const ConfigHeader& header,
                     std::vector<std::string>& problems) {
    std::ifstream in;
    if (!OpenFile(path, in)) return false;
    ReadConfigItemsFrom(in, path, items, header, problems);
    return true;
}

bool ReadConfigItems(const std::string& path, ItemList& items, const ConfigHeader& header) {
    std::vector<std::string> problems;
    if (!ReadConfigItems(path, items, header, problems)) return false;
    ShowConfigProblems(path, problems);
    return true;
}

ConfigHeader LoadConfigText(std::string_view text, const std::string& name, ItemList& items,
                            std::vector<std::string>& problems) {
    TextBuf headerBuf(text);
    std::istream headerIn(&headerBuf);
    const ConfigHeader header = ReadConfigHeaderFrom(headerIn);
    items = MakeBlankItems(header.itemCount);
    TextBuf itemBuf(text);
    std::istream itemIn(&itemBuf);
    ReadConfigItemsFrom(itemIn, name, items, header, problems);
    return header;
}

std::string ConfigProblemsText(const std::string& name, const std::vector<std::string>& problems) {
    std::string text = "The file " + DisplayText(name) + " has problems:";
    const std::size_t shown = std::min(problems.size(), kMaxProblemLines);
    for (std::size_t i = 0; i < shown; ++i)
        text += "\r\n" + DisplayText(problems[i]);
    if (problems.size() > shown)
        text += "\r\nand " + std::to_string(problems.size() - shown) + " more";
    return text;
}

void ShowConfigProblems(const std::string& name, const std::vector<std::string>& problems) {
    if (problems.empty()) return;
    CurrentUi().MessageBox(ConfigProblemsText(name, problems), "Error", Buttons::Ok,
                           Icon::Exclamation);
}

std::string NoConfigurationText(const std::string& name) {
    return "The file " + DisplayText(name) + " holds no configuration.";
}

std::string ConfigFileText(std::int32_t sensorCount, const ItemList& items) {
    std::ostringstream out;
    out << items.size() << ' ' << sensorCount << "\r\n";
    for (const auto& item : items)
        out << *item;
    return out.str();
}

bool WriteConfigFile(const std::string& path, std::int32_t sensorCount, const ItemList& items,
                     std::string& error) {
    error.clear();
    const std::string data = ConfigFileText(sensorCount, items);

    // A temporary file beside the target (the file a link points to), renamed
    // over it once fully written.
    std::error_code ec;
    std::string target = path;
    if (std::filesystem::is_symlink(path, ec)) {
        const auto resolved = std::filesystem::canonical(path, ec);
        if (!ec) target = resolved.string();
    }
    static std::atomic<unsigned> serial{0};
    const std::string temp = target + ".~" + std::to_string(::getpid()) + "-" +
                             std::to_string(serial.fetch_add(1)) + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "The file " + path + " could not be saved: " + ErrnoText(errno) + ".";
        return false;
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);

    int err = 0;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        error = "The file " + path + " could not be saved: " + ErrnoText(err) + ".";
        return false;
    }
    return true;
}

} // namespace nimbrel
