// OpenGL 3.3 core implementation of the gfx device. The back buffer is an offscreen
// framebuffer; present scales it into the window with its aspect kept. Fixed-function state
// becomes cached GLSL programs (gl_program) plus GL state applied only where it changed.
// Surfaces keep the top row first: clip-space y is flipped so row 0 is the picture's top.
#include "platform/gfx/gl_context.h"
#include "platform/gfx/gl_program.h"
#include "platform/window.h"

#include <GL/glcorearb.h>
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace gfx::detail {

namespace {

constexpr uint32_t kStreamBufferBytes = 4u << 20; // client-memory draws stream through this
constexpr uint32_t kMaxBufferBytes = 256u << 20;  // no buffer of the demo comes close

// GL upload formats for our Direct3D formats (rows as Direct3D lays them out in memory).
struct GlFormat {
    GLint internal;
    GLenum format, type;
    bool alphaOnly, luminance;
};

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

// Texture unit used for uploads, so uploads never disturb the stages' bindings.
constexpr GLenum kUploadUnit = GL_TEXTURE0 + 7;

class GlTexture final : public TextureBase {
public:
    GlTexture(const void* owner, std::shared_ptr<GlContext> ctx, uint32_t width, uint32_t height,
              uint32_t levels, uint32_t usage, Format format, uint32_t pool, const GlFormat& gl)
        : TextureBase(owner, width, height, levels, usage, format, pool), ctx_(std::move(ctx)),
          gl_(gl), uploaded_(levels, false) {
        ctx_->bind();
        glGenTextures(1, &name_);
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, name_);
        for (uint32_t i = 0; i < levels; ++i) {
            glTexImage2D(GL_TEXTURE_2D, GLint(i), gl.internal, GLsizei(this->width(i)),
                         GLsizei(this->height(i)), 0, gl.format, gl.type, nullptr);
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
        if (gl.alphaOnly) {
            const GLint swizzle[4] = {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED};
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
        } else if (gl.luminance) {
            const GLint swizzle[4] = {GL_RED, GL_RED, GL_RED, GL_ONE};
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
        }
    }
    ~GlTexture() override {
        ctx_->bind();
        glDeleteTextures(1, &name_);
    }
    GLuint name() const { return name_; }
    // Marks a level as holding rendered pixels (locks then read them back).
    void markRendered(uint32_t level) { uploaded_[level] = true; }

protected:
    void fetch(uint32_t level, Level& l) override {
        if (!uploaded_[level]) {
            return;
        }
        ctx_->bind();
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, name_);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, GLint(level), gl_.format, gl_.type, l.bytes.data());
    }
    void commit(uint32_t level, Level& l, uint32_t top, uint32_t bottom) override {
        ctx_->bind();
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, name_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexSubImage2D(GL_TEXTURE_2D, GLint(level), 0, GLint(top), GLsizei(l.width),
                        GLsizei(bottom - top), gl_.format, gl_.type,
                        l.bytes.data() + size_t(top) * l.pitch);
        uploaded_[level] = true;
    }
    // Static textures drop their main-memory copy after upload; dynamic ones are rewritten
    // every frame and keep it.
    bool keepsMemory() const override { return (usage() & D3DUSAGE_DYNAMIC) != 0; }

private:
    std::shared_ptr<GlContext> ctx_;
    GlFormat gl_;
    GLuint name_ = 0;
    std::vector<bool> uploaded_;
};

class GlDepthSurface final : public DepthSurfaceBase {
public:
    GlDepthSurface(const void* owner, std::shared_ptr<GlContext> ctx, uint32_t width,
                   uint32_t height, Format format)
        : DepthSurfaceBase(owner, width, height, format, false), ctx_(std::move(ctx)) {
        ctx_->bind();
        hasStencil_ = format == D3DFMT_D24S8 || format == D3DFMT_D15S1 || format == D3DFMT_D24X4S4;
        glGenRenderbuffers(1, &name_);
        glBindRenderbuffer(GL_RENDERBUFFER, name_);
        glRenderbufferStorage(GL_RENDERBUFFER,
                              hasStencil_ ? GL_DEPTH24_STENCIL8
                              : format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE
                                  ? GL_DEPTH_COMPONENT16
                                  : GL_DEPTH_COMPONENT24,
                              GLsizei(width), GLsizei(height));
    }
    ~GlDepthSurface() override {
        ctx_->bind();
        glDeleteRenderbuffers(1, &name_);
    }
    GLuint name() const { return name_; }
    bool hasStencil() const { return hasStencil_; }

private:
    std::shared_ptr<GlContext> ctx_;
    GLuint name_ = 0;
    bool hasStencil_ = false;
};

// A GL buffer mirroring the main-memory bytes; unlock uploads the locked range.
class GlBufferObject {
public:
    explicit GlBufferObject(std::shared_ptr<GlContext> ctx, uint32_t size, bool dynamic)
        : ctx_(std::move(ctx)), usage_(dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW) {
        ctx_->bind();
        glGenBuffers(1, &name_);
        glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
        glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(size), nullptr, usage_);
    }
    ~GlBufferObject() {
        ctx_->bind();
        glDeleteBuffers(1, &name_);
    }
    GlBufferObject(const GlBufferObject&) = delete;
    GlBufferObject& operator=(const GlBufferObject&) = delete;
    void upload(const std::vector<uint8_t>& bytes, uint32_t offset, uint32_t size, bool discard) {
        ctx_->bind();
        glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
        if (discard || (offset == 0 && size == bytes.size())) {
            // Whole contents: a fresh store, so the GPU never waits for draws still reading.
            glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(bytes.size()), bytes.data(), usage_);
        } else {
            glBufferSubData(GL_COPY_WRITE_BUFFER, GLintptr(offset), GLsizeiptr(size),
                            bytes.data() + offset);
        }
    }
    GLuint name() const { return name_; }

private:
    std::shared_ptr<GlContext> ctx_;
    GLenum usage_;
    GLuint name_ = 0;
};

