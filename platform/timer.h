// Multimedia timer stand-in: system milliseconds as a wrapping 32-bit value and a periodic
// 1 ms timer that calls back on its own thread. The time source can be swapped for a virtual
// one (tests, capture); a virtual source also drives the periodic timers it created, on the
// thread that advances it, so nothing depends on wall time or sleeping.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

class TimeSource {
public:
    virtual ~TimeSource() = default;
    // Milliseconds since some fixed start, wrapping at 2^32.
    virtual uint32_t milliseconds() = 0;
    // True when timers must be driven by advance() instead of a real thread.
    virtual bool isVirtual() const { return false; }
};

// Wall-clock milliseconds from a monotonic clock.
class SystemTimeSource final : public TimeSource {
public:
    uint32_t milliseconds() override;
};

// Time that moves only when told to. advance() delivers every timer tick that falls due,
// one callback per elapsed period, before it returns.
class VirtualTimeSource final : public TimeSource {
public:
    explicit VirtualTimeSource(uint32_t start = 0) : now_(start) {}
    uint32_t milliseconds() override { return now_; }
    bool isVirtual() const override { return true; }
    void advance(uint32_t ms);
    void set(uint32_t ms) { now_ = ms; }

private:
    uint32_t now_;
};

// The current source (a SystemTimeSource unless replaced). Not owned by the caller.
TimeSource& timeSource();
// Installs a source for the whole process; nullptr restores the system source. The caller
// keeps ownership and must keep it alive while installed.
void setTimeSource(TimeSource* source);

// System millisecond time from the current source.
uint32_t timeGetTime();

// Periodic timer: calls callback(id, user) every periodMs. Returns the timer id, 0 on failure.
using TimerCallback = void (*)(uint32_t timerId, void* user);
uint32_t timeSetEvent(uint32_t periodMs, uint32_t resolutionMs, TimerCallback callback, void* user);
// Stops the timer and joins its thread; the callback never runs after this returns.
// Returns 0 on success, non-zero for an unknown id.
int timeKillEvent(uint32_t timerId);

// Makes the next timeSetEvent calls fail (for testing the fallback paths).
void setTimerCreationFails(bool fails);

} // namespace platform
