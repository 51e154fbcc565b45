// The Koch surface (30 s): load builds the sprites, gradient, targets, the subdivided surface
// with its graph, the walking particles and the listing; render walks the particles, runs
// the phases, draws the text, scene, feedback and back-buffer passes, then the flashes.
// release frees nothing: the part is built once and lives as long as the program.
#include "demo/koch.h"

#include "app/demo_app.h"
#include "demo/part_materials.h"
#include "demo/sequencer.h"
#include "platform/files.h"
#include "render/render_driver.h"
#include "scene/image.h"
#include "scene/particle_sprite.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"
#include "scene/trimesh.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kGradientSize = 256;
constexpr uint32_t kRingTargetSize = 1024;
constexpr uint32_t kTextTargetSize = 512;
constexpr uint32_t kScrollerGridSize = 65;
constexpr uint32_t kFormatA8R8G8B8 = 41;
constexpr float kPi = 3.14159265358979f;

constexpr float kPhaseB = 4, kPhaseC = 6, kPhaseD = 13, kPhaseE = 23;
constexpr float kFlashes[5] = {11.905014f, 15.629013f, 19.180008f, 23.013016f, 26.659012f};

// Text pass: 15-pixel lines while y < 540, green, Terminal 12.
constexpr int kLineStep = 15;
constexpr int kTextBottom = 540;

constexpr ColorF kRingClear{0, 0, 0, 0.2f}; // dark blue, alpha 0
constexpr ColorF kStartColour{0, 0.5f, 0.5f, 0.5f};
constexpr ColorF kPhaseBColour{0, 1, 1, 1};
constexpr float kParticleSize = 5;

KochVertex halfway(const KochVertex& a, const KochVertex& b) {
    return {(a.position + b.position) * 0.5f, (a.colour + b.colour) * 0.5f};
}

// Rows of r applied to v (the object drawing's rotation).
Vec3 rotate(const Mat3& r, Vec3 v) {
    return {r.m[0][0] * v.x + r.m[0][1] * v.y + r.m[0][2] * v.z,
            r.m[1][0] * v.x + r.m[1][1] * v.y + r.m[1][2] * v.z,
            r.m[2][0] * v.x + r.m[2][1] * v.y + r.m[2][2] * v.z};
}

// Additive (one, one) one-stage blocks with the alpha stage off.
void fillAdditive(MaterialColours& colours, RenderStateBlock& states, uint32_t flags,
                  uint32_t colourOp) {
    fillSingleStageBlocks(colours, states, flags,
                          StageSetup{colourOp, kArgTexture, kArgDiffuse, gfx::D3DTOP_DISABLE,
                                     kArgTexture, kArgDiffuse});
    states.sourceBlend = states.destinationBlend = gfx::D3DBLEND_ONE;
}

} // namespace

std::vector<KochTriangle> buildKochSurface(int passes) {
    const Vec3 q[4] = {{-0.5f, -0.288675f, -0.204124f},
                       {0.5f, -0.288675f, -0.204124f},
                       {0, 0.57735f, -0.204124f},
                       {0, 0, 0.612372f}};
    const Vec3 c[4] = {{0.01f, 0.01f, 0}, {0.99f, 0.01f, 0}, {0.01f, 0.99f, 0}, {0.99f, 0.99f, 0}};
    auto v = [&](int i) { return KochVertex{q[i], c[i]}; };
    std::vector<KochTriangle> list = {
        {{v(0), v(1), v(2)}}, {{v(3), v(2), v(1)}}, {{v(3), v(1), v(0)}}, {{v(3), v(0), v(2)}}};

    double power = 1;
    for (int a = 0; a < passes; ++a) {
        power *= 2.5; // 2.5^(a + 1), by repeated multiplication
        const float h = float(2.4494897427831780982 / (3 * power));
        std::vector<KochTriangle> next;
        next.reserve(list.size() * 6);
        for (const KochTriangle& t : list) {
            const KochVertex& A = t.corner[0];
            const KochVertex& B = t.corner[1];
            const KochVertex& C = t.corner[2];
            KochVertex mAB = halfway(A, B), mBC = halfway(B, C), mCA = halfway(C, A);
            const Vec3 m = (A.position + B.position + C.position) * (1.0f / 3);
            const Vec3 n = normalise(cross(C.position - B.position, B.position - A.position));
            for (KochVertex* mid : {&mAB, &mBC, &mCA}) {
                mid->position = mid->position + (m - mid->position) * 0.4f;
            }
            const KochVertex P{m + n * h, (A.colour + B.colour + C.colour) * (1.0f / 3)};
            next.push_back({{mCA, A, mAB}});
            next.push_back({{mAB, B, mBC}});
            next.push_back({{mBC, C, mCA}});
            next.push_back({{mAB, mBC, P}});
            next.push_back({{mBC, mCA, P}});
            next.push_back({{mCA, mAB, P}});
        }
        list.swap(next);
    }
    return list;
}

