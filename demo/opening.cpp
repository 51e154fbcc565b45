// The Opening (37.8 s): load builds the materials, both grids, the random curve and the tube
// around it; render rewrites the grids, draws the background, twenty tube layers, the logo
// of the moment and the fades and flashes. Nothing carries over from frame to frame.
#include "demo/opening.h"

#include "demo/part_materials.h"

#include "app/demo_app.h"
#include "demo/sequencer.h"
#include "render/mesh_buffers.h"
#include "render/render_driver.h"
#include "scene/image_loader.h"
#include "scene/rand.h"
#include "scene/spline.h"
#include "scene/texture_registry.h"
#include "scene/trimesh.h"

#include <algorithm>
#include <cmath>

namespace {

// The curve: one key per second, rising 50 units a key.
constexpr int kCurveKeys = 400;
// The tube: rings of 12 vertices every 0.1425 s of curve time, radius 15.
constexpr uint32_t kRings = 2800;
constexpr uint32_t kRingVertices = 12;
constexpr uint32_t kTubeRunRings = 50;
constexpr float kRingTimeStep = 0.1425f;
constexpr float kTubeRadius = 15.0f;
constexpr int kTubeCopies = 5;
constexpr int kTubeLayers = 4;

constexpr uint32_t kLogoGridSize = 45;
constexpr uint32_t kBackgroundGridSize = 33;

// Fixed angle offset of the swirls, radians.
constexpr double kSwirlPhase = 1.9163715186897718;
// Background sphere: radius 256 about the origin, seen from (0, h, -230).
constexpr float kSphereRadius = 256.0f;
constexpr float kEyeDistance = 230.0f;

struct LogoWindow {
    float start, end, fade;
    int material; // index into the logo materials (vrell, ztr, @$demo)
};
constexpr LogoWindow kLogoWindows[3] = {
    {5, 14, 2, 1},
    {17, 26, 2, 0},
    {28, 37, 3.5f, 2},
};

struct Flash {
    float start, length;
};
constexpr Flash kFlashes[5] = {
    {15.0f, 0.5f}, {16.6f, 0.2f}, {17.4f, 0.2f}, {18.0f, 0.2f}, {18.6f, 0.2f}};

// Blending (source alpha, inverse source alpha) with Gouraud lighting.
constexpr uint32_t kBlendedGouraud = kStateAlphaBlend | kStatesGouraud;
constexpr uint32_t kGouraud = kStatesGouraud;

Material* fileMaterial(const char* name, uint32_t flags, const StageSetup& stage,
                       const char* colourPath, const char* alphaPath) {
    TextureImage* texture = alphaPath != nullptr
                                ? loadTextureWithAlpha(colourPath, alphaPath, kErrorOpening)
                                : loadTexture(colourPath, kErrorOpening);
    return fileSingleStageMaterial(name, flags, stage, texture);
}

uint8_t colourByte(float v) {
    // NOTE: 256 q^4 w + m (1 - w) reaches 256 only at the sphere's pole with w = 1; it is
    // held at 255 instead of wrapping to 0.
    return uint8_t(std::min(int(v), 255));
}

} // namespace

Opening::Opening(float duration) : DemoPart(duration) {}

Opening::~Opening() = default;

