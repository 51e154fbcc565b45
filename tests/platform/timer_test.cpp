#include "platform/timer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

TEST(VirtualTime, TimersFireOncePerPeriodWithTheDueTime) {
    platform::VirtualTimeSource time(100);
    platform::setTimeSource(&time);
    static std::vector<uint32_t> seen;
    seen.clear();
    uint32_t id = platform::timeSetEvent(
        2, 0, [](uint32_t, void*) { seen.push_back(platform::timeGetTime()); }, nullptr);
    ASSERT_NE(id, 0u);
    time.advance(7);
    EXPECT_EQ(seen, (std::vector<uint32_t>{102, 104, 106}));
    EXPECT_EQ(platform::timeKillEvent(id), 0);
    time.advance(4);
    EXPECT_EQ(seen.size(), 3u);
    platform::setTimeSource(nullptr);
}

TEST(VirtualTime, WrapsAt32Bits) {
    platform::VirtualTimeSource time(0xFFFFFFFEu);
    time.advance(3);
    EXPECT_EQ(time.milliseconds(), 1u);
}

TEST(Timer, CreationCanBeRefused) {
    platform::setTimerCreationFails(true);
    EXPECT_EQ(platform::timeSetEvent(
                  1, 0, [](uint32_t, void*) {}, nullptr),
              0u);
    platform::setTimerCreationFails(false);
    EXPECT_EQ(platform::timeSetEvent(1, 0, nullptr, nullptr), 0u);
}

// A library's fatal-error handler (the X connection lost) may call exit() while the 1 ms
// timer runs: the process must end with that status, not abort on a running thread.
TEST(TimerDeathTest, ExitWhileATimerRunsEndsWithTheExitStatus) {
    EXPECT_EXIT(
        {
            platform::timeSetEvent(
                1, 0, [](uint32_t, void*) {}, nullptr);
            std::exit(3);
        },
        ::testing::ExitedWithCode(3), "");
}

TEST(SystemTime, NeverGoesBackwards) {
    uint32_t a = platform::timeGetTime();
    uint32_t b = platform::timeGetTime();
    EXPECT_LE(int32_t(b - a), 1000);
    EXPECT_GE(int32_t(b - a), 0);
}

} // namespace
