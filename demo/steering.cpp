#include "demo/steering.h"

#include "app/demo_app.h"
#include "demo/sequencer.h"
#include "scene/camera.h"

#include <cmath>

namespace {

struct KeyEffect {
    int key;
    Vec3 CameraMover::*vector;
    float Vec3::*axis;
    float amount;
};

// Thrust and turn keys (virtual-key codes).
constexpr KeyEffect kKeys[] = {
    {34, &CameraMover::thrust, &Vec3::x, +1},  // Page Down
    {35, &CameraMover::thrust, &Vec3::x, -1},  // End
    {109, &CameraMover::thrust, &Vec3::y, +1}, // numeric-pad minus
    {107, &CameraMover::thrust, &Vec3::y, -1}, // numeric-pad plus
    {65, &CameraMover::thrust, &Vec3::z, +1},  // A
    {90, &CameraMover::thrust, &Vec3::z, -1},  // Z
    {40, &CameraMover::turn, &Vec3::x, -1},    // Down
    {38, &CameraMover::turn, &Vec3::x, +1},    // Up
    {37, &CameraMover::turn, &Vec3::y, -1},    // Left
    {39, &CameraMover::turn, &Vec3::y, +1},    // Right
    {36, &CameraMover::turn, &Vec3::z, +1},    // Home
    {33, &CameraMover::turn, &Vec3::z, -1},    // Page Up
};

constexpr int kFaster = 221; // right bracket
constexpr int kSlower = 219; // left bracket

} // namespace

void steerCamera(CameraMover* mover, float deltaTime) {
    DemoApp* app = gApp;
    SequencerState& s = sequencer();
    mover->thrust = {0, 0, 0};
    mover->drift = {0, 0, 0};
    mover->turn = {0, 0, 0};
    for (const KeyEffect& k : kKeys) {
        if (app->services.isKeyDown(k.key) != 0) {
            (mover->*k.vector).*k.axis += k.amount;
        }
    }
    if (app->services.isKeyDown(kFaster) != 0) {
        mover->speed *= std::exp(2.0f * deltaTime);
    }
    if (app->services.isKeyDown(kSlower) != 0) {
        mover->speed *= std::exp(-2.0f * deltaTime);
    }

    float width = float(app->width), height = float(app->height);
    if ((mover->flags & kMoverMouseLook) != 0) {
        if ((mover->flags & kMoverIgnoreNextMouse) != 0) {
            mover->flags &= ~kMoverIgnoreNextMouse;
        } else {
            mover->drift.x += 0.3f * float(app->mouseDX) / width;
            mover->drift.y += 0.3f * float(-app->mouseDY) / height;
            app->mouseDX = 0;
            app->mouseDY = 0;
        }
        if (s.mouseLookRequest) {
            app->services.setCursor(0, 0, 0);
            mover->flags &= ~kMoverMouseLook;
        }
        if (std::fabs(float(app->mouseX) / width - 0.5f) > 0.2f ||
            std::fabs(float(app->mouseY) / height - 0.5f) > 0.2f) {
            app->services.setCursor(int(app->width / 2), int(app->height / 2), 3);
        }
    } else if (s.mouseLookRequest) {
        // Movement made while mouse look was off must not steer: skip the first delta.
        mover->flags |= kMoverMouseLook | kMoverIgnoreNextMouse;
        app->services.setCursor(int(app->width / 2), int(app->height / 2), 3);
    }
    s.mouseLookRequest = false;
}
