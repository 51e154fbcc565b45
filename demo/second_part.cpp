#include "demo/second_part.h"

#include "app/demo_app.h"
#include "demo/part_materials.h"
#include "demo/sequencer.h"
#include "demo/steering.h"
#include "platform/gfx/gfx.h"
#include "render/render_driver.h"
#include "scene/image.h"
#include "scene/image_loader.h"
#include "scene/rand.h"
#include "scene/spline.h"
#include "scene/texture_registry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kFormatX8R8G8B8 = 40;
constexpr uint32_t kFormatA8R8G8B8 = 41;
constexpr uint32_t kSplinesTargetSize = 1024;
constexpr uint32_t kCausticsTargetSize = 64;
constexpr uint32_t kSplinesGridSize = 45;
constexpr uint32_t kCausticsGridSize = 15;
constexpr uint32_t kFaceGridSize = 25;
// The splines grid samples its target only within 0.05..0.95 of each side (0.1..0.9 moved by
// at most 0.05): the spikes and bubbles are drawn into that square, widened by a few texels
// for the bilinear footprint.
constexpr int32_t kSplinesSampledEdge = int32_t(kSplinesTargetSize) / 20 - 8;
constexpr int kCausticsFrames = 32;
constexpr int kCausticsCells = 6; // the atlas is 6 x 6 cells
constexpr float kSixth = 0.16666667f;
constexpr uint32_t kFaceKey = 0x689DB3;

constexpr float kBubblesStart = 7.2f; // bubbles, second camera phase, first flash
constexpr float kFaceStart = 15.5f;   // face video, circling camera, second flash
constexpr float kFadeOutStart = 29.0f;

constexpr ColorF kFogGrey{0.2f, 0.2f, 0.2f, 0.2f};
// The creation flags with bits 0, 1 and 3 set and bit 2 cleared (11).
constexpr uint32_t kSceneFlags =
    (kSceneCreated | kSceneDepthTest | kSceneDepthWrite | kSceneBit3) & ~kSceneBit2;

// Spike field geometry.
constexpr float kSpikeSpacing = 681.8182f;
constexpr float kFieldOffsetX = -7500.0f;
constexpr float kFieldOffsetZ = 7500.0f;
constexpr float kRingTimeStep = 0.2777778f;
constexpr float kRingRadiusStep = 12.032086f;
constexpr float kSegmentAngle = 0.62831855f;

Material* fileSpikesMaterial(TextureImage* spikes, TextureImage* caustics) {
    MaterialColours colours;
    RenderStateBlock states;
    const StageSetup stage0{gfx::D3DTOP_MODULATE,   kArgTexture, kArgDiffuse,
                            gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse};
    // Alpha comes from the picture, which has none (opaque): blending would change nothing
    // and only make every spike pixel read the target back.
    fillSingleStageBlocks(colours, states, kStatesGouraud, stage0);
    // Stage 1: the caustics over the first stage, from the second coordinate set.
    states.stageCount = 2;
    states.textureCount = 2;
    states.textureIndex[1] = 1;
    states.colourOp[1] = gfx::D3DTOP_MODULATE;
    states.colourArg1[1] = kArgTexture;
    states.colourArg2[1] = kArgCurrent;
    states.alphaOp[1] = gfx::D3DTOP_SELECTARG1;
    states.alphaArg1[1] = kArgCurrent;
    states.alphaArg2[1] = kArgTexture;
    states.stages[1] = states.stages[0];
    states.stages[1].texCoordIndex = 1;

    int existed = 0;
    Material* material = gRegistry->acquireMaterial(&existed, makeKey("Part2-splines"));
    material->colours = &colours;
    material->states = &states;
    material->texture = spikes;
    material->secondTexture = caustics;
    gRegistry->commitMaterial(*material);
    return material;
}

