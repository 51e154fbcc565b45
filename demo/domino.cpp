// The Domino rally scene: the tunnel, the camera ride, the two fields (demo/domino_fields.cpp)
// and the closing picture. Load builds everything; render updates the falling dominoes and
// draws. Dominoes never stand up again: time is assumed to run on.
#include "demo/domino.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "demo/maze.h"
#include "demo/part_materials.h"
#include "render/mesh_buffers.h"
#include "render/render_driver.h"
#include "scene/image_loader.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace domino;

namespace {

// Tunnel and flags: faces, per-subset materials (normals computed afterwards).
constexpr uint32_t kTunnelRings = 101;
constexpr uint32_t kTunnelSegments = 64;
constexpr uint32_t kTunnelMeshFlags = kMeshIndexed | kMeshSubsetMaterials;

// The closing picture: 45 x 45 grid vertices.
constexpr uint32_t kPictureGrid = 45;

// Beat times of the white flashes and of the picture's pulses (seconds of local time).
constexpr float kFlashTimes[7] = {33.055007934570312f, 33.406005859375f,    33.723007202148438f,
                                  37.402008056640625f, 40.273010253906250f, 40.752014160156250f,
                                  41.126014709472656f};
constexpr float kPulseTimes[6] = {33.730010986328125f, 34.447006225585938f, 37.446014404296875f,
                                  38.164001464843750f, 41.126007080078125f, 41.854003906250000f};

// The ride ends 0.95 of the way down the centre line.
constexpr Vec3 kRideStart{0, -25, -100};
constexpr Vec3 kRideEnd{0, -25, 1074.4246826171875f};

void releaseDriverRecords(TriMesh& mesh, TriMeshObj& object) {
    if (object.driverHandle != nullptr) {
        releaseObjectHandle(&object, 1);
    }
    if (mesh.buffers != nullptr) {
        releaseMeshBuffers(&mesh, 1);
    }
}

} // namespace

// ---- DominoRallyPart --------------------------------------------------------------------

DominoRallyPart::DominoRallyPart(float duration) : DemoPart(duration) {}

DominoRallyPart::~DominoRallyPart() {
    // Parts are destroyed while the device still exists, so the buffers go back here.
    for (auto& field : fields) {
        releaseDriverRecords(field->mesh, field->object);
    }
    releaseDriverRecords(tunnelMesh, tunnelObject);
}

int DominoRallyPart::load() {
    // 1-3. Scene with one directional light, projection with fog, camera.
    scene.flags = kSceneCreated;
    scene.allocateLights(1);
    scene.registry = gRegistry;
    scene.ambient = {0, 0, 0, 0};
    SceneLight& light = scene.lights[0];
    light.type = 1;
    light.ambient = {0.2f, 0.2f, 0.2f, 0.2f};
    light.diffuse = {1, 1, 1, 1};
    light.enabled = 1;
    projection.init(&gApp->frameBuffer, 80, 1, 10000);
    projection.mode = 2;
    scene.fogColour = {1, 0.125f, 0.5625f, 0.8125f};
    scene.fogMode = 1;
    scene.fogStart = 0;
    scene.fogEnd = 800;
    camera.init(&projection, 0);
    camera.position = {0, 0, -250};
    camera.orientation = identity3();
    scene.camera = &camera;

    // 4. "tunnel texture": filed in the registry but never drawn by this part.
    TextureImage* tunnel = loadTexture("data\\tunnel.jpg", kErrorDomino);
    tunnelTextureMaterial =
        fileSingleStageMaterial("tunnel texture", kStatesGouraud,
                                StageSetup{gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse,
                                           gfx::D3DTOP_MODULATE, kArgTexture, kArgFactor},
                                tunnel);

    // 5. The fields; the spiral starts when the maze's exit domino falls.
    auto maze = std::make_unique<DominoMaze>();
    maze->build();
    auto spiral = std::make_unique<DominoSpiral>();
    spiral->startTime = maze->finishTime;
    spiral->build();
    fields.push_back(std::move(maze));
    fields.push_back(std::move(spiral));

    // 6-8.
    buildTunnel();
    falloff = FalloffParams{0.2f, 0.3f, 0.1f, 1.0f, 60.0f};
    buildCameraCurves();

    // 9. The closing picture: colour = texture + vertex grey, alpha = texture factor.
    Material* pict = fileMaterial("domino final pict", kStateAlphaBlend,
                                  StageSetup{gfx::D3DTOP_ADD, kArgTexture, kArgDiffuse,
                                             gfx::D3DTOP_SELECTARG1, kArgFactor, kArgDiffuse},
                                  loadTexture("data\\ice-dragon.jpg", kErrorDomino),
                                  gfx::D3DTEXF_LINEAR, kWhite, kNone);
    picture.create(kPictureGrid, kPictureGrid);
    picture.buildPolarTable();
    picture.setMaterial(pict);
    return 0;
}

