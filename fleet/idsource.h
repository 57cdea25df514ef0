// Where the PTT IDs of a fleet come from: a range "START-END" or the text of
// a list file, checked against the configuration's PTT ID item, and the pool
// the units of a run take their IDs from.
#pragma once

#include "config/displayline.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace nimbrel {

// One unit's ID and the 32-bit word a send writes for it (check bits included).
struct FleetId {
    std::int32_t id = 0;
    std::uint32_t word = 0;
    bool operator==(const FleetId&) const = default;
};

// One run takes at most this many IDs.
inline constexpr std::size_t kMaxFleetIds = 100000;

inline constexpr const char* kNoPttIdItemText =
    "The configuration has no PTT ID item (type 9), so no unit can be given its own ID.";

// The first PTT ID item (type 9) of the configuration; null when it has none.
const DisplayLine* FindPttIdItem(const ItemList& items);

// The IDs of a range "START-END" (decimal, blanks around the numbers allowed,
// START <= END) or of a list file's text (one decimal ID per line, "#" starts
// a comment, blank lines skipped). Each ID must pass the PTT ID item's limits
// as a single send checks its value. Nullopt with one message in `error`
// when the configuration has no PTT ID item, the range or a line is not
// well-formed, an ID fails the limits, a list holds an ID twice or no ID,
// or there are more than kMaxFleetIds.
std::optional<std::vector<FleetId>> IdsFromRange(const std::string& range, const ItemList& items,
                                                 std::string& error);
std::optional<std::vector<FleetId>> IdsFromList(const std::string& text, const ItemList& items,
                                                std::string& error);

// The IDs of one run, shared by all its ports. An ID is taken when a unit's
// send starts; a unit that fails gives it back (it is taken again before any
// later one, so the IDs written stay consecutive) or burns it.
class IdPool {
public:
    explicit IdPool(std::vector<FleetId> ids);

    // The first free ID in source order; nullopt when none is left.
    std::optional<FleetId> Take();
    // Frees a taken ID again. False for an ID that is not taken.
    bool GiveBack(std::int32_t id);
    // Marks an ID used for good, taken or not. False for an ID not in the pool.
    bool Burn(std::int32_t id);
    // The IDs not used (free), in source order.
    std::vector<FleetId> Left() const;

private:
    mutable std::mutex mutex_;
    std::vector<FleetId> ids_;
    std::unordered_map<std::int32_t, std::size_t> index_;
    std::set<std::size_t> free_;
    std::set<std::size_t> taken_;
};

} // namespace nimbrel
