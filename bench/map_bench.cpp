// The memory map of a configuration: building it from the items, and the
// lookup a view makes for the addresses in sight.
#include "bench/benchsupport.h"

#include "config/memorymap.h"

#include <benchmark/benchmark.h>

namespace nimbrel::bench {
namespace {

// Arg 0: the generated configuration (its addresses wrap, so later sensors
// overlap earlier ones); arg 1: every item at address 0, as ready-made
// sensors put them.
ItemList MapConfiguration(std::int32_t count, bool stacked) {
    ItemList items = MakeConfiguration(count);
    if (stacked) {
        for (const auto& item : items)
            item->SetAddress(0);
    }
    return items;
}

void BM_MemoryMap(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    const ItemList items = MapConfiguration(count, state.range(1) != 0);
    std::size_t ranges = 0;
    std::int64_t overlaps = 0;
    std::size_t lanes = 0;
    for (auto _ : state) {
        const MemoryMap map(items);
        ranges = map.Ranges().size();
        overlaps = map.OverlapCount();
        lanes = map.Lanes();
        benchmark::DoNotOptimize(map.Gaps().data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * count);
    state.counters["ranges"] = static_cast<double>(ranges);
    state.counters["overlaps"] = static_cast<double>(overlaps);
    state.counters["lanes"] = static_cast<double>(lanes);
}

BENCHMARK(BM_MemoryMap)
    ->Args({65536, 0})
    ->Args({65536, 1})
    ->ArgNames({"items", "stacked"})
    ->Unit(benchmark::kMillisecond);

// The ranges within a 256-byte window, the window moving across memory.
void BM_MemoryMapWindow(benchmark::State& state) {
    const ItemList items = MapConfiguration(65536, false);
    const MemoryMap map(items);
    std::int32_t first = 0;
    std::size_t found = 0;
    for (auto _ : state) {
        const std::vector<std::size_t> in = map.RangesIn(first, first + 255);
        found += in.size();
        first = (first + 4099) % 0xFF00;
        benchmark::DoNotOptimize(in.data());
    }
    state.counters["ranges per window"] =
        static_cast<double>(found) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_MemoryMapWindow)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace nimbrel::bench
