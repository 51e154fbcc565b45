// The demo client's hooks: configure the application, load everything before the clock
// starts, and at exit log the average frame rate.
#include "app/demo_app.h"
#include "demo/sequencer.h"
#include "render/render_driver.h"

#include <cstdio>
#include <cstring>

int clientInitialize() {
    DemoApp* app = gApp;
    gDemoApp = app;
    app->services.onPaint = displayFrame;
    app->services.onKey = onKeyHook;
    app->modeFlags = 139;
    app->width = 800;
    app->height = 600;
    const char* logName = "logfile.txt";
    app->logFileName = new char[std::strlen(logName) + 1];
    std::strcpy(app->logFileName, logName);
    gLogger = new Logger{app};
    app->services.setCursor(0, 0, 1);
    return 0;
}

int demoLoad() {
    constructParts();
    return loadParts();
}

int clientStart() {
    gDemoDriver = gDemoApp->firstDriver();
    return demoLoad() != 0 ? 1 : 0;
}

int clientStop() {
    DemoApp* app = gDemoApp;
    // Frames over the time actually played (the clock may have started past 0).
    uint64_t clock = app->clock.load() - launchOptions().startMs;
    double fps = clock != 0 ? double(sequencer().frameCount) * 1000.0 / double(clock) : 0.0;
    char line[64];
    std::snprintf(line, sizeof line, "%f FPS", fps);
    app->services.log("", line);
    return 0;
}

void clientCleanup() {
    delete gLogger;
    gLogger = nullptr;
    delete[] gDemoApp->logFileName;
    gDemoApp->logFileName = nullptr;
}
