// A stand-in for a program fed through a pipe (capture's encoder): writes its arguments, one a
// line, then "--", then its whole standard input to the file PIPE_RECORDER_OUT names, and exits
// with the status in PIPE_RECORDER_STATUS (default 0). With PIPE_RECORDER_READ=0 it reads
// nothing and exits at once, as an encoder that fails on start.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    const char* status = std::getenv("PIPE_RECORDER_STATUS");
    const int exitStatus = status != nullptr ? std::atoi(status) : 0;
    const char* read = std::getenv("PIPE_RECORDER_READ");
    if (read != nullptr && std::strcmp(read, "0") == 0) {
        return exitStatus;
    }
    const char* path = std::getenv("PIPE_RECORDER_OUT");
    FILE* out = path != nullptr ? std::fopen(path, "wb") : nullptr;
    if (out == nullptr) {
        std::fprintf(stderr, "pipe_recorder: set PIPE_RECORDER_OUT to a file to write\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::fprintf(out, "%s\n", argv[i]);
    }
    std::fputs("--\n", out);
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        std::fwrite(buffer, 1, n, out);
    }
    return std::fclose(out) == 0 ? exitStatus : 2;
}