void DominoRallyPart::buildTunnel() {
    const DominoMaze& maze = static_cast<const DominoMaze&>(*fields[0]);
    if (tunnelMesh.create(kTunnelRings * kTunnelSegments, (kTunnelRings - 1) * kTunnelSegments * 2,
                          1, 1, kTunnelMeshFlags) != 0) {
        return;
    }
    uint32_t* index = tunnelMesh.indices;
    for (uint32_t r = 0; r + 1 < kTunnelRings; ++r) {
        const uint32_t b = kTunnelSegments * r;
        for (uint32_t j = 0; j + 1 < kTunnelSegments; ++j) {
            const uint32_t quad[6] = {b + j, b + j + 1, b + j + 65, b + j, b + j + 65, b + j + 64};
            index = std::copy(quad, quad + 6, index);
        }
        const uint32_t closing[6] = {b + 63, b, b + 64, b + 63, b + 64, b + 127};
        index = std::copy(closing, closing + 6, index);
    }
    for (uint32_t r = 0; r < kTunnelRings; ++r) {
        const double s = 0.01 * r;
        const double v = 1.9 * s - 0.1;
        // Past the maze the tunnel flares out round the spiral field and closes behind it.
        const double w =
            v <= 1 ? 1.01 : std::max(0.0, (0.3 - std::abs(v - 1.3)) * 33.333333333333333 + 1.01);
        for (uint32_t j = 0; j < kTunnelSegments; ++j) {
            const DVec3 p = maze.surfacePoint(2.0 * j / kTunnelSegments, v);
            const uint32_t i = r * kTunnelSegments + j;
            tunnelMesh.positions[i] = {float(w * p.x), float(w * p.y), float(p.z)};
            tunnelMesh.texCoords[0][i] = {float(j) / kTunnelSegments, float(4 * s)};
        }
    }
    tunnelMesh.subsetMaterials[0] = fileMaterial(
        "DominoTunnelMaterial", kStatesGouraud, kLitTexture,
        loadTexture("data\\tunnel.jpg", kErrorDomino), gfx::D3DTEXF_LINEAR, kWhite, kWhite);
    tunnelObject.init(&tunnelMesh, 0, 0);
    tunnelMesh.computeNormals();
    gDriver->createMeshBuffers(&tunnelMesh, 0);
    gDriver->createObjectHandle(&tunnelObject, 0);
}

void DominoRallyPart::buildCameraCurves() {
    const Vec3 a = kRideStart, b = kRideEnd;
    const Vec3 ab = b - a;
    eyePath.setKeyCount(7);
    eyePath.addKey(a, 0);
    eyePath.addKey(a + ab * 0.7f, 12.6f);
    eyePath.addKey(a + ab * 0.9f, 16.2f);
    eyePath.addKey(b, 18);
    eyePath.addKey(b + Vec3{-30, 175, 175}, 27);
    eyePath.addKey(b + Vec3{-38, 150, 175}, 29);
    eyePath.addKey(b + Vec3{-40, 145, 175}, 30);
    targetPath.setKeyCount(6);
    targetPath.addKey(a + Vec3{0, 0, 200}, 0);
    targetPath.addKey(a + ab * 0.9f + Vec3{0, 0, 200}, 16.2f);
    targetPath.addKey(b + Vec3{0, 0, 200}, 18);
    targetPath.addKey(b + Vec3{-30, 25, 200}, 27);
    targetPath.addKey(b + Vec3{-38, 25, 195}, 29);
    targetPath.addKey(b + Vec3{-40, 25, 195}, 30);
    rollCurve.setKeyCount(5);
    for (float time : {0.0f, 18.0f, 19.0f, 29.0f, 30.0f}) {
        rollCurve.addScalarKey(0, time);
    }
    swayCurve = std::make_unique<Spline>();
    swayCurve->setKeyCount(6);
    swayCurve->addScalarKey(0, 0);
    swayCurve->addScalarKey(0.3f, 3);
    swayCurve->addScalarKey(-0.2f, 6);
    swayCurve->addScalarKey(-0.6f, 10);
    swayCurve->addScalarKey(0.4f, 13);
    swayCurve->addScalarKey(0, 19);
    eyePath.prepare();
    targetPath.prepare();
    rollCurve.prepare();
    swayCurve->prepare();
}

