#include "tarn/clock.h"

#include <gtest/gtest.h>

namespace {

using Tarn::Clock;

// Every clock reads this hand-driven timer for the length of a test.
double g_now = 0.0;
double fakeTime() {
    return g_now;
}

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = 100.0;
        Clock::setTimeSource(&fakeTime);
    }
    void TearDown() override { Clock::setTimeSource(nullptr); }
};

TEST_F(ClockTest, ElapsedGrowsFromZeroAfterReset) {
    Clock clock;
    g_now = 150.0;
    clock.reset();
    EXPECT_EQ(clock.elapsed(), 0.0);
    g_now = 151.25;
    EXPECT_EQ(clock.elapsed(), 1.25);
    EXPECT_FALSE(clock.paused());
}

TEST_F(ClockTest, PausedClockIsFrozen) {
    Clock clock;
    g_now = 102.0;
    clock.pause(true);
    EXPECT_TRUE(clock.paused());
    g_now = 105.0;
    EXPECT_EQ(clock.elapsed(), 2.0);
    g_now = 107.0;
    EXPECT_EQ(clock.elapsed(), 2.0);
}

TEST_F(ClockTest, ResumeContinuesFromFrozenValue) {
    Clock clock;
    g_now = 102.0;
    clock.pause(true);
    g_now = 103.0;  // one second paused
    clock.pause(false);
    EXPECT_FALSE(clock.paused());
    EXPECT_EQ(clock.elapsed(), 2.0);
    g_now = 103.5;
    EXPECT_EQ(clock.elapsed(), 2.5);
}

TEST_F(ClockTest, RepeatedPauseKeepsFirstPauseTime) {
    Clock clock;
    g_now = 101.0;
    clock.pause(true);
    g_now = 104.0;
    clock.pause(true);
    EXPECT_EQ(clock.elapsed(), 1.0);
    clock.pause(false);
    EXPECT_EQ(clock.elapsed(), 1.0);
}

TEST_F(ClockTest, ResumingARunningClockChangesNothing) {
    Clock clock;
    g_now = 103.0;
    clock.pause(false);
    EXPECT_FALSE(clock.paused());
    EXPECT_EQ(clock.elapsed(), 3.0);
}

TEST_F(ClockTest, ResetOnPausedClockRunsFromZero) {
    Clock clock;
    g_now = 102.0;
    clock.pause(true);
    g_now = 110.0;
    clock.reset();
    EXPECT_FALSE(clock.paused());
    EXPECT_EQ(clock.elapsed(), 0.0);
    g_now = 111.0;
    EXPECT_EQ(clock.elapsed(), 1.0);
}

TEST(ClockDefaultSourceTest, ReadsZeroBeforeTheWindowingLibraryStarts) {
    // Clocks made before the window exists start from 0 and must be reset.
    Clock::setTimeSource(nullptr);
    EXPECT_EQ(Clock::now(), 0.0);
    Clock clock;
    EXPECT_EQ(clock.elapsed(), 0.0);
}

}  // namespace
