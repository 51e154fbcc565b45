// An OpenGL 3.3 core context: on an SDL window, or headless through EGL (no display, no X
// server) on Mesa's surfaceless platform or, where that is missing, the EGL device platform. Shared
// by the device and every GL object it made, so the context outlives whatever still has names in
// it. Loads no entry points itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct SDL_Window;

namespace gfx::detail {

class GlContext {
public:
    // Null with *error set when no 3.3 core context can be made.
    static std::shared_ptr<GlContext> createHeadless(std::string* error);
    static std::shared_ptr<GlContext> createForWindow(SDL_Window* window, std::string* error);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    // Makes this context current on the calling thread when it is not already.
    void bind();
    SDL_Window* window() const { return window_; }
    void setSwapInterval(int interval);
    void swapBuffers();
    void drawableSize(int* width, int* height);
    int maxTextureSize() const { return maxTextureSize_; }
    // The EGL platform of a headless context: "surfaceless" or "device"; "" on a window.
    const char* eglPlatform() const { return eglPlatform_; }
    // Counts textures that moved to another GL name, so that the device binds them again.
    void noteTextureRenamed() { ++textureRenames_; }
    uint64_t textureRenames() const { return textureRenames_; }

private:
    GlContext() = default;
    bool finish(std::string* error); // checks the version, reads limits

    SDL_Window* window_ = nullptr;
    void* sdlContext_ = nullptr;
    void* eglDisplay_ = nullptr;
    void* eglContext_ = nullptr;
    int maxTextureSize_ = 0;
    const char* eglPlatform_ = "";
    uint64_t textureRenames_ = 0;
};

} // namespace gfx::detail