class GlVertexBuffer final : public VertexBufferBase {
public:
    GlVertexBuffer(const void* owner, std::shared_ptr<GlContext> ctx, uint32_t length,
                   uint32_t usage, uint32_t fvf, uint32_t pool)
        : VertexBufferBase(owner, length, usage, fvf, pool),
          gl_(std::move(ctx), length, (usage & D3DUSAGE_DYNAMIC) != 0) {}
    GLuint name() const { return gl_.name(); }

protected:
    void commit(uint32_t offset, uint32_t size, bool discard) override {
        gl_.upload(memory().bytes, offset, size, discard);
    }

private:
    GlBufferObject gl_;
};

class GlIndexBuffer final : public IndexBufferBase {
public:
    GlIndexBuffer(const void* owner, std::shared_ptr<GlContext> ctx, uint32_t length,
                  uint32_t usage, Format format, uint32_t pool)
        : IndexBufferBase(owner, length, usage, format, pool),
          gl_(std::move(ctx), length, (usage & D3DUSAGE_DYNAMIC) != 0) {}
    GLuint name() const { return gl_.name(); }

protected:
    void commit(uint32_t offset, uint32_t size, bool discard) override {
        gl_.upload(memory().bytes, offset, size, discard);
    }

private:
    GlBufferObject gl_;
};

