// Back-buffer locking for the frame buffer's software path.
#include "app/demo_app.h"
#include "app/frame_buffer.h"

int lockBackBuffer(gfx::Device*, gfx::Surface**, void**, int32_t*) {
    return 1;
}

void unlockBackBuffer(gfx::Surface*) {}

int copySoftwarePixelsToBackBuffer(DemoApp*) {
    return 1;
}
