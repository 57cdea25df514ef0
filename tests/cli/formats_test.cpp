#include "cli/formats.h"
#include "cli/json.h"
#include "config/configfile.h"
#include "tests/support/itemlines.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace nimbrel;
using nimbrel::test::Items;
using namespace nimbrel::cli;

namespace {

} // namespace

TEST(CliFormats, JsonEscapesWhatJsonCannotHoldAndKeepsUtf8) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line\r\nnext\ttab", "\"line\\r\\nnext\\ttab\""},
        {std::string("nul\0bell\x07", 9), "\"nul\\u0000bell\\u0007\""},
        {"\x7f", "\"\\u007f\""},
        {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1",
         "\"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1\""},
        {"\xff\xfe", "\"\\u00ff\\u00fe\""},            // not UTF-8: bytes as Latin-1 characters
        {"\xc3", "\"\\u00c3\""},                       // cut sequence
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},            // overlong
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""}, // surrogate
        {"\xc2\x9b[2J", "\"\\u009b[2J\""},             // C1 control
    };
    for (const auto& [text, quoted] : rows)
        EXPECT_EQ(JsonQuote(text), quoted) << quoted;
}

TEST(CliFormats, JsonWriterPlacesCommas) {
    JsonWriter json;
    json.BeginObject().Field("a", 1).Key("b").BeginArray().Int(1).String("x").Bool(false).Null();
    json.BeginObject().EndObject().BeginArray().EndArray().EndArray().Field("c", true).EndObject();
    EXPECT_EQ(json.Text(), R"({"a":1,"b":[1,"x",false,null,{},[]],"c":true})");
}

TEST(CliFormats, EncodeFormatsOfASend) {
    const ItemList items = Items({
        "4,0,7200,ARGOS transmitter,On time,1,0,0,86400,1,4,0,256",
        "8,0,R020000,,user command,1,1,0,0,0,7,0,0",
        "10,0,4800,,Baud rate,1,2,1,{4800,9600},0,4,0,1023",
        "5,0,e0300ab H,,ready-made,1,3,0,0,0,7,0,0",
    });
    const std::vector<EncodedItem> encoded = PlanSend(items).items;
    ASSERT_EQ(encoded.size(), 3u) << "the user command is left out";
    EXPECT_EQ(encoded[1].sensor, "ARGOS transmitter");

    EXPECT_EQ(FormatEncoded(encoded, Format::Commands), "E010000 E010100 E01021C E010320\n"
                                                        "E03FF31\n"
                                                        "E0300AB\n");
    EXPECT_EQ(FormatEncoded(encoded, Format::Hex), "0100 00\n0101 00\n0102 1C\n0103 20\n"
                                                   "03FF 31\n"
                                                   "0300 AB\n");
    EXPECT_EQ(FormatEncoded(encoded, Format::Json),
              R"({"items":[{"index":0,"name":"On time","sensor":"ARGOS transmitter","address":256,)"
              R"("commands":["E010000","E010100","E01021C","E010320"],"writes":[)"
              R"({"address":256,"byte":0},{"address":257,"byte":0},{"address":258,"byte":28},)"
              R"({"address":259,"byte":32}]},)"
              R"({"index":2,"name":"Baud rate","sensor":"ARGOS transmitter","address":1023,)"
              R"("commands":["E03FF31"],"writes":[{"address":1023,"byte":49}]},)"
              R"({"index":3,"name":"ready-made","sensor":"ARGOS transmitter","address":0,)"
              R"("commands":["E0300AB"],"writes":[{"address":768,"byte":171}]}],)"
              R"("commands":6,"bytes":6})"
              "\n");
}

TEST(CliFormats, NonWriteCommandsHaveNoHexLine) {
    EXPECT_TRUE(MemoryWrites("R020000TTTTTTTE0100").empty());
    EXPECT_EQ(SplitCommands("E010000E0101"), (std::vector<std::string>{"E010000", "E0101"}));
}

TEST(CliFormats, DumpLines) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 18; ++i)
        bytes.push_back(static_cast<std::uint8_t>(0x3E + i));
    bytes[1] = 0x00;
    EXPECT_EQ(FormatDump(0xFFE0, bytes),
              "FFE0  3E 00 40 41 42 43 44 45  46 47 48 49 4A 4B 4C 4D  |>.@ABCDEFGHIJKLM|\n"
              "FFF0  4E 4F                                             |NO|\n");
}

TEST(CliFormats, ProgressTexts) {
    Progress p;
    p.what = "Sending item 3 of 8";
    p.step = 3;
    p.steps = 8;
    p.bytes = 8;
    p.totalBytes = 32;
    p.elapsedMs = 1234;
    EXPECT_EQ(ProgressBarText(p, 200),
              "[#######-------------] 3/8 Sending item 3 of 8, 8 of 32 bytes, 1.2 s");
    EXPECT_EQ(ProgressBarText(p, 30), "[#######-------------] 3/8 Sen");
    EXPECT_EQ(ProgressLineText(p), "Sending item 3 of 8, 8 of 32 bytes, 1.2 s");

    Progress wait;
    wait.what = "Waiting for the transmitter";
    wait.elapsedMs = 61500;
    wait.leftMs = 500;
    EXPECT_EQ(ProgressBarText(wait, 200), "Waiting for the transmitter, 0.5 s left, 1:01");
}
