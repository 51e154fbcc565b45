#include "app/demo_app.h"

#include "app/diagnostics.h"
#include "platform/debugout.h"
#include "platform/timer.h"
#include "platform/window.h"

#include <cstdio>
#include <cstring>

DemoApp* gApp = nullptr;
bool gRunning = false;

namespace {

// Services: each works on the global application object.
int serviceIsKeyDown(int virtualKey) {
    return gApp->active != 0 && platform::getAsyncKeyState(virtualKey) != 0 ? 1 : 0;
}

uint64_t serviceGetTime() {
    DemoApp* app = gApp;
    if ((app->clockFlags & kClockTimer) == 0) {
        uint32_t now = platform::timeGetTime();
        app->clock.fetch_add(uint32_t(now - app->lastSystemTime));
        app->lastSystemTime = now;
    }
    return app->clock.load();
}

void serviceLog(const char* prefix, const char* message) {
    DemoApp* app = gApp;
    if ((app->modeFlags & kModeLogDebugger) != 0) {
        platform::outputDebugString(prefix);
        platform::outputDebugString(message);
        platform::outputDebugString("\n");
    }
    if ((app->modeFlags & kModeLogFile) != 0 && app->logFileName != nullptr) {
        if (FILE* f = std::fopen(app->logFileName, "a")) {
            std::fprintf(f, "%s%s\n", prefix, message);
            std::fclose(f);
        }
    }
}

void serviceQuit(int exitCode) {
    platform::postQuitMessage(exitCode);
}

int serviceNoop() {
    return 0;
}

FrameBuffer* serviceGetFrameBuffer() {
    return &gApp->frameBuffer;
}

int servicePresent();

void serviceSetCursor(int x, int y, int flags) {
    if ((flags & kCursorHide) != 0) {
        while (platform::showCursor(false) >= 0) {
        }
    } else {
        while (platform::showCursor(true) < 0) {
        }
    }
    if ((flags & kCursorMove) != 0) {
        platform::setCursorPos(gApp->window, x, y);
        gApp->mouseX = x;
        gApp->mouseY = y;
    }
}

} // namespace

DemoApp::DemoApp(const ClientHooks& clientHooks, const RenderHooks& renderHooks)
    : driverHead(nullptr), driverTail(nullptr), driverCursor(nullptr), driverCount(0),
      ownsDrivers(0), clockFlags(kClockConstructed), modeFlags(0), downTime(0), downX(0), downY(0),
      mouseX(0), mouseY(0), mouseDX(0), mouseDY(0), width(0), height(0), displayFormat(0),
      logFileName(nullptr), clock(0), keyBits(256, false), services{}, window(nullptr), active(1),
      timerId(0), timerStep(1), lastSystemTime(0), frameBuffer{}, driverBaseFlags(0),
      direct3d(nullptr), device(nullptr), presentParameters{}, fonts(), caps{}, depthMode(0),
      client(clientHooks), render(renderHooks) {
    services.isKeyDown = serviceIsKeyDown;
    services.getTime = serviceGetTime;
    services.log = serviceLog;
    services.quit = serviceQuit;
    services.onKey = nullptr;
    services.onResize = nullptr;
    services.onPaint = nullptr;
    services.onIdlePaint = nullptr;
    services.noop = serviceNoop;
    services.getFrameBuffer = serviceGetFrameBuffer;
    services.present = servicePresent;
    services.setCursor = serviceSetCursor;
    initFrameBuffer(&frameBuffer);
}

DemoApp::~DemoApp() {
    stopClock();
    while (driverHead != nullptr) {
        DriverNode* node = driverHead;
        driverHead = node->next;
        delete node;
    }
    releaseFrameBuffer(&frameBuffer);
    delete device;
    delete direct3d;
    if (window != nullptr) {
        platform::destroyWindow(window);
    }
    platform::unregisterClass("/");
    delete[] logFileName;
}

void DemoApp::registerDriver(RenderDriver* driver) {
    auto* node = new DriverNode{driver, driverHead};
    driverHead = node;
    if (driverTail == nullptr) {
        driverTail = node;
    }
    ++driverCount;
}

int DemoApp::unregisterDriver(RenderDriver* driver) {
    DriverNode* previous = nullptr;
    for (DriverNode* node = driverHead; node != nullptr; previous = node, node = node->next) {
        if (node->driver != driver) {
            continue;
        }
        (previous != nullptr ? previous->next : driverHead) = node->next;
        if (driverTail == node) {
            driverTail = previous;
        }
        if (driverCursor == node) {
            driverCursor = node->next;
        }
        delete node;
        --driverCount;
        if (ownsDrivers != 0 && render.deleteDriver != nullptr) {
            render.deleteDriver(driver);
        }
        return 0;
    }
    return 1;
}

