#include "platform/window.h"
#include "platform/window_classes.h"

#include "platform/process.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <vector>

namespace platform {

struct Window {
    std::string className;
    WindowProc proc = nullptr;
    std::string title;
    SDL_Window* sdl = nullptr; // null when headless
    int width = 0, height = 0; // logical client size
    bool invalid = false;
    bool alive = true;
};

namespace {

DisplayMode currentMode = DisplayMode::Headless;
bool sdlVideoOpen = false;
std::string lastError;
std::vector<Window*> windows;
std::deque<Message> queue;
bool quitPosted = false;
int quitCode = 0;
int cursorCount = 0;
std::array<bool, 256> asyncKeys{};
Window* windowFromSdl(uint32_t id) {
    for (Window* w : windows) {
        if (w->sdl != nullptr && SDL_GetWindowID(w->sdl) == id) {
            return w;
        }
    }
    return nullptr;
}

// Maps a point in the window to the logical client area through the letterbox.
void toLogical(Window* w, int x, int y, int* lx, int* ly) {
    int ww = 0, wh = 0;
    SDL_GetWindowSize(w->sdl, &ww, &wh);
    const Rect r = letterbox(w->width, w->height, ww, wh);
    if (r.right <= r.left || r.bottom <= r.top) {
        *lx = x;
        *ly = y;
        return;
    }
    *lx = int(std::floor(double(x - r.left) * w->width / (r.right - r.left)));
    *ly = int(std::floor(double(y - r.top) * w->height / (r.bottom - r.top)));
}

void toPhysical(Window* w, int x, int y, int* px, int* py) {
    int ww = 0, wh = 0;
    SDL_GetWindowSize(w->sdl, &ww, &wh);
    const Rect r = letterbox(w->width, w->height, ww, wh);
    if (r.right <= r.left || r.bottom <= r.top) {
        *px = x;
        *py = y;
        return;
    }
    *px = r.left + int(double(x) * (r.right - r.left) / w->width);
    *py = r.top + int(double(y) * (r.bottom - r.top) / w->height);
}

void post(Window* w, uint32_t msg, uintptr_t wp, intptr_t lp) {
    queue.push_back({w, msg, wp, lp});
}

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted.store(true);
}

void takeInterrupt() {
    if (!interrupted.exchange(false)) {
        return;
    }
    if (windows.empty()) {
        postQuitMessage(0);
    }
    for (Window* w : windows) {
        post(w, WM_CLOSE, 0, 0);
    }
}

void translateSdlEvent(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        for (Window* w : windows) {
            post(w, WM_CLOSE, 0, 0);
        }
        break;
    case SDL_WINDOWEVENT: {
        Window* w = windowFromSdl(e.window.windowID);
        if (w == nullptr) {
            break;
        }
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            post(w, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            post(w, WM_ACTIVATE, 1, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            post(w, WM_ACTIVATE, 0, 0);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            // A new size needs the picture letterboxed again at once.
            w->invalid = true;
            break;
        default:
            break;
        }
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int vk = virtualKeyFromScancode(e.key.keysym.scancode);
        if (vk == 0) {
            break;
        }
        bool down = e.type == SDL_KEYDOWN;
        asyncKeys[vk] = down;
        Window* w = windowFromSdl(e.key.windowID);
        if (w == nullptr && !windows.empty()) {
            w = windows.front();
        }
        if (w != nullptr) {
            post(w, down ? WM_KEYDOWN : WM_KEYUP, uintptr_t(vk), 1);
        }
        break;
    }
    case SDL_MOUSEMOTION: {
        Window* w = windowFromSdl(e.motion.windowID);
        if (w != nullptr) {
            int x, y;
            toLogical(w, e.motion.x, e.motion.y, &x, &y);
            post(w, WM_MOUSEMOVE, 0, makeLParam(x, y));
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        Window* w = windowFromSdl(e.button.windowID);
        if (w != nullptr && e.button.button == SDL_BUTTON_LEFT) {
            int x, y;
            toLogical(w, e.button.x, e.button.y, &x, &y);
            post(w, e.type == SDL_MOUSEBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, 1,
                 makeLParam(x, y));
        }
        break;
    }
    default:
        break;
    }
}

void pumpSdl(int waitMs) {
    if (!sdlVideoOpen) {
        return;
    }
    SDL_Event e;
    bool got = waitMs > 0 ? SDL_WaitEventTimeout(&e, waitMs) != 0 : SDL_PollEvent(&e) != 0;
    while (got) {
        translateSdlEvent(e);
        got = SDL_PollEvent(&e) != 0;
    }
}

// One pass of the retrieval order: posted/input messages, quit, paint.
bool nextMessage(Message* m, bool* isQuit) {
    *isQuit = false;
    if (!queue.empty()) {
        *m = queue.front();
        queue.pop_front();
        return true;
    }
    if (quitPosted) {
        quitPosted = false;
        *m = {nullptr, WM_QUIT, uintptr_t(quitCode), 0};
        *isQuit = true;
        return true;
    }
    for (Window* w : windows) {
        if (w->invalid) {
            *m = {w, WM_PAINT, 0, 0};
            return true;
        }
    }
    return false;
}

} // namespace

bool initDisplay(DisplayMode mode) {
    currentMode = mode;
    lastError.clear();
    if (mode == DisplayMode::Headless) {
        return true;
    }
    // SDL falls back to an invisible off-screen driver when there is no display; that is
    // not a display, so say so unless the user asked for a driver explicitly.
    bool driverForced = std::getenv("SDL_VIDEODRIVER") != nullptr;
    if (!driverForced && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        lastError = "neither DISPLAY nor WAYLAND_DISPLAY is set";
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        lastError = SDL_GetError();
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driverForced && driver != nullptr &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        lastError = std::string("only the '") + driver + "' video driver is available";
        return false;
    }
    sdlVideoOpen = true;
    return true;
}

void shutdownDisplay() {
    while (!windows.empty()) {
        destroyWindow(windows.back());
    }
    if (sdlVideoOpen) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        sdlVideoOpen = false;
    }
    queue.clear();
    quitPosted = false;
    asyncKeys.fill(false);
    cursorCount = 0;
}

