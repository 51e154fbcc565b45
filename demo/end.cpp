#include "demo/end.h"

#include "app/demo_app.h"
#include "demo/part_materials.h"
#include "demo/sequencer.h"
#include "platform/gfx/gfx.h"
#include "render/render_driver.h"
#include "scene/image_loader.h"
#include "scene/texture_registry.h"

#include <cmath>

namespace {

constexpr uint32_t kStillGridSize = 5;
constexpr uint32_t kVideoGridSize = 25;
constexpr float kStillStart = 11.0f; // the drawing fades in from here ...
constexpr float kStillEnd = 12.0f;   // ... and the video stops being drawn here
constexpr float kWhiteFade = 2.0f;

} // namespace

float EndPart::stillAlpha(float t) {
    if (t < kStillStart) {
        return 0.0f;
    }
    return t < kStillEnd ? t - kStillStart : 1.0f;
}

float EndPart::whiteAlpha(float t) {
    return t < kWhiteFade ? (kWhiteFade - t) * 0.5f : 0.0f;
}

int EndPart::load() {
    scene.allocateLights(1);
    scene.registry = gRegistry;
    scene.ambient = {1, 1, 1, 1};
    SceneLight& light = scene.lights[0];
    light.type = 1;
    light.enabled = 1;
    light.ambient = {0.2f, 0.2f, 0.2f, 0.2f};
    light.diffuse = {1, 0.7f, 0.9f, 0.6f};
    projection.init(&gApp->frameBuffer, 65, 10, 100000);
    projection.mode = 2;
    camera.init(&projection, 0);
    camera.position = {0, 0, 1000};
    camera.orientation = eulerMatrix(float(M_PI), 0, 0);
    scene.camera = &camera;

    video.open("data\\ruen-draw.mpg", 256, 192, 24, 0);
    const StageSetup videoStage{gfx::D3DTOP_MODULATE, kArgTexture, kArgDiffuse,
                                gfx::D3DTOP_MODULATE, kArgTexture, kArgFactor};
    videoGrid.setMaterial(fileSingleStageMaterial(
        "mpeg ruendraw", kStatesGouraud | kStateVertexDiffuse, videoStage, video.texture));
    videoGrid.create(kVideoGridSize, kVideoGridSize);
    videoGrid.buildPolarTable();

    const StageSetup stillStage{gfx::D3DTOP_SELECTARG1, kArgTexture, kArgDiffuse,
                                gfx::D3DTOP_SELECTARG1, kArgFactor,  kArgDiffuse};
    stillMaterial =
        fileSingleStageMaterial("end grid texture", kStatesUnlit | kStateAlphaBlend, stillStage,
                                loadTexture("data\\ruen-draw-3.jpg", kErrorEnd));
    stillGrid.setMaterial(stillMaterial);
    stillGrid.create(kStillGridSize, kStillGridSize);
    return 0;
}

void EndPart::writeGrids() {
    if (GridVertex* v = stillGrid.lockVertices()) {
        for (uint32_t j = 0; j < stillGrid.rows; ++j) {
            for (uint32_t k = 0; k < stillGrid.columns; ++k, ++v) {
                v->colour = 0xFFFFFFFFu;
                v->u = float(k) / float(stillGrid.columns) * 1.25f;
                v->v = float(j) / float(stillGrid.rows) * 1.25f;
            }
        }
        stillGrid.unlockVertices();
    }
    if (GridVertex* v = videoGrid.lockVertices()) {
        uint32_t nx = videoGrid.columns, ny = videoGrid.rows;
        for (uint32_t j = 0; j < ny; ++j) {
            for (uint32_t k = 0; k < nx; ++k, ++v) {
                bool border = j == 0 || k == 0 || j == ny - 1 || k == nx - 1;
                v->colour = border ? 0u : 0xFFFFFFFFu;
                v->u = float(k) / float(nx);
                v->v = float(j) / float(ny) * 0.75f;
            }
        }
        videoGrid.unlockVertices();
    }
}

int EndPart::render(float t, float) {
    RenderDriver* driver = gDriver;
    writeGrids();
    video.update();
    if (driver->beginScene(driver, &scene) != 0) {
        return 1;
    }
    if (t < kStillEnd) {
        videoGrid.draw();
    }
    if (t >= kStillStart) {
        float f = stillAlpha(t);
        ColorF factor{f, f, f, f};
        driver->setTextureFactor(&factor);
        stillGrid.draw();
    }
    if (t < kWhiteFade) {
        ColorF white{whiteAlpha(t), 1, 1, 1};
        driver->setTextureFactor(&white);
        driver->drawFactorOverlay();
    }
    return driver->endScene(driver);
}
