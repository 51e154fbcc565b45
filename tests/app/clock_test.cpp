#include "platform/timer.h"
#include "support/app_fixture.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class ClockTest : public AppFixture {
protected:
    void SetUp() override {
        platform::setTimeSource(&time);
        AppFixture::SetUp();
    }
    void TearDown() override {
        AppFixture::TearDown();
        platform::setTimerCreationFails(false);
        platform::setTimeSource(nullptr);
    }
    platform::VirtualTimeSource time{5000};
};

TEST_F(ClockTest, TimerModeCountsTicks) {
    app->startClock();
    ASSERT_NE(app->timerId, 0u);
    EXPECT_EQ(app->services.getTime(), 0u);
    time.advance(25);
    EXPECT_EQ(app->services.getTime(), 25u);
    EXPECT_EQ(app->services.getTime(), 25u); // same millisecond, same value
    app->stopClock();
    EXPECT_EQ(app->timerId, 0u);
    time.advance(10); // no tick after the timer is killed
    EXPECT_EQ(app->services.getTime(), 25u);
}

TEST_F(ClockTest, FallbackToSystemTimeStartsNearZero) {
    platform::setTimerCreationFails(true);
    time.set(123456789);
    app->startClock();
    EXPECT_EQ(app->timerId, 0u);
    EXPECT_EQ(app->clockFlags & kClockTimer, 0u);
    EXPECT_EQ(app->services.getTime(), 0u);
    time.advance(7);
    EXPECT_EQ(app->services.getTime(), 7u);
    EXPECT_EQ(app->services.getTime(), 7u);
}

TEST_F(ClockTest, SystemTimeWrapAdvancesByTheTrueDifference) {
    app->clockFlags &= ~kClockTimer;
    time.set(0xFFFFFFF0u);
    app->startClock();
    time.set(0x00000010u); // wrapped: 32 ms later
    EXPECT_EQ(app->services.getTime(), 32u);
    time.set(0x00000011u);
    EXPECT_EQ(app->services.getTime(), 33u);
}

TEST_F(ClockTest, SetClockStartsPartWay) {
    app->startClock();
    setClock(app, 249000);
    time.advance(3);
    EXPECT_EQ(app->services.getTime(), 249003u);
    app->stopClock();
}

TEST(TimerTest, RealTimerTicksOnItsOwnThreadAndStopsWhenKilled) {
    static std::atomic<int> ticks{0};
    ticks = 0;
    uint32_t id = platform::timeSetEvent(
        1, 0, [](uint32_t, void*) { ++ticks; }, nullptr);
    ASSERT_NE(id, 0u);
    while (ticks.load() < 3) {
        std::this_thread::yield();
    }
    EXPECT_EQ(platform::timeKillEvent(id), 0);
    int after = ticks.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ticks.load(), after);
    EXPECT_NE(platform::timeKillEvent(id), 0); // already gone
}

} // namespace
