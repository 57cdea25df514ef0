#include "link/protocol.h"
#include "platform/settings.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace nimbrel;
using nimbrel::test::TempDir;

namespace {

TEST(Helpers, HexDigitsReadCommandsAndByteOrder) {
    EXPECT_EQ(AsciiToHex("a5"), 0xA5);
    EXPECT_EQ(AsciiToHex("F0"), 0xF0);
    EXPECT_EQ(AsciiToHex("09"), 0x09);
    EXPECT_EQ(AsciiToHex("fF"), 0xFF);

    EXPECT_EQ(GetReadCommand(0x1A0), "R01a000");
    EXPECT_EQ(GetReadCommand(0), "R000000");
    EXPECT_EQ(GetReadCommand(0xFFFF), "Rffff00");
    char out[8] = "xxxxxxx";
    EXPECT_FALSE(GetReadCommand(0x10000, out)) << "five digits do not fit a command";
    EXPECT_STREQ(out, "");

    unsigned char word[4] = {0x12, 0x34, 0x56, 0x78};
    ByteSwap(word, 4);
    EXPECT_EQ(word[0], 0x78);
    EXPECT_EQ(word[1], 0x56);
    EXPECT_EQ(word[2], 0x34);
    EXPECT_EQ(word[3], 0x12);
    ByteSwap(word, 0);
    ByteSwap(word, 1);
    EXPECT_EQ(word[0], 0x78);
}

// Answers in turn to one transfer's reads, with the verdict on each.
TEST(AnswerForm, TheFirstAnswerSetsTheFormTheLaterOnesMustHave) {
    using V = AnswerForm::Verdict;
    const struct {
        const char* name;
        std::vector<std::tuple<std::string, std::uint32_t, V>> answers;
    } cases[] = {
        {"address digits where they stood",
         {{"\r\nR0100 = 1C", 0x100, V::Taken},
          {"\r\nr01a0 = ff", 0x1A0, V::Taken},
          {"\r\nR0101 = 1C", 0x102, V::Refused},
          {"R0102 =\r\n 1C", 0x102, V::Refused},
          {"\r\nR0102 : 1C", 0x102, V::Refused},
          {"\r\nQ0102 = 00", 0x102, V::Taken}}},
        {"not answers",
         {{"\r\nR0100 = 1", 0x100, V::Refused},
          {"\r\nR0100 = 1G", 0x100, V::Refused},
          {"\x06\nR0100 = 1C", 0x100, V::Refused},
          {"\r\nR0100\t= 1C", 0x100, V::Refused},
          {"\r\nR0100 =\x9b"
           "1C",
           0x100, V::Refused},
          {"\r\nR0100 = 1C", 0x100, V::Taken}}},
        {"no address digits: taken when it comes again",
         {{"DATA:     1C", 0x100, V::AskAgain},
          {"DATA:     1D", 0x100, V::AskAgain},
          {"DATA:     1D", 0x100, V::Taken},
          {"DATA:     20", 0x101, V::Taken},
          {"DATA1     20", 0x101, V::Refused},
          {"data:     20", 0x102, V::Taken}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnswerForm form;
        for (const auto& [answer, address, verdict] : c.answers)
            EXPECT_EQ(form.Judge(answer, address), verdict) << answer;
    }
}

TEST(DisplayText, ControlBytesHaveTheirOwnForms) {
    const char chunk[] = {'O', 'K', '\r', '\n', 0x06, 0x15, 0x00, 0x1b};
    EXPECT_EQ(ChunkDisplayText(chunk, sizeof chunk), "OK\r\n{/ACK/}{NAK}{ NULL}{ 0x1b}");
    const char more[] = {'\t', ' ', '~', 0x7f, static_cast<char>(0xff), static_cast<char>(0x80)};
    EXPECT_EQ(ChunkDisplayText(more, sizeof more), "\t ~{ 0x7f}{ 0xff}{ 0x80}");
    EXPECT_EQ(ChunkDisplayText(chunk, 0), "");
}

TEST(DisplayText, TrimmingKeepsTheLastThousandShownCharacters) {
    EXPECT_FALSE(DisplayNeedsTrim(7000, 999));
    EXPECT_TRUE(DisplayNeedsTrim(7000, 1000));

    std::string shown;
    for (int i = 0; i < 7500; ++i)
        shown += static_cast<char>('a' + i % 26);
    std::int32_t length = 7500;
    EXPECT_EQ(TrimDisplayText(shown, length), shown.substr(6500));
    EXPECT_EQ(length, 1000);

    // The count may run ahead of what the display holds: it is lowered first.
    length = 9000;
    EXPECT_EQ(TrimDisplayText(shown, length), shown.substr(6500));
    EXPECT_EQ(length, 1000);

    // Only the first 7998 characters are read back.
    const std::string longer = shown + std::string(1000, '#');
    length = 8500;
    EXPECT_EQ(TrimDisplayText(longer, length), longer.substr(6998, 1000));

    // A count behind the display keeps the end of the counted part.
    length = 600;
    EXPECT_EQ(TrimDisplayText(shown, length), shown.substr(0, 600));
    EXPECT_EQ(length, 600);
}

TEST(Program, PairsBecomeWriteCommandsFromTheBaseAddress) {
    auto plan = BuildProgramCommands("0A1B2C", 0xB600);
    EXPECT_EQ(plan.status, ProgramStatus::Ok);
    EXPECT_EQ(plan.commands, (std::vector<std::string>{"Eb6000A", "Eb6011B", "Eb6022C"}));

    // Line ends split pairs: "0A" sent, LF+1 skipped, B+LF sent.
    plan = BuildProgramCommands("0A\n1B\n", 0x10);
    EXPECT_EQ(plan.commands, (std::vector<std::string>{"E00100A", "E0011B\n"}));

    // Pairs led by ')' or below, or 0x80 and above, use no address.
    plan = BuildProgramCommands(")1  *2\x81"
                                "3aa",
                                0);
    EXPECT_EQ(plan.commands, (std::vector<std::string>{"E0000*2", "E0001aa"}));

    // A 0 character ends the program.
    plan = BuildProgramCommands(std::string("0A\0\0"
                                            "1B",
                                            6),
                                0);
    EXPECT_EQ(plan.commands, (std::vector<std::string>{"E00000A"}));

    EXPECT_TRUE(BuildProgramCommands("", 0).commands.empty());
}

TEST(Program, OddLengthIsRefusedAndOnlyTheFirst1024CharactersCount) {
    auto plan = BuildProgramCommands("0A1B2", 0);
    EXPECT_EQ(plan.status, ProgramStatus::OddLength);
    EXPECT_TRUE(plan.commands.empty());

    std::string big;
    for (int i = 0; i < 600; ++i)
        big += "5A"; // 1200 characters
    big += "7";      // odd in total, even within 1024
    plan = BuildProgramCommands(big, 0);
    EXPECT_EQ(plan.status, ProgramStatus::Ok);
    EXPECT_EQ(plan.commands.size(), 512u);
    EXPECT_EQ(plan.commands.back(), "E01ff5A");
}

TEST(Program, AddressesPastFFFFRefuseTheWholeDownload) {
    auto plan = BuildProgramCommands("0A", 0xFFFF);
    EXPECT_EQ(plan.status, ProgramStatus::Ok);
    EXPECT_EQ(plan.commands, (std::vector<std::string>{"Effff0A"}));

    plan = BuildProgramCommands("0A1B", 0xFFFF);
    EXPECT_EQ(plan.status, ProgramStatus::PastLastAddress);
    EXPECT_TRUE(plan.commands.empty()) << "no command goes out, short or long";

    plan = BuildProgramCommands("0A\n\n", 0xFFFF);
    EXPECT_EQ(plan.status, ProgramStatus::Ok) << "a skipped pair needs no address";
    EXPECT_EQ(BuildProgramCommands("0A", 0x12345).status, ProgramStatus::PastLastAddress);
}

TEST(Program, BaseAddressReadsLikeTheStandardHexConversion) {
    EXPECT_EQ(ParseBaseAddress("b600"), 0xB600u);
    EXPECT_EQ(ParseBaseAddress("  0xB600"), 0xB600u);
    EXPECT_EQ(ParseBaseAddress("d80 rest"), 0xD80u);
    EXPECT_EQ(ParseBaseAddress("zz"), 0u);
    EXPECT_EQ(ParseBaseAddress(""), 0u);
    // Out-of-range texts must not wrap round into a valid address.
    EXPECT_EQ(ParseBaseAddress("100000000"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseBaseAddress("-1"), 0xFFFFFFFFu);
}

TEST(Program, FileReadsAsTextWithCrLfAsLfAndCtrlZAsTheEnd) {
    TempDir dir;
    std::string text;
    EXPECT_FALSE(ReadProgramText(dir.File("missing.prg"), text));

    ASSERT_TRUE(ReadProgramText(dir.Write("a.prg", "0A\r\n1B\r\n"), text));
    EXPECT_EQ(text, "0A\n1B\n");
    ASSERT_TRUE(ReadProgramText(dir.Write("b.prg", "0A\r1B\x1a"
                                                   "2C"),
                                text));
    EXPECT_EQ(text, "0A\r1B");

    std::string big;
    for (int i = 0; i < 700; ++i)
        big += "5A\r\n";
    ASSERT_TRUE(ReadProgramText(dir.Write("c.prg", big), text));
    EXPECT_EQ(text.size(), 1024u);
    EXPECT_EQ(text.substr(0, 6), "5A\n5A\n");
}

} // namespace
