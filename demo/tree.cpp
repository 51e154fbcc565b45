// The Tree (30 s): load seeds the shared generator, grows the branches and builds the trunk
// and leaves meshes at their exact sizes; render moves the camera through its script, draws
// a prefix of the trunk, fades the leaves in, lays the frame picture over everything and
// paints the flashes. Only the camera, lights and drawn count change per frame.
#include "demo/tree.h"

#include "app/demo_app.h"
#include "demo/part_materials.h"
#include "demo/sequencer.h"
#include "platform/gfx/gfx.h"
#include "render/render_driver.h"
#include "scene/image_loader.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"
#include "scene/trimesh.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kFrameGridSize = 5;
constexpr uint32_t kRingVertices = 10;
constexpr uint32_t kRings = 2 * kTreeKeys;
constexpr float kRingAngleStep = 0.62831855f; // 2 pi / 10
constexpr float kLeafHalfEdge = 90.0f;

// Growth: (t / 7.5)^2 of the trunk, 1 / 7.5^2 = 0.017777778.
constexpr float kGrowthEnd = 7.5f;
constexpr float kGrowthRate = 0.017777778f;
constexpr float kShotsStart = 14.8f;
constexpr float kShotsEnd = 20.6f;
constexpr float kShotRate = 0.51724136f; // 3 / 5.8: three shots in 5.8 s

// Scene flags: the creation flags with bits 0, 1 and 3 set and bit 2 cleared (11).
constexpr uint32_t kTreeSceneFlags =
    (kSceneCreated | kSceneDepthTest | kSceneDepthWrite | kSceneBit3) & ~kSceneBit2;

struct FixedShot {
    Vec3 position;
    Mat3 orientation; // rows right, up, forward
};
constexpr FixedShot kShots[3] = {
    {{-531.4961f, 2380.1252f, 343.9111f},
     {{{0.960407f, 0, 0.2786f}, {0, 1, 0}, {-0.2786f, 0, 0.960407f}}}},
    {{527.038f, 2510.7717f, 19.0404f},
     {{{-0.01075f, -0.991858f, 0.1269f},
       {0.9835f, 0.012432f, 0.180484f},
       {-0.180593f, 0.126746f, 0.975358f}}}},
    {{-544.5176f, 1875.765f, -2099.5073f},
     {{{0.981173f, -0.005006f, -0.193063f},
       {-0.01369f, 0.995346f, -0.095385f},
       {0.192642f, 0.096232f, 0.976539f}}}},
};

// v = normalise(up x h), w = h x v with up (0, 1, 0); a tangent along up gets a fixed pair.
void perpendicularPair(Vec3 h, Vec3* v, Vec3* w) {
    const Vec3 c = cross(Vec3{0, 1, 0}, h);
    if (dot(c, c) < 1e-18f) {
        *v = {1, 0, 0};
        *w = {0, 0, -1};
        return;
    }
    *v = normalise(c);
    *w = cross(h, *v);
}

// Normalise that leaves a zero vector zero instead of dividing by zero.
Vec3 safeNormalise(Vec3 a) {
    const float l2 = dot(a, a);
    return l2 > 0 ? a * (1.0f / std::sqrt(l2)) : Vec3{0, 0, 0};
}

void countInto(const TreeBranch& b, TreeCounts& c) {
    ++c.branches;
    c.trunkVertices += kBranchVertices;
    c.trunkFaces += kBranchFaces;
    if (b.level <= kLeafMaxLevel) {
        ++c.leafBranches;
    }
    for (int i = 0; i < b.childCount; ++i) {
        countInto(b.children[size_t(i)], c);
    }
}

