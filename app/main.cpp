// Entry point: reads the command line, brings the program up through DemoHost with the demo
// client's hooks, runs the message loop (or a capture or frame dump), and lets the host take
// everything down in order.
#include "app/demo_app.h"
#include "demo/capture.h"
#include "demo/playback.h"
#include "demo/sequencer.h"
#include "platform/files.h"
#include "platform/png.h"
#include "platform/process.h"
#include "platform/sound.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "render/demo_host.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct CommandLine {
    bool windowed = false;
    bool headless = false;
    bool nullDevice = false;
    double startSeconds = 0.0;
    bool mute = false;
    bool capture = false;
    CaptureOptions captureOptions;
    std::string dataDirectory;
    std::string dumpLoadingPath;
    bool dumpFrame = false;
    double dumpSeconds = 0.0;
    std::string dumpPath;
    int jobs = std::max(1, int(std::thread::hardware_concurrency()));
};

// Where the Linux build renders without a display (EGL), the Windows build renders in a
// hidden window; --headless itself needs EGL.
#ifdef _WIN32
#define DEMO_OFFSCREEN "in a hidden window"
#define DEMO_HEADLESS_HELP                                                                         \
    "  --headless         Linux only (needs EGL); captures and dumps work here\n"
#else
#define DEMO_OFFSCREEN "headless"
#define DEMO_HEADLESS_HELP "  --headless         render without any display or window\n"
#endif

void printUsage(FILE* out) {
    std::fputs(
        "Usage: demo [OPTIONS]\n"
        "Plays the demo: eight scenes, 250 seconds, full screen 800 x 600.\n"
        "Escape or closing the window quits.\n"
        "\n"
        "Options:\n"
        "  --windowed         play in an 800 x 600 window instead of full screen\n" //
        DEMO_HEADLESS_HELP
        "  --start SECONDS    start the clock and music at this demo time (0 to 250)\n"
        "  --null-device      draw nothing (measures the CPU side only)\n"
        "  --data DIR         read the data pack from DIR (default: data/ beside the\n"
        "                     program, or in the working directory)\n"
        "  --mute             play without sound\n"
        "  --capture OUT      render " DEMO_OFFSCREEN " on virtual time into OUT: a folder\n"
        "                     of PNG frames plus music.wav, or a .mp4/.mkv file (ffmpeg\n"
        "                     on the PATH)\n"
        "  --virtual-play     play " DEMO_OFFSCREEN " on virtual time, every frame, writing\n"
        "                     nothing\n"
        "  --fps N            frame rate of capture, virtual play and frame dumps\n"
        "                     (default 60)\n"
        "  --from S, --to S   capture only demo seconds S to S (default 0 to 250)\n"
        "  --jobs N           capture with N processes, one scene each (default: the\n"
        "                     number of cores; 1 plays the span in one pass)\n"
        "  --piece FIRST COUNT\n"
        "                     capture only frames FIRST to FIRST+COUNT-1 of the span, no\n"
        "                     music (what --jobs runs in each process)\n"
        "  --dump-loading FILE.png\n"
        "                     write the loading picture as presented, then exit\n"
        "  --dump-frame SECONDS FILE.png\n"
        "                     render the frame at that demo time " DEMO_OFFSCREEN " and\n"
        "                     write it as PNG (the scene is played from its start at --fps)\n"
        "  --help             show this help and exit\n",
        out);
}

