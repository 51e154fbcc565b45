// Figures for the Koch and Tree scenes: the Koch frame's CPU work (10000 particle legs, the
// 65 x 65 grid rewrite, the particle quads) and its graph build, and the Tree's load, on
// the Null device; with --gl, the Koch scene's frames per second on headless GL. Prints
// medians (CPU time on Null, wall time on GL); asserts nothing. Usage: tree_koch_bench [--gl]
// [DATA_DIR]
#include "app/demo_app.h"
#include "bench/bench_app.h"
#include "demo/koch.h"
#include "demo/tree.h"
#include "platform/files.h"
#include "platform/window.h"
#include "render/render_driver.h"
#include "render/text.h"
#include "scene/texture_registry.h"
#include "scene/trimesh.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float kFrame = 1.0f / 60.0f;
constexpr int kMeasuredFrames = 600; // 10 s of the Koch scene
constexpr int kLoads = 15;
constexpr int kGlFrames = 120;

void uploadAll(RenderDriver& driver) {
    for (TextureImage* t = gRegistry->firstTexture(); t != nullptr; t = gRegistry->nextTexture()) {
        if (t->deviceTexture == nullptr) {
            driver.createTexture(t, 0);
        }
    }
}

void releaseAll(RenderDriver& driver) {
    for (TextureImage* t = gRegistry->firstTexture(); t != nullptr; t = gRegistry->nextTexture()) {
        driver.releaseTexture(t, 1);
    }
}

void nullFigures(RenderDriver& driver) {
    // Koch: the graph build alone, from the surface mesh's positions.
    {
        const auto surface = buildKochSurface(kKochPasses);
        std::vector<Vec3> positions;
        for (const KochTriangle& t : surface) {
            for (const KochVertex& v : t.corner) {
                positions.push_back(v.position);
            }
        }
        std::vector<uint32_t> faces(positions.size());
        for (uint32_t i = 0; i < faces.size(); ++i) {
            faces[i] = i;
        }
        std::vector<double> build;
        size_t nodes = 0, edges = 0;
        int widest = 0;
        for (int i = 0; i < kLoads; ++i) {
            KochGraph g;
            const double t0 = cpuMs();
            g.build(positions.data(), uint32_t(positions.size()), faces.data(),
                    uint32_t(surface.size()));
            build.push_back(cpuMs() - t0);
            nodes = g.nodes.size();
            edges = g.edgeCount;
            for (const KochNode& n : g.nodes) {
                widest = std::max(widest, n.neighbourCount);
            }
        }
        std::printf("koch graph build: median %.2f ms (%zu nodes, %zu edges, at most %d per "
                    "node; goal < 50 ms)\n",
                    percentile(build, 0.5), nodes, edges, widest);
    }

    // Koch: whole load, then per-frame CPU work.
    {
        KochPart part(30.0f);
        const double t0 = cpuMs();
        part.load();
        std::printf("koch load: %.1f ms\n", cpuMs() - t0);
        uploadAll(driver);
        std::vector<double> whole, walk, phases, grid;
        float t = 0;
        for (int i = 0; i < kMeasuredFrames; ++i) {
            t += kFrame;
            const double a = cpuMs();
            part.render(t, kFrame);
            whole.push_back(cpuMs() - a);
        }
        KochPart pieces(30.0f);
        pieces.load();
        uploadAll(driver);
        t = 0;
        for (int i = 0; i < kMeasuredFrames; ++i) {
            t += kFrame;
            const double a = cpuMs();
            pieces.walkParticles(t, kFrame);
            const double b = cpuMs();
            pieces.updatePhases(t);
            const double c = cpuMs();
            pieces.rewriteScroller(t);
            const double d = cpuMs();
            walk.push_back(b - a);
            phases.push_back(c - b);
            grid.push_back(d - c);
        }
        std::printf("koch frame on Null: median %.3f ms (goal < 1 ms); walk %.3f, phases + "
                    "display %.3f, grid rewrite %.3f\n",
                    percentile(whole, 0.5), percentile(walk, 0.5), percentile(phases, 0.5),
                    percentile(grid, 0.5));
    }

    // Tree: load (generation, both meshes, upload to the Null device).
    {
        std::vector<double> loads;
        for (int i = 0; i < kLoads; ++i) {
            TreePart part(30.0f);
            const double t0 = cpuMs();
            part.load();
            loads.push_back(cpuMs() - t0);
            part.release();
        }
        std::printf("tree load on Null: median %.2f ms (goal < 30 ms)\n", percentile(loads, 0.5));
    }
}

void glFigures(RenderDriver& driver) {
    KochPart part(30.0f);
    part.load();
    uploadAll(driver);
    float t = 0;
    for (int i = 0; i < 10; ++i) { // first frames: target clears, program compiles
        t += kFrame;
        part.render(t, kFrame);
        gApp->device->present();
    }
    const double t0 = wallMs();
    for (int i = 0; i < kGlFrames; ++i) {
        t += kFrame;
        part.render(t, kFrame);
        gApp->device->present();
    }
    // Read one pixel back so every queued frame is finished before the clock stops.
    uint32_t w = 0, h = 0;
    std::string pixels;
    gApp->device->readBackBuffer(&w, &h, &pixels);
    const double ms = wallMs() - t0;
    std::printf("koch on headless GL: %.1f frames per second (%d frames, %.1f ms each)\n",
                1000.0 * kGlFrames / ms, kGlFrames, ms / kGlFrames);
}

} // namespace

int main(int argc, char** argv) {
    bool gl = false;
    std::string data = DEMO_SOURCE_DIR "/data";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gl") == 0) {
            gl = true;
        } else {
            data = argv[i];
        }
    }
    BenchApp bench("tree_koch_bench", data, gl ? gfx::Backend::GlHeadless : gfx::Backend::Null);
    if (!bench.ok()) {
        return 1;
    }
    RenderDriver& driver = *bench.driver;
    gRegistry = new TextureRegistry;
    if (gl) {
        glFigures(driver);
    } else {
        nullFigures(driver);
    }
    releaseAll(driver);
    delete gRegistry;
    gRegistry = nullptr;
    return 0;
}
