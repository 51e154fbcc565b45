#include "demo/capture.h"

#include "app/demo_app.h"
#include "demo/playback.h"
#include "demo/sequencer.h"
#include "platform/files.h"
#include "platform/png.h"
#include "platform/process.h"
#include "platform/sound.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kMusicRate = 44100;

struct Grab {
    std::string pixels;
    uint32_t width = 0, height = 0;
    bool ok = false;
};
Grab grab;

void grabFrame() {
    grab.ok = gApp->device->readBackBuffer(&grab.width, &grab.height, &grab.pixels) >= 0;
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A name in ffmpeg's concat list, in single quotes (a quote inside closes them, is escaped
// and reopens them).
std::string listQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

bool writeWav(const std::string& path, const int16_t* samples, size_t count) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    uint32_t bytes = uint32_t(count * 2);
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(kMusicRate);
    u32(kMusicRate * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(bytes);
    std::fwrite(samples, 2, count, f);
    return std::fclose(f) == 0;
}

// The music between two demo times as a WAV beside the frames.
void writeMusicSpan(const std::string& folder, double from, double to) {
    std::vector<int16_t> pcm;
    std::string music = platform::resolveDataPath("data/music.mp3");
    if (!platform::soundDecodeFile(music.c_str(), kMusicRate, &pcm)) {
        std::fprintf(stderr, "capture: no music written (%s)\n", platform::soundError().c_str());
        return;
    }
    size_t first = std::min(pcm.size(), size_t(from * kMusicRate) * 2);
    size_t last = std::min(pcm.size(), size_t(to * kMusicRate) * 2);
    std::string path = folder + "/music.wav";
    if (writeWav(path, pcm.data() + first, last - first)) {
        std::fprintf(stderr, "capture: music in %s\n", path.c_str());
    }
}

std::string clockText(double seconds) {
    int s = int(std::lround(std::max(0.0, seconds)));
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", s / 60, s % 60);
    return text;
}

// The frame grid of a capture: frame n at fromMs + n * 1000 / fps, n < total.
struct Span {
    int fps = 60;
    uint64_t fromMs = 0, toMs = 0, total = 0;
    uint64_t msOf(uint64_t n) const { return fromMs + n * 1000 / uint64_t(fps); }
};

Span spanOf(const CaptureOptions& options) {
    Span span;
    span.fps = std::clamp(options.fps, 1, 240);
    span.fromMs = uint64_t(std::llround(std::max(0.0, options.from) * 1000.0));
    span.toMs = uint64_t(std::llround(std::min(250.0, options.to) * 1000.0));
    if (span.toMs > span.fromMs) {
        span.total = ((span.toMs - span.fromMs) * uint64_t(span.fps) + 999) / 1000;
    }
    return span;
}

std::string secondsText(uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", double(ms) / 1000.0);
    return text;
}

// The encoder options of every video the capture writes, so pieces join without re-encoding.
const std::vector<std::string> kVideoCodec = {"-c:v", "libx264", "-preset",  "veryfast",
                                              "-crf", "18",      "-pix_fmt", "yuv420p"};

// The encoder, found on PATH; it gets its arguments one by one, no shell between.
#ifdef _WIN32
constexpr const char* kEncoder = "ffmpeg.exe";
#else
constexpr const char* kEncoder = "ffmpeg";
#endif

bool encoderMissing(const std::string& output) {
    if (platform::commandExists("ffmpeg")) {
        return false;
    }
    std::fprintf(stderr, "capture: writing %s needs %s on the PATH; install it or give a folder\n",
                 output.c_str(), kEncoder);
    return true;
}

void append(std::vector<std::string>* to, const std::vector<std::string>& more) {
    to->insert(to->end(), more.begin(), more.end());
}

} // namespace

std::vector<CapturePiece> capturePieces(const CaptureOptions& options) {
    const Span span = spanOf(options);
    std::vector<CapturePiece> pieces;
    double sceneStart = -1.0;
    for (uint64_t n = 0; n < span.total; ++n) {
        const double seconds = double(span.msOf(n)) / 1000.0;
        const double start = partStartFor(seconds);
        if (pieces.empty() || start != sceneStart) {
            pieces.push_back({n, 0, seconds});
            sceneStart = start;
        }
        ++pieces.back().count;
    }
    return pieces;
}

