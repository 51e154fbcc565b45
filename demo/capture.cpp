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
#include <string>
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

} // namespace

bool captureIsVideoFile(const std::string& output) {
    return endsWith(output, ".mp4") || endsWith(output, ".mkv");
}

int runCapture(DemoApp* app, const CaptureOptions& options) {
    const int fps = std::clamp(options.fps, 1, 240);
    const uint64_t fromMs = uint64_t(std::llround(std::max(0.0, options.from) * 1000.0));
    const uint64_t toMs = uint64_t(std::llround(std::min(250.0, options.to) * 1000.0));
    if (toMs <= fromMs) {
        std::fprintf(stderr, "capture: nothing to capture between %.3f and %.3f s\n", options.from,
                     options.to);
        return 1;
    }
    const uint64_t total = ((toMs - fromMs) * uint64_t(fps) + 999) / 1000;
    const bool video = captureIsVideoFile(options.output);
    const bool discard = options.output.empty(); // play on virtual time, write nothing

    platform::OutputPipe encoder;
    if (video) {
        if (!platform::commandExists("ffmpeg")) {
            std::fprintf(stderr, "capture: writing %s needs ffmpeg; install it or give a folder\n",
                         options.output.c_str());
            return 1;
        }
        std::string music = platform::resolveDataPath("data/music.mp3");
        char from[32], length[32];
        std::snprintf(from, sizeof from, "%.3f", double(fromMs) / 1000.0);
        std::snprintf(length, sizeof length, "%.3f", double(toMs - fromMs) / 1000.0);
        // In a session of its own the encoder does not see the terminal's Ctrl-C: we finish
        // the file ourselves by closing its input.
        std::vector<std::string> args = {"-loglevel",
                                         "error",
                                         "-y",
                                         "-f",
                                         "rawvideo",
                                         "-pix_fmt",
                                         "bgra",
                                         "-s",
                                         std::to_string(app->width) + "x" +
                                             std::to_string(app->height),
                                         "-r",
                                         std::to_string(fps),
                                         "-i",
                                         "-"};
        if (std::filesystem::exists(music)) {
            args.insert(args.end(),
                        {"-ss", from, "-t", length, "-i", music, "-map", "0:v", "-map", "1:a"});
        }
        args.insert(args.end(),
                    {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p",
                     "-c:a", "aac", "-b:a", "160k", "-shortest", options.output});
        if (!encoder.openProgram("ffmpeg", args)) {
            std::fprintf(stderr, "capture: cannot start ffmpeg\n");
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
    const uint64_t warmStart = uint64_t(std::ceil(partStartFor(double(fromMs) / 1000.0) * 1000.0));
    for (uint64_t n = 0;; ++n) {
        uint64_t ms = warmStart + n * 1000 / uint64_t(fps);
        if (ms >= fromMs) {
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
        uint64_t ms = fromMs + n * 1000 / uint64_t(fps);
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
            std::snprintf(name, sizeof name, "/frame%06llu.png", (unsigned long long)n);
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

    const uint64_t capturedToMs = fromMs + written * 1000 / uint64_t(fps);
    if (video) {
        int status = encoder.close();
        if (status != 0) {
            std::fprintf(stderr, "capture: ffmpeg failed (status %d)\n", status);
            return 1;
        }
    } else if (written > 0 && !discard) {
        writeMusicSpan(options.output, double(fromMs) / 1000.0, double(capturedToMs) / 1000.0);
    }
    if (written > 0) {
        std::fprintf(stderr, "capture: %llu frames (%.3f to %.3f s) in %s%s\n",
                     (unsigned long long)written, double(fromMs) / 1000.0,
                     double(capturedToMs) / 1000.0,
                     discard ? "nowhere (virtual play)" : options.output.c_str(),
                     interrupted ? " (interrupted)" : "");
    }
    return failed || written == 0 ? 1 : 0;
}
