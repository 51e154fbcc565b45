// Window and input stand-in over SDL2. SDL events are turned into the window-procedure
// messages the application handles (numbers as the Windows messages), keys into Windows
// virtual-key codes. A window may be headless: no SDL at all, yet it receives the same
// messages (paint back to back while invalid), so the main loop is the same everywhere.
// Full screen is a borderless window at the display's bounds that also asks the window
// manager for full screen, so it covers the screen with or without one. The logical client
// size stays what was asked for; the gfx device letterboxes the picture into whatever size
// the window really has, and mouse coordinates are mapped back through the same rectangle.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct Window;

// Window messages (the values Windows uses).
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_ACTIVATE = 0x0006;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;

// Virtual-key codes the system uses.
constexpr int VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
              VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
              VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46,
              VK_NUMPAD0 = 96, VK_MULTIPLY = 106, VK_ADD = 107, VK_SUBTRACT = 109, VK_DECIMAL = 110,
              VK_DIVIDE = 111, VK_F1 = 112, VK_OEM_4 = 219, VK_OEM_6 = 221;

// System metrics indices.
constexpr int SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXFULLSCREEN = 16, SM_CYFULLSCREEN = 17;

using WindowProc = intptr_t (*)(Window* window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam);

struct Message {
    Window* window = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

struct Rect {
    int32_t left, top, right, bottom;
};

enum class DisplayMode { Windowed, FullScreen, Headless };

// Opens the display for the given mode. Headless needs nothing and always succeeds. Returns
// false when no display can be opened; displayError() then says why.
bool initDisplay(DisplayMode mode);
void shutdownDisplay();
DisplayMode displayMode();
const std::string& displayError();

int getSystemMetrics(int index);

// Registers a window procedure under a class name; false if the name is taken or empty.
bool registerClass(const char* className, WindowProc proc);
bool unregisterClass(const char* className);
// Grows a client rectangle to a window rectangle; our windows have no frame to add.
bool adjustWindowRect(Rect* rect);

// Creates a hidden window of the class with the given client size. Sends WM_SIZE through the
// procedure before it returns, as the real window manager does. Null on failure.
Window* createWindow(const char* className, const char* title, int x, int y, int width, int height);
bool moveWindow(Window* window, int x, int y, int width, int height);
// Shows the window and sends WM_ACTIVATE.
void showWindow(Window* window);
// Sends WM_DESTROY and destroys the window.
void destroyWindow(Window* window);
std::string windowTitle(const Window* window);
// Logical client size (the size asked for; not the desktop size in full screen).
void clientSize(const Window* window, int* width, int* height);
bool isHeadless(const Window* window);
// The SDL_Window* behind it (null when headless); for the gfx device only.
void* nativeWindow(Window* window);

// Message loop: false when WM_QUIT is retrieved (its code in message->wParam).
bool getMessage(Message* message);
// Like getMessage, but returns false at once when nothing is waiting (no paint either).
bool peekMessage(Message* message);
void translateMessage(const Message* message);
intptr_t dispatchMessage(const Message* message);
intptr_t sendMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool postMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t defWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void postQuitMessage(int exitCode);
// Ctrl-C and SIGTERM close the windows (the program then quits as when the user closes one).
void installInterruptHandler();

// An invalid window receives WM_PAINT whenever its queue is otherwise empty.
void invalidateRect(Window* window, bool erase);
void validateRect(Window* window);
bool isInvalid(const Window* window);

// Show-cursor counter: the cursor is visible while the counter is >= 0. Returns the new count.
int showCursor(bool show);
// Moves the cursor to a client point; produces a mouse-move message as Windows does.
void setCursorPos(Window* window, int x, int y);

// Asynchronous key state: bit 15 set while the key is down.
int16_t getAsyncKeyState(int virtualKey);
// Feeds a key as if typed (async state + key message); for tests and scripted input.
void simulateKey(Window* window, int virtualKey, bool down);
// Virtual-key code for an SDL scancode (0 when there is none).
int virtualKeyFromScancode(int scancode);

// Where a picture goes in a window: the largest rectangle of the picture's aspect, centred
// (window pixels, top-left origin). Empty (all zero) when either size is not positive.
Rect letterbox(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight);

// Packs two 16-bit values as the message parameters do.
constexpr intptr_t makeLParam(int low, int high) {
    return static_cast<intptr_t>(static_cast<uint32_t>(low & 0xFFFF) |
                                 (static_cast<uint32_t>(high & 0xFFFF) << 16));
}

} // namespace platform
