// The Koch scene: the surface and its graph, the particle walk, the one-time steps, the
// second surface's growth, the listing reader, the gradient, and frames of the whole demo.
#include "demo/koch.h"
#include "scene/rand.h"
#include "scene/trimesh.h"
#include "support/scene_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

namespace {

constexpr double kKochStart = 159.0;

// Layout of the graph of the five-pass surface, recorded from the build.
constexpr size_t kKochNodes = 24884;
constexpr size_t kKochEdges = 124416;

std::vector<Vec3> surfacePositions(const std::vector<KochTriangle>& surface) {
    std::vector<Vec3> out;
    for (const KochTriangle& t : surface) {
        for (const KochVertex& v : t.corner) {
            out.push_back(v.position);
        }
    }
    return out;
}

std::vector<uint32_t> sequentialFaces(uint32_t faces) {
    std::vector<uint32_t> out(3 * size_t(faces));
    for (uint32_t i = 0; i < out.size(); ++i) {
        out[i] = i;
    }
    return out;
}

TEST(KochSurface, FivePassesGiveThirtyOneThousandTriangles) {
    EXPECT_EQ(buildKochSurface(0).size(), 4u);
    EXPECT_EQ(buildKochSurface(1).size(), 24u);
    const auto surface = buildKochSurface(kKochPasses);
    EXPECT_EQ(surface.size(), 31104u);
    EXPECT_EQ(surface.size(), size_t(kKochTriangles));
    // The first pass raises the apex of the base face outwards (away from the top corner).
    const auto once = buildKochSurface(1);
    const Vec3 apex = once[3].corner[2].position;
    EXPECT_LT(apex.z, -0.204124f - 0.05f);
    EXPECT_NEAR(apex.z, -0.204124f - 2.4494897f / 7.5f, 1e-4);
}

TEST(KochSurface, GraphMergesEqualPositionsAndLinksBothWays) {
    const auto surface = buildKochSurface(kKochPasses);
    const auto positions = surfacePositions(surface);
    const auto faces = sequentialFaces(uint32_t(surface.size()));
    KochGraph g;
    g.build(positions.data(), uint32_t(positions.size()), faces.data(), uint32_t(surface.size()));
    EXPECT_EQ(g.nodes.size(), kKochNodes);
    EXPECT_EQ(g.edgeCount, kKochEdges);

    std::set<std::pair<int, int>> links;
    size_t sum = 0;
    int widest = 0;
    for (size_t n = 0; n < g.nodes.size(); ++n) {
        const KochNode& node = g.nodes[n];
        ASSERT_GE(node.neighbourCount, 1);
        ASSERT_LE(node.neighbourCount, kKochEdgesPerNode);
        sum += size_t(node.neighbourCount);
        widest = std::max(widest, node.neighbourCount);
        std::set<int> seen;
        for (int k = 0; k < node.neighbourCount; ++k) {
            const int m = g.neighbour(int(n), k);
            EXPECT_TRUE(seen.insert(m).second) << "duplicate edge at node " << n;
            links.insert({int(n), m});
        }
        if (n > 0) { // numbered in sorted order
            const Vec3 a = g.nodes[n - 1].position, b = node.position;
            EXPECT_TRUE(a.x < b.x || (a.x == b.x && (a.y < b.y || (a.y == b.y && a.z < b.z))));
        }
    }
    EXPECT_EQ(sum, g.edgeCount);
    EXPECT_EQ(widest, 8); // well inside the room reserved, so no edge was refused
    for (auto [a, b] : links) {
        EXPECT_TRUE(links.count({b, a})) << a << " -> " << b;
    }
    for (size_t v = 0; v < positions.size(); ++v) {
        const Vec3 p = g.nodes[size_t(g.vertexNode[v])].position;
        ASSERT_EQ(p.x, positions[v].x);
        ASSERT_EQ(p.z, positions[v].z);
    }
}

TEST(KochSurface, ANodeNeverTakesMoreThanItsEdges) {
    KochGraph g;
    std::vector<Vec3> points;
    for (int i = 0; i < 40; ++i) {
        points.push_back({float(i), 0, 0});
    }
    std::vector<uint32_t> fan; // node 0 in every face: 38 distinct neighbours offered
    for (uint32_t i = 1; i + 1 < 40; ++i) {
        fan.insert(fan.end(), {0, i, i + 1});
    }
    g.build(points.data(), 40, fan.data(), uint32_t(fan.size() / 3));
    EXPECT_EQ(g.nodes[0].neighbourCount, kKochEdgesPerNode);
    EXPECT_LE(g.edgeCount, g.edges.size());
    EXPECT_FALSE(g.addEdge(0, 39));
    EXPECT_FALSE(g.addEdge(0, 40)); // no such node
    EXPECT_FALSE(g.addEdge(2, 1));  // already there
}

// A part with a hand-made graph and pool, no device: the walk and phase logic alone.
class KochLogic : public ::testing::Test {
protected:
    void SetUp() override {
        part = std::make_unique<KochPart>(30.0f);
        for (auto& o : part->objects) {
            o = std::make_unique<TriMeshObj>();
        }
        for (int i = 0; i < 4; ++i) {
            part->particleMaterials[i] = reinterpret_cast<Material*>(&fakeMaterials[i]);
        }
        part->particles.init(3, kKochParticleGroups);
        for (auto& m : part->particles.groupMaterials) {
            m = part->particleMaterials[3];
        }
    }
    // Nodes 0 - 1 - 2 on a line; particle i sits on node i heading nowhere yet.
    void lineGraph() {
        KochGraph& g = part->graph;
        g.nodes = {{{0, 0, 0}, 0, -1}, {{10, 0, 0}, 0, -1}, {{20, 0, 0}, 0, -1}};
        g.edges.assign(3 * kKochEdgesPerNode, KochEdge{-1, -1});
        g.edgeCount = 0;
        g.addEdge(0, 1);
        g.addEdge(1, 0);
        g.addEdge(1, 2);
        g.addEdge(2, 1);
        part->particles.freeSlots.clear();
        for (uint32_t i = 0; i < 3; ++i) {
            ParticleRecord& r = part->particles.records[i];
            r = ParticleRecord{};
            r.owner = g.nodes[i].position;
            r.ownerWord = i;
            r.lifetime = kKochLegDuration;
            r.birthTime = -1; // the leg is over: the next walk starts a new one
            r.flags = kParticleAlive;
        }
    }
    std::unique_ptr<KochPart> part;
    int fakeMaterials[4] = {};
};

TEST_F(KochLogic, AnEndNodeSendsItsParticlesBack) {
    lineGraph();
    ParticleRecord& end = part->particles.records[2];
    for (int leg = 0; leg < 20; ++leg) { // whatever the generator draws
        const float t = float(leg);
        end.birthTime = t - 1; // the previous leg is over
        end.ownerWord = 2;
        end.owner = {20, 0, 0};
        part->walkParticles(t, 0.016f);
        ASSERT_EQ(end.ownerWord, 1u);
        ASSERT_FLOAT_EQ(end.velocity.x, -10 / kKochLegDuration);
        ASSERT_EQ(end.birthTime, t);
    }
    // Within a leg the particle moves by velocity x dt only.
    const float x = end.owner.x;
    part->walkParticles(19.1f, 0.1f);
    EXPECT_FLOAT_EQ(end.owner.x, x - 4.0f);
    EXPECT_EQ(end.ownerWord, 1u);
}

TEST_F(KochLogic, OneTimeStepsHappenOnceEvenIfTimeJumps) {
    lineGraph();
    part->updatePhases(1);
    EXPECT_EQ(part->particles.groupMaterials[0], part->particleMaterials[3]);
    part->updatePhases(3.75f); // fading: size (4 - t) x 20
    EXPECT_FLOAT_EQ(part->particles.records[0].size, 5.0f);
    EXPECT_FLOAT_EQ(part->particles.records[0].colour.r, 0.5f);

    part->updatePhases(4.5f);
    for (uint32_t g = 0; g < 3; ++g) {
        EXPECT_EQ(part->particles.groupMaterials[g], part->particleMaterials[g]);
    }
    EXPECT_FLOAT_EQ(part->particles.records[1].size, 5.0f);
    EXPECT_FLOAT_EQ(part->particles.records[1].colour.g, 1.0f);
    part->particles.records[1].size = 9;
    part->particles.groupMaterials[0] = nullptr;
    part->updatePhases(4.6f); // not again
    part->updatePhases(1.0f); // nor after going back
    part->updatePhases(4.7f);
    EXPECT_FLOAT_EQ(part->particles.records[1].size, 9.0f);
    EXPECT_EQ(part->particles.groupMaterials[0], nullptr);

    part->updatePhases(20); // jumping past 6 s: its step once
    EXPECT_FLOAT_EQ(part->particles.records[1].size, 5.0f);
    part->particles.records[1].size = 9;
    part->updatePhases(7);
    EXPECT_FLOAT_EQ(part->particles.records[1].size, 9.0f);

    // A run that jumps straight past 4 s still switches the materials, once.
    auto other = std::make_unique<KochPart>(30.0f);
    other->objects[0] = std::make_unique<TriMeshObj>();
    other->objects[1] = std::make_unique<TriMeshObj>();
    for (int i = 0; i < 4; ++i) {
        other->particleMaterials[i] = part->particleMaterials[i];
    }
    other->particles.init(1, 3);
    other->updatePhases(8);
    EXPECT_EQ(other->particles.groupMaterials[2], other->particleMaterials[2]);
}

TEST_F(KochLogic, ParticleScaleAndTheSecondSurface) {
    lineGraph();
    part->updatePhases(3.5f);
    const float x35 = part->particles.records[1].position.x;
    EXPECT_NEAR(x35, 10 * (1.03f - 3.5f / 4) * 5000, 0.5f);
    part->updatePhases(3.9f); // the scale holds from 3.5 s on
    EXPECT_FLOAT_EQ(part->particles.records[1].position.x, x35);
    EXPECT_NEAR(part->particles.records[1].size, 2.0f, 1e-4);

    EXPECT_FALSE(part->secondObject);
    part->updatePhases(12.9f);
    EXPECT_FALSE(part->secondObject);
    part->updatePhases(13);
    EXPECT_TRUE(part->secondObject);
    EXPECT_FLOAT_EQ(part->objects[1]->scale.x, 0.0f);
    part->updatePhases(23);
    EXPECT_FLOAT_EQ(part->objects[1]->scale.x, 400.0f);
    part->updatePhases(30);
    EXPECT_FLOAT_EQ(part->objects[1]->scale.y, 512.0f);
    EXPECT_FLOAT_EQ(part->objects[0]->scale.z, 1000.0f);
}

TEST(KochListing, LinesAreReadInPiecesOf255AndAMissingFileIsEmpty) {
    EXPECT_TRUE(readListing("/nonexistent/asm.txt").empty());

    const auto path = std::filesystem::temp_directory_path() / "koch_listing_test.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << "mov eax, ebx\r\n" << std::string(600, 'x') << "\n\nlast";
    }
    const auto lines = readListing(path.string().c_str());
    std::filesystem::remove(path);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "mov eax, ebx");
    EXPECT_EQ(lines[1].size(), 255u);
    EXPECT_EQ(lines[2].size(), 255u);
    EXPECT_EQ(lines[3], std::string(90, 'x'));
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "last");
}