// The bubble sprite: a grey disc brighter at the top, nearly clear inside with a soft
// bright rim.
void drawBubbleSprite(Image& image) {
    for (uint32_t pl = 0; pl < image.height; ++pl) {
        auto* row = reinterpret_cast<uint32_t*>(image.pixels + size_t(pl) * image.pitch);
        for (uint32_t pc = 0; pc < image.width; ++pc) {
            const float px = -1.0f + float(pc) / 32.0f;
            const float py = 1.0f - float(pl) / 32.0f;
            const float d = std::sqrt(px * px + py * py);
            if (d >= 1.0f) {
                row[pc] = 0;
                continue;
            }
            const float q = std::max((d - 0.8f) * 20.0f, 0.2f);
            const float alpha = d >= 0.9f ? (1.0f - d) * 10.0f : std::min(q, 1.0f);
            const auto grey = uint32_t(255.0f - (1.0f - py) * 37.5f);
            const auto a = uint32_t(alpha * 255.0f);
            row[pc] = (a << 24) | (grey << 16) | (grey << 8) | grey;
        }
    }
}

} // namespace

int BubbleEmitter::spawn(float, Vec3* position, Vec3* direction) {
    const BubbleSource& source = sources[size_t(demo_random::rand() % kBubbleSources)];
    *position = source.position;
    const float g1 = float(demo_random::rand());
    const float g2 = float(demo_random::rand());
    const float g3 = float(demo_random::rand());
    const Vec3 tilt =
        Vec3{(g3 - 16384.0f) / 16384.0f, (g2 - 16384.0f) / 16384.0f, (g1 - 16384.0f) / 16384.0f} *
        0.3f;
    *direction = normalise(Vec3{0, 1, 0} + tilt) * source.speed;
    return 0;
}

CameraShot SecondPart::cameraShot(float t) {
    if (t < kBubblesStart) {
        return {{0, 600, 5500 + 1050 * t}, {0, 480, 100000}, 0};
    }
    if (t < kFaceStart) {
        const float d = t - kBubblesStart;
        return {{7500 - 400 * d, 6000 - 500 * d, 20000 - 800 * d}, {0, 480, 15000}, -0.1f * d};
    }
    return {
        {5000 * std::cos(0.4f * t), 1800, 5000 * std::sin(0.4f * t) + 15000}, {0, 900, 15000}, 0};
}

int SecondPart::causticsFrame(float t) {
    return int(std::trunc(20 * t)) % kCausticsFrames;
}

float SecondPart::faceAlpha(float t) {
    return t > kFaceStart ? (std::sin(2 * t) + 1) * 0.24f : 0.0f;
}

int SecondPart::load() {
    // 1. Scene, light, fog, projection and camera.
    scene.allocateLights(1);
    scene.registry = gRegistry;
    scene.ambient = {0.4f, 0.4f, 0.4f, 0.4f};
    scene.flags = kSceneFlags;
    scene.fogMode = 1;
    scene.fogColour = kFogGrey;
    scene.fogStart = 0;
    scene.fogEnd = 12000;
    SceneLight& light = scene.lights[0];
    light.type = 1;
    light.enabled = 1;
    light.ambient = {0.5f, 0.5f, 0.5f, 0.5f};
    light.diffuse = {1, 1, 0.3f, 0.6f};
    projection.init(&gApp->frameBuffer, 78, 1, 50000);
    projection.mode = 2;
    camera.init(&projection, 0);
    camera.position = {0, 0, 0};
    scene.camera = &camera;

    // 2. The large target and the grid that shows it.
    splinesTarget =
        renderTarget("Part2-Splines render-target", kSplinesTargetSize, kFormatA8R8G8B8);
    const StageSetup doubled{gfx::D3DTOP_MODULATE2X, kArgTexture, kArgCurrent,
                             gfx::D3DTOP_SELECTARG1, kArgTexture, kArgCurrent};
    splinesGrid.setMaterial(
        fileSingleStageMaterial("Part2-splines-1", kStatesUnlit, doubled, splinesTarget));
    splinesGrid.create(kSplinesGridSize, kSplinesGridSize);
    splinesGrid.buildPolarTable();

    // 3. The caustics target and the grid that fills it from the atlas.
    causticsTarget =
        renderTarget("Part2-caustics-target-tex", kCausticsTargetSize, kFormatX8R8G8B8);
    const StageSetup plain{gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse,
                           gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse};
    causticsGrid.setMaterial(fileSingleStageMaterial(
        "Part2-caustics", kStatesUnlit, plain, loadTexture("data\\caustics.jpg", kErrorPart2)));
    causticsGrid.create(kCausticsGridSize, kCausticsGridSize);

    // 4-5. The spike field.
    buildSpikes();

    // 6. The face video and its grid.
    faceVideo.open("data\\face.mpg", 256, 192, 15, kFaceKey);
    const StageSetup keyed{gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse,
                           gfx::D3DTOP_MODULATE,   kArgTexture, kArgFactor};
    faceGrid.setMaterial(fileSingleStageMaterial("mpeg face1", kStateAlphaBlend | kStatesGouraud,
                                                 keyed, faceVideo.texture));
    faceGrid.create(kFaceGridSize, kFaceGridSize);

    // 7-8. The bubbles.
    buildBubbles();
    return 0;
}

