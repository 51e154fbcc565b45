// Building bitmap fonts (the system face rasterised into an A4R4G4B4 texture, the vertex
// buffer and two state blocks) and drawing strings with them; the font cache in DemoApp and
// the driver's drawText.
#include "render/text.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "platform/glyphs.h"
#include "render/render_driver.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

// Texture side by point size: above 40 points 1024, above 20 points 512, else 256.
uint32_t textureSideFor(int32_t size) {
    if (size > 40) {
        return 1024;
    }
    return size > 20 ? 512 : 256;
}

constexpr uint32_t kTextFvf = gfx::D3DFVF_XYZRHW | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;
constexpr float kTextZ = 0.9f;

// Records the drawing state of a font into a new block; 0 when recording failed.
uint32_t recordDrawState(gfx::Device* dev, const Font& font) {
    if (dev->beginStateBlock() < 0) {
        return 0;
    }
    dev->setTexture(0, font.texture);
    dev->setRenderState(gfx::D3DRS_ZENABLE, (font.fontFlags & kFontDepthTest) != 0
                                                ? gfx::D3DZB_TRUE
                                                : gfx::D3DZB_FALSE);
    dev->setRenderState(gfx::D3DRS_ALPHABLENDENABLE, 1);
    dev->setRenderState(gfx::D3DRS_SRCBLEND, gfx::D3DBLEND_SRCALPHA);
    dev->setRenderState(gfx::D3DRS_DESTBLEND, gfx::D3DBLEND_INVSRCALPHA);
    dev->setRenderState(gfx::D3DRS_ALPHATESTENABLE, 1);
    dev->setRenderState(gfx::D3DRS_ALPHAREF, 8);
    dev->setRenderState(gfx::D3DRS_ALPHAFUNC, gfx::D3DCMP_GREATEREQUAL);
    dev->setRenderState(gfx::D3DRS_FILLMODE, gfx::D3DFILL_SOLID);
    dev->setRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_CCW);
    dev->setRenderState(gfx::D3DRS_STENCILENABLE, 0);
    dev->setRenderState(gfx::D3DRS_CLIPPING, 1);
    dev->setRenderState(gfx::D3DRS_EDGEANTIALIAS, 0);
    dev->setRenderState(gfx::D3DRS_CLIPPLANEENABLE, 0);
    dev->setRenderState(gfx::D3DRS_VERTEXBLEND, gfx::D3DVBF_DISABLE);
    dev->setRenderState(gfx::D3DRS_INDEXEDVERTEXBLENDENABLE, 0);
    dev->setRenderState(gfx::D3DRS_FOGENABLE, 0);
    dev->setTextureStageState(0, gfx::D3DTSS_COLOROP, gfx::D3DTOP_MODULATE);
    dev->setTextureStageState(0, gfx::D3DTSS_COLORARG1, gfx::D3DTA_TEXTURE);
    dev->setTextureStageState(0, gfx::D3DTSS_COLORARG2, gfx::D3DTA_DIFFUSE);
    dev->setTextureStageState(0, gfx::D3DTSS_ALPHAOP, gfx::D3DTOP_MODULATE);
    dev->setTextureStageState(0, gfx::D3DTSS_ALPHAARG1, gfx::D3DTA_TEXTURE);
    dev->setTextureStageState(0, gfx::D3DTSS_ALPHAARG2, gfx::D3DTA_DIFFUSE);
    dev->setTextureStageState(0, gfx::D3DTSS_MINFILTER, gfx::D3DTEXF_POINT);
    dev->setTextureStageState(0, gfx::D3DTSS_MAGFILTER, gfx::D3DTEXF_POINT);
    dev->setTextureStageState(0, gfx::D3DTSS_MIPFILTER, gfx::D3DTEXF_NONE);
    dev->setTextureStageState(0, gfx::D3DTSS_TEXCOORDINDEX, 0);
    dev->setTextureStageState(0, gfx::D3DTSS_TEXTURETRANSFORMFLAGS, gfx::D3DTTFF_DISABLE);
    dev->setTextureStageState(1, gfx::D3DTSS_COLOROP, gfx::D3DTOP_DISABLE);
    dev->setTextureStageState(1, gfx::D3DTSS_ALPHAOP, gfx::D3DTOP_DISABLE);
    uint32_t token = 0;
    return dev->endStateBlock(&token) < 0 ? 0 : token;
}

} // namespace

