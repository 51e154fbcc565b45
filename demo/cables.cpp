// Cables and greetings: load lays out the loop, the cables and their tubes, the maze
// textures, the particle systems and the camera rig from seed 4919; render moves the
// particles, finds the beat and draws background, cables, particles, flash and greetings.
#include "demo/cables.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "demo/maze.h"
#include "demo/part_materials.h"
#include "demo/sequencer.h"
#include "render/mesh_buffers.h"
#include "render/render_driver.h"
#include "scene/image.h"
#include "scene/image_loader.h"
#include "scene/particle_sprite.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The closed loop, in tens of units.
constexpr float kLoopPoints[kLoopKeys][3] = {
    {0, 0, 0},        {1, 0, 0},      {1000, 0, 0},   {1100, 100, 50}, {1200, 400, 100},
    {1100, 500, 80},  {600, 600, 50}, {600, 300, 20}, {550, 250, -20}, {-450, 250, -30},
    {-550, 100, -30}, {-450, 0, 0},   {-1, 0, 0},     {0, 0, 0}};

constexpr float kBeatTimes[kBeatCount] = {
    18.144009f, 18.615002f, 19.073002f, 19.566006f, 20.047009f, 20.494007f, 20.918003f,
    21.449001f, 21.906002f, 22.329006f, 22.787006f, 23.245007f, 23.740002f, 24.163006f,
    24.657001f, 25.116009f, 25.574009f, 25.997005f, 26.456005f, 26.950008f, 27.443005f,
    27.902004f, 28.327007f, 28.795002f, 29.238003f};

// Lines 3..25 are our own choice of greetings.
constexpr const char* kGreetings[kGreetingLines] = {"ztr",
                                                    "and vrell",
                                                    "would like to greet",
                                                    "the static orchard",
                                                    "quaternion quilt",
                                                    "glowworm syndicate",
                                                    "brass lantern crew",
                                                    "northbound raster",
                                                    "halfbyte heron",
                                                    "the lowpass society",
                                                    "velvet overflow",
                                                    "paper kraken",
                                                    "lumen carousel",
                                                    "gridlocked owls",
                                                    "hexagon hollow",
                                                    "amber tessera",
                                                    "kelvin drift",
                                                    "cobalt ferns",
                                                    "fathom & finch",
                                                    "mirrorbridge",
                                                    "tealshift",
                                                    "saltmarsh",
                                                    "pixelmoth",
                                                    "moirette",
                                                    "nightjar9",
                                                    "rubyfox"};

// Emissive colour (red, green, blue) and maze texture of each cable.
struct CableLook {
    float red, green, blue;
    int texture;
};
constexpr CableLook kCableLooks[kCableCount] = {
    {1, 1, 1, 0},          {0.3f, 0.9f, 0.5f, 1}, {0.5f, 0.4f, 1.0f, 1}, {1.0f, 0.4f, 0.5f, 1},
    {0.8f, 0.9f, 0.2f, 1}, {0.3f, 0.9f, 0.7f, 1}, {0, 0, 1, 1},          {1, 0, 0, 1},
    {0.4f, 0.5f, 0.1f, 1}, {1, 0, 1, 1}};

// Maze texture: 256 pixels of 4 per maze unit; a 32 x 32 maze has 64 units per side.
constexpr int kMazeTextureSize = 256;
constexpr int kMazeTextureCells = 32;

// Alpha blending, Gouraud lighting, no culling.
constexpr uint32_t kGlowFlags = kStateAlphaBlend | kStatesGouraud | kStateNoCulling;

float random01() {
    return float(demo_random::rand()) / 32768.0f;
}
float randomSigned() {
    return float(demo_random::rand()) / 16384.0f - 1.0f;
}

