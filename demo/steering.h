// Interactive camera steering: keys and, while mouse look is on, the mouse become the inputs
// of a CameraMover once per frame, before the part calls its move. M toggles mouse look.
#pragma once

struct CameraMover;

// Mover flag bits that belong to the steering.
constexpr int kMoverMouseLook = 1 << 3;
constexpr int kMoverIgnoreNextMouse = 1 << 4;

void steerCamera(CameraMover* mover, float deltaTime);
