// Pictures of the Opening: the background the sphere mapping wraps ("k3wl.jpg"), the tube
// texture ("splines.jpg") and the three logos, each a colour picture plus a greyscale alpha
// picture whose clear surroundings keep the clamped edges of the swirl transparent.
#include "tools/datagen/groups.h"
#include "tools/datagen/lettering.h"

#include <algorithm>
#include <cmath>

namespace datagen {

namespace {

constexpr float kTau = 6.2831853f;
constexpr uint32_t kLogoSize = 512;

uint8_t toByte(float v) {
    return uint8_t(std::clamp(v, 0.0f, 255.0f));
}

// A glowing, swirled nebula in deep blues and violets: smooth noise bends bands of light
// into filaments. Tileable in both directions, since the sphere mapping wraps around it.
Picture background() {
    Picture p(256, 256);
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            const float fx = float(x) / 256.0f, fy = float(y) / 256.0f;
            const float n = valueNoise(fx * 4, fy * 4, 4, 11) * 0.5f +
                            valueNoise(fx * 8, fy * 8, 8, 12) * 0.3f +
                            valueNoise(fx * 16, fy * 16, 16, 13) * 0.2f;
            const float grain = valueNoise(fx * 64, fy * 64, 64, 14);
            const float bands = 0.5f + 0.5f * std::sin(kTau * (fx * 3 + fy * 2) + n * 7.0f);
            const float glow = bands * bands;
            const float filament = std::pow(bands, 12.0f);
            // Large patches lean towards blue or towards magenta.
            const float hue = 0.55f + 0.6f * valueNoise(fx * 2, fy * 2, 2, 15);
            p.put(int(x), int(y), toByte((18 + 70 * n + 110 * glow * n) * hue + 120 * filament),
                  toByte(8 + 30 * n + 40 * glow * n + 130 * filament + 8 * grain),
                  toByte(50 + 110 * n + 90 * glow + 120 * filament + 12 * grain));
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

// A logo and its alpha picture, 512 x 512.
void logo(PictureSink& sink, const std::string& name, const std::string& alphaName,
          const std::vector<LogoLine>& lines, const LogoStyle& style) {
    Picture colour(kLogoSize, kLogoSize), alpha(kLogoSize, kLogoSize, true);
    drawLogo(lines, style, colour, alpha);
    sink.add(name, colour);
    sink.add(alphaName, alpha);
}

} // namespace

void drawOpeningPictures(PictureSink& sink) {
    sink.add("k3wl.jpg", background());
    sink.add("splines.jpg", tubeSkin());
    // The three logos read as one sentence: Zentharis, in cooperation with Vrell, present ???.
    logo(sink, "ztr_logo.jpg", "ztr_logo_alpha.jpg",
         {{"ZENTHARIS", 110, 6}, {"IN COOPERATION WITH", 26, 5}},
         LogoStyle{{255, 246, 190}, {245, 130, 30}, {90, 30, 0}, {255, 140, 30}});
    logo(sink, "vrell_logo.jpg", "vrell_logo_alpha.jpg", {{"VRELL", 150, 10}, {"PRESENT", 26, 8}},
         LogoStyle{{225, 255, 255}, {40, 140, 255}, {0, 30, 90}, {40, 150, 255}});
    logo(sink, "logo.jpg", "logo-alpha.jpg", {{"???", 190, 18}, {"ZENTHARIS & VRELL", 34, 4}},
         LogoStyle{{255, 255, 255}, {215, 120, 255}, {60, 0, 90}, {190, 80, 255}});
}

} // namespace datagen
