// Benchmark of the headless GL device (llvmpipe here): frames per second of an 800 x 600
// frame of 20 full-view alpha-blended textured quads, read back each frame so the rendering
// counts; and microseconds to generate and compile a program on a state change against a
// draw whose program comes from the cache. Prints the figures; asserts nothing.
#include "platform/gfx/gfx.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace gfx;

namespace {

constexpr uint32_t kWidth = 800, kHeight = 600;
constexpr int kQuadsPerFrame = 20;
constexpr int kFrames = 60;

struct TlVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
constexpr uint32_t kTlFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void quad(TlVertex* v, float inset, uint32_t colour) {
    const float x0 = -0.5f + inset, y0 = -0.5f + inset;
    const float x1 = kWidth - 0.5f - inset, y1 = kHeight - 0.5f - inset;
    v[0] = {x0, y0, 0.5f, 1, colour, 0, 0};
    v[1] = {x1, y0, 0.5f, 1, colour, 1, 0};
    v[2] = {x0, y1, 0.5f, 1, colour, 0, 1};
    v[3] = {x1, y1, 0.5f, 1, colour, 1, 1};
}

} // namespace

int main() {
    auto d3d = createDirect3D(D3D_SDK_VERSION, Backend::GlHeadless);
    if (!d3d) {
        std::printf("gfx_bench: no headless OpenGL: %s\n", lastError().c_str());
        return 1;
    }
    PresentParameters p{};
    p.BackBufferWidth = kWidth;
    p.BackBufferHeight = kHeight;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = 1;
    Device* raw = nullptr;
    if (d3d->createDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                          &raw) != D3D_OK) {
        std::printf("gfx_bench: no device: %s\n", lastError().c_str());
        return 1;
    }
    std::unique_ptr<Device> dev(raw);

    Ref<Texture> tex;
    dev->createTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, tex.put());
    LockedRect r{};
    tex->lockRect(0, &r, nullptr, 0);
    for (uint32_t y = 0; y < 256; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.pBits) + y * r.Pitch);
        for (uint32_t x = 0; x < 256; ++x) {
            row[x] = 0x80000000u | (x << 16) | (y << 8) | ((x ^ y) & 255);
        }
    }
    tex->unlockRect(0);

    dev->setRenderState(D3DRS_LIGHTING, 0);
    dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev->setRenderState(D3DRS_ALPHABLENDENABLE, 1);
    dev->setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->setRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->setTexture(0, tex.get());
    dev->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    dev->setVertexShader(kTlFvf);

    std::string pixels;
    uint32_t w = 0, h = 0;
    auto frame = [&]() {
        dev->clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        dev->beginScene();
        TlVertex v[4];
        for (int i = 0; i < kQuadsPerFrame; ++i) {
            quad(v, float(i), 0xFFFFFFFF);
            dev->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex));
        }
        dev->endScene();
        dev->present();
        dev->readBackBuffer(&w, &h, &pixels); // waits for the frame to be rendered
    };
    frame(); // programs built, caches warm
    const double t0 = nowSeconds();
    for (int i = 0; i < kFrames; ++i) {
        frame();
    }
    const double frameSeconds = (nowSeconds() - t0) / kFrames;
    std::printf("blended frame (800x600, %d full-view textured quads, read back): %.1f fps "
                "(%.2f ms/frame)\n",
                kQuadsPerFrame, 1.0 / frameSeconds, frameSeconds * 1e3);
    const double r0 = nowSeconds();
    for (int i = 0; i < 10; ++i) {
        dev->readBackBuffer(&w, &h, &pixels);
    }
    std::printf("of which read-back of an idle 800x600 frame: %.2f ms\n",
                (nowSeconds() - r0) / 10 * 1e3);

    // Program cost: each new combination of stage-0 operation and argument builds a program;
    // the second pass over the same combinations finds them cached.
    dev->setRenderState(D3DRS_ALPHABLENDENABLE, 0);
    const uint32_t ops[] = {
        D3DTOP_SELECTARG1,        D3DTOP_SELECTARG2,        D3DTOP_MODULATE,
        D3DTOP_MODULATE2X,        D3DTOP_MODULATE4X,        D3DTOP_ADD,
        D3DTOP_ADDSIGNED,         D3DTOP_SUBTRACT,          D3DTOP_ADDSMOOTH,
        D3DTOP_BLENDDIFFUSEALPHA, D3DTOP_BLENDTEXTUREALPHA, D3DTOP_BLENDFACTORALPHA};
    const uint32_t args[] = {D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTA_TEXTURE | D3DTA_COMPLEMENT};
    TlVertex small[4];
    quad(small, 390.0f, 0xFF808080); // a 20 x 20 pixel quad: the draw itself costs little
    auto drawWith = [&](uint32_t op, uint32_t arg) {
        dev->setTextureStageState(0, D3DTSS_COLOROP, op);
        dev->setTextureStageState(0, D3DTSS_COLORARG2, arg);
        const double start = nowSeconds();
        dev->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, small, sizeof(TlVertex));
        return nowSeconds() - start;
    };
    double missTotal = 0, hitTotal = 0;
    int count = 0;
    for (uint32_t op : ops) {
        for (uint32_t arg : args) {
            missTotal += drawWith(op, arg);
            ++count;
        }
    }
    dev->readBackBuffer(&w, &h, &pixels);
    const int passes = 20;
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t op : ops) {
            for (uint32_t arg : args) {
                hitTotal += drawWith(op, arg);
            }
        }
        dev->readBackBuffer(&w, &h, &pixels);
    }
    std::printf("state change to a new program (generate + compile + first draw): %.0f us\n",
                missTotal / count * 1e6);
    std::printf("state change to a cached program (draw call): %.1f us\n",
                hitTotal / (count * passes) * 1e6);
    return 0;
}