void DominoRallyPart::updateCamera(float t) {
    // The ride down the pipe weighs 0.8 until 16 s and hands over to the keys by 19 s.
    const float w = t < 16 ? 0.8f : t < 19 ? 0.8f - (t - 16) * 0.26666666666666666f : 0.0f;
    const float s = t / 19 * 1.1f - 0.1f;
    const float sway = swayCurve->evaluateScalar(t);
    const Vec3 swing{std::sin(sway) * 30, -std::cos(sway) * 30, 0};
    const Vec3 ride = toFloat(mazeCentreLine(s)) + swing;
    const Vec3 rideAhead = toFloat(mazeCentreLine(double(s) + 0.005)) + swing;
    const Vec3 keyEye = eyePath.evaluate(t);
    const Vec3 keyTarget = targetPath.evaluate(t);
    const float roll = rollCurve.evaluateScalar(t);
    const Vec3 eye = keyEye + (ride - keyEye) * w;
    const Vec3 target = keyTarget + (rideAhead - keyTarget) * w;
    camera.lookAt(eye, target, roll + (-roll - sway) * w);
}

float DominoRallyPart::pictureAlpha(float t) {
    return t < 33 ? 1 - (33 - t) / 3 : 1.0f;
}

float DominoRallyPart::pulse(float t) {
    for (float p : kPulseTimes) {
        const float d = std::abs(t - p);
        if (d < 0.2f) {
            return 1 - 5 * d;
        }
    }
    return 0;
}

float DominoRallyPart::flashAlpha(float t) {
    for (float f : kFlashTimes) {
        const float d = std::abs(t - f);
        if (d > 0 && d < 0.1f) {
            return 1 - 10 * d;
        }
    }
    return 0;
}

void DominoRallyPart::drawPicture(float t) {
    const float w35 = t < 35 ? 1 - (35 - t) * 0.2f : 1.0f;
    const float f = pulse(t);
    const float twist = f != 0 ? 2 * f : 0.0f;
    const float zoom = f != 0 ? f * w35 * 8 + 1 : 1.0f;
    GridVertex* vertex = picture.lockVertices();
    if (vertex == nullptr || !picture.polarTable) {
        if (vertex != nullptr) {
            picture.unlockVertices();
        }
        return;
    }
    for (uint32_t j = 0; j < kPictureGrid; ++j) {
        for (uint32_t k = 0; k < kPictureGrid; ++k, ++vertex) {
            const PolarEntry& polar = picture.polar(k, j);
            float d = polar.radius * zoom;
            d += (f + 0.2f * w35) * 0.05f * std::sin(20 * d + 3 * t);
            const float phi = polar.angle + w35 * twist;
            vertex->u = 0.5f - d * std::cos(phi);
            vertex->v = 0.5f - d * std::sin(phi);
            const float wave = std::sin((1 - d) * 24 + 5 * t + 0.15f * float(j * k));
            const uint32_t grey = uint32_t(int(w35 * (wave * wave + 1) * 56)) & 0xFF;
            vertex->colour = grey * 0x010101u;
        }
    }
    picture.unlockVertices();
    picture.draw();
}

int DominoRallyPart::render(float localTime, float deltaTime) {
    RenderDriver* driver = gDriver;
    const float t = localTime;
    updateCamera(t);
    const float* forward = camera.orientation.m[2];
    scene.lights[0].direction = {forward[0], forward[1], forward[2]};
    for (auto& field : fields) {
        field->updateFalling(t, deltaTime);
    }
    if (driver->beginScene(driver, &scene) != 0) {
        return 1;
    }
    if (t <= 33) {
        for (auto& field : fields) {
            driver->drawObject(&field->object);
        }
        scene.flags |= kSceneWrapU0;
        driver->applyScene(driver, &scene, 0);
        driver->drawObject(&tunnelObject);
        scene.flags &= ~kSceneWrapU0;
    }
    if (t > 30) {
        const ColorF factor{pictureAlpha(t), 1, 1, 1};
        driver->setTextureFactor(&factor);
        drawPicture(t);
    }
    if (const float flash = flashAlpha(t); flash != 0) {
        const ColorF white{flash, 1, 1, 1};
        driver->setTextureFactor(&white);
        driver->drawFactorOverlay();
    }
    if (t >= 0 && t < 3) {
        const ColorF fade{(3 - t) / 3, 1, 1, 1};
        driver->setTextureFactor(&fade);
        driver->drawFactorOverlay();
    }
    return driver->endScene(driver) != 0 ? 1 : 0;
}

int DominoRallyPart::release() {
    for (auto& field : fields) {
        field->dominoes.clear();
        field->dominoes.shrink_to_fit();
        releaseDriverRecords(field->mesh, field->object);
    }
    fields.clear();
    return 0;
}