Material* fileGlowMaterial(const char* name, uint32_t sourceBlend, uint32_t destinationBlend,
                           const StageSetup& stage, TextureImage* texture, ColorF lit,
                           ColorF emissive) {
    MaterialColours colours;
    RenderStateBlock states;
    fillSingleStageBlocks(colours, states, kGlowFlags, stage);
    colours.ambient = lit;
    colours.diffuse = lit;
    colours.emissive = emissive;
    states.sourceBlend = sourceBlend;
    states.destinationBlend = destinationBlend;
    return fileMaterial(name, colours, states, texture);
}

} // namespace

// ---- FlowEmitter ------------------------------------------------------------------------

void FlowEmitter::advance(float deltaTime) {
    for (FlowPoint& p : points) {
        p.position += deltaTime * p.speed;
        if (p.position > 0.9999f) {
            p.position = 0.00011f;
        } else if (p.position < 0.0001f) {
            p.position = 0.9998f;
        }
    }
}

int FlowEmitter::spawn(float, Vec3* position, Vec3* direction) {
    const FlowPoint& p = points[size_t(demo_random::rand() % kFlowPoints)];
    const float jx = randomSigned();
    const float jy = randomSigned();
    const float jz = randomSigned();
    const Vec3 at = loopPath->evaluate(p.position) + Vec3{jx, jy, jz} * 0.003f;
    const Vec3 ahead = loopPath->evaluate(p.position + 1e-6f);
    const float oz = randomSigned();
    const float oy = randomSigned();
    const float ox = randomSigned();
    *position = at;
    *direction = (ahead - at) * (1e6f * p.speed) + Vec3{ox, oy, oz} * 25.0f;
    return 0;
}

// ---- CablesPart -------------------------------------------------------------------------

CablesPart::CablesPart(float duration) : DemoPart(duration) {}

CablesPart::~CablesPart() {
    release();
}

void CablesPart::buildLoopPath() {
    // Key times run from 0 to 1.01 in proportion to the polyline's length.
    double lengths[kLoopKeys] = {0};
    for (int k = 1; k < kLoopKeys; ++k) {
        const double dx = 10.0 * (kLoopPoints[k][0] - kLoopPoints[k - 1][0]);
        const double dy = 10.0 * (kLoopPoints[k][1] - kLoopPoints[k - 1][1]);
        const double dz = 10.0 * (kLoopPoints[k][2] - kLoopPoints[k - 1][2]);
        lengths[k] = lengths[k - 1] + std::sqrt(dx * dx + dy * dy + dz * dz);
    }
    loopPath.setKeyCount(kLoopKeys);
    for (int k = 0; k < kLoopKeys; ++k) {
        const Vec3 p{kLoopPoints[k][0] * 10, kLoopPoints[k][1] * 10, kLoopPoints[k][2] * 10};
        loopPath.addKey(p, float(1.01 * lengths[k] / lengths[kLoopKeys - 1]));
    }
    loopPath.prepare();
}

void CablesPart::buildCablePaths() {
    for (int c = 0; c < kCableCount; ++c) {
        const double phase = c * 0.6283185307179581; // 2 pi / 10
        Spline& path = cablePaths[c];
        path.setKeyCount(kCableKeys);
        Vec3 v{0, 0, 0};
        for (int e = 0; e < kCableKeys; ++e) {
            const float s = float(e * 0.010121212121212123);
            const Vec3 at = loopPath.evaluate(s);
            const Vec3 t = normalise(loopPath.evaluate(s + 1e-6f) - at);
            Vec3 w;
            if (e == 0) {
                makeBasis(t, Vec3{0, 1, 0}, &v, &w);
            } else {
                // Carried along without twist: the previous V with its T part removed.
                v = normalise(v - t * dot(v, t));
                w = cross(t, v);
            }
            const double a = double(e) / 99.0 * 30.85043985825174 + phase;
            const Vec3 offset = (w * float(std::cos(a)) + v * float(std::sin(a))) * 400.0f;
            path.addKey(at + offset, float(e) * 0.01010101f);
        }
        path.prepare();
    }
}

