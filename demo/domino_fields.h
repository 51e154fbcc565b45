// The Domino rally's fields: dominoes placed along paths on a surface, each toppling at its
// precomputed time with a fixed rotation (no physics). The maze lies on a half-pipe and
// follows a random maze's paths; the spiral lies on a flat field in six arms whose faces show
// a picture. Built by the scene (demo/domino.h) at load time.
#pragma once

#include "app/color.h"
#include "demo/part_materials.h"
#include "platform/gfx/gfx.h"
#include "scene/camera.h"
#include "scene/trimesh.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

struct Material;
struct TextureImage;

// A world position in double precision (field surfaces are evaluated in doubles).
struct DVec3 {
    double x, y, z;
};

// One domino, in field order.
struct DominoRecord {
    double u, v;       // foot in field coordinates, 0..1 over the field
    double du, dv;     // unit heading in field coordinates
    Vec3 position;     // world position of the foot
    float basis[3][3]; // row by row; columns X (across), N (up), F (heading)
    float toppleTime;  // seconds, relative to the field's startTime
};

// The records rewritten by one updateFalling: [first, end).
struct FallRange {
    size_t first;
    size_t end;
};

// The angle a fallen domino rests at, radians.
constexpr double kFallAngle = 1.124690169985145;
// Every domino is the 2 x 4 x 0.6 box scaled by this.
constexpr float kDominoScale = 1.5f;

class DominoRally {
public:
    DominoRally(bool spiral, float fallSeconds, float stepSeconds)
        : isSpiral(spiral ? 1 : 0), fallDuration(fallSeconds), stepTime(stepSeconds) {}

    // Lays out the dominoes, builds and uploads the mesh. 0 on success.
    virtual int build() = 0;
    virtual DVec3 surfacePoint(double u, double v) const = 0;
    virtual int createMaterials() = 0;
    // The 8 (u, v) pairs of one domino's vertices; non-zero when the field has none.
    virtual int computeTC(const DominoRecord& record, float* texCoords);
    virtual ~DominoRally() = default;

    DominoRally(const DominoRally&) = delete;
    DominoRally& operator=(const DominoRally&) = delete;

    // Rewrites the vertices of the dominoes falling at localTime, and of those that finished
    // since the previous frame, through one locked vertex range. Records outside the mesh
    // are never touched; a time earlier than the last one rewrites the whole field.
    FallRange updateFalling(float localTime, float deltaTime);
    // The 8 vertex positions and normals of a record at a fall angle (radians).
    void dominoVertices(const DominoRecord& record, double angle, Vec3* positions,
                        Vec3* normals) const;

    uint8_t isSpiral;
    Vec3 cornerNormal{0, 0, 0};
    std::vector<DominoRecord> dominoes; // sorted by toppleTime once built
    size_t cursor = 0;                  // next record to fill
    uint32_t dominoCount = 0;
    int gridColumns = 0, gridRows = 0; // maze only
    Material* primaryMaterial = nullptr;
    TriMesh mesh;
    TriMeshObj object;
    float startTime = 0; // seconds added to every topple time
    float fallDuration;  // seconds a domino takes to fall
    float stepTime;      // seconds between consecutive dominoes along a path
    // Field time (localTime - startTime) of the last updateFalling.
    float lastTime = -std::numeric_limits<float>::infinity();

    // Appends a domino at (u, v) with the heading (du, dv) (normalised here) that topples
    // slot x stepTime after startTime.
    void place(double u, double v, double du, double dv, double slot);

protected:
    // Sorts the records and builds, fills and uploads the mesh with face-major (true) or
    // domino-major triangle order and the given subsets.
    int buildGeometry(bool faceMajor);
};

// Field coordinates of the maze: 10 columns round the half-pipe, 80 rows along it.
constexpr int kMazeColumns = 10;
constexpr int kMazeRows = 80;
constexpr int kDominoesPerHalfEdge = 2;
constexpr int kCentreSlots = 2;
// Slots along one cell: two half-edges in, two out, two in the centre.
constexpr int kSlotsPerCell = 2 * kDominoesPerHalfEdge + kCentreSlots;
// Upper bound of placed dominoes: every cell plus the exit cell with all its slots.
constexpr size_t kMazeRecordCapacity = size_t(kSlotsPerCell) * (kMazeColumns * kMazeRows + 1);
// Seed of the maze layout.
constexpr uint32_t kMazeSeed = 666;

class DominoMaze final : public DominoRally {
public:
    DominoMaze() : DominoRally(false, 0.12f, 0.019f) {}
    int build() override;
    DVec3 surfacePoint(double u, double v) const override;
    int createMaterials() override;
    int computeTC(const DominoRecord& record, float* texCoords) override;

    // Seeds the generator, builds the maze and places the dominoes (no geometry).
    void layOut();
    // Seconds from the first domino to the exit domino; the spiral starts then.
    float finishTime = 0;
};

// The maze's centre line: a slow helix of radius 15 along +z, 360 pi long.
DVec3 mazeCentreLine(double v);

struct SpiralArm {
    float phase;
    float radius;
    float shrinkPerRadian;
    float spacing;
    int count;
    double leadStart[2];
    double leadDirection[2];
    float blendOuter;
    float blendInner;
    float leadOffset;
};

constexpr int kSpiralArms = 6;
// 584 + 531 + 484 + 438 + 396 + 357 arm dominoes plus 0 + 1 + ... + 5 feeders.
constexpr uint32_t kSpiralDominoes = 2805;

class DominoSpiral final : public DominoRally {
public:
    DominoSpiral();
    int build() override;
    DVec3 surfacePoint(double u, double v) const override;
    int createMaterials() override;
    int computeTC(const DominoRecord& record, float* texCoords) override;

    void layOut();
    // Field point of an arm's path at parameter x (a straight lead below 0, then the spiral).
    static void armPoint(const SpiralArm& arm, double x, double* u, double* v);

    SpiralArm arms[kSpiralArms];
    uint32_t totalCount = 0;
};

// What the fields and the scene share.
namespace domino {

constexpr double kPi = 3.14159265358979323846;

inline Vec3 toFloat(DVec3 a) {
    return {float(a.x), float(a.y), float(a.z)};
}

constexpr ColorF kWhite{1, 1, 1, 1};
constexpr ColorF kNone{0, 0, 0, 0};
constexpr StageSetup kLitTexture{gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse,
                                 gfx::D3DTOP_DISABLE,  kArgTexture, kArgFactor};

// Files a one-stage material with the given colours and filters.
Material* fileMaterial(const char* name, uint32_t flags, const StageSetup& stage,
                       TextureImage* texture, uint32_t filter, ColorF colour, ColorF emissive);

} // namespace domino
