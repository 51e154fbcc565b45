#include "render/render_driver.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "render/driver_internal.h"
#include "render/mesh_buffers.h"
#include "scene/camera.h"
#include "scene/texture_registry.h"

#include <bit>
#include <cmath>

RenderDriver* gDriver = nullptr;
Projection gCurrentProjection{};
uint32_t gSceneAmbient = 0;

namespace {

constexpr double kPi = 3.14159265358979323846;

gfx::Device* device() {
    return gApp->device;
}

int opResize(int width, int height) {
    DemoApp* app = gApp;
    if (gDriver != nullptr) {
        gDriver->currentScene = nullptr;
    }
    app->presentParameters.BackBufferWidth = uint32_t(width != 0 ? width : 16);
    app->presentParameters.BackBufferHeight = uint32_t(height != 0 ? height : 16);
    device()->testCooperativeLevel();
    return device()->reset(&app->presentParameters);
}

int opClearDepth(float z) {
    if ((gApp->modeFlags & kModeDepthBuffer) == 0) {
        return 0;
    }
    return device()->clear(0, nullptr, gfx::D3DCLEAR_ZBUFFER, 0, z, 0) < 0 ? 1 : 0;
}

int opClear(RenderDriver*, const ColorF* colour) {
    device()->clear(0, nullptr, gfx::D3DCLEAR_TARGET, packColour(*colour), 0.0f, 0);
    return 0;
}

// The first cached depth surface of exactly this size, created on first use.
gfx::Surface* depthSurfaceFor(RenderDriver* driver, int32_t width, int32_t height) {
    for (const DepthSurfaceEntry& e : driver->depthSurfaces) {
        if (e.width == width && e.height == height) {
            return e.surface;
        }
    }
    gfx::Surface* surface = nullptr;
    if (device()->createDepthStencilSurface(uint32_t(width), uint32_t(height), gfx::D3DFMT_D24S8,
                                            gfx::D3DMULTISAMPLE_NONE, &surface) < 0 &&
        device()->createDepthStencilSurface(uint32_t(width), uint32_t(height), gfx::D3DFMT_D16,
                                            gfx::D3DMULTISAMPLE_NONE, &surface) < 0) {
        surface = nullptr;
    }
    driver->depthSurfaces.push_back({width, height, surface});
    return surface;
}

int opSetRenderTarget(RenderDriver* driver, TextureImage* target) {
    constexpr uint32_t kNeeded = kTextureCreated | kTextureRenderTarget;
    gfx::Texture* texture = deviceTextureOf(target);
    if (target == nullptr || (target->flags & kNeeded) != kNeeded || texture == nullptr) {
        return 1;
    }
    int32_t width = 1 << target->log2Width;
    int32_t height = 1 << target->log2Height;
    gfx::Surface* depth = depthSurfaceFor(driver, width, height);
    gfx::Ref<gfx::Surface> level;
    if (checkResult(__FILE__, __LINE__, texture->getSurfaceLevel(0, level.put())) != 0) {
        return 1;
    }
    if (checkResult(__FILE__, __LINE__, device()->setRenderTarget(level.get(), depth)) != 0) {
        return 1;
    }
    driver->targetWidth = width;
    driver->targetHeight = height;
    return 0;
}

int opRestoreRenderTarget(RenderDriver* driver) {
    driver->targetWidth = int32_t(gApp->width);
    driver->targetHeight = int32_t(gApp->height);
    gfx::Surface* depth = depthSurfaceFor(driver, driver->targetWidth, driver->targetHeight);
    gfx::Ref<gfx::Surface> back;
    if (checkResult(__FILE__, __LINE__,
                    device()->getBackBuffer(0, gfx::D3DBACKBUFFER_TYPE_MONO, back.put())) != 0) {
        return 0;
    }
    checkResult(__FILE__, __LINE__, device()->setRenderTarget(back.get(), depth));
    return 0;
}

int opApplyScene(RenderDriver* driver, Scene* scene, int) {
    gfx::Device* dev = device();
    driver->currentScene = scene;
    Camera* camera = scene->camera;
    if ((camera->flags & kCameraLargeWorld) != 0) {
        camera->position = {0, 0, 0};
    }

    // View: the orientation rows as columns, translation -p . row i.
    const Mat3& r = camera->orientation;
    Vec3 p = camera->position;
    gfx::Matrix view{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            view.m[j][i] = r.m[i][j];
        }
        view.m[3][i] = -(p.x * r.m[i][0] + p.y * r.m[i][1] + p.z * r.m[i][2]);
    }
    view.m[3][3] = 1.0f;
    dev->setTransform(gfx::D3DTS_VIEW, &view);

