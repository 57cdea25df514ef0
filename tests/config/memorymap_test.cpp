#include "config/configfile.h"
#include "config/memorymap.h"
#include "tests/support/itemlines.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>

using namespace nimbrel;
using nimbrel::test::Items;

namespace {

// A char item of `size` bytes at `address`; a new sensor when `sensor` is given.
std::string Char(std::int32_t address, std::int32_t size, const std::string& sensor = "",
                 int number = 1) {
    return "1,0,0," + sensor + ",c" + std::to_string(address) + "," + std::to_string(number) +
           ",0,0,255,0," + std::to_string(size) + ",0," + std::to_string(address);
}

using Spans = std::vector<std::pair<std::int32_t, std::int32_t>>;

Spans Of(const std::vector<MapSpan>& spans) {
    Spans out;
    for (const MapSpan& s : spans)
        out.emplace_back(s.first, s.last);
    return out;
}

// Range by range: first, last, item, lane, overlapped.
using RangeRow = std::tuple<std::int32_t, std::int32_t, std::size_t, std::size_t, bool>;

std::vector<RangeRow> RowsOf(const MemoryMap& map) {
    std::vector<RangeRow> rows;
    for (const MapRange& r : map.Ranges())
        rows.emplace_back(r.first, r.last, r.item, r.lane, r.overlapped);
    return rows;
}

} // namespace

TEST(MemoryMap, RangesGapsAndSharedBytes) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::vector<RangeRow> ranges;
        Spans gaps;
        Spans shared;
    };
    const std::vector<Case> cases = {
        {"empty", {}, {}, {{0, 0xFFFF}}, {}},
        {"adjacent",
         {Char(0x10, 4), Char(0x14, 2)},
         {{0x10, 0x13, 0, 0, false}, {0x14, 0x15, 1, 0, false}},
         {{0, 0xF}, {0x16, 0xFFFF}},
         {}},
        {"nested, sorted by address",
         {Char(0x22, 1), Char(0x20, 8), Char(0x24, 2)},
         {{0x20, 0x27, 1, 0, true}, {0x22, 0x22, 0, 1, true}, {0x24, 0x25, 2, 1, true}},
         {{0, 0x1F}, {0x28, 0xFFFF}},
         {{0x22, 0x22}, {0x24, 0x25}}},
        {"identical, then a lane freed",
         {Char(0, 2), Char(0, 2), Char(1, 2), Char(3, 1)},
         {{0, 1, 0, 0, true}, {0, 1, 1, 1, true}, {1, 2, 2, 2, true}, {3, 3, 3, 0, false}},
         {{4, 0xFFFF}},
         {{0, 1}}},
        {"no bytes: size 0, user command, unformatted, outside memory",
         {Char(0x30, 0), "8,0,R020000,,cmd,1,0,0,0,0,7,0,48", "5,0,E0100AB,,raw,1,0,0,0,0,7,0,48",
          Char(0x10000, 1), Char(0x40, 1)},
         {{0x40, 0x40, 4, 0, false}},
         {{0, 0x3F}, {0x41, 0xFFFF}},
         {}},
        {"top of memory",
         {Char(0xFFFC, 8), Char(0xFFFF, 1), Char(0, 1)},
         {{0, 0, 2, 0, false}, {0xFFFC, 0xFFFF, 0, 0, true}, {0xFFFF, 0xFFFF, 1, 1, true}},
         {{1, 0xFFFB}},
         {{0xFFFF, 0xFFFF}}},
    };
    for (const Case& c : cases) {
        const ItemList items = Items(c.lines);
        const MemoryMap map(items);
        EXPECT_EQ(RowsOf(map), c.ranges) << c.what;
        EXPECT_EQ(Of(map.Gaps()), c.gaps) << c.what;
        EXPECT_EQ(Of(map.Shared()), c.shared) << c.what;
        std::int32_t free = 0;
        for (const MapSpan& g : map.Gaps())
            free += g.Size();
        EXPECT_EQ(map.UsedBytes() + free, 0x10000) << c.what;
    }
}

TEST(MemoryMap, SensorsFollowTheItemsRuns) {
    const ItemList items =
        Items({Char(0, 1, "Tx"), Char(1, 1), Char(2, 1, "", 2), Char(3, 1, "GPS", 3),
               "8,0,R,,cmd,4,0,0,0,0,7,0,0", Char(4, 1, "GPS", 5)});
    const MemoryMap map(items);
    EXPECT_EQ(map.Sensors(),
              (std::vector<std::string>{"Tx", "sensor 2", "GPS", "sensor 4", "GPS"}));
    std::vector<std::size_t> sensorOf;
    for (const MapRange& r : map.Ranges())
        sensorOf.push_back(r.sensorIndex);
    EXPECT_EQ(sensorOf, (std::vector<std::size_t>{0, 0, 1, 2, 4}));
    EXPECT_EQ(map.Ranges()[4].sensor, "GPS");
    EXPECT_EQ(map.RangeOfItem(4), std::nullopt);
    EXPECT_EQ(map.RangeOfItem(5), 4u);
}

