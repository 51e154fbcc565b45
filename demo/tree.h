// The Tree: a recursive set of curved, tapering branches grown at load from a fixed seed,
// with square leaves on the thin branches, seen through a framing picture. The trunk grows
// by drawing a prefix of its faces; nothing is rebuilt after load.
#pragma once

#include "demo/demo_part.h"
#include "render/grid_renderer.h"
#include "scene/camera.h"
#include "scene/spline.h"

#include <cstdint>
#include <memory>

struct Material;
struct TriMesh;
struct TriMeshObj;

// One node of the generated tree.
struct TreeBranch {
    Spline curve;       // 5 keys at times 0..4
    int level = 0;      // remaining depth: 6 for the root, 0 for the outermost twigs
    int childCount = 0; // 0 when level is 0, else 1..5
    std::unique_ptr<TreeBranch[]> children; // childCount entries
};

// Totals over a whole tree, computed before the meshes are allocated.
struct TreeCounts {
    uint32_t branches = 0;
    uint32_t trunkVertices = 0;
    uint32_t trunkFaces = 0;
    uint32_t leafBranches = 0; // branches of level 0..3
};

// Seed of the shared generator at the start of the Tree's load.
constexpr uint32_t kTreeSeed = 362413;
// The frame picture, drawn over everything, is opaque in its outer 40 of 512 texels on every
// side: what lies under that band is never seen, so the trunk and leaves are bounded to the
// view less this fraction of its width and height on each side (bilinear footprints
// included).
constexpr float kTreeFrameOpaqueEdge = 0.07f;
constexpr int kTreeRootLevel = 6;
constexpr int kTreeKeys = 5;
// Per branch: 2 x keys rings of 10 vertices, 9 ring gaps of 20 triangles.
constexpr uint32_t kBranchVertices = 20 * kTreeKeys;   // 100
constexpr uint32_t kBranchFaces = 40 * kTreeKeys - 20; // 180
constexpr int kLeafMaxLevel = 3;                       // levels 0..3 carry leaves
constexpr uint32_t kLeavesPerBranch = 5;
constexpr uint32_t kLeafBranchVertices = 4 * kLeavesPerBranch; // 20
constexpr uint32_t kLeafBranchFaces = 2 * kLeavesPerBranch;    // 10

class TreePart final : public DemoPart {
public:
    explicit TreePart(float duration);
    ~TreePart() override;

    int load() override;
    int render(float localTime, float deltaTime) override;
    int release() override;

    // Generates a branch and its whole subtree from the shared generator's current state.
    static void generate(TreeBranch& branch, Vec3 start, Vec3 direction, int level);
    static TreeCounts countTree(const TreeBranch& root);
    // Trunk faces drawn at t of a tree of `full` faces: all from 7.5 s.
    static uint32_t trunkFacesDrawn(float t, uint32_t full);
    // Fixed shot shown at t (0..2), or -1 outside 14.8 <= t < 20.6.
    static int shotAt(float t);
    // Leaf opacity F at t.
    static float leafStrength(float t);

    const TreeBranch& root() const { return *rootBranch; }
    const TriMesh* trunk() const { return trunkMesh.get(); }
    const TriMesh* leaves() const { return leafMesh.get(); }
    const Camera& viewCamera() const { return camera; }

private:
    void buildTrunk(const TreeCounts& counts);
    void buildLeaves(const TreeCounts& counts);
    void placeCamera(float t);

    std::unique_ptr<TreeBranch> rootBranch;
    std::unique_ptr<TriMesh> trunkMesh;
    std::unique_ptr<TriMeshObj> trunkObject;
    std::unique_ptr<TriMesh> leafMesh;
    std::unique_ptr<TriMeshObj> leafObject;
    GridRenderer frameGrid;
    Material* frameMaterial = nullptr;
    Projection projection{};
    Camera camera{};
    Scene scene;
};
