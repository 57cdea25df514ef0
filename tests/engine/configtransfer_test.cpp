// What a configuration transfer sends and reads, prepared from the items:
// the send list and what stops it, the read list, applying and comparing.
#include "engine/configtransfer.h"

#include "config/configfile.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace nimbrel;

namespace {

// Items from configuration file lines: type, hex, value, sensor, name,
// number, index, list, max, min, size, user, address.
ItemList Items(const std::vector<std::string>& lines) {
    ItemList items = MakeBlankItems(static_cast<std::int32_t>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::istringstream in(lines[i] + "\r\n");
        in >> *items[i];
        EXPECT_FALSE(in.fail()) << lines[i];
    }
    return items;
}

// A long of 4 bytes at `address`, sensor number 1.
std::string Long(const std::string& name, std::int32_t address, const std::string& value = "5") {
    return "4,0," + value + ",," + name + ",1,0,0,100000,0,4,0," + std::to_string(address);
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const std::string kUserCommand = "8,0,r020000,,user command,1,1,0,0,0,7,0,0";
const std::string kReadyMade = "5,0,e0300ab H,,ready-made,1,3,0,0,0,7,0,0";

} // namespace

TEST(ConfigTransfer, SendLeavesOutUserCommandsAndNamesEachItem) {
    const ItemList items = Items(
        {"4,0,7200,ARGOS transmitter,On time,1,0,0,86400,1,4,0,256", kUserCommand, kReadyMade});
    const SendPlan plan = PlanSend(items);
    ASSERT_FALSE(plan.Refused());
    ASSERT_EQ(plan.items.size(), 2u) << "the user command is left out";
    EXPECT_EQ(plan.items[1].index, 2u);
    EXPECT_EQ(plan.items[1].sensor, "ARGOS transmitter");
    EXPECT_EQ(plan.items[1].commands, "E0300AB") << "upper case, as it goes out";

    const std::vector<TransferEngine::SendItem> engine = plan.EngineItems();
    ASSERT_EQ(engine.size(), 2u);
    EXPECT_EQ(engine[0].name, "On time");
    EXPECT_EQ(engine[0].address, 256);
    EXPECT_EQ(engine[0].commands, "E010000E010100E01021CE010320");
}

TEST(ConfigTransfer, ASendThatCannotGoRefusesWithTheWindowsMessage) {
    const ItemList items = Items({
        "4,0,7200,ARGOS transmitter,On time,1,0,0,86400,1,4,0,256",
        "1,0,300,,Too big,1,1,0,1000,0,1,0,300",
    });
    const SendPlan plan = PlanSend(items);
    EXPECT_TRUE(plan.Refused());
    EXPECT_TRUE(plan.items.empty());
    EXPECT_EQ(plan.refusal,
              "The item \"Too big\" holds the value 300, which does not fit in 1 byte.\r\n"
              "Nothing was sent.");
}

TEST(ConfigTransfer, OverlapQuestionNamesThePairsAndCountsThoseNotListed) {
    const std::string lead = "These items write the same EEPROM bytes, so in the transmitter the "
                             "later one overwrites the earlier:";
    const std::string tail = "\r\nThe ready-made sensors all sit at address 0: give each item "
                             "its own address with Modify Sensor before sending.\r\nSend anyway?";
    std::vector<std::string> crowded; // 22 items at one address: 231 pairs
    for (int i = 0; i < 22; ++i)
        crowded.push_back(Long("n" + std::to_string(i), 0x40));
    const struct {
        std::vector<std::string> lines;
        std::string starts; // "" when no question is asked
        std::string ends;
    } rows[] = {
        {{Long("a", 0x10), Long("b", 0x14), kUserCommand, kReadyMade}, "", ""},
        {{Long("a", 0x10), Long("b", 0x12)},
         lead + "\r\n\"a\" (sensor 1, address 10 H) and \"b\" (sensor 1, address 12 H)" + tail,
         tail},
        {crowded, lead + "\r\n\"n0\" (sensor 1, address 40 H) and \"n1\"",
         "\r\nand 211 more pairs" + tail},
    };
    for (const auto& row : rows) {
        const std::string text = OverlapQuestion(Items(row.lines));
        EXPECT_EQ(text.rfind(row.starts, 0), 0u) << text;
        EXPECT_EQ(text.empty(), row.starts.empty()) << text;
        EXPECT_TRUE(EndsWith(text, row.ends)) << text;
    }
}

TEST(ConfigTransfer, ReadPlansAndWhereTheirValuesGo) {
    const ItemList items = Items({
        Long("a", 0x10),
        kUserCommand,
        kReadyMade,
        "3,0,,,empty,1,0,0,0,0,0,0,256",
        "3,0,AB,,huge,1,0,0,0,0,300,0,512",
        Long("b", 0xFFFE),
    });
    const struct {
        ReadScope scope;
        std::vector<std::size_t> at;
    } rows[] = {
        {ReadScope::EveryItem, {0, 1, 2, 3, 4, 5}},
        {ReadScope::ValuedItems, {0, 4, 5}},
    };
    for (const auto& row : rows) {
        const ReadPlan plan = PlanRead(items, row.scope);
        EXPECT_EQ(plan.at, row.at);
        ASSERT_EQ(plan.items.size(), row.at.size());
        EXPECT_TRUE(plan.skips) << "300 bytes, and bytes past FFFF";
        EXPECT_EQ(plan.items.back().name, "b");

        std::vector<std::size_t> got;
        const TransferEngine::ApplyFn apply =
            plan.ToItems([&got](std::size_t item, const std::string&) { got.push_back(item); });
        for (std::size_t i = 0; i < plan.items.size(); ++i)
            apply(i, "1");
        EXPECT_EQ(got, row.at);
    }
    EXPECT_FALSE(PlanRead(Items({Long("a", 0)}), ReadScope::EveryItem).skips);
}

TEST(ConfigTransfer, ValuesReadAreAppliedAndComparedAsTheWindowReportsThem) {
    const ItemList items = Items({Long("a", 0x10, "7"), Long("b", 0x14, "8"), Long("c", 0x18)});
    const ReadValues read = {"7", std::nullopt, "6"};
    const std::vector<Difference> differences = CompareValues(items, read);
    EXPECT_EQ(ComparisonText(items, differences), "These items differ from the transmitter:\r\n"
                                                  "\"c\" (sensor 1, address 18 H): file 5, "
                                                  "transmitter 6");
    EXPECT_EQ(ComparisonText(items, {}),
              "The transmitter holds the same values as the configuration.");

    EXPECT_EQ(ApplyValues(items, read), 2u);
    EXPECT_EQ(items[1]->GetValueText(), "8") << "not read: kept";
    EXPECT_EQ(items[2]->GetValueText(), "6");
    EXPECT_TRUE(CompareValues(items, read).empty());

    const std::vector<Difference> many(23, differences[0]);
    EXPECT_TRUE(EndsWith(ComparisonText(items, many), "file 5, transmitter 6\r\nand 3 more items"));
}
