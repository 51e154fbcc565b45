// The Second part's pictures: the caustics atlas, the spike texture and the face video.
#include "tools/datagen/groups.h"

namespace datagen {

void drawSecondPictures(PictureSink& /*sink*/) {}

} // namespace datagen
