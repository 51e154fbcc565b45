// The Domino rally's fields: the domino records and their falling (DominoRally), the maze on
// the half-pipe and the spiral on the flat field, each with its layout, surface, geometry,
// materials and texture coordinates. The scene that shows them is demo/domino.cpp.
#include "demo/domino_fields.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "demo/maze.h"
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

// Box corners in local units: x across, y up (height), z along the heading.
constexpr float kCorners[8][3] = {{-1, 0, -0.6f}, {1, 0, -0.6f}, {-1, 4, -0.6f}, {1, 4, -0.6f},
                                  {-1, 0, 0},     {1, 0, 0},     {-1, 4, 0},     {1, 4, 0}};
// Quads (a, b, c, d), each split into (a, b, c) and (a, c, d).
constexpr int kFaces[6][4] = {{0, 1, 3, 2}, {1, 5, 7, 3}, {5, 4, 6, 7},
                              {4, 0, 2, 6}, {1, 0, 4, 5}, {2, 3, 7, 6}};
constexpr int kVerticesPerDomino = 8;
constexpr int kTrianglesPerDomino = 12;
// Subsets and mesh flags of a field: faces, normals, per-subset materials.
constexpr uint32_t kFieldMeshFlags = kMeshIndexed | kMeshNormals | kMeshSubsetMaterials;