// Returns -1 to continue, else the exit status.
int parseCommandLine(int argc, char** argv, CommandLine* cl) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (arg == "--windowed") {
            cl->windowed = true;
        } else if (arg == "--headless") {
#ifdef _WIN32
            // Off-screen play needs EGL; frame dumps and captures render in a hidden window.
            std::fprintf(stderr, "demo: --headless is Linux-only; --dump-frame and --capture "
                                 "work here\n");
            return 2;
#else
            cl->headless = true;
#endif
        } else if (arg == "--null-device") {
            cl->nullDevice = true;
        } else if (arg == "--mute") {
            cl->mute = true;
        } else if (arg == "--data" || arg == "--dump-loading") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "demo: %s needs a path\n", arg.c_str());
                return 2;
            }
            (arg == "--data" ? cl->dataDirectory : cl->dumpLoadingPath) = argv[++i];
            if (arg == "--dump-loading") {
                cl->headless = true;
            }
        } else if (arg == "--capture") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "demo: --capture needs a folder or a .mp4/.mkv file\n");
                return 2;
            }
            cl->capture = true;
            cl->headless = true;
            cl->captureOptions.output = argv[++i];
        } else if (arg == "--virtual-play") {
            cl->capture = true;
            cl->headless = true;
            cl->captureOptions.output.clear();
        } else if (arg == "--fps" || arg == "--from" || arg == "--to") {
            char* end = nullptr;
            double value = i + 1 < argc ? std::strtod(argv[i + 1], &end) : -1.0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || !(value >= 0.0) ||
                value > 1e6 || (arg == "--fps" && (value < 1 || value > 240))) {
                std::fprintf(stderr, "demo: %s needs a number%s\n", arg.c_str(),
                             arg == "--fps" ? " from 1 to 240" : " of seconds");
                return 2;
            }
            ++i;
            if (arg == "--fps") {
                cl->captureOptions.fps = int(value);
            } else {
                (arg == "--from" ? cl->captureOptions.from : cl->captureOptions.to) = value;
            }
        } else if (arg == "--jobs" || arg == "--piece") {
            const int count = arg == "--jobs" ? 1 : 2;
            unsigned long long values[2] = {0, 0};
            for (int k = 0; k < count; ++k) {
                char* end = nullptr;
                const char* text = i + 1 + k < argc ? argv[i + 1 + k] : "";
                values[k] = std::strtoull(text, &end, 10);
                if (end == text || *end != '\0' || text[0] == '-' || values[k] > 1000000) {
                    std::fprintf(stderr, "demo: %s needs %s\n", arg.c_str(),
                                 count == 1 ? "a number of processes from 1"
                                            : "a first frame and a frame count");
                    return 2;
                }
            }
            i += count;
            if (arg == "--jobs") {
                if (values[0] < 1 || values[0] > 256) {
                    std::fprintf(stderr, "demo: --jobs takes 1 to 256 processes\n");
                    return 2;
                }
                cl->jobs = int(values[0]);
            } else {
                cl->captureOptions.piece = true;
                cl->captureOptions.firstFrame = values[0];
                cl->captureOptions.frameCount = values[1];
            }
        } else if (arg == "--start") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "demo: --start needs a number of seconds\n");
                return 2;
            }
            char* end = nullptr;
            double value = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(value >= 0.0) || value > 1e6) {
                std::fprintf(stderr, "demo: --start takes seconds from 0, not '%s'\n", argv[i]);
                return 2;
            }
            cl->startSeconds = value;
        } else if (arg == "--dump-frame") {
            if (i + 2 >= argc) {
                std::fprintf(stderr, "demo: --dump-frame needs SECONDS and FILE.png\n");
                return 2;
            }
            char* end = nullptr;
            double value = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(value >= 0.0) || value >= 250.0) {
                std::fprintf(stderr, "demo: --dump-frame takes seconds from 0 to 250, not '%s'\n",
                             argv[i]);
                return 2;
            }
            cl->dumpFrame = true;
            cl->headless = true;
            cl->dumpSeconds = value;
            cl->dumpPath = argv[++i];
        } else {
            std::fprintf(stderr, "demo: unknown option '%s' (try --help)\n", argv[i]);
            return 2;
        }
    }
    return -1;
}

std::string dumpPath;
bool dumpWritten = false;

void writeDump() {
    uint32_t width = 0, height = 0;
    std::string pixels;
    std::string error = "the device could not read the frame back";
    dumpWritten = gApp->device->readBackBuffer(&width, &height, &pixels) >= 0 &&
                  platform::writePngBgra(dumpPath, reinterpret_cast<const uint8_t*>(pixels.data()),
                                         width, height, &error);
    if (!dumpWritten) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
    }
}

// Plays the scene that holds `seconds` from its start at 60 frames per second of virtual
// time, so that scenes with state look as in a real run, and writes the last frame.
void writeLoadingDump() {
    writeDump();
}

