#include "render/render_driver.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"

RenderDriver* gDriver = nullptr;

namespace {

int opResize(int width, int height) {
    DemoApp* app = gApp;
    gDriver->currentScene = nullptr;
    app->presentParameters.BackBufferWidth = uint32_t(width != 0 ? width : 16);
    app->presentParameters.BackBufferHeight = uint32_t(height != 0 ? height : 16);
    app->device->testCooperativeLevel();
    return app->device->reset(&app->presentParameters);
}

int opClearDepth(float z) {
    DemoApp* app = gApp;
    if ((app->modeFlags & kModeDepthBuffer) == 0) {
        return 0;
    }
    return app->device->clear(0, nullptr, gfx::D3DCLEAR_ZBUFFER, 0, z, 0) < 0 ? 1 : 0;
}

int opClear(RenderDriver*, const ColorF* colour) {
    gApp->device->clear(0, nullptr, gfx::D3DCLEAR_TARGET, packColour(*colour), 0.0f, 0);
    return 0;
}

int opRestoreRenderTarget(RenderDriver* driver) {
    driver->targetWidth = int32_t(gApp->width);
    driver->targetHeight = int32_t(gApp->height);
    return 0;
}

int opEndScene(RenderDriver*) {
    return gApp->device->endScene() < 0 ? 1 : 0;
}

} // namespace

RenderDriver::~RenderDriver() = default;

int RenderDriver::setTextureFactor(const ColorF*) {
    return 0;
}
int RenderDriver::drawFactorOverlay() {
    return 0;
}
int RenderDriver::drawText(int, int, const char*, const ColorF*, unsigned, const char*) {
    return 0;
}

int fillTable(RenderDriver* driver) {
    gDriver = driver;
    driver->flags = uint32_t(gApp->driverBaseFlags) | 3u;
    driver->currentScene = nullptr;
    driver->targetWidth = int32_t(gApp->width);
    driver->targetHeight = int32_t(gApp->height);
    driver->resize = opResize;
    driver->clearDepth = opClearDepth;
    driver->createMeshBuffers = nullptr;
    driver->releaseMeshBuffers = nullptr;
    driver->createObjectHandle = nullptr;
    driver->releaseObjectHandle = nullptr;
    driver->drawObject = nullptr;
    driver->createTexture = nullptr;
    driver->releaseTexture = nullptr;
    driver->applyScene = nullptr;
    driver->beginScene = nullptr;
    driver->endScene = opEndScene;
    driver->setRenderTarget = nullptr;
    driver->restoreRenderTarget = opRestoreRenderTarget;
    driver->drawBlendQuad = nullptr;
    driver->drawTextureQuad = nullptr;
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
