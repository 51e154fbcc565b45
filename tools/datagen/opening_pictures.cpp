// Pictures of the Opening: the background the sphere mapping wraps ("k3wl.jpg"), the tube
// texture ("splines.jpg") and the three logos, each a colour picture plus a greyscale alpha
// picture whose black surroundings keep the clamped edges of the swirl transparent.
#include "tools/datagen/groups.h"

#include <algorithm>
#include <cmath>

namespace datagen {

namespace {

constexpr float kTau = 6.2831853f;

uint8_t toByte(float v) {
    return uint8_t(std::clamp(v, 0.0f, 255.0f));
}

// A glowing, swirled plasma in deep blues and violets; tileable in both directions, since
// the sphere mapping wraps around it.
Picture background() {
    Picture p(256, 256);
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            float fx = float(x) / 256.0f, fy = float(y) / 256.0f;
            float n = valueNoise(fx * 4, fy * 4, 4, 11) * 0.55f +
                      valueNoise(fx * 16, fy * 16, 16, 12) * 0.3f +
                      valueNoise(fx * 64, fy * 64, 64, 13) * 0.15f;
            float bands = 0.5f + 0.5f * std::sin(kTau * (fx * 3 + fy * 2) + n * 9.0f);
            float glow = std::pow(bands, 3.0f);
            p.put(int(x), int(y), toByte(30 + 120 * n * bands + 90 * glow),
                  toByte(20 + 60 * n + 120 * glow * glow), toByte(80 + 150 * n * (0.5f + bands)));
        }
    }
    return p;
}

// The tube skin: u runs along the whole tube, v around it. Bright streaks along the tube
// with a hot core line and faint rings, in cyan to orange.
Picture tubeSkin() {
    Picture p(256, 256);
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            float u = float(x) / 256.0f, v = float(y) / 256.0f;
            float around = 0.5f + 0.5f * std::cos(kTau * v * 2);
            float rings = 0.5f + 0.5f * std::sin(kTau * u * 64);
            float n = valueNoise(u * 32, v * 8, 32, 21);
            float core = std::pow(around, 6.0f);
            float warm = 0.5f + 0.5f * std::sin(kTau * u * 3);
            float r = 40 + 200 * core * warm + 60 * n * rings;
            float g = 90 + 140 * core + 50 * n * around;
            float b = 200 * (1 - warm * 0.6f) * (0.4f + 0.6f * around) + 55 * core;
            p.put(int(x), int(y), toByte(r), toByte(g), toByte(b));
        }
    }
    return p;
}

// Separable box blur of a greyscale picture, `passes` times.
void blur(Picture& p, int radius, int passes) {
    std::vector<float> a(p.data.begin(), p.data.end()), b(a.size());
    int w = int(p.width), h = int(p.height);
    float scale = 1.0f / float(2 * radius + 1);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                float sum = 0;
                for (int k = -radius; k <= radius; ++k) {
                    sum += a[size_t(y) * w + std::clamp(x + k, 0, w - 1)];
                }
                b[size_t(y) * w + x] = sum * scale;
            }
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                float sum = 0;
                for (int k = -radius; k <= radius; ++k) {
                    sum += b[size_t(std::clamp(y + k, 0, h - 1)) * w + x];
                }
                a[size_t(y) * w + x] = sum * scale;
            }
        }
    }
    for (size_t i = 0; i < a.size(); ++i) {
        p.data[i] = toByte(a[i]);
    }
}

struct LogoStyle {
    uint8_t top[3], bottom[3]; // gradient of the letters
    uint8_t glow[3];           // colour of the halo around them
};

// A logo: lines of text centred on a 512 x 512 picture, with a soft halo. The alpha
// picture is the letters at full opacity over the halo at about half.
void logo(PictureSink& sink, const std::string& name, const std::string& alphaName,
          const std::vector<std::pair<std::string, int>>& lines, const LogoStyle& style) {
    const int size = 512;
    Picture mask(size, size, true);
    int total = 0;
    for (const auto& [text, scale] : lines) {
        total += 7 * scale + scale * 3;
    }
    int y = (size - total) / 2;
    for (const auto& [text, scale] : lines) {
        mask.text((size - Picture::textWidth(text, scale)) / 2, y, text, scale, 255, 255, 255);
        y += 7 * scale + scale * 3;
    }
    Picture halo = mask;
    blur(halo, 6, 3);
    Picture colour(size, size);
    Picture alpha(size, size, true);
    for (int py = 0; py < size; ++py) {
        float g = float(py) / float(size);
        for (int px = 0; px < size; ++px) {
            float m = float(*mask.at(uint32_t(px), uint32_t(py))) / 255.0f;
            float h = std::min(1.0f, float(*halo.at(uint32_t(px), uint32_t(py))) / 255.0f * 2.5f);
            float shine = 0.85f + 0.15f * std::sin(kTau * (float(px) / 64.0f + g * 2));
            uint8_t rgb[3];
            for (int c = 0; c < 3; ++c) {
                float letter = (float(style.top[c]) * (1 - g) + float(style.bottom[c]) * g) * shine;
                rgb[c] = toByte(letter * m + float(style.glow[c]) * (1 - m));
            }
            colour.put(px, py, rgb[0], rgb[1], rgb[2]);
            uint8_t a = toByte(255 * std::max(m, 0.55f * h));
            alpha.put(px, py, a, a, a);
        }
    }
    sink.add(name, colour);
    sink.add(alphaName, alpha);
}

} // namespace

void drawOpeningPictures(PictureSink& sink) {
    sink.add("k3wl.jpg", background());
    sink.add("splines.jpg", tubeSkin());
    logo(sink, "ztr_logo.jpg", "ztr_logo_alpha.jpg", {{"ZENTHARIS", 8}},
         LogoStyle{{255, 236, 150}, {235, 120, 30}, {255, 150, 40}});
    logo(sink, "vrell_logo.jpg", "vrell_logo_alpha.jpg", {{"VRELL", 14}},
         LogoStyle{{190, 255, 255}, {40, 120, 255}, {60, 160, 255}});
    logo(sink, "logo.jpg", "logo-alpha.jpg", {{"???", 16}, {"ZENTHARIS & VRELL", 4}},
         LogoStyle{{255, 255, 255}, {230, 120, 255}, {200, 90, 255}});
}

} // namespace datagen