RenderDriver* DemoApp::firstDriver() {
    driverCursor = driverHead;
    return driverCursor != nullptr ? driverCursor->driver : nullptr;
}

RenderDriver* DemoApp::nextDriver() {
    if (driverCursor != nullptr) {
        driverCursor = driverCursor->next;
    }
    return driverCursor != nullptr ? driverCursor->driver : nullptr;
}

void clockTick(uint32_t, void* user) {
    auto* app = static_cast<DemoApp*>(user);
    app->clock.fetch_add(app->timerStep);
}

void setClock(DemoApp* app, uint64_t ms) {
    app->clock.store(ms);
}

void DemoApp::startClock() {
    if ((clockFlags & kClockTimer) != 0) {
        clock.store(0);
        timerStep = 1;
        timerId = platform::timeSetEvent(1, 0, clockTick, this);
        if (timerId == 0) {
            clockFlags &= ~kClockTimer;
            lastSystemTime = platform::timeGetTime();
        }
    } else if ((clockFlags & kClockSystemTime) != 0) {
        lastSystemTime = platform::timeGetTime();
        clock.store(0);
    }
}

void DemoApp::stopClock() {
    if (timerId != 0) {
        platform::timeKillEvent(timerId);
        timerId = 0;
    }
}

void DemoApp::sizeChanged(uint32_t newWidth, uint32_t newHeight) {
    width = newWidth;
    height = newHeight;
    frameBuffer.width = newWidth;
    frameBuffer.height = newHeight;
    if (frameBuffer.format == 0) {
        frameBuffer.format = displayFormat;
    }
    frameBuffer.bytesPerPixel = bytesPerPixelOf(frameBuffer.format);
    for (DriverNode* node = driverHead; node != nullptr; node = node->next) {
        if (render.resizeDriver != nullptr) {
            render.resizeDriver(node->driver, int(newWidth), int(newHeight));
        }
    }
}

intptr_t demoWindowProc(platform::Window* window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) {
    DemoApp* app = gApp;
    if (!gRunning || app == nullptr) {
        return platform::defWindowProc(window, message, wParam, lParam);
    }
    switch (message) {
    case platform::WM_DESTROY:
        platform::postQuitMessage(0);
        return 0;
    case platform::WM_SIZE: {
        uint32_t w = uint32_t(lParam) & 0xFFFF;
        uint32_t h = (uint32_t(lParam) >> 16) & 0xFFFF;
        if (w != app->width || h != app->height) {
            app->sizeChanged(w, h);
            if (app->services.onResize != nullptr) {
                app->services.onResize();
            }
        }
        return 0;
    }
    case platform::WM_ACTIVATE:
        if ((app->modeFlags & kModeIgnoreActivation) == 0) {
            app->active = 1;
            platform::invalidateRect(window, false);
        }
        return 0;
    case platform::WM_PAINT:
        if (app->services.onPaint != nullptr) {
            app->services.onPaint();
            if (app->active == 0) {
                platform::validateRect(window);
            }
        } else {
            if (app->services.onIdlePaint != nullptr) {
                app->services.onIdlePaint();
            }
            platform::validateRect(window);
        }
        return 0;
    case platform::WM_KEYDOWN:
    case platform::WM_KEYUP: {
        bool down = message == platform::WM_KEYDOWN;
        if (wParam < app->keyBits.size()) {
            app->keyBits[wParam] = down;
        }
        if (app->services.onKey != nullptr) {
            app->services.onKey(int(wParam), down ? 1 : 0);
        }
        return 0;
    }
    case platform::WM_MOUSEMOVE: {
        int32_t x = int16_t(uint32_t(lParam) & 0xFFFF);
        int32_t y = int16_t((uint32_t(lParam) >> 16) & 0xFFFF);
        app->mouseDX = x - app->mouseX;
        app->mouseDY = y - app->mouseY;
        app->mouseX = x;
        app->mouseY = y;
        return 0;
    }
    case platform::WM_LBUTTONDOWN:
        app->downX = app->mouseX;
        app->downY = app->mouseY;
        app->downTime = app->clock.load();
        return 0;
    case platform::WM_LBUTTONUP:
        return 0;
    default:
        return platform::defWindowProc(window, message, wParam, lParam);
    }
}

