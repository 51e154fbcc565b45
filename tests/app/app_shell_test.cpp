#include "platform/debugout.h"
#include "render/render_driver.h"
#include "support/app_fixture.h"

#include <filesystem>

namespace {

int resizeCalls = 0;
void countResize() {
    ++resizeCalls;
}

TEST_F(AppFixture, InitializeSetsUpTheClientWindowAndFlags) {
    EXPECT_EQ(app->width, 800u);
    EXPECT_EQ(app->height, 600u);
    EXPECT_EQ(app->modeFlags, 139u & ~4u);
    EXPECT_EQ(app->clockFlags, 15u | 0x70u);
    EXPECT_EQ(app->driverBaseFlags, 12);
    ASSERT_NE(app->window, nullptr);
    EXPECT_EQ(platform::windowTitle(app->window), "??? / Zentharis & Vrell");
    EXPECT_STREQ(app->logFileName, "logfile.txt");
    // The null device reports a w-buffer, and a depth buffer was asked for.
    EXPECT_EQ(app->depthMode, 2u);
    EXPECT_EQ(app->frameBuffer.width, 800u);
    EXPECT_EQ(app->frameBuffer.bytesPerPixel, 4u);
}

TEST_F(AppFixture, SizeMessageWithTheCurrentSizeDoesNothing) {
    gRunning = true;
    resizeCalls = 0;
    app->services.onResize = countResize;
    EXPECT_EQ(demoWindowProc(app->window, platform::WM_SIZE, 0, platform::makeLParam(800, 600)), 0);
    EXPECT_EQ(resizeCalls, 0);
    demoWindowProc(app->window, platform::WM_SIZE, 0, platform::makeLParam(640, 480));
    EXPECT_EQ(resizeCalls, 1);
    EXPECT_EQ(app->width, 640u);
    EXPECT_EQ(app->frameBuffer.height, 480u);
}

TEST_F(AppFixture, MessagesOutsideTheLoopGoToTheDefaultProcedure) {
    // Not running: key and destroy messages must not touch the application.
    gRunning = false;
    demoWindowProc(app->window, platform::WM_KEYDOWN, 'A', 0);
    EXPECT_FALSE(app->keyBits['A']);
    demoWindowProc(app->window, platform::WM_MOUSEMOVE, 0, platform::makeLParam(10, 20));
    EXPECT_EQ(app->mouseX, 0);
    demoWindowProc(app->window, platform::WM_DESTROY, 0, 0);
    EXPECT_FALSE(quitPosted());

    gRunning = true;
    demoWindowProc(app->window, platform::WM_KEYDOWN, 'A', 0);
    EXPECT_TRUE(app->keyBits['A']);
    demoWindowProc(app->window, platform::WM_KEYUP, 'A', 0);
    EXPECT_FALSE(app->keyBits['A']);
    demoWindowProc(app->window, platform::WM_DESTROY, 0, 0);
    EXPECT_TRUE(quitPosted());
}

TEST_F(AppFixture, MouseMovementIsSignedAndRelative) {
    gRunning = true;
    demoWindowProc(app->window, platform::WM_MOUSEMOVE, 0, platform::makeLParam(100, 50));
    demoWindowProc(app->window, platform::WM_MOUSEMOVE, 0, platform::makeLParam(-5, 60));
    EXPECT_EQ(app->mouseX, -5);
    EXPECT_EQ(app->mouseY, 60);
    EXPECT_EQ(app->mouseDX, -105);
    EXPECT_EQ(app->mouseDY, 10);
    setClock(app, 1234);
    demoWindowProc(app->window, platform::WM_LBUTTONDOWN, 1, 0);
    EXPECT_EQ(app->downX, -5);
    EXPECT_EQ(app->downTime, 1234u);
}

TEST_F(AppFixture, ActivationIsIgnoredWithModeBit5) {
    gRunning = true;
    platform::validateRect(app->window);
    app->active = 0;
    app->modeFlags |= kModeIgnoreActivation;
    demoWindowProc(app->window, platform::WM_ACTIVATE, 1, 0);
    EXPECT_EQ(app->active, 0u);
    EXPECT_FALSE(platform::isInvalid(app->window));
    app->modeFlags &= ~kModeIgnoreActivation;
    demoWindowProc(app->window, platform::WM_ACTIVATE, 0, 0);
    EXPECT_EQ(app->active, 1u);
    EXPECT_TRUE(platform::isInvalid(app->window));
}

TEST_F(AppFixture, PaintLeavesTheWindowInvalidOnlyWhileActive) {
    gRunning = true;
    static int paints = 0;
    paints = 0;
    app->services.onPaint = [] { ++paints; };
    platform::invalidateRect(app->window, false);
    demoWindowProc(app->window, platform::WM_PAINT, 0, 0);
    EXPECT_EQ(paints, 1);
    EXPECT_TRUE(platform::isInvalid(app->window));
    app->active = 0;
    demoWindowProc(app->window, platform::WM_PAINT, 0, 0);
    EXPECT_FALSE(platform::isInvalid(app->window));
}

TEST_F(AppFixture, IsKeyDownReadsTheAsynchronousStateNotKeyBits) {
    gRunning = true;
    app->keyBits[65] = true;
    EXPECT_EQ(app->services.isKeyDown(65), 0);
    platform::simulateKey(nullptr, 65, true);
    EXPECT_NE(app->services.isKeyDown(65), 0);
    app->active = 0;
    EXPECT_EQ(app->services.isKeyDown(65), 0);
    platform::simulateKey(nullptr, 65, false);
}

TEST_F(AppFixture, DriverListPushesAtTheHeadAndFixesTheTail) {
    RenderDriver a, b, c;
    app->registerDriver(&a);
    app->registerDriver(&b);
    app->registerDriver(&c);
    EXPECT_EQ(app->driverCount, 3);
    EXPECT_EQ(app->firstDriver(), &c);
    EXPECT_EQ(app->nextDriver(), &b);
    EXPECT_EQ(app->nextDriver(), &a);
    EXPECT_EQ(app->nextDriver(), nullptr);

    RenderDriver stranger;
    EXPECT_EQ(app->unregisterDriver(&stranger), 1);
    EXPECT_EQ(app->driverCount, 3);

    EXPECT_EQ(app->unregisterDriver(&a), 0); // the tail
    EXPECT_EQ(app->driverTail->driver, &b);
    EXPECT_EQ(app->unregisterDriver(&c), 0); // the head
    EXPECT_EQ(app->driverHead->driver, &b);
    EXPECT_EQ(app->unregisterDriver(&b), 0);
    EXPECT_EQ(app->driverHead, nullptr);
    EXPECT_EQ(app->driverTail, nullptr);
    EXPECT_EQ(app->driverCount, 0);
}

TEST_F(AppFixture, LogGoesToTheDebuggerAndNeverCreatesTheFileWithMode139) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "demo-log-test";
    fs::create_directories(dir);
    fs::path old = fs::current_path();
    fs::current_path(dir);
    fs::remove("logfile.txt");
    {
        platform::DebugCapture capture;
        app->services.log("[SYSTEM]", "client failed/refused initialize");
        EXPECT_EQ(capture.text(), "[SYSTEM]client failed/refused initialize\n");
    }
    EXPECT_FALSE(fs::exists("logfile.txt"));
    app->modeFlags |= kModeLogFile;
    app->services.log("a", "b");
    EXPECT_TRUE(fs::exists("logfile.txt"));
    fs::current_path(old);
    fs::remove_all(dir);
}

