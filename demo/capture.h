// Capture: the demo played on virtual time, exactly 1000 / fps ms a frame, every frame
// rendered however long it takes, written as numbered PNG frames plus the music as a WAV
// cut to the captured span, or piped to ffmpeg as one video file with the music muxed in.
#pragma once

#include <string>

struct DemoApp;

struct CaptureOptions {
    std::string output; // a folder, a file ending in .mp4 or .mkv, or empty: write nothing
    int fps = 60;
    double from = 0.0; // seconds of demo time
    double to = 250.0;
};

// Returns the exit status: 0 when the capture was written (also when interrupted, with
// what was captured so far), 1 on failure.
int runCapture(DemoApp* app, const CaptureOptions& options);

// True for outputs that name a video file rather than a folder.
bool captureIsVideoFile(const std::string& output);
