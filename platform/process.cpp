#include "platform/process.h"
#include "platform/files.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <system_error>

namespace platform {

bool OutputPipe::open(const std::string& command) {
    close();
    std::signal(SIGPIPE, SIG_IGN);
    file_ = popen(command.c_str(), "w");
    return file_ != nullptr;
}

namespace {
std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}
} // namespace

bool OutputPipe::openProgram(const std::string& program,
                             const std::vector<std::string>& arguments) {
    std::string command = commandExists("setsid") ? "exec setsid " : "exec ";
    command += shellQuote(program);
    for (const std::string& a : arguments) {
        command += " " + shellQuote(a);
    }
    return open(command);
}

bool OutputPipe::write(const void* data, size_t size) {
    auto* f = static_cast<FILE*>(file_);
    return f != nullptr && std::fwrite(data, 1, size, f) == size;
}

int OutputPipe::close() {
    if (file_ == nullptr) {
        return -1;
    }
    int status = pclose(static_cast<FILE*>(file_));
    file_ = nullptr;
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool commandExists(const std::string& name) {
    std::string probe = "command -v '" + name + "' >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

std::string executableDirectory() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

} // namespace platform