void KochGraph::build(const Vec3* positions, uint32_t vertexCount, const uint32_t* indices,
                      uint32_t faceCount) {
    std::vector<uint32_t> order(vertexCount);
    for (uint32_t i = 0; i < vertexCount; ++i) {
        order[i] = i;
    }
    auto less = [positions](uint32_t a, uint32_t b) {
        const Vec3 &p = positions[a], &q = positions[b];
        if (p.x != q.x) {
            return p.x < q.x;
        }
        if (p.y != q.y) {
            return p.y < q.y;
        }
        return p.z < q.z;
    };
    std::stable_sort(order.begin(), order.end(), less); // a merge sort

    nodes.clear();
    vertexNode.assign(vertexCount, -1);
    for (uint32_t i = 0; i < vertexCount; ++i) {
        if (i == 0 || less(order[i - 1], order[i])) {
            nodes.push_back({positions[order[i]], 0, -1});
        }
        vertexNode[order[i]] = int(nodes.size()) - 1;
    }
    edges.assign(nodes.size() * kKochEdgesPerNode, KochEdge{-1, -1});
    edgeCount = 0;
    for (uint32_t f = 0; f < faceCount; ++f) {
        const uint32_t* face = indices + 3 * size_t(f);
        if (face[0] >= vertexCount || face[1] >= vertexCount || face[2] >= vertexCount) {
            continue;
        }
        const int n0 = vertexNode[face[0]], n1 = vertexNode[face[1]], n2 = vertexNode[face[2]];
        addEdge(n0, n1);
        addEdge(n0, n2);
        addEdge(n1, n0);
        addEdge(n1, n2);
        addEdge(n2, n0);
        addEdge(n2, n1);
    }
}

bool KochGraph::addEdge(int from, int to) {
    if (from < 0 || to < 0 || size_t(from) >= nodes.size() || size_t(to) >= nodes.size()) {
        return false;
    }
    KochNode& node = nodes[size_t(from)];
    int last = -1;
    for (int e = node.firstEdge; e != -1; e = edges[size_t(e)].next) {
        if (edges[size_t(e)].neighbour == to) {
            return false;
        }
        last = e;
    }
    // NOTE: the storage holds kKochEdgesPerNode per node; a node never takes more, so the
    // shared pool can never run out.
    if (node.neighbourCount >= kKochEdgesPerNode || edgeCount >= edges.size()) {
        return false;
    }
    const int e = int(edgeCount++);
    edges[size_t(e)] = {to, -1};
    if (last == -1) {
        node.firstEdge = e;
    } else {
        edges[size_t(last)].next = e;
    }
    ++node.neighbourCount;
    return true;
}

int KochGraph::neighbour(int node, int k) const {
    int e = nodes[size_t(node)].firstEdge;
    for (int i = 0; i < k && e != -1; ++i) {
        e = edges[size_t(e)].next;
    }
    return e == -1 ? node : edges[size_t(e)].neighbour;
}