DisplayMode displayMode() {
    return currentMode;
}
const std::string& displayError() {
    return lastError;
}

int getSystemMetrics(int index) {
    SDL_Rect r{0, 0, 800, 600};
    if (sdlVideoOpen) {
        if (index == SM_CXFULLSCREEN || index == SM_CYFULLSCREEN) {
            SDL_GetDisplayUsableBounds(0, &r);
        } else {
            SDL_GetDisplayBounds(0, &r);
        }
    }
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
        return r.w;
    case SM_CYSCREEN:
    case SM_CYFULLSCREEN:
        return r.h;
    default:
        return 0;
    }
}

Window* createWindow(const char* className, const char* title, int x, int y, int width,
                     int height) {
    const WindowProc proc = detail::findWindowClass(className);
    if (proc == nullptr || width <= 0 || height <= 0) {
        return nullptr;
    }
    auto* w = new Window;
    w->className = className;
    w->proc = proc;
    w->title = title != nullptr ? title : "";
    w->width = width;
    w->height = height;
    if (currentMode != DisplayMode::Headless) {
        if (!sdlVideoOpen) {
            delete w;
            return nullptr;
        }
        int createWidth = width, createHeight = height;
        uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
        if (currentMode == DisplayMode::FullScreen) {
            // Asking the window manager for full screen is not enough: without one nothing
            // resizes the window, yet SDL reports the desktop size for it. Made borderless at
            // the display's bounds, the window covers the screen either way.
            SDL_Rect bounds{0, 0, 0, 0};
            if (SDL_GetDisplayBounds(0, &bounds) == 0 && bounds.w > 0 && bounds.h > 0) {
                x = bounds.x;
                y = bounds.y;
                createWidth = bounds.w;
                createHeight = bounds.h;
            }
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
        }
        w->sdl = SDL_CreateWindow(w->title.c_str(), x, y, createWidth, createHeight, flags);
        if (w->sdl == nullptr) {
            lastError = SDL_GetError();
            delete w;
            return nullptr;
        }
    }
    windows.push_back(w);
    sendMessage(w, WM_SIZE, 0, makeLParam(width, height));
    return w;
}

