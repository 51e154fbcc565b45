// GridRenderer: a full-view deformable grid of columns x rows vertices drawn as one triangle
// strip through its own fixed camera, without depth test or lighting. Parts rewrite its
// vertices every frame (texture coordinates, colours, positions) for 2D picture effects.
// It draws with whatever material it is given and never changes the caller's camera.
#pragma once

#include "platform/gfx/gfx.h"

#include <cstdint>
#include <memory>

struct Material;

struct GridVertex {
    float x, y, z;   // view square -0.5..0.5, y up
    uint32_t colour; // A8R8G8B8
    float u, v;
};
static_assert(sizeof(GridVertex) == 24);

// Distance and angle of a table point from the grid centre.
struct PolarEntry {
    float radius;
    float angle; // radians in [0, 2 pi)
};

struct GridRenderer {
    uint32_t vertexFormat = 0; // position + diffuse + one texture set
    uint32_t stride = 0;       // 24
    Material* material = nullptr;
    gfx::Ref<gfx::VertexBuffer> vertexBuffer; // dynamic, default pool
    gfx::Ref<gfx::IndexBuffer> indexBuffer;   // 16-bit, managed
    // (columns + 1) x (rows + 1) entries, row by row; null until buildPolarTable.
    std::unique_ptr<PolarEntry[]> polarTable;
    uint32_t vertexCount = 0;
    uint32_t columns = 0;
    uint32_t rows = 0;

    // Builds the buffers with the vertices evenly covering the view. 1 when the vertex
    // buffer cannot be created, or for fewer than 2 columns or rows or more vertices than
    // 16-bit indices reach.
    int create(uint32_t columns, uint32_t rows);
    // The first vertex of the locked buffer (row by row, top row first), or null.
    GridVertex* lockVertices();
    int unlockVertices();
    void setMaterial(Material* m) { material = m; }
    void buildPolarTable();
    // The polar entry of the vertex in this column and row.
    const PolarEntry& polar(uint32_t column, uint32_t row) const {
        return polarTable[size_t(row) * (columns + 1) + column];
    }
    // Draws the grid over the whole view; view and projection are restored afterwards.
    void draw();
};