void fillKochGradient(uint8_t* pixels, uint32_t pitch) {
    const double c00[3] = {0.99, 0.01, 0.01}, c10[3] = {0.01, 0.99, 0.01};
    const double c01[3] = {0.01, 0.01, 0.99}, c11[3] = {0.828125, 0.828125, 0.3125};
    const double step = 0.00392156862745098; // 1 / 255
    for (uint32_t r = 0; r < kGradientSize; ++r) {
        const double y = r * step;
        uint8_t* row = pixels + size_t(r) * pitch;
        for (uint32_t c = 0; c < kGradientSize; ++c) {
            const double x = c * step;
            int bytes[3];
            for (int i = 0; i < 3; ++i) {
                const double left = c00[i] + (c10[i] - c00[i]) * x;
                const double right = c01[i] + (c11[i] - c01[i]) * x;
                const int v = std::clamp(int((left + (right - left) * y) * 255), 0, 255);
                bytes[i] = std::min(int(v * 1.4), 255);
            }
            row[4 * c + 0] = uint8_t(bytes[2]); // blue
            row[4 * c + 1] = uint8_t(bytes[1]);
            row[4 * c + 2] = uint8_t(bytes[0]); // red
            row[4 * c + 3] = 0;
        }
    }
}

std::vector<std::string> readListing(const char* path) {
    std::vector<std::string> out;
    FILE* file = std::fopen(platform::resolveDataPath(path).c_str(), "r");
    if (file == nullptr) {
        return out;
    }
    // NOTE: each read takes at most 255 characters, so a longer line arrives in pieces, each
    // stored as a line of its own; nothing is written past the buffer.
    char buffer[kKochLineChunk + 1];
    while (std::fgets(buffer, int(sizeof buffer), file) != nullptr) {
        size_t n = std::strlen(buffer);
        while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) {
            --n;
        }
        out.emplace_back(buffer, n);
    }
    std::fclose(file);
    return out;
}

KochPart::KochPart(float duration) : DemoPart(duration) {}

KochPart::~KochPart() = default;

void KochPart::loadMaterials() {
    // Sprites and their additive materials.
    const float weights[4][3] = {
        {0.1f, 0.2f, 1.0f}, {0.2f, 1.0f, 0.2f}, {1.0f, 0.2f, 0.1f}, {1.0f, 1.0f, 1.0f}};
    for (int i = 0; i < 4; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "KochParticleTexture%d", i);
        int existed = 0;
        TextureImage* sprite = gRegistry->acquireTexture(&existed, makeKey(name));
        Image image(1);
        image.allocate(32, 32, kFormatA8R8G8B8);
        renderParticleSprite(image, weights[i][0], weights[i][1], weights[i][2]);
        sprite->setImage(image, 0);

        MaterialColours colours;
        RenderStateBlock states;
        fillAdditive(colours, states, kStateAlphaBlend | kStatesGouraud, gfx::D3DTOP_MODULATE);
        colours.emissive = {1, 1, 1, 1};
        std::snprintf(name, sizeof name, "KochParticleMaterial%d", i);
        particleMaterials[i] = fileMaterial(name, colours, states, sprite);
    }

    // The gradient the wireframe is coloured by.
    int existed = 0;
    TextureImage* gradient =
        gRegistry->acquireTexture(&existed, makeKey("KochGeneratedGradientTexture"));
    if (existed == 0 && gradient->allocate(kGradientSize, kGradientSize, kFormatA8R8G8B8, 0) == 0) {
        gradient->flags |= kTextureDynamic;
        fillKochGradient(gradient->levels[0], kGradientSize * 4);
    }

    // The ring of targets and the text target.
    for (int i = 0; i < 3; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "KochRenderTarget%d", i);
        targets[i] = renderTarget(name, kRingTargetSize, kFormatA8R8G8B8);
    }
    targets[3] = renderTarget("KochRenderTarget3", kTextTargetSize, kFormatA8R8G8B8);

    MaterialColours colours;
    RenderStateBlock states;
    fillAdditive(colours, states,
                 kStateAlphaBlend | kStatesGouraud | kStateWireframe | kStateNoCulling,
                 gfx::D3DTOP_SELECTARG1);
    colours.ambient = colours.diffuse = {0, 0, 0, 0};
    colours.emissive = {1, 1, 1, 1};
    baseMaterial = fileMaterial("KochBaseMaterial", colours, states, gradient);
}

