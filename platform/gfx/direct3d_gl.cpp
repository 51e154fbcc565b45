// The Linux build's device: OpenGL, on a window or headless. Direct3D 8 exists only in the
// Windows build.
#include "platform/gfx/device_base.h"

namespace gfx::detail {

std::unique_ptr<Direct3D> createPlatformDirect3D(Backend backend) {
    if (backend == Backend::Direct3D8) {
        setLastError("Direct3D 8 exists only in the Windows build");
        return nullptr;
    }
    return createGlDirect3D(backend == Backend::GlHeadless);
}

} // namespace gfx::detail