bool moveWindow(Window* w, int x, int y, int width, int height) {
    if (w == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    // The client size stays as created; only windowed mode actually moves.
    if (w->sdl != nullptr && currentMode == DisplayMode::Windowed) {
        SDL_SetWindowPosition(w->sdl, x < 0 ? SDL_WINDOWPOS_CENTERED : x,
                              y < 0 ? SDL_WINDOWPOS_CENTERED : y);
    }
    return true;
}

void showWindow(Window* w) {
    if (w == nullptr) {
        return;
    }
    if (w->sdl != nullptr) {
        SDL_ShowWindow(w->sdl);
        SDL_RaiseWindow(w->sdl);
    }
    w->invalid = true; // a newly shown window needs painting
    sendMessage(w, WM_ACTIVATE, 1, 0);
}

void destroyWindow(Window* w) {
    auto it = std::find(windows.begin(), windows.end(), w);
    if (it == windows.end() || !w->alive) {
        return;
    }
    w->alive = false;
    sendMessage(w, WM_DESTROY, 0, 0);
    windows.erase(std::find(windows.begin(), windows.end(), w));
    std::erase_if(queue, [w](const Message& m) { return m.window == w; });
    if (w->sdl != nullptr) {
        SDL_DestroyWindow(w->sdl);
    }
    delete w;
}

std::string windowTitle(const Window* w) {
    return w != nullptr ? w->title : std::string();
}

void clientSize(const Window* w, int* width, int* height) {
    *width = w != nullptr ? w->width : 0;
    *height = w != nullptr ? w->height : 0;
}

bool isHeadless(const Window* w) {
    return w == nullptr || w->sdl == nullptr;
}
void* nativeWindow(Window* w) {
    return w != nullptr ? w->sdl : nullptr;
}

bool getMessage(Message* m) {
    for (;;) {
        pumpSdl(0);
        takeInterrupt();
        bool isQuit = false;
        if (nextMessage(m, &isQuit)) {
            return !isQuit;
        }
        if (!sdlVideoOpen) {
            // Headless with nothing to do and nothing that could ever arrive: a caller
            // waiting here would hang, so hand back an empty quit.
            *m = {nullptr, WM_QUIT, 0, 0};
            return false;
        }
        pumpSdl(10);
    }
}

bool peekMessage(Message* m) {
    pumpSdl(0);
    takeInterrupt();
    bool isQuit = false;
    return nextMessage(m, &isQuit);
}

void translateMessage(const Message*) {}

intptr_t dispatchMessage(const Message* m) {
    if (m == nullptr || m->window == nullptr) {
        return 0;
    }
    return sendMessage(m->window, m->message, m->wParam, m->lParam);
}

intptr_t sendMessage(Window* w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (w == nullptr || w->proc == nullptr) {
        return 0;
    }
    return w->proc(w, message, wParam, lParam);
}

bool postMessage(Window* w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (w == nullptr) {
        return false;
    }
    post(w, message, wParam, lParam);
    return true;
}

intptr_t defWindowProc(Window* w, uint32_t message, uintptr_t, intptr_t) {
    switch (message) {
    case WM_CLOSE:
        destroyWindow(w);
        return 0;
    case WM_PAINT:
        validateRect(w);
        return 0;
    default:
        return 0;
    }
}

void postQuitMessage(int exitCode) {
    quitPosted = true;
    quitCode = exitCode;
}

bool interruptRequested() {
    return interrupted.load();
}

void installInterruptHandler() {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

void invalidateRect(Window* w, bool) {
    if (w != nullptr) {
        w->invalid = true;
    }
}

void validateRect(Window* w) {
    if (w != nullptr) {
        w->invalid = false;
    }
}

bool isInvalid(const Window* w) {
    return w != nullptr && w->invalid;
}

int showCursor(bool show) {
    cursorCount += show ? 1 : -1;
    if (sdlVideoOpen) {
        SDL_ShowCursor(cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    }
    return cursorCount;
}

void setCursorPos(Window* w, int x, int y) {
    if (w == nullptr) {
        return;
    }
    if (w->sdl != nullptr) {
        int px, py;
        toPhysical(w, x, y, &px, &py);
        SDL_WarpMouseInWindow(w->sdl, px, py); // SDL reports the motion itself
    } else {
        post(w, WM_MOUSEMOVE, 0, makeLParam(x, y));
    }
}

int16_t getAsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) {
        return 0;
    }
    return asyncKeys[vk] ? int16_t(0x8000) : int16_t(0);
}

void simulateKey(Window* w, int vk, bool down) {
    if (vk < 0 || vk > 255) {
        return;
    }
    asyncKeys[vk] = down;
    if (w != nullptr) {
        post(w, down ? WM_KEYDOWN : WM_KEYUP, uintptr_t(vk), 1);
    }
}

int virtualKeyFromScancode(int sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) {
        return 'A' + (sc - SDL_SCANCODE_A);
    }
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) {
        return '1' + (sc - SDL_SCANCODE_1);
    }
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) {
        return VK_F1 + (sc - SDL_SCANCODE_F1);
    }
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) {
        return VK_NUMPAD0 + 1 + (sc - SDL_SCANCODE_KP_1);
    }
    switch (sc) {
    case SDL_SCANCODE_0:
        return '0';
    case SDL_SCANCODE_KP_0:
        return VK_NUMPAD0;
    case SDL_SCANCODE_ESCAPE:
        return VK_ESCAPE;
    case SDL_SCANCODE_RETURN:
        return VK_RETURN;
    case SDL_SCANCODE_SPACE:
        return VK_SPACE;
    case SDL_SCANCODE_TAB:
        return VK_TAB;
    case SDL_SCANCODE_BACKSPACE:
        return VK_BACK;
    case SDL_SCANCODE_PAGEUP:
        return VK_PRIOR;
    case SDL_SCANCODE_PAGEDOWN:
        return VK_NEXT;
    case SDL_SCANCODE_END:
        return VK_END;
    case SDL_SCANCODE_HOME:
        return VK_HOME;
    case SDL_SCANCODE_LEFT:
        return VK_LEFT;
    case SDL_SCANCODE_UP:
        return VK_UP;
    case SDL_SCANCODE_RIGHT:
        return VK_RIGHT;
    case SDL_SCANCODE_DOWN:
        return VK_DOWN;
    case SDL_SCANCODE_INSERT:
        return VK_INSERT;
    case SDL_SCANCODE_DELETE:
        return VK_DELETE;
    case SDL_SCANCODE_KP_PLUS:
        return VK_ADD;
    case SDL_SCANCODE_KP_MINUS:
        return VK_SUBTRACT;
    case SDL_SCANCODE_KP_MULTIPLY:
        return VK_MULTIPLY;
    case SDL_SCANCODE_KP_DIVIDE:
        return VK_DIVIDE;
    case SDL_SCANCODE_KP_PERIOD:
        return VK_DECIMAL;
    case SDL_SCANCODE_LEFTBRACKET:
        return VK_OEM_4;
    case SDL_SCANCODE_RIGHTBRACKET:
        return VK_OEM_6;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT:
        return VK_SHIFT;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL:
        return VK_CONTROL;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT:
        return VK_MENU;
    default:
        return 0;
    }
}

} // namespace platform
