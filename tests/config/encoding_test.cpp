#include "config/displayline.h"
#include "tests/support/recordingui.h"

#include <gtest/gtest.h>

#include <memory>

using nimbrel::DisplayLine;
using nimbrel::test::RecordingUi;

namespace {

std::unique_ptr<DisplayLine> Item(std::int32_t type, const std::string& value,
                                  std::int32_t address = 0, std::int32_t size = 0) {
    auto item = std::make_unique<DisplayLine>(0, "", "1", "Item", value, type, 1);
    item->SetType(type);
    if (size) item->SetSize(size);
    item->SetValue(value);
    item->SetAddress(address);
    return item;
}

// The problem CheckPttValue reports; "" when the item can be sent.
std::string Problem(const std::unique_ptr<DisplayLine>& item) {
    std::string problem;
    const bool ok = item->CheckPttValue(problem);
    EXPECT_EQ(ok, problem.empty());
    if (!ok) {
        EXPECT_NE(problem.find("\"Item\""), std::string::npos) << problem;
    }
    return problem;
}

std::vector<std::uint8_t> Bytes(std::uint32_t w) {
    return {static_cast<std::uint8_t>(w >> 24), static_cast<std::uint8_t>(w >> 16),
            static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)};
}

} // namespace

TEST(Encoding, ExamplesOfEveryKind) {
    RecordingUi ui;
    auto hexInt = Item(nimbrel::kTypeInt, "0", 0x0010);
    hexInt->SetHex(true);
    hexInt->SetValue("1f H");
    EXPECT_EQ(hexInt->GetPttValue(), "E001000E00111F");
    EXPECT_EQ(Item(nimbrel::kTypeLong, "7200", 0x8000)->GetPttValue(),
              "E800000E800100E80021CE800320");
    EXPECT_EQ(Item(nimbrel::kTypeFloat, "1.5", 0x0100)->GetPttValue(),
              "E01003FE0101C0E010200E010300");
    EXPECT_EQ(Item(nimbrel::kTypeBaud, "4800", 0x0020, 4)->GetPttValue(), "E002031");
    EXPECT_EQ(Item(nimbrel::kTypeAscii, "AB", 0x0030)->GetPttValue(), "E003041E003142");
    EXPECT_EQ(Item(nimbrel::kTypePttId, "1")->GetPttValue(), "E000000E000100E000200E000353");
    EXPECT_EQ(Item(nimbrel::kTypeString, "0a1b", 0x0fff, 2)->GetPttValue(), "E0FFF0AE10001B");
    EXPECT_EQ(Item(0, "65")->GetPttValue(), "E000041") << "invalid types encode like char";
    for (const char* text : {"e8000ab", "E8000AB H", "E8000AB E8001CD"})
        EXPECT_EQ(Item(nimbrel::kTypeUnformatted, text)->GetPttValue(), "E8000AB") << text;
    EXPECT_EQ(Item(nimbrel::kTypeUserCommand, "E8000AB")->GetPttValue(), "");
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Unknown type"}) << "of the invalid item";

    for (auto [baud, code] :
         {std::pair{"300", "35"}, {"1200", "33"}, {"2400", "32"}, {"9600", "30"}})
        EXPECT_EQ(Item(nimbrel::kTypeBaud, baud)->GetPttValue(), std::string("E0000") + code);
}

TEST(Encoding, PttIdCheckBits) {
    EXPECT_EQ(DisplayLine::GetPttId(1), 0x53u);
    EXPECT_EQ(DisplayLine::GetPttId(11111), 0xAD9ECu);
    EXPECT_EQ(DisplayLine::GetPttId(16384), 0x31u);
    EXPECT_EQ(DisplayLine::GetPttId(16385), 0x62u);
}

// Every entry of both check-bit tables, one ID bit at a time. The words were
// worked out by hand from the rule: (number << 6) | check, where below 16384
// check is the low table's entry, and from 16384 on it is 20 XOR the high
// table's entry, then XOR 11 when bit 5 of that is set.
TEST(Encoding, PttIdUsesEveryEntryOfBothCheckBitTables) {
    const struct {
        std::int32_t id;
        std::uint32_t word;
    } cases[] = {
        // Low table: 13 26 1F 3E 2F 0D 1A 34 3B 25 19 32 37 3D.
        {1, 0x53},
        {2, 0xA6},
        {4, 0x11F},
        {8, 0x23E},
        {16, 0x42F},
        {32, 0x80D},
        {64, 0x101A},
        {128, 0x2034},
        {256, 0x403B},
        {512, 0x8025},
        {1024, 0x10019},
        {2048, 0x20032},
        {4096, 0x40037},
        {8192, 0x8003D},
        // High table: 13 37 1F 2F 3E 0D 1A 25 2A 34 19 23 26 2C.
        {16384 + 1, 0x62},       // 20^13=33 -> 22
        {16384 + 2, 0x97},       // 20^37=17
        {16384 + 4, 0x12E},      // 20^1F=3F -> 2E
        {16384 + 8, 0x20F},      // 20^2F=0F
        {16384 + 16, 0x41E},     // 20^3E=1E
        {16384 + 32, 0x83C},     // 20^0D=2D -> 3C
        {16384 + 64, 0x102B},    // 20^1A=3A -> 2B
        {16384 + 128, 0x2005},   // 20^25=05
        {16384 + 256, 0x400A},   // 20^2A=0A
        {16384 + 512, 0x8014},   // 20^34=14
        {16384 + 1024, 0x10028}, // 20^19=39 -> 28
        {16384 + 2048, 0x20003}, // 20^23=03
        {16384 + 4096, 0x40006}, // 20^26=06
        {16384 + 8192, 0x8000C}, // 20^2C=0C
    };
    for (const auto& c : cases)
        EXPECT_EQ(DisplayLine::GetPttId(c.id), c.word) << "ID " << c.id;
}

