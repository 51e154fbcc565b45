// The Windows back ends under a real (or Wine's) user interface, multimedia timer, GDI and
// mpg123: messages through the real window and queue, the timer's ticks, glyph coverage from
// the shipped faces, and the music decoded to PCM.
#include "platform/files.h"
#include "platform/glyphs.h"
#include "platform/sound.h"
#include "platform/timer.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

struct Received {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};
std::vector<Received> received;

intptr_t recordingProc(platform::Window* w, uint32_t msg, uintptr_t wp, intptr_t lp) {
    received.push_back({msg, wp, lp});
    return platform::defWindowProc(w, msg, wp, lp);
}

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override {
        received.clear();
        ASSERT_TRUE(platform::initDisplay(platform::DisplayMode::Headless));
        ASSERT_TRUE(platform::registerClass("test", recordingProc));
        window = platform::createWindow("test", "??? / Zentharis & Vrell", 0, 0, 320, 200);
        ASSERT_NE(window, nullptr);
        hwnd = static_cast<HWND>(platform::nativeWindow(window));
        ASSERT_NE(hwnd, nullptr);
    }
    void TearDown() override {
        platform::shutdownDisplay();
        platform::unregisterClass("test");
    }
    platform::Window* window = nullptr;
    HWND hwnd = nullptr;
};

TEST_F(Win32Window, IsARealWindowOfClassSlashWithTheTitle) {
    char name[64] = "";
    GetClassNameA(hwnd, name, sizeof name);
    EXPECT_STREQ(name, "/");
    char title[64] = "";
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ(title, "??? / Zentharis & Vrell");
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.front().message, uint32_t(WM_SIZE));
    EXPECT_EQ(received.front().lParam, platform::makeLParam(320, 200));
}

TEST_F(Win32Window, SentMessagesReachTheProcedureAtOnceWithTheirParameters) {
    received.clear();
    EXPECT_EQ(platform::sendMessage(window, WM_KEYDOWN, VK_ESCAPE, 7), 0);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, uint32_t(WM_KEYDOWN));
    EXPECT_EQ(received[0].wParam, uintptr_t(VK_ESCAPE));
    EXPECT_EQ(received[0].lParam, 7);
}

