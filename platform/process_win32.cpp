// Child processes and the program's own location on Windows: a program fed through a pipe
// (CreatePipe and CreateProcess, no shell between, so arguments arrive as given), programs run
// with their output in a file, lookups on PATH through SearchPath.
#include "platform/files.h"
#include "platform/process.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <map>

namespace platform {

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

// Starts the command line (its program found as CreateProcess finds one: beside us, in the
// system folders, on PATH) with its standard input on the read end of a new pipe, in a
// process group of its own. Sets the write end as a binary C stream, and the process handle,
// only when both exist.
bool startFed(std::string line, void*& file, void*& process) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 20)) {
        return false;
    }
    // Only the child's end is inherited: a child holding our end too would never see the end
    // of its input.
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                       nullptr, nullptr, &startup, &info);
    CloseHandle(readEnd);
    if (!started) {
        CloseHandle(writeEnd);
        return false;
    }
    CloseHandle(info.hThread);
    const int fd = _open_osfhandle(intptr_t(writeEnd), _O_WRONLY | _O_BINARY);
    FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (stream == nullptr) {
        // Without a stream the child would wait for input forever: end it.
        if (fd < 0) {
            CloseHandle(writeEnd);
        } else {
            _close(fd);
        }
        TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
        return false;
    }
    file = stream;
    process = info.hProcess;
    return true;
}
} // namespace

bool OutputPipe::open(const std::string& command) {
    close();
    const char* shell = std::getenv("ComSpec");
    // cmd /c drops the outermost pair of quotes of a line that holds more than two.
    std::string line =
        quoteArgument(shell != nullptr ? shell : "cmd.exe") + " /c \"" + command + "\"";
    return startFed(std::move(line), file_, process_);
}

bool OutputPipe::openProgram(const std::string& program,
                             const std::vector<std::string>& arguments) {
    close();
    std::string line = quoteArgument(program);
    for (const std::string& a : arguments) {
        line += " " + quoteArgument(a);
    }
    return startFed(std::move(line), file_, process_);
}

bool OutputPipe::write(const void* data, size_t size) {
    auto* f = static_cast<FILE*>(file_);
    return f != nullptr && std::fwrite(data, 1, size, f) == size;
}

int OutputPipe::close() {
    if (file_ == nullptr) {
        return -1;
    }
    // The end of its input lets the program finish; then its exit status.
    std::fclose(static_cast<FILE*>(file_));
    file_ = nullptr;
    auto process = static_cast<HANDLE>(process_);
    process_ = nullptr;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process, &code)) {
        code = DWORD(-1);
    }
    CloseHandle(process);
    return int(code);
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
