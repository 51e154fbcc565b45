#include "platform/timer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {

namespace {

SystemTimeSource systemSource;
std::atomic<TimeSource*> currentSource{&systemSource};
std::atomic<bool> creationFails{false};

struct Timer {
    uint32_t period = 1;
    TimerCallback callback = nullptr;
    void* user = nullptr;
    bool isVirtual = false;
    uint32_t virtualDue = 0; // next due time on the virtual source
    std::thread thread;
    std::mutex mutex;
    std::condition_variable stop;
    bool stopping = false;

    // A timer still running when the process exits (exit() from a library's fatal-error
    // handler, say) stops with its table instead of ending the process in std::terminate.
    ~Timer() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        stop.notify_all();
        if (thread.joinable()) {
            thread.join();
        }
    }
};

std::mutex timersMutex;
std::map<uint32_t, std::shared_ptr<Timer>> timers;
uint32_t nextTimerId = 1;

void runTimer(uint32_t id, Timer* timer) {
    using clock = std::chrono::steady_clock;
    auto due = clock::now();
    std::unique_lock<std::mutex> lock(timer->mutex);
    while (!timer->stopping) {
        due += std::chrono::milliseconds(timer->period);
        if (timer->stop.wait_until(lock, due, [timer] { return timer->stopping; })) {
            break;
        }
        lock.unlock();
        timer->callback(id, timer->user);
        lock.lock();
        // A timer that falls far behind (suspended process) does not burst to catch up.
        if (clock::now() - due > std::chrono::milliseconds(100)) {
            due = clock::now();
        }
    }
}

} // namespace

uint32_t SystemTimeSource::milliseconds() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    return static_cast<uint32_t>(ms);
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
    uint32_t id;
    {
        std::lock_guard<std::mutex> lock(timersMutex);
        id = nextTimerId++;
        if (nextTimerId == 0) {
            nextTimerId = 1;
        }
        timers[id] = timer;
    }
    if (!timer->isVirtual) {
        try {
            timer->thread = std::thread(runTimer, id, timer.get());
        } catch (const std::system_error&) {
            std::lock_guard<std::mutex> lock(timersMutex);
            timers.erase(id);
            return 0;
        }
    }
    return id;
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
    {
        std::lock_guard<std::mutex> lock(timer->mutex);
        timer->stopping = true;
    }
    timer->stop.notify_all();
    if (timer->thread.joinable()) {
        timer->thread.join();
    }
    return 0;
}

void setTimerCreationFails(bool fails) {
    creationFails.store(fails);
}

} // namespace platform
