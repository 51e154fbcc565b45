// The device fixture (the Null device, or the real GL device headless on llvmpipe, a
// camera at the origin looking along +z) with helpers to clear and to build simple
// materials.
#pragma once

#include "scene/texture_registry.h"
#include "support/device_fixture.h"

#include <memory>
#include <vector>

class DriverFixture : public DeviceFixture {
protected:
    void clearTo(float r, float g, float b) {
        ColorF c{1, r, g, b};
        driver->clear(driver, &c);
        driver->clearDepth(1.0f);
    }

    // A material whose colour is its ambient colour under the white scene ambient: Gouraud
    // lighting, no lights, stage 0 selecting the diffuse (lit) colour. `vertexColour`
    // takes the diffuse colour from the vertices instead.
    Material* solidMaterial(ColorF colour, bool noCulling = true, bool vertexColour = false) {
        auto& m = materials.emplace_back(std::make_unique<OwnedMaterial>());
        m->colours.ambient = colour;
        m->colours.diffuse = colour;
        m->states.flags =
            8u | (noCulling ? kStateNoCulling : 0u) | (vertexColour ? kStateVertexDiffuse : 0u);
        m->states.stageCount = 1;
        m->states.textureIndex[0] = -1;
        m->states.colourArg1[0] = 4; // diffuse
        m->states.colourOp[0] = gfx::D3DTOP_SELECTARG1;
        m->states.alphaArg1[0] = 4;
        m->states.alphaOp[0] = gfx::D3DTOP_SELECTARG1;
        m->states.stages[0].magFilter = m->states.stages[0].minFilter = gfx::D3DTEXF_POINT;
        m->material = Material{&m->colours, &m->states, nullptr, nullptr};
        return &m->material;
    }

    struct OwnedMaterial {
        MaterialColours colours{};
        RenderStateBlock states;
        Material material{};
    };

    std::vector<std::unique_ptr<OwnedMaterial>> materials;
};

class NullDriverFixture : public DriverFixture {
protected:
    gfx::Backend backend() const override { return gfx::Backend::Null; }
};

// Cleared to black with a scene begun, ended again at tear-down.
class InSceneFixture : public DriverFixture {
protected:
    void SetUp() override {
        DriverFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        clearTo(0, 0, 0);
        ASSERT_EQ(driver->beginScene(driver, &scene), 0);
    }
    void TearDown() override {
        if (app != nullptr && app->device != nullptr) {
            driver->endScene(driver);
        }
        DriverFixture::TearDown();
    }
};

constexpr uint32_t kRed = 0xFF0000u, kGreen = 0x00FF00u, kBlue = 0x0000FFu, kBlack = 0;
