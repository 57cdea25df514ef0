#include "engine/configtransfer.h"

#include "platform/text.h"

#include <algorithm>
#include <utility>

namespace nimbrel {
namespace {

// Lists in messages stop after this many lines.
constexpr std::size_t kListedLines = 20;

std::string AndMore(std::int64_t more, const char* what) {
    return more > 0 ? "\r\nand " + std::to_string(more) + " more " + what : std::string();
}

} // namespace

std::vector<TransferEngine::SendItem> SendPlan::EngineItems() const {
    std::vector<TransferEngine::SendItem> out;
    out.reserve(items.size());
    for (const EncodedItem& item : items)
        out.push_back({item.name, item.address, item.commands});
    return out;
}

SendPlan PlanSend(const ItemList& items) {
    std::vector<std::size_t> all(items.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    return PlanSend(items, all);
}

SendPlan PlanSend(const ItemList& items, const std::vector<std::size_t>& only) {
    SendPlan plan;
    std::vector<std::size_t> chosen;
    for (const std::size_t i : only) {
        if (i < items.size()) chosen.push_back(i);
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    const std::vector<std::string> sensors = SensorNames(items);
    for (const std::size_t i : chosen) {
        const DisplayLine& item = *items[i];
        if (item.GetType() == kTypeUserCommand) continue;
        std::string problem;
        if (!item.CheckPttValue(problem)) {
            plan.items.clear();
            plan.refusal = problem + "\r\nNothing was sent.";
            return plan;
        }
        plan.items.push_back(
            {i, item.GetName(), sensors[i], item.GetAddress(), Upper(item.GetPttValue())});
    }
    return plan;
}

std::optional<std::vector<std::size_t>>
ItemsNamed(const ItemList& items, const std::vector<std::string>& names, std::string& unknown) {
    std::vector<std::size_t> found;
    for (const std::string& name : names) {
        const std::size_t before = found.size();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i]->GetName() == name) found.push_back(i);
        }
        if (found.size() == before) {
            unknown = name;
            return std::nullopt;
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

std::string OverlapQuestion(const ItemList& items) {
    std::int64_t total = 0;
    const std::vector<Overlap> overlaps = FindOverlaps(items, kListedLines, &total);
    if (overlaps.empty()) return {};
    const std::vector<std::string> sensors = SensorNames(items);
    std::string text = "These items write the same EEPROM bytes, so in the transmitter the later "
                       "one overwrites the earlier:";
    for (const Overlap& o : overlaps) {
        text += "\r\n" + ItemDesignation(*items[o.first], sensors[o.first]) + " and " +
                ItemDesignation(*items[o.second], sensors[o.second]);
    }
    text += AndMore(total - static_cast<std::int64_t>(overlaps.size()), "pairs");
    text += "\r\nThe ready-made sensors all sit at address 0: give each item its own address "
            "with Modify Sensor before sending.\r\nSend anyway?";
    return text;
}

bool ReadGivesValue(const DisplayLine& item) {
    if (item.GetSize() <= 0) return false;
    bool idValid = true;
    const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(item.GetSize(), 4)));
    return PttValueText(item.GetType(), item.GetHex(), bytes, idValid).has_value();
}

TransferEngine::ApplyFn ReadPlan::ToItems(ItemFn apply) const {
    return [at = at, apply = std::move(apply)](std::size_t index, const std::string& value) {
        if (index < at.size()) apply(at[index], value);
    };
}

ReadPlan PlanRead(const ItemList& items, ReadScope scope) {
    ReadPlan plan;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const DisplayLine& item = *items[i];
        if (scope == ReadScope::ValuedItems && !ReadGivesValue(item)) continue;
        TransferEngine::ReadItem r{item.GetName(), item.GetAddress(), item.GetSize(),
                                   item.GetType(), item.GetHex()};
        plan.skips = plan.skips || !TransferEngine::ReadProblem(r).empty();
        plan.items.push_back(std::move(r));
        plan.at.push_back(i);
    }
    return plan;
}

std::size_t ApplyValues(const ItemList& items, const ReadValues& values) {
    std::size_t applied = 0;
    for (std::size_t i = 0; i < items.size() && i < values.size(); ++i) {
        if (!values[i]) continue;
        items[i]->SetValue(*values[i]);
        ++applied;
    }
    return applied;
}

std::vector<CompareRow> CompareRows(const ItemList& items, const ReadValues& values) {
    std::vector<CompareRow> rows;
    rows.reserve(items.size());
    const std::vector<std::string> sensors = SensorNames(items);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const DisplayLine& item = *items[i];
        rows.push_back({i, item.GetName(), sensors[i], item.GetAddress(), item.GetValueText(),
                        i < values.size() ? values[i] : std::nullopt, false});
    }
    for (const Difference& d : CompareValues(items, values))
        rows[d.item].differs = true;
    return rows;
}

std::string ComparisonText(const ItemList& items, const std::vector<Difference>& differences) {
    if (differences.empty()) return "The transmitter holds the same values as the configuration.";
    std::string text = "These items differ from the transmitter:";
    for (std::size_t i = 0; i < differences.size() && i < kListedLines; ++i) {
        const Difference& d = differences[i];
        text += "\r\n" + ItemDesignation(*items[d.item], d.sensor) + ": file " + d.fileValue +
                ", transmitter " + d.pttValue;
    }
    text += AndMore(static_cast<std::int64_t>(differences.size()) -
                        static_cast<std::int64_t>(kListedLines),
                    "items");
    return text;
}

} // namespace nimbrel
