// A full-screen window on a real X server (scripts/with-xvfb.sh starts one at 1280 x 720,
// without a window manager): the window covers the screen, and what the screen shows is the
// 800 x 600 picture letterboxed into the size the window really has, also after something
// else (a window manager, say) resizes it. The screen is read back through X itself.
#include "platform/gfx/gfx.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

// Xlib's macros (None, Bool, ...) clash with names in the headers above: it comes last.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlue = 0x0000FF, kBlack = 0;

intptr_t plainProc(platform::Window* w, uint32_t msg, uintptr_t wp, intptr_t lp) {
    return platform::defWindowProc(w, msg, wp, lp);
}

class FullScreenWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no X display (run through scripts/with-xvfb.sh)";
        }
        x_ = XOpenDisplay(nullptr);
        ASSERT_NE(x_, nullptr);
        ASSERT_TRUE(platform::initDisplay(platform::DisplayMode::FullScreen))
            << platform::displayError();
        ASSERT_TRUE(platform::registerClass("fullscreen", plainProc));
        window_ = platform::createWindow("fullscreen", "full screen", 0, 0, kWidth, kHeight);
        ASSERT_NE(window_, nullptr) << platform::displayError();
        platform::showWindow(window_);
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        auto* sdl = static_cast<SDL_Window*>(platform::nativeWindow(window_));
        ASSERT_TRUE(SDL_GetWindowWMInfo(sdl, &info));
        ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
        xWindow_ = info.info.x11.window;

        d3d_ = gfx::createDirect3D(gfx::D3D_SDK_VERSION, gfx::Backend::GlWindow);
        ASSERT_TRUE(d3d_) << gfx::lastError();
        gfx::PresentParameters p{};
        p.BackBufferWidth = kWidth;
        p.BackBufferHeight = kHeight;
        p.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
        p.hDeviceWindow = window_;
        gfx::Device* device = nullptr;
        ASSERT_EQ(d3d_->createDevice(0, gfx::D3DDEVTYPE_HAL, window_,
                                     gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
                  gfx::D3D_OK)
            << gfx::lastError();
        device_.reset(device);
        // The picture: white, a red block at its top-left corner, a blue one at bottom-right.
        const gfx::Rect topLeft{0, 0, 80, 60},
            bottomRight{kWidth - 80, kHeight - 60, kWidth, kHeight};
        device_->clear(0, nullptr, gfx::D3DCLEAR_TARGET, 0xFFFFFFFF, 1, 0);
        device_->clear(1, &topLeft, gfx::D3DCLEAR_TARGET, 0xFFFF0000, 1, 0);
        device_->clear(1, &bottomRight, gfx::D3DCLEAR_TARGET, 0xFF0000FF, 1, 0);
    }

    void TearDown() override {
        device_.reset();
        d3d_.reset();
        platform::shutdownDisplay();
        platform::unregisterClass("fullscreen");
        if (x_ != nullptr) {
            XCloseDisplay(x_);
        }
    }

    // Handles messages for a while (the window settling, or taking a new size), then
    // presents the picture and waits for X to have it on screen.
    void settleAndPresent() {
        for (int i = 0; i < 50; ++i) {
            platform::Message m;
            while (platform::peekMessage(&m)) {
                platform::dispatchMessage(&m);
            }
            SDL_Delay(10);
        }
        ASSERT_EQ(device_->present(), gfx::D3D_OK);
        XSync(x_, False);
        SDL_Delay(100);
    }

    // The window as X has it: its rectangle on the screen.
    platform::Rect realRectangle() {
        XWindowAttributes a{};
        XGetWindowAttributes(x_, xWindow_, &a);
        int rootX = 0, rootY = 0;
        ::Window child = 0;
        XTranslateCoordinates(x_, xWindow_, DefaultRootWindow(x_), 0, 0, &rootX, &rootY, &child);
        return {rootX, rootY, rootX + a.width, rootY + a.height};
    }

    // Checks the screen against the picture letterboxed into the window's real rectangle.
    void expectLetterboxedIn(const platform::Rect& window) {
        const int ww = window.right - window.left, wh = window.bottom - window.top;
        const platform::Rect r = platform::letterbox(kWidth, kHeight, ww, wh);
        ASSERT_GT(r.right - r.left, 100);
        ASSERT_GT(r.bottom - r.top, 100);
        XImage* image =
            XGetImage(x_, xWindow_, 0, 0, unsigned(ww), unsigned(wh), AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        auto pixel = [&](int x, int y) { return uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF; };
        const int midX = (r.left + r.right) / 2, midY = (r.top + r.bottom) / 2;
        // Block centres: 40 x 30 picture pixels from the corners.
        const int bx = (r.right - r.left) * 40 / kWidth, by = (r.bottom - r.top) * 30 / kHeight;
        EXPECT_EQ(pixel(midX, midY), kWhite);
        EXPECT_EQ(pixel(r.left + bx, r.top + by), kRed) << "the picture's top-left corner";
        EXPECT_EQ(pixel(r.right - 1 - bx, r.bottom - 1 - by), kBlue)
            << "the picture's bottom-right corner";
        // Just inside and just outside each edge of the picture (bars only where there is room).
        EXPECT_EQ(pixel(r.left + 2, midY), kWhite);
        EXPECT_EQ(pixel(r.right - 3, midY), kWhite);
        EXPECT_EQ(pixel(midX, r.top + 2), kWhite);
        EXPECT_EQ(pixel(midX, r.bottom - 3), kWhite);
        if (r.left >= 3) {
            EXPECT_EQ(pixel(r.left - 3, midY), kBlack);
            EXPECT_EQ(pixel(0, 0), kBlack);
        }
        if (ww - r.right >= 3) {
            EXPECT_EQ(pixel(r.right + 2, midY), kBlack);
            EXPECT_EQ(pixel(ww - 1, wh - 1), kBlack);
        }
        if (r.top >= 3) {
            EXPECT_EQ(pixel(midX, r.top - 3), kBlack);
        }
        if (wh - r.bottom >= 3) {
            EXPECT_EQ(pixel(midX, r.bottom + 2), kBlack);
        }
        XDestroyImage(image);
    }

    Display* x_ = nullptr;
    ::Window xWindow_ = 0;
    platform::Window* window_ = nullptr;
    std::unique_ptr<gfx::Direct3D> d3d_;
    std::unique_ptr<gfx::Device> device_;
};

