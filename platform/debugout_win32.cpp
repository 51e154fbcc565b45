// The debugger channel on Windows: OutputDebugStringA, what a debugger or DebugView shows.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform::detail {

void writeToDebugger(const char* text) {
    OutputDebugStringA(text);
}

} // namespace platform::detail