// Writes one branch's rings and faces at vertex `base`, then its children's, depth first.
void writeTrunk(TreeBranch& b, TriMesh& mesh, uint32_t& vertex, uint32_t*& index) {
    const uint32_t base = vertex;
    const float radiusScale = std::pow(2.2f, float(b.level + 1));
    Vec3 v{}, w{};
    Vec3 previousCentre{};
    for (uint32_t f = 0; f < kRings; ++f) {
        const Vec3 centre = b.curve.evaluate(4.0f * float(f) / float(kRings));
        if (f == 0) {
            perpendicularPair(safeNormalise(b.curve.evaluate(0.01f) - centre), &v, &w);
        } else {
            const Vec3 u = safeNormalise(centre - previousCentre);
            const Vec3 carried = v - u * dot(v, u);
            // A ring frame that would collapse keeps the previous one.
            if (dot(carried, carried) > 0 && dot(u, u) > 0) {
                v = normalise(carried);
                w = cross(u, v);
            }
        }
        const float radius =
            f + 1 == kRings ? 0.0f : radiusScale * float(14 - int(f)) / 9.0f; // tip closed
        float a = 0;
        for (uint32_t k = 0; k < kRingVertices; ++k) {
            a = float(k + 1) * kRingAngleStep;
            const uint32_t i = base + f * kRingVertices + k;
            mesh.positions[i] = centre + w * (radius * std::cos(a)) + v * (radius * std::sin(a));
            mesh.texCoords[0][i] = {0.2f * float(k), 0.8f * float(f)};
        }
        previousCentre = centre;
    }
    for (uint32_t f = 0; f + 1 < kRings; ++f) {
        const uint32_t r = base + kRingVertices * f;
        for (uint32_t k = 0; k < kRingVertices; ++k) {
            const uint32_t k1 = (k + 1) % kRingVertices;
            const uint32_t face[6] = {r + k, r + k1, r + 10 + k, r + 10 + k, r + k1, r + 10 + k1};
            std::copy(face, face + 6, index);
            index += 6;
        }
    }
    vertex += kBranchVertices;
    for (int i = 0; i < b.childCount; ++i) {
        writeTrunk(b.children[size_t(i)], mesh, vertex, index);
    }
}

// Five square leaves hanging from a thin branch, then its children's, depth first.
void writeLeaves(TreeBranch& b, TriMesh& mesh, uint32_t& vertex, uint32_t*& index) {
    if (b.level <= kLeafMaxLevel) {
        for (uint32_t f = 0; f < kLeavesPerBranch; ++f) {
            const float x = (0.8f * float(f) / 4.0f + 0.2f) * float(kTreeKeys);
            const Vec3 p = b.curve.evaluate(x);
            Vec3 v{}, w{};
            perpendicularPair(safeNormalise(b.curve.evaluate(x + 0.1f) - p), &v, &w);
            const uint32_t d = vertex;
            mesh.positions[d] = p + v * -kLeafHalfEdge;
            mesh.positions[d + 1] = p + v * kLeafHalfEdge;
            mesh.positions[d + 2] = p + (v - w * 2) * kLeafHalfEdge;
            mesh.positions[d + 3] = p + (v * -1 - w * 2) * kLeafHalfEdge;
            mesh.texCoords[0][d] = {0, 0};
            mesh.texCoords[0][d + 1] = {1, 0};
            mesh.texCoords[0][d + 2] = {1, 1};
            mesh.texCoords[0][d + 3] = {0, 1};
            const uint32_t face[6] = {d, d + 1, d + 2, d, d + 2, d + 3};
            std::copy(face, face + 6, index);
            index += 6;
            vertex += 4;
        }
    }
    for (int i = 0; i < b.childCount; ++i) {
        writeLeaves(b.children[size_t(i)], mesh, vertex, index);
    }
}

} // namespace

TreePart::TreePart(float duration) : DemoPart(duration) {}

TreePart::~TreePart() = default;

