#include "config/checks.h"

#include "config/numbertext.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace nimbrel {
namespace {

constexpr const char* kReadyMadeNote =
    " Items of the ready-made sensors all start at address 0: give each item its own address.";

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

std::string Address(std::int32_t address) {
    return DisplayLine::LongToString(address, true);
}

// The sensor of one item, as SensorNames gives it.
std::string SensorOf(const ItemList& items, std::size_t index) {
    std::size_t j = index;
    while (j > 0 && items[j]->GetSensor().empty() &&
           items[j]->GetNumberText() == items[j - 1]->GetNumberText())
        --j;
    const DisplayLine& first = *items[j];
    return first.GetSensor().empty() ? "sensor " + first.GetNumberText() : first.GetSensor();
}

// A limit as a whole number inside the 32-bit range.
std::int32_t WholeLimit(double f) {
    if (std::isnan(f)) return 0;
    if (f >= 2147483647.0) return INT32_MAX;
    if (f <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(f);
}

std::string LimitText(const DisplayLine& item, double limit) {
    if (item.GetType() == kTypeFloat) return FormatFixed(limit);
    return DisplayLine::LongToString(WholeLimit(limit), item.GetHex());
}

bool IsNumberText(const DisplayLine& item) {
    if (IsTextType(item.GetType())) return false;
    if (item.GetType() == kTypeFloat) return IsDecimalFloatText(item.GetValueText());
    return IsWholeNumberText(item.GetValueText(), item.GetHex());
}

// What the item's limits or list refuse, "" when they allow its value. Values
// that are not numbers are left to CheckPttValue.
std::string LimitProblem(DisplayLine& item) {
    if (!IsNumberText(item)) return {};
    const std::string value = item.GetValueText();
    if (item.GetList()) {
        const std::string& list = item.GetMaxText();
        if (list.empty() || list[0] != '{') {
            return " has the list " + Quoted(list) + ", which does not start with \"{\".";
        }
        if (item.Validator().IsValid()) return {};
        return " has the value " + value + ", which is not one of its list values " + list + ".";
    }
    if (item.Validator().IsValid()) return {};
    return " has the value " + value + ", outside its limits " +
           LimitText(item, item.Validator().Min()) + " to " +
           LimitText(item, item.Validator().Max()) + ".";
}

std::optional<Problem> CheckOne(const ItemList& items, std::size_t index,
                                const std::string& sensor) {
    DisplayLine& item = *items[index];
    if (item.GetType() == kTypeUserCommand) return std::nullopt;
    const std::string lead = "Item " + ItemDesignation(item, sensor);
    if (std::string limits = LimitProblem(item); !limits.empty()) {
        return Problem{index, std::nullopt, lead + limits};
    }
    std::string problem;
    if (item.CheckPttValue(problem)) return std::nullopt;
    // The window's text names the item first; the line names it our way.
    const std::string named = "The item " + Quoted(item.GetName());
    if (problem.rfind(named, 0) == 0)
        return Problem{index, std::nullopt, lead + problem.substr(named.size())};
    return Problem{index, std::nullopt, lead + ": " + problem};
}

bool SameWholeNumber(const DisplayLine& item, const std::string& a, const std::string& b) {
    const bool hex = item.GetHex();
    if (!IsWholeNumberText(a, hex) || !IsWholeNumberText(b, hex)) return a == b;
    const std::int64_t x = DisplayLine::StringToLong(a, hex);
    const std::int64_t y = DisplayLine::StringToLong(b, hex);
    if (x == y) return true;
    // Bytes read back are unsigned: a negative value of a narrow type reads
    // back as its two's complement.
    const std::int32_t type = item.GetType();
    const std::int32_t width = FixedTypeWidth(type) > 0 ? FixedTypeWidth(type) : 1;
    if (type == kTypeBaud || type == kTypePttId || width >= 4) return false;
    return x < 0 && x + (std::int64_t{1} << (8 * width)) == y;
}

// The bytes of a hex-digit text, two digits a byte: the first `count` of
// them, or every pair when `count` is negative; nullopt when the text has
// fewer digits or other characters there.
std::optional<std::string> HexBytes(const std::string& text, std::int32_t count) {
    const std::size_t bytes =
        count < 0 ? text.size() / 2 + text.size() % 2 : static_cast<std::size_t>(count);
    if (text.size() < 2 * bytes) return std::nullopt;
    std::string raw;
    for (std::size_t i = 0; i < bytes; ++i) {
        const std::string pair = text.substr(2 * i, 2);
        if (!std::all_of(pair.begin(), pair.end(),
                         [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            return std::nullopt;
        raw += static_cast<char>(std::stoi(pair, nullptr, 16));
    }
    return raw;
}

// A string item holds hex digits for its bytes; a read gives the digits of
// the bytes it found. Files written before reads gave digits hold the bytes
// as characters, cut at the first NUL: such a value compares with the
// characters of what was read.
bool SameString(const DisplayLine& item, const std::string& file, const std::string& ptt) {
    const std::optional<std::string> read = HexBytes(ptt, -1);
    const std::optional<std::string> wanted = HexBytes(file, std::max(item.GetSize(), 0));
    if (!read) return wanted ? ClipItemText(*wanted) == ptt : file == ptt;
    if (wanted) return *wanted == read->substr(0, wanted->size());
    return file == ClipItemText(*read);
}

bool SameValue(const DisplayLine& item, const std::string& file, const std::string& ptt) {
    const std::int32_t type = item.GetType();
    if (type == kTypeFloat) {
        if (!IsDecimalFloatText(file) || !IsDecimalFloatText(ptt)) return file == ptt;
        return ParseFloat(file) == ParseFloat(ptt);
    }
    if (type == kTypeString) return SameString(item, file, ptt);
    if (IsTextType(type)) return file == ptt;
    return SameWholeNumber(item, file, ptt);
}

} // namespace

std::vector<std::string> SensorNames(const ItemList& items) {
    std::vector<std::string> names;
    names.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const DisplayLine& item = *items[i];
        if (!item.GetSensor().empty()) {
            names.push_back(item.GetSensor());
        } else if (i > 0 && item.GetNumberText() == items[i - 1]->GetNumberText()) {
            names.push_back(names.back());
        } else {
            names.push_back("sensor " + item.GetNumberText());
        }
    }
    return names;
}

std::string ItemDesignation(const DisplayLine& item, const std::string& sensor) {
    return Quoted(item.GetName()) + " (" + sensor + ", address " + Address(item.GetAddress()) + ")";
}

ByteRange WrittenBytes(const DisplayLine& item) {
    const std::int32_t type = item.GetType();
    const std::int32_t address = item.GetAddress();
    if (type == kTypeUserCommand || type == kTypeUnformatted) return {};
    if (address < 0 || address > kMaxAddress) return {};
    std::int32_t count = type == kTypeBaud ? 1 : std::clamp(item.GetSize(), 0, kMaxItemBytes);
    count = std::min(count, kMaxAddress - address + 1);
    return {address, count};
}

std::vector<Overlap> FindOverlaps(const ItemList& items, std::size_t limit, std::int64_t* total) {
    struct Span {
        std::int32_t first;
        std::int32_t last;
        std::size_t index;
    };
    std::vector<Span> spans;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ByteRange r = WrittenBytes(*items[i]);
        if (r.count > 0) spans.push_back({r.first, r.first + r.count - 1, i});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.first != b.first ? a.first < b.first : a.index < b.index;
    });

    // Sweep by first address, keeping the spans still open in a heap by
    // last address; each span overlaps every span open when it starts.
    auto laterEnd = [](const Span& a, const Span& b) { return a.last > b.last; };
    std::vector<Span> open;
    std::vector<Overlap> pairs;
    std::int64_t count = 0;
    for (const Span& s : spans) {
        while (!open.empty() && open.front().last < s.first) {
            std::pop_heap(open.begin(), open.end(), laterEnd);
            open.pop_back();
        }
        count += static_cast<std::int64_t>(open.size());
        for (std::size_t k = 0; k < open.size() && pairs.size() < limit; ++k) {
            const Span& o = open[k];
            pairs.push_back({std::min(o.index, s.index), std::max(o.index, s.index), s.first,
                             std::min(o.last, s.last)});
        }
        open.push_back(s);
        std::push_heap(open.begin(), open.end(), laterEnd);
    }
    std::sort(pairs.begin(), pairs.end(), [](const Overlap& a, const Overlap& b) {
        return a.first != b.first ? a.first < b.first : a.second < b.second;
    });
    if (total != nullptr) *total = count;
    return pairs;
}

std::vector<Difference> CompareValues(const ItemList& items,
                                      const std::vector<std::optional<std::string>>& readTexts) {
    std::vector<Difference> differences;
    const std::vector<std::string> sensors = SensorNames(items);
    for (std::size_t i = 0; i < items.size() && i < readTexts.size(); ++i) {
        if (!readTexts[i]) continue;
        const DisplayLine& item = *items[i];
        if (SameValue(item, item.GetValueText(), *readTexts[i])) continue;
        differences.push_back(
            {i, item.GetName(), sensors[i], item.GetAddress(), item.GetValueText(), *readTexts[i]});
    }
    return differences;
}

std::optional<Problem> CheckItem(const ItemList& items, std::size_t index) {
    if (index >= items.size()) return std::nullopt;
    return CheckOne(items, index, SensorOf(items, index));
}

std::vector<Problem> CheckConfiguration(const ItemList& items, std::int64_t* unlisted) {
    std::vector<Problem> problems;
    const std::vector<std::string> sensors = SensorNames(items);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (auto problem = CheckOne(items, i, sensors[i])) problems.push_back(std::move(*problem));
    }
    std::int64_t total = 0;
    for (const Overlap& o : FindOverlaps(items, kOverlapLines, &total)) {
        const DisplayLine& a = *items[o.first];
        const DisplayLine& b = *items[o.second];
        std::string text =
            "Items " + ItemDesignation(a, sensors[o.first]) + " and " +
            ItemDesignation(b, sensors[o.second]) + " both write " +
            (o.from == o.to ? "address " + Address(o.from)
                            : "addresses " + Address(o.from) + " to " + Address(o.to)) +
            ".";
        if (a.GetAddress() == 0 || b.GetAddress() == 0) text += kReadyMadeNote;
        problems.push_back({o.first, o.second, std::move(text)});
        --total;
    }
    if (unlisted != nullptr) *unlisted = total;
    return problems;
}

} // namespace nimbrel