void KochPart::buildMeshAndGraph() {
    const std::vector<KochTriangle> surface = buildKochSurface(kKochPasses);
    const uint32_t count = uint32_t(surface.size());
    mesh = std::make_unique<TriMesh>();
    if (mesh->create(3 * count, count, 1, 1, kMeshIndexed | kMeshSubsetMaterials) != 0) {
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t k = 0; k < 3; ++k) {
            const KochVertex& v = surface[i].corner[k];
            mesh->positions[3 * i + k] = v.position;
            mesh->texCoords[0][3 * i + k] = {v.colour.x, v.colour.y};
            mesh->indices[3 * i + k] = 3 * i + k;
        }
    }
    mesh->subsetMaterials[0] = baseMaterial;
    graph.build(mesh->positions, mesh->vertexCount, mesh->indices, mesh->faceCount);
}

void KochPart::startParticles() {
    particles.init(kKochParticles, kKochParticleGroups);
    for (Material*& m : particles.groupMaterials) {
        m = particleMaterials[3];
    }
    // Records in index order, all alive; the pool never frees one.
    particles.freeSlots.clear();
    const size_t nodeCount = graph.nodes.size();
    for (uint32_t i = 0; i < particles.capacity; ++i) {
        ParticleRecord r{};
        const uint32_t node =
            nodeCount == 0 ? 0u : uint32_t(double(nodeCount) * 0.0001 * double(i));
        r.position = r.owner = nodeCount == 0 ? Vec3{0, 0, 0} : graph.nodes[node].position;
        r.colour = kStartColour;
        r.size = kParticleSize;
        r.lifetime = kKochLegDuration;
        r.flags = nodeCount == 0 ? 0u : kParticleAlive;
        r.ownerWord = node;
        particles.records[i] = r;
    }
    // The first leg of every particle.
    for (ParticleRecord& r : particles.records) {
        if ((r.flags & kParticleAlive) == 0) {
            continue;
        }
        const KochNode& node = graph.nodes[r.ownerWord];
        if (node.neighbourCount <= 0) {
            continue;
        }
        const int next =
            graph.neighbour(int(r.ownerWord), demo_random::rand() % node.neighbourCount);
        r.ownerWord = uint32_t(next);
        r.velocity = (graph.nodes[size_t(next)].position - r.owner) * (1.0f / r.lifetime);
        r.birthTime = 0;
    }
}

int KochPart::load() {
    loadMaterials();
    buildMeshAndGraph();
    startParticles();

    for (int i = 0; i < 2; ++i) {
        objects[i] = std::make_unique<TriMeshObj>();
        objects[i]->init(mesh.get(), 0, 0);
        objects[i]->position = {0, 0, 0};
    }
    objects[0]->scale = {1000, 1000, 1000};
    objects[1]->scale = {400, 400, 400};

    scene.allocateLights(1);
    scene.registry = gRegistry;
    scene.ambient = {0, 0, 0, 0};
    scene.fogMode = 0;
    projection.init(&gApp->frameBuffer, 65, 10, 100000);
    projection.mode = 2;
    camera.init(&projection, 0);
    camera.position = {0, 0, 750};
    camera.orientation = eulerMatrix(kPi, 0, 0);
    scene.camera = &camera;

    MaterialColours colours;
    RenderStateBlock states;
    fillAdditive(colours, states, kStateAlphaBlend | kStatesGouraud | kStateWireframe,
                 gfx::D3DTOP_SELECTARG1);
    scroller.create(kScrollerGridSize, kScrollerGridSize);
    scroller.setMaterial(fileMaterial("KochScrollerGrid", colours, states, targets[3]));

    lines = readListing("data\\asm.txt");

    if (mesh->faceCount == 0 || gDriver->createMeshBuffers(mesh.get(), 0) != 0) {
        reportAndQuit("failed loading trimesh");
    } else if (gDriver->createObjectHandle(objects[0].get(), 0) != 0 ||
               gDriver->createObjectHandle(objects[1].get(), 0) != 0) {
        reportAndQuit("failed loading trimeshobj");
    }
    return 0;
}

