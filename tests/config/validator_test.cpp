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

TEST(Validator, WholeNumberRangeInSinglePrecision) {
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

    auto big = Ranged(nimbrel::kTypeLong, 0, 16777216);
    EXPECT_TRUE(Accepts(big, "16777217")) << "rounds to 16777216 as a float";
    EXPECT_FALSE(Accepts(big, "16777218"));
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
