#include "fleet/idsource.h"

#include "config/checks.h"
#include "platform/displaytext.h"

#include <cctype>
#include <charconv>
#include <map>
#include <sstream>
#include <string_view>

namespace nimbrel {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// A decimal ID: digits only, inside the 32-bit range.
std::optional<std::int32_t> ParseId(std::string_view s) {
    s = Trim(s);
    if (s.empty()) return std::nullopt;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    std::int32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

// Checks IDs against a copy of the PTT ID item, so that the configuration
// itself is never changed.
class IdChecker {
public:
    explicit IdChecker(const DisplayLine& item) {
        std::stringstream text;
        text << item;
        auto copy = std::make_unique<DisplayLine>(0, "", "", "", "", kTypePttId, 4);
        text >> *copy;
        copy->SetIndex(0);
        items_.push_back(std::move(copy));
    }

    // "" when a send would take the ID, else the reason.
    std::string Problem(std::int32_t id) {
        items_[0]->SetValue(id);
        if (auto problem = CheckItem(items_, 0)) return problem->text;
        return {};
    }

private:
    ItemList items_;
};

std::string Refused(std::int32_t id, const std::string& where, const std::string& problem) {
    return "PTT ID " + std::to_string(id) + where + " cannot be sent: " + problem;
}

} // namespace

const DisplayLine* FindPttIdItem(const ItemList& items) {
    for (const auto& item : items) {
        if (item->GetType() == kTypePttId) return item.get();
    }
    return nullptr;
}

std::optional<std::vector<FleetId>> IdsFromRange(const std::string& range, const ItemList& items,
                                                 std::string& error) {
    const DisplayLine* item = FindPttIdItem(items);
    if (item == nullptr) {
        error = kNoPttIdItemText;
        return std::nullopt;
    }
    const std::string shown = DisplayText(range);
    const std::size_t dash = range.find('-');
    std::optional<std::int32_t> first, last;
    if (dash != std::string::npos) {
        first = ParseId(std::string_view(range).substr(0, dash));
        last = ParseId(std::string_view(range).substr(dash + 1));
    }
    if (!first || !last) {
        error = "The ID range \"" + shown +
                "\" is not of the form START-END (two decimal numbers, e.g. 12000-12063).";
        return std::nullopt;
    }
    if (*first > *last) {
        error = "The ID range \"" + shown + "\" ends before it starts.";
        return std::nullopt;
    }
    IdChecker checker(*item);
    // Limits are an interval: its ends decide for every ID between them. A
    // list item's values are checked one by one below.
    for (const std::int32_t end : {*first, *last}) {
        if (std::string problem = checker.Problem(end); !problem.empty()) {
            error = Refused(end, " of the range " + shown, problem);
            return std::nullopt;
        }
    }
    const std::int64_t count = std::int64_t{*last} - *first + 1;
    if (count > static_cast<std::int64_t>(kMaxFleetIds)) {
        error = "The ID range \"" + shown + "\" holds " + std::to_string(count) +
                " IDs; one run takes at most " + std::to_string(kMaxFleetIds) + ".";
        return std::nullopt;
    }
    std::vector<FleetId> ids;
    for (std::int64_t id = *first; id <= *last; ++id) {
        const auto v = static_cast<std::int32_t>(id);
        if (item->GetList()) {
            if (std::string problem = checker.Problem(v); !problem.empty()) {
                error = Refused(v, " of the range " + shown, problem);
                return std::nullopt;
            }
        }
        ids.push_back({v, DisplayLine::GetPttId(v)});
    }
    return ids;
}

std::optional<std::vector<FleetId>> IdsFromList(const std::string& text, const ItemList& items,
                                                std::string& error) {
    const DisplayLine* item = FindPttIdItem(items);
    if (item == nullptr) {
        error = kNoPttIdItemText;
        return std::nullopt;
    }
    IdChecker checker(*item);
    std::vector<FleetId> ids;
    std::map<std::int32_t, std::size_t> lineOf;
    std::size_t lineNo = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string_view line = std::string_view(text).substr(at, end - at);
        at = end + 1;
        ++lineNo;
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        const auto id = ParseId(line);
        const std::string where = " (line " + std::to_string(lineNo) + ")";
        if (!id) {
            error = "Line " + std::to_string(lineNo) + " of the ID list, \"" + DisplayText(line) +
                    "\", is not a decimal PTT ID.";
            return std::nullopt;
        }
        if (auto [it, fresh] = lineOf.emplace(*id, lineNo); !fresh) {
            error = "PTT ID " + std::to_string(*id) + " is in the ID list twice, on lines " +
                    std::to_string(it->second) + " and " + std::to_string(lineNo) + ".";
            return std::nullopt;
        }
        if (std::string problem = checker.Problem(*id); !problem.empty()) {
            error = Refused(*id, where, problem);
            return std::nullopt;
        }
        if (ids.size() == kMaxFleetIds) {
            error = "The ID list holds more than " + std::to_string(kMaxFleetIds) +
                    " IDs; one run takes at most that many.";
            return std::nullopt;
        }
        ids.push_back({*id, DisplayLine::GetPttId(*id)});
    }
    if (ids.empty()) {
        error = "The ID list holds no PTT ID.";
        return std::nullopt;
    }
    return ids;
}

IdPool::IdPool(std::vector<FleetId> ids) : ids_(std::move(ids)) {
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        if (index_.emplace(ids_[i].id, i).second) free_.insert(i);
    }
}

std::optional<FleetId> IdPool::Take() {
    std::lock_guard lock(mutex_);
    if (free_.empty()) return std::nullopt;
    const std::size_t i = *free_.begin();
    free_.erase(free_.begin());
    taken_.insert(i);
    return ids_[i];
}

bool IdPool::GiveBack(std::int32_t id) {
    std::lock_guard lock(mutex_);
    const auto it = index_.find(id);
    if (it == index_.end() || taken_.erase(it->second) == 0) return false;
    free_.insert(it->second);
    return true;
}

bool IdPool::Burn(std::int32_t id) {
    std::lock_guard lock(mutex_);
    const auto it = index_.find(id);
    if (it == index_.end()) return false;
    free_.erase(it->second);
    taken_.erase(it->second);
    return true;
}

std::vector<FleetId> IdPool::Left() const {
    std::lock_guard lock(mutex_);
    std::vector<FleetId> left;
    for (std::size_t i : free_)
        left.push_back(ids_[i]);
    return left;
}

} // namespace nimbrel
