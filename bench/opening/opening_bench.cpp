// CPU cost of one Opening frame on the Null device: both grid rewrites (4356 random draws
// for the background), the twenty tube draws with their material application, the logo and
// the overlays, with no rasteriser behind them. Plays every 60 fps frame of the scene several
// times and prints the median and 99th percentile in milliseconds. Asserts nothing.
#include "app/demo_app.h"
#include "bench/bench_app.h"
#include "demo/opening.h"
#include "platform/window.h"
#include "render/render_driver.h"
#include "scene/texture_registry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr float kDuration = 37.8f;
constexpr int kPasses = 5;

} // namespace

int main() {
    BenchApp bench("opening_bench", "");
    if (!bench.ok()) {
        return 1;
    }
    RenderDriver& driver = *bench.driver;
    TextureRegistry registry;
    gRegistry = &registry;

    Opening part(kDuration);
    part.load();
    for (TextureImage* t = registry.firstTexture(); t != nullptr; t = registry.nextTexture()) {
        driver.createTexture(t, 0);
    }

    const int frames = int(kDuration * 60);
    std::vector<double> ms;
    ms.reserve(size_t(frames) * kPasses);
    for (int pass = 0; pass < kPasses; ++pass) {
        for (int f = 0; f < frames; ++f) {
            float t = float(f) / 60.0f;
            auto start = std::chrono::steady_clock::now();
            part.render(t, 1.0f / 60);
            auto end = std::chrono::steady_clock::now();
            ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
    }
    std::sort(ms.begin(), ms.end());
    double median = ms[ms.size() / 2];
    double p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    std::printf("Opening render on the Null device, %zu frames: median %.3f ms, 99th percentile "
                "%.3f ms\n",
                ms.size(), median, p99);

    part.release();
    for (TextureImage* t = registry.firstTexture(); t != nullptr; t = registry.nextTexture()) {
        if (t->deviceTexture != nullptr) {
            driver.releaseTexture(t, 0);
        }
    }
    gRegistry = nullptr;
    return 0;
}
