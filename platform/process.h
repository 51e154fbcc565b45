// A child process fed through a pipe (the video encoder of capture). Writes never raise
// SIGPIPE: an encoder that exits early makes write() return false instead.
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

    // Runs the shell command with its standard input connected to this pipe.
    bool open(const std::string& command);
    // Runs a program found on PATH with these arguments, each passed as one argument whatever
    // it holds (the quoting for the system's shell is done here). Where the system has
    // sessions, the program gets its own, so the terminal's Ctrl-C does not reach it.
    bool openProgram(const std::string& program, const std::vector<std::string>& arguments);
    bool write(const void* data, size_t size);
    // Closes the pipe and waits; returns the command's exit status (-1 if not open).
    int close();
    bool isOpen() const { return file_ != nullptr; }

private:
    void* file_ = nullptr;
};

// True when the program can be found on PATH.
bool commandExists(const std::string& name);

// True once Ctrl-C or SIGTERM arrived (after installInterruptHandler).
bool interruptRequested();

} // namespace platform
