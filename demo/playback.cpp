#include "demo/playback.h"

#include "app/demo_app.h"
#include "demo/sequencer.h"

#include <algorithm>
#include <cmath>

VirtualPlayback::VirtualPlayback(DemoApp* app) {
    platform::setTimeSource(&time_);
    app->stopClock();
    app->clockFlags &= ~kClockTimer;
    app->startClock(); // clock 0 at virtual time 0
}

VirtualPlayback::~VirtualPlayback() {
    sequencer().beforePresent = nullptr;
    platform::setTimeSource(nullptr);
}

void VirtualPlayback::frameAt(uint64_t ms, void (*beforePresent)()) {
    if (first_) {
        // The frame-rate line at exit counts from the first frame played.
        sequencer().startMs = ms;
        first_ = false;
    }
    time_.set(uint32_t(ms));
    sequencer().beforePresent = beforePresent;
    displayFrame();
    sequencer().beforePresent = nullptr;
}

void playSceneTo(DemoApp* app, double seconds, void (*atLastFrame)(), int fps) {
    const uint64_t rate = uint64_t(std::max(fps, 1));
    VirtualPlayback playback(app);
    uint64_t startMs = uint64_t(std::ceil(partStartFor(seconds) * 1000.0));
    uint64_t targetMs = uint64_t(std::llround(seconds * 1000.0));
    for (uint64_t frame = 0;; ++frame) {
        uint64_t ms = std::min(startMs + frame * 1000 / rate, targetMs);
        bool last = ms == targetMs;
        playback.frameAt(ms, last ? atLastFrame : nullptr);
        if (last) {
            break;
        }
    }
}
