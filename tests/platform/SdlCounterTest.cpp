#include "platform/SdlCounter.h"

#include <gtest/gtest.h>

namespace {

TEST(SdlCounter, FrameTimerRunsOnThePerformanceCounter) {
    const PerformanceCounter& counter = platform::performanceCounter();
    EXPECT_GE(counter.frequency(), 1000000) << "a high-resolution counter";
    const int64_t first = counter.now();
    EXPECT_GE(counter.now(), first);
    FrameTimer timer(counter);
    const double first_tick = timer.tick();
    const double second_tick = timer.tick();
    EXPECT_GE(first_tick, 0.0);
    EXPECT_GE(second_tick, 0.0);
    timer.markStart();
    timer.markEnd();
    EXPECT_GE(timer.interval(), 0.0);
}

} // namespace
