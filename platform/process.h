// Child processes: one fed through a pipe (the video encoder of capture), and programs run
// from an argument list with their output in a file (the pieces of a parallel capture).
// Writes never raise SIGPIPE: an encoder that exits early makes write() return false instead.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

class OutputPipe {
public:
    OutputPipe() = default;
    ~OutputPipe() { close(); }
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;

    // Runs the shell command (sh, or cmd on Windows) with its standard input connected to
    // this pipe.
    bool open(const std::string& command);
    // Runs a program found on PATH with these arguments, each passed as one argument whatever
    // it holds (no shell reads them on Windows; on POSIX systems the quoting for sh is done
    // here). The program gets a session (POSIX) or process group (Windows) of its own, so the
    // terminal's Ctrl-C does not reach it. False when it cannot be started (on Windows; a
    // POSIX shell reports a missing program as exit status 127 from close()).
    bool openProgram(const std::string& program, const std::vector<std::string>& arguments);
    bool write(const void* data, size_t size);
    // Closes the pipe and waits; returns the command's exit status (-1 if not open).
    int close();
    bool isOpen() const { return file_ != nullptr; }

private:
    void* file_ = nullptr;
    void* process_ = nullptr; // Windows: the child's process handle (pclose finds it itself)
};

// A program started from an argument list (no shell), its standard output and error
// written to a file. The destructor waits for it.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { wait(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // argv[0] is the program's path. False, with the reason in *error, when it cannot start.
    bool start(const std::vector<std::string>& argv, const std::string& outputPath,
               std::string* error);
    // True once the program has ended; its exit status (-1 when killed by a signal) in *status.
    bool finished(int* status);
    // Waits for the end; the exit status, or -1 (not started, or killed by a signal).
    int wait();
    // Asks the program to stop as Ctrl-C would.
    void interrupt();
    bool running() const { return pid_ > 0; }

private:
    int pid_ = -1;
    int status_ = -1;
};

// The running program's own path (empty when unknown).
std::string executablePath();

// True when the program can be found on PATH.
bool commandExists(const std::string& name);

// True once Ctrl-C or SIGTERM arrived (after installInterruptHandler).
bool interruptRequested();

} // namespace platform
