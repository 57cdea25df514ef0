// The memory map of a configuration: the EEPROM bytes each item writes with a
// send, sorted by address, the free gaps between them and the bytes that more
// than one item writes. A pure function of the items; a view asks it for what
// lies within an address window.
#pragma once

#include "config/checks.h"
#include "config/displayline.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nimbrel {

// Addresses first..last, both included.
struct MapSpan {
    std::int32_t first = 0;
    std::int32_t last = 0;
    std::int32_t Size() const { return last - first + 1; }
};

// The bytes one item writes (WrittenBytes): items that write none have no range.
struct MapRange {
    std::int32_t first = 0;
    std::int32_t last = 0;
    std::int32_t size = 0;
    std::size_t item = 0; // index in the configuration
    std::string name;
    std::string sensor;          // as SensorNames gives it
    std::size_t sensorIndex = 0; // the sensor's place among the configuration's sensors: its colour
    std::size_t lane = 0;        // the row a view draws it in; ranges of one lane never overlap
    bool overlapped = false;     // another item writes one of its bytes
};

class MemoryMap {
public:
    MemoryMap() = default;
    // `overlapLimit` bounds the pairs listed, as FindOverlaps does; the default
    // lists those `nimbrel-cli check` lists.
    explicit MemoryMap(const ItemList& items, std::size_t overlapLimit = kOverlapLines);

    // Sorted by first address, then by item.
    const std::vector<MapRange>& Ranges() const { return ranges_; }
    // The addresses of 0..FFFF that no item writes, in order.
    const std::vector<MapSpan>& Gaps() const { return gaps_; }
    // The addresses more than one item writes, in order, adjoining ones joined.
    const std::vector<MapSpan>& Shared() const { return shared_; }
    // The overlapping pairs, exactly as FindOverlaps lists them, and the count
    // of all pairs (listed or not).
    const std::vector<Overlap>& Overlaps() const { return overlaps_; }
    std::int64_t OverlapCount() const { return overlapCount_; }
    // Sensor names by MapRange::sensorIndex (a sensor may have no range).
    const std::vector<std::string>& Sensors() const { return sensors_; }
    // Lanes a view needs so that no two bars of one lane overlap.
    std::size_t Lanes() const { return lanes_; }
    // Bytes that at least one item writes.
    std::int32_t UsedBytes() const { return used_; }
    // The lowest and highest address written; nullopt when nothing is.
    std::optional<MapSpan> Extent() const;

    // The ranges that hold any of first..last, as indexes into Ranges(), in order.
    std::vector<std::size_t> RangesIn(std::int32_t first, std::int32_t last) const;
    // The range of item `item`; nullopt for an item that writes no bytes.
    std::optional<std::size_t> RangeOfItem(std::size_t item) const;
    // The spans of `spans` (Gaps() or Shared()) that hold any of first..last:
    // the index range [begin, end).
    static std::pair<std::size_t, std::size_t> SpansIn(const std::vector<MapSpan>& spans,
                                                       std::int32_t first, std::int32_t last);

private:
    std::vector<MapRange> ranges_;
    std::vector<std::int32_t> reach_; // highest last address of ranges_[0..i]
    std::vector<std::size_t> rangeOfItem_;
    std::vector<MapSpan> gaps_;
    std::vector<MapSpan> shared_;
    std::vector<Overlap> overlaps_;
    std::int64_t overlapCount_ = 0;
    std::vector<std::string> sensors_;
    std::size_t lanes_ = 0;
    std::int32_t used_ = 0;
};

} // namespace nimbrel
