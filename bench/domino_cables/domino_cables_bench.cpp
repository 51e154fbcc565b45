// CPU cost per frame of the Domino rally (updateFalling with its bisection and vertex
// rewrite, the camera, the closing picture) and of Cables and greetings (10000 cluster
// particles placed, the flow emitter, both arrays drawn, greetings), played whole at 60 fps
// on the Null device, and each scene's load time, in thread CPU time. Prints figures;
// asserts nothing.
// Usage: domino_cables_bench [DATA_DIR]
#include "app/demo_app.h"
#include "bench/bench_app.h"
#include "demo/cables.h"
#include "demo/domino.h"
#include "platform/files.h"
#include "platform/window.h"
#include "render/render_driver.h"
#include "render/text.h"
#include "scene/texture_registry.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr float kFrame = 1.0f / 60.0f;
constexpr int kLoadRuns = 5;

struct Stats {
    double median, p90, max, mean;
};

Stats summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) {
        sum += x;
    }
    return {v[v.size() / 2], v[v.size() * 9 / 10], v.back(), sum / double(v.size())};
}

void print(const char* what, const Stats& s) {
    std::printf("  %-28s median %.3f ms, p90 %.3f ms, max %.3f ms, mean %.3f ms\n", what, s.median,
                s.p90, s.max, s.mean);
}

void uploadTextures(RenderDriver& driver) {
    for (TextureImage* t = gRegistry->firstTexture(); t != nullptr; t = gRegistry->nextTexture()) {
        if (t->deviceTexture == nullptr) {
            driver.createTexture(t, 0);
        }
    }
}

void freshRegistry(RenderDriver& driver) {
    if (gRegistry != nullptr) {
        for (TextureImage* t = gRegistry->firstTexture(); t != nullptr;
             t = gRegistry->nextTexture()) {
            driver.releaseTexture(t, 1);
        }
        delete gRegistry;
    }
    gRegistry = new TextureRegistry;
}

// Loads a fresh part kLoadRuns times (each with a fresh registry) and reports the times;
// returns the last one loaded.
template <class Part>
std::unique_ptr<Part> timeLoads(RenderDriver& driver, float duration, const char* name) {
    std::vector<double> times;
    std::unique_ptr<Part> part;
    for (int i = 0; i < kLoadRuns; ++i) {
        part.reset();
        freshRegistry(driver);
        part = std::make_unique<Part>(duration);
        const double t0 = cpuMs();
        part->load();
        times.push_back(cpuMs() - t0);
    }
    uploadTextures(driver);
    print(name, summarise(times));
    return part;
}

// Plays the part from 0 to its end at 60 fps and returns every frame's time.
template <class Part> std::vector<double> play(Part& part) {
    std::vector<double> frames;
    const int count = int(part.duration * 60);
    for (int i = 0; i <= count; ++i) {
        const float t = float(i) * kFrame;
        const double t0 = cpuMs();
        part.render(t, i == 0 ? 0.0f : kFrame);
        frames.push_back(cpuMs() - t0);
    }
    return frames;
}

} // namespace

int main(int argc, char** argv) {
    BenchApp bench("domino_cables_bench", argc > 1 ? argv[1] : "");
    if (!bench.ok()) {
        return 1;
    }
    RenderDriver& driver = *bench.driver;

    std::printf("Load, Null device, %d runs each:\n", kLoadRuns);
    {
        auto domino = timeLoads<DominoRallyPart>(driver, 44.0f, "Domino rally load:");
        std::printf("Domino rally, Null device, 44 s at 60 fps (%u + %u dominoes):\n",
                    domino->fields[0]->dominoCount, domino->fields[1]->dominoCount);
        print("whole render:", summarise(play(*domino)));

        // updateFalling alone, both fields, over a fresh run.
        auto fresh = std::make_unique<DominoRallyPart>(44.0f);
        fresh->load();
        std::vector<double> falling;
        size_t most = 0;
        for (int i = 0; i <= 44 * 60; ++i) {
            const float t = float(i) * kFrame;
            const double t0 = cpuMs();
            size_t n = 0;
            for (auto& field : fresh->fields) {
                const FallRange r = field->updateFalling(t, i == 0 ? 0.0f : kFrame);
                n += r.end - r.first;
            }
            falling.push_back(cpuMs() - t0);
            most = std::max(most, n);
        }
        print("updateFalling (both):", summarise(falling));
        std::printf("  most dominoes rewritten in one frame: %zu\n", most);
    }
    {
        auto cables = timeLoads<CablesPart>(driver, 30.0f, "Cables and greetings load:");
        std::printf("Cables and greetings, Null device, 30 s at 60 fps:\n");
        print("whole render:", summarise(play(*cables)));
        auto fresh = std::make_unique<CablesPart>(30.0f);
        fresh->load();
        std::vector<double> streams, flow;
        for (int i = 0; i <= 30 * 60; ++i) {
            const float t = float(i) * kFrame;
            const float dt = i == 0 ? 0.0f : kFrame;
            const double t0 = cpuMs();
            fresh->updateStreams(dt);
            const double t1 = cpuMs();
            fresh->flowEmitter.advance(dt);
            fresh->flowEmitter.emit(t);
            fresh->flowEmitter.step(t, dt);
            flow.push_back(cpuMs() - t1);
            streams.push_back(t1 - t0);
        }
        print("10000 stream particles:", summarise(streams));
        print("flow emitter:", summarise(flow));
    }
    freshRegistry(driver);
    delete gRegistry;
    gRegistry = nullptr;
    return 0;
}
