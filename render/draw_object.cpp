// drawObject: culls an instance's bounding sphere against the view frustum, sets its world
// transform and draws each subset with its material. Meshes without device buffers (never
// uploaded, or holding the no-buffers marker) draw nothing and touch no buffer.
#include "app/demo_app.h"
#include "render/driver_internal.h"
#include "render/material.h"
#include "render/mesh_buffers.h"
#include "render/render_driver.h"
#include "scene/trimesh.h"

#include <algorithm>
#include <cmath>

namespace {

Vec3 rotate(const Mat3& m, Vec3 v) {
    return {m.m[0][0] * v.x + m.m[0][1] * v.y + m.m[0][2] * v.z,
            m.m[1][0] * v.x + m.m[1][1] * v.y + m.m[1][2] * v.z,
            m.m[2][0] * v.x + m.m[2][1] * v.y + m.m[2][2] * v.z};
}

// Signed distance of c from the plane through the eye with this (unnormalised) outward
// normal.
float planeDistance(Vec3 c, Vec3 normal) {
    float length = std::sqrt(dot(normal, normal));
    return length > 0 ? dot(c, normal) / length : 0.0f;
}

} // namespace

bool sphereOutsideView(Vec3 c, float radius, const Projection& p) {
    float far = p.farPlane;
    if (c.z < -radius || c.z - radius > far) {
        return true;
    }
    if (p.focalX == 0 || p.focalY == 0) {
        return false; // no applied projection: nothing to test the sides against
    }
    // The frustum edges at the far distance.
    float xl = (p.left - p.centreX) * far / p.focalX;
    float xr = (p.right - p.centreX) * far / p.focalX;
    float yb = -(p.bottom - p.centreY) * far / p.focalY;
    float yt = -(p.top - p.centreY) * far / p.focalY;
    if (c.x < xl - radius || c.x > xr + radius || c.y < yb - radius || c.y > yt + radius) {
        return true;
    }
    if (c.z >= far || dot(c, c) < radius * radius) {
        return false;
    }
    // Side planes through the eye and each far edge, normals pointing out of the view.
    const Vec3 normals[4] = {{-far, 0, xl}, {far, 0, -xr}, {0, -far, yb}, {0, far, -yt}};
    for (const Vec3& n : normals) {
        if (planeDistance(c, n) > radius) {
            return true;
        }
    }
    return false;
}

gfx::Matrix objectWorldMatrix(const Mat3& r, Vec3 scale, Vec3 position) {
    const float s[3] = {scale.x, scale.y, scale.z};
    gfx::Matrix world{};
    for (int i = 0; i < 3; ++i) {
        world.m[i][0] = r.m[0][i] * s[i];
        world.m[i][1] = r.m[1][i] * s[i];
        world.m[i][2] = r.m[2][i] * s[i];
    }
    world.m[3][0] = position.x;
    world.m[3][1] = position.y;
    world.m[3][2] = position.z;
    world.m[3][3] = 1.0f;
    return world;
}

namespace {

// Large worlds keep positions in double precision; relative to the camera they fit a float.
Vec3 positionFromCamera(const TriMeshObj* object, const Camera& camera) {
    double px, py, pz;
    if ((object->flags & kObjectDoublePosition) != 0) {
        px = object->positionD[0];
        py = object->positionD[1];
        pz = object->positionD[2];
    } else {
        px = object->position.x;
        py = object->position.y;
        pz = object->position.z;
    }
    if ((camera.flags & kCameraLargeWorld) != 0) {
        px -= camera.positionD[0];
        py -= camera.positionD[1];
        pz -= camera.positionD[2];
    }
    return {float(px), float(py), float(pz)};
}

} // namespace

bool objectSphereInView(const TriMeshObj& object, Vec3 centre, float radius) {
    Scene* scene = gDriver != nullptr ? gDriver->currentScene : nullptr;
    if (scene == nullptr || scene->camera == nullptr) {
        return true;
    }
    const Camera& camera = *scene->camera;
    const Vec3 s = object.scale;
    const Vec3 scaled{centre.x * s.x, centre.y * s.y, centre.z * s.z};
    const float largest = std::max({std::fabs(s.x), std::fabs(s.y), std::fabs(s.z)});
    const Vec3 c =
        rotate(object.orientation, scaled) + positionFromCamera(&object, camera) - camera.position;
    return !sphereOutsideView(rotate(camera.orientation, c), radius * largest, gCurrentProjection);
}

int drawObject(TriMeshObj* object) {
    TriMesh* mesh = object->mesh;
    if (mesh == nullptr || mesh->vertexCount == 0 || mesh->faceCount == 0) {
        return 0;
    }
    MeshBuffers* buffers = meshBuffersOf(mesh);
    Scene* scene = gDriver != nullptr ? gDriver->currentScene : nullptr;
    if (buffers == nullptr || !buffers->indexBuffer || scene == nullptr ||
        scene->camera == nullptr) {
        return 0;
    }
    const Camera& camera = *scene->camera;
    const Vec3 position = positionFromCamera(object, camera);

    // The sphere is in mesh coordinates: the object's scale moves its centre and widens it.
    if ((mesh->flags & kMeshBoundingSphere) != 0 &&
        !objectSphereInView(*object, mesh->boundCentre, mesh->boundRadius)) {
        return 0;
    }

    gfx::Device* dev = gApp->device;
    gfx::Matrix world = objectWorldMatrix(object->orientation, object->scale, position);
    dev->setTransform(gfx::D3DTS_WORLD, &world);
    dev->setVertexShader(buffers->vertexFormat);
    dev->setIndices(buffers->indexBuffer.get(), 0);
    dev->setStreamSource(0, buffers->vertexBuffer.get(), buffers->stride);

    for (uint32_t i = 0; i < mesh->subsetCount; ++i) {
        const MeshSubset& subset = mesh->subsets[i];
        Material* material = nullptr;
        if (object->subsetMaterials != nullptr) {
            material = object->subsetMaterials[i];
        }
        if (material == nullptr && mesh->subsetMaterials != nullptr) {
            material = mesh->subsetMaterials[i];
        }
        if (material == nullptr) {
            material = scene->defaultMaterial;
        }
        if (material != nullptr) {
            applyMaterial(material);
        }
        dev->drawIndexedPrimitive(gfx::D3DPT_TRIANGLELIST, subset.firstVertex, subset.vertexCount,
                                  subset.firstFace * 3, subset.faceCount);
    }
    return 0;
}