void SecondPart::buildSpikes() {
    spikesMesh = std::make_unique<TriMesh>();
    spikesObject = std::make_unique<TriMeshObj>();
    TriMesh& mesh = *spikesMesh;
    if (mesh.create(kSpikeFieldVertices, kSpikeFieldFaces, 2, 1,
                    kMeshIndexed | kMeshSubsetMaterials | kMeshColours) != 0) {
        reportAndQuit("failed loading trimesh");
        return;
    }
    uint32_t spike = 0;
    for (int zr = 0; zr < kSpikesPerSide; ++zr) {
        for (int xc = 0; xc < kSpikesPerSide; ++xc, ++spike) {
            // The growth curve: six keys, each step rising and leaning out further.
            Vec3 point{(float(xc) + 0.5f) * kSpikeSpacing + kFieldOffsetX, 0,
                       (float(zr) + 0.5f) * kSpikeSpacing + kFieldOffsetZ};
            const float m = 0.5f + float(demo_random::rand() % 20000) * 0.000025f;
            Spline growth;
            growth.setKeyCount(6);
            for (int k = 0; k < 6; ++k) {
                growth.addKey(point, float(k));
                const float w = float(k * k) * 43.636364f;
                point.x += float(demo_random::rand() % 20000) * 2 * w * 0.00005f - w;
                point.y += (float(demo_random::rand() % 20000) * 0.016666668f + 333.33334f) * m;
                point.z += float(demo_random::rand() % 20000) * 2 * w * 0.00005f - w;
            }
            growth.prepare();

            const uint32_t base = kSpikeVertices * spike;
            uint32_t* index = mesh.indices + size_t(kSpikeFaces) * 3 * spike;
            for (uint32_t r = 0; r + 1 < kSpikeRings; ++r) {
                const uint32_t b = base + kSpikeSegments * r;
                for (uint32_t k = 0; k < kSpikeSegments; ++k) {
                    const uint32_t k1 = (k + 1) % kSpikeSegments;
                    const uint32_t tri[6] = {b + k,      b + k1, b + 10 + k,
                                             b + 10 + k, b + k1, b + 10 + k1};
                    index = std::copy(std::begin(tri), std::end(tri), index);
                }
            }

            demo_random::rand(); // one draw is discarded
            const float o = float(demo_random::rand() % 20000) * 0.00005f;

            Vec3 previous = growth.evaluate(0) - Vec3{0, 1, 0};
            for (uint32_t r = 0; r < kSpikeRings; ++r) {
                const Vec3 centre = growth.evaluate(float(r) * kRingTimeStep);
                const Vec3 d = centre - previous;
                const Vec3 n1 = normalise(cross(d, centre + previous));
                const Vec3 n2 = normalise(cross(n1, d));
                float radius = float(17 - int(r)) * kRingRadiusStep;
                if (r <= 3) {
                    radius *= float(4 - int(r)); // a flared base
                }
                for (uint32_t k = 0; k < kSpikeSegments; ++k) {
                    const uint32_t v = base + kSpikeSegments * r + k;
                    const float a = float(k + 1) * kSegmentAngle;
                    const Vec3 p = centre + (n1 * std::cos(a) + n2 * std::sin(a)) * radius;
                    mesh.positions[v] = p;
                    mesh.texCoords[0][v] = {float(r) * 0.055555556f * 0.804f + o,
                                            float(k) * 0.1f * 0.804f + o};
                    mesh.texCoords[1][v] = {p.x * 0.003f, p.z * 0.003f};
                    const uint32_t alpha = uint32_t(demo_random::rand() % 127 + 127);
                    const uint32_t red = uint32_t(demo_random::rand() % 127 + 127);
                    const uint32_t green = uint32_t(demo_random::rand() % 127 + 127);
                    const uint32_t blue = uint32_t(demo_random::rand() % 127 + 127);
                    mesh.colours[v] = (alpha << 24) | (red << 16) | (green << 8) | blue;
                }
                previous = centre;
            }
        }
    }

    mesh.subsetMaterials[0] =
        fileSpikesMaterial(loadTexture("data\\spikes.jpg", kErrorPart2), causticsTarget);
    spikesObject->init(&mesh, 0, 0);
    spikesObject->position = {0, 0, 0};
    mesh.computeNormals();
    uploadObject(mesh, *spikesObject);
}