void KochPart::walkParticles(float t, float dt) {
    for (ParticleRecord& r : particles.records) {
        if ((r.flags & kParticleAlive) == 0) {
            continue;
        }
        const float s = r.birthTime, L = r.lifetime;
        if (t - s <= L) {
            r.owner = r.owner + r.velocity * dt;
            continue;
        }
        const KochNode& node = graph.nodes[r.ownerWord];
        if (node.neighbourCount <= 0) {
            continue;
        }
        const int next =
            graph.neighbour(int(r.ownerWord), demo_random::rand() % node.neighbourCount);
        r.ownerWord = uint32_t(next);
        r.velocity = (graph.nodes[size_t(next)].position - r.owner) * (1.0f / L);
        r.owner = r.owner + r.velocity * (t - s - L);
        r.birthTime = t;
    }
}

void KochPart::updatePhases(float t) {
    const float slow = 0.39269908169872375f * t; // pi t / 8
    const float fast = kPi * t / 2;
    TriMeshObj& first = *objects[0];
    TriMeshObj& second = *objects[1];
    first.orientation = eulerMatrix(slow, slow, 0);
    second.orientation = eulerMatrix(fast, fast, 0);

    // One-time steps: once per run, even when a frame jumps past a phase start.
    if (t >= kPhaseB && phaseB) {
        phaseB = false;
        for (uint32_t g = 0; g < kKochParticleGroups && g < particles.groupMaterials.size(); ++g) {
            particles.groupMaterials[g] = particleMaterials[g];
        }
        for (ParticleRecord& r : particles.records) {
            r.colour = kPhaseBColour;
            r.size = kParticleSize;
        }
    }
    if (t >= kPhaseC && phaseC) {
        phaseC = false;
        for (ParticleRecord& r : particles.records) {
            r.size = kParticleSize;
        }
    }

    Mat3 rotation = identity3();
    float scale = 1;
    auto uniform = [](TriMeshObj& o, float s) { o.scale = {s, s, s}; };
    if (t < kPhaseB) {
        scale = (1.03f - std::min(t, 3.5f) / 4) * 5000;
        if (t >= 3.5f) {
            const float fade = 2 * (4 - t);
            for (ParticleRecord& r : particles.records) {
                r.size = (4 - t) * 20;
                r.colour = {0, fade, fade, fade};
            }
        }
        uniform(first, 400 * t / 4 + 0.001f);
        uniform(second, 0.001f);
    } else if (t < kPhaseC) {
        const float u = (t - 4) / 2;
        const float e = u * fast + (1 - u) * 0.001f;
        rotation = eulerMatrix(e, e, (1 - u) * 0.001f);
        scale = 400 * u * u * u;
        uniform(first, 400 * (1 - u) + 1000 * u);
        uniform(second, 0.0001f);
    } else if (t < kPhaseD) {
        const float u = (t - 6) / 7;
        const float e = 3 * u * u - 2 * u * u * u;
        const float a = e * slow + (1 - e) * fast;
        rotation = eulerMatrix(a, a, 0);
        scale = 400 * (1 - u) + 1000 * u;
        uniform(first, 1000);
        uniform(second, 0.001f);
    } else {
        secondObject = true;
        rotation = first.orientation;
        scale = 1000;
        uniform(first, 1000);
        uniform(second, t < kPhaseE ? 40 * (t - 13) : 400 + 16 * (t - kPhaseE));
    }

    const Vec3 centre = first.position;
    for (ParticleRecord& r : particles.records) {
        r.position = centre + rotate(rotation, (r.owner - centre) * scale);
    }
}

