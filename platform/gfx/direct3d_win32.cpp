// The Windows build's device: the real Direct3D 8, for a window and for off-screen runs (which
// use a hidden window). There is no OpenGL here, so the GL backends are served by it too.
#include "platform/gfx/d3d8_device.h"
#include "platform/gfx/device_base.h"

namespace gfx::detail {

std::unique_ptr<Direct3D> createPlatformDirect3D(Backend) {
    return createD3d8Direct3D();
}

} // namespace gfx::detail
