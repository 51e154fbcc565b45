#include "tools/datagen/lettering.h"

#include "platform/glyphs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace datagen {

namespace {

constexpr int kLogoMargin = 40;

uint8_t toByte(float v) {
    return uint8_t(std::clamp(v, 0.0f, 255.0f));
}

// A coverage field in 0..1, row by row.
struct Field {
    int w, h;
    std::vector<float> v;
    Field(int width, int height) : w(width), h(height), v(size_t(width) * height, 0.0f) {}
    float at(int x, int y) const {
        return v[size_t(std::clamp(y, 0, h - 1)) * w + size_t(std::clamp(x, 0, w - 1))];
    }
};

// Separable box blur, `passes` times (three passes come close to a Gaussian).
Field blurred(const Field& in, int radius, int passes) {
    Field a = in, b(in.w, in.h);
    const float scale = 1.0f / float(2 * radius + 1);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < a.h; ++y) {
            for (int x = 0; x < a.w; ++x) {
                float sum = 0;
                for (int k = -radius; k <= radius; ++k) {
                    sum += a.at(x + k, y);
                }
                b.v[size_t(y) * a.w + x] = sum * scale;
            }
        }
        for (int y = 0; y < a.h; ++y) {
            for (int x = 0; x < a.w; ++x) {
                float sum = 0;
                for (int k = -radius; k <= radius; ++k) {
                    sum += b.at(x, y + k);
                }
                a.v[size_t(y) * a.w + x] = sum * scale;
            }
        }
    }
    return a;
}

float smoothstep(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// "Tahoma" is the sans face the demo's own text asks for: the shipped bold sans file. Without
// it the pictures could not be the same on every machine, so the generator stops.
constexpr const char* kFace = "Tahoma";

platform::GlyphFont& font(int pixelHeight) {
    static std::map<int, std::unique_ptr<platform::GlyphFont>> fonts;
    auto it = fonts.find(pixelHeight);
    if (it == fonts.end()) {
        std::string error;
        auto created = platform::GlyphFont::create(kFace, pixelHeight, true, false, &error);
        if (!created) {
            std::fprintf(stderr, "datagen: %s\n", error.c_str());
            std::exit(1);
        }
        it = fonts.emplace(pixelHeight, std::move(created)).first;
    }
    return *it->second;
}

} // namespace

int letteringWidth(const std::string& text, int pixelHeight, int tracking) {
    platform::GlyphFont& f = font(pixelHeight);
    int width = 0;
    for (char c : text) {
        width += f.measure(c).width + tracking;
    }
    return width - (text.empty() ? 0 : tracking);
}

int letteringHeight(int pixelHeight) {
    return font(pixelHeight).measure('A').height;
}

int fitLettering(const std::string& text, int maxWidth, int maxHeight, int tracking) {
    int size = maxHeight;
    while (size > 8 && letteringWidth(text, size, tracking) > maxWidth) {
        size -= 2;
    }
    return size;
}

void letter(Picture& mask, int x, int y, const std::string& text, int pixelHeight, int tracking) {
    platform::GlyphFont& f = font(pixelHeight);
    for (char c : text) {
        const platform::GlyphExtent e = f.measure(c);
        if (e.width > 0 && e.height > 0) {
            platform::GlyphBitmap cell(uint32_t(e.width), uint32_t(e.height));
            f.draw(cell, 0, 0, c);
            for (int cy = 0; cy < e.height; ++cy) {
                for (int cx = 0; cx < e.width; ++cx) {
                    const int px = x + cx, py = y + cy;
                    if (px < 0 || py < 0 || uint32_t(px) >= mask.width ||
                        uint32_t(py) >= mask.height) {
                        continue;
                    }
                    const auto v = uint8_t(cell.pixels[size_t(cy) * cell.width + cx] & 0xFF);
                    uint8_t* p = mask.at(uint32_t(px), uint32_t(py));
                    p[0] = std::max(p[0], v);
                }
            }
        }
        x += e.width + tracking;
    }
}

void letterCentred(Picture& mask, int y, const std::string& text, int pixelHeight, int tracking) {
    letter(mask, (int(mask.width) - letteringWidth(text, pixelHeight, tracking)) / 2, y, text,
           pixelHeight, tracking);
}

// A logo: bevelled, outlined letters with a gradient and a glint, inside a soft halo, with
// thin rules above and below. The alpha picture is the letters and outline opaque over the
// halo at about two thirds, clear elsewhere, so the swirl's clamped edges stay invisible.
void drawLogo(const std::vector<LogoLine>& lines, const LogoStyle& style, Picture& colour,
              Picture& alpha) {
    const int size = int(colour.width), rows = int(colour.height);
    Picture mask(colour.width, colour.height, true);
    std::vector<int> sizes, heights;
    int total = 0;
    for (const LogoLine& line : lines) {
        sizes.push_back(
            fitLettering(line.text, size - 2 * kLogoMargin, line.maxHeight, line.tracking));
        heights.push_back(letteringHeight(sizes.back()));
        total += heights.back();
    }
    int y = (rows - total) / 2;
    const int textTop = y, textBottom = y + total;
    for (size_t i = 0; i < lines.size(); ++i) {
        letterCentred(mask, y, lines[i].text, sizes[i], lines[i].tracking);
        y += heights[i];
    }
    // Rules above and below, tapering at the ends.
    for (int rule : {textTop - 6, textBottom + 4}) {
        for (int x = kLogoMargin; x < size - kLogoMargin; ++x) {
            const float taper =
                std::sin(3.14159265f * float(x - kLogoMargin) / float(size - 2 * kLogoMargin));
            for (int dy = 0; dy < 3; ++dy) {
                mask.blend(x, rule + dy, 255, 255, 255, taper * (dy == 1 ? 1.0f : 0.5f));
            }
        }
    }
    Field m(size, rows);
    for (size_t i = 0; i < m.v.size(); ++i) {
        m.v[i] = float(mask.data[i]) / 255.0f;
    }
    const Field outline = blurred(m, 2, 2);
    const Field halo = blurred(m, 12, 3);
    const Field soft = blurred(m, 2, 1);

    for (int py = 0; py < rows; ++py) {
        const float g = std::clamp(float(py - textTop) / float(std::max(1, total)), 0.0f, 1.0f);
        const float glint = 1 + 0.45f * std::exp(-(g - 0.38f) * (g - 0.38f) / 0.003f);
        for (int px = 0; px < size; ++px) {
            const float cover = m.at(px, py);
            const float o = smoothstep(0.04f, 0.3f, outline.at(px, py));
            const float h = std::min(1.0f, halo.at(px, py) * 2.4f);
            // Light from the top left on the letters' rounded edges.
            const float gx = soft.at(px + 1, py) - soft.at(px - 1, py);
            const float gy = soft.at(px, py + 1) - soft.at(px, py - 1);
            const float light = std::clamp(1.0f + 1.6f * (gx * 0.6f + gy * 0.8f), 0.55f, 1.5f);
            uint8_t rgb[3];
            for (int c = 0; c < 3; ++c) {
                const float fill = (style.top[c] * (1 - g) + style.bottom[c] * g) * glint * light;
                const float under = style.glow[c] * (1 - o) + style.edge[c] * o;
                rgb[c] = toByte(under * (1 - cover) + fill * cover);
            }
            colour.put(px, py, rgb[0], rgb[1], rgb[2]);
            const uint8_t a = toByte(255 * std::max({cover, o, 0.65f * h}));
            alpha.put(px, py, a, a, a);
        }
    }
}

} // namespace datagen