GLenum primitiveMode(uint32_t type) {
    switch (type) {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

GLenum blendFactor(uint32_t b) {
    switch (b) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
        return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
        return GL_SRC_ALPHA_SATURATE;
    default:
        return GL_ONE;
    }
}

GLenum compareFunc(uint32_t c) {
    switch (c) {
    case D3DCMP_NEVER:
        return GL_NEVER;
    case D3DCMP_LESS:
        return GL_LESS;
    case D3DCMP_EQUAL:
        return GL_EQUAL;
    case D3DCMP_LESSEQUAL:
        return GL_LEQUAL;
    case D3DCMP_GREATER:
        return GL_GREATER;
    case D3DCMP_NOTEQUAL:
        return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL:
        return GL_GEQUAL;
    default:
        return GL_ALWAYS;
    }
}

GLenum stencilOp(uint32_t op) {
    switch (op) {
    case D3DSTENCILOP_ZERO:
        return GL_ZERO;
    case D3DSTENCILOP_REPLACE:
        return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT:
        return GL_INCR;
    case D3DSTENCILOP_DECRSAT:
        return GL_DECR;
    case D3DSTENCILOP_INVERT:
        return GL_INVERT;
    case D3DSTENCILOP_INCR:
        return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR:
        return GL_DECR_WRAP;
    default:
        return GL_KEEP;
    }
}

GLint addressMode(uint32_t a) {
    switch (a) {
    case D3DTADDRESS_MIRROR:
    case D3DTADDRESS_MIRRORONCE:
        return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
        return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
        return GL_CLAMP_TO_BORDER;
    default:
        return GL_REPEAT;
    }
}

// Sampler parameters of one stage.
struct SamplerKey {
    uint32_t mag, min, mip, u, v, maxMip, border;
    bool operator==(const SamplerKey& o) const { return std::memcmp(this, &o, sizeof(*this)) == 0; }
};
struct SamplerKeyHash {
    size_t operator()(const SamplerKey& k) const {
        uint64_t h = 1469598103934665603ull;
        for (uint32_t w : {k.mag, k.min, k.mip, k.u, k.v, k.maxMip, k.border}) {
            h = (h ^ w) * 1099511628211ull;
        }
        return size_t(h);
    }
};

struct Program {
    GLuint name = 0;
};

// GL state as last set, so unchanged state is not sent again. ~0 means unknown.
struct AppliedState {
    int blend = -1;
    GLenum blendSrc = ~0u, blendDst = ~0u, blendEq = ~0u;
    int depthTest = -1, depthWrite = -1;
    GLenum depthFunc = ~0u;
    int cull = -1;
    GLenum cullFace = ~0u;
    GLenum polygonMode = ~0u;
    uint32_t colourMask = ~0u;
    int stencil = -1;
    GLenum stencilFunc = ~0u, sFail = ~0u, sZFail = ~0u, sPass = ~0u;
    GLint stencilRef = -1;
    GLuint stencilMask = 0, stencilWriteMask = 0;
    bool stencilKnown = false;
    GLint vp[4] = {-1, -1, -1, -1};
    float depthRange[2] = {-1.0f, -1.0f};
    GLuint program = ~0u;
    GLuint texture[kGlStages] = {~0u, ~0u, ~0u, ~0u};
    GLuint sampler[kGlStages] = {~0u, ~0u, ~0u, ~0u};
    GLuint drawFramebuffer = ~0u;
    // Vertex input last described to the vertex array.
    GLuint arrayBuffer = ~0u, elementBuffer = ~0u;
    uint32_t fvf = ~0u, stride = ~0u;
    uintptr_t base = ~uintptr_t(0);
    float pointSize = -1.0f;
};

class GlDevice final : public DeviceBase {
public:
    GlDevice(std::shared_ptr<GlContext> ctx, const PresentParameters& p)
        : DeviceBase(p), ctx_(std::move(ctx)) {
        ctx_->bind();
        glGenVertexArrays(1, &vao_);
        glBindVertexArray(vao_);
        glGenFramebuffers(1, &fbo_);
        glGenFramebuffers(1, &readFbo_);
        glGenBuffers(1, &streamVertices_);
        glBindBuffer(GL_ARRAY_BUFFER, streamVertices_);
        glBufferData(GL_ARRAY_BUFFER, kStreamBufferBytes, nullptr, GL_STREAM_DRAW);
        glGenBuffers(1, &streamIndices_);
        glBindBuffer(GL_COPY_WRITE_BUFFER, streamIndices_);
        glBufferData(GL_COPY_WRITE_BUFFER, kStreamBufferBytes, nullptr, GL_STREAM_DRAW);
        glGenBuffers(1, &ubo_);
        glBindBuffer(GL_UNIFORM_BUFFER, ubo_);
        glBufferData(GL_UNIFORM_BUFFER, sizeof(Globals), nullptr, GL_DYNAMIC_DRAW);
        glBindBufferBase(GL_UNIFORM_BUFFER, 0, ubo_);
        glGenTextures(1, &white_);
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, white_);
        const uint32_t texel = 0xFFFFFFFFu;
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &texel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
        glFrontFace(GL_CCW);
        createBackBuffer();
        applySwapInterval();
    }

    ~GlDevice() override {
        ctx_->bind();
        // Bound objects go first (they hold GL names in this context too).
        state_ = DeviceState{};
        colourTarget_.reset();
        depthTarget_.reset();
        backBuffer_.reset();
        autoDepth_.reset();
        for (auto& [key, program] : programs_) {
            glDeleteProgram(program.name);
        }
        for (auto& [key, sampler] : samplers_) {
            glDeleteSamplers(1, &sampler);
        }
        for (GLsync& fence : frameFences_) {
            if (fence != nullptr) {
                glDeleteSync(fence);
            }
        }
        glDeleteTextures(1, &white_);
        glDeleteBuffers(1, &ubo_);
        glDeleteBuffers(1, &streamVertices_);
        glDeleteBuffers(1, &streamIndices_);
        glDeleteFramebuffers(1, &fbo_);
        glDeleteFramebuffers(1, &readFbo_);
        glDeleteVertexArrays(1, &vao_);
    }

    HRESULT reset(PresentParameters* p) override {
        if (p == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        ctx_->bind();
        params_ = *p;
        createBackBuffer();
        applySwapInterval();
        return D3D_OK;
    }

    HRESULT getDeviceCaps(Caps* caps) override {
        if (caps == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        fillCaps(caps, maxSide());
        return D3D_OK;
    }

    HRESULT getDisplayMode(DisplayMode* mode) override {
        if (mode == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *mode = {params_.BackBufferWidth, params_.BackBufferHeight, 60, D3DFMT_X8R8G8B8};
        SDL_DisplayMode dm;
        if (ctx_->window() != nullptr && SDL_GetDesktopDisplayMode(0, &dm) == 0) {
            *mode = {uint32_t(dm.w), uint32_t(dm.h), uint32_t(dm.refresh_rate), D3DFMT_X8R8G8B8};
        }
        return D3D_OK;
    }

    HRESULT clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t colour, float z,
                  uint32_t stencil) override {
        if ((count != 0 && rects == nullptr) || (flags & 7) == 0) {
            return D3DERR_INVALIDCALL;
        }
        if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0 && !depthTarget_) {
            return D3DERR_INVALIDCALL;
        }
        ctx_->bind();
        bindTarget();
        GLbitfield bits = 0;
        if (flags & D3DCLEAR_TARGET) {
            bits |= GL_COLOR_BUFFER_BIT;
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            applied_.colourMask = ~0u;
            glClearColor(float((colour >> 16) & 255) / 255.0f, float((colour >> 8) & 255) / 255.0f,
                         float(colour & 255) / 255.0f, float(colour >> 24) / 255.0f);
        }
        if (flags & D3DCLEAR_ZBUFFER) {
            bits |= GL_DEPTH_BUFFER_BIT;
            glDepthMask(GL_TRUE);
            applied_.depthWrite = -1;
            glClearDepth(std::clamp(double(z), 0.0, 1.0));
        }
        if (flags & D3DCLEAR_STENCIL) {
            bits |= GL_STENCIL_BUFFER_BIT;
            glStencilMask(0xFF);
            applied_.stencilKnown = false;
            glClearStencil(GLint(stencil & 0xFF));
        }
        const Viewport& vp = state_.viewport;
        const Rect view{int32_t(vp.X), int32_t(vp.Y), int32_t(vp.X + vp.Width),
                        int32_t(vp.Y + vp.Height)};
        glEnable(GL_SCISSOR_TEST);
        const uint32_t n = count == 0 ? 1 : count;
        for (uint32_t i = 0; i < n; ++i) {
            Rect r = view;
            if (count != 0) {
                r.left = std::max(r.left, rects[i].left);
                r.top = std::max(r.top, rects[i].top);
                r.right = std::min(r.right, rects[i].right);
                r.bottom = std::min(r.bottom, rects[i].bottom);
            }
            if (r.left >= r.right || r.top >= r.bottom) {
                continue;
            }
            glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
            glClear(bits);
        }
        glDisable(GL_SCISSOR_TEST);
        markTargetRendered();
        dirty_ |= kDirtyRenderState; // the write masks were opened for the clear
        return D3D_OK;
    }

    HRESULT present() override {
        ctx_->bind();
        if (ctx_->window() == nullptr) {
            limitFramesInFlight();
            return D3D_OK;
        }
        int dw = 0, dh = 0;
        ctx_->drawableSize(&dw, &dh);
        auto* colour = static_cast<LevelSurface*>(backBuffer_.get());
        auto* tex = static_cast<GlTexture*>(colour->texture());
        const int sw = int(tex->width()), sh = int(tex->height());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                               tex->name(), 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        applied_.drawFramebuffer = 0;
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        applied_.colourMask = ~0u;
        dirty_ |= kDirtyRenderState;
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        // Letterboxed into the size the drawable has now, whatever was asked for.
        const platform::Rect r = platform::letterbox(sw, sh, dw, dh);
        if (r.right > r.left && r.bottom > r.top) {
            // Row 0 is the picture's top; the window's GL origin is its bottom.
            glBlitFramebuffer(0, 0, sw, sh, r.left, dh - r.top, r.right, dh - r.bottom,
                              GL_COLOR_BUFFER_BIT, GL_LINEAR);
        }
        ctx_->swapBuffers();
        return D3D_OK;
    }

    HRESULT readBackBuffer(uint32_t* w, uint32_t* h, std::string* pixels) override {
        return readSurface(backBuffer_.get(), w, h, pixels);
    }

    HRESULT readSurface(Surface* surface, uint32_t* w, uint32_t* h, std::string* pixels) override {
        auto* s = dynamic_cast<LevelSurface*>(surface);
        if (s == nullptr || w == nullptr || h == nullptr || pixels == nullptr ||
            s->texture()->owner() != this) {
            return D3DERR_INVALIDCALL;
        }
        ctx_->bind();
        auto* tex = static_cast<GlTexture*>(s->texture());
        const uint32_t level = s->levelIndex();
        *w = tex->width(level);
        *h = tex->height(level);
        pixels->assign(size_t(*w) * *h * 4, '\0');
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, tex->name());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, GLint(level), GL_BGRA, GL_UNSIGNED_BYTE, pixels->data());
        if (tex->format() == D3DFMT_X8R8G8B8 || tex->format() == D3DFMT_R5G6B5 ||
            tex->format() == D3DFMT_X1R5G5B5 || tex->format() == D3DFMT_R8G8B8) {
            for (size_t i = 3; i < pixels->size(); i += 4) {
                (*pixels)[i] = char(0xFF);
            }
        }
        return D3D_OK;
    }

    HRESULT createTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                          Format format, uint32_t pool, Texture** texture) override {
        if (texture == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *texture = nullptr;
        GlFormat gl;
        HRESULT hr = checkTextureArgs(width, height, &levels, usage, format, pool, maxSide());
        if (hr != D3D_OK) {
            return hr;
        }
        if (!glFormatFor(format, &gl) ||
            ((usage & D3DUSAGE_RENDERTARGET) && (gl.alphaOnly || gl.luminance))) {
            return D3DERR_INVALIDCALL;
        }
        *texture = new GlTexture(this, ctx_, width, height, levels, usage, format, pool, gl);
        return D3D_OK;
    }

    HRESULT createVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                               VertexBuffer** buffer) override {
        if (buffer == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *buffer = nullptr;
        if (length == 0 || length > kMaxBufferBytes) {
            return D3DERR_INVALIDCALL;
        }
        *buffer = new GlVertexBuffer(this, ctx_, length, usage, fvf, pool);
        return D3D_OK;
    }

    HRESULT createIndexBuffer(uint32_t length, uint32_t usage, Format format, uint32_t pool,
                              IndexBuffer** buffer) override {
        if (buffer == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *buffer = nullptr;
        if (length == 0 || length > kMaxBufferBytes ||
            (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) {
            return D3DERR_INVALIDCALL;
        }
        *buffer = new GlIndexBuffer(this, ctx_, length, usage, format, pool);
        return D3D_OK;
    }

    HRESULT createDepthStencilSurface(uint32_t width, uint32_t height, Format format, uint32_t,
                                      Surface** surface) override {
        if (surface == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *surface = nullptr;
        if (width == 0 || height == 0 || width > maxSide() || height > maxSide() ||
            !isDepthFormat(format)) {
            return D3DERR_INVALIDCALL;
        }
        *surface = new GlDepthSurface(this, ctx_, width, height, format);
        return D3D_OK;
    }

protected:
    HRESULT drawArrays(uint32_t type, uint32_t first, uint32_t count) override {
        ctx_->bind();
        prepare(type);
        auto* vb = static_cast<GlVertexBuffer*>(state_.stream.get());
        describeVertices(vb->name(), 0, state_.stride);
        glDrawArrays(primitiveMode(type), GLint(first), GLsizei(count));
        markTargetRendered();
        return D3D_OK;
    }

    HRESULT drawIndexed(uint32_t type, uint32_t firstIndex, uint32_t count) override {
        ctx_->bind();
        prepare(type);
        auto* vb = static_cast<GlVertexBuffer*>(state_.stream.get());
        auto* ib = static_cast<GlIndexBuffer*>(state_.indices.get());
        describeVertices(vb->name(), 0, state_.stride);
        bindElements(ib->name());
        const uint32_t size = ib->indexSize();
        glDrawElementsBaseVertex(
            primitiveMode(type), GLsizei(count), size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
            reinterpret_cast<const void*>(uintptr_t(firstIndex) * size), GLint(state_.baseVertex));
        markTargetRendered();
        return D3D_OK;
    }

    HRESULT drawClient(uint32_t type, uint32_t count, const void* vertices, uint32_t vertexCount,
                       uint32_t stride, const void* indices, uint32_t indexSize) override {
        const uint64_t vertexBytes = uint64_t(vertexCount) * stride;
        const uint64_t indexBytes = indices != nullptr ? uint64_t(count) * indexSize : 0;
        if (vertexBytes > kStreamBufferBytes || indexBytes > kStreamBufferBytes) {
            return D3DERR_INVALIDCALL;
        }
        ctx_->bind();
        prepare(type);
        const uint32_t vOffset =
            stream(streamVertices_, &streamVerticesUsed_, vertices, uint32_t(vertexBytes), stride);
        describeVertices(streamVertices_, vOffset, stride);
        if (indices == nullptr) {
            glDrawArrays(primitiveMode(type), 0, GLsizei(count));
        } else {
            const uint32_t iOffset = stream(streamIndices_, &streamIndicesUsed_, indices,
                                            uint32_t(indexBytes), indexSize);
            bindElements(streamIndices_);
            glDrawElements(primitiveMode(type), GLsizei(count),
                           indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                           reinterpret_cast<const void*>(uintptr_t(iOffset)));
        }
        markTargetRendered();
        return D3D_OK;
    }

private:
    // Without a window nothing paces the frames: a software rasteriser would queue every
    // submitted frame with its binned geometry (hundreds of MiB in a heavy scene). Each
    // present waits until the frame before the previous one is done, as a swap chain would.
    void limitFramesInFlight() {
        GLsync& oldest = frameFences_[frameFenceNext_];
        if (oldest != nullptr) {
            glClientWaitSync(oldest, GL_SYNC_FLUSH_COMMANDS_BIT, GLuint64(10) * 1000000000u);
            glDeleteSync(oldest);
        }
        oldest = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        glFlush();
        frameFenceNext_ = (frameFenceNext_ + 1) % kFramesInFlight;
    }

    uint32_t maxSide() const {
        return std::min<uint32_t>(uint32_t(std::max(ctx_->maxTextureSize(), 1)), kMaxTextureSide);
    }

    void applySwapInterval() {
        const uint32_t interval = params_.FullScreen_PresentationInterval;
        ctx_->setSwapInterval(interval == D3DPRESENT_INTERVAL_IMMEDIATE                     ? 0
                              : params_.Windowed && interval == D3DPRESENT_INTERVAL_DEFAULT ? 0
                                                                                            : 1);
    }

    void createBackBuffer() {
        const uint32_t w = std::clamp(params_.BackBufferWidth, 1u, maxSide());
        const uint32_t h = std::clamp(params_.BackBufferHeight, 1u, maxSide());
        params_.BackBufferWidth = w;
        params_.BackBufferHeight = h;
        Format f = params_.BackBufferFormat;
        GlFormat gl;
        if (f == D3DFMT_UNKNOWN || isDepthFormat(f) || !glFormatFor(f, &gl) || gl.alphaOnly ||
            gl.luminance) {
            f = D3DFMT_X8R8G8B8;
            glFormatFor(f, &gl);
        }
        auto* colour =
            new GlTexture(this, ctx_, w, h, 1, D3DUSAGE_RENDERTARGET, f, D3DPOOL_DEFAULT, gl);
        colour->setLockable((params_.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0);
        Ref<Surface> surface(new LevelSurface(colour, 0));
        colour->release();
        Ref<Surface> depth;
        if (params_.EnableAutoDepthStencil) {
            const Format df = isDepthFormat(params_.AutoDepthStencilFormat)
                                  ? params_.AutoDepthStencilFormat
                                  : D3DFMT_D24S8;
            depth = Ref<Surface>(new GlDepthSurface(this, ctx_, w, h, df));
        }
        setBackBuffer(std::move(surface), std::move(depth));
        resetState();
        applied_ = AppliedState{};
    }

    void markTargetRendered() {
        auto* s = static_cast<LevelSurface*>(colourTarget_.get());
        static_cast<GlTexture*>(s->texture())->markRendered(s->levelIndex());
    }

    // Attaches the current colour and depth targets to the framebuffer when they changed.
    void bindTarget() {
        if (applied_.drawFramebuffer != fbo_) {
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo_);
            applied_.drawFramebuffer = fbo_;
        }
        if ((dirty_ & kDirtyTarget) == 0) {
            return;
        }
        auto* c = static_cast<LevelSurface*>(colourTarget_.get());
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                               static_cast<GlTexture*>(c->texture())->name(),
                               GLint(c->levelIndex()));
        auto* d = static_cast<GlDepthSurface*>(depthTarget_.get());
        const GLuint depthName = d != nullptr ? d->name() : 0;
        const bool stencil = d != nullptr && d->hasStencil();
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                  0);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER,
                                  stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                  GL_RENDERBUFFER, depthName);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        // Depth testing depends on whether there is a depth surface.
        dirty_ = (dirty_ & ~kDirtyTarget) | kDirtyViewport | kDirtyRenderState;
    }

    // Copies client data into a streaming buffer; returns its offset there.
    uint32_t stream(GLuint buffer, uint32_t* used, const void* data, uint32_t size,
                    uint32_t align) {
        uint32_t offset = (*used + align - 1) / align * align;
        glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
        if (uint64_t(offset) + size > kStreamBufferBytes) {
            // Full: a fresh store, so draws still reading the old one are not disturbed.
            glBufferData(GL_COPY_WRITE_BUFFER, kStreamBufferBytes, nullptr, GL_STREAM_DRAW);
            offset = 0;
        }
        glBufferSubData(GL_COPY_WRITE_BUFFER, GLintptr(offset), GLsizeiptr(size), data);
        *used = offset + size;
        if (buffer == streamVertices_) {
            applied_.base = ~uintptr_t(0); // same buffer, new offset: describe again
        }
        return offset;
    }

    void bindElements(GLuint buffer) {
        if (applied_.elementBuffer != buffer) {
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
            applied_.elementBuffer = buffer;
        }
    }

    // Points the vertex attributes at a buffer laid out in the current FVF.
    void describeVertices(GLuint buffer, uint32_t base, uint32_t stride) {
        const uint32_t fvf = state_.fvf;
        if (applied_.arrayBuffer == buffer && applied_.fvf == fvf && applied_.stride == stride &&
            applied_.base == base) {
            return;
        }
        applied_.arrayBuffer = buffer;
        applied_.fvf = fvf;
        applied_.stride = stride;
        applied_.base = base;
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        auto at = [&](uint32_t offset) {
            return reinterpret_cast<const void*>(uintptr_t(base) + offset);
        };
        uint32_t offset = 0;
        const uint32_t position = fvf & D3DFVF_POSITION_MASK;
        bool enabled[kAttribTexCoord0 + 8] = {};
        enabled[kAttribPosition] = true;
        if (position == D3DFVF_XYZRHW) {
            glVertexAttribPointer(kAttribPosition, 4, GL_FLOAT, GL_FALSE, GLsizei(stride), at(0));
            offset = 16;
        } else {
            glVertexAttribPointer(kAttribPosition, 3, GL_FLOAT, GL_FALSE, GLsizei(stride), at(0));
            offset = 12 + (position >= D3DFVF_XYZB1 ? 4 * ((position - D3DFVF_XYZ) / 2) : 0);
        }
        if (fvf & D3DFVF_NORMAL) {
            glVertexAttribPointer(kAttribNormal, 3, GL_FLOAT, GL_FALSE, GLsizei(stride),
                                  at(offset));
            enabled[kAttribNormal] = true;
            offset += 12;
        }
        if (fvf & D3DFVF_PSIZE) {
            offset += 4;
        }
        if (fvf & D3DFVF_DIFFUSE) {
            // Direct3D colours are B, G, R, A bytes in memory.
            glVertexAttribPointer(kAttribDiffuse, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE,
                                  GLsizei(stride), at(offset));
            enabled[kAttribDiffuse] = true;
            offset += 4;
        }
        if (fvf & D3DFVF_SPECULAR) {
            glVertexAttribPointer(kAttribSpecular, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE,
                                  GLsizei(stride), at(offset));
            enabled[kAttribSpecular] = true;
            offset += 4;
        }
        const uint32_t sets =
            std::min<uint32_t>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT, 8);
        for (uint32_t i = 0; i < sets; ++i) {
            static constexpr GLint kFloats[4] = {2, 3, 4, 1};
            const GLint n = kFloats[(fvf >> (16 + 2 * i)) & 3];
            glVertexAttribPointer(kAttribTexCoord0 + i, n, GL_FLOAT, GL_FALSE, GLsizei(stride),
                                  at(offset));
            enabled[kAttribTexCoord0 + i] = true;
            offset += 4 * uint32_t(n);
        }
        for (uint32_t i = 0; i < kAttribTexCoord0 + 8; ++i) {
            if (enabled[i] != attribEnabled_[i]) {
                if (enabled[i]) {
                    glEnableVertexAttribArray(i);
                } else {
                    glDisableVertexAttribArray(i);
                }
                attribEnabled_[i] = enabled[i];
            }
        }
    }

    GLuint compile(GLenum type, const std::string& source) {
        GLuint s = glCreateShader(type);
        const char* text = source.c_str();
        glShaderSource(s, 1, &text, nullptr);
        glCompileShader(s);
        GLint ok = 0;
        glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[2048] = {};
            glGetShaderInfoLog(s, sizeof(log) - 1, nullptr, log);
            SDL_Log("gfx: shader does not compile: %s\n%s", log, text);
        }
        return s;
    }

    GLuint programFor(const ProgramKey& key) {
        auto it = programs_.find(key);
        if (it != programs_.end()) {
            return it->second.name;
        }
        const ProgramSources src = generateProgram(key);
        GLuint p = glCreateProgram();
        GLuint vs = compile(GL_VERTEX_SHADER, src.vertex);
        GLuint fs = compile(GL_FRAGMENT_SHADER, src.fragment);
        GLuint gs = src.geometry.empty() ? 0 : compile(GL_GEOMETRY_SHADER, src.geometry);
        glAttachShader(p, vs);
        glAttachShader(p, fs);
        if (gs != 0) {
            glAttachShader(p, gs);
        }
        glLinkProgram(p);
        glDeleteShader(vs);
        glDeleteShader(fs);
        if (gs != 0) {
            glDeleteShader(gs);
        }
        GLint ok = 0;
        glGetProgramiv(p, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[2048] = {};
            glGetProgramInfoLog(p, sizeof(log) - 1, nullptr, log);
            SDL_Log("gfx: program does not link: %s", log);
        }
        const GLuint block = glGetUniformBlockIndex(p, "Globals");
        if (block != GL_INVALID_INDEX) {
            glUniformBlockBinding(p, block, 0);
        }
        glUseProgram(p);
        applied_.program = p;
        for (uint32_t i = 0; i < kGlStages; ++i) {
            const GLint loc = glGetUniformLocation(p, ("uTexture" + std::to_string(i)).c_str());
            if (loc >= 0) {
                glUniform1i(loc, GLint(i));
            }
        }
        programs_.emplace(key, Program{p});
        ++programsBuilt_;
        return p;
    }

    GLuint samplerFor(const std::array<uint32_t, kStageStateCount>& t) {
        const SamplerKey key{t[D3DTSS_MAGFILTER],  t[D3DTSS_MINFILTER], t[D3DTSS_MIPFILTER],
                             t[D3DTSS_ADDRESSU],   t[D3DTSS_ADDRESSV],  t[D3DTSS_MAXMIPLEVEL],
                             t[D3DTSS_BORDERCOLOR]};
        auto it = samplers_.find(key);
        if (it != samplers_.end()) {
            return it->second;
        }
        GLuint s = 0;
        glGenSamplers(1, &s);
        const bool linearMin = key.min >= D3DTEXF_LINEAR;
        GLint min = linearMin ? GL_LINEAR : GL_NEAREST;
        if (key.mip == D3DTEXF_POINT) {
            min = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        } else if (key.mip >= D3DTEXF_LINEAR) {
            min = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        }
        glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, min);
        glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER,
                            key.mag >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(s, GL_TEXTURE_WRAP_S, addressMode(key.u));
        glSamplerParameteri(s, GL_TEXTURE_WRAP_T, addressMode(key.v));
        glSamplerParameterf(s, GL_TEXTURE_MIN_LOD, float(std::min(key.maxMip, 16u)));
        const float border[4] = {
            float((key.border >> 16) & 255) / 255.0f, float((key.border >> 8) & 255) / 255.0f,
            float(key.border & 255) / 255.0f, float(key.border >> 24) / 255.0f};
        glSamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, border);
        samplers_.emplace(key, s);
        return s;
    }

    // Brings GL up to the device state for a draw of the given primitive type.
    void prepare(uint32_t type) {
        bindTarget();
        // GL names are reused after deletion: a changed binding is always sent again.
        if (dirty_ & kDirtyVertexInput) {
            applied_.arrayBuffer = applied_.elementBuffer = ~0u;
        }
        if (dirty_ & kDirtyTextures) {
            std::fill(std::begin(applied_.texture), std::end(applied_.texture), ~0u);
        }
        const auto& rs = state_.rs;
        const bool triangles = type >= D3DPT_TRIANGLELIST;

        const ProgramKey key = makeProgramKey(state_, triangles);
        if (!(key == lastKey_) || lastProgram_ == 0) {
            lastKey_ = key;
            lastProgram_ = programFor(key);
        }
        if (applied_.program != lastProgram_) {
            glUseProgram(lastProgram_);
            applied_.program = lastProgram_;
        }

        if (dirty_ & (kDirtyTransforms | kDirtyLights | kDirtyMaterial | kDirtyRenderState |
                      kDirtyViewport | kDirtyTarget)) {
            Globals g;
            fillGlobals(state_, &g);
            if (std::memcmp(&g, &globals_, sizeof(g)) != 0 || !globalsValid_) {
                globals_ = g;
                globalsValid_ = true;
                glBindBuffer(GL_UNIFORM_BUFFER, ubo_);
                glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(Globals), &globals_);
            }
        }

        const Viewport& vp = state_.viewport;
        const GLint v[4] = {GLint(vp.X), GLint(vp.Y), GLint(vp.Width), GLint(vp.Height)};
        if (std::memcmp(v, applied_.vp, sizeof(v)) != 0) {
            glViewport(v[0], v[1], v[2], v[3]);
            std::memcpy(applied_.vp, v, sizeof(v));
        }
        if (applied_.depthRange[0] != vp.MinZ || applied_.depthRange[1] != vp.MaxZ) {
            glDepthRange(vp.MinZ, vp.MaxZ);
            applied_.depthRange[0] = vp.MinZ;
            applied_.depthRange[1] = vp.MaxZ;
        }

        if (dirty_ & (kDirtyRenderState | kDirtyTarget)) {
            applyRenderStates(rs);
        }
        if (dirty_ & (kDirtyTextures | kDirtyStageState)) {
            for (uint32_t i = 0; i < kGlStages; ++i) {
                if (state_.tss[i][D3DTSS_COLOROP] == D3DTOP_DISABLE) {
                    break;
                }
                auto* tex = static_cast<GlTexture*>(state_.textures[i].get());
                const GLuint name = tex != nullptr ? tex->name() : white_;
                if (applied_.texture[i] != name) {
                    glActiveTexture(GL_TEXTURE0 + i);
                    glBindTexture(GL_TEXTURE_2D, name);
                    applied_.texture[i] = name;
                }
                const GLuint sampler = samplerFor(state_.tss[i]);
                if (applied_.sampler[i] != sampler) {
                    glBindSampler(i, sampler);
                    applied_.sampler[i] = sampler;
                }
            }
        }
        dirty_ = 0;
    }

    void applyRenderStates(const std::array<uint32_t, kRenderStateCount>& rs) {
        const int blend = rs[D3DRS_ALPHABLENDENABLE] ? 1 : 0;
        if (blend != applied_.blend) {
            blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
            applied_.blend = blend;
        }
        if (blend) {
            GLenum src = blendFactor(rs[D3DRS_SRCBLEND]), dst = blendFactor(rs[D3DRS_DESTBLEND]);
            if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) {
                src = GL_SRC_ALPHA;
                dst = GL_ONE_MINUS_SRC_ALPHA;
            } else if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) {
                src = GL_ONE_MINUS_SRC_ALPHA;
                dst = GL_SRC_ALPHA;
            }
            if (src != applied_.blendSrc || dst != applied_.blendDst) {
                glBlendFunc(src, dst);
                applied_.blendSrc = src;
                applied_.blendDst = dst;
            }
            GLenum eq = GL_FUNC_ADD;
            switch (rs[D3DRS_BLENDOP]) {
            case D3DBLENDOP_SUBTRACT:
                eq = GL_FUNC_SUBTRACT;
                break;
            case D3DBLENDOP_REVSUBTRACT:
                eq = GL_FUNC_REVERSE_SUBTRACT;
                break;
            case D3DBLENDOP_MIN:
                eq = GL_MIN;
                break;
            case D3DBLENDOP_MAX:
                eq = GL_MAX;
                break;
            default:
                break;
            }
            if (eq != applied_.blendEq) {
                glBlendEquation(eq);
                applied_.blendEq = eq;
            }
        }
        // w-buffering is done as z-buffering.
        const int depthTest = rs[D3DRS_ZENABLE] != D3DZB_FALSE && depthTarget_ ? 1 : 0;
        if (depthTest != applied_.depthTest) {
            depthTest ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
            applied_.depthTest = depthTest;
        }
        const GLenum depthFunc = compareFunc(rs[D3DRS_ZFUNC]);
        if (depthFunc != applied_.depthFunc) {
            glDepthFunc(depthFunc);
            applied_.depthFunc = depthFunc;
        }
        const int depthWrite = rs[D3DRS_ZWRITEENABLE] ? 1 : 0;
        if (depthWrite != applied_.depthWrite) {
            glDepthMask(depthWrite ? GL_TRUE : GL_FALSE);
            applied_.depthWrite = depthWrite;
        }
        // Row 0 is the top, so GL's window coordinates run as Direct3D's screen: a triangle
        // clockwise on screen has positive area, which GL (front face CCW) calls front.
        const uint32_t cull = rs[D3DRS_CULLMODE];
        const int cullOn = cull == D3DCULL_CW || cull == D3DCULL_CCW ? 1 : 0;
        if (cullOn != applied_.cull) {
            cullOn ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
            applied_.cull = cullOn;
        }
        if (cullOn) {
            const GLenum face = cull == D3DCULL_CW ? GL_FRONT : GL_BACK;
            if (face != applied_.cullFace) {
                glCullFace(face);
                applied_.cullFace = face;
            }
        }
        const GLenum mode = rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                            : rs[D3DRS_FILLMODE] == D3DFILL_POINT   ? GL_POINT
                                                                    : GL_FILL;
        if (mode != applied_.polygonMode) {
            glPolygonMode(GL_FRONT_AND_BACK, mode);
            applied_.polygonMode = mode;
        }
        const uint32_t mask = rs[D3DRS_COLORWRITEENABLE] & 0xF;
        if (mask != applied_.colourMask) {
            glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE,
                        mask & 4 ? GL_TRUE : GL_FALSE, mask & 8 ? GL_TRUE : GL_FALSE);
            applied_.colourMask = mask;
        }
        const int stencil = rs[D3DRS_STENCILENABLE] ? 1 : 0;
        if (stencil != applied_.stencil) {
            stencil ? glEnable(GL_STENCIL_TEST) : glDisable(GL_STENCIL_TEST);
            applied_.stencil = stencil;
        }
        if (stencil) {
            const GLenum func = compareFunc(rs[D3DRS_STENCILFUNC]);
            const GLint ref = GLint(rs[D3DRS_STENCILREF] & 0xFF);
            const GLuint smask = rs[D3DRS_STENCILMASK], wmask = rs[D3DRS_STENCILWRITEMASK];
            const GLenum f = stencilOp(rs[D3DRS_STENCILFAIL]);
            const GLenum zf = stencilOp(rs[D3DRS_STENCILZFAIL]);
            const GLenum p = stencilOp(rs[D3DRS_STENCILPASS]);
            if (!applied_.stencilKnown || func != applied_.stencilFunc ||
                ref != applied_.stencilRef || smask != applied_.stencilMask ||
                wmask != applied_.stencilWriteMask || f != applied_.sFail ||
                zf != applied_.sZFail || p != applied_.sPass) {
                glStencilFunc(func, ref, smask);
                glStencilMask(wmask);
                glStencilOp(f, zf, p);
                applied_.stencilKnown = true;
                applied_.stencilFunc = func;
                applied_.stencilRef = ref;
                applied_.stencilMask = smask;
                applied_.stencilWriteMask = wmask;
                applied_.sFail = f;
                applied_.sZFail = zf;
                applied_.sPass = p;
            }
        }
        float pointSize;
        std::memcpy(&pointSize, &rs[D3DRS_POINTSIZE], 4);
        pointSize = std::clamp(pointSize, 1.0f, 64.0f);
        if (pointSize != applied_.pointSize) {
            glPointSize(pointSize);
            applied_.pointSize = pointSize;
        }
    }

