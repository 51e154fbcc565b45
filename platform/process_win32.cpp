// Child processes and the program's own location on Windows: a pipe to a command through the
// C runtime's _popen (binary mode), lookups on PATH through SearchPath.
#include "platform/files.h"
#include "platform/process.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <filesystem>

namespace platform {

bool OutputPipe::open(const std::string& command) {
    close();
    file_ = _popen(command.c_str(), "wb");
    return file_ != nullptr;
}

namespace {
// One argument in double quotes as the C runtime splits command lines: backslashes before a
// quote are doubled, quotes escaped.
std::string quoteArgument(const std::string& s) {
    std::string q = "\"";
    size_t backslashes = 0;
    for (char c : s) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            q.append(backslashes * 2 + 1, '\\');
        } else {
            q.append(backslashes, '\\');
        }
        backslashes = 0;
        q += c;
    }
    q.append(backslashes * 2, '\\');
    return q + "\"";
}
} // namespace

bool OutputPipe::openProgram(const std::string& program,
                             const std::vector<std::string>& arguments) {
    std::string command = quoteArgument(program);
    for (const std::string& a : arguments) {
        command += " " + quoteArgument(a);
    }
    // cmd /c drops the outermost pair of quotes of a line that holds more than two.
    return open("\"" + command + "\"");
}

bool OutputPipe::write(const void* data, size_t size) {
    auto* f = static_cast<FILE*>(file_);
    return f != nullptr && std::fwrite(data, 1, size, f) == size;
}

int OutputPipe::close() {
    if (file_ == nullptr) {
        return -1;
    }
    int status = _pclose(static_cast<FILE*>(file_));
    file_ = nullptr;
    return status;
}

bool commandExists(const std::string& name) {
    char found[MAX_PATH];
    return SearchPathA(nullptr, name.c_str(), ".exe", MAX_PATH, found, nullptr) != 0;
}

std::string executableDirectory() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return std::string();
    }
    return std::filesystem::path(std::string(path, n)).parent_path().string();
}

} // namespace platform
