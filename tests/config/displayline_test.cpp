#include "config/displayline.h"
#include "config/rowview.h"
#include "tests/support/recordingui.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

using nimbrel::DisplayLine;
using nimbrel::test::RecordingUi;

namespace {

std::unique_ptr<DisplayLine> Item(std::int32_t type, const std::string& value = "0",
                                  std::int32_t size = 1) {
    return std::make_unique<DisplayLine>(0, "Sensor", "1", "Item", value, type, size);
}

// Records what the item pushes to its row.
struct FakeRow : nimbrel::RowView {
    void ShowValue(const std::string& t) override { value = t; }
    void ShowSensor(const std::string& t) override { sensor = t; }
    void ShowName(const std::string& t) override { name = t; }
    void ShowNumber(const std::string& t) override { number = t; }
    void ShowReadOnly(bool r) override { readOnly = r; }
    void Place(int i) override { placed = i; }
    void Repaint() override { ++repaints; }
    std::string value, sensor, name, number;
    bool readOnly = false;
    int placed = -1, repaints = 0;
};

} // namespace

TEST(NumberText, ParsingIsStrtolLikeOnThirtyTwoBits) {
    const struct {
        const char* text;
        bool hex;
        std::int32_t value;
    } cases[] = {
        {"ff H", true, 255},
        {"1A", true, 26},
        {"0x1A", true, 26},
        {"  -1a H", true, -26},
        {"1A", false, 1},
        {"0x1A", false, 0},
        {" \t+42xyz", false, 42},
        {"abc", false, 0},
        {"- 5", false, 0},
        {"2147483648", false, INT_MAX},
        {"-2147483649", false, INT_MIN},
        {"fffffffb H", true, -5},
        {"80000000 H", true, INT_MIN},
        {"123456789 H", true, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DisplayLine::StringToLong(c.text, c.hex), c.value) << c.text;
    EXPECT_EQ(DisplayLine::LongToString(-5, true), "fffffffb H");
    for (std::int32_t v : {0, -1, 255, INT_MAX, INT_MIN}) {
        for (bool hex : {false, true})
            EXPECT_EQ(DisplayLine::StringToLong(DisplayLine::LongToString(v, hex), hex), v);
    }
}

TEST(DisplayLineItem, NewItemIsDecimalNotAListAtAddressZeroAndReadOnly) {
    RecordingUi ui;
    DisplayLine item(3, "S", "2", "N", "ff", nimbrel::kTypeLong, 9);
    EXPECT_FALSE(item.GetHex());
    EXPECT_FALSE(item.GetList());
    EXPECT_EQ(item.GetAddress(), 0);
    EXPECT_TRUE(item.GetUser());
    EXPECT_EQ(item.GetSize(), 4) << "the size argument only matters for char";
    EXPECT_EQ(item.GetValueText(), "0") << "a whole number is re-shown by SetHex(false)";
    EXPECT_EQ(item.GetDisplayYPos(), 100);
    EXPECT_EQ(Item(nimbrel::kTypeChar, "0", 3)->GetSize(), 3);
    EXPECT_EQ(Item(nimbrel::kTypeChar, "0", 0)->GetSize(), 1);
    EXPECT_EQ(Item(nimbrel::kTypeAscii, "hello")->GetSize(), 5);
    EXPECT_EQ(Item(0, "0", 7)->GetSize(), 1);
    EXPECT_TRUE(ui.messages.empty()) << "the constructor does not report an invalid type";
}

TEST(DisplayLineItem, HexSwitchReshowsValueAndLimitsAndKeepsNegativeValues) {
    auto item = Item(nimbrel::kTypeLong);
    item->SetValue(255);
    item->SetMax(4096);
    item->SetMin(-5);
    item->SetHex(true);
    EXPECT_EQ(item->GetValueText(), "ff H");
    EXPECT_EQ(item->GetMaxText(), "1000 H");
    EXPECT_EQ(item->GetMinText(), "fffffffb H");
    EXPECT_EQ(item->Validator().Min(), -5.0f);
    item->SetHex(false);
    EXPECT_EQ(item->GetValueText(), "255");
    EXPECT_EQ(item->GetMinText(), "-5");
}

TEST(DisplayLineItem, SetTypeForcesHexFlagAndSize) {
    RecordingUi ui;
    auto item = Item(nimbrel::kTypeLong, "1234");
    item->SetValue("1234");
    item->SetType(nimbrel::kTypeString);
    EXPECT_TRUE(item->GetHex());
    EXPECT_EQ(item->GetSize(), 4);
    item->SetType(nimbrel::kTypeAscii);
    EXPECT_FALSE(item->GetHex());
    item->SetType(nimbrel::kTypeUnformatted);
    EXPECT_TRUE(item->GetHex());
    item->SetType(nimbrel::kTypeUserCommand);
    EXPECT_FALSE(item->GetHex());
    item->SetSize(2);
    item->SetType(nimbrel::kTypeChar);
    EXPECT_EQ(item->GetSize(), 2) << "char keeps a size of 1 or more";
    EXPECT_TRUE(ui.messages.empty());

    item->SetType(0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Unknown type");
    EXPECT_EQ(ui.messages[0].caption, "Type Error");
    EXPECT_EQ(ui.messages[0].icon, nimbrel::Icon::Exclamation);
    EXPECT_EQ(item->GetType(), 0);
    EXPECT_EQ(item->GetSize(), 2);
}

TEST(DisplayLineItem, FloatsAndListsRefuseHex) {
    RecordingUi ui;
    auto item = Item(nimbrel::kTypeLong);
    item->SetHex(true);
    item->SetType(nimbrel::kTypeFloat);
    EXPECT_FALSE(item->GetHex());
    item->SetHex(true);
    EXPECT_FALSE(item->GetHex());
    auto list = Item(nimbrel::kTypeLong);
    list->SetList(true);
    list->SetType(nimbrel::kTypeString);
    EXPECT_FALSE(list->GetHex());
    EXPECT_EQ(ui.Texts(),
              (std::vector<std::string>{"Hex not allowed for floats", "Lists must be decimal."}));
    EXPECT_EQ(ui.messages[0].caption, "Type Error");
    EXPECT_EQ(ui.messages[1].caption, "Configuration error");
}

TEST(DisplayLineItem, OnlyNumericLimitsReachTheValidator) {
    auto item = Item(nimbrel::kTypeLong);
    item->SetMin(1);
    item->SetMax(86400);
    item->SetMax("{90,200}");
    EXPECT_EQ(item->GetMaxText(), "{90,200}");
    EXPECT_EQ(item->Validator().Max(), 86400.0f);
}

TEST(DisplayLineItem, FloatTextsAreDecimalWithSixPlaces) {
    auto item = Item(nimbrel::kTypeFloat);
    item->SetValue(-1.5f);
    EXPECT_EQ(item->GetValueText(), "-1.500000");
    const std::pair<const char*, float> cases[] = {
        {"  2.75e1xyz", 27.5f}, {".5", 0.5f}, {"abc", 0}, {"inf", 0}, {"nan", 0}, {"0x1p3", 0}};
    for (const auto& [text, expected] : cases) {
        float f = -1;
        item->SetValue(text);
        item->GetValue(f);
        EXPECT_EQ(f, expected) << text;
    }
}

TEST(DisplayLineItem, TextsAreCappedAt254CharactersAndEndAtANul) {
    const std::string longText(300, 'x');
    DisplayLine item(0, longText, "1", longText, longText, nimbrel::kTypeAscii, 1);
    item.SetMax(longText);
    EXPECT_EQ(item.GetValueText().size(), 254u);
    EXPECT_EQ(item.GetName().size(), 254u);
    EXPECT_EQ(item.GetSensor().size(), 254u);
    EXPECT_EQ(item.GetMaxText().size(), 254u);
    EXPECT_EQ(item.GetSize(), 254);
    item.SetName(std::string("ab\0cd", 5));
    EXPECT_EQ(item.GetName(), "ab");
}

TEST(DisplayLineItem, AttachedRowMirrorsEverySetter) {
    auto item = Item(nimbrel::kTypeLong);
    FakeRow row;
    item->SetIndex(4);
    item->AttachView(&row);
    EXPECT_EQ(row.value + row.sensor + row.name + row.number, "0SensorItem1");
    EXPECT_TRUE(row.readOnly);
    EXPECT_EQ(row.placed, 4);

    item->SetValue(255);
    item->SetHex(true);
    EXPECT_EQ(row.value, "ff H");
    item->SetName(std::string(300, 'n'));
    EXPECT_EQ(row.name.size(), 254u);
    item->SetSensor("GPS");
    item->SetNumber(12);
    item->SetUser(false);
    item->SetIndex(7);
    item->SendPaint();
    EXPECT_EQ(row.sensor + row.number, "GPS12");
    EXPECT_FALSE(row.readOnly);
    EXPECT_EQ(row.placed, 7);
    EXPECT_EQ(row.repaints, 1);
    EXPECT_EQ(DisplayLine::GetScreenPos(INT_MAX), INT_MAX) << "no overflow for a wild index";

    item->AttachView(nullptr);
    item->SetValue("1");
    EXPECT_EQ(row.value, "ff H");
}
