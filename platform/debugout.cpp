#include "platform/debugout.h"

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