void CablesPart::buildCableMeshes() {
    for (int c = 0; c < kCableCount; ++c) {
        TriMesh& mesh = cableMeshes[c];
        if (mesh.create(kCableRings * kCableSides, (kCableRings - 1) * kCableSides * 2, 1, 1,
                        kMeshIndexed | kMeshSubsetMaterials) != 0) {
            reportAndQuit("failed loading trimesh");
            continue;
        }
        Spline& path = cablePaths[c];
        for (int r = 0; r < kCableRings; ++r) {
            const float s = float(r) / float(kCableRings - 1) * 0.999f;
            const Vec3 at = path.evaluate(s);
            const Vec3 t = normalise(path.evaluate(s + 0.00001f) - at);
            Vec3 a, b;
            makeBasis(t, Vec3{0, 1, 0}, &a, &b);
            for (int i = 0; i < kCableSides; ++i) {
                const double angle = 2 * kPi * i / kCableSides;
                const size_t index = size_t(r * kCableSides + i);
                mesh.positions[index] =
                    at + (a * float(std::cos(angle)) + b * float(std::sin(angle))) * 50.0f;
                mesh.texCoords[0][index] = {float(i) / kCableSides, 22 * s};
            }
        }
        uint32_t* out = mesh.indices;
        for (uint32_t r = 0; r + 1 < uint32_t(kCableRings); ++r) {
            const uint32_t b = kCableSides * r;
            for (uint32_t j = 0; j + 1 < uint32_t(kCableSides); ++j) {
                const uint32_t quad[6] = {b + j, b + j + 1,  b + j + 17,
                                          b + j, b + j + 17, b + j + 16};
                out = std::copy(quad, quad + 6, out);
            }
            const uint32_t closing[6] = {b + 15, b, b + 16, b + 15, b + 16, b + 31};
            out = std::copy(closing, closing + 6, out);
        }
    }
}

void CablesPart::buildMazeTextures() {
    MazeGrid grid(kMazeTextureCells, kMazeTextureCells);
    grid.generate();
    // Even units are cells (open), odd units are walls (open where the passage is).
    std::vector<uint8_t> value(size_t(kMazeTextureSize) * kMazeTextureSize);
    for (int y = 0; y < kMazeTextureSize; ++y) {
        for (int x = 0; x < kMazeTextureSize; ++x) {
            const int ux = x / 4, uy = y / 4;
            uint8_t v = 0;
            if (ux % 2 == 0 && uy % 2 == 0) {
                v = 255;
            } else if (ux % 2 == 1 && uy % 2 == 0) {
                v = grid.passage(ux / 2, uy / 2, 1) ? 255 : 0;
            } else if (ux % 2 == 0 && uy % 2 == 1) {
                v = grid.passage(ux / 2, uy / 2, 0) ? 255 : 0;
            }
            value[size_t(y) * kMazeTextureSize + x] = v;
        }
    }
    const char* names[2] = {"Part5TunnelTexture0", "Part5TunnelTexture1"};
    const float factors[2] = {0.8f, 0.6f};
    for (int k = 0; k < 2; ++k) {
        int existed = 0;
        TextureImage* texture = gRegistry->acquireTexture(&existed, makeKey(names[k]));
        if (texture->allocate(kMazeTextureSize, kMazeTextureSize, 41, 0) != 0) {
            continue;
        }
        uint8_t* pixels = texture->levels[0];
        for (int y = 0; y < kMazeTextureSize; ++y) {
            const int sy = std::min(y, kMazeTextureSize - 2); // row 255 repeats row 254
            for (int x = 0; x < kMazeTextureSize; ++x) {
                const int sx = std::min(x, kMazeTextureSize - 2);
                const uint8_t v =
                    uint8_t(float(value[size_t(sy) * kMazeTextureSize + sx]) * factors[k]);
                std::memset(pixels + (size_t(y) * kMazeTextureSize + x) * 4, v, 4);
            }
        }
    }
}

