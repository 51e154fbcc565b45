// The credits strip: one line of white capitals on black in the top 25 rows, read by the
// credits scene one pixel per relief column as it scrolls 34 pixels a second for 17.2 s.
// Rows below 25 are never read and stay black.
#include "tools/datagen/groups.h"

#include <algorithm>

namespace datagen {

namespace {

// The scene shows 60 columns from scroll 0 to trunc(17.2 x 34) = 584: 644 columns in all.
constexpr uint32_t kShownColumns = 60 + 584;
// 5 x 7 font pixels drawn 4 wide and 3 high: 21 rows, centred in the 25 rows the relief
// reads, with strokes four relief points wide so the letters stand out of the particles.
constexpr int kScaleX = 4;
constexpr int kScaleY = 3;
constexpr int kTextTop = 2;
constexpr uint32_t kStripHeight = 32;

} // namespace

void drawCreditsPictures(PictureSink& sink) {
    // Centred in the columns shown, so some text is in view from the first to the last frame.
    const std::string line = "CREDITS: ZENTHARIS & VRELL";
    const int width = Picture::textWidth(line, 1) * kScaleX;
    const int lead = std::max(0, (int(kShownColumns) - width) / 2);
    Picture strip(std::max<uint32_t>(kShownColumns, uint32_t(lead + width)), kStripHeight);
    strip.fill(0, 0, 0);
    strip.textStretched(lead, kTextTop, line, kScaleX, kScaleY, 255, 255, 255);
    sink.add("credits.jpg", strip);
}

} // namespace datagen
