// Mesh upload and object drawing: the device buffers a TriMesh becomes, the driver-table
// operations over them, and the view-frustum test drawObject culls bounding spheres with.
// Materials are applied by render/material.h; the meshes themselves live in scene/.
#pragma once

#include "platform/gfx/gfx.h"
#include "scene/camera.h"

#include <cstdint>

struct TriMesh;
struct TriMeshObj;

// One per uploaded mesh: the interleaved vertex layout and its two buffers.
struct MeshBuffers {
    uint32_t stride;       // bytes per vertex: 12 + 12 (normal) + 4 (colour) + 8 per set
    uint32_t vertexFormat; // FVF bits
    gfx::Ref<gfx::VertexBuffer> vertexBuffer;
    gfx::Ref<gfx::IndexBuffer> indexBuffer; // 16-bit up to 65535 vertices, else 32-bit
};

// The largest vertex count that still gets 16-bit indices.
constexpr uint32_t kMaxShortIndexedVertices = 65535;

// Driver-table operations (installed by fillTable).
int createMeshBuffers(TriMesh* mesh, int flags);
int releaseMeshBuffers(TriMesh* mesh, int flags);
int createObjectHandle(TriMeshObj* object, int flags);
int releaseObjectHandle(TriMeshObj* object, int flags);
int drawObject(TriMeshObj* object);

// The buffer record of an uploaded mesh; null when it has none or holds the no-buffers marker.
MeshBuffers* meshBuffersOf(const TriMesh* mesh);

// True when a sphere (view space: x right, y up, z forward) lies wholly outside the view
// frustum of an applied projection (centre, focal lengths and far plane set).
bool sphereOutsideView(Vec3 centre, float radius, const Projection& projection);

// True unless a sphere given in an object's own coordinates (before its scale) lies wholly
// outside the view of the current scene's camera: what lies outside draws no pixel.
bool objectSphereInView(const TriMeshObj& object, Vec3 centre, float radius);

// World matrix of an instance: rows scaled by `scale`, translation `position`.
gfx::Matrix objectWorldMatrix(const Mat3& orientation, Vec3 scale, Vec3 position);
