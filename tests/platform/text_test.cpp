#include "platform/clock.h"
#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, TrimUpperAndNewlines) {
    EXPECT_EQ(nimbrel::Trim(" \t a b \t"), "a b");
    EXPECT_EQ(nimbrel::Trim(" \t "), "");
    EXPECT_EQ(nimbrel::Trim("a\r"), "a\r") << "blank and tab only, unless told";
    EXPECT_EQ(nimbrel::Trim("\r a\r\n", " \r\n"), "a");
    EXPECT_EQ(nimbrel::Upper("e000a1 zq\xe9"), "E000A1 ZQ\xe9") << "ASCII letters only";
    EXPECT_EQ(nimbrel::SingleNewlines("a\r\nb\n\rc\rd\ne\n\n"), "a\nb\nc\nd\ne\n\n");
}

TEST(Text, ElapsedMsCountsFromThePointGiven) {
    const auto ms =
        nimbrel::ElapsedMs(std::chrono::steady_clock::now() - std::chrono::milliseconds(250));
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 5000);
}

} // namespace
