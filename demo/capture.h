// Capture: the demo played on virtual time, exactly 1000 / fps ms a frame, every frame
// rendered however long it takes, written as numbered PNG frames plus the music as a WAV
// cut to the captured span, or piped to ffmpeg as one video file with the music muxed in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DemoApp;

struct CaptureOptions {
    std::string output; // a folder, a file ending in .mp4 or .mkv, or empty: write nothing
    int fps = 60;
    double from = 0.0; // seconds of demo time
    double to = 250.0;
    // A piece of a parallel capture: only frames firstFrame .. firstFrame + frameCount - 1 of
    // the span, folder frames named by their index in the whole span, and no music (the
    // process that started the pieces joins them and adds it).
    bool piece = false;
    uint64_t firstFrame = 0;
    uint64_t frameCount = 0;
};

// A run of consecutive frames of the span that lie in one scene.
struct CapturePiece {
    uint64_t first = 0; // index in the span: frame n is at from + n * 1000 / fps ms
    uint64_t count = 0;
    double start = 0.0; // demo seconds of the first frame
};
// The span's frames split where scenes start, in order; empty for an empty span.
std::vector<CapturePiece> capturePieces(const CaptureOptions& options);

// Returns the exit status: 0 when the capture was written (also when interrupted, with
// what was captured so far), 1 on failure.
int runCapture(DemoApp* app, const CaptureOptions& options);

// The span captured by `jobs` processes at once, one piece per scene, each running
// `program` (this demo) with pieceArgs (the data folder and device options) and the piece's
// span; the pieces are joined into options.output with the music. Each piece plays its
// scene from the scene's start, as --start would, not from what the scenes before it left.
// Returns the exit status, as runCapture.
int runParallelCapture(const std::string& program, const std::vector<std::string>& pieceArgs,
                       const CaptureOptions& options, int jobs);

// True for outputs that name a video file rather than a folder.
bool captureIsVideoFile(const std::string& output);
