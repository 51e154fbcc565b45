// Periodic timer source on a thread of its own and the steady clock (the Linux back end).
#include "platform/timer_backend.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform::detail {

namespace {

class ThreadTimer final : public PeriodicTimer {
public:
    ThreadTimer(uint32_t periodMs, void (*tick)(void*), void* user)
        : period_(periodMs), tick_(tick), user_(user) {}
    ~ThreadTimer() override { stop(); }

    void start() {
        thread_ = std::thread([this] { run(); });
    }

    void stop() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        stop_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    void run() {
        using clock = std::chrono::steady_clock;
        auto due = clock::now();
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            due += std::chrono::milliseconds(period_);
            if (stop_.wait_until(lock, due, [this] { return stopping_; })) {
                break;
            }
            lock.unlock();
            tick_(user_);
            lock.lock();
            // A timer that falls far behind (suspended process) does not burst to catch up.
            if (clock::now() - due > std::chrono::milliseconds(100)) {
                due = clock::now();
            }
        }
    }

    uint32_t period_;
    void (*tick_)(void*);
    void* user_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
};

} // namespace

uint32_t systemMilliseconds() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    return static_cast<uint32_t>(ms);
}

std::unique_ptr<PeriodicTimer> startPeriodic(uint32_t periodMs, void (*tick)(void*), void* user) {
    auto timer = std::make_unique<ThreadTimer>(periodMs, tick, user);
    try {
        timer->start();
    } catch (const std::system_error&) {
        return nullptr;
    }
    return timer;
}

} // namespace platform::detail
