// What a timer back end supplies to the common timer code (timer.cpp): wall-clock
// milliseconds and a periodic source that calls fire() until stopped. One implementation per
// platform (timer_thread.cpp, timer_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>

namespace platform::detail {

class PeriodicTimer {
public:
    virtual ~PeriodicTimer() = default;
    // Stops the source; no tick is delivered after this returns.
    virtual void stop() = 0;
};

// Milliseconds from the system's own clock, wrapping at 2^32.
uint32_t systemMilliseconds();

// Calls tick(user) every periodMs until stopped; null when the source cannot be started.
std::unique_ptr<PeriodicTimer> startPeriodic(uint32_t periodMs, void (*tick)(void* user),
                                             void* user);

} // namespace platform::detail
