// Child processes and the program's own location on Windows: a pipe to a command through the
// C runtime's _popen (binary mode), lookups on PATH through SearchPath.
#include "platform/files.h"
#include "platform/process.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <map>

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

namespace {
// Open handles of started children by process id (the handle keeps the id from being reused).
std::map<int, HANDLE>& children() {
    static std::map<int, HANDLE> table;
    return table;
}
} // namespace

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& outputPath,
                         std::string* error) {
    wait();
    if (argv.empty()) {
        *error = "no program";
        return false;
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        *error = "cannot write " + outputPath;
        return false;
    }
    std::string line = quoteArgument(argv[0]);
    for (size_t i = 1; i < argv.size(); ++i) {
        line += " " + quoteArgument(argv[i]);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION info{};
    // A process group of its own, so that interrupt() reaches it and nothing else.
    BOOL ok = CreateProcessA(argv[0].c_str(), line.data(), nullptr, nullptr, TRUE,
                             CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info);
    CloseHandle(out);
    if (!ok) {
        *error = argv[0] + ": cannot start (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(info.hThread);
    pid_ = int(info.dwProcessId);
    children()[pid_] = info.hProcess;
    status_ = -1;
    return true;
}

bool ChildProcess::finished(int* status) {
    if (pid_ <= 0) {
        *status = status_;
        return true;
    }
    HANDLE process = children()[pid_];
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        return false;
    }
    wait();
    *status = status_;
    return true;
}

int ChildProcess::wait() {
    if (pid_ > 0) {
        auto it = children().find(pid_);
        if (it != children().end()) {
            WaitForSingleObject(it->second, INFINITE);
            DWORD code = DWORD(-1);
            GetExitCodeProcess(it->second, &code);
            status_ = int(code);
            CloseHandle(it->second);
            children().erase(it);
        }
        pid_ = -1;
    }
    return status_;
}

void ChildProcess::interrupt() {
    if (pid_ > 0) {
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, DWORD(pid_));
    }
}

std::string executablePath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
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
