#include "config/modsensorxfer.h"

#include "config/displayline.h"
#include "tests/support/recordingui.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

using nimbrel::DisplayLine;
using nimbrel::EditorMessage;
using nimbrel::ModSensorXfer;
using nimbrel::test::RecordingUi;

namespace {

// A decimal long item: value 255, limits 0 to 1000, address 8000 H.
std::unique_ptr<DisplayLine> LongItem() {
    auto item =
        std::make_unique<DisplayLine>(0, "ARGOS", "1", "Rate", "255", nimbrel::kTypeLong, 4);
    item->SetMin(0);
    item->SetMax(1000);
    item->SetAddress(0x8000);
    item->SetUser(false);
    return item;
}

ModSensorXfer Filled(const DisplayLine& item) {
    ModSensorXfer xfer;
    nimbrel::FillModSensorXfer(item, xfer);
    return xfer;
}

void Select(ModSensorXfer& xfer, std::int32_t type) {
    xfer.selected = nimbrel::EntryIndexOfType(type);
}

// The record's texts and states, as one comparable text.
std::string Texts(const ModSensorXfer& x) {
    std::ostringstream out;
    out << x.address << '|' << x.types.at(static_cast<std::size_t>(x.selected)) << '|' << x.name
        << '|' << x.value << '|' << x.max << '|' << x.min << '|' << x.size << '|' << x.hex << x.user
        << x.list;
    return out.str();
}

// Everything an item holds, as one comparable text.
std::string State(const DisplayLine& a) {
    std::ostringstream out;
    out << a.GetType() << '|' << a.GetHex() << '|' << a.GetValueText() << '|' << a.GetName() << '|'
        << a.GetList() << '|' << a.GetMaxText() << '|' << a.GetMinText() << '|' << a.GetSize()
        << '|' << a.GetUser() << '|' << a.GetAddress() << '|' << a.Validator().Max() << '|'
        << a.Validator().Min();
    return out.str();
}

} // namespace

TEST(ModSensorXfer, FillsFromTheItemAndReadsTheAddressInHex) {
    RecordingUi ui;
    auto item = LongItem();
    ModSensorXfer xfer = Filled(*item);
    EXPECT_EQ(Texts(xfer), "8000 H|long|Rate|255|1000|0|4|000");
    EXPECT_EQ(xfer.types, (std::vector<std::string>{"char", "int", "long", "string",
                                                    "unformatted string", "float", "ASCII string",
                                                    "User command", "Baud rate", "PTT ID number"}));
    xfer.address = "100";
    nimbrel::ApplyModSensorXfer(xfer, *item);
    EXPECT_EQ(item->GetAddress(), 256);

    item->SetList(true);
    item->SetMax("{90,200}");
    EXPECT_EQ(Texts(Filled(*item)), "100 H|long|Rate|255|{90,200}|0|4|001");
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ModSensorXfer, TypeEntriesByFirstCharacterAndSizeProposals) {
    std::vector<std::int32_t> codes;
    std::vector<std::string> sizes;
    for (const std::string& entry : nimbrel::ModSensorTypeEntries()) {
        codes.push_back(nimbrel::TypeCodeOfEntry(entry));
        sizes.push_back(nimbrel::ProposedSize(entry).value_or("-"));
    }
    EXPECT_EQ(codes, (std::vector<std::int32_t>{1, 2, 4, 3, 5, 6, 7, 8, 10, 9}));
    EXPECT_EQ(sizes, (std::vector<std::string>{"1", "2", "4", "-", "-", "4", "-", "-", "-", "-"}));
    EXPECT_EQ(nimbrel::EntryIndexOfType(11), 0) << "an unknown code shows char";
}

