#include "config/displayline.h"
#include "tests/support/recordingui.h"

#include <gtest/gtest.h>

#include <memory>

#include <bit>

using nimbrel::DisplayLine;
using nimbrel::test::RecordingUi;

namespace {

std::unique_ptr<DisplayLine> Item(std::int32_t type, const std::string& value, std::int32_t address,
                                  bool hex = false) {
    auto item = std::make_unique<DisplayLine>(0, "", "1", "Item", value, type, 1);
    item->SetType(type);
    item->SetHex(hex);
    item->SetValue(value);
    item->SetAddress(address);
    return item;
}

std::string Problem(const std::unique_ptr<DisplayLine>& item) {
    std::string problem;
    EXPECT_FALSE(item->CheckPttValue(problem));
    EXPECT_NE(problem.find("\"Item\""), std::string::npos) << "names the item: " << problem;
    return problem;
}

bool Sendable(const std::unique_ptr<DisplayLine>& item) {
    std::string problem;
    const bool ok = item->CheckPttValue(problem);
    EXPECT_EQ(ok, problem.empty()) << problem;
    return ok;
}

} // namespace

TEST(Encoding, ExamplesOfEveryKind) {
    RecordingUi ui;
    EXPECT_EQ(Item(nimbrel::kTypeLong, "7200", 0x8000)->GetPttValue(),
              "E800000E800100E80021CE800320");
    EXPECT_EQ(Item(nimbrel::kTypeInt, "1f H", 0x0010, true)->GetPttValue(), "E001000E00111F");
    EXPECT_EQ(Item(nimbrel::kTypeFloat, "1.5", 0x0100)->GetPttValue(),
              "E01003FE0101C0E010200E010300");
    EXPECT_EQ(Item(nimbrel::kTypeAscii, "AB", 0x0030)->GetPttValue(), "E003041E003142");
    EXPECT_EQ(Item(nimbrel::kTypePttId, "1", 0)->GetPttValue(), "E000000E000100E000200E000353");
    EXPECT_EQ(Item(nimbrel::kTypeChar, "255", 0x00ab)->GetPttValue(), "E00ABFF");
    EXPECT_EQ(Item(nimbrel::kTypeString, "0a1b", 0x0fff)->GetPttValue(), "E0FFF0AE10001B")
        << "upper case, size from the digits' text length cut to its digit pairs";
    EXPECT_TRUE(ui.messages.empty());
}

TEST(Encoding, BaudRateIsOneCodeByteWhateverItsSize) {
    const std::pair<const char*, const char*> codes[] = {{"300", "E002035"},
                                                         {"1200", "E002033"},
                                                         {"2400", "E002032"},
                                                         {"4800", "E002031"},
                                                         {"9600", "E002030"}};
    for (const auto& [baud, command] : codes) {
        auto item = Item(nimbrel::kTypeBaud, baud, 0x0020);
        item->SetSize(4);
        EXPECT_EQ(item->GetPttValue(), command) << baud;
        EXPECT_TRUE(Sendable(item));
    }
    auto odd = Item(nimbrel::kTypeBaud, "19200", 0x0020);
    EXPECT_EQ(odd->GetPttValue(), "");
    EXPECT_NE(Problem(odd).find("19200"), std::string::npos);
}

TEST(Encoding, UnformattedTextIsCutAtHThenAtABlank) {
    EXPECT_EQ(Item(nimbrel::kTypeUnformatted, "e8000ab", 0)->GetPttValue(), "E8000AB");
    EXPECT_EQ(Item(nimbrel::kTypeUnformatted, "E8000AB H", 0)->GetPttValue(), "E8000AB");
    EXPECT_EQ(Item(nimbrel::kTypeUnformatted, "E8000AB E8001CD", 0)->GetPttValue(), "E8000AB");
    EXPECT_EQ(Item(nimbrel::kTypeUnformatted, "e8000abE8001CD", 0)->GetPttValue(),
              "E8000ABE8001CD");
    EXPECT_EQ(Item(nimbrel::kTypeUserCommand, "E8000AB", 0)->GetPttValue(), "");
}

