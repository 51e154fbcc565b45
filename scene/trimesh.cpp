// Mesh arrays, subsets and smooth normals; placed instances and their material tables.
// Allocation failures are returned (kMeshOutOfMemory), never thrown.
#include "scene/trimesh.h"

#include <cmath>
#include <cstdlib>

namespace {

template <class T> T* allocateArray(size_t count) {
    return static_cast<T*>(std::malloc(count != 0 ? count * sizeof(T) : 1));
}

template <class T> void freeArray(T*& p) {
    std::free(p);
    p = nullptr;
}

} // namespace

int TriMesh::create(uint32_t vertices, uint32_t faces, int texSets, uint32_t subsetTotal,
                    uint32_t meshFlags) {
    release();
    vertexCount = vertices;
    faceCount = faces;
    positions = allocateArray<Vec3>(vertices);
    if (positions == nullptr) {
        return kMeshOutOfMemory;
    }
    flags = meshFlags;
    if ((flags & kMeshIndexed) != 0) {
        indexCount = 3 * faces;
        indices = allocateArray<uint32_t>(indexCount);
        if (indices == nullptr) {
            return kMeshOutOfMemory;
        }
    }
    if ((flags & kMeshNormals) != 0) {
        normals = allocateArray<Vec3>(vertices);
        if (normals == nullptr) {
            return kMeshOutOfMemory;
        }
    }
    if ((flags & kMeshColours) != 0) {
        colours = allocateArray<uint32_t>(vertices);
        if (colours == nullptr) {
            return kMeshOutOfMemory;
        }
    }
    texCoordSetCount = texSets < 0 ? 0 : (texSets > 2 ? 2 : texSets);
    for (int s = 0; s < texCoordSetCount; ++s) {
        texCoords[s] = allocateArray<TexCoord>(vertices);
        if (texCoords[s] == nullptr) {
            return kMeshOutOfMemory;
        }
    }
    int result = setSubsetCount(subsetTotal);
    if (result != 0) {
        return result;
    }
    if (subsetTotal == 1) {
        subsets[0] = {0, 0, vertices, faces};
    }
    return 0;
}

int TriMesh::setSubsetCount(uint32_t n) {
    if (n == subsetCount && subsets != nullptr) {
        return 0;
    }
    freeArray(subsets);
    freeArray(subsetMaterials);
    subsetCount = 0;
    subsets = allocateArray<MeshSubset>(n);
    if (subsets == nullptr) {
        return kMeshOutOfMemory;
    }
    if ((flags & kMeshSubsetMaterials) != 0) {
        subsetMaterials = static_cast<Material**>(std::calloc(n != 0 ? n : 1, sizeof(Material*)));
        if (subsetMaterials == nullptr) {
            return kMeshOutOfMemory;
        }
    }
    subsetCount = n;
    return 0;
}

void TriMesh::computeNormals() {
    if ((flags & kMeshNormals) != 0) {
        return;
    }
    flags |= kMeshNormals;
    if (normals == nullptr) {
        normals = static_cast<Vec3*>(std::calloc(vertexCount != 0 ? vertexCount : 1, sizeof(Vec3)));
        if (normals == nullptr) {
            flags &= ~kMeshNormals;
            return;
        }
    }
    if (positions == nullptr || indices == nullptr) {
        return;
    }
    for (uint32_t f = 0; f < faceCount; ++f) {
        const uint32_t* face = indices + 3 * f;
        if (face[0] >= vertexCount || face[1] >= vertexCount || face[2] >= vertexCount) {
            continue; // a bad index would read outside the arrays
        }
        Vec3 u = positions[face[1]] - positions[face[0]];
        Vec3 v = positions[face[2]] - positions[face[1]];
        // n = v x u: twice the area, not normalised.
        Vec3 n{u.z * v.y - u.y * v.z, u.x * v.z - u.z * v.x, u.y * v.x - u.x * v.y};
        for (int c = 0; c < 3; ++c) {
            Vec3& sum = normals[face[c]];
            sum = dot(n, sum) < 0 ? sum - n : sum + n;
        }
    }
    for (uint32_t i = 0; i < vertexCount; ++i) {
        float length = std::sqrt(dot(normals[i], normals[i]));
        if (length > 0) {
            normals[i] = normals[i] * (1.0f / length);
        }
    }
}

void TriMesh::release() {
    freeArray(positions);
    freeArray(normals);
    freeArray(colours);
    freeArray(texCoords[0]);
    freeArray(texCoords[1]);
    freeArray(indices);
    freeArray(subsets);
    freeArray(subsetMaterials);
    vertexCount = faceCount = indexCount = subsetCount = 0;
    texCoordSetCount = 0;
    reserved = 0;
    flags = 0;
    buffers = nullptr;
    lockVertices = nullptr;
    unlockVertices = nullptr;
    lockedVertices = nullptr;
    lockedStride = 0;
}

TriMeshObj::~TriMeshObj() {
    releaseObject();
    std::free(driverHandle); // the driver allocates it with std::calloc
}

void TriMeshObj::init(TriMesh* attached, int reservedValue, uint32_t objectFlags) {
    flags = objectFlags;
    reserved1 = reservedValue;
    setMesh(attached);
    orientation = identity3();
    position = {0, 0, 0};
    positionD[0] = positionD[1] = positionD[2] = 0.0;
    scale = {1, 1, 1};
}

void TriMeshObj::setMesh(TriMesh* attached) {
    releaseObject();
    mesh = attached;
    if ((flags & kObjectOwnMaterials) != 0 && attached != nullptr) {
        uint32_t n = attached->subsetCount;
        subsetMaterials = static_cast<Material**>(std::calloc(n != 0 ? n : 1, sizeof(Material*)));
    }
}

void TriMeshObj::releaseObject() {
    std::free(subsetMaterials);
    subsetMaterials = nullptr;
}