int Opening::load() {
    DemoApp* app = gApp;

    // 1. Scene, projection and camera: at z = 1000 looking down -z, up along -y.
    scene.allocateLights(1);
    scene.registry = gRegistry;
    scene.ambient = {1, 1, 1, 1};
    projection.init(&app->frameBuffer, 65, 10, 100000);
    projection.mode = 2;
    camera.init(&projection, 0);
    camera.position = {0, 0, 1000};
    camera.orientation = eulerMatrix(3.1415927f, 0, 0);
    scene.camera = &camera;

    // 2. The logos: colour = texture, alpha = texture x texture factor.
    const StageSetup logoStage{gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse,
                               gfx::D3DTOP_MODULATE,   kArgTexture, kArgFactor};
    logoMaterials[0] = fileMaterial("vrell logo", kBlendedGouraud, logoStage,
                                    "data\\vrell_logo.jpg", "data\\vrell_logo_alpha.jpg");
    logoMaterials[1] = fileMaterial("ztr logo", kBlendedGouraud, logoStage, "data\\ztr_logo.jpg",
                                    "data\\ztr_logo_alpha.jpg");
    logoMaterials[2] = fileMaterial("@$demo logo", kBlendedGouraud, logoStage, "data\\logo.jpg",
                                    "data\\logo-alpha.jpg");

    // 3. The logo grid and its polar table.
    logoGrid.create(kLogoGridSize, kLogoGridSize);
    logoGrid.buildPolarTable();

    // 4. The background: colour = texture x vertex colour.
    const StageSetup backgroundStage{gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse,
                                     gfx::D3DTOP_MODULATE, kArgTexture, kArgFactor};
    Material* background =
        fileMaterial("bg effect", kGouraud, backgroundStage, "data\\k3wl.jpg", nullptr);
    backgroundGrid.create(kBackgroundGridSize, kBackgroundGridSize);
    backgroundGrid.setMaterial(background);
    backgroundGrid.buildPolarTable();

    // Per-vertex constants of both grids.
    const uint32_t nx = kBackgroundGridSize, ny = kBackgroundGridSize;
    backgroundRays = std::make_unique<BackgroundRay[]>(nx * ny);
    if (backgroundGrid.polarTable) {
        for (uint32_t j = 0; j < ny; ++j) {
            for (uint32_t k = 0; k < nx; ++k) {
                Vec3 d = normalise(Vec3{float(int(k) - int(nx / 2)) * 0.033333335f,
                                        float(int(j) - int(ny / 2)) * 0.033333335f, 0.7f});
                const PolarEntry& p = backgroundGrid.polar(k, j);
                double phase = kSwirlPhase - double(p.angle);
                backgroundRays[j * nx + k] = {
                    d.x, d.y, d.z, p.radius, float(std::cos(phase)), float(std::sin(phase))};
            }
        }
    }
    const uint32_t lx = kLogoGridSize, ly = kLogoGridSize;
    logoPoints = std::make_unique<LogoPoint[]>(lx * ly);
    if (logoGrid.polarTable) {
        for (uint32_t j = 0; j < ly; ++j) {
            for (uint32_t k = 0; k < lx; ++k) {
                float e = float(k) / float(lx - 1), f = float(j) / float(ly - 1);
                const PolarEntry& p = logoGrid.polar(k, j);
                double phase = kSwirlPhase - double(p.angle);
                logoPoints[j * lx + k] = {e - 0.5f,
                                          f - 0.5f,
                                          e,
                                          f,
                                          p.radius * p.radius,
                                          float(std::cos(phase)),
                                          float(std::sin(phase))};
            }
        }
    }

    // 5. The curve: 400 random keys rising 50 units a second, within 100 of the axis.
    Spline curve;
    curve.setKeyCount(kCurveKeys);
    for (int i = 0; i < kCurveKeys; ++i) {
        int a1 = demo_random::rand() % 20000;
        int a2 = demo_random::rand() % 20000;
        int a3 = demo_random::rand() % 20000;
        double z = a1 * 0.01 - 100;
        double y = (50.0 * i - 5) + a2 * 10 * 0.00005;
        double x = a3 * 0.01 - 100;
        curve.addKey(Vec3{float(x), float(y), float(z)}, float(i));
    }
    curve.prepare();

    // 6. The tube: rings around the curve, two triangles per ring segment.
    tubeMesh = std::make_unique<TriMesh>();
    TriMesh& mesh = *tubeMesh;
    if (mesh.create(kRings * kRingVertices, (kRings - 1) * kRingVertices * 2, 1, 1,
                    kMeshIndexed | kMeshSubsetMaterials) == 0) {
        uint32_t* index = mesh.indices;
        for (uint32_t r = 0; r + 1 < kRings; ++r) {
            uint32_t b = kRingVertices * r;
            for (uint32_t k = 0; k < kRingVertices; ++k) {
                uint32_t k1 = (k + 1) % kRingVertices;
                const uint32_t face[6] = {b + k,      b + k1, b + 12 + k,
                                          b + 12 + k, b + k1, b + 12 + k1};
                std::copy(face, face + 6, index);
                index += 6;
            }
        }
        Vec3 previous{};
        Vec3 n1{1, 0, 0}, n2{0, 0, 1};
        for (uint32_t r = 0; r < kRings; ++r) {
            Vec3 q = curve.evaluate(float(r) * kRingTimeStep);
            if (r == 0) {
                previous = q - Vec3{0, 1, 0};
            }
            Vec3 d = q - previous;
            Vec3 c = cross(d, q + previous);
            Vec3 c2 = cross(c, d);
            // A degenerate ring frame keeps the previous one instead of dividing by zero.
            if (dot(c, c) > 0 && dot(c2, c2) > 0) {
                n1 = normalise(c);
                n2 = normalise(cross(n1, d));
            }
            for (uint32_t k = 0; k < kRingVertices; ++k) {
                float a = float(k + 1) * 0.5235988f;
                uint32_t v = r * kRingVertices + k;
                mesh.positions[v] = q + (n1 * std::cos(a) + n2 * std::sin(a)) * kTubeRadius;
                mesh.texCoords[0][v] = {float(r) * 0.00035714285f, float(k) * 0.083333336f};
            }
            previous = q;
        }
        // Runs of kTubeRunRings ring segments: a run's faces follow each other.
        for (uint32_t first = 0; first + 1 < kRings; first += kTubeRunRings) {
            const uint32_t last = std::min(first + kTubeRunRings, kRings - 1); // its last ring
            Vec3 low = mesh.positions[first * kRingVertices], high = low;
            for (uint32_t v = first * kRingVertices; v < (last + 1) * kRingVertices; ++v) {
                const Vec3 p = mesh.positions[v];
                low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
                high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
            }
            const Vec3 half = (high - low) * 0.5f;
            // A little over the box's half-diagonal: rounding never leaves a vertex outside.
            tubeRuns.push_back({low + half, std::sqrt(dot(half, half)) * 1.001f + 0.01f});
        }
        const StageSetup tubeStage{gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse,
                                   gfx::D3DTOP_SELECTARG1, kArgFactor,  kArgDiffuse};
        mesh.subsetMaterials[0] = fileMaterial("Opening-splines", kBlendedGouraud, tubeStage,
                                               "data\\splines.jpg", nullptr);
    }

    // 7. The tube object, then the driver's buffers and handle.
    tubeObject = std::make_unique<TriMeshObj>();
    tubeObject->init(&mesh, 0, 0);
    tubeObject->position = {0, 0, 0};
    if (gDriver->createMeshBuffers(&mesh, 0) != 0) {
        reportAndQuit("failed loading trimesh");
    }
    if (gDriver->createObjectHandle(tubeObject.get(), 0) != 0) {
        reportAndQuit("failed loading trimeshobj");
    }
    return 0;
}