int rasteriseFont(Font* font, gfx::Device* device, const char* faceName, int32_t size,
                  uint32_t fontFlags) {
    *font = Font{};
    std::strncpy(font->faceName, faceName, kFaceNameLength - 1);
    font->size = size;
    font->fontFlags = fontFlags;
    font->textScale = 1.0f;

    uint32_t side = textureSideFor(size);
    gfx::Caps caps{};
    device->getDeviceCaps(&caps);
    if (caps.MaxTextureWidth != 0 && caps.MaxTextureWidth < side) {
        font->textScale = float(caps.MaxTextureWidth) / float(side);
        side = caps.MaxTextureWidth;
    }
    font->textureWidth = font->textureHeight = side;

    std::string why;
    auto glyphs = platform::GlyphFont::create(
        faceName, platform::pointsToPixels(size, font->textScale), (fontFlags & kFontBold) != 0,
        (fontFlags & kFontItalic) != 0, &why);
    if (!glyphs) {
        formatReport(1, "font '%s' %d: %s\n", faceName, int(size), why.c_str());
        return 1;
    }
    gfx::HRESULT hr = device->createTexture(side, side, 1, 0, gfx::D3DFMT_A4R4G4B4,
                                            gfx::D3DPOOL_MANAGED, &font->texture);
    if (hr < 0) {
        font->texture = nullptr;
        return hr;
    }

    platform::GlyphBitmap bitmap(side, side);
    int32_t x = 0, y = 0;
    const float w = float(side), h = float(side);
    for (int c = kFirstGlyph; c <= kLastGlyph; ++c) {
        platform::GlyphExtent e = glyphs->measure(char(c));
        if (x + e.width + 1 > int32_t(side)) {
            y += e.height + 1;
            x = 0;
        }
        glyphs->draw(bitmap, x, y, char(c));
        font->glyphs[c - kFirstGlyph] = {float(x) / w, float(y) / h, float(x + e.width) / w,
                                         float(y + e.height) / h};
        x += e.width + 1;
    }

    // Four bits of coverage become the alpha of a white texel; uncovered texels are clear.
    gfx::LockedRect locked{};
    hr = font->texture->lockRect(0, &locked, nullptr, 0);
    if (hr < 0) {
        return hr;
    }
    for (uint32_t row = 0; row < side; ++row) {
        const uint32_t* src = bitmap.pixels.data() + size_t(row) * side;
        auto* dst = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(locked.pBits) +
                                                size_t(row) * uint32_t(locked.Pitch));
        for (uint32_t col = 0; col < side; ++col) {
            const uint32_t a = (src[col] & 0xFFu) >> 4;
            dst[col] = a != 0 ? uint16_t((a << 12) | 0x0FFFu) : uint16_t(0);
        }
    }
    font->texture->unlockRect(0);

    hr = device->createVertexBuffer(kTextBufferVertices * sizeof(TextVertex),
                                    gfx::D3DUSAGE_DYNAMIC | gfx::D3DUSAGE_WRITEONLY, 0,
                                    gfx::D3DPOOL_DEFAULT, &font->vertexBuffer);
    if (hr < 0) {
        font->vertexBuffer = nullptr;
        return hr;
    }
    font->savedStateBlock = recordDrawState(device, *font);
    font->drawStateBlock = recordDrawState(device, *font);
    font->device = device;
    return 0;
}

void releaseFont(Font* font) {
    if (font->device != nullptr) {
        if (font->savedStateBlock != 0) {
            font->device->deleteStateBlock(font->savedStateBlock);
        }
        if (font->drawStateBlock != 0) {
            font->device->deleteStateBlock(font->drawStateBlock);
        }
    }
    if (font->vertexBuffer != nullptr) {
        font->vertexBuffer->release();
    }
    if (font->texture != nullptr) {
        font->texture->release();
    }
    font->device = nullptr;
    font->vertexBuffer = nullptr;
    font->texture = nullptr;
    font->savedStateBlock = font->drawStateBlock = 0;
}

