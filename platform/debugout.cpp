// Debugger output: every write goes to the platform's debugger channel and, unless quiet, to
// stderr; a sink may watch it as well. Shared by both platforms.
#include "platform/debugout.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace detail {
// The platform's own debugger channel (debugout_posix.cpp, debugout_win32.cpp).
void writeToDebugger(const char* text);
} // namespace detail

namespace {
std::mutex sinkMutex;
DebugSink currentSink;
bool quietOutput = false;
} // namespace

void outputDebugString(const char* text) {
    if (text == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(sinkMutex);
    detail::writeToDebugger(text);
    if (!quietOutput) {
        std::fputs(text, stderr);
    }
    if (currentSink) {
        currentSink(text);
    }
}

DebugSink setDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    DebugSink previous = std::move(currentSink);
    currentSink = std::move(sink);
    return previous;
}

void setDebugQuiet(bool quiet) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    quietOutput = quiet;
}

DebugCapture::DebugCapture() {
    previous_ = setDebugSink([this](const char* text) { text_ += text; });
}

DebugCapture::~DebugCapture() {
    setDebugSink(std::move(previous_));
}

} // namespace platform
