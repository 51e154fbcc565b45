// Entry point: reads the command line, builds the application object, the render driver and
// the demo client, runs the message loop and tears everything down in order.
#include "app/demo_app.h"
#include "demo/sequencer.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "render/render_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct CommandLine {
    bool windowed = false;
    bool headless = false;
    bool nullDevice = false;
    double startSeconds = 0.0;
};

void printUsage(FILE* out) {
    std::fputs("Usage: demo [OPTIONS]\n"
               "Plays the demo: eight scenes, 250 seconds, full screen 800 x 600.\n"
               "Escape or closing the window quits.\n"
               "\n"
               "Options:\n"
               "  --windowed         play in an 800 x 600 window instead of full screen\n"
               "  --headless         render without any display or window\n"
               "  --start SECONDS    start the clock at this demo time (0 to 250)\n"
               "  --null-device      draw nothing (measures the CPU side only)\n"
               "  --help             show this help and exit\n",
               out);
}

// Returns -1 to continue, else the exit status.
int parseCommandLine(int argc, char** argv, CommandLine* cl) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (arg == "--windowed") {
            cl->windowed = true;
        } else if (arg == "--headless") {
            cl->headless = true;
        } else if (arg == "--null-device") {
            cl->nullDevice = true;
        } else if (arg == "--start") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "demo: --start needs a number of seconds\n");
                return 2;
            }
            char* end = nullptr;
            double value = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(value >= 0.0) || value > 1e6) {
                std::fprintf(stderr, "demo: --start takes seconds from 0, not '%s'\n", argv[i]);
                return 2;
            }
            cl->startSeconds = value;
        } else {
            std::fprintf(stderr, "demo: unknown option '%s' (try --help)\n", argv[i]);
            return 2;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    CommandLine cl;
    int status = parseCommandLine(argc, argv, &cl);
    if (status >= 0) {
        return status;
    }

    platform::DisplayMode mode = cl.headless   ? platform::DisplayMode::Headless
                                 : cl.windowed ? platform::DisplayMode::Windowed
                                               : platform::DisplayMode::FullScreen;
    if (!platform::initDisplay(mode)) {
        std::fprintf(stderr,
                     "demo: no display available (%s); use --headless to render without one\n",
                     platform::displayError().c_str());
        return 1;
    }
    platform::installInterruptHandler();

    LaunchOptions& launch = launchOptions();
    launch.windowed = cl.windowed;
    launch.headless = cl.headless;
    launch.backend = cl.nullDevice ? gfx::Backend::Null
                     : cl.headless ? gfx::Backend::GlHeadless
                                   : gfx::Backend::GlWindow;

    auto app = std::make_unique<DemoApp>();
    gApp = app.get();
    if (app->initialize() != 0) {
        if (!gfx::lastError().empty()) {
            std::fprintf(stderr, "demo: %s\n", gfx::lastError().c_str());
        }
        return 1;
    }
    auto driver = std::make_unique<RenderDriver>();
    if (fillTable(driver.get()) != 0) {
        return 1;
    }
    app->registerDriver(driver.get());
    if (clientStart() != 0) {
        return 1;
    }

    app->startClock();
    if (cl.startSeconds > 0.0) {
        launch.startMs = uint64_t(cl.startSeconds * 1000.0);
        setClock(app.get(), launch.startMs);
    }
    gRunning = true;
    platform::Message message;
    while (platform::getMessage(&message)) {
        platform::translateMessage(&message);
        platform::dispatchMessage(&message);
    }
    gRunning = false;

    clientStop();
    app->unregisterDriver(driver.get());
    clearTable(driver.get());
    driver.reset();
    clientCleanup();
    app->stopClock();
    app.reset();
    gApp = nullptr;
    platform::shutdownDisplay();
    return 0;
}
