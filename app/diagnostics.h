// Diagnostics: the formatted reporter, the device-result check and the names of the device
// result codes. Lines go to the debugger output (stderr) and, for formatReport, also to
// standard output. None of these functions fails.
#pragma once

#include <cstdint>

// printf-style; does nothing when enabled is 0. The format is cut to 255 characters and the
// result to 1023. No newline is added.
void formatReport(int enabled, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// 0 for a success code (>= 0); otherwise writes "(file:line):NAME\n" and returns 1.
int checkResult(const char* sourceFile, int line, int32_t result);

// The symbolic name of a device result code, cut to size - 1 characters.
void errorName(int32_t result, char* buffer, int size);

#define CHECK_RESULT(expr) checkResult(__FILE__, __LINE__, (expr))

// The demo client's logger: one line through the application's log service, empty prefix.
struct DemoApp;
struct Logger {
    DemoApp* app;
    void report(int level, const char* text) const;
};