int CablesPart::load() {
    // 1-2. The seed, then the loop.
    demo_random::srand(kCablesSeed);
    buildLoopPath();

    // 3. The clusters: cable, position, speed and its sign, four draws each.
    streamParticles.init(kStreamParticleCapacity, 1);
    for (int i = 0; i < kStreamCount; ++i) {
        CableStream& s = streams[size_t(i)];
        s.firstParticle = i * kStreamsPerCable;
        s.cable = demo_random::rand() % kCableCount;
        s.position = random01();
        s.speed = float(demo_random::rand()) * 1.52587890625e-6f + 0.05f;
        if ((demo_random::rand() & 1) != 0) {
            s.speed = -s.speed;
        }
    }
    ParticleRecord templateParticle{};
    templateParticle.colour = {1, 1, 1, 1};
    templateParticle.size = 200;
    templateParticle.startSize = 150;
    templateParticle.birthTime = 150;
    std::fill(streamParticles.records.begin(), streamParticles.records.end(), templateParticle);

    // 4. The glow sprite and the material both particle systems use.
    int existed = 0;
    TextureImage* sprite = gRegistry->acquireTexture(&existed, makeKey("Part5ParticleTexture"));
    if (existed == 0) {
        Image image(1);
        if (image.allocate(64, 64, 41) == 0) {
            renderParticleSprite(image, 0.4f, 0.6f, 1.0f);
            sprite->setImage(image, 0);
        }
    }
    const StageSetup glowStage{gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse,
                               gfx::D3DTOP_MODULATE, kArgTexture, kArgFactor};
    Material* particleMaterial =
        fileGlowMaterial("Part5ParticleMaterial", gfx::D3DBLEND_ONE, gfx::D3DBLEND_ONE, glowStage,
                         sprite, ColorF{1, 1, 1, 1}, ColorF{0, 0, 0, 0});
    streamParticles.groupMaterials[0] = particleMaterial;

    // 5. The flow: 100 points, then the emitter's settings and its array.
    for (FlowPoint& p : flowEmitter.points) {
        p.position = random01();
        p.speed = float(demo_random::rand()) * 9.1552734375e-7f + 0.03f;
    }
    flowEmitter.setParameters(EmitterParameters{1.7f, 1.0f, 0.5f, 0.0f, 20.0f, 15.0f, 20.0f, 0.8f,
                                                5000, ColorF{0.7f, 0.85f, 0.85f, 0.85f},
                                                ColorF{0.5f, 0.35f, 0.6f, 1.0f}});
    flowEmitter.directionScale = 1.0f;
    flowEmitter.reserved = 0;
    flowEmitter.speed = 500;
    flowEmitter.spread = 0.3f;
    flowEmitter.loopPath = &loopPath;
    flowEmitter.particles.init(kFlowParticleCapacity, 1);
    flowEmitter.particles.groupMaterials[0] = particleMaterial;
    flowEmitter.attach(&flowEmitter.particles,
                       kEmitFromSpawn | kEmitBlendColour | kEmitRandomSize | kEmitFadeAlpha);

    // 6. Scene, light, fog, projection and camera.
    scene.flags = kSceneCreated;
    scene.allocateLights(1);
    scene.registry = gRegistry;
    SceneLight& light = scene.lights[0];
    light.type = 1;
    light.ambient = {0.2f, 0.2f, 0.2f, 0.2f};
    light.diffuse = {1, 1, 1, 1};
    light.enabled = 1;
    scene.ambient = {0.5f, 0.5f, 0.5f, 0.5f};
    scene.fogColour = {0, 0, 0, 0};
    scene.fogMode = 1;
    scene.fogStart = 0;
    scene.fogEnd = 10000;
    projection.init(&gApp->frameBuffer, 80, 10, 100000);
    projection.mode = 2;
    camera.init(&projection, 0);
    scene.camera = &camera;

    // 7-9. Cable paths and tubes, then the maze textures (continuing the same draws).
    buildCablePaths();
    buildCableMeshes();
    buildMazeTextures();

    // 10-11. Materials and objects.
    TextureImage* mazeTextures[2] = {
        gRegistry->acquireTexture(&existed, makeKey("Part5TunnelTexture0")),
        gRegistry->acquireTexture(&existed, makeKey("Part5TunnelTexture1"))};
    const StageSetup cableStage{gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse,
                                gfx::D3DTOP_MODULATE, kArgTexture, kArgFactor};
    for (int i = 0; i < kCableCount; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Part5Cable%d", i + 1);
        const CableLook& look = kCableLooks[i];
        Material* material = fileGlowMaterial(
            name, gfx::D3DBLEND_SRCALPHA, gfx::D3DBLEND_ONE, cableStage, mazeTextures[look.texture],
            ColorF{0, 0, 0, 0}, ColorF{1, look.red, look.green, look.blue});
        TriMesh& mesh = cableMeshes[i];
        if (mesh.subsetMaterials != nullptr) {
            mesh.subsetMaterials[0] = material;
        }
        cableObjects[i].init(&mesh, 0, 0);
        mesh.computeNormals();
        if (gDriver->createMeshBuffers(&mesh, 0) != 0) {
            reportAndQuit("failed loading trimesh");
        }
        if (gDriver->createObjectHandle(&cableObjects[i], 0) != 0) {
            reportAndQuit("failed loading trimeshobj");
        }
    }

    // 12. Falloff, and the camera at rest.
    falloff = FalloffParams{0.2f, 0.3f, 0.1f, 1.0f, 200.0f};
    camera.position = {0, 0, 0};
    camera.orientation = identity3();

    // 13. The rig rides cable 0, looking a hundredth of the loop ahead.
    Spline& first = cablePaths[0];
    cameraRig.eye.setKeyCount(kCableKeys);
    cameraRig.target.setKeyCount(kCableKeys);
    for (int k = 0; k < kCableKeys; ++k) {
        const float keyTime = first.keys[k].time;
        cameraRig.eye.addKey(first.keys[k].value, 31 * keyTime);
        cameraRig.target.addKey(first.evaluate(keyTime + 0.01f), 31 * keyTime);
    }
    cameraRig.roll.setKeyCount(2);
    cameraRig.roll.addScalarKey(0, 0);
    cameraRig.roll.addScalarKey(0, 30);
    cameraRig.prepare();

    // 14. The background picture.
    Material* background =
        fileSingleStageMaterial("part-5-bg", 0,
                                StageSetup{gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse,
                                           gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse},
                                loadTexture("data\\entropy.jpg", kErrorDomino));
    picture.create(5, 5);
    picture.setMaterial(background);
    return 0;
}