public:
    static void fillCaps(Caps* caps, uint32_t maxSide) {
        *caps = Caps{};
        caps->DeviceType = D3DDEVTYPE_HAL;
        caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
        caps->RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WBUFFER |
                           D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG;
        caps->MaxTextureWidth = caps->MaxTextureHeight = maxSide;
        caps->MaxActiveLights = kGlLights;
        caps->MaxTextureBlendStages = caps->MaxSimultaneousTextures = kGlStages;
        caps->MaxPrimitiveCount = 0xFFFFF;
        caps->MaxVertexIndex = 0xFFFFFF;
        caps->PrimitiveMiscCaps =
            D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
        caps->TextureCaps =
            D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
        caps->MaxStreams = 1;
    }

    uint32_t programsBuilt() const { return programsBuilt_; }

private:
    std::shared_ptr<GlContext> ctx_;
    GLuint vao_ = 0, fbo_ = 0, readFbo_ = 0, ubo_ = 0, white_ = 0;
    GLuint streamVertices_ = 0, streamIndices_ = 0;
    uint32_t streamVerticesUsed_ = 0, streamIndicesUsed_ = 0;
    std::unordered_map<ProgramKey, Program, ProgramKeyHash> programs_;
    std::unordered_map<SamplerKey, GLuint, SamplerKeyHash> samplers_;
    ProgramKey lastKey_;
    GLuint lastProgram_ = 0;
    Globals globals_{};
    bool globalsValid_ = false;
    AppliedState applied_;
    bool attribEnabled_[kAttribTexCoord0 + 8] = {};
    uint32_t programsBuilt_ = 0;
    static constexpr size_t kFramesInFlight = 2;
    GLsync frameFences_[kFramesInFlight] = {};
    size_t frameFenceNext_ = 0;
};

