// OpenGL 3.3 core contexts through SDL (window) or EGL surfaceless (headless). A context that
// cannot be made leaves one line saying why, with the GL version found when there was one.
#include "platform/gfx/gl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glcorearb.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace gfx::detail {

namespace {

thread_local GlContext* currentContext = nullptr;

// A software rasteriser allocates its binned scene every frame and frees it when the frame
// is drawn; with the allocator's default thresholds the freed top of the heap goes back to
// the system and comes back through page faults on the next frame (a sixth of the time of
// a heavy scene). Keep freed memory in the process: peak use is unchanged.
void keepFreedMemory() {
#ifdef __GLIBC__
    static const bool done = [] {
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
        mallopt(M_MMAP_THRESHOLD, 16 << 20);
        return true;
    }();
    (void)done;
#endif
}

std::string versionString() {
    const auto* v = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return v != nullptr ? v : "unknown";
}

bool hasExtension(const char* list, const char* name) {
    if (list == nullptr) {
        return false;
    }
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) {
            return true;
        }
    }
    return false;
}

} // namespace

bool GlContext::finish(std::string* error) {
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major < 3 || (major == 3 && minor < 3)) {
        *error = "OpenGL 3.3 core needed, found " + versionString();
        return false;
    }
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
    keepFreedMemory();
    return true;
}

namespace {

// An initialised display on Mesa's surfaceless platform, or EGL_NO_DISPLAY.
EGLDisplay surfacelessDisplay(const char* clientExtensions, std::string* why) {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr ||
        !hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        *why = "no surfaceless platform (EGL_MESA_platform_surfaceless)";
        return EGL_NO_DISPLAY;
    }
    EGLDisplay display =
        getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%04X", unsigned(eglGetError()));
        *why = std::string("cannot initialise the surfaceless display (error ") + code + ")";
        return EGL_NO_DISPLAY;
    }
    return display;
}

// An initialised display on the first device of the EGL device platform (the way other
// vendors' drivers run without a window system), or EGL_NO_DISPLAY.
EGLDisplay deviceDisplay(const char* clientExtensions, std::string* why) {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (getPlatformDisplay == nullptr || queryDevices == nullptr ||
        !hasExtension(clientExtensions, "EGL_EXT_platform_device")) {
        *why = "no device platform (EGL_EXT_platform_device)";
        return EGL_NO_DISPLAY;
    }
    constexpr EGLint kMaxDevices = 16;
    EGLDeviceEXT devices[kMaxDevices];
    EGLint count = 0;
    if (!queryDevices(kMaxDevices, devices, &count) || count <= 0) {
        *why = "the device platform lists no device";
        return EGL_NO_DISPLAY;
    }
    for (EGLint i = 0; i < count; ++i) {
        EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) {
            return display;
        }
    }
    *why = "no device of the device platform initialises";
    return EGL_NO_DISPLAY;
}

} // namespace

std::shared_ptr<GlContext> GlContext::createHeadless(std::string* error) {
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    // Mesa's surfaceless platform first; the device platform where it is missing (or first,
    // with DEMO_EGL_PLATFORM=device).
    const char* forced = std::getenv("DEMO_EGL_PLATFORM");
    const bool deviceFirst = forced != nullptr && std::strcmp(forced, "device") == 0;
    std::string surfacelessWhy, deviceWhy;
    bool onDevice = deviceFirst;
    EGLDisplay display = deviceFirst ? deviceDisplay(clientExtensions, &deviceWhy)
                                     : surfacelessDisplay(clientExtensions, &surfacelessWhy);
    if (display == EGL_NO_DISPLAY) {
        onDevice = !deviceFirst;
        display = deviceFirst ? surfacelessDisplay(clientExtensions, &surfacelessWhy)
                              : deviceDisplay(clientExtensions, &deviceWhy);
    }
    if (display == EGL_NO_DISPLAY) {
        *error = "EGL: " + surfacelessWhy + "; " + deviceWhy;
        return nullptr;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *error = "EGL: desktop OpenGL is not available";
        return nullptr;
    }
    const EGLint attribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                              3,
                              EGL_CONTEXT_MINOR_VERSION,
                              3,
                              EGL_CONTEXT_OPENGL_PROFILE_MASK,
                              EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                              EGL_NONE};
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attribs);
    if (context == EGL_NO_CONTEXT) {
        // Say what the platform does offer.
        std::string found = "none";
        EGLContext any = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, nullptr);
        if (any != EGL_NO_CONTEXT) {
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, any);
            found = versionString();
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroyContext(display, any);
        }
        *error = "EGL: cannot create an OpenGL 3.3 core context (found: " + found + ")";
        return nullptr;
    }
    std::shared_ptr<GlContext> c(new GlContext());
    c->eglDisplay_ = display;
    c->eglContext_ = context;
    c->eglPlatform_ = onDevice ? "device" : "surfaceless";
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        *error = "EGL: cannot make the context current without a surface";
        return nullptr;
    }
    currentContext = c.get();
    if (!c->finish(error)) {
        return nullptr;
    }
    return c;
}

std::shared_ptr<GlContext> GlContext::createForWindow(SDL_Window* window, std::string* error) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
        std::string reason = SDL_GetError();
        std::string found = "none";
        SDL_GL_ResetAttributes();
        SDL_GLContext any = SDL_GL_CreateContext(window);
        if (any != nullptr) {
            found = versionString();
            SDL_GL_DeleteContext(any);
        }
        *error =
            "SDL: cannot create an OpenGL 3.3 core context (" + reason + "; found: " + found + ")";
        return nullptr;
    }
    std::shared_ptr<GlContext> c(new GlContext());
    c->window_ = window;
    c->sdlContext_ = context;
    currentContext = c.get();
    if (!c->finish(error)) {
        return nullptr;
    }
    return c;
}

GlContext::~GlContext() {
    if (currentContext == this) {
        currentContext = nullptr;
    }
    if (sdlContext_ != nullptr) {
        // NOTE: the window may be gone already; deleting the context does not need it.
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(sdlContext_));
    }
    if (eglContext_ != nullptr) {
        eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(eglDisplay_, eglContext_);
        // NOTE: the display is not terminated: EGL displays are shared process-wide.
    }
}

void GlContext::bind() {
    if (currentContext == this) {
        return;
    }
    if (sdlContext_ != nullptr) {
        SDL_GL_MakeCurrent(window_, static_cast<SDL_GLContext>(sdlContext_));
    } else {
        eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, eglContext_);
    }
    currentContext = this;
}

void GlContext::setSwapInterval(int interval) {
    if (window_ != nullptr) {
        bind();
        SDL_GL_SetSwapInterval(interval);
    }
}

void GlContext::swapBuffers() {
    if (window_ != nullptr) {
        SDL_GL_SwapWindow(window_);
    }
}

void GlContext::drawableSize(int* width, int* height) {
    *width = *height = 0;
    if (window_ != nullptr) {
        SDL_GL_GetDrawableSize(window_, width, height);
    }
}

} // namespace gfx::detail