int drawFontText(Font* font, float x, float y, uint32_t colour, const char* text, uint32_t flags,
                 uint32_t* batches) {
    if (batches != nullptr) {
        *batches = 0;
    }
    if (font == nullptr || font->device == nullptr || font->vertexBuffer == nullptr) {
        return 1;
    }
    gfx::Device* dev = font->device;
    dev->captureStateBlock(font->savedStateBlock);
    dev->applyStateBlock(font->drawStateBlock);
    dev->setVertexShader(kTextFvf);
    dev->setPixelShader(0);
    dev->setStreamSource(0, font->vertexBuffer, sizeof(TextVertex));
    if ((flags & kTextFiltered) != 0) {
        dev->setTextureStageState(0, gfx::D3DTSS_MINFILTER, gfx::D3DTEXF_LINEAR);
        dev->setTextureStageState(0, gfx::D3DTSS_MAGFILTER, gfx::D3DTEXF_LINEAR);
    }

    uint32_t drawn = 0;
    auto flush = [&](uint32_t vertices) {
        font->vertexBuffer->unlock();
        if (vertices > 0) {
            dev->drawPrimitive(gfx::D3DPT_TRIANGLELIST, 0, vertices / 3);
            ++drawn;
        }
    };
    uint8_t* bytes = nullptr;
    if (font->vertexBuffer->lock(0, 0, &bytes, gfx::D3DLOCK_DISCARD) < 0) {
        dev->applyStateBlock(font->savedStateBlock);
        return 1;
    }
    auto* out = reinterpret_cast<TextVertex*>(bytes);
    uint32_t written = 0;
    const float texW = float(font->textureWidth) / font->textScale;
    const float texH = float(font->textureHeight) / font->textScale;
    const GlyphRect& space = font->glyphs[0];
    const float startX = x;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        const int code = int(uint8_t(*p));
        if (code == '\n') {
            x = startX;
            y += (space.bottom - space.top) * texH;
            continue;
        }
        // Control codes and everything past '~' have no glyph and no advance.
        if (code < kFirstGlyph || code > kLastGlyph) {
            continue;
        }
        const GlyphRect& g = font->glyphs[code - kFirstGlyph];
        const float w = (g.right - g.left) * texW;
        const float h = (g.bottom - g.top) * texH;
        if (code != ' ') {
            const float x0 = x - 0.5f, y0 = y - 0.5f;
            const float x1 = x + w - 0.5f, y1 = y + h - 0.5f;
            TextVertex* v = out + written;
            v[0] = {x0, y0, kTextZ, 1.0f, colour, g.left, g.top};
            v[1] = {x1, y0, kTextZ, 1.0f, colour, g.right, g.top};
            v[2] = {x0, y1, kTextZ, 1.0f, colour, g.left, g.bottom};
            v[3] = {x0, y1, kTextZ, 1.0f, colour, g.left, g.bottom};
            v[4] = {x1, y0, kTextZ, 1.0f, colour, g.right, g.top};
            v[5] = {x1, y1, kTextZ, 1.0f, colour, g.right, g.bottom};
            written += 6;
            if (written >= kTextBatchVertices) {
                flush(written);
                written = 0;
                if (font->vertexBuffer->lock(0, 0, &bytes, gfx::D3DLOCK_DISCARD) < 0) {
                    dev->applyStateBlock(font->savedStateBlock);
                    return 1;
                }
                out = reinterpret_cast<TextVertex*>(bytes);
            }
        }
        x += w;
    }
    flush(written);
    dev->applyStateBlock(font->savedStateBlock);
    if (batches != nullptr) {
        *batches = drawn;
    }
    return 0;
}

Font* findFont(DemoApp* app, int32_t size, const char* faceName) {
    for (CachedFont* entry : app->fonts) {
        if (entry->size == size && std::strcmp(entry->faceName, faceName) == 0) {
            return entry->font;
        }
    }
    auto* font = new Font{};
    if (app->device == nullptr || rasteriseFont(font, app->device, faceName, size, 0) != 0) {
        releaseFont(font); // a font without its device objects draws nothing
    }
    const size_t length = std::strlen(faceName);
    auto* entry = new CachedFont{new char[length + 1], size, font};
    std::memcpy(entry->faceName, faceName, length + 1);
    app->fonts.push_back(entry);
    return font;
}

int createDemoFonts(DemoApp* app) {
    findFont(app, 12, "Terminal");
    findFont(app, 28, "Tahoma");
    return 0;
}

void releaseDemoFonts(DemoApp* app) {
    for (CachedFont* entry : app->fonts) {
        releaseFont(entry->font);
        delete entry->font;
        delete[] entry->faceName;
        delete entry;
    }
    app->fonts.clear();
}

int RenderDriver::drawText(int x, int y, const char* text, const ColorF* colour, unsigned fontSize,
                           const char* fontName) {
    if (gApp == nullptr || text == nullptr || fontName == nullptr || colour == nullptr) {
        return 0;
    }
    Font* font = findFont(gApp, int32_t(fontSize), fontName);
    drawFontText(font, float(x), float(y), packColour(*colour), text, 0);
    return 0;
}
