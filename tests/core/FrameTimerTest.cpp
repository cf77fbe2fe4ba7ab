#include "engine/base/FrameTimer.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameTimer, FirstTickMeasuresFromConstruction) {
    ManualCounter counter;
    counter.advanceMicroseconds(5000);
    FrameTimer timer(counter);
    counter.advanceMicroseconds(250000);
    EXPECT_DOUBLE_EQ(timer.tick(), 250.0);
}

TEST(FrameTimer, EachTickMeasuresOnlySinceThePrevious) {
    ManualCounter counter;
    FrameTimer timer(counter);
    counter.advanceMicroseconds(16500);
    EXPECT_DOUBLE_EQ(timer.tick(), 16.5);
    EXPECT_DOUBLE_EQ(timer.tick(), 0.0);
    counter.advanceMicroseconds(1);
    EXPECT_DOUBLE_EQ(timer.tick(), 0.001);
}

TEST(FrameTimer, IntervalIsZeroUntilMarkedAndDoesNotReadTheCounter) {
    ManualCounter counter;
    FrameTimer timer(counter);
    EXPECT_EQ(timer.interval(), 0.0);
    timer.markStart();
    counter.advanceMicroseconds(3000);
    timer.markEnd();
    counter.advanceMicroseconds(9000);
    EXPECT_DOUBLE_EQ(timer.interval(), 3.0);
    EXPECT_DOUBLE_EQ(timer.tick(), 12.0);
}

TEST(FrameTimer, SteadyClockNeverGoesBackwards) {
    FrameTimer timer;
    for (int i = 0; i < 100; ++i)
        EXPECT_GE(timer.tick(), 0.0);
}

} // namespace
