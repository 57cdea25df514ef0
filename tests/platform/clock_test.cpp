#include "platform/clock.h"
#include "tests/support/recordingui.h"

#include <gtest/gtest.h>

using nimbrel::TickCount;
using nimbrel::WaitUntil;

TEST(WaitUntil, EndsOnTimeWhenTheConditionNeverHoldsAndServesEventsInSlices) {
    nimbrel::test::RecordingUi ui;
    const auto start = TickCount();
    EXPECT_FALSE(WaitUntil([] { return false; }, 120, 20));
    const auto elapsed = TickCount() - start;
    EXPECT_GE(elapsed, 120u);
    EXPECT_LT(elapsed, 1000u);
    EXPECT_GE(ui.serveCalls, 5);
}

TEST(WaitUntil, ReturnsAsSoonAsTheConditionHolds) {
    nimbrel::test::RecordingUi ui;
    int passes = 0;
    EXPECT_TRUE(WaitUntil([&] { return ++passes == 3; }, 10000, 5));
    EXPECT_EQ(ui.serveCalls, 2);
}
