// The debugger channel on Linux: there is none beside stderr, which the shared part writes.
namespace platform::detail {

void writeToDebugger(const char*) {}

} // namespace platform::detail
