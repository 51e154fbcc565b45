// The particle pool: slot order, the index buffer, and drawing: the quads written on the
// Null device, and material groups on the real device read back by pixel.
#include "scene/particles.h"
#include "scene/texture_registry.h"
#include "support/device_fixture.h"

#include <gtest/gtest.h>

namespace {

using PoolOnNull = NullDeviceFixture;

ParticleRecord particleAt(Vec3 p, float size, ColorF colour) {
    ParticleRecord r{};
    r.position = p;
    r.size = size;
    r.colour = colour;
    return r;
}

TEST_F(PoolOnNull, SlotsComeFromTheTopOfTheStack) {
    ParticleArray pool;
    ASSERT_EQ(pool.init(8, 1), 0);
    ParticleRecord r{};
    EXPECT_EQ(pool.acquire(r), 7); // the first particle lands in slot n - 1
    EXPECT_EQ(pool.acquire(r), 6);
    pool.release(7);
    EXPECT_EQ(pool.records[7].flags & kParticleAlive, 0u);
    pool.release(7); // a second release does not free the slot twice
    pool.release(99);
    EXPECT_EQ(pool.acquire(r), 7); // the most recently freed slot comes back first
    EXPECT_EQ(pool.acquire(r), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_GE(pool.acquire(r), 0);
    }
    EXPECT_EQ(pool.acquire(r), -1); // full: dropped
}

TEST_F(PoolOnNull, IndexWidthFollowsTheIndexCount) {
    // 6 x 10922 = 65532 indices fit 16 bits; 6 x 10923 = 65538 do not.
    for (uint32_t capacity : {10922u, 10923u}) {
        ParticleArray pool;
        ASSERT_EQ(pool.init(capacity, 1), 0);
        const bool wide = capacity == 10923;
        gfx::IndexBufferDesc desc{};
        ASSERT_GE(pool.indexBuffer->getDesc(&desc), 0);
        EXPECT_EQ(desc.Format, wide ? gfx::D3DFMT_INDEX32 : gfx::D3DFMT_INDEX16);
        uint8_t* data = nullptr;
        ASSERT_GE(pool.indexBuffer->lock(0, 0, &data, gfx::D3DLOCK_READONLY), 0);
        const uint32_t q = capacity - 1, b = 4 * q;
        std::vector<uint32_t> last;
        for (uint32_t k = q * 6; k < q * 6 + 6; ++k) {
            last.push_back(wide ? reinterpret_cast<uint32_t*>(data)[k]
                                : reinterpret_cast<uint16_t*>(data)[k]);
        }
        pool.indexBuffer->unlock();
        EXPECT_EQ(last, (std::vector<uint32_t>{b, b + 1, b + 2, b, b + 2, b + 3}));
    }
}

TEST_F(PoolOnNull, QuadsFaceTheCameraAndDeadRecordsAreSkipped) {
    ParticleArray pool;
    EXPECT_EQ(pool.draw(), 1); // no buffers: nothing to draw with
    ASSERT_EQ(pool.init(4, 1), 0);
    // Camera looking along +x: right is -z, up is +y.
    camera.orientation = Mat3{{{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}};
    const int dead = pool.acquire(particleAt({9, 9, 9}, 1, {1, 1, 1, 1}));
    pool.acquire(particleAt({100, 5, 7}, 2, {1.0f, 0.5f, 0.25f, 1.0f}));
    pool.release(uint32_t(dead));
    ASSERT_EQ(driver->beginScene(driver, &scene), 0);
    EXPECT_EQ(pool.draw(), 0);
    driver->endScene(driver);
    EXPECT_EQ(pool.quadsWritten, 1u);

    uint8_t* data = nullptr;
    ASSERT_GE(pool.vertexBuffer->lock(0, 0, &data, gfx::D3DLOCK_READONLY), 0);
    const auto* v = reinterpret_cast<const ParticleVertex*>(data);
    // C - sR + sU (0, 0), C - sR - sU (0, 1), C + sR - sU (1, 1), C + sR + sU (1, 0).
    const float expected[4][5] = {
        {100, 7, 9, 0, 0}, {100, 3, 9, 0, 1}, {100, 3, 5, 1, 1}, {100, 7, 5, 1, 0}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ((std::vector<float>{v[k].x, v[k].y, v[k].z, v[k].u, v[k].v}),
                  std::vector<float>(expected[k], expected[k] + 5));
        EXPECT_EQ(v[k].colour, 0xFF7F3FFFu);
    }
    pool.vertexBuffer->unlock();
}

// Stage 0 selects one argument: 4 the vertex colour, 0 the texture factor.
struct StageMaterial {
    MaterialColours colours{};
    RenderStateBlock states;
    Material material{&colours, &states, nullptr, nullptr};

    explicit StageMaterial(uint32_t argument) {
        states.flags = kStateNoCulling;
        states.stageCount = 1;
        states.textureIndex[0] = -1;
        states.colourArg1[0] = states.alphaArg1[0] = argument;
        states.colourOp[0] = states.alphaOp[0] = gfx::D3DTOP_SELECTARG1;
    }
};

using PoolOnGl = DeviceFixture;

TEST_F(PoolOnGl, GroupsSplitTheQuadsInRecordOrder) {
    ParticleArray pool;
    ASSERT_EQ(pool.init(2, 2), 0);
    StageMaterial vertexColour(4), factorColour(0);
    pool.groupMaterials[0] = &vertexColour.material;
    pool.groupMaterials[1] = &factorColour.material;
    // Slot 1 (left) is quad 1, group 1; slot 0 (right) is quad 0, group 0.
    ASSERT_EQ(pool.acquire(particleAt({-100, 0, 1000}, 60, {1, 0, 1, 0})), 1);
    ASSERT_EQ(pool.acquire(particleAt({100, 0, 1000}, 60, {1, 1, 0, 0})), 0);

    ColorF black{1, 0, 0, 0}, blue{1, 0, 0, 1};
    driver->clear(driver, &black);
    driver->clearDepth(1.0f);
    ASSERT_EQ(driver->beginScene(driver, &scene), 0);
    driver->setTextureFactor(&blue);
    EXPECT_EQ(pool.draw(), 0);
    driver->endScene(driver);

    const std::vector<uint32_t> f = frame();
    auto at = [&](uint32_t x, uint32_t y) { return f[size_t(y) * width + x] & 0xFFFFFFu; };
    EXPECT_EQ(at(400 + 63, 300), 0xFF0000u) << "group 0: the red vertex colour, right";
    EXPECT_EQ(at(400 - 63, 300), 0x0000FFu) << "group 1: the blue texture factor, left";
    EXPECT_EQ(at(400, 300), 0u);
}

} // namespace
