// Entry point of the gfx device in the Windows build: the real Direct3D 8 (for a window and
// for off-screen runs, which use a hidden window) or Null. There is no OpenGL here, so the
// GL backends are served by Direct3D 8. Keeps the last creation error.
#include "platform/gfx/d3d8_device.h"
#include "platform/gfx/device_base.h"

namespace gfx {

namespace {
std::string& lastErrorText() {
    static std::string text;
    return text;
}
} // namespace

namespace detail {
void setLastError(std::string text) {
    lastErrorText() = std::move(text);
}
} // namespace detail

std::unique_ptr<Direct3D> createDirect3D(uint32_t sdkVersion, Backend backend) {
    lastErrorText().clear();
    if (sdkVersion != gfx::D3D_SDK_VERSION) {
        lastErrorText() = "wrong SDK version " + std::to_string(sdkVersion) + " (expected " +
                          std::to_string(gfx::D3D_SDK_VERSION) + ")";
        return nullptr;
    }
    switch (backend) {
    case Backend::Null:
        return detail::createNullDirect3D();
    case Backend::Direct3D8:
    case Backend::GlWindow:
    case Backend::GlHeadless:
        return detail::createD3d8Direct3D();
    }
    lastErrorText() = "unknown backend";
    return nullptr;
}

const std::string& lastError() {
    return lastErrorText();
}

} // namespace gfx