BeatLevel CablesPart::beatLevel(float t) {
    BeatLevel result{0, 0};
    for (int n = 0; n < kBeatCount; ++n) {
        const float start = kBeatTimes[n] - 0.2f;
        if (start <= t && t <= start + 0.9f) {
            result = {n, float(1 - double(t - start) * 1.1111111405455043)};
        }
    }
    return result;
}

const char* CablesPart::greeting(int line) {
    return line >= 0 && line < kGreetingLines ? kGreetings[line] : "";
}

void CablesPart::updateStreams(float deltaTime) {
    for (CableStream& s : streams) {
        if (s.position > 0.999f) {
            s.position = 0.998f;
            s.speed = -s.speed;
            s.cable = demo_random::rand() % kCableCount;
        }
        if (s.position < 0.001f) {
            s.position = 0.0011f;
            s.speed = -s.speed;
            s.cable = demo_random::rand() % kCableCount;
        }
        const Vec3 centre = cablePaths[s.cable].evaluate(s.position);
        for (int k = 0; k < kStreamsPerCable; ++k) {
            const float z = randomSigned() * 0.5f;
            const float y = randomSigned() * 0.5f;
            const float x = randomSigned() * 0.5f;
            Vec3 direction{x, y, z};
            const float length = std::sqrt(dot(direction, direction));
            direction = length > 0 ? direction * (1.0f / length) : Vec3{0, 1, 0};
            ParticleRecord& r = streamParticles.records[size_t(s.firstParticle + k)];
            r.position = centre + direction * 25.0f;
            r.colour = r.startColour = ColorF{1.0f, 0.2f, 0.5f, 0.9f};
            r.size = 10;
            r.flags |= kParticleAlive;
        }
        s.position += deltaTime * s.speed;
    }
}

