#include "platform/displaytext.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayText, EscapesControlAndInvalidBytesOnly) {
    struct Row {
        std::string in;
        std::string out;
    };
    const Row rows[] = {
        {"Sensor 1, \"a\" (b) \\ ~", "Sensor 1, \"a\" (b) \\ ~"},
        {"\x1b[2J\x07x\x7f", "\\x1b[2J\\x07x\\x7f"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"tab\there\r\n", "tab\\x09here\\x0d\\x0a"},
        {"Temp\xc2\xb0 \xe2\x82\xac \xf0\x9f\x98\x80",
         "Temp\xc2\xb0 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"\xc2\x9b"
         "31m",
         "\\xc2\\x9b31m"},                            // C1 control
        {"\xff\xfe", "\\xff\\xfe"},                   // never UTF-8
        {"\xc3", "\\xc3"},                            // cut short
        {"\xe2\x82", "\\xe2\\x82"},                   // cut short
        {"\xc0\xaf", "\\xc0\\xaf"},                   // overlong
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},          // surrogate
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"}, // past U+10FFFF
        {"\x80z", "\\x80z"},                          // stray continuation
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nimbrel::DisplayText(row.in), row.out) << row.in;
        EXPECT_EQ(nimbrel::DisplayText(row.out), row.out) << "again changes nothing: " << row.in;
    }
    EXPECT_EQ(nimbrel::DisplayText("one\r\ntwo\x1b\n", true), "one\r\ntwo\\x1b\n");
}

} // namespace
