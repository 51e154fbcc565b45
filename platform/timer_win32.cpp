// Periodic timer source on the Windows multimedia timer (1 ms resolution while any runs) and
// system milliseconds from timeGetTime.
#include "platform/timer_backend.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mmsystem.h>

#include <mutex>

namespace platform::detail {

namespace {

class MultimediaTimer final : public PeriodicTimer {
public:
    MultimediaTimer(void (*tick)(void*), void* user) : tick_(tick), user_(user) {}
    ~MultimediaTimer() override { stop(); }

    bool start(uint32_t periodMs) {
        timeBeginPeriod(1);
        periodSet_ = true;
        id_ = ::timeSetEvent(periodMs, 1, callback, reinterpret_cast<DWORD_PTR>(this),
                             TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
        return id_ != 0;
    }

    void stop() override {
        if (id_ != 0) {
            ::timeKillEvent(id_);
            id_ = 0;
        }
        {
            // A tick already running finishes before stop returns; none starts after.
            std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        if (periodSet_) {
            timeEndPeriod(1);
            periodSet_ = false;
        }
    }

private:
    static void CALLBACK callback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
        auto* self = reinterpret_cast<MultimediaTimer*>(user);
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (!self->stopped_) {
            self->tick_(self->user_);
        }
    }

    void (*tick_)(void*);
    void* user_;
    UINT id_ = 0;
    bool periodSet_ = false;
    std::mutex mutex_;
    bool stopped_ = false;
};

} // namespace

uint32_t systemMilliseconds() {
    return ::timeGetTime();
}

std::unique_ptr<PeriodicTimer> startPeriodic(uint32_t periodMs, void (*tick)(void*), void* user) {
    auto timer = std::make_unique<MultimediaTimer>(tick, user);
    if (!timer->start(periodMs)) {
        return nullptr;
    }
    return timer;
}

} // namespace platform::detail
