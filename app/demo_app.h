// DemoApp: the one application object. It owns the window, the graphics device, the frame
// clock, the input state and the list of render drivers, offers the rest of the program a
// small table of services, and calls the client hooks handed to it at start-up. It knows
// nothing of scenes or of the demo; rendering is driven by the window's paint message.
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
constexpr uint32_t kClockBit2 = 1u << 2;       // set by the constructor, never read
constexpr uint32_t kClockBit3 = 1u << 3;       // set by the constructor, never read
constexpr uint32_t kClockBit4 = 1u << 4;       // bits 4-6: set by initialize, never read
constexpr uint32_t kClockBit5 = 1u << 5;
constexpr uint32_t kClockBit6 = 1u << 6;
// What the constructor sets (15) and what initialize adds (0x70).
constexpr uint32_t kClockConstructed = kClockSystemTime | kClockTimer | kClockBit2 | kClockBit3;
constexpr uint32_t kClockInitialized = kClockBit4 | kClockBit5 | kClockBit6;

// Mode flag bits.
constexpr uint32_t kModeFullScreen = 1u << 0;
constexpr uint32_t kModeBit1 = 1u << 1; // set by the demo client, never read
constexpr uint32_t kModeBit2 = 1u << 2; // cleared by initialize after the client hook
constexpr uint32_t kModeLogDebugger = 1u << 3;
constexpr uint32_t kModeLogFile = 1u << 4;
constexpr uint32_t kModeIgnoreActivation = 1u << 5;
constexpr uint32_t kModeLockableBackBuffer = 1u << 6;
constexpr uint32_t kModeDepthBuffer = 1u << 7;

// Driver base flag bits, set by initialize (12); the render driver adds bits 0 and 1.
constexpr int32_t kDriverBaseBit2 = 1 << 2;
constexpr int32_t kDriverBaseBit3 = 1 << 3;

// The cursor service's flag bits.
constexpr int kCursorHide = 1 << 0; // hide the cursor (else show it)
constexpr int kCursorMove = 1 << 1; // move it to (x, y)

// The client's four hooks, handed to the application at start-up and called by it (and by
// the host that brings the program up). A null hook is skipped and counts as success.
struct ClientHooks {
    int (*initialize)() = nullptr; // 0 accepts; configures size, mode flags and paint hook
    int (*start)() = nullptr;      // 0 on success; loads, before the clock starts
    int (*stop)() = nullptr;       // after the message loop
    void (*cleanup)() = nullptr;   // frees what initialize and start made
};

// What the render layer hands in at start-up, so the shell never calls it by name.
struct RenderHooks {
    int (*createFonts)(DemoApp* app) = nullptr; // the cached fonts, at the end of initialize
    // A registered driver's resize operation, called by sizeChanged for every driver.
    int (*resizeDriver)(RenderDriver* driver, int width, int height) = nullptr;
    // Frees a driver that unregisterDriver drops while ownsDrivers is set.
    void (*deleteDriver)(RenderDriver* driver) = nullptr;
};

// How the program was launched; handed to initialize.
struct LaunchOptions {
    bool windowed = false;
    bool headless = false;
    gfx::Backend backend = gfx::Backend::GlWindow;
};

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
    // Not part of the record above: what start-up handed in.
    ClientHooks client;
    RenderHooks render;

    explicit DemoApp(const ClientHooks& clientHooks = ClientHooks{},
                     const RenderHooks& renderHooks = RenderHooks{});
    ~DemoApp();
    DemoApp(const DemoApp&) = delete;
    DemoApp& operator=(const DemoApp&) = delete;

    int initialize(const LaunchOptions& launch);
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

// The window procedure (exposed for tests).
intptr_t demoWindowProc(platform::Window* window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam);

// Timer tick: clock += timerStep.
void clockTick(uint32_t timerId, void* user);

// Sets the clock to a given time (for starting part-way through the demo).
void setClock(DemoApp* app, uint64_t ms);
