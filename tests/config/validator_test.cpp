#include "config/displayline.h"
#include "tests/support/recordingui.h"

#include <gtest/gtest.h>

#include <memory>

using nimbrel::DisplayLine;
using nimbrel::test::RecordingUi;

namespace {

std::unique_ptr<DisplayLine> Ranged(std::int32_t type, std::int32_t min, std::int32_t max) {
    auto item = std::make_unique<DisplayLine>(0, "", "1", "Item", "0", type, 4);
    item->SetMin(min);
    item->SetMax(max);
    return item;
}

std::unique_ptr<DisplayLine> Listed(const std::string& list) {
    auto item = Ranged(nimbrel::kTypeLong, 0, 0);
    item->SetList(true);
    item->SetMax(list);
    return item;
}

bool Accepts(const std::unique_ptr<DisplayLine>& item, const std::string& value) {
    item->SetValue(value);
    return item->Validator().IsValid();
}

} // namespace

TEST(Validator, WholeNumberRangeIsExact) {
    RecordingUi ui;
    auto item = Ranged(nimbrel::kTypeLong, 0, 86400);
    EXPECT_TRUE(Accepts(item, "0"));
    EXPECT_TRUE(Accepts(item, "86400"));
    EXPECT_FALSE(Accepts(item, "-1"));
    EXPECT_FALSE(Accepts(item, "86401"));
    EXPECT_EQ(item->Validator().ErrorText(),
              "Max = 86400.000000\n\rMin = 0.000000\n\rValue = 86401");
    item->Validator().Error();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Input error");
    EXPECT_EQ(ui.messages[0].icon, nimbrel::Icon::None);

    // Beyond 2^24 a float cannot tell neighbours apart; the check still must.
    auto big = Ranged(nimbrel::kTypeLong, -2147483647, 16777216);
    EXPECT_TRUE(Accepts(big, "16777216"));
    EXPECT_FALSE(Accepts(big, "16777217"));
    EXPECT_TRUE(Accepts(big, "-2147483647"));
    EXPECT_FALSE(Accepts(big, "-2147483648"));
    auto top = Ranged(nimbrel::kTypeLong, 0, 2147483646);
    EXPECT_FALSE(Accepts(top, "2147483647"));
    EXPECT_EQ(top->Validator().ErrorText(),
              "Max = 2147483646.000000\n\rMin = 0.000000\n\rValue = 2147483647");
}

TEST(Validator, HexItemShowsLimitsAndValueInHex) {
    auto item = Ranged(nimbrel::kTypeLong, -5, 86400);
    item->SetHex(true);
    EXPECT_TRUE(Accepts(item, "15180 H"));
    EXPECT_FALSE(Accepts(item, "15181 H"));
    EXPECT_EQ(item->Validator().ErrorText(), "Max = 15180\n\rMin = fffffffb\n\rValue = 15181");
    EXPECT_FALSE(Accepts(item, "fffffffa H")) << "-6 is below -5";
}

TEST(Validator, FloatRange) {
    auto item = Ranged(nimbrel::kTypeFloat, 0, 10);
    EXPECT_TRUE(Accepts(item, "9.5"));
    EXPECT_FALSE(Accepts(item, "10.5"));
    EXPECT_EQ(item->Validator().ErrorText(),
              "Max = 10.000000\n\rMin = 0.000000\n\rValue = 10.500000");
}

TEST(Validator, ListValues) {
    RecordingUi ui;
    auto item = Listed("{90,200}");
    EXPECT_TRUE(Accepts(item, "90"));
    EXPECT_TRUE(Accepts(item, "200"));
    for (const char* v : {"0", "91", "2000"})
        EXPECT_FALSE(Accepts(item, v)) << v;
    EXPECT_EQ(item->Validator().ErrorText(), "Input must be one of the list values\n\r{90,200}");
    auto empty = Listed("{}");
    EXPECT_TRUE(Accepts(empty, "0"));
    EXPECT_FALSE(Accepts(empty, "1"));
    EXPECT_TRUE(Accepts(Listed("{300, 1200, 2400}"), "1200"));
    EXPECT_TRUE(ui.messages.empty());

    auto broken = Listed("90,200");
    EXPECT_FALSE(Accepts(broken, "90"));
    EXPECT_FALSE(Accepts(broken, "90"));
    EXPECT_EQ(ui.Texts(),
              (std::vector<std::string>(2, "Check list does not have a valid start character.")));
    EXPECT_EQ(ui.messages[0].caption, "Max min list error");
}

TEST(Validator, TextTypesAcceptAnythingNumbersNothingBeforeTheirLimits) {
    for (auto type : {nimbrel::kTypeString, nimbrel::kTypeUnformatted, nimbrel::kTypeAscii,
                      nimbrel::kTypeUserCommand}) {
        DisplayLine item(0, "", "1", "Item", "anything at all", type, 1);
        EXPECT_TRUE(item.Validator().IsValid()) << type;
    }
    DisplayLine real(0, "", "1", "Item", "0", nimbrel::kTypeFloat, 4);
    EXPECT_FALSE(real.Validator().IsValid());
}

