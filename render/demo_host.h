// DemoHost: the one start-up path. It brings the program up in the order the entry point
// uses (display, DemoApp with the client's hooks, initialize, the render driver filled and
// registered, the client's start) and takes it down in reverse in its destructor. The entry
// point, the test fixtures and the benchmarks all start the program through it; what it
// brings up is chosen by HostOptions, never by process-wide settings.
#pragma once

#include "app/demo_app.h"
#include "platform/window.h"
#include "render/render_driver.h"

#include <memory>
#include <string>

struct HostOptions {
    platform::DisplayMode display = platform::DisplayMode::Headless;
    LaunchOptions launch;       // the device back end
    ClientHooks client;         // null hooks are skipped
    bool interruptible = false; // Ctrl-C and SIGTERM post a quit message (the program)
    bool fonts = true;          // build the two cached fonts at the end of initialize
    bool driver = true;         // fill and register the render driver
    bool start = true;          // call the client's start once the driver is registered
};

class DemoHost {
public:
    // The steps in order; a host that stopped early reports the step that failed.
    enum class Step { None, Display, Initialize, Driver, Start, Ready };

    DemoHost() = default;
    explicit DemoHost(const HostOptions& options) { start(options); }
    ~DemoHost() { stop(); }
    DemoHost(const DemoHost&) = delete;
    DemoHost& operator=(const DemoHost&) = delete;

    // Brings the program up; Ready, or the step that failed (what came up before it stays
    // up until stop). Call once, or again after stop.
    Step start(const HostOptions& options);
    // Takes down what start brought up, in reverse: the client's stop (after a start), the
    // driver, the client's cleanup, the fonts, the clock, the application, the display.
    void stop();

    bool ok() const { return failed_ == Step::None && app_ != nullptr; }
    Step failedAt() const { return failed_; }
    // Why the failed step failed, in a few words (the display's or the device's error).
    const std::string& error() const { return error_; }
    DemoApp* app() const { return app_.get(); }
    // The render driver the host filled and registered (the program's first), or null.
    RenderDriver* driver() const { return driver_.get(); }

private:
    HostOptions options_;
    std::unique_ptr<DemoApp> app_;
    std::unique_ptr<RenderDriver> driver_;
    bool displayOpen_ = false;
    bool driverRegistered_ = false;
    bool started_ = false;
    Step failed_ = Step::None;
    std::string error_;
};

// The render layer's hooks for the application: the demo's fonts and the driver resize.
RenderHooks renderHooks();