TEST(KochListing, TheDataPackListingFillsTheScroll) {
    const auto lines = readListing(DEMO_SOURCE_DIR "/data/asm.txt");
    EXPECT_GE(lines.size(), 340u);
    for (const auto& l : lines) {
        EXPECT_EQ(l.find('\r'), std::string::npos);
    }
}

TEST(KochGradient, CornersAreBrightenedAndCapped) {
    std::vector<uint8_t> px(256 * 256 * 4);
    fillKochGradient(px.data(), 256 * 4);
    auto at = [&](int x, int y) { return px.data() + (size_t(y) * 256 + size_t(x)) * 4; };
    // (0.99, 0.01, 0.01) -> 252 x 1.4 capped, 2 x 1.4 = 2; bytes blue, green, red, alpha.
    EXPECT_EQ(at(0, 0)[2], 255);
    EXPECT_EQ(at(0, 0)[1], 2);
    EXPECT_EQ(at(0, 0)[0], 2);
    EXPECT_EQ(at(0, 0)[3], 0);
    EXPECT_EQ(at(255, 0)[1], 255); // green corner
    EXPECT_EQ(at(0, 255)[0], 255); // blue corner
    // (0.828125, 0.828125, 0.3125): 211 -> 295 capped, 79 x 1.4 = 110.
    EXPECT_EQ(at(255, 255)[2], 255);
    EXPECT_EQ(at(255, 255)[0], 110);
}

// Frames of the whole demo.
TEST_F(SceneFrames, KochOpensWhiteThenGlowsOnDarkBlue) {
    frameAt(kKochStart);
    EXPECT_GE(brightness(pixel(400, 300)), 3 * 240);

    frameAt(kKochStart + 4.5);
    // The growing surface glows in the middle; the dark blue ring clear shows elsewhere.
    int lit = 0, blue = 0;
    for (uint32_t y = 0; y < 600; y += 4) {
        for (uint32_t x = 0; x < 800; x += 4) {
            const uint32_t p = pixel(x, y);
            const bool middle = x >= 300 && x < 500 && y >= 200 && y < 400;
            lit += middle && brightness(p) > 3 * 60 ? 1 : 0;
            blue += (p & 0xFF) > ((p >> 16) & 0xFF) + 10 ? 1 : 0;
        }
    }
    EXPECT_GT(lit, 50);
    EXPECT_GT(blue, 2000); // of 30000 samples
}

} // namespace
