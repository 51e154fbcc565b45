// Mesh upload (layout, index width, the no-buffers marker) and drawObject on
// the real device: per-subset materials, bounding-sphere culling, camera-relative doubles.
#include "render/material.h"
#include "render/mesh_buffers.h"
#include "scene/trimesh.h"
#include "support/driver_fixture.h"

#include <cmath>
#include <cstring>

namespace {

// Quads side by side in the plane z = 0 of mesh space, one subset each: quad i spans
// x in [x0 + 20 i, x0 + 20 i + 20) and y in [-10, 10].
void quads(TriMesh& mesh, int count, float x0, uint32_t flags = kMeshIndexed) {
    ASSERT_EQ(mesh.create(4 * count, 2 * count, 0, count, flags), 0);
    for (int q = 0; q < count; ++q) {
        float left = x0 + 20.0f * float(q), right = left + 20.0f;
        Vec3* p = mesh.positions + 4 * q;
        p[0] = {left, 10, 0};
        p[1] = {right, 10, 0};
        p[2] = {right, -10, 0};
        p[3] = {left, -10, 0};
        uint32_t b = 4 * q;
        const uint32_t faces[6] = {b, b + 1, b + 2, b, b + 2, b + 3};
        if (mesh.indices != nullptr) {
            std::memcpy(mesh.indices + 6 * q, faces, sizeof faces);
        }
        mesh.subsets[q] = {b, uint32_t(2 * q), 4, 2};
    }
}

// Screen column of a world x at depth z for the fixture's 65-degree, 800-pixel view.
uint32_t screenX(float x, float z) {
    float focal = float(0.5 / std::tan(65.0 * M_PI / 360.0) * 800.0);
    return uint32_t(400.0f + x * focal / z);
}

class MeshUpload : public NullDriverFixture {};

TEST_F(MeshUpload, SixteenBitIndicesUpTo65535Vertices) {
    for (uint32_t count : {65535u, 65536u}) {
        TriMesh mesh;
        ASSERT_EQ(mesh.create(count, 1, 0, 1, kMeshIndexed), 0);
        std::memset(mesh.positions, 0, sizeof(Vec3) * count);
        mesh.indices[0] = 0;
        mesh.indices[1] = 1;
        mesh.indices[2] = count - 1;
        ASSERT_EQ(driver->createMeshBuffers(&mesh, 0), 0);
        MeshBuffers* b = meshBuffersOf(&mesh);
        ASSERT_NE(b, nullptr);
        gfx::IndexBufferDesc desc{};
        ASSERT_GE(b->indexBuffer->getDesc(&desc), 0);
        bool wide = count > 65535;
        EXPECT_EQ(desc.Format, wide ? gfx::D3DFMT_INDEX32 : gfx::D3DFMT_INDEX16) << count;
        EXPECT_EQ(desc.Size, wide ? 12u : 6u) << count;
        uint8_t* data = nullptr;
        ASSERT_GE(b->indexBuffer->lock(0, 0, &data, gfx::D3DLOCK_READONLY), 0);
        uint32_t last = 0;
        if (wide) {
            std::memcpy(&last, data + 8, 4);
        } else {
            uint16_t v = 0;
            std::memcpy(&v, data + 4, 2);
            last = v;
        }
        b->indexBuffer->unlock();
        EXPECT_EQ(last, count - 1);
        EXPECT_EQ(driver->releaseMeshBuffers(&mesh, 0), 0);
    }
}

TEST_F(MeshUpload, InterleavesEveryArrayAndFreesTheBigOnes) {
    TriMesh mesh;
    ASSERT_EQ(mesh.create(3, 1, 2, 1, kMeshIndexed | kMeshNormals | kMeshColours), 0);
    for (uint32_t i = 0; i < 3; ++i) {
        float f = float(i);
        mesh.positions[i] = {f, f + 0.5f, f + 0.25f};
        mesh.normals[i] = {0, 0, -f};
        mesh.colours[i] = 0xFF102030u + i;
        mesh.texCoords[0][i] = {f * 0.1f, f * 0.2f};
        mesh.texCoords[1][i] = {f * 0.3f, f * 0.4f};
        mesh.indices[i] = i;
    }
    ASSERT_EQ(driver->createMeshBuffers(&mesh, 0), 0);
    MeshBuffers* b = meshBuffersOf(&mesh);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->stride, 44u);
    EXPECT_EQ(b->vertexFormat,
              gfx::D3DFVF_XYZ | gfx::D3DFVF_NORMAL | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX2);
    EXPECT_EQ(mesh.positions, nullptr);
    EXPECT_EQ(mesh.normals, nullptr);
    EXPECT_EQ(mesh.indices, nullptr);

