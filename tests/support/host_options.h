// Host options for the fixtures: the program headless on a chosen device, with the demo
// client's hooks (its initialize fixes 800 x 600 and the mode flags the tests rely on).
#pragma once

#include "demo/sequencer.h"
#include "render/demo_host.h"

inline ClientHooks demoClient() {
    return ClientHooks{clientInitialize, clientStart, clientStop, clientCleanup};
}

// The program as the entry point brings it up, less what the fixture leaves out.
inline HostOptions headlessOptions(gfx::Backend backend, bool fonts, bool driver, bool start) {
    HostOptions options;
    options.display = platform::DisplayMode::Headless;
    options.launch.headless = true;
    options.launch.backend = backend;
    options.client = demoClient();
    options.fonts = fonts;
    options.driver = driver;
    options.start = start;
    return options;
}