int Opening::activeLogoWindow(float t) {
    int active = -1;
    for (int w = 0; w < 3; ++w) {
        if (kLogoWindows[w].start <= t && t <= kLogoWindows[w].end) {
            active = w;
        }
    }
    return active;
}

float Opening::logoAlpha(int window, float t) {
    const LogoWindow& w = kLogoWindows[window];
    const float quarterTurn = float(M_PI / 2);
    if (t < w.start + w.fade) {
        return std::sin((t - w.start) * quarterTurn / w.fade);
    }
    if (t > w.end - w.fade) {
        return std::sin((w.end - t) * quarterTurn / w.fade);
    }
    return 1.0f;
}

void Opening::rewriteLogoGrid(int window, float t) {
    GridVertex* v = logoGrid.lockVertices();
    if (v == nullptr || !logoPoints) {
        return;
    }
    const uint32_t nx = logoGrid.columns, ny = logoGrid.rows;
    const LogoWindow& w = kLogoWindows[window];
    if (window == 2) {
        // A gentle ripple instead of the swirl: per-row and per-column wave terms.
        float rowWave[kLogoGridSize], columnWave[kLogoGridSize];
        for (uint32_t i = 0; i < kLogoGridSize; ++i) {
            float g = float(i) / float(kLogoGridSize - 1);
            rowWave[i] = 0.0063f * std::sin(13 * g + 4 * t);
            columnWave[i] = 0.0063f * std::cos(13 * g + 4 * t);
        }
        for (uint32_t j = 0; j < ny; ++j) {
            for (uint32_t k = 0; k < nx; ++k) {
                const LogoPoint& p = logoPoints[j * nx + k];
                GridVertex& out = v[j * nx + k];
                out.u = std::clamp(p.e + rowWave[j], 0.0f, 1.0f);
                out.v = std::clamp(1.2f * p.f + columnWave[k] - 0.1f, 0.0f, 1.0f);
            }
        }
    } else {
        float s = (t - w.start) * 3.8f / (w.end - w.start);
        float zoom = 4 - s;
        float spin = 0.2f * t;
        float cosSpin = std::cos(spin), sinSpin = std::sin(spin);
        float s2 = s * s;
        for (uint32_t i = 0; i < nx * ny; ++i) {
            const LogoPoint& p = logoPoints[i];
            // theta = 0.2 t + (phase - angle), from the precomputed cosine and sine.
            float cosTheta = cosSpin * p.cosAngle - sinSpin * p.sinAngle;
            float sinTheta = sinSpin * p.cosAngle + cosSpin * p.sinAngle;
            float g2 = s2 * p.radiusSquared;
            float u = p.ub0 * zoom + 0.5f + g2 * cosTheta + 0.25f;
            float vv = p.vb0 * zoom + 0.5f + g2 * sinTheta + 0.25f;
            v[i].u = std::clamp(u, 0.0f, 1.0f);
            v[i].v = std::clamp(vv, 0.0f, 1.0f);
        }
    }
    logoGrid.unlockVertices();
}

