#include "platform/process.h"
#include "platform/files.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>

extern char** environ;

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

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& outputPath,
                         std::string* error) {
    wait();
    if (argv.empty()) {
        *error = "no program";
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        *error = argv[0] + ": " + std::strerror(rc);
        return false;
    }
    pid_ = int(pid);
    status_ = -1;
    return true;
}

bool ChildProcess::finished(int* status) {
    if (pid_ <= 0) {
        *status = status_;
        return true;
    }
    int raw = 0;
    pid_t r = waitpid(pid_, &raw, WNOHANG);
    if (r == 0 || (r < 0 && errno == EINTR)) {
        return false;
    }
    status_ = r > 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    pid_ = -1;
    *status = status_;
    return true;
}

int ChildProcess::wait() {
    if (pid_ > 0) {
        int raw = 0;
        pid_t r;
        do {
            r = waitpid(pid_, &raw, 0);
        } while (r < 0 && errno == EINTR);
        status_ = r > 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        pid_ = -1;
    }
    return status_;
}

void ChildProcess::interrupt() {
    if (pid_ > 0) {
        kill(pid_, SIGINT);
    }
}

std::string executablePath() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
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
