// Triangle meshes built in main memory (separate position, normal, colour, texture-coordinate
// and index arrays plus draw subsets) and the placed instances that show them. The render
// driver turns a mesh into device buffers and frees the big arrays; this file never touches
// the device, and releasing the driver buffers is the driver's job (releaseMeshBuffers).
#pragma once

#include "scene/camera.h"

#include <cstdint>

struct Material;
struct TriMesh;

// Mesh flag bits.
constexpr uint32_t kMeshIndexed = 1u << 0;        // indices hold 3 x faceCount entries
constexpr uint32_t kMeshNormals = 1u << 1;        // normals present
constexpr uint32_t kMeshBoundingSphere = 1u << 2; // boundCentre/boundRadius valid; cull
constexpr uint32_t kMeshSubsetMaterials = 1u << 4;
constexpr uint32_t kMeshColours = 1u << 5; // A8R8G8B8 vertex colours present

// TriMesh::buffers holds this instead of a buffer record when there was nothing to upload.
constexpr uintptr_t kNoMeshBuffers = 0xDEADFACE;

// Results of create/setSubsetCount.
constexpr int kMeshOutOfMemory = 10;

struct TexCoord {
    float u, v;
};

// A run of faces drawn with one material; faces firstFace .. firstFace + faceCount - 1 use
// vertices firstVertex .. firstVertex + vertexCount - 1.
struct MeshSubset {
    uint32_t firstVertex;
    uint32_t firstFace;
    uint32_t vertexCount;
    uint32_t faceCount;
};

// Installed by the driver: lock a vertex range of the device buffer (pointer and stride go
// to lockedVertices/lockedStride), and unlock it. Both return 0 on success.
using MeshLockFn = int (*)(TriMesh* mesh, uint32_t firstVertex, uint32_t vertexCount);
using MeshUnlockFn = int (*)(TriMesh* mesh);

struct TriMesh {
    uint32_t vertexCount = 0;
    Vec3* positions = nullptr;   // freed by the driver after upload
    Vec3* normals = nullptr;     // flags bit 1
    uint32_t* colours = nullptr; // flags bit 5
    TexCoord* texCoords[2] = {nullptr, nullptr};
    int texCoordSetCount = 0; // 0, 1 or 2
    uint32_t faceCount = 0;
    uint32_t indexCount = 0;
    uint32_t* indices = nullptr; // 3 per face; freed by the driver after upload
    uint32_t subsetCount = 0;
    MeshSubset* subsets = nullptr;
    Material** subsetMaterials = nullptr; // flags bit 4; entries start null
    int reserved = 0;
    uint32_t flags = 0;
    Vec3 boundCentre{0, 0, 0}; // mesh coordinates
    float boundRadius = 0;

    // Driver area: the buffer record (or kNoMeshBuffers), the range lock operations and
    // what the last lock returned.
    void* buffers = nullptr;
    MeshLockFn lockVertices = nullptr;
    MeshUnlockFn unlockVertices = nullptr;
    uint8_t* lockedVertices = nullptr;
    uint32_t lockedStride = 0;
    uint32_t lockedReserved = 0;
    // Installed with the buffers: gives them back. The destructor calls it for buffers still
    // held, so a mesh never outlives its device buffers unnoticed (parts are not released).
    int (*releaseBuffers)(TriMesh* mesh, int flags) = nullptr;

    TriMesh() = default;
    ~TriMesh() {
        if (buffers != nullptr && releaseBuffers != nullptr) {
            releaseBuffers(this, 0);
        }
        release();
    }
    TriMesh(const TriMesh&) = delete;
    TriMesh& operator=(const TriMesh&) = delete;

    // Releases everything, then allocates the arrays the flags ask for (contents undefined).
    // With one subset it spans the whole mesh. 0, or kMeshOutOfMemory.
    int create(uint32_t vertexCount, uint32_t faceCount, int texCoordSetCount, uint32_t subsetCount,
               uint32_t flags);
    // New subset and material arrays unless n is already the count. 0 or kMeshOutOfMemory.
    int setSubsetCount(uint32_t n);
    // Smooth vertex normals, accumulating each face flipped where it opposes what a vertex
    // has gathered, so inconsistent windings still smooth. Nothing if normals are flagged.
    void computeNormals();
    // Frees every array and resets the record. The driver buffers must be released first.
    void release();

    bool hasBuffers() const { return buffers != nullptr; }
    bool hasNoBuffersMarker() const {
        return reinterpret_cast<uintptr_t>(buffers) == kNoMeshBuffers;
    }
};

// Object flag bits.
constexpr uint32_t kObjectOwnMaterials = 1u << 2; // per-subset material table
constexpr uint32_t kObjectDoublePosition = 1u << 3;

// A placed instance of a mesh: orientation (rows), position, scale and material overrides.
struct TriMeshObj {
    TriMesh* mesh = nullptr; // not owned
    Mat3 orientation = identity3();
    Vec3 position{0, 0, 0};
    uint32_t reserved0 = 0;
    double positionD[3] = {0, 0, 0}; // used instead of position with flags bit 3
    Vec3 scale{1, 1, 1};
    int reserved1 = 0;
    uint32_t flags = 0;
    Material** subsetMaterials = nullptr; // mesh->subsetCount entries with flags bit 2
    void* driverHandle = nullptr;         // set by the driver's createObjectHandle

    TriMeshObj() = default;
    ~TriMeshObj(); // frees the table and a driver handle left attached
    TriMeshObj(const TriMeshObj&) = delete;
    TriMeshObj& operator=(const TriMeshObj&) = delete;

    // Stores flags, attaches the mesh and resets orientation, position and scale.
    void init(TriMesh* mesh, int reserved, uint32_t flags);
    // Drops the own material table, attaches the mesh and, with flags bit 2, allocates a
    // null-filled table of its subset count.
    void setMesh(TriMesh* mesh);
    // Frees the own material table.
    void releaseObject();
};
