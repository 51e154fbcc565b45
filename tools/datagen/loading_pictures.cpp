// The title card shown while the demo loads.
#include "tools/datagen/groups.h"

#include <cmath>

namespace datagen {

void drawLoadingPictures(PictureSink& sink) {
    Picture card(512, 512);
    for (uint32_t y = 0; y < card.height; ++y) {
        for (uint32_t x = 0; x < card.width; ++x) {
            float fx = float(x) / 512.0f, fy = float(y) / 512.0f;
            float n = valueNoise(fx * 8, fy * 8, 8, 77) * 0.6f +
                      valueNoise(fx * 32, fy * 32, 32, 78) * 0.4f;
            float glow =
                std::exp(-((fx - 0.5f) * (fx - 0.5f) + (fy - 0.45f) * (fy - 0.45f)) * 9.0f);
            card.put(int(x), int(y), uint8_t(10 + 30 * n * glow), uint8_t(14 + 50 * n * glow),
                     uint8_t(30 + 120 * glow * (0.6f + 0.4f * n)));
        }
    }
    const std::string title = "???";
    const std::string groups = "ZENTHARIS & VRELL";
    const std::string status = "LOADING";
    card.text((512 - Picture::textWidth(title, 12)) / 2, 150, title, 12, 235, 240, 255);
    card.text((512 - Picture::textWidth(groups, 4)) / 2, 270, groups, 4, 170, 200, 255);
    card.text((512 - Picture::textWidth(status, 2)) / 2, 420, status, 2, 120, 140, 190);
    for (int i = 0; i < 7; ++i) {
        card.disc(256.0f - 48 + float(i) * 16, 450, 3.5f, 120, 160, 230);
    }
    sink.add("loading.jpg", card);
}

} // namespace datagen
