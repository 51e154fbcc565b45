// The Koch surface: a five-times subdivided tetrahedron drawn as a glowing wireframe, 10000
// particles walking the edges of the same surface as a graph, a green listing scrolling on a
// rotating tiled grid, all blended through a ring of render targets that leaves trails.
// The particles and one-time steps carry state between frames; the part runs once.
#pragma once

#include "demo/demo_part.h"
#include "render/grid_renderer.h"
#include "scene/camera.h"
#include "scene/particles.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Material;
struct TextureImage;
struct TriMesh;
struct TriMeshObj;

// Position and colour coordinate (the first two are the texture coordinates).
struct KochVertex {
    Vec3 position;
    Vec3 colour;
};
struct KochTriangle {
    KochVertex corner[3];
};

constexpr int kKochPasses = 5;
constexpr uint32_t kKochTriangles = 4 * 6 * 6 * 6 * 6 * 6; // 4 x 6^5 = 31104
// Room reserved per node; the five-pass surface needs at most 8 (see the graph tests).
constexpr int kKochEdgesPerNode = 24;
constexpr uint32_t kKochParticles = 10000;
constexpr uint32_t kKochParticleGroups = 3;
constexpr float kKochLegDuration = 0.25f; // seconds per edge
// "data\asm.txt" is read 255 characters at a time.
constexpr size_t kKochLineChunk = 255;

// Tetrahedron, then `passes` subdivisions: 4 x 6^passes triangles in list order.
std::vector<KochTriangle> buildKochSurface(int passes);

struct KochNode {
    Vec3 position;
    int neighbourCount;
    int firstEdge; // -1 for none
};
struct KochEdge {
    int neighbour;
    int next; // next edge of the same node, -1 ends the list
};

// The surface's vertices merged by position into nodes, each with its list of distinct
// neighbours. Edges live in fixed storage of kKochEdgesPerNode per node.
class KochGraph {
public:
    // Sorts the vertices by (x, y, z), numbers the runs of equal positions, then links the
    // faces' corners. A node that already has kKochEdgesPerNode edges takes no more.
    void build(const Vec3* positions, uint32_t vertexCount, const uint32_t* indices,
               uint32_t faceCount);
    // Adds from -> to unless present or the node is full; true when added.
    bool addEdge(int from, int to);
    // The neighbour k links along the node's list (k < neighbourCount).
    int neighbour(int node, int k) const;

    std::vector<KochNode> nodes;
    std::vector<KochEdge> edges; // nodes.size() x kKochEdgesPerNode reserved
    std::vector<int> vertexNode; // node of each mesh vertex
    size_t edgeCount = 0;        // edges in use
};

// The gradient of the surface: 256 x 256 B, G, R, A bytes (alpha 0).
void fillKochGradient(uint8_t* pixels, uint32_t pitch);

// Lines of a text file, 255 characters per read: a longer line is split into pieces of
// 255, trailing carriage returns and line feeds removed. A missing file gives no lines.
std::vector<std::string> readListing(const char* path);

class KochPart final : public DemoPart {
public:
    explicit KochPart(float duration);
    ~KochPart() override;

    int load() override;
    int render(float localTime, float deltaTime) override;
    int release() override { return 0; }

    // Advances every particle to t (step 1 of a frame).
    void walkParticles(float t, float dt);
    // Objects, one-time steps and particle display positions at t (steps 2-3).
    void updatePhases(float t);
    // The scroller grid's coordinates at t (step 4).
    void rewriteScroller(float t);

    // What the tests and benchmarks look at.
    ParticleArray particles;
    KochGraph graph;
    std::vector<std::string> lines;
    std::unique_ptr<TriMesh> mesh;
    std::unique_ptr<TriMeshObj> objects[2];
    Material* particleMaterials[4] = {nullptr, nullptr, nullptr, nullptr};
    bool secondObject = false; // drawn from 13 s
    int previousRing = 1;

private:
    void loadMaterials();
    void buildMeshAndGraph();
    void startParticles();
    void drawText(float t);

    GridRenderer scroller;
    TextureImage* targets[4] = {nullptr, nullptr, nullptr, nullptr}; // ring 0..2, text
    Material* baseMaterial = nullptr;
    Projection projection{};
    Camera camera{};
    Scene scene;

    bool firstFrame = true;
    bool phaseB = true; // one-time step at 4 s still due
    bool phaseC = true; // one-time step at 6 s still due
};