void SecondPart::buildBubbles() {
    int existed = 0;
    TextureImage* sprite = gRegistry->acquireTexture(&existed, makeKey("part2 bubbles Texture"));
    if (existed != 0) {
        return;
    }
    Image image(1);
    if (image.allocate(64, 64, kFormatA8R8G8B8) == 0) {
        drawBubbleSprite(image);
        sprite->setImage(image, 0);
    }
    const StageSetup lit{gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse,
                         gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse};
    Material* material = fileSingleStageMaterial(
        "part2 bubbles", kStateAlphaBlend | kStatesGouraud | kStateNoCulling, lit, sprite);

    for (BubbleSource& source : bubbles.sources) {
        const float a = float(demo_random::rand());
        const float b = float(demo_random::rand());
        source.position = {b * 0.457763671875f - 7500, 0, a * 0.457763671875f + 7500};
        source.speed = float(demo_random::rand()) / 32768.0f * 500 + 300;
    }
    bubbles.setParameters(EmitterParameters{1.7f, 1.0f, 5.0f, 0.0f, 40.0f, 30.0f, 45.0f, 0.8f, 5000,
                                            ColorF{0.7f, 0.85f, 0.85f, 0.85f},
                                            ColorF{0.5f, 0.35f, 0.6f, 1.0f}});
    bubbles.baseDirection = {0, 1, 0};
    bubbles.speed = 500;
    bubbles.spread = 0.3f;
    bubbles.particles.init(kBubbleCapacity, 1);
    bubbles.particles.groupMaterials[0] = material;
    bubbles.attach(&bubbles.particles,
                   kEmitFromSpawn | kEmitBlendColour | kEmitRandomSize | kEmitFadeAlpha);
}

void SecondPart::writeGrids(float t) {
    if (GridVertex* v = splinesGrid.lockVertices()) {
        const uint32_t nx = splinesGrid.columns, ny = splinesGrid.rows;
        for (uint32_t j = 0; j < ny; ++j) {
            const float g = 0.8f * float(j) / float(ny - 1) + 0.1f;
            for (uint32_t k = 0; k < nx; ++k, ++v) {
                const float f = 0.8f * float(k) / float(nx - 1) + 0.1f;
                v->u = f + 0.05f * std::cos(f + 2 * t + g);
                v->v = g + 0.05f * std::sin(f + 3 * t + g);
            }
        }
        splinesGrid.unlockVertices();
    }
    if (GridVertex* v = causticsGrid.lockVertices()) {
        const int n = causticsFrame(t);
        const float cellU = float(n % kCausticsCells) * kSixth;
        const float cellV = float(n / kCausticsCells) * kSixth;
        const uint32_t nx = causticsGrid.columns, ny = causticsGrid.rows;
        for (uint32_t j = 0; j < ny; ++j) {
            for (uint32_t k = 0; k < nx; ++k, ++v) {
                v->colour = 0xFFFFFFFFu;
                v->u = cellU + float(k) / float(nx - 1) * kSixth;
                v->v = cellV + float(j) / float(ny - 1) * kSixth;
            }
        }
        causticsGrid.unlockVertices();
    }
    if (t > kFaceStart) {
        if (GridVertex* v = faceGrid.lockVertices()) {
            const uint32_t nx = faceGrid.columns, ny = faceGrid.rows;
            for (uint32_t j = 0; j < ny; ++j) {
                for (uint32_t k = 0; k < nx; ++k, ++v) {
                    v->u = float(k) / float(nx - 1);
                    v->v = 0.75f * float(j) / float(ny - 1);
                }
            }
            faceGrid.unlockVertices();
        }
        faceVideo.update();
    }
}

