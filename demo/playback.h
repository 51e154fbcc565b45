// Playback on virtual time: the frame clock reads a virtual time source that is set frame by
// frame, so every frame is rendered at its exact demo time however long it takes. Used by
// frame dumps, tests and capture; the video textures' pacing reads the same source.
#pragma once

#include <cstdint>

#include "platform/timer.h"

struct DemoApp;

class VirtualPlayback {
public:
    // Switches the application's clock to the virtual source (system-time mode) at 0 ms.
    explicit VirtualPlayback(DemoApp* app);
    ~VirtualPlayback();
    VirtualPlayback(const VirtualPlayback&) = delete;
    VirtualPlayback& operator=(const VirtualPlayback&) = delete;

    // Renders and presents the frame at demo time ms (never earlier than the last one);
    // beforePresent, if given, runs after the part has drawn and before present.
    void frameAt(uint64_t ms, void (*beforePresent)() = nullptr);

private:
    platform::VirtualTimeSource time_{0};
    bool first_ = true;
};

// Plays the part that holds `seconds` from its start at fps frames per second and renders
// the frame at `seconds` last, calling atLastFrame before that frame is presented.
void playSceneTo(DemoApp* app, double seconds, void (*atLastFrame)(), int fps = 60);
