#include "config/displayline.h"
#include "config/rowview.h"
#include "tests/support/recordingui.h"

#include <gtest/gtest.h>

#include <memory>

#include <climits>

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
    int placed = -1;
    int repaints = 0;
};

} // namespace

TEST(NumberText, ParsingIsStrtolLikeUnderTheHexFlag) {
    EXPECT_EQ(DisplayLine::StringToLong("ff H", true), 255);
    EXPECT_EQ(DisplayLine::StringToLong("1A", true), 26);
    EXPECT_EQ(DisplayLine::StringToLong("1A H", true), 26);
    EXPECT_EQ(DisplayLine::StringToLong("0x1A", true), 26);
    EXPECT_EQ(DisplayLine::StringToLong("  -1a", true), -26);
    EXPECT_EQ(DisplayLine::StringToLong("1A", false), 1);
    EXPECT_EQ(DisplayLine::StringToLong("0x1A", false), 0);
    EXPECT_EQ(DisplayLine::StringToLong(" \t+42xyz", false), 42);
    EXPECT_EQ(DisplayLine::StringToLong("-5", false), -5);
    EXPECT_EQ(DisplayLine::StringToLong("abc", false), 0);
    EXPECT_EQ(DisplayLine::StringToLong("", true), 0);
    EXPECT_EQ(DisplayLine::StringToLong("- 5", false), 0);
}

TEST(NumberText, DecimalSaturatesAndHexReadsTheThirtyTwoBitPattern) {
    EXPECT_EQ(DisplayLine::StringToLong("2147483647", false), INT_MAX);
    EXPECT_EQ(DisplayLine::StringToLong("2147483648", false), INT_MAX);
    EXPECT_EQ(DisplayLine::StringToLong("99999999999999999999", false), INT_MAX);
    EXPECT_EQ(DisplayLine::StringToLong("-2147483648", false), INT_MIN);
    EXPECT_EQ(DisplayLine::StringToLong("-2147483649", false), INT_MIN);
    EXPECT_EQ(DisplayLine::StringToLong("fffffffb H", true), -5);
    EXPECT_EQ(DisplayLine::StringToLong("80000000 H", true), INT_MIN);
    EXPECT_EQ(DisplayLine::StringToLong("123456789 H", true), -1) << "beyond 32 bits: all ones";
    EXPECT_EQ(DisplayLine::LongToString(-5, true), "fffffffb H");
    EXPECT_EQ(DisplayLine::LongToString(255, true), "ff H");
    EXPECT_EQ(DisplayLine::LongToString(INT_MIN, false), "-2147483648");
}

TEST(NumberText, EveryValueSurvivesBothBases) {
    for (std::int32_t v : {0, 1, -1, -5, 255, 65535, INT_MAX, INT_MIN, 123456789}) {
        for (bool hex : {false, true}) {
            EXPECT_EQ(DisplayLine::StringToLong(DisplayLine::LongToString(v, hex), hex), v)
                << v << (hex ? " hex" : " decimal");
        }
    }
}

TEST(DisplayLineItem, NewItemIsDecimalNotAListAtAddressZeroAndReadOnly) {
    RecordingUi ui;
    auto item = std::make_unique<DisplayLine>(3, "S", "2", "N", "ff", nimbrel::kTypeLong, 9);
    EXPECT_FALSE(item->GetHex());
    EXPECT_FALSE(item->GetList());
    EXPECT_EQ(item->GetAddress(), 0);
    EXPECT_TRUE(item->GetUser());
    EXPECT_EQ(item->GetIndex(), 3);
    EXPECT_EQ(item->GetSize(), 4) << "the size argument only matters for char";
    EXPECT_EQ(item->GetValueText(), "0") << "a whole number is re-shown by SetHex(false)";
    EXPECT_EQ(item->GetNumber(), 2);
    EXPECT_EQ(item->GetDisplayYPos(), 100);
    EXPECT_TRUE(ui.messages.empty());

    EXPECT_EQ(Item(nimbrel::kTypeChar, "0", 3)->GetSize(), 3);
    EXPECT_EQ(Item(nimbrel::kTypeChar, "0", 0)->GetSize(), 1);
    EXPECT_EQ(Item(nimbrel::kTypeAscii, "hello", 1)->GetSize(), 5);
    EXPECT_EQ(Item(0, "0", 7)->GetSize(), 1);
    EXPECT_TRUE(ui.messages.empty()) << "the constructor does not report an invalid type";
}