void TreePart::generate(TreeBranch& branch, Vec3 start, Vec3 direction, int level) {
    branch.level = level;
    const Vec3 step = direction * (40.0f * float(level + 1));
    const float q = float((level + 5) * (level + 5));
    branch.curve.setKeyCount(kTreeKeys);
    for (int i = 0; i < kTreeKeys; ++i) {
        const int d1 = demo_random::rand() % 1000 - 500;
        const int d2 = demo_random::rand() % 1000 - 500;
        const int d3 = demo_random::rand() % 1000 - 500;
        // NOTE: the first draw is the z component, the third the x component.
        Vec3 jitter = safeNormalise(Vec3{float(d3), float(d2), float(d1)}) * q;
        if (i == 0) {
            jitter = {0, 0, 0};
        }
        branch.curve.addKey(start + step * float(i) + jitter, float(i));
    }
    branch.curve.prepare();

    if (level == 0) {
        branch.childCount = 0;
        branch.children.reset();
        return;
    }
    const int n = demo_random::rand() % 5 + 1;
    branch.childCount = n;
    branch.children = std::make_unique<TreeBranch[]>(size_t(n));
    for (int i = 0; i < n; ++i) {
        const Vec3 a = branch.curve.evaluate(2.5f + 1.25f * float(i) / float(n));
        const Vec3 b = branch.curve.evaluate(2.5f + 1.25f * (float(i) + 0.1f) / float(n));
        const Vec3 h = safeNormalise(b - a);
        Vec3 v{}, w{};
        perpendicularPair(h, &v, &w);
        // alpha in 0.2545 .. 1.2566, beta in 0 .. 2 pi.
        const float alpha =
            float((demo_random::rand() % 20000) * 0.00005010840372357402 + 0.25446900568978703);
        const float beta = float((demo_random::rand() % 20000) * 0.00031415926535897904);
        const Vec3 m = v * std::cos(beta) + w * std::sin(beta);
        const Vec3 childDirection = m * std::cos(alpha) + h * std::sin(alpha);
        generate(branch.children[size_t(i)], a, childDirection, level - 1);
    }
}

TreeCounts TreePart::countTree(const TreeBranch& root) {
    TreeCounts c;
    countInto(root, c);
    return c;
}

uint32_t TreePart::trunkFacesDrawn(float t, uint32_t full) {
    if (t >= kGrowthEnd) {
        return full;
    }
    const float grown = t * t * float(full) * kGrowthRate;
    return grown <= 0 ? 0u : std::min(full, uint32_t(grown));
}

int TreePart::shotAt(float t) {
    if (t < kShotsStart || t >= kShotsEnd) {
        return -1;
    }
    // NOTE: rounding can put the last instant before 20.6 s at b = 3; it stays on shot 2.
    return std::min(int((t - kShotsStart) * kShotRate), 2);
}

float TreePart::leafStrength(float t) {
    if (t < kShotsStart) {
        return 0.0f;
    }
    if (t >= kShotsEnd) {
        return 1.0f;
    }
    const float b = (t - kShotsStart) * kShotRate;
    return std::sin(std::fmod(b, 1.0f) * 0.6f);
}

void TreePart::buildTrunk(const TreeCounts& counts) {
    trunkMesh = std::make_unique<TriMesh>();
    TriMesh& mesh = *trunkMesh;
    if (mesh.create(counts.trunkVertices, counts.trunkFaces, 1, 1,
                    kMeshIndexed | kMeshSubsetMaterials) == 0) {
        uint32_t vertex = 0;
        uint32_t* index = mesh.indices;
        writeTrunk(*rootBranch, mesh, vertex, index);
        const StageSetup stage{gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse,
                               gfx::D3DTOP_MODULATE, kArgTexture, kArgFactor};
        mesh.subsetMaterials[0] = fileSingleStageMaterial(
            "Part3-tree", kStatesGouraud, stage, loadTexture("data\\wood.jpg", kErrorPart3));
        mesh.computeNormals();
    }
    trunkObject = std::make_unique<TriMeshObj>();
    trunkObject->init(&mesh, 0, 0);
    trunkObject->position = {0, 0, 0};
    uploadObject(mesh, *trunkObject);
}