bool captureIsVideoFile(const std::string& output) {
    return endsWith(output, ".mp4") || endsWith(output, ".mkv");
}

int runCapture(DemoApp* app, const CaptureOptions& options) {
    const Span span = spanOf(options);
    const int fps = span.fps;
    const uint64_t fromMs = span.fromMs;
    if (span.total == 0) {
        std::fprintf(stderr, "capture: nothing to capture between %.3f and %.3f s\n", options.from,
                     options.to);
        return 1;
    }
    // The frames of the span this run renders: all, or one piece of a parallel capture.
    const uint64_t first = options.piece ? std::min(options.firstFrame, span.total) : 0;
    const uint64_t end =
        options.piece ? std::min(span.total, first + options.frameCount) : span.total;
    const uint64_t total = end - first;
    if (total == 0) {
        std::fprintf(stderr, "capture: the piece holds no frame of the span\n");
        return 1;
    }
    const bool video = captureIsVideoFile(options.output);
    const bool discard = options.output.empty(); // play on virtual time, write nothing

    platform::OutputPipe encoder;
    if (video) {
        if (encoderMissing(options.output)) {
            return 1;
        }
        const std::string music = platform::resolveDataPath("data/music.mp3");
        const std::string size = std::to_string(app->width) + "x" + std::to_string(app->height);
        std::vector<std::string> arguments = {"-loglevel",         "error", "-y", "-f", "rawvideo",
                                              "-pix_fmt",          "bgra",  "-s", size, "-r",
                                              std::to_string(fps), "-i",    "-"};
        if (!options.piece && std::filesystem::exists(music)) {
            append(&arguments, {"-ss", secondsText(fromMs), "-t", secondsText(span.toMs - fromMs),
                                "-i", music, "-map", "0:v", "-map", "1:a"});
        }
        append(&arguments, kVideoCodec);
        if (!options.piece) {
            append(&arguments, {"-c:a", "aac", "-b:a", "160k", "-shortest"});
        }
        arguments.push_back(options.output);
        // In a session (process group) of its own the encoder does not see the terminal's
        // Ctrl-C: we finish the file ourselves by closing its input.
        if (!encoder.openProgram("ffmpeg", arguments)) {
            std::fprintf(stderr, "capture: cannot start %s\n", kEncoder);
            return 1;
        }
    } else if (!discard) {
        std::error_code ec;
        std::filesystem::create_directories(options.output, ec);
        if (ec) {
            std::fprintf(stderr, "capture: cannot create %s: %s\n", options.output.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }

    VirtualPlayback playback(app);
    // Scenes with state (particles, dominoes, video) are played from their start first.
    const uint64_t firstMs = span.msOf(first);
    const uint64_t warmStart = uint64_t(std::ceil(partStartFor(double(firstMs) / 1000.0) * 1000.0));
    for (uint64_t n = 0;; ++n) {
        uint64_t ms = warmStart + n * 1000 / uint64_t(fps);
        if (ms >= firstMs) {
            break;
        }
        playback.frameAt(ms);
    }

    auto started = std::chrono::steady_clock::now();
    auto lastReport = started;
    uint64_t written = 0;
    bool failed = false, interrupted = false;
    auto report = [&] {
        auto now = std::chrono::steady_clock::now();
        if (now - lastReport > std::chrono::milliseconds(500) || written == total) {
            lastReport = now;
            double elapsed = std::chrono::duration<double>(now - started).count();
            double rate = elapsed > 0 ? double(written) / elapsed : 0.0;
            double left = rate > 0 ? double(total - written) / rate : 0.0;
            std::fprintf(stderr, "\rcapture: frame %llu/%llu, %.1f frames/s, %s left   ",
                         (unsigned long long)written, (unsigned long long)total, rate,
                         clockText(left).c_str());
        }
    };
    for (uint64_t n = 0; n < total; ++n) {
        if (platform::interruptRequested()) {
            interrupted = true;
            break;
        }
        uint64_t ms = span.msOf(first + n);
        if (discard) {
            playback.frameAt(ms);
            ++written;
            report();
            continue;
        }
        grab.ok = false;
        playback.frameAt(ms, grabFrame);
        if (!grab.ok) {
            std::fprintf(stderr, "\ncapture: the frame at %.3f s could not be read back\n",
                         double(ms) / 1000.0);
            failed = true;
            break;
        }
        if (video) {
            if (!encoder.write(grab.pixels.data(), grab.pixels.size())) {
                std::fprintf(stderr, "\ncapture: ffmpeg stopped taking frames\n");
                failed = true;
                break;
            }
        } else {
            char name[32];
            std::snprintf(name, sizeof name, "/frame%06llu.png", (unsigned long long)(first + n));
            std::string error;
            if (!platform::writePngBgra(options.output + name,
                                        reinterpret_cast<const uint8_t*>(grab.pixels.data()),
                                        grab.width, grab.height, &error)) {
                std::fprintf(stderr, "\ncapture: %s\n", error.c_str());
                failed = true;
                break;
            }
        }
        ++written;
        report();
    }
    std::fprintf(stderr, "\n");

    const uint64_t capturedFromMs = span.msOf(first);
    const uint64_t capturedToMs = span.msOf(first + written);
    if (video) {
        int status = encoder.close();
        if (status != 0) {
            std::fprintf(stderr, "capture: ffmpeg failed (status %d)\n", status);
            return 1;
        }
    } else if (written > 0 && !discard && !options.piece) {
        writeMusicSpan(options.output, double(fromMs) / 1000.0, double(capturedToMs) / 1000.0);
    }
    if (written > 0) {
        std::fprintf(stderr, "capture: %llu frames (%.3f to %.3f s) in %s%s\n",
                     (unsigned long long)written, double(capturedFromMs) / 1000.0,
                     double(capturedToMs) / 1000.0,
                     discard ? "nowhere (virtual play)" : options.output.c_str(),
                     interrupted ? " (interrupted)" : "");
    }
    return failed || written == 0 ? 1 : 0;
}

int runParallelCapture(const std::string& program, const std::vector<std::string>& pieceArgs,
                       const CaptureOptions& options, int jobs) {
    const Span span = spanOf(options);
    const std::vector<CapturePiece> pieces = capturePieces(options);
    if (pieces.empty()) {
        std::fprintf(stderr, "capture: nothing to capture between %.3f and %.3f s\n", options.from,
                     options.to);
        return 1;
    }
    const bool video = captureIsVideoFile(options.output);
    if (video && encoderMissing(options.output)) {
        return 1;
    }
    // Folder frames go straight into the output folder under their span index; videos are
    // written as pieces beside the output file and joined without re-encoding.
    const std::string pieceDir = video ? options.output + ".pieces" : options.output;
    std::error_code ec;
    std::filesystem::create_directories(pieceDir, ec);
    if (ec) {
        std::fprintf(stderr, "capture: cannot create %s: %s\n", pieceDir.c_str(),
                     ec.message().c_str());
        return 1;
    }
    auto pieceName = [&](size_t k, const char* suffix) {
        char name[32];
        std::snprintf(name, sizeof name, "/piece%02zu%s", k, suffix);
        return pieceDir + name;
    };

    jobs = std::clamp(jobs, 1, int(pieces.size()));
    std::fprintf(stderr, "capture: %zu pieces, %d at a time\n", pieces.size(), jobs);
    // Per piece: -2 not started, -3 stopped by an interrupt, else the exit status.
    std::vector<int> status(pieces.size(), -2);
    struct Running {
        size_t index;
        std::unique_ptr<platform::ChildProcess> process;
        std::chrono::steady_clock::time_point started;
    };
    std::vector<Running> running;
    size_t next = 0;
    bool stopping = false;
    const auto started = std::chrono::steady_clock::now();
    for (;;) {
        if (!stopping && platform::interruptRequested()) {
            stopping = true;
            for (Running& r : running) {
                r.process->interrupt();
                status[r.index] = -3;
            }
        }
        while (!stopping && running.size() < size_t(jobs) && next < pieces.size()) {
            const CapturePiece& p = pieces[next];
            std::vector<std::string> argv = {program,
                                             "--capture",
                                             video ? pieceName(next, ".mkv") : options.output,
                                             "--fps",
                                             std::to_string(span.fps),
                                             "--from",
                                             secondsText(span.fromMs),
                                             "--to",
                                             secondsText(span.toMs),
                                             "--piece",
                                             std::to_string(p.first),
                                             std::to_string(p.count)};
            argv.insert(argv.end(), pieceArgs.begin(), pieceArgs.end());
            auto process = std::make_unique<platform::ChildProcess>();
            std::string error;
            if (!process->start(argv, pieceName(next, ".log"), &error)) {
                std::fprintf(stderr, "capture: cannot start a piece: %s\n", error.c_str());
                status[next] = 1;
                stopping = true;
                break;
            }
            running.push_back({next, std::move(process), std::chrono::steady_clock::now()});
            ++next;
        }
        if (running.empty()) {
            break;
        }
        for (size_t i = 0; i < running.size();) {
            int exit = 0;
            if (!running[i].process->finished(&exit)) {
                ++i;
                continue;
            }
            const size_t k = running[i].index;
            const CapturePiece& p = pieces[k];
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - running[i].started)
                    .count();
            if (status[k] != -3) {
                status[k] = exit;
            }
            if (status[k] == 0) {
                std::fprintf(stderr, "capture: piece %zu/%zu (%.3f s, %llu frames) in %.1f s\n",
                             k + 1, pieces.size(), p.start, (unsigned long long)p.count, seconds);
                std::filesystem::remove(pieceName(k, ".log"), ec);
            } else if (status[k] != -3) {
                std::fprintf(stderr,
                             "capture: piece %zu/%zu (%.3f s) failed; its output is in %s\n", k + 1,
                             pieces.size(), p.start, pieceName(k, ".log").c_str());
                stopping = true;
            }
            running.erase(running.begin() + std::ptrdiff_t(i));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    // The pieces that finished, in order, up to the first that did not.
    size_t joined = 0;
    uint64_t frames = 0;
    while (joined < pieces.size() && status[joined] == 0) {
        frames += pieces[joined].count;
        ++joined;
    }
    if (joined == 0) {
        std::fprintf(stderr, "capture: no piece finished\n");
        return 1;
    }
    const uint64_t capturedToMs = span.msOf(frames);
    if (video) {
        const std::string list = pieceDir + "/join.txt";
        FILE* f = std::fopen(list.c_str(), "w");
        if (f == nullptr) {
            std::fprintf(stderr, "capture: cannot write %s\n", list.c_str());
            return 1;
        }
        // Names in the list are taken relative to the list's own folder.
        for (size_t k = 0; k < joined; ++k) {
            const std::string name =
                std::filesystem::path(pieceName(k, ".mkv")).filename().string();
            std::fprintf(f, "file %s\n", listQuote(name).c_str());
        }
        std::fclose(f);
        std::vector<std::string> arguments = {"-loglevel", "error", "-y", "-f", "concat",
                                              "-safe",     "0",     "-i", list};
        const std::string music = platform::resolveDataPath("data/music.mp3");
        if (std::filesystem::exists(music)) {
            append(&arguments, {"-ss", secondsText(span.fromMs), "-t",
                                secondsText(capturedToMs - span.fromMs), "-i", music, "-map", "0:v",
                                "-map", "1:a", "-c:a", "aac", "-b:a", "160k", "-shortest"});
        }
        append(&arguments, {"-c:v", "copy", options.output});
        platform::OutputPipe joiner;
        const int joinStatus = joiner.openProgram("ffmpeg", arguments) ? joiner.close() : -1;
        if (joinStatus != 0) {
            std::fprintf(stderr,
                         "capture: ffmpeg could not join the pieces (status %d); they are "
                         "in %s\n",
                         joinStatus, pieceDir.c_str());
            return 1;
        }
        std::filesystem::remove_all(pieceDir, ec);
    } else {
        writeMusicSpan(options.output, double(span.fromMs) / 1000.0, double(capturedToMs) / 1000.0);
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "capture: %llu frames (%.3f to %.3f s) in %s, %zu pieces in %.1f s%s\n",
                 (unsigned long long)frames, double(span.fromMs) / 1000.0,
                 double(capturedToMs) / 1000.0, options.output.c_str(), joined, elapsed,
                 joined < pieces.size() ? " (not all pieces finished)" : "");
    // Complete, or cut short by Ctrl-C with what was finished joined: success, as one pass.
    return joined == pieces.size() || platform::interruptRequested() ? 0 : 1;
}
