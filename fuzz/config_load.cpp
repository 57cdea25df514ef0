// The configuration loader on any bytes: both passes over the text, the
// problems it collects and the one message listing them, and the encoding of
// every item it made (what a send would write).
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
    const nimbrel::ConfigHeader header = nimbrel::LoadConfigText(text, "fuzz.cfg", items, problems);

    FUZZ_CHECK(header.opened, Shown(text));
    FUZZ_CHECK(items.size() == static_cast<std::size_t>(header.itemCount), Shown(text));
    FUZZ_CHECK(header.itemCount >= 0 && header.itemCount <= header.present, Shown(text));
    FUZZ_CHECK(header.itemCount <= nimbrel::kMaxConfigItems, Shown(text));
    FUZZ_CHECK(!nimbrel::HoldsNoConfiguration(header) || items.empty(), Shown(text));
    // Per item at most an unknown type, a refused hex flag and "Error"; then the shortfall.
    FUZZ_CHECK(problems.size() <= 3 * items.size() + 1, Shown(text));

    const std::string message = nimbrel::ConfigProblemsText("fuzz.cfg", problems);
    std::size_t lines = 0;
    for (std::size_t at = message.find("\r\n"); at != std::string::npos;
         at = message.find("\r\n", at + 2))
        ++lines;
    FUZZ_CHECK(lines == std::min(problems.size(), nimbrel::kMaxProblemLines) +
                            (problems.size() > nimbrel::kMaxProblemLines ? 1 : 0),
               message);

    for (const auto& item : items) {
        for (const std::string* t :
             {&item->GetValueText(), &item->GetName(), &item->GetSensor(), &item->GetNumberText(),
              &item->GetMaxText(), &item->GetMinText()})
            FUZZ_CHECK(t->size() <= nimbrel::kMaxItemText && t->find('\0') == std::string::npos,
                       Shown(*t));
        const std::string commands = item->GetPttValue();
        FUZZ_CHECK(commands.size() <= 255, Shown(commands));
        std::string problem;
        const bool sendable = item->CheckPttValue(problem);
        FUZZ_CHECK(sendable == problem.empty(), problem);
        // What passes the check is sent whole: 7 characters per byte.
        if (sendable && item->GetType() != nimbrel::kTypeUnformatted &&
            item->GetType() != nimbrel::kTypeUserCommand) {
            const std::int32_t bytes = item->GetType() == nimbrel::kTypeBaud ? 1 : item->GetSize();
            FUZZ_CHECK(commands.size() == 7 * static_cast<std::size_t>(bytes),
                       Shown(commands) + " for " + std::to_string(bytes) + " bytes");
        }
    }
    return 0;
}