void Opening::rewriteBackground(float t) {
    GridVertex* v = backgroundGrid.lockVertices();
    if (v == nullptr || !backgroundRays) {
        return;
    }
    const uint32_t count = backgroundGrid.columns * backgroundGrid.rows;
    const float h = 50 * std::sin(0.7f * t);
    const float qc = h * h + kEyeDistance * kEyeDistance - kSphereRadius * kSphereRadius;
    const float sinT = std::sin(t), cosT = std::cos(t);
    const float wPlain = 0.85f + 0.15f * sinT;
    const float wShifted = 0.85f + 0.15f * std::sin(t + 0.5f);
    const float atanScale = float(0.31415926535897903);
    for (uint32_t i = 0; i < count; ++i) {
        const BackgroundRay& ray = backgroundRays[i];
        float qa = ray.dx * ray.dx + ray.dy * ray.dy + ray.dz * ray.dz;
        float qb = 2 * (h * ray.dy - kEyeDistance * ray.dz);
        float root = std::sqrt(std::max(qb * qb - 4 * qa * qc, 0.0f));
        float T = (root - qb) / (2 * qa);
        if (T <= 0) {
            T = (-qb - root) / (2 * qa);
        }
        float px = T * ray.dx, py = T * ray.dy + h, pz = T * ray.dz - kEyeDistance;
        float length = std::sqrt(px * px + py * py + pz * pz);
        float rho = ray.radius + sinT;
        float cosTheta = cosT * ray.cosAngle - sinT * ray.sinAngle;
        float sinTheta = sinT * ray.cosAngle + cosT * ray.sinAngle;
        float latitude = std::asin(std::clamp(py / length, -1.0f, 1.0f));
        v[i].u = (latitude + 1) * 0.5f + rho * cosTheta + 0.25f;
        v[i].v = std::atan2(pz, px) * atanScale + rho * sinTheta + 0.25f;

        float q = std::min(std::fabs(pz) / kSphereRadius, 1.0f);
        float q2 = q * q;
        float e = kSphereRadius * q2 * q2;
        int m1 = demo_random::rand() % 256;
        int m2 = demo_random::rand() % 256;
        int m3 = demo_random::rand() % 256;
        float w = demo_random::rand() % 100 >= 90 ? wShifted : wPlain;
        float ew = e * w, rest = 1 - w;
        v[i].colour = (uint32_t(colourByte(ew + float(m1) * rest)) << 16) |
                      (uint32_t(colourByte(ew + float(m2) * rest)) << 8) |
                      uint32_t(colourByte(ew + float(m3) * rest));
    }
    backgroundGrid.unlockVertices();
}

