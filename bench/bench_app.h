// The application a scene benchmark runs in: headless, the chosen device (the Null device
// by default, so only our own code is measured), the render driver registered, the fonts
// built, through the program's own start-up path (DemoHost), which also tears it down.
#pragma once

#include "demo/sequencer.h"
#include "platform/files.h"
#include "render/demo_host.h"
#include "render/text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

// Wall-clock milliseconds (for GPU work, which runs beside this thread).
inline double wallMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU milliseconds of this thread: the machine the figures are taken on is shared, and wall
// time there counts other processes' turns.
inline double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

// CPU milliseconds of the whole process, every thread (the rasteriser's workers included).
inline double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

// The value at fraction p (0.5 the median) of the sorted samples; 0 for none.
inline double percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

class BenchApp {
public:
    // dataDirectory empty: the data pack of the source tree. The client is configured but
    // not started: a benchmark loads what it measures.
    BenchApp(const char* name, const std::string& dataDirectory,
             gfx::Backend backend = gfx::Backend::Null) {
        platform::setDataDirectory(dataDirectory.empty() ? DEMO_SOURCE_DIR "/data" : dataDirectory);
        HostOptions options;
        options.launch.headless = true;
        options.launch.backend = backend;
        options.client = ClientHooks{clientInitialize, clientStart, clientStop, clientCleanup};
        options.start = false;
        switch (host.start(options)) {
        case DemoHost::Step::Ready:
            app = host.app();
            driver = host.driver();
            break;
        case DemoHost::Step::Display:
            std::printf("%s: no headless display\n", name);
            break;
        default:
            std::printf("%s: the device did not start (%s)\n", name, host.error().c_str());
            break;
        }
    }
    BenchApp(const BenchApp&) = delete;
    BenchApp& operator=(const BenchApp&) = delete;

    bool ok() const { return host.ok(); }

    DemoHost host; // takes everything down in its destructor
    DemoApp* app = nullptr;
    RenderDriver* driver = nullptr;
};