TEST(Validator, ValueMustBeWhollyANumberOfTheItemsBase) {
    RecordingUi ui;
    const struct {
        std::int32_t type;
        bool hex;
        const char* text;
        const char* refusal; // first line of the refusal; null when the value passes
    } cases[] = {
        {nimbrel::kTypeLong, false, " 12 ", nullptr},
        {nimbrel::kTypeLong, false, "+12", nullptr},
        {nimbrel::kTypeLong, false, "12abc", "The value 12abc is not a decimal number."},
        {nimbrel::kTypeLong, false, "0x", "The value 0x is not a decimal number."},
        {nimbrel::kTypeLong, false, "", "The value  is not a decimal number."},
        {nimbrel::kTypeLong, false, "   ", "The value     is not a decimal number."},
        {nimbrel::kTypeLong, false, "12 H", "The value 12 H is not a decimal number."},
        {nimbrel::kTypeLong, false, " 99999999999 ",
         "The value  99999999999  lies outside the range of whole numbers (-2147483648 to "
         "2147483647)."},
        {nimbrel::kTypeLong, false, "-2147483649",
         "The value -2147483649 lies outside the range of whole numbers (-2147483648 to "
         "2147483647)."},
        {nimbrel::kTypeLong, false, "99999999999x",
         "The value 99999999999x is not a decimal number."},
        {nimbrel::kTypeChar, true, "ff H", nullptr},
        {nimbrel::kTypeChar, true, "FF H", nullptr},
        {nimbrel::kTypeChar, true, "ff", nullptr},
        {nimbrel::kTypeChar, true, " 0xff ", nullptr},
        {nimbrel::kTypeChar, true, "0x", "The value 0x is not a hexadecimal number."},
        {nimbrel::kTypeChar, true, "fg H", "The value fg H is not a hexadecimal number."},
        {nimbrel::kTypeChar, true, "ff H H", "The value ff H H is not a hexadecimal number."},
        {nimbrel::kTypeChar, true, "0x100000000 H",
         "The value 0x100000000 H lies outside the range of whole numbers (0 H to ffffffff H)."},
        {nimbrel::kTypeFloat, false, " 2.5e0 ", nullptr},
        {nimbrel::kTypeFloat, false, ".5", nullptr},
        {nimbrel::kTypeFloat, false, "1.5x", "The value 1.5x is not a number."},
        {nimbrel::kTypeFloat, false, "inf", "The value inf is not a number."},
        {nimbrel::kTypeFloat, false, "1e39", "The value 1e39 is not a number."},
        {nimbrel::kTypeFloat, false, "0x1p3", "The value 0x1p3 is not a number."},
    };
    for (const auto& c : cases) {
        auto item = Ranged(c.type, 0, 255);
        item->SetHex(c.hex);
        EXPECT_EQ(Accepts(item, c.text), c.refusal == nullptr) << c.text;
        const std::string text = item->Validator().ErrorText();
        if (c.refusal != nullptr) {
            EXPECT_EQ(text.substr(0, text.find("\n\r")), c.refusal);
        } else {
            EXPECT_EQ(text.substr(0, 4), "Max ") << c.text;
        }
    }
    EXPECT_TRUE(ui.messages.empty());

    auto item = Ranged(nimbrel::kTypeLong, 0, 86400);
    EXPECT_FALSE(Accepts(item, "12abc"));
    EXPECT_EQ(item->Validator().ErrorText(), "The value 12abc is not a decimal number.\n\r"
                                             "Max = 86400.000000\n\rMin = 0.000000\n\rValue = 12");
    EXPECT_FALSE(Accepts(item, "4294967296"));
    EXPECT_EQ(item->Validator().ErrorText(),
              "The value 4294967296 lies outside the range of whole numbers (-2147483648 to "
              "2147483647).\n\rMax = 86400.000000\n\rMin = 0.000000\n\rValue = 2147483647");
    auto list = Listed("{90,200}");
    EXPECT_FALSE(Accepts(list, "90abc"));
    EXPECT_EQ(list->Validator().ErrorText(), "The value 90abc is not a decimal number.\n\r"
                                             "Input must be one of the list values\n\r{90,200}");
}

TEST(Validator, SendRefusesNumberItemsWhoseTextIsNotWhollyANumber) {
    RecordingUi ui;
    const struct {
        std::int32_t type;
        bool hex;
        const char* text;
        bool sendable;
    } cases[] = {
        {nimbrel::kTypeLong, false, "7200", true},  {nimbrel::kTypeLong, false, "72o0", false},
        {nimbrel::kTypeLong, true, "1c20 H", true}, {nimbrel::kTypeLong, true, "1c20 Hz", false},
        {nimbrel::kTypeFloat, false, "1.5", true},  {nimbrel::kTypeFloat, false, "1,5", false},
        {nimbrel::kTypeBaud, false, "4800", true},  {nimbrel::kTypeBaud, false, "4800 baud", false},
        {nimbrel::kTypePttId, false, "", false},    {nimbrel::kTypeAscii, false, "12abc", true},
    };
    for (const auto& c : cases) {
        DisplayLine item(0, "", "1", "Rate", "0", c.type, 4);
        item.SetHex(c.hex);
        item.SetValue(c.text);
        std::string problem;
        EXPECT_EQ(item.CheckPttValue(problem), c.sendable) << c.text;
        if (!c.sendable) {
            EXPECT_NE(problem.find("\"Rate\""), std::string::npos) << problem;
            EXPECT_NE(problem.find(std::string("\"") + c.text + "\""), std::string::npos)
                << problem;
        }
    }
}
