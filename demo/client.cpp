// The demo client's hooks: configure the application, load everything before the clock
// starts while the loading picture is on screen, start the music (at the clock's start
// time), and at exit release the textures and log the average frame rate.
#include "app/demo_app.h"
#include "demo/sequencer.h"
#include "platform/files.h"
#include "platform/sound.h"
#include "render/render_driver.h"
#include "scene/camera.h"
#include "scene/image_loader.h"
#include "scene/texture_registry.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct Music {
    platform::SoundSample* sample = nullptr;
    int channel = -1;
};
Music music;

void (*loadingShown)() = nullptr;

// Shows the loading picture: a scene whose camera looks from z = 750 toward the origin.
void showLoadingPicture(TextureImage* picture) {
    DemoApp* app = gDemoApp;
    RenderDriver* driver = gDemoDriver;
    Projection projection{};
    projection.init(&app->frameBuffer, 65, 10, 100000);
    projection.mode = 2;
    Camera camera{};
    camera.init(&projection, 0);
    camera.position = {0, 0, 750};
    camera.orientation = eulerMatrix(float(M_PI), 0, 0);
    Scene scene;
    scene.camera = &camera;
    scene.flags = kSceneCreated;
    scene.registry = gRegistry;

    driver->restoreRenderTarget(driver);
    ColorF darkBlue{0, 0, 0, 0.2f};
    driver->clear(driver, &darkBlue);
    driver->clearDepth(0.0f);
    driver->beginScene(driver, &scene);
    driver->drawTextureQuad(driver, picture);
    driver->endScene(driver);
    if (loadingShown != nullptr) {
        loadingShown();
    }
    app->services.present();
    driver->currentScene = nullptr; // the scene lives on this stack frame only
}

void startMusic() {
    if (!platform::soundInit(44100, 32, 2)) {
        if (!platform::soundError().empty()) {
            std::fprintf(stderr, "demo: no sound (%s); playing silently\n",
                         platform::soundError().c_str());
        }
        return;
    }
    std::string path = platform::resolveDataPath("data/music.mp3");
    music.sample = platform::soundSampleLoad(-1, path.c_str(), 0, 0, 0);
    music.channel = platform::soundPlay(-1, music.sample);
    // The clock starts at --start as soon as loading ends; the music starts there with it.
    const uint64_t startMs = sequencer().startMs;
    if (music.channel >= 0 && startMs > 0) {
        if (platform::soundSetPosition(music.channel, double(startMs) / 1000.0)) {
            std::fprintf(stderr, "demo: music from %.3f s\n",
                         platform::soundStartPosition(music.channel));
        } else {
            music.channel = -1; // the music ends before that point
        }
    }
}

} // namespace

void setLoadingShownHook(void (*hook)()) {
    loadingShown = hook;
}

int clientInitialize() {
    DemoApp* app = gApp;
    gDemoApp = app;
    app->services.onPaint = displayFrame;
    app->services.onKey = onKeyHook;
    app->modeFlags = kModeFullScreen | kModeBit1 | kModeLogDebugger | kModeDepthBuffer;
    app->width = 800;
    app->height = 600;
    const char* logName = "logfile.txt";
    app->logFileName = new char[std::strlen(logName) + 1];
    std::strcpy(app->logFileName, logName);
    gLogger = new Logger{app};
    app->services.setCursor(0, 0, kCursorHide);
    return 0;
}

int demoLoad() {
    gRegistry = new TextureRegistry;
    TextureImage* loading = loadTexture("data\\loading.jpg", kErrorPart2);
    gDemoDriver->createTexture(loading, 0);
    showLoadingPicture(loading);

    constructParts();
    int result = loadParts();
    if (result != 0) {
        return result;
    }
    for (TextureImage* t = gRegistry->firstTexture(); t != nullptr; t = gRegistry->nextTexture()) {
        if ((t->flags & kTextureCreated) != 0) {
            continue;
        }
        if (gDemoDriver->createTexture(t, 0) != 0) {
            gLogger->report(1, "failed to load texture");
            gDemoApp->services.quit(0);
            break;
        }
    }
    startMusic();
    return 0;
}

int clientStart() {
    gDemoDriver = gDemoApp->firstDriver();
    return demoLoad() != 0 ? 1 : 0;
}

int clientStop() {
    DemoApp* app = gDemoApp;
    if (gRegistry != nullptr) {
        for (TextureImage* t = gRegistry->firstTexture(); t != nullptr;
             t = gRegistry->nextTexture()) {
            gDemoDriver->releaseTexture(t, 1);
        }
        delete gRegistry;
        gRegistry = nullptr;
    }
    // Frames over the time actually played (the clock may have started past 0).
    uint64_t clock = app->clock.load() - sequencer().startMs;
    double fps = clock != 0 ? double(sequencer().frameCount) * 1000.0 / double(clock) : 0.0;
    char line[64];
    std::snprintf(line, sizeof line, "%f FPS", fps);
    app->services.log("", line);
    return 0;
}

void clientCleanup() {
    // The parts go while the device and the video decoder still exist; their release
    // operations are not called, but what they own is freed here rather than at exit.
    resetSequencer();
    delete gLogger;
    gLogger = nullptr;
    if (gDemoApp != nullptr) {
        delete[] gDemoApp->logFileName;
        gDemoApp->logFileName = nullptr;
    }
    platform::soundSampleFree(music.sample);
    music = Music{};
    platform::soundClose();
}