    // The installed range lock points at vertex 2 in the interleaved layout.
    ASSERT_NE(mesh.lockVertices, nullptr);
    ASSERT_EQ(mesh.lockVertices(&mesh, 2, 1), 0);
    EXPECT_EQ(mesh.lockedStride, 44u);
    float f[11];
    std::memcpy(f, mesh.lockedVertices, sizeof f);
    uint32_t colour = 0;
    std::memcpy(&colour, mesh.lockedVertices + 24, 4);
    EXPECT_EQ(mesh.unlockVertices(&mesh), 0);
    EXPECT_FLOAT_EQ(f[1], 2.5f);
    EXPECT_FLOAT_EQ(f[5], -2.0f);
    EXPECT_EQ(colour, 0xFF102032u);
    EXPECT_FLOAT_EQ(f[7], 0.2f);
    EXPECT_FLOAT_EQ(f[10], 0.8f);

    // A second upload is refused and keeps the buffers.
    EXPECT_EQ(driver->createMeshBuffers(&mesh, 0), 1);
    EXPECT_EQ(meshBuffersOf(&mesh), b);
    EXPECT_EQ(driver->releaseMeshBuffers(&mesh, 0), 0);
    EXPECT_EQ(driver->releaseMeshBuffers(&mesh, 0), 1);
    EXPECT_EQ(mesh.lockVertices, nullptr);
}

TEST_F(MeshUpload, NothingToUploadLeavesTheMarker) {
    TriMesh flagless;
    ASSERT_EQ(flagless.create(4, 2, 0, 1, 0), 0);
    EXPECT_EQ(driver->createMeshBuffers(&flagless, 0), 0);
    EXPECT_TRUE(flagless.hasNoBuffersMarker());
    EXPECT_EQ(meshBuffersOf(&flagless), nullptr);
    EXPECT_EQ(driver->releaseMeshBuffers(&flagless, 0), 0);
    EXPECT_EQ(flagless.buffers, nullptr);
    EXPECT_EQ(driver->releaseMeshBuffers(&flagless, 0), 1);

    TriMesh empty; // no positions at all
    empty.flags = kMeshIndexed;
    EXPECT_EQ(driver->createMeshBuffers(&empty, 0), 0);
    EXPECT_TRUE(empty.hasNoBuffersMarker());
    EXPECT_EQ(driver->releaseMeshBuffers(&empty, 0), 0);
}

TEST(SphereCulling, TestsTheSphereAgainstEachSideOfTheView) {
    Projection p{};
    p.left = 0;
    p.top = 0;
    p.right = 800;
    p.bottom = 600;
    p.centreX = 400;
    p.centreY = 300;
    p.focalX = p.focalY = 600; // 800 pixels span x in [-2/3 z, 2/3 z]
    p.farPlane = 1000;
    EXPECT_FALSE(sphereOutsideView({0, 0, 100}, 1, p));
    EXPECT_TRUE(sphereOutsideView({0, 0, -50}, 10, p));   // behind the eye
    EXPECT_FALSE(sphereOutsideView({0, 0, -50}, 60, p));  // the eye is inside it
    EXPECT_TRUE(sphereOutsideView({0, 0, 1100}, 50, p));  // beyond the far plane
    EXPECT_FALSE(sphereOutsideView({0, 0, 1020}, 50, p)); // across it
    // Left edge at z = 100 is x = -66.7: a sphere at x = -100 is 27.7 units out.
    EXPECT_TRUE(sphereOutsideView({-100, 0, 100}, 20, p));
    EXPECT_FALSE(sphereOutsideView({-100, 0, 100}, 35, p));
    EXPECT_TRUE(sphereOutsideView({100, 0, 100}, 20, p));
    // Top edge at z = 100 is y = 50 (y up).
    EXPECT_TRUE(sphereOutsideView({0, 80, 100}, 20, p));
    EXPECT_FALSE(sphereOutsideView({0, 80, 100}, 30, p));
    EXPECT_TRUE(sphereOutsideView({0, -80, 100}, 20, p));
}

