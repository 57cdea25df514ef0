#include "config/simpleform.h"

#include "config/numbertext.h"

#include <utility>

namespace nimbrel {

SimpleFieldIndexes FindSimpleFields(const ItemList& items) {
    SimpleFieldIndexes fields{-1, -1, -1, -1};
    if (items.empty()) return fields;
    fields[kFieldPttId] = 0;
    constexpr std::array<std::pair<int, const char*>, 3> kNamed{{{kFieldRepRate, kRepRateItem},
                                                                 {kFieldOnTime, kOnTimeItem},
                                                                 {kFieldOffTime, kOffTimeItem}}};
    for (std::size_t i = 0; i < items.size() && items[i]->GetNumber() == 1; ++i) {
        for (const auto& [field, name] : kNamed) {
            if (items[i]->GetName() == name) fields[field] = static_cast<std::int32_t>(i);
        }
    }
    return fields;
}

std::string SimpleFieldText(const DisplayLine& item) {
    if (!IsNumberType(item.GetType())) return item.GetValueText();
    return std::to_string(item.GetValue());
}

void ApplySimpleText(DisplayLine& item, std::string_view text) {
    const std::string typed = ClipItemText(text);
    if (item.GetHex() && IsNumberType(item.GetType()) && IsWholeNumberText(typed, false)) {
        item.SetValue(ParseInt32(typed, false)); // in the item's own base
        return;
    }
    item.SetValue(typed);
}

std::vector<int> ApplySimpleForm(const std::array<DisplayLine*, kSimpleFieldCount>& items,
                                 const std::array<std::string, kSimpleFieldCount>& texts) {
    for (int f = 0; f < kSimpleFieldCount; ++f) {
        if (items[f] != nullptr) ApplySimpleText(*items[f], texts[f]);
    }
    std::vector<int> failed;
    for (int f = 0; f < kSimpleFieldCount; ++f) {
        if (items[f] != nullptr && !items[f]->Validator().IsValid()) failed.push_back(f);
    }
    return failed;
}

} // namespace nimbrel
