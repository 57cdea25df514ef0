// Load, save, load, save: the second save must be the first byte for byte,
// and reading a saved file finds every line whole (no "Error", no shortfall).
#include "config/configfile.h"
#include "fuzz/check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using nimbrel::fuzz::Shown;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    nimbrel::ItemList items;
    std::vector<std::string> problems;
    const auto header = nimbrel::LoadConfigText(text, "in.cfg", items, problems);
    const std::string first = nimbrel::ConfigFileText(header.sensorCount, items);

    nimbrel::ItemList again;
    problems.clear();
    const auto reread = nimbrel::LoadConfigText(first, "saved.cfg", again, problems);
    FUZZ_CHECK(reread.countValid && reread.declared == header.itemCount, Shown(first));
    FUZZ_CHECK(again.size() == items.size(), Shown(first));
    for (const auto& p : problems) {
        FUZZ_CHECK(p != "Error" && p.rfind("The file", 0) != 0, p + " in " + Shown(first));
    }
    const std::string second = nimbrel::ConfigFileText(reread.sensorCount, again);
    FUZZ_CHECK(second == first, Shown(first) + "\n  saved again as\n  " + Shown(second));
    return 0;
}