void Opening::drawOverlays(float t) {
    RenderDriver* driver = gDriver;
    auto overlay = [driver](float alpha, float grey) {
        ColorF c{alpha, grey, grey, grey};
        driver->setTextureFactor(&c);
        driver->drawFactorOverlay();
    };
    if (t < 4) {
        overlay((4 - t) * 0.25f, 0);
    }
    if (t < 5) {
        overlay((5 - t) * 0.2f, 0);
    }
    if (t >= 36.8f) {
        overlay(std::min(t - 36.8f, 1.0f), 1); // held at opaque past the part's end
    }
    for (const Flash& f : kFlashes) {
        if (f.start <= t && t <= f.start + f.length) {
            overlay(1 - (t - f.start) / f.length, 1);
        }
    }
}

int Opening::render(float t, float) {
    RenderDriver* driver = gDriver;

    // 1. The logo of the moment and its swirling mapping.
    int window = activeLogoWindow(t);
    float alpha = 0;
    if (window >= 0) {
        alpha = logoAlpha(window, t);
        rewriteLogoGrid(window, t);
    }

    // 2-3. The background sphere, drawn first over the whole view.
    rewriteBackground(t);
    if (driver->beginScene(driver, &scene) != 0) {
        return 1;
    }
    backgroundGrid.draw();

    // 4. Five spinning, rising tubes of four glowing layers each, without depth writes.
    if (tubeObject != nullptr) {
        scene.flags &= ~kSceneDepthWrite;
        driver->applyScene(driver, &scene, 0);
        float tilt = 0.25f * std::sin(std::cos(std::sin(0.8f * t)));
        for (int i = 0; i < kTubeCopies; ++i) {
            tubeObject->position = {float(i - 2) * 250.0f, -1000.0f - 200.0f * t, 0};
            tubeObject->orientation = eulerMatrix(tilt, 3.6f * (t + 2.0f * float(i)), 0);
            for (int j = 1; j <= kTubeLayers; ++j) {
                float size = 1 + 0.4f * float(j - 1);
                tubeObject->scale = {size, size, size};
                ColorF factor{1 - 0.2f * float(j), 0, 0, 0};
                driver->setTextureFactor(&factor);
                drawTubeInView();
            }
        }
        // 5. Depth writes back on.
        scene.flags |= kSceneDepthWrite;
        driver->applyScene(driver, &scene, 0);
    }

    // 6. The logo.
    if (window >= 0) {
        ColorF factor{alpha, alpha, alpha, alpha};
        driver->setTextureFactor(&factor);
        logoGrid.setMaterial(logoMaterials[kLogoWindows[window].material]);
        logoGrid.draw();
    }

    // 7-8. Fades and flashes.
    drawOverlays(t);
    return driver->endScene(driver);
}

// Draws the tube's faces from the first run that reaches the view to the last one; the
// runs outside would draw no pixel, so the picture is the same.
void Opening::drawTubeInView() {
    MeshSubset& subset = tubeMesh->subsets[0];
    const MeshSubset whole = subset;
    size_t first = tubeRuns.size(), last = 0;
    for (size_t i = 0; i < tubeRuns.size(); ++i) {
        if (objectSphereInView(*tubeObject, tubeRuns[i].centre, tubeRuns[i].radius)) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first == tubeRuns.size()) {
        return;
    }
    constexpr uint32_t kRunFaces = kTubeRunRings * kRingVertices * 2;
    // The software rasteriser takes a draw in pieces and rounds positions a little
    // differently in pieces that need clipping: starting on a multiple of 1024 faces keeps
    // its pieces where they fall in the whole draw, and the pixels with them.
    const uint32_t firstFace = uint32_t(first) * kRunFaces / 1024 * 1024;
    subset.firstFace = whole.firstFace + firstFace;
    subset.faceCount = std::min(uint32_t(last + 1) * kRunFaces, whole.faceCount) - firstFace;
    gDriver->drawObject(tubeObject.get());
    subset = whole;
}

int Opening::release() {
    if (tubeObject != nullptr && tubeObject->driverHandle != nullptr) {
        gDriver->releaseObjectHandle(tubeObject.get(), 0);
    }
    if (tubeMesh != nullptr && tubeMesh->buffers != nullptr) {
        gDriver->releaseMeshBuffers(tubeMesh.get(), 0);
    }
    tubeObject.reset();
    tubeMesh.reset();
    return 0;
}
