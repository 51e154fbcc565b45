// Lettering for the logos and the title card: text set in the shipped bold sans face
// (data/fonts, through the platform's glyph rasteriser) as greyscale coverage. A missing or
// damaged face file stops the generator: the pack must be the same on every machine.
#pragma once

#include "tools/datagen/picture.h"

#include <string>
#include <vector>

namespace datagen {

// Width in pixels of the text at that em height, with `tracking` extra pixels after each
// character.
int letteringWidth(const std::string& text, int pixelHeight, int tracking);
// Height of a line (ascent and descent) at that em height.
int letteringHeight(int pixelHeight);
// The largest em height up to maxHeight at which the text fits in maxWidth pixels.
int fitLettering(const std::string& text, int maxWidth, int maxHeight, int tracking);
// Adds the text's coverage to the grey picture (brightest wins), its cells' top-left corner
// at (x, y).
void letter(Picture& mask, int x, int y, const std::string& text, int pixelHeight, int tracking);
// The same, centred horizontally on the picture.
void letterCentred(Picture& mask, int y, const std::string& text, int pixelHeight, int tracking);

// The demo's logo look: one or more centred lines of lettering between two thin rules.
struct LogoLine {
    std::string text;
    int maxHeight; // em height in pixels, reduced until the line fits
    int tracking;  // extra pixels after each letter
};
struct LogoStyle {
    float top[3], bottom[3]; // the letters' fill (0..255), top to bottom of the lettering
    float edge[3];           // the outline round the letters
    float glow[3];           // the halo beyond it
};
// Draws the logo centred on the colour picture and its coverage on the grey alpha picture
// of the same size.
void drawLogo(const std::vector<LogoLine>& lines, const LogoStyle& style, Picture& colour,
              Picture& alpha);

} // namespace datagen
