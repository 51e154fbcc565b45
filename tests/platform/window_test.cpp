#include "platform/window.h"

#include <SDL_scancode.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint32_t> received;

intptr_t recordingProc(platform::Window* w, uint32_t msg, uintptr_t wp, intptr_t lp) {
    received.push_back(msg);
    return platform::defWindowProc(w, msg, wp, lp);
}

class HeadlessWindow : public ::testing::Test {
protected:
    void SetUp() override {
        received.clear();
        ASSERT_TRUE(platform::initDisplay(platform::DisplayMode::Headless));
        ASSERT_TRUE(platform::registerClass("test", recordingProc));
        window = platform::createWindow("test", "title", 0, 0, 320, 200);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        platform::shutdownDisplay();
        platform::unregisterClass("test");
    }
    platform::Window* window = nullptr;
};

TEST_F(HeadlessWindow, CreationSendsSizeAndShowActivates) {
    EXPECT_EQ(received, (std::vector<uint32_t>{platform::WM_SIZE}));
    platform::showWindow(window);
    EXPECT_EQ(received.back(), platform::WM_ACTIVATE);
    EXPECT_TRUE(platform::isInvalid(window));
    EXPECT_FALSE(platform::registerClass("test", recordingProc)); // taken
    EXPECT_EQ(platform::createWindow("nope", "t", 0, 0, 10, 10), nullptr);
}

TEST_F(HeadlessWindow, PostedMessagesComeBeforeQuitAndQuitBeforePaint) {
    platform::invalidateRect(window, false);
    platform::postMessage(window, platform::WM_KEYDOWN, 27, 0);
    platform::postQuitMessage(3);
    platform::Message m;
    ASSERT_TRUE(platform::getMessage(&m));
    EXPECT_EQ(m.message, platform::WM_KEYDOWN);
    EXPECT_FALSE(platform::getMessage(&m));
    EXPECT_EQ(m.message, platform::WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
    ASSERT_TRUE(platform::getMessage(&m));
    EXPECT_EQ(m.message, platform::WM_PAINT);
    platform::dispatchMessage(&m); // the default procedure validates
    EXPECT_FALSE(platform::isInvalid(window));
}

TEST_F(HeadlessWindow, HeadlessLoopWithNothingToDoEnds) {
    platform::validateRect(window);
    platform::Message m;
    EXPECT_FALSE(platform::getMessage(&m));
    EXPECT_FALSE(platform::peekMessage(&m));
}

TEST_F(HeadlessWindow, CloseDestroysTheWindow) {
    platform::sendMessage(window, platform::WM_CLOSE, 0, 0);
    EXPECT_EQ(received.back(), platform::WM_DESTROY);
}

TEST_F(HeadlessWindow, SimulatedKeysSetTheAsynchronousState) {
    platform::simulateKey(window, platform::VK_ESCAPE, true);
    EXPECT_NE(platform::getAsyncKeyState(platform::VK_ESCAPE), 0);
    platform::simulateKey(window, platform::VK_ESCAPE, false);
    EXPECT_EQ(platform::getAsyncKeyState(platform::VK_ESCAPE), 0);
    EXPECT_EQ(platform::getAsyncKeyState(999), 0);
}

// Bars left and right on a wide screen, above and below on a tall one, none when the aspect
// matches; always centred, never larger than the window, and nothing for an empty window.
TEST(Letterbox, PictureKeepsItsAspectCentredInTheWindow) {
    auto box = [](int ww, int wh) {
        const platform::Rect r = platform::letterbox(800, 600, ww, wh);
        return std::vector<int>{r.left, r.top, r.right, r.bottom};
    };
    EXPECT_EQ(box(800, 600), (std::vector<int>{0, 0, 800, 600}));
    EXPECT_EQ(box(1280, 720), (std::vector<int>{160, 0, 1120, 720}));
    EXPECT_EQ(box(1920, 1080), (std::vector<int>{240, 0, 1680, 1080}));
    EXPECT_EQ(box(500, 700), (std::vector<int>{0, 162, 500, 537}));
    EXPECT_EQ(box(1281, 720), (std::vector<int>{160, 0, 1120, 720})); // odd bar: left is narrower
    EXPECT_EQ(box(1, 1), (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(box(0, 720), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(box(1280, -1), (std::vector<int>{0, 0, 0, 0}));
    const platform::Rect none = platform::letterbox(0, 600, 1280, 720);
    EXPECT_EQ(none.right - none.left, 0);
}

TEST(KeyMapping, ScancodesBecomeVirtualKeys) {
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_ESCAPE), 27);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_M), 77);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_A), 65);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_Z), 90);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_LEFT), 37);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_DOWN), 40);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_PAGEUP), 33);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_PAGEDOWN), 34);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_END), 35);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_HOME), 36);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_KP_PLUS), 107);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_KP_MINUS), 109);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_LEFTBRACKET), 219);
    EXPECT_EQ(platform::virtualKeyFromScancode(SDL_SCANCODE_RIGHTBRACKET), 221);
}

} // namespace