TEST(ModSensorXfer, HexBoxReshowsNumbersInTheOtherBase) {
    ModSensorXfer form = Filled(*LongItem());
    EXPECT_EQ(nimbrel::ToggleHex(form, true), std::nullopt);
    EXPECT_EQ(Texts(form), "8000 H|long|Rate|ff H|3e8 H|0 H|4|100");
    form.value = "FF H"; // read lower-cased
    EXPECT_EQ(nimbrel::ToggleHex(form, false), std::nullopt);
    EXPECT_EQ(Texts(form), "8000 H|long|Rate|255|1000|0|4|000");

    // Limits follow for every type, the value only for whole numbers; texts
    // that are not numbers stay as typed.
    Select(form, nimbrel::kTypeUserCommand);
    form.value = "100";
    form.min = "lo";
    EXPECT_EQ(nimbrel::ToggleHex(form, true), std::nullopt);
    EXPECT_EQ(Texts(form), "8000 H|User command|Rate|100|3e8 H|lo|4|100");

    // With the list checked (an item that came hex), unchecking changes only the value.
    form = Filled(*LongItem());
    form.hex = 1;
    form.list = 1;
    form.value = "ff H";
    form.max = "{255}";
    EXPECT_EQ(nimbrel::ToggleHex(form, false), std::nullopt);
    EXPECT_EQ(Texts(form), "8000 H|long|Rate|255|{255}|0|4|001");
}

TEST(ModSensorXfer, HexBoxRefusalsChangeNothing) {
    const struct {
        std::int32_t type;
        bool list;
        bool checked;
        EditorMessage refusal;
    } cases[] = {
        {nimbrel::kTypeFloat, false, true, {"Hex not allowed for floats or literal strings", ""}},
        {nimbrel::kTypeAscii, false, true, {"Hex not allowed for floats or literal strings", ""}},
        {nimbrel::kTypeString, false, false, {"Hex must be set for strings", ""}},
        {nimbrel::kTypeUnformatted, false, false, {"Hex must be set for strings", ""}},
        {nimbrel::kTypeLong, true, true, {"Lists must be decimal.", "Configuration error"}},
    };
    for (const auto& c : cases) {
        ModSensorXfer form = Filled(*LongItem());
        Select(form, c.type);
        form.hex = c.checked ? 0 : 1;
        form.list = c.list ? 1 : 0;
        const std::string before = Texts(form);
        EXPECT_EQ(nimbrel::ToggleHex(form, c.checked), c.refusal) << c.type;
        EXPECT_EQ(Texts(form), before);
    }
}

TEST(ModSensorXfer, ListBoxPutsSkeletonAndKeepsTheListDecimal) {
    ModSensorXfer form = Filled(*LongItem());
    nimbrel::ToggleList(form, true);
    EXPECT_EQ(Texts(form), "8000 H|long|Rate|255|{}||4|000");
    nimbrel::ToggleList(form, false);
    EXPECT_EQ(Texts(form), "8000 H|long|Rate|255|0|0|4|000");
    ASSERT_EQ(nimbrel::ToggleHex(form, true), std::nullopt);
    nimbrel::ToggleList(form, true);
    EXPECT_EQ(Texts(form), "8000 H|long|Rate|255|{}||4|000") << "hex turned off";

    // A record with both set (an item that came hex) gives a decimal list item
    // whose value keeps its number.
    RecordingUi ui;
    auto item = LongItem();
    form = Filled(*item);
    form.hex = 1;
    form.list = 1;
    form.value = "c8 H";
    form.max = "{90,200}";
    nimbrel::ApplyModSensorXfer(form, *item);
    EXPECT_EQ(State(*item), "4|0|200|Rate|1|{90,200}|0|4|0|32768|1000|0");
    EXPECT_TRUE(item->Validator().IsValid());
    EXPECT_TRUE(ui.messages.empty());

    // Back out of the list and into hex in the same OK: the item takes both.
    form = Filled(*item);
    nimbrel::ToggleList(form, false);
    form.list = 0;
    ASSERT_EQ(nimbrel::ToggleHex(form, true), std::nullopt);
    form.max = "3e8 H";
    nimbrel::ApplyModSensorXfer(form, *item);
    EXPECT_EQ(State(*item), "4|1|c8 H|Rate|0|3e8 H|0 H|4|0|32768|1000|0");
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ModSensorXfer, OkCheckRefusesCommasAndAddressesOutsideMemory) {
    const EditorMessage comma{"Commas not allowed in description", "Error"};
    const EditorMessage range{"The address must lie between 0 H and ffff H.", "Error"};
    const struct {
        const char* name;
        const char* address;
        std::optional<EditorMessage> refusal;
    } cases[] = {
        {"Rate, seconds", "0 H", comma}, {"Rate", "ffff H", std::nullopt},
        {"Rate", "0x10", std::nullopt},  {"Rate", "10000 H", range},
        {"Rate", "-1", range},           {"Rate", "ffffffff H", range},
        {"Rate", "zz", range},           {"Rate", "", range},
    };
    for (const auto& c : cases) {
        ModSensorXfer form = Filled(*LongItem());
        form.name = c.name;
        form.address = c.address;
        EXPECT_EQ(nimbrel::CheckModSensorXfer(form), c.refusal) << c.name << " " << c.address;
    }
}