TEST(Encoding, ListWalkPerItem) {
    RecordingUi ui;
    auto walk = [](const std::unique_ptr<DisplayLine>& item) {
        std::vector<std::int32_t> values;
        std::int32_t v = -1;
        for (bool more = item->GetMaxMinList(true, v); more; more = item->GetMaxMinList(false, v))
            values.push_back(v);
        EXPECT_EQ(v, 0);
        EXPECT_FALSE(item->GetMaxMinList(false, v)) << "stays ended";
        return values;
    };
    auto item = Item(nimbrel::kTypeLong, "0");
    for (auto [list, values] :
         {std::pair<const char*, std::vector<std::int32_t>>{"{90,200}", {90, 200}},
          {"{}", {0}},
          {"{5}", {5}},
          {"{1,,2}", {1, 0, 2}}}) {
        item->SetMax(list);
        EXPECT_EQ(walk(item), values) << list;
    }
    // Two items walk their lists independently.
    auto other = Item(nimbrel::kTypeLong, "0");
    other->SetMax("{1,2,3}");
    item->SetMax("{7,8}");
    std::int32_t v = 0;
    item->GetMaxMinList(true, v);
    other->GetMaxMinList(true, v);
    EXPECT_TRUE(item->GetMaxMinList(false, v));
    EXPECT_EQ(v, 8);
    EXPECT_TRUE(other->GetMaxMinList(false, v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(Encoding, LimitsOfBytesAndAddressesAreKeptAndReported) {
    auto ascii = Item(nimbrel::kTypeAscii, std::string(40, 'a'));
    EXPECT_EQ(ascii->GetPttValue().size(), 36u * 7) << "capped, never over 255 characters";
    EXPECT_NE(Problem(ascii).find("36"), std::string::npos);
    ascii->SetSize(36);
    EXPECT_EQ(Problem(ascii), "");
    EXPECT_EQ(Item(nimbrel::kTypeUnformatted, std::string(300, 'e'))->GetPttValue(),
              std::string(254, 'E'));

    auto item = Item(nimbrel::kTypeLong, "7200", 0xFFFE);
    EXPECT_EQ(item->GetPttValue(), "EFFFE00EFFFF00") << "no command past FFFF";
    EXPECT_NE(Problem(item).find("fffe H"), std::string::npos);
    item->SetAddress(0xFFFC);
    EXPECT_EQ(Problem(item), "");
    for (std::int32_t address : {-1, 0x10000, INT32_MAX}) {
        item->SetAddress(address);
        EXPECT_EQ(item->GetPttValue(), "");
        EXPECT_NE(Problem(item), "");
    }
    item->SetAddress(0);
    item->SetSize(-3);
    EXPECT_EQ(item->GetPttValue(), "");
    EXPECT_NE(Problem(item), "");
}

TEST(Encoding, ValuesMustFitTheirBytes) {
    EXPECT_EQ(Item(nimbrel::kTypeChar, "-1")->GetPttValue(), "E0000FF");
    EXPECT_EQ(Item(nimbrel::kTypeInt, "-2")->GetPttValue(), "E0000FFE0001FE");
    EXPECT_EQ(Item(nimbrel::kTypeLong, "-5")->GetPttValue(), "E0000FFE0001FFE0002FFE0003FB");
    for (auto [type, value] : {std::pair{nimbrel::kTypeChar, "-128"},
                               {nimbrel::kTypeChar, "255"},
                               {nimbrel::kTypeInt, "65535"},
                               {nimbrel::kTypeLong, "-2147483648"}})
        EXPECT_EQ(Problem(Item(type, value)), "") << value;
    for (auto [type, value] : {std::pair{nimbrel::kTypeChar, "256"},
                               {nimbrel::kTypeChar, "-129"},
                               {nimbrel::kTypeInt, "65536"},
                               {nimbrel::kTypePttId, "-1"},
                               {nimbrel::kTypeBaud, "19200"}})
        EXPECT_NE(Problem(Item(type, value)), "") << value;
    EXPECT_EQ(Item(nimbrel::kTypeBaud, "19200")->GetPttValue(), "");

    // A wider char keeps its value in the first byte; a narrower long cannot hold its value.
    EXPECT_EQ(Item(nimbrel::kTypeChar, "5", 0, 3)->GetPttValue(), "E000005E000100E000200");
    EXPECT_NE(Problem(Item(nimbrel::kTypeLong, "7200", 0, 2)).find("long needs 4"),
              std::string::npos);
}

TEST(Encoding, StringsNeedTwoHexDigitsPerByteAsciiIsPadded) {
    EXPECT_EQ(Problem(Item(nimbrel::kTypeString, "12ab", 0, 2)), "");
    auto item = Item(nimbrel::kTypeString, "12ab", 0, 3);
    EXPECT_EQ(item->GetPttValue(), "E000012E0001AB") << "no command from missing digits";
    EXPECT_NE(Problem(item), "");
    item = Item(nimbrel::kTypeString, "12zz", 0, 2);
    EXPECT_EQ(item->GetPttValue(), "E000012") << "no command from non-digits";
    EXPECT_NE(Problem(item), "");

    auto ascii = Item(nimbrel::kTypeAscii, "A", 0, 3);
    EXPECT_EQ(ascii->GetPttValue(), "E000041E000100E000200");
    EXPECT_EQ(Problem(ascii), "");
    ascii->SetValue("\xE9");
    EXPECT_EQ(ascii->GetPttValue().substr(0, 7), "E0000E9");
}

TEST(Decoding, ValuesFromTransmitterBytes) {
    RecordingUi ui;
    const struct {
        std::int32_t type;
        std::vector<std::uint8_t> bytes;
        const char* text;
    } cases[] = {
        {nimbrel::kTypeLong, {0x00, 0x00, 0x1C, 0x20}, "7200"},
        {nimbrel::kTypeLong, {0xFF, 0xFF, 0xFF, 0xFB}, "-5"},
        {nimbrel::kTypeInt, {0x12, 0x34}, "4660"},
        {nimbrel::kTypeInt, {0xFF, 0xFE}, "65534"},
        {nimbrel::kTypeChar, {0xFF}, "255"},
        {nimbrel::kTypeFloat, {0x3F, 0xC0, 0x00, 0x00}, "1.500000"},
        {nimbrel::kTypeString, {0x41, 0x42, 0x43}, "414243"},
        {nimbrel::kTypeString, {0x41, 0x00, 0xC3}, "4100c3"},
        {nimbrel::kTypeAscii, {0x41}, "keep"},
        {nimbrel::kTypeBaud, {0x33, 0, 0, 0}, "1200"},
        {nimbrel::kTypeBaud, {0x32}, "2400"},
        {nimbrel::kTypeBaud, {0x34, 0x38}, "48"},
        {nimbrel::kTypePttId, Bytes(DisplayLine::GetPttId(16385)), "16385"},
        {nimbrel::kTypePttId, Bytes(DisplayLine::GetPttId(11111)), "11111"},
    };
    for (const auto& c : cases) {
        auto item = Item(c.type, "keep");
        EXPECT_TRUE(item->SetFromPttBytes(c.bytes));
        EXPECT_EQ(item->GetValueText(), c.text);
    }
    auto hex = Item(nimbrel::kTypeBaud, "0");
    hex->SetHex(true);
    hex->SetFromPttBytes({0x33});
    EXPECT_EQ(hex->GetValue(), 1200) << "shown in the item's base";
    EXPECT_TRUE(ui.messages.empty());

    auto id = Item(nimbrel::kTypePttId, "0");
    EXPECT_FALSE(id->SetFromPttBytes({0x00, 0x00, 0x00, 0x54}));
    EXPECT_EQ(id->GetValue(), 16385) << "set all the same, after the retry";
    ASSERT_EQ(ui.Texts(), std::vector<std::string>{"Ptt ID invalid"});
    EXPECT_EQ(ui.messages[0].caption, "Read error");
}

TEST(Encoding, WhatIsSentReadsBackTheSame) {
    for (auto [type, value] : {std::pair{nimbrel::kTypeChar, "200"},
                               {nimbrel::kTypeInt, "4660"},
                               {nimbrel::kTypeLong, "-123456"},
                               {nimbrel::kTypeFloat, "-2.250000"},
                               {nimbrel::kTypePttId, "54321"},
                               {nimbrel::kTypePttId, "99999"},
                               {nimbrel::kTypeBaud, "2400"}}) {
        auto item = Item(type, value, 0x100);
        const std::string commands = item->GetPttValue();
        std::vector<std::uint8_t> bytes;
        for (std::size_t p = 0; p + 7 <= commands.size(); p += 7)
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(commands.substr(p + 5, 2), 0, 16)));
        item->SetValue("0");
        EXPECT_TRUE(item->SetFromPttBytes(bytes));
        EXPECT_EQ(item->GetValueText(), value);
    }
}
