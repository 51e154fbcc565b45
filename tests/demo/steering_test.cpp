#include "demo/sequencer.h"
#include "demo/steering.h"
#include "scene/camera.h"
#include "support/app_fixture.h"

#include <cmath>

namespace {

class Steering : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        gRunning = true;
    }
    void TearDown() override {
        for (int key : {65, 90, 221, 37}) {
            platform::simulateKey(nullptr, key, false);
        }
        sequencer().mouseLookRequest = false;
        AppFixture::TearDown();
    }
    void move(int x, int y) {
        demoWindowProc(app->window, platform::WM_MOUSEMOVE, 0, platform::makeLParam(x, y));
    }
    CameraMover mover;
};

TEST_F(Steering, OppositeKeysCancel) {
    platform::simulateKey(nullptr, 65, true);
    steerCamera(&mover, 0.016f);
    EXPECT_EQ(mover.thrust.z, 1.0f);
    platform::simulateKey(nullptr, 90, true);
    steerCamera(&mover, 0.016f);
    EXPECT_EQ(mover.thrust.z, 0.0f);
    platform::simulateKey(nullptr, 37, true);
    steerCamera(&mover, 0.016f);
    EXPECT_EQ(mover.turn.y, -1.0f);
}

TEST_F(Steering, SpeedKeyIsFrameRateIndependent) {
    platform::simulateKey(nullptr, 221, true);
    for (int fps : {30, 60, 144}) {
        mover.speed = 1;
        for (int i = 0; i < fps; ++i) {
            steerCamera(&mover, 1.0f / float(fps));
        }
        EXPECT_NEAR(mover.speed, std::exp(2.0f), 0.01f) << fps;
    }
}

TEST_F(Steering, MouseLookTogglesOncePerFrame) {
    onKeyHook(77, 1);
    onKeyHook(77, 1); // the second press in the same frame counts once
    steerCamera(&mover, 0.016f);
    EXPECT_NE(mover.flags & kMoverMouseLook, 0);
    EXPECT_EQ(app->mouseX, 400); // centred
    EXPECT_FALSE(sequencer().mouseLookRequest);
    onKeyHook(77, 1);
    steerCamera(&mover, 0.016f);
    EXPECT_EQ(mover.flags & kMoverMouseLook, 0);
}

TEST_F(Steering, MouseMovesDriftOnlyWhileLookIsOn) {
    move(400, 300);
    move(480, 270);
    steerCamera(&mover, 0.016f);
    EXPECT_EQ(mover.drift.x, 0.0f); // look is off
    EXPECT_EQ(mover.drift.y, 0.0f);
    onKeyHook(77, 1);
    steerCamera(&mover, 0.016f); // turns look on; the old movement is not used
    steerCamera(&mover, 0.016f);
    EXPECT_EQ(mover.drift.x, 0.0f);
    move(480, 270); // from the centre: +80, -30
    steerCamera(&mover, 0.016f);
    EXPECT_FLOAT_EQ(mover.drift.x, 0.3f * 80 / 800);
    EXPECT_FLOAT_EQ(mover.drift.y, 0.3f * 30 / 600);
    EXPECT_EQ(app->mouseDX, 0);
}

TEST_F(Steering, StrayCursorIsRecentred) {
    onKeyHook(77, 1);
    steerCamera(&mover, 0.016f);
    move(790, 300); // more than 0.2 of the width from the centre
    steerCamera(&mover, 0.016f);
    EXPECT_EQ(app->mouseX, 400);
    EXPECT_EQ(app->mouseY, 300);
}

} // namespace
