#include "scene/image.h"
#include "scene/texture_registry.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Registry, SameNameSameRecordAndCaseMatters) {
    TextureRegistry registry;
    int existed = -1;
    TextureImage* a = registry.acquireTexture(&existed, makeKey("data\\wood.jpg"));
    EXPECT_EQ(existed, 0);
    TextureImage* b = registry.acquireTexture(&existed, makeKey("data\\wood.jpg"));
    EXPECT_EQ(existed, 1);
    EXPECT_EQ(a, b);
    TextureImage* c = registry.acquireTexture(&existed, makeKey("data\\WOOD.jpg"));
    EXPECT_EQ(existed, 0);
    EXPECT_NE(a, c);
    EXPECT_EQ(registry.firstTexture(), a);
    EXPECT_EQ(registry.nextTexture(), c);
    EXPECT_EQ(registry.nextTexture(), nullptr);
}

TEST(Registry, CommitMaterialCopiesBothBlocks) {
    TextureRegistry registry;
    int existed = 0;
    MaterialColours colours{};
    colours.diffuse = {1, 0.5f, 0.25f, 0.125f};
    RenderStateBlock states;
    states.flags = 9;
    states.stageCount = 1;
    Material* m = registry.acquireMaterial(&existed, makeKey("CreditsParticleMat"));
    m->colours = &colours;
    m->states = &states;
    registry.commitMaterial(*m);
    EXPECT_NE(m->colours, &colours);
    EXPECT_NE(m->states, &states);
    EXPECT_EQ(m->colours->diffuse.g, 0.25f);
    EXPECT_EQ(m->states->flags, 9u);
    EXPECT_EQ(registry.materialBlocks.count, 2);
    EXPECT_EQ(registry.materialBlocks.head->key.id, 1); // filed without a name: numbered
    EXPECT_EQ(registry.materialBlocks.tail->key.id, 2);
}

TEST(RenderStateBlock, DefaultsWrapEveryStage) {
    RenderStateBlock b;
    for (const StageSampling& s : b.stages) {
        EXPECT_EQ(s.addressU, 1u);
        EXPECT_EQ(s.addressV, 1u);
        EXPECT_EQ(s.magFilter, 0u);
    }
    EXPECT_EQ(b.stageCount, 0u);
}

TEST(TextureArguments, SystemCodesMapToDeviceArguments) {
    EXPECT_EQ(textureArgument(0), 3u); // texture factor
    EXPECT_EQ(textureArgument(3), 3u);
    EXPECT_EQ(textureArgument(4), 0u); // diffuse
    EXPECT_EQ(textureArgument(5), 4u); // specular
    EXPECT_EQ(textureArgument(6), 2u); // texture
    EXPECT_EQ(textureArgument(7), 1u); // current
    EXPECT_EQ(textureArgument(8), 5u); // temp
    EXPECT_EQ(textureArgument(99), 0u);
}

TEST(TextureImage, AllocateLevels) {
    TextureImage t{};
    EXPECT_EQ(t.allocate(48, 64, 40, 1), 1);
    EXPECT_EQ(t.pixels, nullptr);
    ASSERT_EQ(t.allocate(256, 64, 40, 1), 0);
    EXPECT_EQ(t.levelCount, 7u);
    EXPECT_EQ(t.log2Width, 8u);
    EXPECT_EQ(t.log2Height, 6u);
    EXPECT_EQ(t.levels[1] - t.levels[0], 256 * 64 * 4);
    EXPECT_EQ(t.levels[6] - t.levels[5], 8 * 2 * 4);
    ASSERT_EQ(t.allocate(256, 64, 40, 0), 0);
    EXPECT_EQ(t.levelCount, 1u);
    t.freePixels();
}

TEST(TextureImage, MipAveragingRoundsHalfUp) {
    TextureImage t{};
    ASSERT_EQ(t.allocate(2, 2, 40, 1), 0);
    auto* p = reinterpret_cast<uint32_t*>(t.levels[0]);
    p[0] = 1;
    p[1] = 1;
    p[2] = 2;
    p[3] = 2;
    t.buildMipLevels();
    EXPECT_EQ(*reinterpret_cast<uint32_t*>(t.levels[1]), 2u);
    p[0] = 0xFF00FF10u;
    p[1] = 0xFF00FF10u;
    p[2] = 0x01000012u;
    p[3] = 0x01000012u;
    t.buildMipLevels();
    EXPECT_EQ(*reinterpret_cast<uint32_t*>(t.levels[1]), 0x80008011u);
    t.freePixels();
}

TEST(TextureImage, Rgb565AveragingPerChannel) {
    TextureImage t{};
    ASSERT_EQ(t.allocate(2, 2, 24, 1), 0);
    auto* p = reinterpret_cast<uint16_t*>(t.levels[0]);
    // red 31,31,0,0 -> 16 (rounded), green 63,0,0,0 -> 16, blue 1,1,2,2 -> 2
    p[0] = uint16_t((31 << 11) | (63 << 5) | 1);
    p[1] = uint16_t((31 << 11) | 1);
    p[2] = 2;
    p[3] = 2;
    t.buildMipLevels();
    uint16_t r = *reinterpret_cast<uint16_t*>(t.levels[1]);
    EXPECT_EQ(r >> 11, 16);
    EXPECT_EQ((r >> 5) & 63, 16);
    EXPECT_EQ(r & 31, 2);
    t.freePixels();
}

TEST(TextureImage, SetImageDropsNothingAndBuildsMips) {
    Image img;
    ASSERT_EQ(img.allocate(4, 2, 40), 0);
    for (uint32_t i = 0; i < img.pitch * 2; ++i) {
        img.pixels[i] = uint8_t(i);
    }
    TextureImage t{};
    ASSERT_EQ(t.setImage(img, 1), 0);
    EXPECT_EQ(t.levelCount, 2u);
    EXPECT_EQ(std::memcmp(t.levels[0], img.pixels, 32), 0);
    t.freePixels();
}

} // namespace