TEST(ModSensorXfer, TypeAndBaseChangesKeepTheNumbers) {
    RecordingUi ui;
    const struct {
        bool hex;
        std::int32_t type;
        const char* value;
        const char* state; // State() after OK
    } cases[] = {
        // A hex long made float keeps its value and limits, shown in decimal.
        {true, nimbrel::kTypeFloat, "ff H", "6|0|255|Rate|0|1000|0|4|0|32768|1000|0"},
        {true, nimbrel::kTypeFloat, "ff?", "6|0|ff?|Rate|0|1000|0|4|0|32768|1000|0"},
        // The item's own rules still apply: a string is hex.
        {false, nimbrel::kTypeString, "12ab", "3|1|12ab|Rate|0|3e8 H|0 H|4|0|32768|1000|0"},
    };
    for (const auto& c : cases) {
        auto item = LongItem();
        item->SetHex(c.hex);
        ModSensorXfer form = Filled(*item);
        Select(form, c.type);
        form.value = c.value;
        nimbrel::ApplyModSensorXfer(form, *item);
        EXPECT_EQ(State(*item), c.state);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ModSensorXfer, UnknownTypeBecomesCharAndUnchangedRecordLeavesItemAlone) {
    RecordingUi ui;
    auto odd = LongItem();
    odd->SetType(0);
    ui.Clear();
    ModSensorXfer form = Filled(*odd);
    EXPECT_EQ(form.selected, 0);
    nimbrel::ApplyModSensorXfer(form, *odd);
    EXPECT_EQ(odd->GetType(), nimbrel::kTypeChar);

    std::vector<std::unique_ptr<DisplayLine>> items;
    items.push_back(LongItem());
    items.push_back(LongItem());
    items.back()->SetHex(true);
    items.push_back(std::make_unique<DisplayLine>(0, "", "1", "Rep", "90", nimbrel::kTypeLong, 4));
    items.back()->SetMin(0);
    items.back()->SetList(true);
    items.back()->SetMax("{90,200}");
    items.push_back(
        std::make_unique<DisplayLine>(0, "", "1", "Gain", "1.500000", nimbrel::kTypeFloat, 4));
    items.back()->SetMin(-5);
    items.back()->SetMax(5);
    items.push_back(
        std::make_unique<DisplayLine>(0, "", "1", "Key", "0a1b", nimbrel::kTypeString, 2));
    items.back()->SetType(nimbrel::kTypeString);
    items.back()->SetMin(0);
    items.back()->SetMax(0);
    items.back()->SetSize(6);
    for (const auto& item : items) {
        const std::string before = State(*item);
        nimbrel::ApplyModSensorXfer(Filled(*item), *item);
        EXPECT_EQ(State(*item), before);
    }
    EXPECT_TRUE(ui.messages.empty());
}
