// CPU cost per frame of the Credits scene at steady state (about 15000 live particles:
// relief update, emission, ageing and drawing) and of drawText for a 36-line page of 80
// characters, both on the Null device so only our own code is measured. Prints medians;
// asserts nothing. Usage: credits_bench [DATA_DIR]
#include "app/demo_app.h"
#include "bench/bench_app.h"
#include "demo/credits.h"
#include "platform/files.h"
#include "platform/window.h"
#include "render/render_driver.h"
#include "render/text.h"
#include "scene/texture_registry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float kFrame = 1.0f / 60.0f;
constexpr int kWarmFrames = 180;     // 3 s: far past the 0.3 s particle lifetime
constexpr int kMeasuredFrames = 600; // 10 s more of the scene
constexpr int kPageLines = 36;
constexpr int kLineLength = 80;
constexpr int kPages = 500;

struct Stats {
    double median, p90, mean;
};

Stats summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) {
        sum += x;
    }
    return {v[v.size() / 2], v[v.size() * 9 / 10], sum / double(v.size())};
}

int aliveCount(const ParticleArray& pool) {
    int n = 0;
    for (const ParticleRecord& r : pool.records) {
        n += (r.flags & kParticleAlive) != 0 ? 1 : 0;
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    BenchApp bench("credits_bench", argc > 1 ? argv[1] : "");
    if (!bench.ok()) {
        return 1;
    }
    RenderDriver& driver = *bench.driver;
    gRegistry = new TextureRegistry;

    {
        CreditsPart part(17.2f);
        part.load();
        for (TextureImage* t = gRegistry->firstTexture(); t != nullptr;
             t = gRegistry->nextTexture()) {
            driver.createTexture(t, 0);
        }
        float t = 0;
        for (int i = 0; i < kWarmFrames; ++i) {
            t += kFrame;
            part.render(t, kFrame);
        }
        std::vector<double> whole, relief, emit, step, draw;
        int minAlive = 1 << 30, maxAlive = 0;
        for (int i = 0; i < kMeasuredFrames; ++i) {
            t += kFrame;
            double t0 = wallMs();
            part.render(t, kFrame);
            whole.push_back(wallMs() - t0);
            const int n = aliveCount(part.reliefEmitter.particles);
            minAlive = std::min(minAlive, n);
            maxAlive = std::max(maxAlive, n);
        }
        // The same frame again, piece by piece (the scene replayed from the same state).
        CreditsPart pieces(17.2f);
        pieces.load();
        t = 0;
        for (int i = 0; i < kWarmFrames + kMeasuredFrames; ++i) {
            t += kFrame;
            double t0 = wallMs();
            pieces.updateRelief(t);
            double t1 = wallMs();
            pieces.reliefEmitter.emit(t);
            double t2 = wallMs();
            pieces.reliefEmitter.step(t, kFrame);
            double t3 = wallMs();
            driver.beginScene(&driver, &pieces.scene);
            double t4 = wallMs();
            pieces.reliefEmitter.particles.draw();
            double t5 = wallMs();
            driver.endScene(&driver);
            if (i >= kWarmFrames) {
                relief.push_back(t1 - t0);
                emit.push_back(t2 - t1);
                step.push_back(t3 - t2);
                draw.push_back(t5 - t4);
            }
        }
        const Stats w = summarise(whole);
        std::printf("Credits frame, Null device, %d-%d live particles, %d frames at 60 fps:\n",
                    minAlive, maxAlive, kMeasuredFrames);
        std::printf("  whole render: median %.3f ms, p90 %.3f ms, mean %.3f ms\n", w.median, w.p90,
                    w.mean);
        std::printf("  medians: relief %.3f ms, emit %.3f ms, step %.3f ms, draw %.3f ms\n",
                    summarise(relief).median, summarise(emit).median, summarise(step).median,
                    summarise(draw).median);
    }

    {
        Font* font = findFont(bench.app, 12, "Terminal");
        std::string line;
        for (int i = 0; i < kLineLength; ++i) {
            line.push_back(char(' ' + 1 + (i * 7) % 94));
        }
        ColorF green{1, 0.2f, 1.0f, 0.2f};
        std::vector<double> pages;
        for (int p = 0; p < kPages; ++p) {
            double t0 = wallMs();
            for (int l = 0; l < kPageLines; ++l) {
                driver.drawText(8, 8 + l * 16, line.c_str(), &green, 12, "Terminal");
            }
            pages.push_back(wallMs() - t0);
        }
        const Stats s = summarise(pages);
        std::printf("drawText, Null device, %d lines of %d characters (\"Terminal\" %d, %ux%u "
                    "texture):\n",
                    kPageLines, kLineLength, font->size, font->textureWidth, font->textureHeight);
        std::printf("  per page: median %.3f ms, p90 %.3f ms (%.2f us per line)\n", s.median, s.p90,
                    s.median * 1000.0 / kPageLines);
    }

    for (TextureImage* t = gRegistry->firstTexture(); t != nullptr; t = gRegistry->nextTexture()) {
        driver.releaseTexture(t, 1);
    }
    delete gRegistry;
    gRegistry = nullptr;
    return 0;
}
