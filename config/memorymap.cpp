#include "config/memorymap.h"

#include <algorithm>
#include <functional>
#include <queue>

namespace nimbrel {
namespace {

constexpr std::size_t kNoRange = static_cast<std::size_t>(-1);

// Whether item `i` starts a new sensor: the rule SensorNames follows.
bool StartsSensor(const ItemList& items, std::size_t i) {
    return i == 0 || !items[i]->GetSensor().empty() ||
           items[i]->GetNumberText() != items[i - 1]->GetNumberText();
}

// Adds first..last to `spans`, joined to the last span when they meet or adjoin.
void Join(std::vector<MapSpan>& spans, std::int32_t first, std::int32_t last) {
    if (!spans.empty() && first <= spans.back().last + 1) {
        spans.back().last = std::max(spans.back().last, last);
    } else {
        spans.push_back({first, last});
    }
}

} // namespace

MemoryMap::MemoryMap(const ItemList& items, std::size_t overlapLimit) {
    const std::vector<std::string> names = SensorNames(items);
    rangeOfItem_.assign(items.size(), kNoRange);
    // Sorted as plain numbers first; the texts are copied once, in order.
    struct Key {
        std::int32_t first;
        std::int32_t count;
        std::size_t item;
        std::size_t sensor;
    };
    std::vector<Key> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (StartsSensor(items, i)) sensors_.push_back(names[i]);
        const ByteRange bytes = WrittenBytes(*items[i]);
        if (bytes.count > 0) keys.push_back({bytes.first, bytes.count, i, sensors_.size() - 1});
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return a.first != b.first ? a.first < b.first : a.item < b.item;
    });
    ranges_.reserve(keys.size());
    for (const Key& k : keys) {
        MapRange& r = ranges_.emplace_back();
        r.first = k.first;
        r.size = k.count;
        r.last = k.first + k.count - 1;
        r.item = k.item;
        r.name = items[k.item]->GetName();
        r.sensor = names[k.item];
        r.sensorIndex = k.sensor;
    }

    // One sweep by first address: the reach of the ranges before each one
    // tells whether it shares bytes with them, and which.
    std::vector<MapSpan> used;
    reach_.reserve(ranges_.size());
    std::int32_t reach = -1;
    for (std::size_t k = 0; k < ranges_.size(); ++k) {
        MapRange& r = ranges_[k];
        rangeOfItem_[r.item] = k;
        if (reach >= r.first) {
            r.overlapped = true;
            Join(shared_, r.first, std::min(r.last, reach));
        }
        if (k + 1 < ranges_.size() && ranges_[k + 1].first <= r.last) r.overlapped = true;
        reach = std::max(reach, r.last);
        reach_.push_back(reach);
        Join(used, r.first, r.last);
    }

    std::int32_t next = 0;
    for (const MapSpan& u : used) {
        if (u.first > next) gaps_.push_back({next, u.first - 1});
        next = u.last + 1;
        used_ += u.Size();
    }
    if (next <= kMaxAddress) gaps_.push_back({next, kMaxAddress});

    // Lanes: each range takes the lowest lane free at its first address.
    using Busy = std::pair<std::int32_t, std::size_t>; // last address, lane
    std::priority_queue<Busy, std::vector<Busy>, std::greater<>> busy;
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> idle;
    for (MapRange& r : ranges_) {
        while (!busy.empty() && busy.top().first < r.first) {
            idle.push(busy.top().second);
            busy.pop();
        }
        if (idle.empty()) {
            r.lane = lanes_++;
        } else {
            r.lane = idle.top();
            idle.pop();
        }
        busy.push({r.last, r.lane});
    }

    overlaps_ = FindOverlaps(items, overlapLimit, &overlapCount_);
}

std::optional<MapSpan> MemoryMap::Extent() const {
    if (ranges_.empty()) return std::nullopt;
    return MapSpan{ranges_.front().first, reach_.back()};
}

std::vector<std::size_t> MemoryMap::RangesIn(std::int32_t first, std::int32_t last) const {
    // Ranges before `begin` all end below `first`; from `end` on all start above `last`.
    const auto begin = static_cast<std::size_t>(
        std::partition_point(reach_.begin(), reach_.end(),
                             [first](std::int32_t r) { return r < first; }) -
        reach_.begin());
    const auto end = static_cast<std::size_t>(
        std::partition_point(ranges_.begin(), ranges_.end(),
                             [last](const MapRange& r) { return r.first <= last; }) -
        ranges_.begin());
    std::vector<std::size_t> found;
    for (std::size_t k = begin; k < end; ++k) {
        if (ranges_[k].last >= first) found.push_back(k);
    }
    return found;
}

std::optional<std::size_t> MemoryMap::RangeOfItem(std::size_t item) const {
    if (item >= rangeOfItem_.size() || rangeOfItem_[item] == kNoRange) return std::nullopt;
    return rangeOfItem_[item];
}

std::pair<std::size_t, std::size_t> MemoryMap::SpansIn(const std::vector<MapSpan>& spans,
                                                       std::int32_t first, std::int32_t last) {
    // The spans are ordered and apart, so their last addresses ascend too.
    const auto begin = std::partition_point(spans.begin(), spans.end(),
                                            [first](const MapSpan& s) { return s.last < first; });
    const auto end = std::partition_point(begin, spans.end(),
                                          [last](const MapSpan& s) { return s.first <= last; });
    return {static_cast<std::size_t>(begin - spans.begin()),
            static_cast<std::size_t>(end - spans.begin())};
}

} // namespace nimbrel
