#include "config/simpleform.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace nimbrel;

namespace {

struct Row {
    std::int32_t number;
    const char* name;
};

ItemList Items(const std::vector<Row>& rows) {
    ItemList items;
    for (const Row& row : rows) {
        items.push_back(std::make_unique<DisplayLine>(static_cast<std::int32_t>(items.size()), "",
                                                      std::to_string(row.number), row.name, "0",
                                                      kTypeLong, 4));
    }
    return items;
}

// A whole-number item with limits, in the given base.
std::unique_ptr<DisplayLine> Number(std::int32_t type, bool hex, const std::string& value,
                                    std::int32_t min = 0, std::int32_t max = 86400) {
    auto item = std::make_unique<DisplayLine>(0, "", "1", "Item", "0", type, 4);
    item->SetMin(min);
    item->SetMax(max);
    item->SetHex(hex);
    item->SetValue(value);
    return item;
}

} // namespace

TEST(SimpleForm, FindsTheFieldsInTheFirstSensorOnly) {
    const char* id = "PTT ID number";
    const struct {
        const char* what;
        std::vector<Row> rows;
        SimpleFieldIndexes expected;
    } cases[] = {
        {"transmitter sensor",
         {{1, id}, {1, kRepRateItem}, {1, kOnTimeItem}, {1, kOffTimeItem}},
         {0, 1, 2, 3}},
        {"any order, other items between",
         {{1, id}, {1, kOffTimeItem}, {1, "Other"}, {1, kOnTimeItem}, {1, kRepRateItem}},
         {0, 4, 3, 1}},
        {"missing item", {{1, id}, {1, kRepRateItem}, {1, kOnTimeItem}}, {0, 1, 2, -1}},
        {"names in sensor 2",
         {{1, id}, {2, kRepRateItem}, {2, kOnTimeItem}, {2, kOffTimeItem}},
         {0, -1, -1, -1}},
        {"after another sensor's first item",
         {{1, id}, {1, kRepRateItem}, {2, "GPS"}, {1, kOnTimeItem}, {1, kOffTimeItem}},
         {0, 1, -1, -1}},
        {"first item of another sensor", {{2, id}, {1, kRepRateItem}}, {0, -1, -1, -1}},
        {"names compared exactly",
         {{1, id}, {1, "transmission on time (seconds)"}},
         {0, -1, -1, -1}},
        {"no items", {}, {-1, -1, -1, -1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindSimpleFields(Items(c.rows)), c.expected) << c.what;
    }
}

TEST(SimpleForm, FieldsShowWholeNumbersInDecimal) {
    const struct {
        std::int32_t type;
        bool hex;
        const char* value;
        const char* shown;
    } cases[] = {
        {kTypeLong, true, "1c20 H", "7200"},
        {kTypeLong, false, "-5", "-5"},
        {kTypeLong, true, "fffffffb H", "-5"},
        {kTypePttId, true, "2b67 H", "11111"},
        {kTypeChar, false, "12abc", "12"},
        {kTypeFloat, false, "7.500000", "7.500000"}, // not cut to a whole number
    };
    for (const auto& c : cases) {
        const auto item = Number(c.type, c.hex, c.value);
        EXPECT_EQ(SimpleFieldText(*item), c.shown) << c.value;
    }
}

TEST(SimpleForm, TypedTextIsStoredInTheItemsBase) {
    const struct {
        std::int32_t type;
        bool hex;
        const char* typed;
        const char* stored;
    } cases[] = {
        {kTypeLong, true, "7200", "1c20 H"},
        {kTypeLong, true, " -5 ", "fffffffb H"},
        {kTypePttId, true, "11111", "2b67 H"},
        {kTypeLong, true, "1c20 H", "1c20 H"}, // not decimal: as typed
        {kTypeLong, true, "12abc", "12abc"},
        {kTypeLong, true, "", ""},
        {kTypeLong, false, " 7200", " 7200"},
        {kTypeFloat, false, "7.5", "7.5"},
    };
    for (const auto& c : cases) {
        const auto item = Number(c.type, c.hex, "0");
        ApplySimpleText(*item, c.typed);
        EXPECT_EQ(item->GetValueText(), c.stored) << c.typed;
    }
}

TEST(SimpleForm, OkStoresEveryFieldThenReportsTheFailingOnes) {
    auto id = Number(kTypePttId, true, "2b67 H", 0, 99999);
    auto on = Number(kTypeLong, false, "7200", 1, 86400);
    auto off = Number(kTypeLong, false, "14400", 1, 86400);
    const std::array<DisplayLine*, kSimpleFieldCount> items{id.get(), nullptr, on.get(), off.get()};
    // Failing values stay stored; a field without an item is skipped.
    EXPECT_EQ(ApplySimpleForm(items, {"one", "junk", "60", "86401"}),
              (std::vector<int>{kFieldPttId, kFieldOffTime}));
    EXPECT_EQ(id->GetValueText(), "one");
    EXPECT_EQ(on->GetValueText(), "60");
    EXPECT_EQ(off->GetValueText(), "86401");
}
