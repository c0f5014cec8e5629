#include "app/FrameTimer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// A scripted millisecond clock: each reading returns the next value of `readings`.
std::vector<std::int32_t> readings;
std::size_t nextReading = 0;

std::int32_t scriptedClock() {
    // Running past the script is a fault of the test, reported rather than read out of range.
    if (nextReading >= readings.size()) {
        ADD_FAILURE() << "the timer read the clock more often than the script allows";
        return 0;
    }
    return readings[nextReading++];
}

void script(std::vector<std::int32_t> values) {
    readings = std::move(values);
    nextReading = 0;
}

} // namespace

TEST(FrameTimer, MeasuresFromStartAndRestartsWithAFreshReading) {
    // start, then two frames; each frame reads `now` and then a fresh tick.
    script({1000, 1016, 1020, 1520, 1521});
    FrameTimer timer(&scriptedClock);
    timer.start();
    EXPECT_DOUBLE_EQ(timer.elapsedSeconds(), 0.016);
    // Counted from the fresh reading 1020, not from 1016: the 4 ms between belong to no frame.
    EXPECT_DOUBLE_EQ(timer.elapsedSeconds(), 0.5);
    EXPECT_EQ(nextReading, readings.size());
}

TEST(FrameTimer, MeasuresAcrossAWrapOfTheCounter) {
    // The signed 32-bit counter wraps from INT32_MAX to INT32_MIN; 3 ms pass across it.
    script({INT32_MAX - 1, INT32_MIN + 1, -1, 1, 2});
    FrameTimer timer(&scriptedClock);
    timer.start();
    EXPECT_DOUBLE_EQ(timer.elapsedSeconds(), 0.003);
    // And from a negative reading to a positive one.
    EXPECT_DOUBLE_EQ(timer.elapsedSeconds(), 0.002);
}

TEST(FrameTimer, UnstartedTimerCountsFromZero) {
    script({250, 260});
    FrameTimer timer(&scriptedClock);
    EXPECT_DOUBLE_EQ(timer.elapsedSeconds(), 0.25);
}

TEST(FrameTimer, DefaultClockIsRealAndNeverNegative) {
    FrameTimer timer;
    timer.start();
    for (int frame = 0; frame < 3; ++frame) {
        const double elapsed = timer.elapsedSeconds();
        EXPECT_GE(elapsed, 0.0);
        // Whole milliseconds: a multiple of 0.001 up to rounding.
        EXPECT_NEAR(elapsed * 1000.0, std::round(elapsed * 1000.0), 1e-9);
    }
}

TEST(FramesPerSecond, TruncatesTheRateTowardZero) {
    EXPECT_EQ(framesPerSecond(0.016), 62); // 62.5
    EXPECT_EQ(framesPerSecond(0.5), 2);
    EXPECT_EQ(framesPerSecond(1.5), 0); // 0.67
    EXPECT_EQ(framesPerSecond(0.001), 1000);
    EXPECT_EQ(framesPerSecond(0.003), 333);
    EXPECT_EQ(framesPerSecond(1.0), 1);
}

TEST(FramesPerSecond, ZeroAndOutOfRangeFramesHaveDefinedRates) {
    // Several frames within one clock tick: the rate of one tick.
    EXPECT_EQ(framesPerSecond(0.0), 1000);
    EXPECT_EQ(framesPerSecond(-0.0), 1000);
    // Not given by the clock, but converting them must stay defined (the sanitizer build checks).
    EXPECT_EQ(framesPerSecond(1e-12), INT_MAX);
    EXPECT_EQ(framesPerSecond(-1e-12), INT_MIN);
    EXPECT_EQ(framesPerSecond(std::nan("")), 0);
    EXPECT_EQ(framesPerSecond(-0.5), -2);
}
