// The Tree: the seeded layout and its counts, the mesh sizes, the growth prefix, the shot
// script and leaf strength, and frames of the whole demo at chosen times.
#include "app/frame_buffer.h"
#include "demo/tree.h"
#include "platform/files.h"
#include "scene/image.h"
#include "scene/image_loader.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"
#include "scene/trimesh.h"
#include "support/device_fixture.h"
#include "support/scene_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace {

constexpr double kTreeStart = 189.0;

// Layout of the seeded tree, recorded from the generator (see the report of the change).
constexpr uint32_t kTreeBranches = 1642;
constexpr uint32_t kTreeLeafBranches = 1627;

int brightness(uint32_t rgb) {
    return int((rgb >> 16) & 0xFF) + int((rgb >> 8) & 0xFF) + int(rgb & 0xFF);
}

std::unique_ptr<TreeBranch> seededTree() {
    demo_random::srand(kTreeSeed);
    auto root = std::make_unique<TreeBranch>();
    TreePart::generate(*root, Vec3{0, 0, 0}, Vec3{0, 1, 0}, kTreeRootLevel);
    return root;
}

void visit(const TreeBranch& b, const std::function<void(const TreeBranch&)>& f) {
    f(b);
    for (int i = 0; i < b.childCount; ++i) {
        visit(b.children[size_t(i)], f);
    }
}

TEST(TreeLayout, TheSeedGivesTheSameTreeEveryTime) {
    auto first = seededTree();
    auto second = seededTree();
    const TreeCounts a = TreePart::countTree(*first);
    const TreeCounts b = TreePart::countTree(*second);
    EXPECT_EQ(a.branches, kTreeBranches);
    EXPECT_EQ(a.leafBranches, kTreeLeafBranches);
    EXPECT_EQ(a.trunkVertices, 100 * kTreeBranches);
    EXPECT_EQ(a.trunkFaces, 180 * kTreeBranches);
    EXPECT_EQ(b.branches, a.branches);
    // Same keys, branch by branch, in depth-first order.
    std::vector<Vec3> keysA, keysB;
    visit(*first, [&](const TreeBranch& t) { keysA.push_back(t.curve.keys[4].value); });
    visit(*second, [&](const TreeBranch& t) { keysB.push_back(t.curve.keys[4].value); });
    ASSERT_EQ(keysA.size(), keysB.size());
    for (size_t i = 0; i < keysA.size(); ++i) {
        ASSERT_EQ(keysA[i].x, keysB[i].x);
        ASSERT_EQ(keysA[i].z, keysB[i].z);
    }
}

TEST(TreeLayout, LevelsChildrenAndKeys) {
    auto root = seededTree();
    EXPECT_EQ(root->level, 6);
    EXPECT_EQ(root->curve.keys[0].value.x, 0.0f); // the first key has no jitter
    EXPECT_EQ(root->curve.keys[0].value.y, 0.0f);
    int twigs = 0;
    visit(*root, [&](const TreeBranch& b) {
        EXPECT_EQ(b.curve.keyCount, 5);
        if (b.level == 0) {
            ++twigs;
            EXPECT_EQ(b.childCount, 0);
            EXPECT_EQ(b.children, nullptr);
        } else {
            EXPECT_GE(b.childCount, 1);
            EXPECT_LE(b.childCount, 5);
            for (int i = 0; i < b.childCount; ++i) {
                EXPECT_EQ(b.children[size_t(i)].level, b.level - 1);
            }
        }
    });
    EXPECT_GT(twigs, 0);
}

TEST(TreeTimeline, TrunkGrowthPrefix) {
    const uint32_t full = 180 * kTreeBranches;
    EXPECT_EQ(TreePart::trunkFacesDrawn(0, full), 0u);
    EXPECT_EQ(TreePart::trunkFacesDrawn(3.75f, full), full / 4);
    EXPECT_EQ(TreePart::trunkFacesDrawn(7.4999f, full),
              uint32_t(7.4999f * 7.4999f * full * 0.017777778f));
    EXPECT_EQ(TreePart::trunkFacesDrawn(7.5f, full), full);
    EXPECT_EQ(TreePart::trunkFacesDrawn(29, full), full);
}

