// The full-view grid on the real device: its vertices cover the view exactly, the polar
// table, the joining triangles between rows, and the transforms it must give back.
#include "render/grid_renderer.h"
#include "support/driver_fixture.h"

#include <cmath>

namespace {

class Grid : public InSceneFixture {
protected:
    // Vertex colours shown as they are, with the materials' clockwise culling.
    Material* vertexColours() { return solidMaterial({1, 1, 1, 1}, false, true); }
};

TEST_F(Grid, TwoByTwoCoversTheViewWithTwoTriangles) {
    GridRenderer grid;
    ASSERT_EQ(grid.create(2, 2), 0);
    EXPECT_EQ(grid.vertexCount, 4u);
    EXPECT_EQ(grid.stride, 24u);
    EXPECT_EQ(grid.vertexFormat, 322u);
    GridVertex* v = grid.lockVertices();
    ASSERT_NE(v, nullptr);
    const float corners[4][2] = {{-0.5f, 0.5f}, {0.5f, 0.5f}, {-0.5f, -0.5f}, {0.5f, -0.5f}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v[i].x, corners[i][0]) << i;
        EXPECT_EQ(v[i].y, corners[i][1]) << i;
        EXPECT_EQ(v[i].z, 0.0f);
        EXPECT_EQ(v[i].colour, 0xFFFFFFFFu);
    }
    v[0].colour = v[1].colour = v[2].colour = v[3].colour = 0xFF00FF00u;
    grid.unlockVertices();
    gfx::IndexBufferDesc desc{};
    ASSERT_GE(grid.indexBuffer->getDesc(&desc), 0);
    EXPECT_EQ(desc.Size, 2u * 2 * 1 * 2); // columns x (rows - 1) x 2 16-bit indices

    grid.setMaterial(vertexColours());
    grid.draw();
    for (auto [x, y] : {std::pair{0u, 0u}, {799u, 0u}, {0u, 599u}, {799u, 599u}, {400u, 300u}}) {
        EXPECT_EQ(pixel(x, y), kGreen) << x << "," << y;
    }
}

TEST_F(Grid, RowsJoinWithoutCoveringTheCells) {
    // 3 x 3 with a blue middle column over black sides: a joining triangle drawn between
    // rows would paint the lower right of the top band with the side colours only.
    GridRenderer grid;
    ASSERT_EQ(grid.create(3, 3), 0);
    GridVertex* v = grid.lockVertices();
    ASSERT_NE(v, nullptr);
    for (uint32_t i = 0; i < 9; ++i) {
        v[i].colour = i % 3 == 1 ? 0xFF0000FFu : 0xFF000000u;
    }
    grid.unlockVertices();
    grid.setMaterial(vertexColours());
    grid.draw();
    // Just below the top band's middle, near the middle column: mostly blue.
    uint32_t p = pixel(410, 140);
    EXPECT_GT(p & 0xFFu, 200u);
    EXPECT_EQ(p & 0xFFFF00u, 0u);
}

TEST_F(Grid, PolarTableMeasuresFromTheCentre) {
    GridRenderer grid;
    ASSERT_EQ(grid.create(33, 25), 0);
    grid.buildPolarTable();
    ASSERT_NE(grid.polarTable, nullptr);
    EXPECT_FLOAT_EQ(grid.polarTable[0].radius, std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(grid.polarTable[0].angle, float(M_PI / 4));
    // The last of 34 x 26 entries is the opposite corner (-0.5, -0.5).
    const PolarEntry& last = grid.polarTable[34 * 26 - 1];
    EXPECT_FLOAT_EQ(last.radius, std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(last.angle, float(5 * M_PI / 4));
    for (uint32_t i = 0; i < 34 * 26; ++i) {
        EXPECT_GE(grid.polarTable[i].angle, 0.0f);
        EXPECT_LT(grid.polarTable[i].angle, float(2 * M_PI));
    }

    GridRenderer even;
    ASSERT_EQ(even.create(4, 4), 0);
    even.buildPolarTable();
    EXPECT_EQ(even.polar(2, 2).radius, 0.0f); // the origin
    EXPECT_FLOAT_EQ(even.polar(2, 2).angle, float(M_PI / 2));
    EXPECT_FLOAT_EQ(even.polar(2, 4).angle, float(3 * M_PI / 2)); // straight down
    EXPECT_FLOAT_EQ(even.polar(4, 2).angle, float(M_PI));         // left
}

TEST_F(Grid, DrawGivesBackViewProjectionAndDepthStates) {
    camera.position = {3, 4, 5};
    scene.flags = kSceneDepthTest; // depth test on, depth writes off
    driver->applyScene(driver, &scene, 0);
    gfx::Matrix view{}, projectionMatrix{};
    app->device->getTransform(gfx::D3DTS_VIEW, &view);
    app->device->getTransform(gfx::D3DTS_PROJECTION, &projectionMatrix);

    GridRenderer grid;
    ASSERT_EQ(grid.create(5, 4), 0);
    grid.setMaterial(vertexColours());
    grid.draw();

    gfx::Matrix afterView{}, afterProjection{};
    app->device->getTransform(gfx::D3DTS_VIEW, &afterView);
    app->device->getTransform(gfx::D3DTS_PROJECTION, &afterProjection);
    EXPECT_EQ(std::memcmp(&view, &afterView, sizeof view), 0);
    EXPECT_EQ(std::memcmp(&projectionMatrix, &afterProjection, sizeof view), 0);
    uint32_t zEnable = 0, zWrite = 1, lighting = 0;
    app->device->getRenderState(gfx::D3DRS_ZENABLE, &zEnable);
    app->device->getRenderState(gfx::D3DRS_ZWRITEENABLE, &zWrite);
    app->device->getRenderState(gfx::D3DRS_LIGHTING, &lighting);
    EXPECT_EQ(zEnable, gfx::D3DZB_TRUE);
    EXPECT_EQ(zWrite, 0u);
    EXPECT_EQ(lighting, 1u);
}

TEST_F(Grid, RefusesGridsWithoutTwoRowsAndColumns) {
    GridRenderer grid;
    EXPECT_EQ(grid.create(1, 5), 1);
    EXPECT_EQ(grid.create(5, 1), 1);
    EXPECT_EQ(grid.create(300, 300), 1); // beyond 16-bit indices
    grid.draw();                         // nothing to draw, nothing drawn
    EXPECT_EQ(pixel(400, 300), kBlack);
}

} // namespace