void TreePart::buildLeaves(const TreeCounts& counts) {
    leafMesh = std::make_unique<TriMesh>();
    TriMesh& mesh = *leafMesh;
    if (mesh.create(counts.leafBranches * kLeafBranchVertices,
                    counts.leafBranches * kLeafBranchFaces, 1, 1,
                    kMeshIndexed | kMeshSubsetMaterials) == 0) {
        uint32_t vertex = 0;
        uint32_t* index = mesh.indices;
        writeLeaves(*rootBranch, mesh, vertex, index);

        int existed = 0;
        Material* material = gRegistry->acquireMaterial(&existed, makeKey("Part3-tree-leafs"));
        MaterialColours colours;
        RenderStateBlock states;
        const StageSetup stage{gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse,
                               gfx::D3DTOP_MODULATE, kArgTexture, kArgFactor};
        fillSingleStageBlocks(colours, states, kStateAlphaBlend | kStatesGouraud | kStateNoCulling,
                              stage);
        colours.emissive = {0.3f, 0.3f, 0.3f, 0.3f};
        material->colours = &colours;
        material->states = &states;
        material->texture =
            loadTextureWithAlpha("data\\leaf.jpg", "data\\leaf_alpha.jpg", kErrorPart3);
        material->secondTexture = nullptr;
        gRegistry->commitMaterial(*material);
        mesh.subsetMaterials[0] = material;
        mesh.computeNormals();
    }
    leafObject = std::make_unique<TriMeshObj>();
    leafObject->init(&mesh, 0, 0);
    leafObject->position = {0, 0, 0};
    uploadObject(mesh, *leafObject);
}

int TreePart::load() {
    demo_random::srand(kTreeSeed);

    // Scene: a dim and a green-grey directional light over half-grey ambient.
    scene.allocateLights(2);
    scene.registry = gRegistry;
    scene.ambient = {0.5f, 0.5f, 0.5f, 0.5f};
    scene.flags = kTreeSceneFlags;
    scene.lights[0].type = 1;
    scene.lights[0].ambient = {0, 0, 0, 0};
    scene.lights[0].diffuse = {1, 0.1f, 0.1f, 0.1f};
    scene.lights[0].enabled = 1;
    scene.lights[1].type = 1;
    scene.lights[1].ambient = {0, 0, 0, 0};
    scene.lights[1].diffuse = {1, 0.7f, 0.9f, 0.6f};
    scene.lights[1].enabled = 1;
    projection.init(&gApp->frameBuffer, 75, 1, 4800);
    projection.mode = 2;
    camera.init(&projection, 0);
    camera.position = {0, 0, 0};
    camera.orientation = identity3();
    scene.camera = &camera;

    rootBranch = std::make_unique<TreeBranch>();
    generate(*rootBranch, Vec3{0, 0, 0}, Vec3{0, 1, 0}, kTreeRootLevel);
    const TreeCounts counts = countTree(*rootBranch);

    buildTrunk(counts);
    buildLeaves(counts);

    const StageSetup frameStage{gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse,
                                gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse};
    frameMaterial = fileSingleStageMaterial(
        "tree-bg", kStateAlphaBlend | kStatesFlat, frameStage,
        loadTextureWithAlpha("data\\tree-bg.jpg", "data\\tree-bg-alpha.jpg", kErrorPart3));
    frameGrid.create(kFrameGridSize, kFrameGridSize);
    frameGrid.setMaterial(frameMaterial);
    return 0;
}

void TreePart::placeCamera(float t) {
    if (t < kGrowthEnd) {
        camera.lookAt(Vec3{0, 300 * t, -1000}, Vec3{0, 300 * t, 0}, 0);
    } else if (t < kShotsStart) {
        camera.lookAt(
            Vec3{2400 * std::cos(0.5f * t) - 1000, 1600, 2400 * std::sin(0.5f * t) + 1000},
            Vec3{0, 1200, 0}, 0);
    } else if (t < kShotsEnd) {
        const FixedShot& shot = kShots[shotAt(t)];
        camera.position = shot.position;
        camera.orientation = shot.orientation;
    } else {
        camera.lookAt(
            Vec3{2600 * std::cos(0.6f * t) - 1000, 1800, 2600 * std::sin(0.6f * t) + 1000},
            Vec3{0, 1400, 0}, 0);
    }
}