class GlDirect3D final : public Direct3D {
public:
    GlDirect3D(bool headless, std::shared_ptr<GlContext> probe)
        : headless_(headless), probe_(std::move(probe)) {}

    HRESULT getAdapterDisplayMode(uint32_t adapter, DisplayMode* mode) override {
        if (adapter != 0 || mode == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *mode = {800, 600, 60, D3DFMT_X8R8G8B8};
        SDL_DisplayMode dm;
        if (!headless_ && SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &dm) == 0) {
            *mode = {uint32_t(dm.w), uint32_t(dm.h), uint32_t(dm.refresh_rate), D3DFMT_X8R8G8B8};
        }
        return D3D_OK;
    }

    HRESULT getDeviceCaps(uint32_t adapter, uint32_t, Caps* caps) override {
        if (adapter != 0 || caps == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        // Without a context yet, the smallest maximum any 3.3 implementation offers... until
        // the device is made; llvmpipe and every current GPU offer far more.
        const uint32_t side =
            probe_ ? uint32_t(std::min<int>(probe_->maxTextureSize(), int(kMaxTextureSide)))
                   : 4096u;
        GlDevice::fillCaps(caps, side);
        return D3D_OK;
    }

    HRESULT createDevice(uint32_t adapter, uint32_t, platform::Window* focusWindow, uint32_t,
                         PresentParameters* p, Device** device) override {
        if (adapter != 0 || p == nullptr || device == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *device = nullptr;
        platform::Window* window = p->hDeviceWindow != nullptr ? p->hDeviceWindow : focusWindow;
        auto* sdlWindow = headless_ || window == nullptr
                              ? nullptr
                              : static_cast<SDL_Window*>(platform::nativeWindow(window));
        std::string error;
        std::shared_ptr<GlContext> ctx = sdlWindow != nullptr
                                             ? GlContext::createForWindow(sdlWindow, &error)
                                             : GlContext::createHeadless(&error);
        if (!ctx) {
            setLastError(error);
            return D3DERR_NOTAVAILABLE;
        }
        *device = new GlDevice(std::move(ctx), *p);
        return D3D_OK;
    }

private:
    bool headless_;
    std::shared_ptr<GlContext> probe_;
};

} // namespace

std::unique_ptr<Direct3D> createGlDirect3D(bool headless) {
    std::shared_ptr<GlContext> probe;
    if (headless) {
        std::string error;
        probe = GlContext::createHeadless(&error);
        if (!probe) {
            setLastError(error);
            return nullptr;
        }
    }
    return std::make_unique<GlDirect3D>(headless, std::move(probe));
}

} // namespace gfx::detail
