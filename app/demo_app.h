// DemoApp: the one application object. It owns the window, the graphics device, the frame
// clock, the input state and the list of render drivers, offers the rest of the program a
// small table of services, and calls the client hooks that the demo sequencer supplies.
// It knows nothing of scenes; rendering is driven by the window's paint message.
#pragma once

#include "app/frame_buffer.h"
#include "platform/gfx/gfx.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace platform {
struct Window;
}
struct RenderDriver;
struct CachedFont;
struct DemoApp;

struct DriverNode {
    RenderDriver* driver;
    DriverNode* next;
};

// The service table, in order. The hooks (onKey .. onIdlePaint) are set by the client.
struct DemoAppServices {
    int (*isKeyDown)(int virtualKey);
    uint64_t (*getTime)();
    void (*log)(const char* prefix, const char* message);
    void (*quit)(int exitCode);
    int (*onKey)(int virtualKey, int down);
    void (*onResize)();
    void (*onPaint)();
    void (*onIdlePaint)();
    int (*noop)();
    FrameBuffer* (*getFrameBuffer)();
    int (*present)();
    void (*setCursor)(int x, int y, int flags);
};

// Clock flag bits.
constexpr uint32_t kClockSystemTime = 1u << 0; // may read the system millisecond time
constexpr uint32_t kClockTimer = 1u << 1;      // runs on the periodic 1 ms timer

// Mode flag bits.
constexpr uint32_t kModeFullScreen = 1u << 0;
constexpr uint32_t kModeLogDebugger = 1u << 3;
constexpr uint32_t kModeLogFile = 1u << 4;
constexpr uint32_t kModeIgnoreActivation = 1u << 5;
constexpr uint32_t kModeLockableBackBuffer = 1u << 6;
constexpr uint32_t kModeDepthBuffer = 1u << 7;

struct DemoApp {
    DriverNode* driverHead;
    DriverNode* driverTail;
    DriverNode* driverCursor;
    int32_t driverCount;
    uint8_t ownsDrivers; // unregistering also deletes the driver (0 in this program)
    uint32_t clockFlags;
    uint32_t modeFlags;
    uint64_t downTime; // clock when the left button last went down
    int32_t downX, downY;
    int32_t mouseX, mouseY;      // client coordinates (signed 16-bit from the message)
    int32_t mouseDX, mouseDY;    // movement since the previous mouse-move message
    uint32_t width, height;      // client size = back-buffer size
    uint32_t displayFormat;      // desktop pixel format as a pixel-format code
    char* logFileName;           // heap copy, or null
    std::atomic<uint64_t> clock; // milliseconds; written by the timer thread, read by main
    std::vector<bool> keyBits;   // 256 bits, one per virtual key, set while down
    DemoAppServices services;
    platform::Window* window;
    uint32_t active; // while non-zero the paint handler leaves the window invalid
    uint32_t timerId;
    uint32_t timerStep; // milliseconds per tick
    uint32_t lastSystemTime;
    FrameBuffer frameBuffer;
    int32_t driverBaseFlags;
    gfx::Direct3D* direct3d;
    gfx::Device* device;
    gfx::PresentParameters presentParameters;
    std::vector<CachedFont*> fonts;
    gfx::Caps caps;
    uint32_t depthMode; // 0 none, 1 z-buffer, 2 w-buffer

    DemoApp();
    ~DemoApp();
    DemoApp(const DemoApp&) = delete;
    DemoApp& operator=(const DemoApp&) = delete;

    int initialize();
    void registerDriver(RenderDriver* driver);
    int unregisterDriver(RenderDriver* driver);
    RenderDriver* firstDriver();
    RenderDriver* nextDriver();
    void startClock();
    void stopClock();
    void sizeChanged(uint32_t newWidth, uint32_t newHeight);
};

// The application object, reachable from everywhere.
extern DemoApp* gApp;
// Set while the message loop runs; gates the window procedure.
extern bool gRunning;

// Client hooks, supplied by the demo sequencer.
int clientInitialize();
int clientStart();
int clientStop();
void clientCleanup();

// The window procedure (exposed for tests).
intptr_t demoWindowProc(platform::Window* window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam);

// Timer tick: clock += timerStep.
void clockTick(uint32_t timerId, void* user);

// Sets the clock to a given time (for starting part-way through the demo).
void setClock(DemoApp* app, uint64_t ms);

// Builds the cached fonts at the end of initialize; installed by the text renderer.
using FontInitializer = int (*)(DemoApp* app);
void setFontInitializer(FontInitializer init);

// How the program was launched; fixed before initialize.
struct LaunchOptions {
    bool windowed = false;
    bool headless = false;
    gfx::Backend backend = gfx::Backend::GlWindow;
    uint64_t startMs = 0; // clock value the demo started at (--start)
};
LaunchOptions& launchOptions();