TEST(DisplayLineItem, HexSwitchReshowsValueAndLimitsAndKeepsNegativeValues) {
    RecordingUi ui;
    auto item = Item(nimbrel::kTypeLong);
    item->SetValue(255);
    item->SetMax(4096);
    item->SetMin(-5);
    item->SetHex(true);
    EXPECT_EQ(item->GetValueText(), "ff H");
    EXPECT_EQ(item->GetMaxText(), "1000 H");
    EXPECT_EQ(item->GetMinText(), "fffffffb H");
    EXPECT_EQ(item->GetMin(), -5);
    EXPECT_EQ(item->Validator().Min(), -5.0f);
    item->SetHex(false);
    EXPECT_EQ(item->GetValueText(), "255");
    EXPECT_EQ(item->GetMaxText(), "4096");
    EXPECT_EQ(item->GetMinText(), "-5");

    item->SetValue("1A");
    EXPECT_EQ(item->GetValue(), 1);
    item->SetHex(true);
    item->SetValue("1A");
    EXPECT_EQ(item->GetValue(), 26);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(DisplayLineItem, SetTypeForcesTheHexFlagAndSize) {
    RecordingUi ui;
    auto item = Item(nimbrel::kTypeLong, "abcd");
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
    EXPECT_EQ(item->GetSize(), 2);

    item->SetType(nimbrel::kTypeChar);
    EXPECT_EQ(item->GetSize(), 2) << "char keeps a size of 1 or more";
    item->SetType(nimbrel::kTypeBaud);
    EXPECT_EQ(item->GetSize(), 1);
    EXPECT_TRUE(ui.messages.empty());

    item->SetType(0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Unknown type");
    EXPECT_EQ(ui.messages[0].caption, "Type Error");
    EXPECT_EQ(ui.messages[0].icon, nimbrel::Icon::Exclamation);
    EXPECT_EQ(ui.messages[0].buttons, nimbrel::Buttons::Ok);
    EXPECT_EQ(item->GetType(), 0);
    EXPECT_EQ(item->GetSize(), 1);
}

TEST(DisplayLineItem, FloatsAndListsRefuseHex) {
    RecordingUi ui;
    auto item = Item(nimbrel::kTypeLong);
    item->SetHex(true);
    item->SetType(nimbrel::kTypeFloat);
    EXPECT_FALSE(item->GetHex());
    item->SetHex(true);
    EXPECT_FALSE(item->GetHex());
    ASSERT_EQ(ui.Texts(), std::vector<std::string>{"Hex not allowed for floats"});
    EXPECT_EQ(ui.messages[0].caption, "Type Error");

    ui.Clear();
    auto list = Item(nimbrel::kTypeLong);
    list->SetList(true);
    list->SetType(nimbrel::kTypeString);
    EXPECT_FALSE(list->GetHex());
    list->SetType(nimbrel::kTypeUnformatted);
    EXPECT_FALSE(list->GetHex());
    EXPECT_EQ(ui.Texts(),
              (std::vector<std::string>{"Lists must be decimal.", "Lists must be decimal."}));
    EXPECT_EQ(ui.messages[0].caption, "Configuration error");
    EXPECT_EQ(ui.messages[0].icon, nimbrel::Icon::Exclamation);
}

TEST(DisplayLineItem, ListTextLeavesTheValidatorAloneNumericMaxSetsIt) {
    auto item = Item(nimbrel::kTypeLong);
    item->SetMin(1);
    item->SetMax(86400);
    item->SetMax("{90,200}");
    EXPECT_EQ(item->GetMaxText(), "{90,200}");
    EXPECT_EQ(item->Validator().Max(), 86400.0f);
    EXPECT_EQ(item->Validator().Min(), 1.0f);
}

TEST(DisplayLineItem, FloatValuesUseSixDecimalsAndReadOnlyDecimalNumbers) {
    auto item = Item(nimbrel::kTypeFloat);
    item->SetValue(1.5f);
    EXPECT_EQ(item->GetValueText(), "1.500000");
    item->SetValue(-0.25f);
    EXPECT_EQ(item->GetValueText(), "-0.250000");
    float f = 0;
    item->SetValue("  2.75e1xyz");
    item->GetValue(f);
    EXPECT_EQ(f, 27.5f);
    for (const char* text : {"abc", "", "inf", "nan", "0x1p3"}) {
        item->SetValue(text);
        item->GetValue(f);
        EXPECT_EQ(f, 0.0f) << text;
    }
    item->SetValue(".5");
    item->GetValue(f);
    EXPECT_EQ(f, 0.5f);
}

TEST(DisplayLineItem, TextsAreCappedAt254CharactersAndEndAtANul) {
    auto item = Item(nimbrel::kTypeAscii);
    const std::string longText(300, 'x');
    item->SetValue(longText);
    item->SetName(longText);
    item->SetSensor(longText);
    item->SetMax(longText);
    EXPECT_EQ(item->GetValueText().size(), 254u);
    EXPECT_EQ(item->GetName().size(), 254u);
    EXPECT_EQ(item->GetSensor().size(), 254u);
    EXPECT_EQ(item->GetMaxText().size(), 254u);
    item->SetName(std::string("ab\0cd", 5));
    EXPECT_EQ(item->GetName(), "ab");
    auto built =
        std::make_unique<DisplayLine>(0, longText, "1", longText, longText, nimbrel::kTypeAscii, 1);
    EXPECT_EQ(built->GetSize(), 254);
}

TEST(DisplayLineItem, AttachedRowMirrorsEverySetter) {
    auto item = Item(nimbrel::kTypeLong);
    FakeRow row;
    item->SetIndex(4);
    item->AttachView(&row);
    EXPECT_EQ(row.value, "0");
    EXPECT_EQ(row.sensor, "Sensor");
    EXPECT_EQ(row.name, "Item");
    EXPECT_EQ(row.number, "1");
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
    EXPECT_EQ(row.sensor, "GPS");
    EXPECT_EQ(row.number, "12");
    EXPECT_FALSE(row.readOnly);
    EXPECT_EQ(row.placed, 7);
    EXPECT_EQ(row.repaints, 1);

    item->AttachView(nullptr);
    item->SetValue("1");
    EXPECT_EQ(row.value, "ff H");
}

TEST(DisplayLineItem, ScreenPositionsStayInRange) {
    EXPECT_EQ(DisplayLine::GetScreenPos(0), 25);
    EXPECT_EQ(DisplayLine::GetScreenPos(-1), 0);
    EXPECT_EQ(DisplayLine::GetScreenPos(INT_MAX), INT_MAX);
    EXPECT_EQ(DisplayLine::GetScreenPos(INT_MIN), INT_MIN);
}