    Projection* proj = camera->projection;
    gfx::Viewport viewport{};
    if ((proj->mode & 2) != 0) {
        viewport = {0, 0, uint32_t(driver->targetWidth), uint32_t(driver->targetHeight), 0, 1};
        proj->left = 0;
        proj->top = 0;
        proj->right = float(driver->targetWidth);
        proj->bottom = float(driver->targetHeight);
    } else {
        viewport.X = uint32_t(int32_t(proj->left));
        viewport.Y = uint32_t(int32_t(proj->top));
        viewport.Width = uint32_t(int32_t(proj->right - proj->left));
        viewport.Height = uint32_t(int32_t(proj->bottom - proj->top));
        viewport.MinZ = 0;
        viewport.MaxZ = 1;
    }
    if (dev->setViewport(&viewport) < 0) {
        return 1;
    }

    double tanHalf = std::tan(double(proj->fov) * kPi / 360.0);
    proj->focalX = float(0.5 / tanHalf * double(proj->right - proj->left));
    proj->focalY = proj->focalX * proj->pixelAspect;
    proj->centreX = (proj->left + proj->right) / 2;
    proj->centreY = (proj->top + proj->bottom) / 2;
    gCurrentProjection = *proj;

    float s = float(1.0 / tanHalf);
    const FrameBuffer* fb = proj->frameBuffer;
    float q = proj->farPlane / (proj->farPlane - proj->nearPlane);
    gfx::Matrix projection{};
    projection.m[0][0] = s;
    projection.m[1][1] = s * proj->pixelAspect * float(fb->width) / float(fb->height);
    projection.m[2][2] = q;
    projection.m[2][3] = 1.0f;
    projection.m[3][2] = -proj->nearPlane * q;
    dev->setTransform(gfx::D3DTS_PROJECTION, &projection);

    // Lights: the enabled records in order, then switch off what earlier scenes left on.
    int enabled = 0;
    for (int i = 0; i < scene->lightCount; ++i) {
        const SceneLight& l = scene->lights[i];
        if (l.enabled == 0) {
            continue;
        }
        gfx::Light light{};
        light.Type = l.type == 1 ? gfx::D3DLIGHT_DIRECTIONAL : 0;
        light.Direction = {l.direction.x, l.direction.y, l.direction.z};
        light.Diffuse = {l.diffuse.r, l.diffuse.g, l.diffuse.b, l.diffuse.a};
        light.Ambient = {l.ambient.r, l.ambient.g, l.ambient.b, l.ambient.a};
        light.Specular = {0, 0, 0, 0};
        light.Attenuation0 = l.attenuation[0];
        light.Attenuation1 = l.attenuation[1];
        light.Attenuation2 = l.attenuation[2];
        dev->setLight(uint32_t(enabled), &light);
        dev->lightEnable(uint32_t(enabled), 1);
        ++enabled;
    }
    for (int i = enabled; i < driver->enabledLights; ++i) {
        dev->lightEnable(uint32_t(i), 0);
    }
    if (enabled > driver->enabledLights) {
        driver->enabledLights = enabled;
    }
    gSceneAmbient = packColour(scene->ambient);

