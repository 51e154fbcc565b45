// Mesh upload: the separate main-memory arrays of a TriMesh become one interleaved managed
// vertex buffer and one index buffer, and the big arrays are freed. Also the vertex-range
// lock operations installed in the mesh, and the one-word object handles.
#include "render/mesh_buffers.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "scene/trimesh.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

int lockVertexRange(TriMesh* mesh, uint32_t firstVertex, uint32_t vertexCount) {
    MeshBuffers* b = meshBuffersOf(mesh);
    if (b == nullptr) {
        return 1;
    }
    uint8_t* data = nullptr;
    if (CHECK_RESULT(b->vertexBuffer->lock(firstVertex * b->stride, vertexCount * b->stride, &data,
                                           0)) != 0) {
        mesh->lockedVertices = nullptr;
        return 1;
    }
    mesh->lockedVertices = data;
    mesh->lockedStride = b->stride;
    return 0;
}

int unlockVertexRange(TriMesh* mesh) {
    MeshBuffers* b = meshBuffersOf(mesh);
    if (b == nullptr) {
        return 1;
    }
    b->vertexBuffer->unlock();
    mesh->lockedVertices = nullptr;
    return 0;
}

// Interleaves position, normal, colour and the texture-coordinate sets. Arrays the flags
// promise but that are missing are written as zeros.
void fillVertices(const TriMesh& mesh, uint8_t* out, uint32_t stride) {
    bool withNormals = (mesh.flags & kMeshNormals) != 0;
    bool withColours = (mesh.flags & kMeshColours) != 0;
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
        uint8_t* v = out + size_t(i) * stride;
        std::memcpy(v, &mesh.positions[i], 12);
        v += 12;
        if (withNormals) {
            Vec3 n = mesh.normals != nullptr ? mesh.normals[i] : Vec3{0, 0, 0};
            std::memcpy(v, &n, 12);
            v += 12;
        }
        if (withColours) {
            uint32_t c = mesh.colours != nullptr ? mesh.colours[i] : 0;
            std::memcpy(v, &c, 4);
            v += 4;
        }
        for (int s = 0; s < mesh.texCoordSetCount; ++s) {
            TexCoord uv = mesh.texCoords[s] != nullptr ? mesh.texCoords[s][i] : TexCoord{0, 0};
            std::memcpy(v, &uv, 8);
            v += 8;
        }
    }
}

// Copies the faces of every subset, in subset order, from the start of the buffer. Faces
// outside the index array are skipped. Returns the number of indices written.
template <class Index> uint32_t fillIndices(const TriMesh& mesh, Index* out) {
    uint32_t written = 0;
    for (uint32_t s = 0; s < mesh.subsetCount; ++s) {
        const MeshSubset& subset = mesh.subsets[s];
        for (uint32_t f = subset.firstFace;
             f - subset.firstFace < subset.faceCount && 3 * f + 2 < mesh.indexCount &&
             written + 3 <= mesh.indexCount;
             ++f) {
            for (int k = 0; k < 3; ++k) {
                out[written++] = Index(mesh.indices[3 * f + k]);
            }
        }
    }
    return written;
}

} // namespace

MeshBuffers* meshBuffersOf(const TriMesh* mesh) {
    if (mesh == nullptr || mesh->buffers == nullptr || mesh->hasNoBuffersMarker()) {
        return nullptr;
    }
    return static_cast<MeshBuffers*>(mesh->buffers);
}

int createMeshBuffers(TriMesh* mesh, int) {
    // NOTE: checked before the marker case, so a second call on an uploaded mesh (whose
    // positions are gone) keeps its buffers instead of losing them under the marker.
    if (mesh->buffers != nullptr) {
        return 1;
    }
    if (mesh->positions == nullptr || mesh->flags == 0) {
        mesh->buffers = reinterpret_cast<void*>(kNoMeshBuffers);
        return 0;
    }
    gfx::Device* dev = gApp->device;
    auto record = std::make_unique<MeshBuffers>();
    uint32_t fvf = gfx::D3DFVF_XYZ;
    uint32_t stride = 12;
    if ((mesh->flags & kMeshNormals) != 0) {
        fvf |= gfx::D3DFVF_NORMAL;
        stride += 12;
    }
    if ((mesh->flags & kMeshColours) != 0) {
        fvf |= gfx::D3DFVF_DIFFUSE;
        stride += 4;
    }
    if (mesh->texCoordSetCount >= 2) {
        fvf |= gfx::D3DFVF_TEX2;
    } else if (mesh->texCoordSetCount == 1) {
        fvf |= gfx::D3DFVF_TEX1;
    }
    stride += 8 * uint32_t(mesh->texCoordSetCount);
    record->stride = stride;
    record->vertexFormat = fvf;

    if (CHECK_RESULT(dev->createVertexBuffer(stride * mesh->vertexCount, 0, fvf,
                                             gfx::D3DPOOL_MANAGED, record->vertexBuffer.put())) !=
        0) {
        return 1;
    }
    uint8_t* vertices = nullptr;
    if (CHECK_RESULT(record->vertexBuffer->lock(0, 0, &vertices, 0)) != 0) {
        return 1;
    }
    fillVertices(*mesh, vertices, stride);
    record->vertexBuffer->unlock();
    std::free(mesh->positions);
    mesh->positions = nullptr;
    std::free(mesh->normals);
    mesh->normals = nullptr;

    if (mesh->indices != nullptr && mesh->indexCount != 0) {
        bool wide = mesh->vertexCount > kMaxShortIndexedVertices;
        uint32_t size = mesh->indexCount * (wide ? 4u : 2u);
        if (CHECK_RESULT(
                dev->createIndexBuffer(size, 0, wide ? gfx::D3DFMT_INDEX32 : gfx::D3DFMT_INDEX16,
                                       gfx::D3DPOOL_MANAGED, record->indexBuffer.put())) != 0) {
            return 1;
        }
        uint8_t* data = nullptr;
        if (CHECK_RESULT(record->indexBuffer->lock(0, 0, &data, wide ? gfx::D3DLOCK_DISCARD : 0)) !=
            0) {
            return 1;
        }
        if (wide) {
            fillIndices(*mesh, reinterpret_cast<uint32_t*>(data));
        } else {
            fillIndices(*mesh, reinterpret_cast<uint16_t*>(data));
        }
        record->indexBuffer->unlock();
        std::free(mesh->indices);
        mesh->indices = nullptr;
    }

    mesh->buffers = record.release();
    mesh->lockVertices = lockVertexRange;
    mesh->unlockVertices = unlockVertexRange;
    mesh->releaseBuffers = releaseMeshBuffers;
    return 0;
}

int releaseMeshBuffers(TriMesh* mesh, int) {
    if (mesh->buffers == nullptr) {
        return 1;
    }
    delete meshBuffersOf(mesh); // the Refs give the index and vertex buffers back
    mesh->buffers = nullptr;
    mesh->lockVertices = nullptr;
    mesh->unlockVertices = nullptr;
    mesh->releaseBuffers = nullptr;
    mesh->lockedVertices = nullptr;
    return 0;
}

int createObjectHandle(TriMeshObj* object, int) {
    if (object->driverHandle != nullptr) {
        return 1;
    }
    // One word; freed with std::free by releaseObjectHandle or the object itself.
    object->driverHandle = std::calloc(1, sizeof(uint32_t));
    return object->driverHandle != nullptr ? 0 : 1;
}

int releaseObjectHandle(TriMeshObj* object, int) {
    if (object->driverHandle == nullptr) {
        return 1;
    }
    std::free(object->driverHandle);
    object->driverHandle = nullptr;
    return 0;
}
