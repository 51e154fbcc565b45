// Common part of the timer stand-in: the time sources, the timer table and virtual ticks.
// Real ticks come from the platform's periodic source (timer_backend.h).
#include "platform/timer.h"

#include "platform/timer_backend.h"

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace platform {

namespace {

SystemTimeSource systemSource;
std::atomic<TimeSource*> currentSource{&systemSource};
std::atomic<bool> creationFails{false};

struct Timer {
    uint32_t id = 0;
    uint32_t period = 1;
    TimerCallback callback = nullptr;
    void* user = nullptr;
    bool isVirtual = false;
    uint32_t virtualDue = 0; // next due time on the virtual source
    // Real time only. A timer still running when the process exits (exit() from a library's
    // fatal-error handler, say) stops with its table: the source stops when it goes, instead
    // of ending the process in std::terminate.
    std::unique_ptr<detail::PeriodicTimer> source;
};

std::mutex timersMutex;
std::map<uint32_t, std::shared_ptr<Timer>> timers;
uint32_t nextTimerId = 1;

void tick(void* user) {
    auto* timer = static_cast<Timer*>(user);
    timer->callback(timer->id, timer->user);
}

} // namespace

uint32_t SystemTimeSource::milliseconds() {
    return detail::systemMilliseconds();
}

void VirtualTimeSource::advance(uint32_t ms) {
    // Step one millisecond at a time so every due tick fires with the time it was due at.
    for (uint32_t i = 0; i < ms; ++i) {
        ++now_;
        std::vector<std::pair<uint32_t, std::shared_ptr<Timer>>> due;
        {
            std::lock_guard<std::mutex> lock(timersMutex);
            for (auto& [id, timer] : timers) {
                if (timer->isVirtual && static_cast<int32_t>(now_ - timer->virtualDue) >= 0) {
                    timer->virtualDue += timer->period;
                    due.emplace_back(id, timer);
                }
            }
        }
        for (auto& [id, timer] : due) {
            timer->callback(id, timer->user);
        }
    }
}

TimeSource& timeSource() {
    return *currentSource.load();
}

void setTimeSource(TimeSource* source) {
    currentSource.store(source != nullptr ? source : &systemSource);
}

uint32_t timeGetTime() {
    return timeSource().milliseconds();
}

uint32_t timeSetEvent(uint32_t periodMs, uint32_t /*resolutionMs*/, TimerCallback callback,
                      void* user) {
    if (creationFails.load() || callback == nullptr || periodMs == 0) {
        return 0;
    }
    auto timer = std::make_shared<Timer>();
    timer->period = periodMs;
    timer->callback = callback;
    timer->user = user;
    TimeSource& source = timeSource();
    timer->isVirtual = source.isVirtual();
    timer->virtualDue = source.milliseconds() + periodMs;
    {
        std::lock_guard<std::mutex> lock(timersMutex);
        timer->id = nextTimerId++;
        if (nextTimerId == 0) {
            nextTimerId = 1;
        }
        timers[timer->id] = timer;
    }
    if (!timer->isVirtual) {
        timer->source = detail::startPeriodic(periodMs, tick, timer.get());
        if (!timer->source) {
            std::lock_guard<std::mutex> lock(timersMutex);
            timers.erase(timer->id);
            return 0;
        }
    }
    return timer->id;
}

int timeKillEvent(uint32_t timerId) {
    std::shared_ptr<Timer> timer;
    {
        std::lock_guard<std::mutex> lock(timersMutex);
        auto it = timers.find(timerId);
        if (it == timers.end()) {
            return 1;
        }
        timer = it->second;
        timers.erase(it);
    }
    if (timer->source) {
        timer->source->stop();
    }
    return 0;
}

void setTimerCreationFails(bool fails) {
    creationFails.store(fails);
}

} // namespace platform
