// Entry point of the gfx device: checks the SDK version, picks the Null device or the build's
// own (OpenGL on Linux, Direct3D 8 on Windows) and keeps the last creation error. Holds no
// device state of its own.
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
    if (sdkVersion != D3D_SDK_VERSION) {
        lastErrorText() = "wrong SDK version " + std::to_string(sdkVersion) + " (expected " +
                          std::to_string(D3D_SDK_VERSION) + ")";
        return nullptr;
    }
    switch (backend) {
    case Backend::Null:
        return detail::createNullDirect3D();
    case Backend::GlWindow:
    case Backend::GlHeadless:
    case Backend::Direct3D8:
        return detail::createPlatformDirect3D(backend);
    }
    lastErrorText() = "unknown backend";
    return nullptr;
}

const std::string& lastError() {
    return lastErrorText();
}

} // namespace gfx
