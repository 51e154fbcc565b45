// Which shipped face file serves a system face name: the one mapping both glyph back ends use.
#include "platform/glyphs.h"

#include <cstring>

namespace platform {

const char* faceFileFor(const char* faceName, bool bold) {
    for (const char* mono : {"Terminal", "Courier", "Courier New", "Fixedsys"}) {
        if (faceName != nullptr && std::strcmp(faceName, mono) == 0) {
            return "data/fonts/DejaVuSansMono.ttf";
        }
    }
    return bold ? "data/fonts/DejaVuSans-Bold.ttf" : "data/fonts/DejaVuSans.ttf";
}

} // namespace platform