// Random configurations against byte-by-byte counting: the overlapping pairs
// are FindOverlaps' and CheckConfiguration's, and every answer for a window
// is what scanning all ranges gives.
TEST(MemoryMap, AgreesWithByteCountsAndTheChecks) {
    std::mt19937 random(19);
    for (int round = 0; round < 40; ++round) {
        std::vector<std::string> lines;
        const int count = 1 + static_cast<int>(random() % 60);
        for (int i = 0; i < count; ++i) {
            const auto address =
                static_cast<std::int32_t>(round % 4 == 0 ? 0xFFC0 + random() % 64 : random() % 200);
            lines.push_back(Char(address, static_cast<std::int32_t>(random() % 6),
                                 random() % 5 == 0 ? "s" : ""));
        }
        const ItemList items = Items(lines);
        const MemoryMap map(items, 50);
        const std::string what = "round " + std::to_string(round);

        std::vector<int> writers(0x10000, 0);
        for (const auto& item : items) {
            const ByteRange b = WrittenBytes(*item);
            for (std::int32_t a = b.first; a < b.first + b.count; ++a)
                ++writers[static_cast<std::size_t>(a)];
        }
        std::vector<MapSpan> free;
        std::vector<MapSpan> shared;
        for (std::int32_t a = 0; a <= kMaxAddress; ++a) {
            auto add = [a](std::vector<MapSpan>& spans) {
                if (!spans.empty() && spans.back().last == a - 1) {
                    spans.back().last = a;
                } else {
                    spans.push_back({a, a});
                }
            };
            if (writers[static_cast<std::size_t>(a)] == 0) add(free);
            if (writers[static_cast<std::size_t>(a)] > 1) add(shared);
        }
        EXPECT_EQ(Of(map.Gaps()), Of(free)) << what;
        EXPECT_EQ(Of(map.Shared()), Of(shared)) << what;

        std::int64_t total = 0;
        const std::vector<Overlap> expected = FindOverlaps(items, 50, &total);
        ASSERT_EQ(map.Overlaps().size(), expected.size()) << what;
        EXPECT_EQ(map.OverlapCount(), total) << what;
        std::set<std::pair<std::size_t, std::size_t>> checkPairs;
        for (const Problem& p : CheckConfiguration(items)) {
            if (p.other) checkPairs.insert({p.item, *p.other});
        }
        std::set<std::pair<std::size_t, std::size_t>> mapPairs;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            const Overlap& o = map.Overlaps()[k];
            EXPECT_EQ(
                std::tie(o.first, o.second, o.from, o.to),
                std::tie(expected[k].first, expected[k].second, expected[k].from, expected[k].to))
                << what;
            mapPairs.insert({o.first, o.second});
        }
        if (total <= 50) {
            EXPECT_EQ(mapPairs, checkPairs) << what;
        }

        // Flags, lanes and windows by brute force over the ranges.
        const auto& ranges = map.Ranges();
        for (std::size_t k = 0; k < ranges.size(); ++k) {
            bool overlapped = false;
            for (std::size_t j = 0; j < ranges.size(); ++j) {
                if (j == k || ranges[j].last < ranges[k].first || ranges[j].first > ranges[k].last)
                    continue;
                overlapped = true;
                EXPECT_NE(ranges[j].lane, ranges[k].lane) << what;
            }
            EXPECT_EQ(ranges[k].overlapped, overlapped) << what << " range " << k;
            EXPECT_LT(ranges[k].lane, map.Lanes());
            EXPECT_EQ(map.RangeOfItem(ranges[k].item), k);
        }
        for (int w = 0; w < 10; ++w) {
            const auto first = static_cast<std::int32_t>(random() % 0x10000);
            const auto last = std::min<std::int32_t>(
                kMaxAddress, first + static_cast<std::int32_t>(random() % 300));
            std::vector<std::size_t> in;
            for (std::size_t k = 0; k < ranges.size(); ++k) {
                if (ranges[k].last >= first && ranges[k].first <= last) in.push_back(k);
            }
            EXPECT_EQ(map.RangesIn(first, last), in) << what;
            const auto [b, e] = MemoryMap::SpansIn(map.Gaps(), first, last);
            for (std::size_t g = 0; g < map.Gaps().size(); ++g) {
                const bool meets = map.Gaps()[g].last >= first && map.Gaps()[g].first <= last;
                EXPECT_EQ(meets, g >= b && g < e) << what;
            }
        }
    }
}
