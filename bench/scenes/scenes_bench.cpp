// Figures for the whole demo as it plays: the load (every part, the pictures, the music), then
// every scene frame by frame on virtual time. On the Null device (default) it prints the CPU
// time per frame of each scene, median and 99th percentile, with every frame of the 250 s at
// 60 frames per second; with --gl it renders on headless GL (llvmpipe without a GPU) at
// --fps N frames per second of demo time (default 10, so the run stays in minutes) and prints
// each scene's rendering rate with the CPU time of the whole process per frame (every thread;
// steadier than the rate on a shared machine). Peak memory comes last. Asserts nothing.
// Usage: scenes_bench [--gl] [--fps N] [--only SCENE_NUMBER] [DATA_DIR]
#include "app/demo_app.h"
#include "bench/bench_app.h"
#include "demo/playback.h"
#include "demo/sequencer.h"
#include "platform/sound.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

// Waits for the device to finish what is queued, so wall time covers the rendering.
void finishFrame() {
    uint32_t w = 0, h = 0;
    std::string pixels;
    gApp->device->readBackBuffer(&w, &h, &pixels);
}

} // namespace

int main(int argc, char** argv) {
    bool gl = false;
    int fps = 0;
    int only = 0;
    std::string data;
    const char* help = "usage: scenes_bench [--gl] [--fps N] [--only SCENE_NUMBER] [DATA_DIR]\n"
                       "  --gl        render on headless GL instead of the null device\n"
                       "  --fps N     frames per second of demo time (default 10 with --gl, "
                       "else 60)\n"
                       "  --only N    only scene N, 1 to 8 in playing order\n";
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--gl") == 0) {
            gl = true;
        } else if (std::strcmp(arg, "--fps") == 0 && i + 1 < argc) {
            fps = std::atoi(argv[++i]);
        } else if (std::strcmp(arg, "--only") == 0 && i + 1 < argc) {
            only = std::atoi(argv[++i]);
            if (only < 1 || only > int(partList().size())) {
                std::fprintf(stderr, "scenes_bench: --only takes a scene number, 1 to %zu\n",
                             partList().size());
                return 2;
            }
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::printf("%s", help);
            return 0;
        } else if (arg[0] == '-') {
            std::fprintf(stderr, "scenes_bench: unknown option %s\n%s", arg, help);
            return 2;
        } else {
            data = arg;
        }
    }
    if (fps <= 0) {
        fps = gl ? 10 : 60;
    }
    platform::setSoundMuted(true);
    BenchApp bench("scenes_bench", data, gl ? gfx::Backend::GlHeadless : gfx::Backend::Null);
    if (!bench.ok()) {
        return 1;
    }
    const double loadWall = wallMs();
    const double loadCpu = cpuMs();
    if (clientStart() != 0) {
        std::printf("scenes_bench: loading failed\n");
        return 1;
    }
    std::printf("load: %.0f ms wall, %.0f ms CPU (every part, pictures, music; goal < 1 s)\n",
                wallMs() - loadWall, cpuMs() - loadCpu);
    std::printf("%s, %d frames per second of demo time\n", gl ? "headless GL" : "Null device", fps);

    {
        VirtualPlayback playback(bench.app);
        double start = 0;
        int index = 0;
        for (const PartEntry& entry : partList()) {
            ++index;
            const double end = start + double(entry.duration);
            if (only != 0 && only != index) {
                start = end;
                continue;
            }
            std::vector<double> cpu;
            const double wall0 = wallMs();
            const double process0 = processCpuMs();
            int frames = 0;
            for (uint64_t ms = uint64_t(std::ceil(start * 1000)); double(ms) < end * 1000;
                 ms = uint64_t(std::ceil(start * 1000)) +
                      uint64_t(++frames) * 1000 / uint64_t(fps)) {
                const double c0 = cpuMs();
                playback.frameAt(ms);
                cpu.push_back(cpuMs() - c0);
            }
            if (gl) {
                finishFrame();
                const double wall = wallMs() - wall0;
                const double process = processCpuMs() - process0;
                std::printf("  %d %-22s %6.1f frames/s  (%d frames, %.1f ms each; CPU %.1f ms a "
                            "frame, all threads)\n",
                            index, entry.name, 1000.0 * frames / wall, frames, wall / frames,
                            process / frames);
            } else {
                std::printf("  %d %-22s CPU per frame: median %.3f ms, 99th percentile %.3f ms"
                            "  (%d frames)\n",
                            index, entry.name, percentile(cpu, 0.5), percentile(cpu, 0.99), frames);
            }
            start = end;
        }
    }
    std::fflush(stdout);
    clientStop();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %.0f MiB resident (goal < 400 MiB)\n",
                double(usage.ru_maxrss) / 1024);
    return 0;
}
