// The application a scene benchmark runs in: headless, the chosen device (the Null device
// by default, so only our own code is measured), the render driver registered, the fonts
// built. Tear-down happens in the destructor, in the order the program itself uses.
#pragma once

#include "app/demo_app.h"
#include "platform/files.h"
#include "platform/window.h"
#include "render/render_driver.h"
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
    // dataDirectory empty: the data pack of the source tree.
    BenchApp(const char* name, const std::string& dataDirectory,
             gfx::Backend backend = gfx::Backend::Null) {
        platform::setDataDirectory(dataDirectory.empty() ? DEMO_SOURCE_DIR "/data" : dataDirectory);
        if (!platform::initDisplay(platform::DisplayMode::Headless)) {
            std::printf("%s: no headless display\n", name);
            return;
        }
        launchOptions().backend = backend;
        setFontInitializer(createDemoFonts);
        app = std::make_unique<DemoApp>();
        gApp = app.get();
        if (app->initialize() != 0) {
            std::printf("%s: the device did not start (%s)\n", name, gfx::lastError().c_str());
            return;
        }
        fillTable(&driver);
        app->registerDriver(&driver);
        ok_ = true;
    }
    ~BenchApp() {
        if (ok_) {
            app->unregisterDriver(&driver);
            clearTable(&driver);
        }
        clientCleanup();
        if (app) {
            releaseDemoFonts(app.get());
        }
        app.reset();
        gApp = nullptr;
        platform::shutdownDisplay();
    }
    BenchApp(const BenchApp&) = delete;
    BenchApp& operator=(const BenchApp&) = delete;

    bool ok() const { return ok_; }

    std::unique_ptr<DemoApp> app;
    RenderDriver driver;

private:
    bool ok_ = false;
};
