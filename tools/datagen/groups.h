// The picture groups of the data pack, one function per scene (or shared use), each adding
// its pictures to the sink. The generator's main() lists them in one table.
#pragma once

#include "tools/datagen/picture.h"

namespace datagen {

void drawLoadingPictures(PictureSink& sink);
void drawOpeningPictures(PictureSink& sink);
void drawSecondPictures(PictureSink& sink);
void drawCablesPictures(PictureSink& sink);
void drawCreditsPictures(PictureSink& sink);
void drawDominoPictures(PictureSink& sink);
void drawKochPictures(PictureSink& sink);
void drawTreePictures(PictureSink& sink);
void drawEndPictures(PictureSink& sink);

// The music track: 16-bit stereo samples at 44100 Hz, 250 seconds and a little more.
std::vector<int16_t> synthesiseMusic();
constexpr int kMusicRate = 44100;

} // namespace datagen
