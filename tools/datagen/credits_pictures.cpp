// The credits strip: one line of white capitals on black in the top 25 rows, read by the
// credits scene one pixel per relief column as it scrolls 34 pixels a second for 17.2 s.
// Rows below 25 are never read and stay black.
#include "tools/datagen/groups.h"

#include <algorithm>

namespace datagen {

namespace {

// The scene shows 60 columns from scroll 0 to trunc(17.2 x 34) = 584: 644 columns in all.
constexpr uint32_t kShownColumns = 60 + 584;
// 5 x 7 font pixels drawn 3 x 3: 21 rows, centred in the 25 rows the relief reads.
constexpr int kTextScale = 3;
constexpr int kTextTop = 2;
constexpr uint32_t kStripHeight = 32;

} // namespace

void drawCreditsPictures(PictureSink& sink) {
    // Centred in the columns shown, so some text is in view from the first to the last frame.
    const std::string line = "CODE ZENTHARIS  MUSIC VRELL  THANKS";
    const int lead = std::max(0, (int(kShownColumns) - Picture::textWidth(line, kTextScale)) / 2);
    const uint32_t width =
        std::max<uint32_t>(kShownColumns, uint32_t(lead + Picture::textWidth(line, kTextScale)));
    Picture strip(width, kStripHeight);
    strip.fill(0, 0, 0);
    strip.text(lead, kTextTop, line, kTextScale, 255, 255, 255);
    sink.add("credits.jpg", strip);
}

} // namespace datagen