TEST_F(AppFixture, SetCursorHidesAndMoves) {
    app->services.setCursor(0, 0, 0); // show
    app->services.setCursor(400, 300, 3);
    EXPECT_EQ(app->mouseX, 400);
    EXPECT_EQ(app->mouseY, 300);
    EXPECT_LT(platform::showCursor(true), 1); // was negative before this call
}

} // namespace

namespace {

TEST_F(AppFixture, FrameBufferSoftwarePixelsAreFilledNestedAndPresented) {
    FrameBuffer* fb = app->services.getFrameBuffer();
    EXPECT_EQ(fb->unlock(fb), 4); // not locked
    ColorF blue{0, 0, 0, 1};
    fb->clearColour(fb, &blue, 0);
    ASSERT_EQ(fb->lock(fb, 3), 0);
    ASSERT_NE(fb->softwarePixels, nullptr);
    EXPECT_EQ(fb->bits, fb->softwarePixels);
    EXPECT_EQ(fb->pitch, 800 * 4);
    EXPECT_EQ(reinterpret_cast<uint32_t*>(fb->bits)[1234], 0x000000FFu);
    ASSERT_EQ(fb->lock(fb, 0), 0); // nested: no new work
    EXPECT_EQ(fb->lockCount, 2);
    EXPECT_EQ(fb->unlock(fb), 0);
    EXPECT_NE(fb->bits, nullptr);
    EXPECT_EQ(fb->unlock(fb), 0);
    EXPECT_EQ(fb->bits, nullptr);
    EXPECT_EQ(app->services.present(), 0); // copies into the back buffer and frees
    EXPECT_EQ(fb->softwarePixels, nullptr);
}

TEST_F(AppFixture, FrameBufferLocksTheBackBufferWhenAsked) {
    FrameBuffer* fb = app->services.getFrameBuffer();
    ASSERT_EQ(fb->lock(fb, 0), 0);
    EXPECT_NE(fb->lockedSurface, nullptr);
    EXPECT_EQ(fb->softwarePixels, nullptr);
    EXPECT_GE(fb->pitch, 800 * 4);
    EXPECT_EQ(fb->unlock(fb), 0);
    EXPECT_EQ(fb->lockedSurface, nullptr);
}

TEST(ColourPacking, TruncatesEachChannel) {
    EXPECT_EQ(packColour(ColorF{0, 0, 0, 0.2f}), 0x00000033u);
    EXPECT_EQ(packColour(ColorF{1, 1, 1, 1}), 0xFFFFFFFFu);
    EXPECT_EQ(packColour(ColorF{0.5f, 0.999f, 0, 0}), 0x7FFE0000u);
}

TEST(PixelFormats, CodesBothWays) {
    EXPECT_EQ(bytesPerPixelOf(24), 2u);
    EXPECT_EQ(bytesPerPixelOf(30), 3u);
    EXPECT_EQ(bytesPerPixelOf(101), 4u);
    EXPECT_EQ(bytesPerPixelOf(99), 0u);
    EXPECT_EQ(d3dFormatOf(41), gfx::D3DFMT_A8R8G8B8);
    EXPECT_EQ(formatCodeOf(gfx::D3DFMT_R5G6B5), 24u);
    EXPECT_EQ(formatCodeOf(12345), 0u);
    EXPECT_EQ(d3dFormatOf(7), 0u);
}

} // namespace