int SecondPart::render(float t, float dt) {
    RenderDriver* driver = gDriver;

    // 1. Bubbles on their own clock from 7.2 s.
    if (t > kBubblesStart) {
        bubbles.emit(t - kBubblesStart);
        bubbles.step(t - kBubblesStart, dt);
    }

    // 2-4. Grid coordinates and the video.
    writeGrids(t);

    // 5. Steering moves the camera, then the script decides what is seen.
    steerCamera(&mover, dt);
    mover.move(&camera, dt);
    const CameraShot shot = cameraShot(t);
    camera.lookAt(shot.eye, shot.target, shot.roll);

    // 6. Caustics into their small target.
    driver->setRenderTarget(driver, causticsTarget);
    driver->beginScene(driver, &scene);
    causticsGrid.draw();
    driver->endScene(driver);

    // 7. The spikes and bubbles into the large target.
    driver->setRenderTarget(driver, splinesTarget);
    driver->clearDepth(1.0f);
    driver->clear(driver, &kFogGrey);
    if (driver->beginScene(driver, &scene) != 0) {
        return 1;
    }
    constexpr int32_t kFar = int32_t(kSplinesTargetSize) - kSplinesSampledEdge;
    const gfx::Rect sampled{kSplinesSampledEdge, kSplinesSampledEdge, kFar, kFar};
    gApp->device->setDrawBounds(&sampled);
    if (spikesObject != nullptr && spikesObject->driverHandle != nullptr &&
        spikesMesh->subsetCount > 0) {
        drawSpikeRowsNearestFirst();
    }
    if (t > kBubblesStart) {
        bubbles.particles.draw();
    }
    gApp->device->setDrawBounds(nullptr);
    if (driver->endScene(driver) != 0) {
        return 1;
    }

    // 8. The 3D picture through the wobbling grid.
    driver->restoreRenderTarget(driver);
    if (driver->beginScene(driver, &scene) != 0) {
        return 1;
    }
    splinesGrid.draw();

    // 9-12. The face, the flashes and the fades.
    if (t > kFaceStart) {
        const ColorF factor{faceAlpha(t), 1, 1, 1};
        driver->setTextureFactor(&factor);
        faceGrid.draw();
        if (t < kFaceStart + 1) {
            drawOverlay(1 - (t - kFaceStart), 1);
        }
    }
    if (t >= kBubblesStart && t <= kBubblesStart + 1) {
        drawOverlay(1 - (t - kBubblesStart), 1);
    }
    if (t < 2) {
        drawOverlay((2 - t) * 0.5f, 1);
    }
    if (t >= kFadeOutStart) {
        drawOverlay(t - kFadeOutStart, 0);
    }
    return driver->endScene(driver);
}

// The spikes are opaque with depth writes: rows nearer the camera go first so that the depth
// test turns away the rows they hide before those are shaded. A row is 22 spikes, contiguous
// in the index buffer.
void SecondPart::drawSpikeRowsNearestFirst() {
    MeshSubset& subset = spikesMesh->subsets[0];
    const MeshSubset whole = subset;
    std::array<int, kSpikesPerSide> rows{};
    for (int zr = 0; zr < kSpikesPerSide; ++zr) {
        rows[size_t(zr)] = zr;
    }
    auto distance = [this](int zr) {
        const float z = (float(zr) + 0.5f) * kSpikeSpacing + kFieldOffsetZ;
        return std::fabs(z - camera.position.z);
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&](int a, int b) { return distance(a) < distance(b); });
    constexpr uint32_t kRowFaces = kSpikesPerSide * kSpikeFaces;
    for (const int zr : rows) {
        subset.firstFace = whole.firstFace + uint32_t(zr) * kRowFaces;
        subset.faceCount = kRowFaces;
        gDriver->drawObject(spikesObject.get());
    }
    subset = whole;
}

int SecondPart::release() {
    if (spikesMesh != nullptr && spikesMesh->hasBuffers() && gDriver != nullptr &&
        gDriver->releaseMeshBuffers != nullptr) {
        gDriver->releaseMeshBuffers(spikesMesh.get(), 0);
    }
    if (spikesObject != nullptr && spikesObject->driverHandle != nullptr && gDriver != nullptr &&
        gDriver->releaseObjectHandle != nullptr) {
        gDriver->releaseObjectHandle(spikesObject.get(), 0);
    }
    spikesObject.reset();
    spikesMesh.reset();
    return 0;
}
