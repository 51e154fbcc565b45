// Window and input on the Windows user interface. Real windows and the real message queue:
// key, mouse, close and posted messages are retrieved by getMessage and handed to the
// window's procedure by dispatchMessage; messages the system sends (activation, close from
// the system menu) reach the procedure at once, as on Windows. The system's own size
// messages are not passed on: the client size the program sees stays the one it asked for,
// and mouse positions are mapped into it. Full screen is a borderless window over the whole
// desktop (the device letterboxes the picture); headless windows exist but are never shown.
#include "platform/window.h"
#include "platform/window_classes.h"

#include "platform/process.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <map>
#include <vector>

namespace platform {

struct Window {
    std::string className;
    WindowProc proc = nullptr;
    std::string title;
    HWND hwnd = nullptr;
    int width = 0, height = 0; // logical client size
    bool invalid = false;
    bool alive = true;
    bool headless = false;
};

namespace {

constexpr const char* kNativeClass = "/";

DisplayMode currentMode = DisplayMode::Headless;
std::string lastError;
std::vector<Window*> windows;
bool nativeClassRegistered = false;
int cursorCount = 0;
int sendDepth = 0; // > 0 while our sendMessage is delivering: everything goes to the procedure
std::array<bool, 256> asyncKeys{};
std::atomic<bool> interrupted{false};

Window* fromHwnd(HWND hwnd) {
    if (hwnd == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// The letterboxed picture inside the physical client area: scale and offset.
void pictureTransform(Window* w, double* scale, double* ox, double* oy) {
    RECT r{};
    GetClientRect(w->hwnd, &r);
    Rect box = letterbox(w->width, w->height, r.right - r.left, r.bottom - r.top);
    if (box.right <= box.left) {
        *scale = 1.0;
        *ox = *oy = 0.0;
        return;
    }
    *scale = double(box.right - box.left) / w->width;
    *ox = box.left;
    *oy = box.top;
}

intptr_t toLogicalLParam(Window* w, LPARAM lp) {
    int x = int16_t(lp & 0xFFFF), y = int16_t((lp >> 16) & 0xFFFF);
    double scale, ox, oy;
    pictureTransform(w, &scale, &ox, &oy);
    return makeLParam(int(std::floor((x - ox) / scale)), int(std::floor((y - oy) / scale)));
}

// Messages the program handles itself when they come through the queue.
bool isProgramMessage(UINT message) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CLOSE:
    case WM_SIZE:
    case WM_ACTIVATE:
        return true;
    default:
        return message >= WM_USER;
    }
}

LRESULT CALLBACK nativeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = fromHwnd(hwnd);
    if (w == nullptr || !w->alive) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    if (sendDepth > 0 && message != WM_DESTROY && message != WM_NCDESTROY) {
        return w->proc(w, message, wParam, lParam);
    }
    switch (message) {
    case WM_PAINT:
        // The program paints from its own loop; the system's request only marks the window.
        ValidateRect(hwnd, nullptr);
        w->invalid = true;
        return 0;
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r,
                 static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        return 1;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && cursorCount < 0) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        return w->proc(w, WM_ACTIVATE, LOWORD(wParam) != WA_INACTIVE ? 1 : 0, 0);
    case WM_CLOSE:
        return w->proc(w, WM_CLOSE, wParam, lParam);
    case WM_SIZE:
        return 0; // the logical client size does not change
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4) {
            break; // Alt+F4 closes as usual
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool registerNativeClass() {
    if (nativeClassRegistered) {
        return true;
    }
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = nativeProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kNativeClass;
    if (RegisterClassExA(&wc) == 0) {
        lastError = "RegisterClassEx failed (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    nativeClassRegistered = true;
    return true;
}

BOOL WINAPI onConsoleControl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
        interrupted.store(true);
        return TRUE;
    }
    return FALSE;
}

void takeInterrupt() {
    if (!interrupted.exchange(false)) {
        return;
    }
    if (windows.empty()) {
        postQuitMessage(0);
    }
    for (Window* w : windows) {
        PostMessageA(w->hwnd, WM_CLOSE, 0, 0);
    }
}

// One pass of the retrieval order: queued messages (quit included), then paint.
bool nextMessage(Message* m, bool* isQuit) {
    *isQuit = false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            *m = {nullptr, WM_QUIT, uintptr_t(msg.wParam), 0};
            *isQuit = true;
            return true;
        }
        Window* w = fromHwnd(msg.hwnd);
        if (w != nullptr && w->alive && isProgramMessage(msg.message)) {
            intptr_t lp = msg.lParam;
            if (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONDOWN ||
                msg.message == WM_LBUTTONUP) {
                lp = toLogicalLParam(w, msg.lParam);
            }
            if ((msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) && msg.wParam < 256) {
                asyncKeys[msg.wParam] = msg.message == WM_KEYDOWN;
            }
            *m = {w, msg.message, uintptr_t(msg.wParam), lp};
            return true;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
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
    return registerNativeClass();
}

void shutdownDisplay() {
    while (!windows.empty()) {
        destroyWindow(windows.back());
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    asyncKeys.fill(false);
    while (cursorCount < 0) {
        showCursor(true);
    }
    cursorCount = 0;
}

DisplayMode displayMode() {
    return currentMode;
}
const std::string& displayError() {
    return lastError;
}

int getSystemMetrics(int index) {
    // Headless runs see a fixed desktop, so nothing they draw depends on the host.
    if (currentMode == DisplayMode::Headless) {
        return index == SM_CXSCREEN || index == SM_CXFULLSCREEN   ? 800
               : index == SM_CYSCREEN || index == SM_CYFULLSCREEN ? 600
                                                                  : 0;
    }
    switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CYFULLSCREEN:
        return GetSystemMetrics(index);
    default:
        return 0;
    }
}

Window* createWindow(const char* className, const char* title, int x, int y, int width,
                     int height) {
    const WindowProc proc = detail::findWindowClass(className);
    if (proc == nullptr || width <= 0 || height <= 0 || !registerNativeClass()) {
        return nullptr;
    }
    auto* w = new Window;
    w->className = className;
    w->proc = proc;
    w->title = title != nullptr ? title : "";
    w->width = width;
    w->height = height;
    w->headless = currentMode == DisplayMode::Headless;

    DWORD style = WS_POPUP;
    int wx = x, wy = y, ww = width, wh = height;
    if (currentMode == DisplayMode::Windowed) {
        style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        RECT r{0, 0, width, height};
        AdjustWindowRect(&r, style, FALSE);
        ww = r.right - r.left;
        wh = r.bottom - r.top;
    } else if (currentMode == DisplayMode::FullScreen) {
        wx = 0;
        wy = 0;
        ww = GetSystemMetrics(SM_CXSCREEN);
        wh = GetSystemMetrics(SM_CYSCREEN);
    }
    // The system's class name is "/" for every window; the program's class picks the procedure.
    w->hwnd = CreateWindowExA(0, kNativeClass, w->title.c_str(), style, wx, wy, ww, wh, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    if (w->hwnd == nullptr) {
        lastError = "CreateWindowEx failed (error " + std::to_string(GetLastError()) + ")";
        delete w;
        return nullptr;
    }
    SetWindowLongPtrA(w->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
    windows.push_back(w);
    sendMessage(w, WM_SIZE, 0, makeLParam(width, height));
    return w;
}

bool moveWindow(Window* w, int x, int y, int width, int height) {
    if (w == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    // The client size stays as created; only a framed window actually moves.
    if (currentMode == DisplayMode::Windowed) {
        RECT r{};
        GetWindowRect(w->hwnd, &r);
        int ww = r.right - r.left, wh = r.bottom - r.top;
        if (x < 0 || y < 0) {
            x = (GetSystemMetrics(SM_CXSCREEN) - ww) / 2;
            y = (GetSystemMetrics(SM_CYSCREEN) - wh) / 2;
        }
        SetWindowPos(w->hwnd, nullptr, std::max(0, x), std::max(0, y), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return true;
}

void showWindow(Window* w) {
    if (w == nullptr) {
        return;
    }
    if (!w->headless) {
        // Activation reaches the procedure through the system while the window comes up.
        ShowWindow(w->hwnd, SW_SHOW);
        SetForegroundWindow(w->hwnd);
        UpdateWindow(w->hwnd);
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
    if (w->proc != nullptr) {
        w->proc(w, WM_DESTROY, 0, 0);
    }
    windows.erase(std::find(windows.begin(), windows.end(), w));
    SetWindowLongPtrA(w->hwnd, GWLP_USERDATA, 0);
    DestroyWindow(w->hwnd);
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
    return w == nullptr || w->headless;
}
void* nativeWindow(Window* w) {
    return w != nullptr ? w->hwnd : nullptr;
}

bool getMessage(Message* m) {
    for (;;) {
        takeInterrupt();
        bool isQuit = false;
        if (nextMessage(m, &isQuit)) {
            return !isQuit;
        }
        if (currentMode == DisplayMode::Headless) {
            // Hidden windows get no input: with nothing to do, nothing could ever arrive, so a
            // caller waiting here would hang. Hand back an empty quit.
            *m = {nullptr, WM_QUIT, 0, 0};
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

bool peekMessage(Message* m) {
    takeInterrupt();
    bool isQuit = false;
    return nextMessage(m, &isQuit);
}

void translateMessage(const Message*) {}

intptr_t dispatchMessage(const Message* m) {
    if (m == nullptr || m->window == nullptr || !m->window->alive) {
        return 0;
    }
    return m->window->proc(m->window, m->message, m->wParam, m->lParam);
}

intptr_t sendMessage(Window* w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (w == nullptr || w->proc == nullptr || !w->alive) {
        return 0;
    }
    ++sendDepth;
    LRESULT result = SendMessageA(w->hwnd, message, wParam, lParam);
    --sendDepth;
    return result;
}

bool postMessage(Window* w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return w != nullptr && w->alive && PostMessageA(w->hwnd, message, wParam, lParam) != 0;
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
    PostQuitMessage(exitCode);
}

bool interruptRequested() {
    return interrupted.load();
}

void installInterruptHandler() {
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void invalidateRect(Window* w, bool) {
    if (w != nullptr) {
        w->invalid = true;
    }
}

void validateRect(Window* w) {
    if (w != nullptr) {
        w->invalid = false;
        if (w->alive) {
            ValidateRect(w->hwnd, nullptr);
        }
    }
}

bool isInvalid(const Window* w) {
    return w != nullptr && w->invalid;
}

int showCursor(bool show) {
    cursorCount += show ? 1 : -1;
    if (currentMode != DisplayMode::Headless) {
        ShowCursor(show ? TRUE : FALSE);
    }
    return cursorCount;
}

void setCursorPos(Window* w, int x, int y) {
    if (w == nullptr || !w->alive) {
        return;
    }
    if (w->headless) {
        postMessage(w, WM_MOUSEMOVE, 0, makeLParam(x, y));
        return;
    }
    double scale, ox, oy;
    pictureTransform(w, &scale, &ox, &oy);
    POINT p{LONG(ox + x * scale), LONG(oy + y * scale)};
    ClientToScreen(w->hwnd, &p);
    SetCursorPos(p.x, p.y); // the system reports the motion itself
}

int16_t getAsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) {
        return 0;
    }
    bool down = asyncKeys[vk];
    if (!down && currentMode != DisplayMode::Headless) {
        down = (GetAsyncKeyState(vk) & 0x8000) != 0;
    }
    return down ? int16_t(0x8000) : int16_t(0);
}

void simulateKey(Window* w, int vk, bool down) {
    if (vk < 0 || vk > 255) {
        return;
    }
    asyncKeys[vk] = down;
    if (w != nullptr) {
        postMessage(w, down ? WM_KEYDOWN : WM_KEYUP, uintptr_t(vk), 1);
    }
}

int virtualKeyFromScancode(int scancode) {
    if (scancode <= 0) {
        return 0;
    }
    return int(MapVirtualKeyA(UINT(scancode), MAPVK_VSC_TO_VK));
}

} // namespace platform
