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

TEST(ModSensorXfer, FillsFromTheItemAndWritesTheAddressBackInHex) {
    RecordingUi ui;
    auto item = LongItem();
    ModSensorXfer xfer = Filled(*item);
    EXPECT_EQ(xfer.address, "8000 H");
    EXPECT_EQ(xfer.types, (std::vector<std::string>{"char", "int", "long", "string",
                                                    "unformatted string", "float", "ASCII string",
                                                    "User command", "Baud rate", "PTT ID number"}));
    EXPECT_EQ(xfer.types[static_cast<std::size_t>(xfer.selected)], "long");
    EXPECT_EQ((std::vector<std::string>{xfer.name, xfer.value, xfer.max, xfer.min, xfer.size}),
              (std::vector<std::string>{"Rate", "255", "1000", "0", "4"}));
    EXPECT_EQ((std::vector<std::uint32_t>{xfer.hex, xfer.user, xfer.list}),
              (std::vector<std::uint32_t>{0, 0, 0}));

    xfer.address = "100";
    nimbrel::ApplyModSensorXfer(xfer, *item);
    EXPECT_EQ(item->GetAddress(), 256);

    item->SetHex(true);
    item->SetList(true);
    item->SetMax("{90,200}");
    xfer = Filled(*item);
    EXPECT_EQ(xfer.max, "{90,200}");
    EXPECT_EQ(xfer.min, "0");
    EXPECT_EQ(xfer.list, 1u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ModSensorXfer, TypeEntriesByFirstCharacterAndSizeProposals) {
    const auto& entries = nimbrel::ModSensorTypeEntries();
    for (std::int32_t type = 1; type <= 10; ++type) {
        const std::string& entry =
            entries[static_cast<std::size_t>(nimbrel::EntryIndexOfType(type))];
        EXPECT_EQ(entry, nimbrel::TypeLabel(type));
        EXPECT_EQ(nimbrel::TypeCodeOfEntry(entry), type) << entry;
    }
    EXPECT_EQ(nimbrel::EntryIndexOfType(0), 0) << "an unknown code shows char";
    EXPECT_EQ(nimbrel::EntryIndexOfType(11), 0);

    const std::pair<const char*, const char*> proposals[] = {{"float", "4"},
                                                             {"char", "1"},
                                                             {"int", "2"},
                                                             {"long", "4"},
                                                             {"string", nullptr},
                                                             {"Baud rate", nullptr},
                                                             {"PTT ID number", nullptr},
                                                             {"unformatted string", nullptr}};
    for (const auto& [entry, size] : proposals) {
        const auto proposed = nimbrel::ProposedSize(entry);
        EXPECT_EQ(proposed.has_value(), size != nullptr) << entry;
        if (proposed && size) {
            EXPECT_EQ(*proposed, size) << entry;
        }
    }
}

TEST(ModSensorXfer, HexBoxReshowsNumbersInTheOtherBase) {
    ModSensorXfer form = Filled(*LongItem());
    EXPECT_EQ(nimbrel::ToggleHex(form, true), std::nullopt);
    EXPECT_EQ((std::vector<std::string>{form.value, form.max, form.min}),
              (std::vector<std::string>{"ff H", "3e8 H", "0 H"}));
    EXPECT_EQ(form.hex, 1u);
    form.value = "FF H"; // read lower-cased
    EXPECT_EQ(nimbrel::ToggleHex(form, false), std::nullopt);
    EXPECT_EQ((std::vector<std::string>{form.value, form.max, form.min}),
              (std::vector<std::string>{"255", "1000", "0"}));

    // Limits follow for every type, the value only for whole numbers; texts
    // that are not numbers stay as typed.
    Select(form, nimbrel::kTypeUserCommand);
    form.value = "100";
    form.min = "lo";
    EXPECT_EQ(nimbrel::ToggleHex(form, true), std::nullopt);
    EXPECT_EQ((std::vector<std::string>{form.value, form.max, form.min}),
              (std::vector<std::string>{"100", "3e8 H", "lo"}));

    // With the list checked (an item that came hex), unchecking changes only the value.
    form = Filled(*LongItem());
    form.hex = 1;
    form.list = 1;
    form.value = "ff H";
    form.max = "{255}";
    form.min = "0";
    EXPECT_EQ(nimbrel::ToggleHex(form, false), std::nullopt);
    EXPECT_EQ((std::vector<std::string>{form.value, form.max, form.min}),
              (std::vector<std::string>{"255", "{255}", "0"}));
}

TEST(ModSensorXfer, HexBoxRefusals) {
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
        const ModSensorXfer before = form;
        EXPECT_EQ(nimbrel::ToggleHex(form, c.checked), c.refusal) << c.type;
        EXPECT_EQ(form.hex, before.hex);
        EXPECT_EQ(form.value, before.value);
        EXPECT_EQ(form.max, before.max);
    }
}