    dev->setRenderState(gfx::D3DRS_ZENABLE,
                        (scene->flags & kSceneDepthTest) != 0 ? gApp->depthMode : 0);
    dev->setRenderState(gfx::D3DRS_ZWRITEENABLE, (scene->flags & kSceneDepthWrite) != 0 ? 1 : 0);
    dev->setRenderState(gfx::D3DRS_ZFUNC, gfx::D3DCMP_LESS);
    if (scene->fogMode == 1) {
        dev->setRenderState(gfx::D3DRS_FOGENABLE, 1);
        dev->setRenderState(gfx::D3DRS_FOGTABLEMODE, gfx::D3DFOG_LINEAR);
        ColorF c = scene->fogColour;
        c.a = 0;
        dev->setRenderState(gfx::D3DRS_FOGCOLOR, packColour(c) & 0x00FFFFFFu);
        bool wFog = (gApp->caps.RasterCaps & gfx::D3DPRASTERCAPS_WFOG) != 0;
        float start = wFog ? scene->fogStart : 0.0f;
        float end = wFog ? scene->fogEnd : 1.0f;
        dev->setRenderState(gfx::D3DRS_FOGSTART, std::bit_cast<uint32_t>(start));
        dev->setRenderState(gfx::D3DRS_FOGEND, std::bit_cast<uint32_t>(end));
    } else {
        dev->setRenderState(gfx::D3DRS_FOGENABLE, 0);
    }
    dev->setRenderState(gfx::D3DRS_WRAP0, (scene->flags & kSceneWrapU0) != 0 ? gfx::D3DWRAP_U : 0);
    dev->setRenderState(gfx::D3DRS_WRAP1, (scene->flags & kSceneWrapU1) != 0 ? gfx::D3DWRAP_U : 0);
    return 0;
}

int opBeginScene(RenderDriver* driver, Scene* scene) {
    const FrameBuffer* fb = scene->camera->projection->frameBuffer;
    if (fb == nullptr || fb->width == 0 || fb->height == 0) {
        return 1;
    }
    opApplyScene(driver, scene, 0);
    return device()->beginScene() < 0 ? 1 : 0;
}

int opEndScene(RenderDriver*) {
    return device()->endScene() < 0 ? 1 : 0;
}

} // namespace

RenderDriver::~RenderDriver() {
    for (DepthSurfaceEntry& e : depthSurfaces) {
        if (e.surface != nullptr) {
            e.surface->release();
        }
    }
}

int RenderDriver::setTextureFactor(const ColorF* colour) {
    device()->setRenderState(gfx::D3DRS_TEXTUREFACTOR, packColour(*colour));
    return 0;
}

int fillTable(RenderDriver* driver) {
    gDriver = driver;
    driver->flags = uint32_t(gApp->driverBaseFlags) | kDriverBit0 | kDriverBit1;
    driver->currentScene = nullptr;
    driver->targetWidth = int32_t(gApp->width);
    driver->targetHeight = int32_t(gApp->height);
    driver->resize = opResize;
    driver->clearDepth = opClearDepth;
    driver->createMeshBuffers = ::createMeshBuffers;
    driver->releaseMeshBuffers = ::releaseMeshBuffers;
    driver->createObjectHandle = ::createObjectHandle;
    driver->releaseObjectHandle = ::releaseObjectHandle;
    driver->drawObject = ::drawObject;
    driver->createTexture = createTextureOp;
    driver->releaseTexture = releaseTextureOp;
    driver->applyScene = opApplyScene;
    driver->beginScene = opBeginScene;
    driver->endScene = opEndScene;
    driver->setRenderTarget = opSetRenderTarget;
    driver->restoreRenderTarget = opRestoreRenderTarget;
    driver->drawBlendQuad = drawBlendQuadOp;
    driver->drawTextureQuad = drawTextureQuadOp;
    driver->clear = opClear;
    driver->restoreRenderTarget(driver);
    return 0;
}

void clearTable(RenderDriver* driver) {
    driver->resize = nullptr;
    driver->clearDepth = nullptr;
    driver->createMeshBuffers = nullptr;
    driver->releaseMeshBuffers = nullptr;
    driver->createObjectHandle = nullptr;
    driver->releaseObjectHandle = nullptr;
    driver->drawObject = nullptr;
    driver->createTexture = nullptr;
    driver->releaseTexture = nullptr;
    driver->applyScene = nullptr;
    driver->beginScene = nullptr;
    driver->endScene = nullptr;
    driver->setRenderTarget = nullptr;
    driver->restoreRenderTarget = nullptr;
    driver->drawBlendQuad = nullptr;
    if (gDriver == driver) {
        gDriver = nullptr;
    }
}