class ObjectDrawing : public InSceneFixture {
protected:
    // An object of the mesh 100 units in front of the camera.
    void place(TriMeshObj& object, TriMesh& mesh, uint32_t flags = 0) {
        object.init(&mesh, 0, flags);
        object.position = {0, 0, 100};
        ASSERT_EQ(driver->createMeshBuffers(&mesh, 0), 0);
    }
};

TEST_F(ObjectDrawing, EachSubsetTakesTheObjectsThenTheMeshsThenTheSceneMaterial) {
    TriMesh mesh;
    quads(mesh, 3, -30, kMeshIndexed | kMeshSubsetMaterials);
    mesh.subsetMaterials[0] = solidMaterial({1, 1, 0, 0});
    mesh.subsetMaterials[1] = solidMaterial({1, 0, 1, 0});
    scene.defaultMaterial = solidMaterial({1, 0, 0, 1});
    TriMeshObj object;
    place(object, mesh, kObjectOwnMaterials);
    object.subsetMaterials[1] = solidMaterial({1, 1, 1, 1});
    driver->applyScene(driver, &scene, 0);
    EXPECT_EQ(driver->drawObject(&object), 0);
    EXPECT_EQ(pixel(screenX(-20, 100), 300), kRed);
    EXPECT_EQ(pixel(screenX(0, 100), 300), 0xFFFFFFu);
    EXPECT_EQ(pixel(screenX(20, 100), 300), kBlue);
    EXPECT_EQ(pixel(screenX(45, 100), 300), kBlack);
}

TEST_F(ObjectDrawing, ScaleAndOrientationShapeTheWorldTransform) {
    TriMesh mesh;
    quads(mesh, 1, 0); // x in [0, 20)
    scene.defaultMaterial = solidMaterial({1, 0, 1, 0});
    TriMeshObj object;
    place(object, mesh);
    object.scale = {2, 1, 1};
    object.orientation = eulerMatrix(0, 0, float(M_PI)); // half a turn about z: x -> -x
    driver->drawObject(&object);
    EXPECT_EQ(pixel(screenX(-30, 100), 300), kGreen);
    EXPECT_EQ(pixel(screenX(10, 100), 300), kBlack);
}

TEST_F(ObjectDrawing, SpheresInAnObjectsOwnCoordinatesTakeItsScaleTurnAndPlace) {
    TriMesh mesh;
    quads(mesh, 1, 0);
    TriMeshObj object;
    place(object, mesh);
    driver->applyScene(driver, &scene, 0);
    // The view's side at depth 100 is about 64 units from its centre.
    EXPECT_TRUE(objectSphereInView(object, {0, 0, 0}, 1));
    EXPECT_TRUE(objectSphereInView(object, {60, 0, 0}, 1));
    EXPECT_FALSE(objectSphereInView(object, {70, 0, 0}, 1));
    object.scale = {10, 10, 10}; // centre 300 out, radius 10 or 250
    EXPECT_FALSE(objectSphereInView(object, {30, 0, 0}, 1));
    EXPECT_TRUE(objectSphereInView(object, {30, 0, 0}, 25));
    object.scale = {1, 1, 1};
    object.orientation = eulerMatrix(0, 0, float(M_PI) / 2); // a quarter turn: x -> y
    EXPECT_FALSE(objectSphereInView(object, {70, 0, 0}, 1)); // above the top (48 units)
    EXPECT_TRUE(objectSphereInView(object, {40, 0, 0}, 1));
    object.orientation = identity3();
    object.position = {0, 0, -100}; // behind the eye
    EXPECT_FALSE(objectSphereInView(object, {0, 0, 0}, 50));
}

TEST_F(ObjectDrawing, BehindTheEyeIsCulledOnlyWithAValidSphere) {
    TriMesh mesh;
    quads(mesh, 1, -10);
    scene.defaultMaterial = solidMaterial({1, 1, 0, 0});
    TriMeshObj object;
    place(object, mesh);
    // A sphere that claims the mesh sits behind the camera.
    mesh.boundCentre = {0, 0, -500};
    mesh.boundRadius = 5;
    mesh.flags |= kMeshBoundingSphere;
    driver->drawObject(&object);
    EXPECT_EQ(pixel(400, 300), kBlack);
    mesh.flags &= ~kMeshBoundingSphere;
    driver->drawObject(&object);
    EXPECT_EQ(pixel(400, 300), kRed);
}