int dumpFrame(DemoApp* app, double seconds, const std::string& path, int fps) {
    dumpPath = path;
    dumpWritten = false;
    playSceneTo(app, seconds, writeDump, fps);
    if (dumpWritten) {
        std::fprintf(stderr, "demo: wrote %s (%.3f s)\n", path.c_str(), seconds);
    }
    return dumpWritten ? 0 : 1;
}

void runMessageLoop(DemoApp* app, double startSeconds) {
    app->startClock();
    if (startSeconds > 0.0) {
        setClock(app, sequencer().startMs);
    }
    gRunning = true;
    platform::Message message;
    while (platform::getMessage(&message)) {
        platform::translateMessage(&message);
        platform::dispatchMessage(&message);
    }
    gRunning = false;
}

} // namespace

int main(int argc, char** argv) {
    CommandLine cl;
    int status = parseCommandLine(argc, argv, &cl);
    if (status >= 0) {
        return status;
    }

    // A capture of several scenes on several cores: one process per scene, this one joins.
    if (cl.capture && !cl.captureOptions.output.empty() && !cl.captureOptions.piece &&
        cl.jobs > 1 && capturePieces(cl.captureOptions).size() > 1) {
        platform::installInterruptHandler();
        std::vector<std::string> pieceArgs;
        if (!cl.dataDirectory.empty()) {
            platform::setDataDirectory(cl.dataDirectory);
            pieceArgs = {"--data", cl.dataDirectory};
        }
        if (cl.nullDevice) {
            pieceArgs.push_back("--null-device");
        }
        return runParallelCapture(platform::executablePath(), pieceArgs, cl.captureOptions,
                                  cl.jobs);
    }

    if (!cl.dataDirectory.empty()) {
        platform::setDataDirectory(cl.dataDirectory);
    }
    // Headless runs are silent: nobody is there to listen and no device may exist.
    platform::setSoundMuted(cl.mute || cl.headless);
    if (!cl.dumpLoadingPath.empty()) {
        dumpPath = cl.dumpLoadingPath;
        setLoadingShownHook(writeLoadingDump);
    }

    HostOptions options;
    options.display = cl.headless   ? platform::DisplayMode::Headless
                      : cl.windowed ? platform::DisplayMode::Windowed
                                    : platform::DisplayMode::FullScreen;
    options.launch.windowed = cl.windowed;
    options.launch.headless = cl.headless;
    options.launch.backend = cl.nullDevice ? gfx::Backend::Null
                             : cl.headless ? gfx::Backend::GlHeadless
                                           : gfx::Backend::GlWindow;
    options.client = ClientHooks{clientInitialize, clientStart, clientStop, clientCleanup};
    options.interruptible = true;
    // The clock and the music start there; the client's start reads it.
    sequencer().startMs = cl.dumpFrame ? 0 : uint64_t(cl.startSeconds * 1000.0);
    DemoHost host(options);
    switch (host.failedAt()) {
    case DemoHost::Step::Display:
#ifdef _WIN32
        std::fprintf(stderr, "demo: no display available (%s)\n", host.error().c_str());
#else
        std::fprintf(stderr,
                     "demo: no display available (%s); use --headless to render without one\n",
                     host.error().c_str());
#endif
        return 1;
    case DemoHost::Step::Initialize:
        if (!host.error().empty()) {
            std::fprintf(stderr, "demo: %s\n", host.error().c_str());
        }
        return 1;
    case DemoHost::Step::None:
        break;
    default:
        return 1;
    }
    DemoApp* app = host.app();

    int exitCode = 0;
    if (!cl.dumpLoadingPath.empty()) {
        exitCode = dumpWritten ? 0 : 1;
        if (dumpWritten) {
            std::fprintf(stderr, "demo: wrote %s\n", cl.dumpLoadingPath.c_str());
        }
    } else if (cl.capture) {
        exitCode = runCapture(app, cl.captureOptions);
    } else if (cl.dumpFrame) {
        exitCode = dumpFrame(app, cl.dumpSeconds, cl.dumpPath, cl.captureOptions.fps);
    } else {
        runMessageLoop(app, cl.startSeconds);
    }
    return exitCode; // the host takes everything down in order
}