void CablesPart::drawGreetings(const BeatLevel& beat) {
    for (int i = 0; i < kGreetingLines; ++i) {
        const float k = float(std::abs(i - beat.beat)) * beat.level * 0.4f;
        const ColorF colour{1, std::max(0.0f, 0.6f - k), std::max(0.0f, 0.5f - k), 1 - k};
        if (colour.b <= 0) {
            continue;
        }
        gDriver->drawText(26 * i + 5, 22 * i + 5, kGreetings[i], &colour, 28, "Tahoma");
    }
}

int CablesPart::render(float localTime, float deltaTime) {
    RenderDriver* driver = gDriver;
    const float t = localTime;

    // 1. Particles.
    for (Spline& path : cablePaths) {
        path.cursor = 0;
    }
    updateStreams(deltaTime);
    flowEmitter.advance(deltaTime);
    flowEmitter.emit(t);
    flowEmitter.step(t, deltaTime);

    // 2. Camera and light.
    cameraRig.apply(&camera, t);
    const float* forward = camera.orientation.m[2];
    scene.lights[0].direction = {forward[0], forward[1], forward[2]};

    // 3-4. Beat and background.
    const BeatLevel beat = beatLevel(t);
    if (GridVertex* v = picture.lockVertices(); v != nullptr) {
        for (uint32_t i = 0; i < picture.rows; ++i) {
            for (uint32_t j = 0; j < picture.columns; ++j, ++v) {
                v->colour = 0xFFFFFFFFu;
                v->u = float(j) / 4;
                v->v = float(i) / 4;
            }
        }
        picture.unlockVertices();
    }

    // 5-7. No depth; background, then the cables dimmed by the beat.
    scene.flags &= ~(kSceneDepthTest | kSceneDepthWrite);
    scene.flags |= kSceneWrapU0;
    if (driver->beginScene(driver, &scene) != 0) {
        return 1;
    }
    picture.draw();
    const ColorF dim{1 - beat.level, 1, 1, 1};
    driver->setTextureFactor(&dim);
    for (TriMeshObj& object : cableObjects) {
        driver->drawObject(&object);
    }

    // 8. Particles.
    scene.flags &= ~kSceneWrapU0;
    driver->applyScene(driver, &scene, 0);
    streamParticles.draw();
    flowEmitter.particles.draw();

    // 9-12. Flash, greetings, fades.
    if (beat.level != 0) {
        const ColorF flash{beat.level, 1, 1, 1};
        driver->setTextureFactor(&flash);
        driver->drawFactorOverlay();
        drawGreetings(beat);
    }
    if (t < 4) {
        const ColorF fadeIn{(4 - t) * 0.25f, 0, 0, 0};
        driver->setTextureFactor(&fadeIn);
        driver->drawFactorOverlay();
    }
    if (t > 28) {
        const ColorF fadeOut{(t - 28) * 0.5f, 1, 1, 1};
        driver->setTextureFactor(&fadeOut);
        driver->drawFactorOverlay();
    }
    return driver->endScene(driver) != 0 ? 1 : 0;
}

int CablesPart::release() {
    for (int i = 0; i < kCableCount; ++i) {
        if (cableMeshes[i].buffers != nullptr) {
            releaseMeshBuffers(&cableMeshes[i], 1);
        }
        cableMeshes[i].release();
        if (cableObjects[i].driverHandle != nullptr) {
            releaseObjectHandle(&cableObjects[i], 1);
        }
        cableObjects[i].releaseObject();
    }
    return 0;
}