namespace {

int createDevice(DemoApp* app) {
    gfx::Caps hardware{};
    if (app->direct3d->getDeviceCaps(gfx::D3DADAPTER_DEFAULT, gfx::D3DDEVTYPE_HAL, &hardware) < 0) {
        return 1;
    }
    uint32_t behaviour =
        (hardware.DevCaps & gfx::D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0
            ? gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING | gfx::D3DCREATE_FPU_PRESERVE
            : gfx::D3DCREATE_SOFTWARE_VERTEXPROCESSING | gfx::D3DCREATE_FPU_PRESERVE;
    bool fullScreen = (app->modeFlags & kModeFullScreen) != 0;
    gfx::PresentParameters& p = app->presentParameters;
    p = gfx::PresentParameters{};
    p.BackBufferWidth = app->width;
    p.BackBufferHeight = app->height;
    p.BackBufferFormat = d3dFormatOf(app->displayFormat);
    p.BackBufferCount = 1;
    p.MultiSampleType = 0;
    p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = app->window;
    p.Windowed = fullScreen ? 0 : 1;
    p.EnableAutoDepthStencil = 0;
    p.AutoDepthStencilFormat = 0;
    p.Flags = (app->modeFlags & kModeLockableBackBuffer) != 0
                  ? gfx::D3DPRESENTFLAG_LOCKABLE_BACKBUFFER
                  : 0;
    p.FullScreen_RefreshRateInHz = 0;
    p.FullScreen_PresentationInterval =
        fullScreen ? gfx::D3DPRESENT_INTERVAL_ONE : gfx::D3DPRESENT_INTERVAL_DEFAULT;
    gfx::Device* device = nullptr;
    if (app->direct3d->createDevice(gfx::D3DADAPTER_DEFAULT, gfx::D3DDEVTYPE_HAL, app->window,
                                    behaviour, &p, &device) < 0 ||
        device == nullptr) {
        return 1;
    }
    app->device = device;
    device->getDeviceCaps(&app->caps);
    if ((app->modeFlags & kModeDepthBuffer) == 0) {
        app->depthMode = 0;
    } else {
        app->depthMode = (app->caps.RasterCaps & gfx::D3DPRASTERCAPS_WBUFFER) != 0 ? 2 : 1;
    }
    return 0;
}

} // namespace

int DemoApp::initialize(const LaunchOptions& launch) {
    direct3d = gfx::createDirect3D(gfx::D3D_SDK_VERSION, launch.backend).release();
    if (direct3d == nullptr) {
        services.log("[SYSTEM]", "failed to create Direct3D instance");
        return 1;
    }
    gfx::DisplayMode mode{};
    direct3d->getAdapterDisplayMode(gfx::D3DADAPTER_DEFAULT, &mode);
    displayFormat = formatCodeOf(mode.Format);

    uint32_t screenWidth = uint32_t(platform::getSystemMetrics(platform::SM_CXFULLSCREEN));
    uint32_t screenHeight = uint32_t(platform::getSystemMetrics(platform::SM_CYFULLSCREEN));
    width = screenWidth;
    height = screenHeight;
    clockFlags |= kClockInitialized;
    driverBaseFlags = kDriverBaseBit2 | kDriverBaseBit3;

    if (client.initialize != nullptr && client.initialize() != 0) {
        services.log("[SYSTEM]", "client failed/refused initialize");
        return 1;
    }
    modeFlags &= ~kModeBit2;
    if (!platform::registerClass("/", demoWindowProc)) {
        return 1;
    }
    platform::Rect rect{};
    rect.left = int32_t((screenWidth - width) / 2);
    rect.top = int32_t((screenHeight - height) / 2);
    rect.right = rect.left + int32_t(width);
    rect.bottom = rect.top + int32_t(height);
    if (!platform::adjustWindowRect(&rect)) {
        return 1;
    }
    window = platform::createWindow("/", "??? / Zentharis & Vrell", 0, 0, int(width), int(height));
    if (window == nullptr) {
        return 1;
    }
    platform::moveWindow(window, rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top);
    platform::showWindow(window);

    if (createDevice(this) != 0) {
        return 1;
    }
    // The frame buffer describes the back buffer from now on.
    frameBuffer.width = width;
    frameBuffer.height = height;
    frameBuffer.format = displayFormat;
    frameBuffer.bytesPerPixel = bytesPerPixelOf(displayFormat);

    ColorF black{0, 0, 0, 0};
    frameBuffer.clearColour(&frameBuffer, &black, 0);
    services.present();

    if (render.createFonts != nullptr && render.createFonts(this) != 0) {
        return 1;
    }
    return 0;
}

namespace {

int servicePresent() {
    DemoApp* app = gApp;
    FrameBuffer& fb = app->frameBuffer;
    if (fb.softwarePixels != nullptr) {
        if (copySoftwarePixelsToBackBuffer(app) != 0) {
            return 1;
        }
        delete[] fb.softwarePixels;
        fb.softwarePixels = nullptr;
    }
    return app->device != nullptr && app->device->present() >= 0 ? 0 : 1;
}

} // namespace
