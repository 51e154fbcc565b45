// Diagnostic messages of the decoder: printed to stdout unless quiet, always counted.
// Messages never stop decoding; they only report what was skipped or repaired.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace mpeg {

class Diagnostics {
public:
    bool quiet = true;
    int count = 0;

#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    message(const char* fmt, ...) {
        ++count;
        if (quiet)
            return;
        va_list args;
        va_start(args, fmt);
        std::vprintf(fmt, args);
        va_end(args);
    }
};

} // namespace mpeg