int TreePart::render(float t, float) {
    RenderDriver* driver = gDriver;

    // 1-2. Camera, leaf strength and the lights.
    placeCamera(t);
    const float strength = leafStrength(t);
    const Mat3& o = camera.orientation;
    scene.lights[0].direction = {o.m[2][0], o.m[2][1], o.m[2][2]};
    scene.lights[1].direction = normalise(Vec3{1, 0, -1});

    // 3. The frame picture spans the view once.
    if (GridVertex* v = frameGrid.lockVertices()) {
        const uint32_t nx = frameGrid.columns, ny = frameGrid.rows;
        for (uint32_t j = 0; j < ny; ++j) {
            for (uint32_t k = 0; k < nx; ++k) {
                v[j * nx + k].u = float(k) / float(nx - 1);
                v[j * nx + k].v = float(j) / float(ny - 1);
            }
        }
        frameGrid.unlockVertices();
    }

    // 4. White background, u wrapping for the bark.
    driver->clearDepth(1.0f);
    const ColorF white{1, 1, 1, 1};
    driver->clear(driver, &white);
    scene.flags |= kSceneWrapU0;
    if (driver->beginScene(driver, &scene) != 0) {
        scene.flags &= ~kSceneWrapU0;
        return 1;
    }

    const auto w = int32_t(driver->targetWidth), h = int32_t(driver->targetHeight);
    const auto edgeX = int32_t(float(w) * kTreeFrameOpaqueEdge);
    const auto edgeY = int32_t(float(h) * kTreeFrameOpaqueEdge);
    const gfx::Rect inside{edgeX, edgeY, w - edgeX, h - edgeY};
    gApp->device->setDrawBounds(&inside);

    // 5. The trunk grows as a prefix of its faces, depth first.
    if (trunkObject != nullptr && trunkMesh->subsetCount > 0) {
        MeshSubset& subset = trunkMesh->subsets[0];
        const uint32_t full = subset.faceCount;
        subset.faceCount = trunkFacesDrawn(t, full);
        if (subset.faceCount > 0) {
            driver->drawObject(trunkObject.get());
        }
        subset.faceCount = full;
    }
    scene.flags &= ~kSceneWrapU0;
    driver->applyScene(driver, &scene, 0);

    // 6. Leaves, blended without depth writes.
    if (strength > 0 && leafObject != nullptr) {
        const ColorF factor{strength, strength, strength, strength};
        driver->setTextureFactor(&factor);
        scene.flags &= ~kSceneDepthWrite;
        driver->applyScene(driver, &scene, 0);
        driver->drawObject(leafObject.get());
        scene.flags |= kSceneDepthWrite;
        driver->applyScene(driver, &scene, 0);
    }

    // 7. The flash of the cut to the orbit.
    if (t >= kGrowthEnd && t < 9.5f) {
        drawOverlay((9.5f - t) * 0.5f, 1);
    }

    // 8. The frame over everything.
    gApp->device->setDrawBounds(nullptr);
    frameGrid.draw();

    // 9. Opening flash, the flash after the shots, the fade to white.
    if (t >= 0 && t < 2) {
        drawOverlay((2 - t) * 0.5f, 1);
    }
    if (t >= kShotsEnd && t < 21.6f) {
        drawOverlay(21.6f - t, 1);
    }
    if (t >= 29) {
        drawOverlay(std::min(t - 29, 1.0f), 1); // held at opaque past the part's end
    }
    return driver->endScene(driver);
}

int TreePart::release() {
    if (trunkObject != nullptr && trunkObject->driverHandle != nullptr) {
        gDriver->releaseObjectHandle(trunkObject.get(), 0);
    }
    if (leafObject != nullptr && leafObject->driverHandle != nullptr) {
        gDriver->releaseObjectHandle(leafObject.get(), 0);
    }
    if (trunkMesh != nullptr && trunkMesh->buffers != nullptr) {
        gDriver->releaseMeshBuffers(trunkMesh.get(), 0);
    }
    if (leafMesh != nullptr && leafMesh->buffers != nullptr) {
        gDriver->releaseMeshBuffers(leafMesh.get(), 0);
    }
    trunkObject.reset();
    leafObject.reset();
    trunkMesh.reset();
    leafMesh.reset();
    return 0;
}