TEST_F(FullScreenWindow, CoversTheScreenWithThePictureLetterboxedInTheMiddle) {
    settleAndPresent();
    const platform::Rect screen{0, 0, DisplayWidth(x_, DefaultScreen(x_)),
                                DisplayHeight(x_, DefaultScreen(x_))};
    const platform::Rect real = realRectangle();
    EXPECT_EQ(real.left, screen.left);
    EXPECT_EQ(real.top, screen.top);
    EXPECT_EQ(real.right, screen.right);
    EXPECT_EQ(real.bottom, screen.bottom);
    int w = 0, h = 0;
    platform::clientSize(window_, &w, &h);
    EXPECT_EQ(w, kWidth) << "the logical size stays the size asked for";
    EXPECT_EQ(h, kHeight);
    expectLetterboxedIn(real);
}

TEST_F(FullScreenWindow, ThePictureFollowsTheSizeTheWindowIsGiven) {
    settleAndPresent();
    // Resized from another X client, as a window manager would: wider, then taller.
    for (const platform::Rect& size : {platform::Rect{0, 0, 1000, 400}, {0, 0, 500, 700}}) {
        SCOPED_TRACE(size.right);
        XMoveResizeWindow(x_, xWindow_, 0, 0, unsigned(size.right), unsigned(size.bottom));
        XSync(x_, False);
        settleAndPresent();
        const platform::Rect real = realRectangle();
        EXPECT_EQ(real.right - real.left, size.right);
        EXPECT_EQ(real.bottom - real.top, size.bottom);
        expectLetterboxedIn(real);
    }
}

TEST_F(FullScreenWindow, MouseCoordinatesMapThroughTheLetterbox) {
    settleAndPresent();
    const platform::Rect real = realRectangle();
    const platform::Rect r =
        platform::letterbox(kWidth, kHeight, real.right - real.left, real.bottom - real.top);
    // Pointer moved by X to the screen point under the picture's (200, 150).
    XWarpPointer(x_, None, xWindow_, 0, 0, 0, 0, r.left + (r.right - r.left) / 4,
                 r.top + (r.bottom - r.top) / 4);
    XSync(x_, False);
    intptr_t last = -1;
    for (int i = 0; i < 50 && last < 0; ++i) {
        platform::Message m;
        while (platform::peekMessage(&m)) {
            if (m.message == platform::WM_MOUSEMOVE) {
                last = m.lParam;
            }
            platform::dispatchMessage(&m);
        }
        SDL_Delay(10);
    }
    ASSERT_GE(last, 0) << "no mouse move arrived";
    EXPECT_NEAR(int(last & 0xFFFF), kWidth / 4, 1);
    EXPECT_NEAR(int((last >> 16) & 0xFFFF), kHeight / 4, 1);
}

} // namespace