TEST(TreeTimeline, ShotsChangeEveryThirdOfFivePointEightSeconds) {
    const float shot = 5.8f / 3;
    EXPECT_EQ(TreePart::shotAt(14.79f), -1);
    EXPECT_EQ(TreePart::shotAt(14.8f), 0);
    EXPECT_EQ(TreePart::shotAt(14.8f + shot - 0.01f), 0);
    EXPECT_EQ(TreePart::shotAt(14.8f + shot + 0.01f), 1);
    EXPECT_EQ(TreePart::shotAt(14.8f + 2 * shot - 0.01f), 1);
    EXPECT_EQ(TreePart::shotAt(14.8f + 2 * shot + 0.01f), 2);
    EXPECT_EQ(TreePart::shotAt(20.5999f), 2); // never past the table
    EXPECT_EQ(TreePart::shotAt(20.6f), -1);

    EXPECT_EQ(TreePart::leafStrength(14.7f), 0.0f);
    EXPECT_NEAR(TreePart::leafStrength(14.8f), 0.0f, 1e-6);
    EXPECT_NEAR(TreePart::leafStrength(14.8f + shot + 0.001f), 0.0f, 1e-3); // restarts per shot
    EXPECT_NEAR(TreePart::leafStrength(14.8f + shot * 0.5f), std::sin(0.3f), 1e-4);
    EXPECT_EQ(TreePart::leafStrength(20.6f), 1.0f);
}

// The part alone on a device: loaded, its textures uploaded.
template <class Base> class TreeFixture : public DataFixture<Base> {
protected:
    void SetUp() override {
        DataFixture<Base>::SetUp();
        if (this->IsSkipped()) {
            return;
        }
        part = std::make_unique<TreePart>(30.0f);
        ASSERT_EQ(part->load(), 0);
        for (TextureImage* t = gRegistry->firstTexture(); t != nullptr;
             t = gRegistry->nextTexture()) {
            this->driver->createTexture(t, 0);
        }
    }
    void TearDown() override {
        if (part != nullptr) {
            part->release();
        }
        part.reset();
        DataFixture<Base>::TearDown();
    }
    std::unique_ptr<TreePart> part;
};
using TreeLoad = TreeFixture<NullDeviceFixture>;
using TreeFrames = TreeFixture<DeviceFixture>;

TEST_F(TreeLoad, MeshesHaveTheCountedSizesAndTheDrawnCountIsRestored) {
    const TreeCounts c = TreePart::countTree(part->root());
    EXPECT_EQ(c.branches, kTreeBranches);
    ASSERT_NE(part->trunk(), nullptr);
    EXPECT_EQ(part->trunk()->vertexCount, c.trunkVertices);
    EXPECT_EQ(part->trunk()->faceCount, c.trunkFaces);
    ASSERT_NE(part->leaves(), nullptr);
    // Only the branches of level 0..3 carry leaves: 20 vertices and 10 faces each.
    EXPECT_EQ(part->leaves()->vertexCount, 20 * kTreeLeafBranches);
    EXPECT_EQ(part->leaves()->faceCount, 10 * kTreeLeafBranches);

    for (float t : {0.0f, 3.75f, 16.0f, 25.0f}) {
        EXPECT_EQ(part->render(t, 0.016f), 0);
        EXPECT_EQ(part->trunk()->subsets[0].faceCount, c.trunkFaces) << t;
    }
}

