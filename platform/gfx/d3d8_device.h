// The Direct3D 8 device's entry point (Windows build). No Windows headers here.
#pragma once

#include "platform/gfx/gfx.h"

#include <string>

namespace gfx::detail {

// Null with lastError() set (and, when a display is open, a message box) when d3d8.dll is
// missing or Direct3DCreate8 fails.
std::unique_ptr<Direct3D> createD3d8Direct3D();

// Why Direct3D 8 cannot start: the text of the stderr line and of the message box.
enum class StartFailure {
    NoLibrary,     // d3d8.dll cannot be loaded
    NoDirect3D,    // Direct3DCreate8 missing or failing
    NoDisplayMode, // the desktop's display mode cannot be read
    DeviceRefused, // CreateDevice failed (result code given)
    NoDeviceCaps,  // GetDeviceCaps failed (result code given)
};
std::string startFailureText(StartFailure failure, long result = 0);
// The message box is left out when the environment sets DEMO_NO_MESSAGE_BOX (tests, scripts);
// the line for stderr is kept either way.
bool messageBoxWanted();

// True when this Windows is Wine (ntdll exports wine_get_version): the tests expect Wine's
// few departures from Direct3D 8's rules only there.
bool hostIsWine();

} // namespace gfx::detail
