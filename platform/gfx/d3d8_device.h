// The Direct3D 8 device's entry point (Windows build). No Windows headers here.
#pragma once

#include "platform/gfx/gfx.h"

namespace gfx::detail {

// Null with lastError() set (and, when a display is open, a message box) when d3d8.dll is
// missing or Direct3DCreate8 fails.
std::unique_ptr<Direct3D> createD3d8Direct3D();

} // namespace gfx::detail
