// The Second part on the Null device: the spike field, the bubble sprite and emitter, the
// caustics animation, the camera script and the face video's late start.
#include "demo/second_part.h"
#include "demo/sequencer.h"
#include "platform/files.h"
#include "scene/texture_registry.h"
#include "support/device_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

class SecondPartOnNull : public DataOnNullFixture {
protected:
    void SetUp() override {
        DataOnNullFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        part = std::make_unique<SecondPart>(30.0f);
        ASSERT_EQ(part->load(), 0);
    }
    void TearDown() override {
        part.reset();
        DataOnNullFixture::TearDown();
    }
    // Renders frames at 60 per second from `from` up to and including `to`.
    void play(float from, float to) {
        for (float t = from; t <= to + 1e-4f; t += 1.0f / 60) {
            part->render(t, 1.0f / 60);
        }
    }
    // Texture coordinates of grid vertex i as the last frame wrote them.
    static std::pair<float, float> uv(GridRenderer& grid, uint32_t i) {
        GridVertex* v = grid.lockVertices();
        EXPECT_NE(v, nullptr);
        std::pair<float, float> out{v[i].u, v[i].v};
        grid.unlockVertices();
        return out;
    }
    int aliveBubbles() const {
        int n = 0;
        for (const ParticleRecord& r : part->bubbles.particles.records) {
            n += (r.flags & kParticleAlive) != 0 ? 1 : 0;
        }
        return n;
    }
    std::unique_ptr<SecondPart> part;
};

float length(Vec3 v) {
    return std::sqrt(dot(v, v));
}

TEST(SecondPartScript, CameraPhasesSwitchAt7_2And15_5) {
    const CameraShot run = SecondPart::cameraShot(7.19f);
    EXPECT_NEAR(run.eye.z, 5500 + 1050 * 7.19f, 0.01f);
    EXPECT_EQ(run.target.z, 100000.0f);
    EXPECT_EQ(run.roll, 0.0f);

    // The diagonal starts high and to the side, rolling as it descends.
    const CameraShot dive = SecondPart::cameraShot(7.2f);
    EXPECT_NEAR(dive.eye.x, 7500, 0.05f);
    EXPECT_NEAR(dive.eye.y, 6000, 0.05f);
    EXPECT_NEAR(dive.eye.z, 20000, 0.05f);
    EXPECT_NEAR(SecondPart::cameraShot(15.49f).roll, -0.1f * 8.29f, 1e-4f);

    // Circling at radius 5000 round (0, 15000) from 15.5 s.
    for (float t : {15.5f, 20.0f, 29.9f}) {
        const CameraShot circle = SecondPart::cameraShot(t);
        EXPECT_NEAR(std::hypot(circle.eye.x, circle.eye.z - 15000), 5000, 0.5f) << t;
        EXPECT_EQ(circle.eye.y, 1800.0f);
        EXPECT_EQ(circle.roll, 0.0f);
    }
    EXPECT_NEAR(SecondPart::cameraShot(15.5f).eye.x, 5000 * std::cos(6.2f), 0.05f);
}

TEST(SecondPartScript, CausticsFrameWrapsEvery1_6Seconds) {
    EXPECT_EQ(SecondPart::causticsFrame(0.0f), 0);
    EXPECT_EQ(SecondPart::causticsFrame(1.55f), 31);
    EXPECT_EQ(SecondPart::causticsFrame(1.6f), 0);
    EXPECT_EQ(SecondPart::causticsFrame(1.65f), 1);
    EXPECT_EQ(SecondPart::causticsFrame(3.2f), 0);
    EXPECT_EQ(SecondPart::causticsFrame(29.99f), SecondPart::causticsFrame(29.99f - 1.6f));
}

TEST(SecondPartScript, FacePulsesOnlyAfter15_5) {
    EXPECT_EQ(SecondPart::faceAlpha(15.5f), 0.0f);
    EXPECT_NEAR(SecondPart::faceAlpha(15.5001f), 0.24f * (std::sin(31.0f) + 1), 1e-3f);
    for (float t = 15.6f; t < 30; t += 0.37f) {
        EXPECT_GE(SecondPart::faceAlpha(t), 0.0f);
        EXPECT_LE(SecondPart::faceAlpha(t), 0.48f);
    }
}

TEST_F(SecondPartOnNull, SpikeFieldIs484TubesNarrowingToAPoint) {
    TriMesh& mesh = *part->spikesMesh;
    EXPECT_EQ(mesh.vertexCount, 87120u);
    EXPECT_EQ(mesh.faceCount, 164560u);
    ASSERT_TRUE(mesh.hasBuffers());
    ASSERT_NE(part->spikesObject->driverHandle, nullptr);
    ASSERT_EQ(mesh.lockVertices(&mesh, 0, kSpikeVertices), 0);
    auto position = [&](uint32_t ring, uint32_t k) {
        Vec3 p;
        std::memcpy(&p, mesh.lockedVertices + (ring * kSpikeSegments + k) * mesh.lockedStride,
                    sizeof p);
        return p;
    };
    // The first spike stands on the first cell of the field; its base ring is centred there
    // with the flared radius 4 x 17 x 12.032086.
    Vec3 centre{0, 0, 0};
    for (uint32_t k = 0; k < kSpikeSegments; ++k) {
        centre = centre + position(0, k) * 0.1f;
    }
    EXPECT_NEAR(centre.x, 0.5f * 681.8182f - 7500, 0.05f);
    EXPECT_NEAR(centre.y, 0, 0.05f);
    EXPECT_NEAR(centre.z, 0.5f * 681.8182f + 7500, 0.05f);
    for (uint32_t k = 0; k < kSpikeSegments; ++k) {
        EXPECT_NEAR(length(position(0, k) - centre), 4 * 17 * 12.032086f, 0.1f);
        // The tip ring has radius 0: all its vertices meet.
        EXPECT_NEAR(length(position(kSpikeRings - 1, k) - position(kSpikeRings - 1, 0)), 0, 1e-3f);
    }
    // Each spike rises: its tip is well above its base.
    EXPECT_GT(position(kSpikeRings - 1, 0).y, 1000.0f);
    mesh.unlockVertices(&mesh);
}

