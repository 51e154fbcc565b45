// Debugger output stand-in: lines that the system writes for a debugger go to stderr.
// Tests may attach a sink that receives every write as well; nothing is buffered here.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Writes text exactly as given (no newline added) to stderr and to the sink, if any.
void outputDebugString(const char* text);

// Replaces the sink; pass an empty function to detach. Returns the previous sink.
using DebugSink = std::function<void(const char* text)>;
DebugSink setDebugSink(DebugSink sink);

// When quiet, stderr is not written (the sink still is); for tests and capture progress lines.
void setDebugQuiet(bool quiet);

// Collects everything written while it lives; restores the previous sink on destruction.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    const std::string& text() const { return text_; }
    void clear() { text_.clear(); }

private:
    std::string text_;
    DebugSink previous_;
};

} // namespace platform