TEST(ModSensorXfer, ListBoxPutsSkeletonAndKeepsTheListDecimal) {
    ModSensorXfer form = Filled(*LongItem());
    nimbrel::ToggleList(form, true);
    EXPECT_EQ(form.max, "{}");
    EXPECT_EQ(form.min, "");
    nimbrel::ToggleList(form, false);
    EXPECT_EQ(form.max, "0");
    EXPECT_EQ(form.min, "0");

    ASSERT_EQ(nimbrel::ToggleHex(form, true), std::nullopt);
    nimbrel::ToggleList(form, true);
    EXPECT_EQ(form.hex, 0u) << "checking the list turns hex off";
    EXPECT_EQ(form.value, "255");

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
    EXPECT_FALSE(item->GetHex());
    EXPECT_TRUE(item->GetList());
    EXPECT_EQ(item->GetValueText(), "200");
    EXPECT_EQ(item->GetMaxText(), "{90,200}");
    EXPECT_EQ(item->GetMinText(), "0");
    EXPECT_TRUE(item->Validator().IsValid());
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
        {"Rate, seconds", "0 H", comma},
        {"Rate", "ffff H", std::nullopt},
        {"Rate", "0", std::nullopt},
        {"Rate", "0x10", std::nullopt},
        {"Rate", "10000 H", range},
        {"Rate", "-1", range},
        {"Rate", "ffffffff H", range},
        {"Rate", "zz", range},
        {"Rate", "", range},
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
    auto item = LongItem();
    item->SetHex(true);
    ModSensorXfer form = Filled(*item);
    ASSERT_EQ(form.max, "3e8 H");
    Select(form, nimbrel::kTypeFloat);
    nimbrel::ApplyModSensorXfer(form, *item);
    EXPECT_EQ(item->GetType(), nimbrel::kTypeFloat);
    EXPECT_FALSE(item->GetHex());
    EXPECT_EQ(item->GetMaxText(), "1000");
    EXPECT_EQ(item->GetMinText(), "0");
    EXPECT_EQ(item->GetValueText(), "255");
    EXPECT_EQ(item->Validator().Max(), 1000.0);

    // A hex item whose value text is not a number keeps it as typed.
    item = LongItem();
    item->SetHex(true);
    form = Filled(*item);
    form.value = "ff?";
    Select(form, nimbrel::kTypeFloat);
    nimbrel::ApplyModSensorXfer(form, *item);
    EXPECT_EQ(item->GetValueText(), "ff?");
    EXPECT_TRUE(ui.messages.empty());

    // The item's own rules still apply: a string is hex, a float decimal.
    item = LongItem();
    form = Filled(*item);
    Select(form, nimbrel::kTypeString);
    form.value = "12ab";
    nimbrel::ApplyModSensorXfer(form, *item);
    EXPECT_TRUE(item->GetHex());
    EXPECT_EQ(item->GetValueText(), "12ab");
    EXPECT_EQ(item->GetMaxText(), "3e8 H");
    EXPECT_EQ(item->GetSize(), 4) << "the size text";
}

TEST(ModSensorXfer, UnknownTypeBecomesCharAndUnchangedRecordLeavesItemAlone) {
    RecordingUi ui;
    auto odd = LongItem();
    odd->SetType(0);
    ui.Clear();
    ModSensorXfer form = Filled(*odd);
    EXPECT_EQ(form.types[static_cast<std::size_t>(form.selected)], "char");
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
