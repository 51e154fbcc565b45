#include "platform/debugout.h"
#include "platform/timer.h"
#include "support/host_options.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Call {
    int part;
    float localTime;
    float deltaTime;
};
std::vector<Call> calls;

class RecordingPart final : public DemoPart {
public:
    RecordingPart(int index, float duration) : DemoPart(duration), index_(index) {}
    int load() override { return 0; }
    int render(float localTime, float deltaTime) override {
        calls.push_back({index_, localTime, deltaTime});
        return 0;
    }
    int release() override { return 0; }

private:
    int index_;
};

// The whole client on the null device, headless, clock on virtual time.
class Timeline : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        platform::setTimeSource(&time);
        host = std::make_unique<DemoHost>();
        ASSERT_EQ(host->start(headlessOptions(gfx::Backend::Null, false, true, true)),
                  DemoHost::Step::Ready);
        app = host->app();
        // Swap the parts for recorders with the real durations.
        SequencerState& s = sequencer();
        ASSERT_EQ(s.partCount, 8u);
        for (size_t i = 0; i < s.parts.size(); ++i) {
            s.parts[i] = std::make_unique<RecordingPart>(int(i), partList()[i].duration);
        }
        app->startClock();
    }
    void TearDown() override {
        if (app != nullptr) {
            app->stopClock();
        }
        {
            platform::DebugCapture quiet; // the FPS line of the client's stop
            host.reset();
        }
        app = nullptr;
        platform::setTimeSource(nullptr);
    }
    bool quitPosted() {
        platform::Message m;
        while (platform::peekMessage(&m)) {
            if (m.message == platform::WM_QUIT) {
                return true;
            }
            if (m.message == platform::WM_PAINT) {
                platform::validateRect(m.window);
            }
        }
        return false;
    }
    platform::VirtualTimeSource time{777};
    std::unique_ptr<DemoHost> host;
    DemoApp* app = nullptr;
};

TEST_F(Timeline, PartListAddsUpTo250Seconds) {
    double sum = 0;
    for (const PartEntry& e : partList()) {
        sum += e.duration;
    }
    EXPECT_NEAR(sum, 250.0, 1e-4);
    EXPECT_EQ(partList()[0].duration, 37.8f);
    EXPECT_EQ(partList()[3].duration, 17.2f);
}

TEST_F(Timeline, FirstFrameRendersTheFirstPartAtZero) {
    displayFrame();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].part, 0);
    EXPECT_EQ(calls[0].localTime, 0.0f);
    EXPECT_EQ(calls[0].deltaTime, 0.0f);
    EXPECT_EQ(sequencer().frameCount, 1u);
    time.advance(16);
    displayFrame();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_FLOAT_EQ(calls[1].localTime, 0.016f);
    EXPECT_FLOAT_EQ(calls[1].deltaTime, 0.016f);
}

TEST_F(Timeline, BoundaryBelongsToTheLaterPart) {
    renderPartAt(37.8f, 0.02f);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].part, 1);
    EXPECT_EQ(calls[0].localTime, 0.0f);
    EXPECT_EQ(calls[0].deltaTime, 0.0f); // cut to the local time
    renderPartAt(37.79f, 0.02f);
    EXPECT_EQ(calls[1].part, 0);
}

TEST_F(Timeline, DeltaIsCutToLocalTime) {
    displayFrame();
    time.advance(38000); // a stall across the first boundary
    displayFrame();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].part, 1);
    EXPECT_NEAR(calls[1].localTime, 0.2f, 1e-4);
    EXPECT_EQ(calls[1].deltaTime, calls[1].localTime);
}

TEST_F(Timeline, AtTheEndQuitIsPostedAndTheFrameStillCounts) {
    displayFrame();
    setClock(app, 250000);
    EXPECT_FALSE(quitPosted());
    displayFrame();
    EXPECT_EQ(calls.size(), 1u); // nothing rendered at 250 s
    EXPECT_EQ(sequencer().frameCount, 2u);
    EXPECT_TRUE(quitPosted());
    setClock(app, 249999);
    displayFrame();
    EXPECT_EQ(calls.back().part, 7);
}

TEST_F(Timeline, EscapeQuitsOnlyGoingDown) {
    onKeyHook(27, 0);
    EXPECT_FALSE(quitPosted());
    onKeyHook(27, 1);
    EXPECT_TRUE(quitPosted());
}

TEST_F(Timeline, MouseLookRequestIsAFlag) {
    EXPECT_EQ(onKeyHook(77, 1), 1);
    EXPECT_EQ(onKeyHook(77, 0), 77);
    EXPECT_EQ(onKeyHook(77, 1), 1);
    EXPECT_TRUE(sequencer().mouseLookRequest);
    sequencer().mouseLookRequest = false; // one consumer read clears both presses
    EXPECT_FALSE(sequencer().mouseLookRequest);
    EXPECT_EQ(onKeyHook(65, 1), 65);
}

TEST_F(Timeline, FrameRateLineHasSixDecimals) {
    for (int i = 0; i < 60; ++i) {
        displayFrame();
        time.advance(uint32_t((i + 1) * 1000 / 60 - i * 1000 / 60)); // 60 Hz, 1000 ms in all
    }
    platform::DebugCapture capture;
    clientStop();
    const std::string& line = capture.text();
    ASSERT_GT(line.size(), 12u);
    EXPECT_EQ(line.substr(line.size() - 5), " FPS\n");
    size_t dot = line.find('.');
    ASSERT_NE(dot, std::string::npos);
    EXPECT_EQ(line.size() - 5 - dot - 1, 6u);
    EXPECT_NEAR(std::stod(line), 60.0, 0.01);
}

} // namespace
