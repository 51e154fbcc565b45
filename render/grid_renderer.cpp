// The full-view grid: buffers, polar table and drawing through a fixed camera that maps the
// square -0.5..0.5 exactly onto the view. Rows are joined in one strip without separators;
// the joining triangles face away and fall to the materials' clockwise culling.
#include "render/grid_renderer.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "render/driver_internal.h"
#include "render/material.h"
#include "render/mesh_buffers.h"
#include "render/render_driver.h"

#include <cmath>

namespace {

constexpr uint32_t kGridFvf = gfx::D3DFVF_XYZ | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1; // 322
// 16-bit indices address at most this many vertices.
constexpr uint32_t kMaxGridVertices = 65536;
constexpr double kPi = 3.14159265358979323846;

// The fixed camera: at (0, 0, -0.5) looking along +z, 90 degrees, near 0.25, far 1.
gfx::Matrix gridView() {
    gfx::Matrix view{};
    view.m[0][0] = view.m[1][1] = view.m[2][2] = view.m[3][3] = 1.0f;
    view.m[3][2] = 0.5f;
    return view;
}

gfx::Matrix gridProjection() {
    const FrameBuffer* fb = gCurrentProjection.frameBuffer != nullptr
                                ? gCurrentProjection.frameBuffer
                                : &gApp->frameBuffer;
    float w = float(fb->width != 0 ? fb->width : 1);
    float h = float(fb->height != 0 ? fb->height : 1);
    float aspect = h / w;
    float s = float(1.0 / std::tan(90.0 * kPi / 360.0));
    const float nearPlane = 0.25f, farPlane = 1.0f;
    float q = farPlane / (farPlane - nearPlane);
    gfx::Matrix p{};
    p.m[0][0] = s;
    p.m[1][1] = s * aspect * w / h;
    p.m[2][2] = q;
    p.m[2][3] = 1.0f;
    p.m[3][2] = -nearPlane * q;
    return p;
}

float polarAngle(float a, float b) {
    if (a == 0) {
        return b >= 0 ? float(kPi / 2) : float(3 * kPi / 2);
    }
    float angle = std::atan(b / a);
    if (a > 0) {
        return b < 0 ? angle + float(2 * kPi) : angle;
    }
    return angle + float(kPi);
}

} // namespace

int GridRenderer::create(uint32_t cols, uint32_t rowCount) {
    if (cols < 2 || rowCount < 2 || uint64_t(cols) * rowCount > kMaxGridVertices) {
        return 1;
    }
    gfx::Device* dev = gApp->device;
    vertexFormat = kGridFvf;
    stride = sizeof(GridVertex);
    vertexCount = cols * rowCount;
    columns = cols;
    rows = rowCount;
    indexBuffer.reset();
    polarTable.reset(); // sized for the previous grid
    if (CHECK_RESULT(dev->createVertexBuffer(vertexCount * stride, gfx::D3DUSAGE_DYNAMIC,
                                             vertexFormat, gfx::D3DPOOL_DEFAULT,
                                             vertexBuffer.put())) != 0) {
        return 1;
    }
    uint8_t* data = nullptr;
    if (CHECK_RESULT(vertexBuffer->lock(0, 0, &data, gfx::D3DLOCK_DISCARD)) == 0) {
        auto* v = reinterpret_cast<GridVertex*>(data);
        for (uint32_t i = 0; i < rows; ++i) {
            for (uint32_t j = 0; j < columns; ++j) {
                v[i * columns + j] = {float(j) / float(columns - 1) - 0.5f,
                                      0.5f - float(i) / float(rows - 1),
                                      0.0f,
                                      0xFFFFFFFFu,
                                      0,
                                      0};
            }
        }
        vertexBuffer->unlock();
    }

    uint32_t indexTotal = columns * (rows - 1) * 2;
    if (CHECK_RESULT(dev->createIndexBuffer(indexTotal * 2, 0, gfx::D3DFMT_INDEX16,
                                            gfx::D3DPOOL_MANAGED, indexBuffer.put())) != 0) {
        return 1;
    }
    if (CHECK_RESULT(indexBuffer->lock(0, 0, &data, 0)) == 0) {
        auto* index = reinterpret_cast<uint16_t*>(data);
        for (uint32_t r = 0; r + 1 < rows; ++r) {
            for (uint32_t c = 0; c < columns; ++c) {
                *index++ = uint16_t(r * columns + c);
                *index++ = uint16_t((r + 1) * columns + c);
            }
        }
        indexBuffer->unlock();
    }
    return 0;
}