TEST_F(Win32Window, TheSystemsOwnSizeMessagesDoNotChangeTheClientSize) {
    received.clear();
    SetWindowPos(hwnd, nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE);
    for (const Received& r : received) {
        EXPECT_NE(r.message, uint32_t(WM_SIZE));
    }
    int w = 0, h = 0;
    platform::clientSize(window, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
}

TEST_F(Win32Window, QueuedKeysComeBeforeQuitAndQuitBeforePaint) {
    platform::invalidateRect(window, false);
    ASSERT_TRUE(PostMessageA(hwnd, WM_KEYDOWN, 'M', 1));
    platform::postQuitMessage(3);
    platform::Message m;
    ASSERT_TRUE(platform::getMessage(&m));
    EXPECT_EQ(m.message, uint32_t(WM_KEYDOWN));
    EXPECT_EQ(m.wParam, uintptr_t('M'));
    EXPECT_NE(platform::getAsyncKeyState('M'), 0);
    received.clear();
    platform::dispatchMessage(&m);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, uint32_t(WM_KEYDOWN));
    EXPECT_FALSE(platform::getMessage(&m));
    EXPECT_EQ(m.message, uint32_t(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
    ASSERT_TRUE(platform::getMessage(&m));
    EXPECT_EQ(m.message, uint32_t(WM_PAINT));
    platform::dispatchMessage(&m); // the default procedure validates
    EXPECT_FALSE(platform::isInvalid(window));
    EXPECT_FALSE(platform::getMessage(&m)); // nothing left: a headless loop ends
}

TEST_F(Win32Window, CloseDestroysTheRealWindow) {
    platform::sendMessage(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(received.back().message, uint32_t(WM_DESTROY));
    EXPECT_FALSE(IsWindow(hwnd));
}

std::atomic<int> ticks{0};
void countTick(uint32_t, void*) {
    ++ticks;
}

TEST(MultimediaTimer, TicksUntilKilledAndNeverAfter) {
    ticks = 0;
    uint32_t id = platform::timeSetEvent(1, 0, countTick, nullptr);
    ASSERT_NE(id, 0u);
    for (int i = 0; i < 2000 && ticks.load() < 3; ++i) {
        Sleep(1);
    }
    EXPECT_GE(ticks.load(), 3);
    EXPECT_EQ(platform::timeKillEvent(id), 0);
    int after = ticks.load();
    Sleep(20);
    EXPECT_EQ(ticks.load(), after);
    EXPECT_NE(platform::timeKillEvent(id), 0); // already gone
}

TEST(MultimediaTimer, SystemTimeIsTimeGetTime) {
    uint32_t ours = platform::timeGetTime();
    uint32_t system = ::timeGetTime();
    EXPECT_LE(system - ours, 1000u);
}

class GdiGlyphs : public ::testing::Test {
protected:
    void SetUp() override { platform::setDataDirectory(std::string(DEMO_SOURCE_DIR) + "/data"); }
    static int coverage(platform::GlyphFont& font, char c, platform::GlyphBitmap* bitmap) {
        font.draw(*bitmap, 2, 2, c);
        int lit = 0;
        for (uint32_t p : bitmap->pixels) {
            lit += (p & 0xFF) > 128 ? 1 : 0;
        }
        return lit;
    }
};

TEST_F(GdiGlyphs, DrawsWhiteOnBlackInsideTheCellFromTheShippedFaces) {
    std::string error;
    auto font = platform::GlyphFont::create("Tahoma", 24, false, false, &error);
    ASSERT_NE(font, nullptr) << error;
    EXPECT_NE(font->facePath().find("DejaVuSans.ttf"), std::string::npos);
    platform::GlyphExtent w = font->measure('W');
    platform::GlyphExtent i = font->measure('i');
    EXPECT_GT(w.width, i.width);
    EXPECT_GE(w.height, 24);
    EXPECT_LE(w.height, 40);

    platform::GlyphBitmap bitmap(64, 64);
    std::fill(bitmap.pixels.begin(), bitmap.pixels.end(), 0x00808080u);
    int lit = coverage(*font, 'W', &bitmap);
    EXPECT_GT(lit, 20);
    // Outside the cell the bitmap keeps what it had; inside, every pixel is grey-level.
    for (uint32_t y = 0; y < bitmap.height; ++y) {
        for (uint32_t x = 0; x < bitmap.width; ++x) {
            uint32_t p = bitmap.pixels[y * bitmap.width + x];
            bool inCell =
                x >= 2 && x < uint32_t(2 + w.width) && y >= 2 && y < uint32_t(2 + w.height);
            if (!inCell) {
                ASSERT_EQ(p, 0x00808080u) << x << "," << y;
            } else {
                ASSERT_EQ(p & 0xFF, (p >> 8) & 0xFF) << x << "," << y;
            }
        }
    }
}

TEST_F(GdiGlyphs, TerminalIsTheMonospaceFaceAndClipsAtTheBitmapEdge) {
    std::string error;
    auto font = platform::GlyphFont::create("Terminal", 16, false, false, &error);
    ASSERT_NE(font, nullptr) << error;
    EXPECT_NE(font->facePath().find("DejaVuSansMono.ttf"), std::string::npos);
    EXPECT_EQ(font->measure('W').width, font->measure('i').width);
    platform::GlyphBitmap small(4, 4);
    font->draw(small, -3, -3, 'W'); // partly outside: must not write out of bounds
    font->draw(small, 100, 100, 'W');
    EXPECT_EQ(small.pixels.size(), 16u);
}

TEST(Mpg123Sound, TheMusicDecodesToStereoAtTheAskedRate) {
    std::vector<int16_t> pcm;
    std::string music = std::string(DEMO_SOURCE_DIR) + "/data/music.mp3";
    ASSERT_TRUE(platform::soundDecodeFile(music.c_str(), 44100, &pcm)) << platform::soundError();
    EXPECT_GT(pcm.size(), size_t(2) * 44100 * 240);
    EXPECT_EQ(pcm.size() % 2, 0u);
    EXPECT_TRUE(std::any_of(pcm.begin(), pcm.end(), [](int16_t s) { return s > 1000; }));
}

TEST(Mpg123Sound, MissingOrDamagedFilesAreRefusedAndMutedStaysSilent) {
    std::vector<int16_t> pcm;
    EXPECT_FALSE(platform::soundDecodeFile("no such file.mp3", 44100, &pcm));
    EXPECT_FALSE(platform::soundDecodeFile(__FILE__, 44100, &pcm)); // not audio
    EXPECT_TRUE(pcm.empty());
    platform::setSoundMuted(true);
    EXPECT_FALSE(platform::soundInit(44100, 32, 0));
    EXPECT_EQ(platform::soundPlay(-1, nullptr), -1);
    platform::setSoundMuted(false);
}

} // namespace