TEST_F(ObjectDrawing, TheSphereMovesWithTheObjectAndTheCameraAndTakesItsScale) {
    TriMesh mesh;
    quads(mesh, 1, -10);
    // The sphere lies 500 units behind the mesh in mesh space; only the object's half turn
    // brings it in front of the camera.
    mesh.boundCentre = {0, 0, -500};
    mesh.boundRadius = 5;
    mesh.flags |= kMeshBoundingSphere;
    scene.defaultMaterial = solidMaterial({1, 0, 1, 0});
    TriMeshObj object;
    place(object, mesh);
    object.orientation = eulerMatrix(0, float(M_PI), 0);
    driver->drawObject(&object);
    EXPECT_EQ(pixel(400, 300), kGreen);

    // Unturned, the sphere is at z = -400; a camera at z = -600 still sees it ahead.
    clearTo(0, 0, 0);
    object.orientation = identity3();
    driver->drawObject(&object);
    EXPECT_EQ(pixel(400, 300), kBlack);
    camera.position = {0, 0, -600};
    driver->applyScene(driver, &scene, 0);
    driver->drawObject(&object);
    EXPECT_EQ(pixel(400, 300), kGreen);

    // The object's scale: a tenth brings the sphere to 50 units behind the mesh, ahead of a
    // camera back at the origin.
    clearTo(0, 0, 0);
    camera.position = {0, 0, 0};
    driver->applyScene(driver, &scene, 0);
    object.scale = {0.1f, 0.1f, 0.1f};
    driver->drawObject(&object);
    EXPECT_EQ(pixel(400, 300), kGreen);
    // Ten times: a sphere 7 units aside with radius 1 lies 70 units aside with radius 10,
    // reaching into the view (its side is about 64 units out at this depth); radius 0.4 does not.
    clearTo(0, 0, 0);
    mesh.boundCentre = {7, 0, 0};
    mesh.boundRadius = 1;
    object.scale = {10, 10, 10};
    driver->drawObject(&object);
    EXPECT_EQ(pixel(400, 300), kGreen);
    clearTo(0, 0, 0);
    mesh.boundRadius = 0.4f;
    driver->drawObject(&object);
    EXPECT_EQ(pixel(400, 300), kBlack);
}

TEST_F(ObjectDrawing, DoublePositionsAreTakenRelativeToTheCamera) {
    TriMesh mesh;
    quads(mesh, 1, -10);
    scene.defaultMaterial = solidMaterial({1, 0, 0, 1});
    TriMeshObj object;
    place(object, mesh, kObjectDoublePosition);
    camera.flags = kCameraLargeWorld;
    camera.positionD[0] = 1e9;
    camera.positionD[2] = 3e9;
    object.positionD[0] = 1e9 + 15; // a float would lose this offset
    object.positionD[2] = 3e9 + 100;
    driver->applyScene(driver, &scene, 0);
    driver->drawObject(&object);
    EXPECT_EQ(pixel(screenX(15, 100), 300), kBlue);
    EXPECT_EQ(pixel(screenX(-15, 100), 300), kBlack);
}

TEST_F(ObjectDrawing, MeshesWithoutBuffersDrawNothing) {
    scene.defaultMaterial = solidMaterial({1, 1, 0, 0});
    TriMesh marked; // vertices and faces, but flags 0: the marker
    quads(marked, 1, -10, 0);
    TriMeshObj object;
    place(object, marked);
    ASSERT_TRUE(marked.hasNoBuffersMarker());
    EXPECT_EQ(driver->drawObject(&object), 0);

    TriMesh neverUploaded;
    quads(neverUploaded, 1, -10);
    TriMeshObj other;
    other.init(&neverUploaded, 0, 0);
    other.position = {0, 0, 100};
    EXPECT_EQ(driver->drawObject(&other), 0);
    EXPECT_EQ(pixel(400, 300), kBlack);
}

TEST_F(ObjectDrawing, UnlitMaterialsShowFullBrightness) {
    TriMesh mesh;
    quads(mesh, 1, -10);
    Material* dark = solidMaterial({1, 0, 0, 0});
    dark->states->flags = kStateNoCulling; // lighting mode 0
    scene.defaultMaterial = dark;
    TriMeshObj object;
    place(object, mesh);
    driver->drawObject(&object);
    EXPECT_EQ(pixel(400, 300), 0xFFFFFFu);
}

} // namespace