TEST(Encoding, PttIdCheckBits) {
    EXPECT_EQ(DisplayLine::GetPttId(1), 0x53u);
    EXPECT_EQ(DisplayLine::GetPttId(11111), 0xAD9ECu);
    EXPECT_EQ(DisplayLine::GetPttId(16384), 0x31u);
    EXPECT_EQ(DisplayLine::GetPttId(16385), 0x62u);
    EXPECT_EQ(DisplayLine::GetPttId(0), 0u);
    EXPECT_EQ(DisplayLine::GetPttId(16383) >> 6, 16383u);
}

TEST(Encoding, ListWalk) {
    RecordingUi ui;
    auto item = Item(nimbrel::kTypeLong, "0", 0);
    item->SetMax("{90,200}");
    std::int32_t v = -1;
    EXPECT_TRUE(item->GetMaxMinList(true, v));
    EXPECT_EQ(v, 90);
    EXPECT_TRUE(item->GetMaxMinList(false, v));
    EXPECT_EQ(v, 200);
    EXPECT_FALSE(item->GetMaxMinList(false, v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(item->GetMaxMinList(false, v)) << "stays ended";
    EXPECT_TRUE(item->GetMaxMinList(true, v)) << "first restarts";
    EXPECT_EQ(v, 90);

    item->SetMax("{}");
    EXPECT_TRUE(item->GetMaxMinList(true, v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(item->GetMaxMinList(false, v));
    item->SetMax("{5}");
    EXPECT_TRUE(item->GetMaxMinList(true, v));
    EXPECT_EQ(v, 5);
    EXPECT_FALSE(item->GetMaxMinList(false, v));

    // Two items walk their lists independently.
    auto other = Item(nimbrel::kTypeLong, "0", 0);
    other->SetMax("{1,2,3}");
    item->SetMax("{7,8}");
    EXPECT_TRUE(item->GetMaxMinList(true, v));
    EXPECT_TRUE(other->GetMaxMinList(true, v));
    EXPECT_TRUE(item->GetMaxMinList(false, v));
    EXPECT_EQ(v, 8);
    EXPECT_TRUE(other->GetMaxMinList(false, v));
    EXPECT_EQ(v, 2);

    auto fresh = Item(nimbrel::kTypeLong, "0", 0);
    fresh->SetMax("{1}");
    EXPECT_FALSE(fresh->GetMaxMinList(false, v)) << "no walk in progress";
    EXPECT_TRUE(ui.messages.empty());
}

TEST(Encoding, OversizedItemsAreCappedAndRefused) {
    auto item = Item(nimbrel::kTypeAscii, std::string(40, 'a'), 0);
    EXPECT_EQ(item->GetSize(), 40);
    EXPECT_EQ(item->GetPttValue().size(), 36u * 7);
    EXPECT_NE(Problem(item).find("36"), std::string::npos);

    item->SetSize(36);
    EXPECT_TRUE(Sendable(item));
    const std::string text = item->GetPttValue();
    EXPECT_EQ(text.size(), 252u);
    EXPECT_EQ(text.substr(245), "E002361");

    // Unformatted text is at most 254 characters, even when it is one long run.
    auto raw = Item(nimbrel::kTypeUnformatted, std::string(300, 'e'), 0);
    EXPECT_EQ(raw->GetPttValue(), std::string(254, 'E'));
    EXPECT_TRUE(Sendable(raw));
}

TEST(Encoding, AddressesStayWithinFFFF) {
    auto item = Item(nimbrel::kTypeLong, "7200", 0xFFFE);
    EXPECT_EQ(item->GetPttValue(), "EFFFE00EFFFF00") << "commands past FFFF are left out";
    EXPECT_NE(Problem(item).find("FFFF"), std::string::npos);
    item->SetAddress(0xFFFC);
    EXPECT_TRUE(Sendable(item));
    item->SetAddress(-1);
    EXPECT_EQ(item->GetPttValue(), "");
    Problem(item);
    item->SetAddress(0x10000);
    EXPECT_EQ(item->GetPttValue(), "");
    Problem(item);
    item->SetAddress(INT32_MAX);
    EXPECT_EQ(item->GetPttValue(), "");
    Problem(item);

    for (const auto& command : {Item(nimbrel::kTypeChar, "1", 0xFFFF)->GetPttValue(),
                                Item(nimbrel::kTypeInt, "1", 0)->GetPttValue()}) {
        ASSERT_EQ(command.size() % 7, 0u);
    }
}

TEST(Encoding, ValuesMustFitTheirBytes) {
    EXPECT_EQ(Item(nimbrel::kTypeChar, "-1", 0)->GetPttValue(), "E0000FF");
    EXPECT_TRUE(Sendable(Item(nimbrel::kTypeChar, "-128", 0)));
    Problem(Item(nimbrel::kTypeChar, "256", 0));
    Problem(Item(nimbrel::kTypeChar, "-129", 0));
    EXPECT_EQ(Item(nimbrel::kTypeInt, "-2", 0)->GetPttValue(), "E0000FFE0001FE");
    EXPECT_TRUE(Sendable(Item(nimbrel::kTypeInt, "65535", 0)));
    Problem(Item(nimbrel::kTypeInt, "65536", 0));
    EXPECT_EQ(Item(nimbrel::kTypeLong, "-5", 0)->GetPttValue(), "E0000FFE0001FFE0002FFE0003FB");
    EXPECT_TRUE(Sendable(Item(nimbrel::kTypeLong, "-2147483648", 0)));
    Problem(Item(nimbrel::kTypePttId, "-1", 0));

    // A larger char item holds the value in its first byte, zeros after it.
    auto wide = Item(nimbrel::kTypeChar, "5", 0);
    wide->SetSize(3);
    EXPECT_EQ(wide->GetPttValue(), "E000005E000100E000200");
    EXPECT_TRUE(Sendable(wide));
    // A smaller long item cannot hold its value.
    auto narrow = Item(nimbrel::kTypeLong, "7200", 0);
    narrow->SetSize(2);
    EXPECT_NE(Problem(narrow).find("long needs 4"), std::string::npos);
    auto noBytes = Item(nimbrel::kTypeLong, "1", 0);
    noBytes->SetSize(-3);
    EXPECT_EQ(noBytes->GetPttValue(), "");
    Problem(noBytes);
}

TEST(Encoding, StringsNeedTwoHexDigitsPerByte) {
    auto item = Item(nimbrel::kTypeString, "12ab", 0);
    item->SetSize(2);
    EXPECT_EQ(item->GetPttValue(), "E000012E0001AB");
    EXPECT_TRUE(Sendable(item));
    item->SetSize(3);
    EXPECT_EQ(item->GetPttValue(), "E000012E0001AB") << "no command from missing digits";
    Problem(item);
    item->SetValue("12zz");
    item->SetSize(2);
    EXPECT_EQ(item->GetPttValue(), "E000012") << "no command from non-digits";
    Problem(item);

    auto ascii = Item(nimbrel::kTypeAscii, "A", 0);
    ascii->SetSize(3);
    EXPECT_EQ(ascii->GetPttValue(), "E000041E000100E000200") << "padded with zero bytes";
    EXPECT_TRUE(Sendable(ascii));
    ascii->SetValue("\xE9");
    EXPECT_EQ(ascii->GetPttValue().substr(0, 7), "E0000E9");
}

TEST(Encoding, InvalidTypesEncodeLikeChar) {
    RecordingUi ui;
    auto item = std::make_unique<DisplayLine>(0, "", "1", "Item", "0", 0, 1);
    item->SetValue(0x41);
    EXPECT_EQ(item->GetPttValue(), "E000041");
    EXPECT_TRUE(Sendable(item));
}

TEST(Decoding, ValuesFromTransmitterBytes) {
    RecordingUi ui;
    auto item = Item(nimbrel::kTypeLong, "0", 0x20);
    EXPECT_TRUE(item->SetFromPttBytes({0x00, 0x00, 0x1C, 0x20}));
    EXPECT_EQ(item->GetValueText(), "7200");
    EXPECT_TRUE(item->SetFromPttBytes({0xFF, 0xFF, 0xFF, 0xFB}));
    EXPECT_EQ(item->GetValue(), -5);

    auto word = Item(nimbrel::kTypeInt, "0", 0);
    word->SetFromPttBytes({0x12, 0x34});
    EXPECT_EQ(word->GetValue(), 4660);
    word->SetFromPttBytes({0xFF, 0xFE});
    EXPECT_EQ(word->GetValue(), 65534) << "unsigned";
    word->SetHex(true);
    word->SetFromPttBytes({0x12, 0x34});
    EXPECT_EQ(word->GetValueText(), "1234 H");

    auto byte = Item(nimbrel::kTypeChar, "0", 0);
    byte->SetFromPttBytes({0xFF});
    EXPECT_EQ(byte->GetValue(), 255);

    auto real = Item(nimbrel::kTypeFloat, "0", 0);
    real->SetFromPttBytes({0x3F, 0xC0, 0x00, 0x00});
    EXPECT_EQ(real->GetValueText(), "1.500000");

    auto text = Item(nimbrel::kTypeString, "00", 0);
    text->SetFromPttBytes({0x41, 0x42, 0x43});
    EXPECT_EQ(text->GetValueText(), "ABC");
    text->SetFromPttBytes({0x41, 0x00, 0x43});
    EXPECT_EQ(text->GetValueText(), "A");

    auto ascii = Item(nimbrel::kTypeAscii, "keep", 0);
    ascii->SetFromPttBytes({0x41});
    EXPECT_EQ(ascii->GetValueText(), "keep") << "not read back";
    EXPECT_TRUE(ui.messages.empty());
}

TEST(Decoding, BaudCodes) {
    auto item = Item(nimbrel::kTypeBaud, "9600", 0);
    const std::pair<std::uint8_t, std::int32_t> codes[] = {
        {0x30, 9600}, {0x31, 4800}, {0x32, 2400}, {0x33, 1200}, {0x35, 300}};
    for (const auto& [code, baud] : codes) {
        item->SetFromPttBytes({code, 0x00, 0x00, 0x00});
        EXPECT_EQ(item->GetValue(), baud);
    }
    item->SetFromPttBytes({0x34, 0x38});
    EXPECT_EQ(item->GetValueText(), "48") << "an unknown code leaves the bytes as text";
    item->SetHex(true);
    item->SetFromPttBytes({0x33});
    EXPECT_EQ(item->GetValue(), 1200) << "shown in the item's base";
}

TEST(Decoding, PttIdWordsOfBothTablesAndInvalidOnes) {
    RecordingUi ui;
    auto item = Item(nimbrel::kTypePttId, "0", 0);
    for (std::int32_t id : {1, 11111, 16383, 16384, 16385, 99999}) {
        const std::uint32_t w = DisplayLine::GetPttId(id);
        EXPECT_TRUE(item->SetFromPttBytes(
            {static_cast<std::uint8_t>(w >> 24), static_cast<std::uint8_t>(w >> 16),
             static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)}));
        EXPECT_EQ(item->GetValue(), id);
    }
    EXPECT_TRUE(ui.messages.empty());

    EXPECT_FALSE(item->SetFromPttBytes({0x00, 0x00, 0x00, 0x54}));
    EXPECT_EQ(item->GetValue(), 16385) << "set all the same, after the retry";
    ASSERT_EQ(ui.Texts(), std::vector<std::string>{"Ptt ID invalid"});
    EXPECT_EQ(ui.messages[0].caption, "Read error");
}

TEST(EncodingRoundTrip, WhatIsSentReadsBackTheSame) {
    RecordingUi ui;
    const std::pair<std::int32_t, const char*> cases[] = {
        {nimbrel::kTypeChar, "200"},     {nimbrel::kTypeInt, "4660"},
        {nimbrel::kTypeLong, "-123456"}, {nimbrel::kTypeFloat, "-2.250000"},
        {nimbrel::kTypePttId, "54321"},  {nimbrel::kTypeBaud, "2400"}};
    for (const auto& [type, value] : cases) {
        auto item = Item(type, value, 0x100);
        const std::string commands = item->GetPttValue();
        std::vector<std::uint8_t> bytes;
        for (std::size_t p = 0; p + 7 <= commands.size(); p += 7) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(commands.substr(p + 5, 2), 0, 16)));
        }
        item->SetValue("0");
        item->SetFromPttBytes(bytes);
        EXPECT_EQ(item->GetValueText(), value) << type;
    }
    EXPECT_TRUE(ui.messages.empty());
}
