#include "platform/gfx/gl_resources.h"

namespace gfx::detail {

bool glFormatFor(Format f, GlFormat* out) {
    switch (f) {
    case D3DFMT_A8R8G8B8:
        *out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, false, false};
        return true;
    case D3DFMT_X8R8G8B8:
        *out = {GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE, false, false};
        return true;
    case D3DFMT_R8G8B8:
        *out = {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, false, false};
        return true;
    case D3DFMT_R5G6B5:
        *out = {GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, false, false};
        return true;
    case D3DFMT_X1R5G5B5:
        *out = {GL_RGB8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, false, false};
        return true;
    case D3DFMT_A1R5G5B5:
        *out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, false, false};
        return true;
    case D3DFMT_A4R4G4B4:
        *out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, false, false};
        return true;
    case D3DFMT_A8:
        *out = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, true, false};
        return true;
    case D3DFMT_L8:
        *out = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, false, true};
        return true;
    default:
        return false;
    }
}

} // namespace gfx::detail
