// TriMesh arrays and subsets, and smooth normals.
#include "scene/trimesh.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Two triangles folded along the shared edge (0, 1); the second wound either way.
void foldedPair(TriMesh& mesh, bool flipSecond) {
    ASSERT_EQ(mesh.create(4, 2, 0, 1, kMeshIndexed), 0);
    mesh.positions[0] = {0, 0, 0};
    mesh.positions[1] = {1, 0, 0};
    mesh.positions[2] = {0.5f, 1, 0};
    mesh.positions[3] = {0.5f, -1, 0.7f};
    const uint32_t faces[6] = {0, 1, 2, 1, 0, 3};
    for (int i = 0; i < 6; ++i) {
        mesh.indices[i] = faces[i];
    }
    if (flipSecond) {
        std::swap(mesh.indices[4], mesh.indices[5]);
    }
}

void expectVec(Vec3 a, Vec3 b) {
    EXPECT_NEAR(a.x, b.x, 1e-6);
    EXPECT_NEAR(a.y, b.y, 1e-6);
    EXPECT_NEAR(a.z, b.z, 1e-6);
}

TEST(TriMesh, CreateAllocatesWhatTheFlagsAskFor) {
    TriMesh mesh;
    ASSERT_EQ(mesh.create(4, 2, 1, 1, kMeshIndexed | kMeshSubsetMaterials), 0);
    EXPECT_EQ(mesh.indexCount, 6u);
    EXPECT_NE(mesh.indices, nullptr);
    EXPECT_NE(mesh.positions, nullptr);
    EXPECT_NE(mesh.texCoords[0], nullptr);
    EXPECT_EQ(mesh.texCoords[1], nullptr);
    EXPECT_EQ(mesh.normals, nullptr);
    EXPECT_EQ(mesh.colours, nullptr);
    ASSERT_EQ(mesh.subsetCount, 1u);
    EXPECT_EQ(mesh.subsets[0].firstVertex, 0u);
    EXPECT_EQ(mesh.subsets[0].firstFace, 0u);
    EXPECT_EQ(mesh.subsets[0].vertexCount, 4u);
    EXPECT_EQ(mesh.subsets[0].faceCount, 2u);
    ASSERT_NE(mesh.subsetMaterials, nullptr);
    EXPECT_EQ(mesh.subsetMaterials[0], nullptr);

    // A new subset count replaces the tables; the same count keeps them.
    MeshSubset* before = mesh.subsets;
    EXPECT_EQ(mesh.setSubsetCount(1), 0);
    EXPECT_EQ(mesh.subsets, before);
    EXPECT_EQ(mesh.setSubsetCount(3), 0);
    EXPECT_EQ(mesh.subsetCount, 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mesh.subsetMaterials[i], nullptr);
    }

    mesh.release();
    EXPECT_EQ(mesh.positions, nullptr);
    EXPECT_EQ(mesh.subsets, nullptr);
    EXPECT_EQ(mesh.vertexCount, 0u);
    EXPECT_EQ(mesh.flags, 0u);
}

TEST(TriMesh, OppositeWindingsSmoothAlike) {
    TriMesh alike, opposite;
    foldedPair(alike, false);
    foldedPair(opposite, true);
    alike.computeNormals();
    opposite.computeNormals();
    ASSERT_NE(alike.normals, nullptr);
    EXPECT_NE(alike.flags & kMeshNormals, 0u);
    for (int shared : {0, 1}) {
        expectVec(opposite.normals[shared], alike.normals[shared]);
        EXPECT_NEAR(std::sqrt(dot(alike.normals[shared], alike.normals[shared])), 1.0f, 1e-6);
    }
    // The shared normal lies between the two face normals, not along either.
    EXPECT_GT(std::fabs(alike.normals[0].y), 1e-3);
    EXPECT_GT(std::fabs(alike.normals[0].z), 1e-3);
}

TEST(TriMesh, NormalsOfUnusedVerticesStayZeroAndASecondCallChangesNothing) {
    TriMesh mesh;
    ASSERT_EQ(mesh.create(4, 1, 0, 1, kMeshIndexed), 0);
    mesh.positions[0] = {0, 0, 0};
    mesh.positions[1] = {0, 1, 0};
    mesh.positions[2] = {1, 0, 0};
    mesh.positions[3] = {5, 5, 5};
    mesh.indices[0] = 0;
    mesh.indices[1] = 1;
    mesh.indices[2] = 2;
    mesh.computeNormals();
    // u = (0,1,0), v = (1,-1,0): n = v x u = (0, 0, 1).
    expectVec(mesh.normals[0], {0, 0, 1});
    expectVec(mesh.normals[3], {0, 0, 0});

    mesh.positions[2] = {-1, 0, 0};
    mesh.computeNormals();
    expectVec(mesh.normals[0], {0, 0, 1});
}

} // namespace
