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
