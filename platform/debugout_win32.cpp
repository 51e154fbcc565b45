// Debugger output on Windows: every write goes to the debugger (OutputDebugStringA) and, unless
// quiet, to stderr; a sink may watch it as well.
#include "platform/debugout.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <mutex>

namespace platform {

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
    OutputDebugStringA(text);
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