// The trunk and leaves are cut off where the frame picture is opaque: every texel that the
// cut-off pixels of the 800 x 600 view sample (bilinear, the picture stretched over the view)
// must have full alpha, on all four sides.
TEST_F(TreeLoad, FramePictureIsOpaqueWhereTheTrunkAndLeavesAreCutOff) {
    Image alpha;
    ImageFile file(gApp);
    ASSERT_EQ(file.open("data\\tree-bg-alpha.jpg", 0), 0);
    ASSERT_EQ(loadJpeg(alpha, file), 0);
    ASSERT_EQ(alpha.width, alpha.height);
    uint32_t band = 0; // texels from each edge that the cut-off pixels reach
    for (const int side : {800, 600}) {
        const int cut = int(float(side) * kTreeFrameOpaqueEdge);
        const double last = (cut - 0.5) / side * alpha.width - 0.5;
        band = std::max(band, uint32_t(std::floor(last)) + 2);
    }
    const uint32_t bpp = bytesPerPixelOf(alpha.format);
    ASSERT_GE(bpp, 1u);
    int transparent = 0;
    for (uint32_t y = 0; y < alpha.height; ++y) {
        for (uint32_t x = 0; x < alpha.width; ++x) {
            const bool edge =
                x < band || y < band || x >= alpha.width - band || y >= alpha.height - band;
            transparent += edge && alpha.pixels[size_t(y) * alpha.pitch + bpp * x] != 255 ? 1 : 0;
        }
    }
    EXPECT_EQ(transparent, 0) << "band of " << band << " texels";
}

TEST_F(TreeLoad, CameraFollowsTheScript) {
    part->render(2, 0.016f);
    EXPECT_FLOAT_EQ(part->viewCamera().position.y, 600.0f); // rising with the trunk
    EXPECT_FLOAT_EQ(part->viewCamera().position.z, -1000.0f);
    part->render(15, 0.016f); // the first fixed shot
    EXPECT_FLOAT_EQ(part->viewCamera().position.x, -531.4961f);
    EXPECT_FLOAT_EQ(part->viewCamera().orientation.m[0][2], 0.2786f);
    part->render(19, 0.016f); // the third
    EXPECT_FLOAT_EQ(part->viewCamera().position.z, -2099.5073f);
}

// Frames of the whole demo.
TEST_F(SceneFrames, TreeOpensWhiteThenShowsTheFramedTree) {
    frameAt(kTreeStart);
    EXPECT_GE(brightness(pixel(400, 300)), 3 * 250); // nothing grown, white flash
    EXPECT_GE(brightness(pixel(30, 300)), 3 * 250);

    frameAt(kTreeStart + 5);
    EXPECT_LE(brightness(pixel(8, 300)), 3 * 120); // the dark frame border
    EXPECT_LE(brightness(pixel(400, 580)), 3 * 120);
    EXPECT_LE(brightness(pixel(400, 300)), 3 * 200); // the trunk in front of the camera
    EXPECT_GE(brightness(pixel(560, 200)), 3 * 230); // white sky beside it
}

// The Tree is a function of its local time alone, so single frames of the part show the
// later shots without replaying the scene.
TEST_F(TreeFrames, LeavesFadeInDuringTheShotsAndTheSceneEndsWhite) {
    auto greenSamples = [this] {
        const std::vector<uint32_t> f = frame();
        int green = 0;
        for (uint32_t y = 80; y < 520; y += 8) {
            for (uint32_t x = 80; x < 720; x += 8) {
                const uint32_t p = f[size_t(y) * width + x];
                const int r = int((p >> 16) & 0xFF), g = int((p >> 8) & 0xFF);
                const int b = int(p & 0xFF);
                green += (g > r + 15 && g > b + 15) ? 1 : 0;
            }
        }
        return green;
    };
    ASSERT_EQ(part->render(14, 0.016f), 0); // orbiting, no leaves yet
    const int bare = greenSamples();
    ASSERT_EQ(part->render(15.5f, 0.016f), 0); // first shot, leaves fading in
    EXPECT_GT(greenSamples(), bare + 400);     // of 4400 samples

    ASSERT_EQ(part->render(29.99f, 0.016f), 0);
    EXPECT_GE(brightness(pixel(400, 300)), 3 * 250);
    EXPECT_GE(brightness(pixel(5, 5)), 3 * 250);
}

} // namespace
