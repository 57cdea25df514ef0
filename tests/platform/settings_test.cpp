#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

using nimbrel::Settings;
using nimbrel::test::TempDir;
namespace keys = nimbrel::keys;

TEST(SettingsRead, MissingFileSectionOrKeyGivesEachReadersDefault) {
    TempDir dir;
    EXPECT_EQ(Settings::Get(keys::kPrefBaud), 4800);
    EXPECT_EQ(Settings::Get(keys::kPortBaud), "9600");
    EXPECT_EQ(Settings::Get(keys::kPrefWait), 70);
    EXPECT_EQ(Settings::Get(keys::kStartWait), 60);
    EXPECT_EQ(Settings::Get(keys::kPrefReadAfterWrite), 0);
    EXPECT_EQ(Settings::Get(keys::kReadAfterWrite), 1);
    EXPECT_EQ(Settings::Get(keys::kStopAbort), "qqqqqqq");
    dir.Write("Nimbrel.ini", "[COM]\nport=3\n");
    EXPECT_EQ(Settings::Get(keys::kPrefBaud), 4800) << "missing key in an existing section";
    EXPECT_EQ(Settings::Get(keys::kStartWait), 60) << "missing section";
}

TEST(SettingsRead, IntegerRuleTakesLeadingDigitsAfterOptionalMinus) {
    TempDir dir;
    dir.Write("Nimbrel.ini", "[USER INTERFACE]\nwait=12abc\n[A]\nneg=-7x\nword=abc\nempty=\n"
                             "big=99999999999\n");
    EXPECT_EQ(Settings::Get(keys::kStartWait), 12);
    EXPECT_EQ(Settings::GetInt("A", "neg", 5), -7);
    EXPECT_EQ(Settings::GetInt("A", "word", 5), 0);
    EXPECT_EQ(Settings::GetInt("A", "empty", 5), 0);
    EXPECT_EQ(Settings::GetInt("A", "big", 5), 2147483647);
}

TEST(SettingsRead, NamesMatchWithoutRegardToCaseAndStringsAreCutToTheBuffer) {
    TempDir dir;
    dir.Write("nimbrel.ini", "[user interface]\r\nABORT=AAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\r\n");
    EXPECT_EQ(Settings::Get(keys::kPrefAbort), std::string(19, 'A'));
    EXPECT_EQ(Settings::GetString("USER INTERFACE", "abort", "", 5), "AAAA");
    EXPECT_EQ(Settings::Get(keys::kStopAbort).size(), 30u);
}

TEST(SettingsWrite, CreatesFileSectionAndKeyAndReadsBackExactly) {
    TempDir dir;
    ASSERT_TRUE(Settings::WriteString("USER INTERFACE", "wait", "1x 2"));
    ASSERT_TRUE(Settings::WriteString("COM", "baud", "1200"));
    EXPECT_EQ(Settings::GetString("USER INTERFACE", "wait", "", 50), "1x 2");
    EXPECT_EQ(Settings::Get(keys::kPrefBaud), 1200);
    EXPECT_EQ(dir.Read("Nimbrel.ini"), "[USER INTERFACE]\nwait=1x 2\n[COM]\nbaud=1200\n");
}

TEST(SettingsWrite, ReplacesInPlaceAndKeepsOtherLinesCommentsAndOrder) {
    TempDir dir;
    const std::string before = "; my settings\r\n[COM]\r\nport=2\r\n; keep me\r\nbaud=9600\r\n"
                               "\r\n[STARTUP]\r\nsimplemode=0\r\n";
    dir.Write("Nimbrel.ini", before);
    ASSERT_TRUE(Settings::WriteString("com", "BAUD", "2400"));
    ASSERT_TRUE(Settings::WriteString("COM", "parity", "e"));
    ASSERT_TRUE(Settings::WriteString("STARTUP", "simplemode", "1"));
    EXPECT_EQ(dir.Read("Nimbrel.ini"),
              "; my settings\r\n[COM]\r\nport=2\r\n; keep me\r\nbaud=2400\r\nparity=e\r\n"
              "\r\n[STARTUP]\r\nsimplemode=1\r\n")
        << "a replaced key keeps its spelling and place; a new key ends its section";
}

TEST(SettingsFile, BothSpellingsNameOneFile) {
    TempDir dir;
    dir.Write("nimbrel.ini", "[COM]\nport=4\n");
    ASSERT_TRUE(Settings::WriteString("COM", "baud", "2400"));
    EXPECT_EQ(Settings::Get(keys::kPrefPort), 4);
    EXPECT_FALSE(std::filesystem::exists(dir.File("Nimbrel.ini")));
    EXPECT_EQ(dir.Read("nimbrel.ini"), "[COM]\nport=4\nbaud=2400\n");
}

TEST(SettingsWrite, UnwritableFolderReportsFailureAndKeepsNothingHalfWritten) {
    TempDir dir;
    Settings::SetDirectory(dir.File("no-such-folder"));
    EXPECT_FALSE(Settings::WriteString("COM", "port", "1"));
    Settings::SetDirectory(dir.Path());
}

TEST(SettingsWrite, ASettingsFileThatIsALinkStaysALink) {
    TempDir dir;
    dir.Write("shared.ini", "[COM]\nport=3\n");
    std::filesystem::create_symlink(dir.File("shared.ini"), dir.File("Nimbrel.ini"));
    ASSERT_TRUE(Settings::WriteString("COM", "baud", "2400"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("Nimbrel.ini")));
    EXPECT_EQ(dir.Read("shared.ini"), "[COM]\nport=3\nbaud=2400\n");
}