GridVertex* GridRenderer::lockVertices() {
    if (!vertexBuffer) {
        return nullptr;
    }
    uint8_t* data = nullptr;
    if (CHECK_RESULT(vertexBuffer->lock(0, 0, &data, 0)) != 0) {
        return nullptr;
    }
    return reinterpret_cast<GridVertex*>(data);
}

int GridRenderer::unlockVertices() {
    if (vertexBuffer) {
        vertexBuffer->unlock();
    }
    return 0;
}

void GridRenderer::buildPolarTable() {
    if (columns == 0 || rows == 0) {
        return;
    }
    polarTable = std::make_unique<PolarEntry[]>(size_t(columns + 1) * (rows + 1));
    for (uint32_t i = 0; i <= rows; ++i) {
        for (uint32_t j = 0; j <= columns; ++j) {
            float a = 0.5f - float(j) / float(columns);
            float b = 0.5f - float(i) / float(rows);
            polarTable[size_t(i) * (columns + 1) + j] = {std::sqrt(a * a + b * b),
                                                         polarAngle(a, b)};
        }
    }
}

void GridRenderer::draw() {
    if (!vertexBuffer || !indexBuffer) {
        return;
    }
    gfx::Device* dev = gApp->device;
    gfx::Matrix world = objectWorldMatrix(identity3(), Vec3{1, 1, 1}, Vec3{0, 0, 0});
    dev->setTransform(gfx::D3DTS_WORLD, &world);

    gfx::Matrix savedView{}, savedProjection{};
    dev->getTransform(gfx::D3DTS_VIEW, &savedView);
    dev->getTransform(gfx::D3DTS_PROJECTION, &savedProjection);
    gfx::Matrix view = gridView();
    gfx::Matrix projection = gridProjection();
    dev->setTransform(gfx::D3DTS_VIEW, &view);
    dev->setTransform(gfx::D3DTS_PROJECTION, &projection);

    applyMaterial(material);
    dev->setRenderState(gfx::D3DRS_LIGHTING, 0);
    dev->setRenderState(gfx::D3DRS_ZWRITEENABLE, 0);
    dev->setRenderState(gfx::D3DRS_ZENABLE, gfx::D3DZB_FALSE);
    dev->setRenderState(gfx::D3DRS_FILLMODE, gfx::D3DFILL_SOLID);

    dev->setVertexShader(vertexFormat);
    dev->setIndices(indexBuffer.get(), 0);
    dev->setStreamSource(0, vertexBuffer.get(), stride);
    dev->setTextureStageState(0, gfx::D3DTSS_ADDRESSU, gfx::D3DTADDRESS_WRAP);
    dev->setTextureStageState(0, gfx::D3DTSS_ADDRESSV, gfx::D3DTADDRESS_WRAP);
    dev->drawIndexedPrimitive(gfx::D3DPT_TRIANGLESTRIP, 0, vertexCount, 0,
                              columns * (rows - 1) * 2 - 2);

    uint32_t sceneFlags =
        gDriver != nullptr && gDriver->currentScene != nullptr ? gDriver->currentScene->flags : 0;
    dev->setRenderState(gfx::D3DRS_ZENABLE, (sceneFlags & 1u) != 0 ? gfx::D3DZB_TRUE : 0);
    dev->setRenderState(gfx::D3DRS_ZWRITEENABLE, (sceneFlags >> 1) & 1u);
    dev->setRenderState(gfx::D3DRS_LIGHTING, 1);
    dev->setTransform(gfx::D3DTS_PROJECTION, &savedProjection);
    dev->setTransform(gfx::D3DTS_VIEW, &savedView);
}