TEST_F(SecondPartOnNull, BubbleSpriteIsABrightRimAroundAClearCentre) {
    int existed = 0;
    TextureImage* sprite = gRegistry->acquireTexture(&existed, makeKey("part2 bubbles Texture"));
    ASSERT_EQ(existed, 1);
    ASSERT_NE(sprite->pixels, nullptr);
    ASSERT_EQ(sprite->width, 64u);
    auto texel = [&](uint32_t x, uint32_t y) {
        uint32_t v = 0;
        std::memcpy(&v, sprite->pixels + (size_t(y) * 64 + x) * 4, 4);
        return v;
    };
    EXPECT_EQ(texel(0, 0), 0u);            // outside the disc
    EXPECT_EQ(texel(32, 32), 0x33D9D9D9u); // centre: alpha 0.2, grey 255 - 37.5
    EXPECT_EQ(texel(32, 4) >> 24, 255u);   // d = 0.875: the opaque rim
    EXPECT_EQ(texel(32, 4) & 0xFF, 250u);  // lighter towards the top
    EXPECT_LT(texel(32, 1) >> 24, 255u);   // d = 0.97: fading out at the edge
}

TEST_F(SecondPartOnNull, BubblesStartAt7_2AndRiseFromTheFloor) {
    play(7.0f, 7.19f);
    part->render(7.2f, 1.0f / 60);
    EXPECT_EQ(aliveBubbles(), 0);
    play(7.2f + 1.0f / 60, 8.2f);
    // One bubble a millisecond of emitter time.
    EXPECT_NEAR(aliveBubbles(), 1000, 20);
    for (const ParticleRecord& r : part->bubbles.particles.records) {
        if ((r.flags & kParticleAlive) == 0) {
            continue;
        }
        EXPECT_GE(r.position.y, 0.0f);
        EXPECT_GE(r.position.x, -7500.0f);
        EXPECT_LE(r.position.x, 7500.0f + 800);
        const float speed = length(r.velocity);
        EXPECT_GE(speed, 300.0f * 0.9f);
        EXPECT_LE(speed, 800.0f + 3);
        EXPECT_GT(r.velocity.y, 0.8f * speed); // mostly upwards
        EXPECT_GE(r.size, 30.0f);
        EXPECT_LT(r.size, 45.0f);
    }
}

TEST_F(SecondPartOnNull, CausticsGridShowsOneAtlasCell) {
    const uint32_t last = part->causticsGrid.columns * part->causticsGrid.rows - 1;
    part->render(0.35f, 1.0f / 60); // frame 7: column 1, row 1
    auto first = uv(part->causticsGrid, 0);
    auto corner = uv(part->causticsGrid, last);
    EXPECT_NEAR(first.first, 1.0f / 6, 1e-6f);
    EXPECT_NEAR(first.second, 1.0f / 6, 1e-6f);
    EXPECT_NEAR(corner.first, 2.0f / 6, 1e-6f);
    EXPECT_NEAR(corner.second, 2.0f / 6, 1e-6f);
    part->render(1.6f, 1.0f / 60); // wrapped back to frame 0
    first = uv(part->causticsGrid, 0);
    EXPECT_EQ(first.first, 0.0f);
    EXPECT_EQ(first.second, 0.0f);
}

TEST_F(SecondPartOnNull, FaceGridAndVideoUntouchedBefore15_5) {
    const uint32_t last = part->faceGrid.columns * part->faceGrid.rows - 1;
    play(15.0f, 15.5f);
    EXPECT_EQ(part->faceVideo.framesShown, 0);
    auto corner = uv(part->faceGrid, last);
    EXPECT_EQ(corner.first, 0.0f);
    EXPECT_EQ(corner.second, 0.0f);

    part->render(15.5f + 1.0f / 60, 1.0f / 60);
    EXPECT_EQ(part->faceVideo.framesShown, 1);
    corner = uv(part->faceGrid, last);
    EXPECT_EQ(corner.first, 1.0f);
    EXPECT_EQ(corner.second, 0.75f); // 192 video rows of the 256-row texture
}

TEST_F(SecondPartOnNull, TheScriptDecidesTheCameraWhateverTheSteering) {
    for (float t : {3.0f, 10.0f, 20.0f}) {
        part->render(t, 1.0f / 60);
        const Vec3 eye = SecondPart::cameraShot(t).eye;
        EXPECT_NEAR(part->camera.position.x, eye.x, 0.01f) << t;
        EXPECT_NEAR(part->camera.position.y, eye.y, 0.01f) << t;
        EXPECT_NEAR(part->camera.position.z, eye.z, 0.01f) << t;
    }
}

} // namespace