DVec3 sub(DVec3 a, DVec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
DVec3 add(DVec3 a, DVec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
DVec3 scale(DVec3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
DVec3 crossD(DVec3 a, DVec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
DVec3 normaliseD(DVec3 a) {
    const double length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return length > 0 ? scale(a, 1.0 / length) : a;
}

} // namespace

namespace domino {

// Files a one-stage material with the given colours and filters.
Material* fileMaterial(const char* name, uint32_t flags, const StageSetup& stage,
                       TextureImage* texture, uint32_t filter, ColorF colour, ColorF emissive) {
    MaterialColours colours;
    RenderStateBlock states;
    fillSingleStageBlocks(colours, states, flags, stage);
    colours.ambient = colour;
    colours.diffuse = colour;
    colours.emissive = emissive;
    StageSampling& s = states.stages[0];
    s.magFilter = s.minFilter = s.mipFilter = filter;
    return fileMaterial(name, colours, states, texture);
}

} // namespace domino

// ---- DominoRally ------------------------------------------------------------------------

int DominoRally::computeTC(const DominoRecord&, float*) {
    return 1;
}

void DominoRally::place(double u, double v, double du, double dv, double slot) {
    const double length = std::sqrt(du * du + dv * dv);
    if (length > 0) {
        du /= length;
        dv /= length;
    }
    DominoRecord record{};
    record.u = u;
    record.v = v;
    record.du = du;
    record.dv = dv;
    record.toppleTime = float(slot * double(stepTime));
    dominoes.push_back(record);
    cursor = dominoes.size();
}

void DominoRally::dominoVertices(const DominoRecord& record, double angle, Vec3* positions,
                                 Vec3* normals) const {
    const float c = float(std::cos(angle));
    const float s = float(std::sin(angle));
    // M = basis x R, R the rotation about local x with rows (1,0,0), (0,c,s), (0,-s,c).
    float m[3][3];
    for (int r = 0; r < 3; ++r) {
        m[r][0] = record.basis[r][0];
        m[r][1] = record.basis[r][1] * c - record.basis[r][2] * s;
        m[r][2] = record.basis[r][1] * s + record.basis[r][2] * c;
    }
    const float n[3] = {cornerNormal.x, cornerNormal.y, cornerNormal.z};
    for (int k = 0; k < kVerticesPerDomino; ++k) {
        const float* corner = kCorners[k];
        // The corner normal takes each sign from the corner's side of the box.
        const float cn[3] = {corner[0] < 0 ? -n[0] : n[0], corner[1] <= 0 ? -n[1] : n[1],
                             corner[2] < 0 ? -n[2] : n[2]};
        float p[3], q[3];
        for (int r = 0; r < 3; ++r) {
            p[r] = m[r][0] * corner[0] + m[r][1] * corner[1] + m[r][2] * corner[2];
            q[r] = m[r][0] * cn[0] + m[r][1] * cn[1] + m[r][2] * cn[2];
        }
        positions[k] = record.position + Vec3{p[0], p[1], p[2]} * kDominoScale;
        normals[k] = {q[0], q[1], q[2]};
    }
}

int DominoRally::buildGeometry(bool faceMajor) {
    cornerNormal = normalise(Vec3{1, 2, 0.3f});
    std::stable_sort(
        dominoes.begin(), dominoes.end(),
        [](const DominoRecord& a, const DominoRecord& b) { return a.toppleTime < b.toppleTime; });
    const uint32_t n = uint32_t(dominoes.size());
    dominoCount = n;
    cursor = n;
    const uint32_t subsets = faceMajor ? 2 : 1;
    if (mesh.create(n * kVerticesPerDomino, n * kTrianglesPerDomino, 1, subsets, kFieldMeshFlags) !=
        0) {
        return kMeshOutOfMemory;
    }
    if (faceMajor) {
        // Face 0 of every domino, then the other five faces.
        mesh.subsets[0] = {0, 0, n * kVerticesPerDomino, 2 * n};
        mesh.subsets[1] = {0, 2 * n, n * kVerticesPerDomino, 10 * n};
    }
    object.init(&mesh, 0, 0);
    if (createMaterials() != 0) {
        return 1;
    }

    uint32_t* index = mesh.indices;
    auto addFace = [&index](uint32_t base, const int* q) {
        const uint32_t tri[6] = {uint32_t(q[0]), uint32_t(q[1]), uint32_t(q[2]),
                                 uint32_t(q[0]), uint32_t(q[2]), uint32_t(q[3])};
        for (uint32_t k : tri) {
            *index++ = base + k;
        }
    };
    if (faceMajor) {
        for (const auto& face : kFaces) {
            for (uint32_t i = 0; i < n; ++i) {
                addFace(i * kVerticesPerDomino, face);
            }
        }
    } else {
        for (uint32_t i = 0; i < n; ++i) {
            for (const auto& face : kFaces) {
                addFace(i * kVerticesPerDomino, face);
            }
        }
    }

    for (uint32_t i = 0; i < n; ++i) {
        DominoRecord& r = dominoes[i];
        const DVec3 p = surfacePoint(r.u, r.v);
        const DVec3 tu = normaliseD(sub(surfacePoint(r.u + 1e-7, r.v), p));
        const DVec3 tv = normaliseD(sub(surfacePoint(r.u, r.v + 1e-7), p));
        r.position = toFloat(p);
        const DVec3 up = normaliseD(crossD(tv, tu));
        const DVec3 heading = add(scale(tu, r.du), scale(tv, r.dv));
        const DVec3 across = normaliseD(crossD(up, heading));
        const DVec3 forward = crossD(across, up);
        const DVec3 columns[3] = {across, up, forward};
        for (int c = 0; c < 3; ++c) {
            r.basis[0][c] = float(columns[c].x);
            r.basis[1][c] = float(columns[c].y);
            r.basis[2][c] = float(columns[c].z);
        }
        dominoVertices(r, 0.0, mesh.positions + size_t(i) * kVerticesPerDomino,
                       mesh.normals + size_t(i) * kVerticesPerDomino);
        float* tc = &mesh.texCoords[0][size_t(i) * kVerticesPerDomino].u;
        std::fill(tc, tc + 2 * kVerticesPerDomino, 0.0f);
        if (computeTC(r, tc) != 0) {
            formatReport(1, "incomplete DominoRally implementation : missing computeTC\n");
        }
    }
    gDriver->createMeshBuffers(&mesh, 0);
    gDriver->createObjectHandle(&object, 0);
    return 0;
}

FallRange DominoRally::updateFalling(float localTime, float deltaTime) {
    // NOTE: never past the mesh, even if records and vertices were to disagree.
    const size_t n = std::min(dominoes.size(), size_t(mesh.vertexCount / kVerticesPerDomino));
    const float t = localTime - startTime;
    const float oldest = t - deltaTime - fallDuration - 0.001f;
    const auto first = dominoes.begin();
    const auto last = first + std::ptrdiff_t(n);
    auto below = [](const DominoRecord& r, float time) { return r.toppleTime < time; };
    // The last record that finished before the previous frame's range (kept for its last
    // update), through the first record not yet toppling.
    const size_t firstNotOld = size_t(std::lower_bound(first, last, oldest, below) - first);
    size_t lo = firstNotOld > 0 ? firstNotOld - 1 : 0;
    size_t hi = size_t(std::lower_bound(first, last, t, below) - first);
    // NOTE: a time earlier than the last one (a replay from the start) rewrites the whole
    // field for that time, so no domino is left fallen ahead of its topple time.
    if (t < lastTime) {
        lo = 0;
        hi = n;
    }
    lastTime = t;
    if (lo >= hi || mesh.lockVertices == nullptr || mesh.unlockVertices == nullptr) {
        return {lo, lo};
    }
    if (mesh.lockVertices(&mesh, uint32_t(lo * kVerticesPerDomino),
                          uint32_t((hi - lo) * kVerticesPerDomino)) != 0 ||
        mesh.lockedVertices == nullptr) {
        return {lo, lo};
    }
    const uint32_t stride = mesh.lockedStride;
    const bool withNormals = (mesh.flags & kMeshNormals) != 0 && stride >= 24;
    uint8_t* out = mesh.lockedVertices;
    Vec3 positions[kVerticesPerDomino], normals[kVerticesPerDomino];
    for (size_t i = lo; i < hi; ++i) {
        const DominoRecord& r = dominoes[i];
        const float p = std::clamp((t - r.toppleTime) / fallDuration, 0.0f, 1.0f);
        dominoVertices(r, double(p) * kFallAngle, positions, normals);
        for (int k = 0; k < kVerticesPerDomino; ++k, out += stride) {
            std::memcpy(out, &positions[k], sizeof(Vec3));
            if (withNormals) {
                std::memcpy(out + sizeof(Vec3), &normals[k], sizeof(Vec3));
            }
        }
    }
    mesh.unlockVertices(&mesh);
    return {lo, hi};
}

// ---- DominoMaze -------------------------------------------------------------------------

namespace {

// One cell on the maze path; children by turn: 0 left, 1 straight, 2 right.
struct MazeNode {
    int x, y;
    int parent;
    int children[3];
    int incoming; // direction of travel into the cell
    int depth;    // root 0
};

struct MazePlacer {
    DominoMaze& field;
    std::vector<MazeNode>& nodes;
    float finishTime = 0;

    static constexpr double kW = kMazeColumns, kH = kMazeRows, kS = kSlotsPerCell;

    static void step(int d, double* su, double* sv) {
        *su = kMazeDx[d] / (kW * kS);
        *sv = kMazeDy[d] / (kH * kS);
    }
    // Half a step in from the cell edge opposite direction d, on the cell's centre line.
    static void entry(int x, int y, int d, double* u, double* v) {
        const double hu = 0.5 / (kW * kS), hv = 0.5 / (kH * kS);
        *u = (x + 0.5) / kW;
        *v = (y + 0.5) / kH;
        switch (d) {
        case 0:
            *v = y / kH + hv;
            break;
        case 1:
            *u = x / kW + hu;
            break;
        case 2:
            *v = (y + 1) / kH - hv;
            break;
        default:
            *u = (x + 1) / kW - hu;
            break;
        }
    }

    void walk(int index) {
        const MazeNode node = nodes[size_t(index)];
        const double d6 = 6.0 * node.depth;
        double eu, ev, su, sv;
        entry(node.x, node.y, node.incoming, &eu, &ev);
        step(node.incoming, &su, &sv);
        if (node.parent >= 0) {
            field.place(eu, ev, su, sv, d6 - 2);
            field.place(eu + su, ev + sv, su, sv, d6 - 1);
        }
        for (int child : node.children) {
            if (child < 0) {
                continue;
            }
            const int d = nodes[size_t(child)].incoming;
            double cu, cv, tu, tv;
            entry(node.x, node.y, d, &cu, &cv);
            step(d, &tu, &tv);
            field.place(cu + 4 * tu, cv + 4 * tv, tu, tv, d6 + 2);
            field.place(cu + 5 * tu, cv + 5 * tv, tu, tv, d6 + 3);
        }
        for (int child : node.children) {
            if (child >= 0) {
                walk(child);
            }
        }
        // Centre dominoes, by the turns present.
        const double qu = eu + 2 * su, qv = ev + 2 * sv;
        double lu, lv; // one step towards the left turn, in that axis's cell size
        step((node.incoming + 3) & 3, &lu, &lv);
        const bool left = node.children[0] >= 0, straight = node.children[1] >= 0,
                   right = node.children[2] >= 0;
        // Heading (hu, hv) turned by angle towards the left (negative: right).
        const double hu = kMazeDx[node.incoming], hv = kMazeDy[node.incoming];
        const double ldu = kMazeDx[(node.incoming + 3) & 3], ldv = kMazeDy[(node.incoming + 3) & 3];
        auto turned = [&](double angle, double* du, double* dv) {
            *du = std::cos(angle) * hu + std::sin(angle) * ldu;
            *dv = std::cos(angle) * hv + std::sin(angle) * ldv;
        };
        double du, dv;
        if (left && right) {
            turned(kPi / 3, &du, &dv);
            field.place(qu + 0.7 * su + 0.6 * lu, qv + 0.7 * sv + 0.6 * lv, du, dv, d6 + 0.5);
            turned(-kPi / 3, &du, &dv);
            field.place(qu + 0.7 * su - 0.6 * lu, qv + 0.7 * sv - 0.6 * lv, du, dv, d6 + 0.5);
        } else if (left || right) {
            turned(left ? kPi / 4 : -kPi / 4, &du, &dv);
            field.place(qu + 0.4 * su, qv + 0.4 * sv, du, dv, d6 + 0.5);
        } else if (straight) {
            field.place(qu, qv, su, sv, d6);
            field.place(qu + su, qv + sv, su, sv, d6 + 1);
        } else {
            field.place(qu, qv, su, sv, d6);
        }
        if (node.y == kMazeRows) {
            finishTime = float(d6) * field.stepTime + field.startTime;
        }
    }
};

int addNode(std::vector<MazeNode>& nodes, const MazeGrid& grid, int x, int y, int parent,
            int incoming, int depth) {
    const int index = int(nodes.size());
    nodes.push_back(MazeNode{x, y, parent, {-1, -1, -1}, incoming, depth});
    for (int i = 0; i < 3; ++i) {
        const int d = (incoming + i - 1) & 3;
        if (grid.passage(x, y, d)) {
            const int child =
                addNode(nodes, grid, x + kMazeDx[d], y + kMazeDy[d], index, d, depth + 1);
            nodes[size_t(index)].children[i] = child;
        }
    }
    return index;
}

} // namespace

void DominoMaze::layOut() {
    gridColumns = kMazeColumns;
    gridRows = kMazeRows;
    demo_random::srand(kMazeSeed);
    MazeGrid grid(kMazeColumns, kMazeRows);
    grid.generate();

    std::vector<MazeNode> nodes;
    nodes.reserve(size_t(kMazeColumns * kMazeRows + 1));
    addNode(nodes, grid, kMazeColumns / 2, 0, -1, 0, 0);
    // The exit: one more cell past the last row, straight on from (5, 79).
    for (size_t i = 0; i < nodes.size(); ++i) {
        MazeNode& node = nodes[i];
        if (node.x != kMazeColumns / 2 || node.y != kMazeRows - 1) {
            continue;
        }
        const int slot = (1 - node.incoming) & 3;
        // NOTE: slot 3 (entered moving -y) cannot happen in the top row; checked anyway.
        if (slot < 3 && node.children[slot] < 0) {
            const int exit = int(nodes.size());
            nodes.push_back(MazeNode{node.x, kMazeRows, int(i), {-1, -1, -1}, 0, node.depth + 1});
            nodes[i].children[slot] = exit;
        }
        break;
    }

    dominoes.clear();
    dominoes.reserve(kMazeRecordCapacity);
    MazePlacer placer{*this, nodes};
    placer.walk(0);
    finishTime = placer.finishTime;
    dominoes.shrink_to_fit();
}

int DominoMaze::build() {
    layOut();
    return buildGeometry(false);
}

DVec3 mazeCentreLine(double v) {
    return {15 * std::cos(20 * v), 15 * std::sin(20 * v), 1130.9733552923244 * v};
}

DVec3 DominoMaze::surfacePoint(double u, double v) const {
    const DVec3 c = mazeCentreLine(v);
    const DVec3 t = normaliseD(sub(mazeCentreLine(v + 1e-6), c));
    const DVec3 a = normaliseD(crossD(DVec3{0, 1, 0}, t));
    const DVec3 b = crossD(t, a);
    const double angle = (u + 1) * kPi;
    return add(c, scale(add(scale(a, std::cos(angle)), scale(b, std::sin(angle))), 50));
}

int DominoMaze::createMaterials() {
    int existed = 0;
    TextureImage* texture = gRegistry->acquireTexture(&existed, makeKey("DominoMazeColorTexture"));
    if (texture->allocate(2, 2, 41, 0) == 0) {
        // Texel words (A8R8G8B8) in texel order: heading -u, +u, +v, -v.
        const uint32_t texels[4] = {0x00A0C8FF, 0x00A0FFA0, 0x0070C0FF, 0x00FFFFA0};
        std::memcpy(texture->levels[0], texels, sizeof texels);
    }
    primaryMaterial = fileMaterial("DominoMazeMaterial", kStatesGouraud, kLitTexture, texture,
                                   gfx::D3DTEXF_POINT, kWhite, kNone);
    mesh.subsetMaterials[0] = primaryMaterial;
    return 0;
}

int DominoMaze::computeTC(const DominoRecord& record, float* texCoords) {
    const int texel = record.du < -0.5 ? 0 : record.du > 0.5 ? 1 : record.dv > 0.5 ? 2 : 3;
    const float u = float(texel & 1) * 0.5f + 0.25f;
    const float v = float(texel >> 1) * 0.5f + 0.25f;
    for (int k = 0; k < kVerticesPerDomino; ++k) {
        texCoords[2 * k] = u;
        texCoords[2 * k + 1] = v;
    }
    return 0;
}

// ---- DominoSpiral -----------------------------------------------------------------------

namespace {
constexpr int kArmCounts[kSpiralArms] = {584, 531, 484, 438, 396, 357};
} // namespace

DominoSpiral::DominoSpiral() : DominoRally(true, 0.12f, 0.019f) {
    for (int i = 0; i < kSpiralArms; ++i) {
        SpiralArm& arm = arms[i];
        arm.phase = 0.025f - 0.005f * float(i);
        arm.radius = 0.495f - 0.025f * float(i);
        arm.shrinkPerRadian = float(6 * 0.025 / (2 * kPi)); // 0.15 per turn
        arm.spacing = 0.01f;
        arm.count = kArmCounts[i];
        arm.leadStart[0] = 0.8 - 0.025 * i;
        arm.leadStart[1] = -0.1;
        arm.leadDirection[0] = 0;
        arm.leadDirection[1] = 0.6;
        arm.blendOuter = 0.95f;
        arm.blendInner = 0.8f;
        arm.leadOffset = 1.0f;
    }
    totalCount = kSpiralDominoes;
}

void DominoSpiral::armPoint(const SpiralArm& arm, double x, double* u, double* v) {
    const double r = double(arm.radius) - x * double(arm.shrinkPerRadian);
    const double a = x + double(arm.phase);
    double su = 0.5 + r * std::cos(a), sv = 0.5 + r * std::sin(a);
    if (x < 0) {
        const double outer = arm.blendOuter, inner = arm.blendInner;
        const double g = x < -outer ? 1.0 : x > -inner ? 0.0 : (-x - inner) / (outer - inner);
        const double h = g * g * (3 - 2 * g);
        const double h2 = h * h * (3 - 2 * h);
        const double along = x + double(arm.leadOffset);
        const double lu = arm.leadStart[0] + along * arm.leadDirection[0];
        const double lv = arm.leadStart[1] + along * arm.leadDirection[1];
        su += h2 * (lu - su);
        sv += h2 * (lv - sv);
    }
    *u = su;
    *v = sv;
}

void DominoSpiral::layOut() {
    dominoes.clear();
    dominoes.reserve(kSpiralDominoes);
    for (int i = 0; i < kSpiralArms; ++i) {
        const SpiralArm& arm = arms[i];
        double x = -double(arm.leadOffset);
        for (int k = 0; k < arm.count; ++k) {
            double u, v, u2, v2;
            armPoint(arm, x, &u, &v);
            armPoint(arm, x + 1e-7, &u2, &v2);
            const double du = u2 - u, dv = v2 - v;
            place(u, v, du, dv, k);
            // Constant arc length `spacing` in field units.
            x += double(arm.spacing) / (std::sqrt(du * du + dv * dv) * 1e7);
        }
        double us, vs;
        armPoint(arm, -double(arm.leadOffset), &us, &vs);
        for (int j = 0; j < i; ++j) {
            place(us + 0.0125 * (j + 1), vs - 0.01 * (j + 1), 0, 1, -j);
        }
    }
}

int DominoSpiral::build() {
    layOut();
    return buildGeometry(true);
}

DVec3 DominoSpiral::surfacePoint(double u, double v) const {
    return {200 * u - 138, -36, 200 * v + 1174.9733552923244};
}

int DominoSpiral::createMaterials() {
    TextureImage* picture = loadTexture("data\\ice-dragon.jpg", kErrorDomino);
    primaryMaterial = fileMaterial("DominoSpiralMaterial", kStatesGouraud, kLitTexture, picture,
                                   gfx::D3DTEXF_LINEAR, kWhite, kWhite);
    const ColorF blue{1, 0.25f, 0.5f, 1};
    Material* sides = fileMaterial("DominoSpiralMaterial2", kStatesGouraud, kLitTexture, nullptr,
                                   gfx::D3DTEXF_LINEAR, blue, kNone);
    mesh.subsetMaterials[0] = primaryMaterial;
    mesh.subsetMaterials[1] = sides;
    return 0;
}

int DominoSpiral::computeTC(const DominoRecord& r, float* tc) {
    const double a = 0.04 * r.du, b = 0.02 * r.dv, g = 0.04 * r.dv, h = -0.02 * r.du;
    const double pairs[4][2] = {{r.u, 1 - r.v},
                                {r.u + b, 1 - (r.v + h)},
                                {r.u + a, 1 - (r.v + g)},
                                {r.u + a + b, 1 - (r.v + g + h)}};
    for (int k = 0; k < kVerticesPerDomino; ++k) {
        tc[2 * k] = float(pairs[k & 3][0]);
        tc[2 * k + 1] = float(pairs[k & 3][1]);
    }
    return 0;
}