void KochPart::rewriteScroller(float t) {
    GridVertex* v = scroller.lockVertices();
    if (v == nullptr) {
        return;
    }
    const uint32_t nx = scroller.columns, ny = scroller.rows;
    const float theta = 0.5f * std::sin(0.2f * t);
    const float c = std::cos(theta), s = std::sin(theta);
    for (uint32_t j = 0; j < ny; ++j) {
        const float fj = float(j) / float(ny - 1);
        for (uint32_t k = 0; k < nx; ++k) {
            const float fk = float(k) / float(nx - 1);
            v[j * nx + k].u = std::fmod(0.1f * t + fk * c - fj * s, 1.0f);
            v[j * nx + k].v = std::fmod(0.05f * t + fk * s + fj * c, 1.0f);
        }
    }
    scroller.unlockVertices();
}

void KochPart::drawText(float t) {
    RenderDriver* driver = gDriver;
    driver->setRenderTarget(driver, targets[3]);
    driver->beginScene(driver, &scene);
    const ColorF clear{0, 0, 0, 0};
    driver->clear(driver, &clear);
    const ColorF green{1, 0.2f, 0.7f, 0.2f};
    size_t index = size_t(std::max(0.0f, std::trunc(10 * t)));
    for (int y = 0; y < kTextBottom && index < lines.size(); y += kLineStep, ++index) {
        driver->drawText(0, y, lines[index].c_str(), &green, 12, "Terminal");
    }
    driver->endScene(driver);
}

int KochPart::render(float t, float dt) {
    RenderDriver* driver = gDriver;

    // 1-4. Particles, objects and phases, the scroller.
    walkParticles(t, dt);
    updatePhases(t);
    rewriteScroller(t);

    // 5. Ring choice; the first frame starts from cleared targets.
    const int ring = previousRing != 1 ? 1 : 2;
    if (firstFrame) {
        for (int i : {ring, previousRing}) {
            driver->setRenderTarget(driver, targets[i]);
            driver->clear(driver, &kRingClear);
        }
        firstFrame = false;
    }

    // 6. The listing into the text target.
    drawText(t);

    // 7. Scene pass into ring target 0: scroller, surfaces, particles.
    driver->setRenderTarget(driver, targets[0]);
    driver->clear(driver, &kRingClear);
    driver->clearDepth(1.0f);
    scene.flags |= kSceneWrapU0 | kSceneWrapU1;
    driver->applyScene(driver, &scene, 0);
    scroller.draw();
    scene.flags &= ~(kSceneWrapU0 | kSceneWrapU1);
    driver->applyScene(driver, &scene, 0);
    scene.flags &= ~kSceneDepthTest;
    if (driver->beginScene(driver, &scene) != 0) {
        scene.flags |= kSceneDepthTest;
        return 1;
    }
    if (driver->drawObject(objects[0].get()) != 0 ||
        (secondObject && driver->drawObject(objects[1].get()) != 0)) {
        scene.flags |= kSceneDepthTest;
        return 1;
    }
    scene.flags |= kSceneDepthTest;
    if (driver->applyScene(driver, &scene, 0) != 0) {
        return 1;
    }
    particles.draw();
    if (driver->endScene(driver) != 0) {
        return 1;
    }

    // 8. Feedback: this frame over the previous ring target, slightly zoomed.
    driver->setRenderTarget(driver, targets[ring]);
    if (driver->beginScene(driver, &scene) != 0) {
        return 1;
    }
    driver->drawBlendQuad(driver, targets[0], targets[previousRing], 0, 0.3f, 0.735f, 1.0f, 1.01f);
    if (driver->endScene(driver) != 0) {
        return 1;
    }

    // 9. The ring target on the back buffer, then fades and flashes.
    driver->restoreRenderTarget(driver);
    if (driver->beginScene(driver, &scene) != 0) {
        return 1;
    }
    driver->drawTextureQuad(driver, targets[ring]);
    if (t >= 28.5f) {
        drawOverlay(1 - (30 - t) * 2 / 3, 1);
    }
    if (t < 1) {
        drawOverlay(1 - t, 1);
    }
    for (float T : kFlashes) {
        if (T <= t && t < T + 1) {
            drawOverlay(T + 1 - t, 1);
        }
    }
    if (driver->endScene(driver) != 0) {
        return 1;
    }
    previousRing = ring;
    return 0;
}
