// The window classes registered by name, shared by both window back ends.
#pragma once

#include "platform/window.h"

namespace platform::detail {

// The procedure registered for the class, or null when there is no such class.
WindowProc findWindowClass(const char* className);

} // namespace platform::detail
