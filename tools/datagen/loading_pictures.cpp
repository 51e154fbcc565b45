// The title card shown while the demo loads: the demo's logo over a dark blue glow, with a
// quiet "loading" line beneath. Stretched over the whole 4:3 view.
#include "tools/datagen/groups.h"
#include "tools/datagen/lettering.h"

#include <cmath>

namespace datagen {

namespace {

constexpr uint32_t kCardSize = 512;

} // namespace

void drawLoadingPictures(PictureSink& sink) {
    Picture card(kCardSize, kCardSize);
    for (uint32_t y = 0; y < card.height; ++y) {
        for (uint32_t x = 0; x < card.width; ++x) {
            const float fx = float(x) / float(kCardSize), fy = float(y) / float(kCardSize);
            const float n = valueNoise(fx * 8, fy * 8, 8, 77) * 0.6f +
                            valueNoise(fx * 32, fy * 32, 32, 78) * 0.4f;
            const float glow =
                std::exp(-((fx - 0.5f) * (fx - 0.5f) + (fy - 0.45f) * (fy - 0.45f)) * 7.0f);
            card.put(int(x), int(y), uint8_t(8 + 40 * n * glow), uint8_t(8 + 30 * n * glow),
                     uint8_t(24 + 110 * glow * (0.6f + 0.4f * n)));
        }
    }
    // The same logo as the Opening's last one, laid over the glow by its own alpha.
    Picture logo(kCardSize, kCardSize), alpha(kCardSize, kCardSize, true);
    drawLogo({{"???", 170, 16}, {"ZENTHARIS & VRELL", 32, 4}},
             LogoStyle{{255, 255, 255}, {215, 120, 255}, {60, 0, 90}, {190, 80, 255}}, logo, alpha);
    for (uint32_t y = 0; y < kCardSize; ++y) {
        for (uint32_t x = 0; x < kCardSize; ++x) {
            const uint8_t* c = logo.at(x, y);
            card.blend(int(x), int(y), c[0], c[1], c[2], float(*alpha.at(x, y)) / 255.0f);
        }
    }
    Picture status(kCardSize, kCardSize, true);
    letterCentred(status, 420, "LOADING", 16, 6);
    for (uint32_t y = 400; y < kCardSize; ++y) {
        for (uint32_t x = 0; x < kCardSize; ++x) {
            card.blend(int(x), int(y), 150, 170, 220, float(*status.at(x, y)) / 255.0f);
        }
    }
    for (int i = 0; i < 7; ++i) {
        card.disc(256.0f - 48 + float(i) * 16, 455, 3.0f, 120, 150, 230);
    }
    sink.add("loading.jpg", card);
}

} // namespace datagen
