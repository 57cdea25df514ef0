// Encoding a whole configuration into memory-write commands, as a send does.
#include "bench/benchsupport.h"

#include "config/configfile.h"

#include <benchmark/benchmark.h>

#include <string>

namespace nimbrel::bench {
namespace {

// The configuration as a loaded file holds it: written, then read back.
bool LoadConfiguration(std::int32_t count, ItemList& items, std::string& problem) {
    const std::string path = ConfigurationFile(count);
    if (path.empty()) {
        problem = "the configuration file could not be written";
        return false;
    }
    const ConfigHeader header = ReadConfigHeader(path);
    items = MakeBlankItems(header.itemCount);
    if (!ReadConfigItems(path, items, header) || static_cast<std::int32_t>(items.size()) != count) {
        problem = "the configuration file could not be read back";
        return false;
    }
    for (const auto& item : items) {
        if (!item->CheckPttValue(problem)) return false;
    }
    return true;
}

void BM_EncodeConfiguration(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    ItemList items;
    std::string problem;
    if (!LoadConfiguration(count, items, problem)) {
        state.SkipWithError(problem.c_str());
        return;
    }

    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const auto& item : items) {
            std::string value = item->GetPttValue();
            bytes += value.size();
            benchmark::DoNotOptimize(value);
        }
    }
    const auto iterations = static_cast<std::int64_t>(state.iterations());
    state.SetItemsProcessed(iterations * count);
    state.SetBytesProcessed(iterations * static_cast<std::int64_t>(bytes));
    state.counters["items"] = static_cast<double>(count);
    state.counters["bytes"] = static_cast<double>(bytes); // command text of one send
}

BENCHMARK(BM_EncodeConfiguration)->Arg(640)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace nimbrel::bench
