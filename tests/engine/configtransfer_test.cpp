// What a configuration transfer sends and reads, prepared from the items:
// the send list and what stops it, the read list, applying and comparing.
#include "engine/configtransfer.h"

#include "config/configfile.h"
#include "engine/backupsend.h"
#include "tests/support/itemlines.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace nimbrel;
using nimbrel::test::Items;

namespace {

// A long of 4 bytes at `address`, sensor number 1.
std::string Long(const std::string& name, std::int32_t address) {
    return "4,0,5,," + name + ",1,0,0,100000,0,4,0," + std::to_string(address);
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const std::string kUserCommand = "8,0,r020000,,user command,1,1,0,0,0,7,0,0";
const std::string kReadyMade = "5,0,e0300ab H,,ready-made,1,3,0,0,0,7,0,0";

} // namespace

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

// The window's tests check the texts of one pair and of one difference.
TEST(ConfigTransfer, ListsInMessagesStopAfterTwentyLines) {
    std::vector<std::string> crowded; // 22 items at one address: 231 pairs
    for (int i = 0; i < 22; ++i)
        crowded.push_back(Long("n" + std::to_string(i), 0x40));
    EXPECT_TRUE(OverlapQuestion(Items({Long("a", 0x10), Long("b", 0x14), kUserCommand, kReadyMade}))
                    .empty());
    EXPECT_TRUE(EndsWith(OverlapQuestion(Items(crowded)),
                         "\"n6\" (sensor 1, address 40 H)\r\nand 211 more pairs\r\nThe ready-made "
                         "sensors all sit at address 0: give each item its own address with Modify "
                         "Sensor before sending.\r\nSend anyway?"));

    const ItemList items = Items({Long("a", 0x10)});
    const std::vector<Difference> many(23, {0, "a", "sensor 1", 0x10, "5", "6"});
    EXPECT_TRUE(EndsWith(ComparisonText(items, many), "file 5, transmitter 6\r\nand 3 more items"));
    EXPECT_EQ(ComparisonText(items, {}),
              "The transmitter holds the same values as the configuration.");
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
        ReadValues values(items.size());
        const TransferEngine::ApplyFn apply =
            plan.ToItems([&values](std::size_t item, const std::string& v) { values[item] = v; });
        apply(plan.items.size() - 1, "9");
        EXPECT_EQ(values[5], "9") << "the last entry is item b";
        EXPECT_EQ(ApplyValues(items, values), 1u);
        EXPECT_EQ(items[5]->GetValueText(), "9");
        EXPECT_EQ(items[0]->GetValueText(), "5") << "not read: kept";
    }
    EXPECT_FALSE(PlanRead(Items({Long("a", 0)}), ReadScope::EveryItem).skips);
}

// Each address is written once, with what the send leaves there, and only
// when the transmitter holds something else: an item overwritten by a later
// one does not write what the later one puts back.
TEST(ConfigTransfer, AChangesOnlySendWritesEachDifferingByteOnceAsTheSendLeavesIt) {
    const ItemList items = Items({
        "4,0,258,,long,1,0,0,100000,0,4,0,16",       // 00 00 01 02 at 10..13
        "2,0,772,,int over it,1,1,0,65535,0,2,0,18", // 03 04 at 12..13
        "5,0,e0020ab,,ready-made,1,2,0,0,0,7,0,0",   // ab at 20
        "5,0,TTTTTTT,,not a write,1,3,0,0,0,7,0,0",
    });
    const SendPlan plan = PlanSend(items);
    const std::vector<PlannedByte> bytes = PlannedBytes(plan);
    ASSERT_EQ(bytes.size(), 5u);
    EXPECT_EQ(bytes[2].address, 0x12);
    EXPECT_EQ(bytes[2].value, 0x03);
    EXPECT_EQ(bytes[2].item, 1u);

    struct Row {
        std::vector<std::uint8_t> held; // at 10, 11, 12, 13, 20
        std::vector<std::string> commands;
    };
    const std::vector<Row> rows = {
        {{0, 0, 3, 4, 0xab}, {"", "", "", "TTTTTTT"}},
        {{0, 0, 1, 2, 0xab}, {"", "E001203E001304", "", "TTTTTTT"}},
        {{9, 0, 3, 4, 0}, {"E001000", "", "E0020AB", "TTTTTTT"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> commands(plan.items.size());
        for (const auto& item : ChangedItems(plan, bytes, row.held)) {
            for (std::size_t k = 0; k < plan.items.size(); ++k) {
                if (plan.items[k].name == item.name) commands[k] = item.commands;
            }
        }
        EXPECT_EQ(commands, row.commands);
    }
}
