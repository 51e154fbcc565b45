// OpenGL 3.3 core implementation of the gfx device. The back buffer is an offscreen
// framebuffer; present scales it into the window with its aspect kept. Fixed-function state
// becomes cached GLSL programs (gl_program) plus GL state applied only where it changed
// (gl_state.cpp); the resources are in gl_resources.
// Surfaces keep the top row first: clip-space y is flipped so row 0 is the picture's top.
#include "platform/gfx/gl_device.h"
#include "platform/window.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gfx::detail {

GlDevice::GlDevice(std::shared_ptr<GlContext> ctx, const PresentParameters& p)
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

GlDevice::~GlDevice() {
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
    for (WrappedMesh& m : wrapped_) {
        if (m.vertices != 0) {
            glDeleteBuffers(1, &m.vertices);
            glDeleteBuffers(1, &m.indices);
        }
    }
    glDeleteFramebuffers(1, &fbo_);
    glDeleteFramebuffers(1, &readFbo_);
    glDeleteVertexArrays(1, &vao_);
}

HRESULT GlDevice::reset(PresentParameters* p) {
    if (p == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    ctx_->bind();
    params_ = *p;
    drawBounded_ = false;
    createBackBuffer();
    applySwapInterval();
    return D3D_OK;
}

HRESULT GlDevice::getDeviceCaps(Caps* caps) {
    if (caps == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    fillCaps(caps, maxSide());
    return D3D_OK;
}

HRESULT GlDevice::getDisplayMode(DisplayMode* mode) {
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

HRESULT GlDevice::clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t colour, float z,
                        uint32_t stencil) {
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
    scissorOn_ = false;
    markTargetRendered();
    dirty_ |= kDirtyRenderState; // the write masks were opened for the clear
    return D3D_OK;
}

HRESULT GlDevice::setDrawBounds(const Rect* bounds) {
    drawBounded_ = bounds != nullptr;
    if (bounds != nullptr) {
        drawBounds_ = *bounds;
    }
    return D3D_OK;
}

// The scissor holds the draw bounds (clipped to nothing when they are empty); clears and
// present set their own scissor state and leave it off.
void GlDevice::applyDrawBounds() {
    if (!drawBounded_) {
        if (scissorOn_) {
            glDisable(GL_SCISSOR_TEST);
            scissorOn_ = false;
        }
        return;
    }
    if (!scissorOn_) {
        glEnable(GL_SCISSOR_TEST);
        scissorOn_ = true;
    }
    const Rect& r = drawBounds_;
    const int32_t left = std::max(r.left, 0), top = std::max(r.top, 0);
    glScissor(left, top, std::max(r.right - left, 0), std::max(r.bottom - top, 0));
}

HRESULT GlDevice::present() {
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
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex->name(),
                           0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    applied_.drawFramebuffer = 0;
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    applied_.colourMask = ~0u;
    dirty_ |= kDirtyRenderState;
    glDisable(GL_SCISSOR_TEST);
    scissorOn_ = false;
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

HRESULT GlDevice::readBackBuffer(uint32_t* w, uint32_t* h, std::string* pixels) {
    return readSurface(backBuffer_.get(), w, h, pixels);
}

HRESULT GlDevice::readSurface(Surface* surface, uint32_t* w, uint32_t* h, std::string* pixels) {
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

HRESULT GlDevice::makeTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                              Format format, uint32_t pool, Texture** texture) {
    GlFormat gl;
    if (!glFormatFor(format, &gl) ||
        ((usage & D3DUSAGE_RENDERTARGET) && (gl.alphaOnly || gl.luminance))) {
        return D3DERR_INVALIDCALL;
    }
    *texture = new GlTexture(this, ctx_, width, height, levels, usage, format, pool, gl);
    return D3D_OK;
}

VertexBuffer* GlDevice::makeVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                         uint32_t pool) {
    return new GlVertexBuffer(ctx_, this, length, usage, fvf, pool);
}

IndexBuffer* GlDevice::makeIndexBuffer(uint32_t length, uint32_t usage, Format format,
                                       uint32_t pool) {
    return new GlIndexBuffer(ctx_, this, length, usage, format, pool);
}

Surface* GlDevice::makeDepthSurface(uint32_t width, uint32_t height, Format format) {
    return new GlDepthSurface(this, ctx_, width, height, format);
}

HRESULT GlDevice::drawArrays(uint32_t type, uint32_t first, uint32_t count) {
    ctx_->bind();
    prepare(type);
    auto* vb = static_cast<GlVertexBuffer*>(state_.stream.get());
    describeVertices(vb->name(), 0, state_.stride);
    glDrawArrays(primitiveMode(type), GLint(first), GLsizei(count));
    markTargetRendered();
    return D3D_OK;
}

HRESULT GlDevice::drawIndexed(uint32_t type, uint32_t firstIndex, uint32_t count) {
    ctx_->bind();
    if (type == D3DPT_TRIANGLELIST && drawWrappedOnCpu(firstIndex, count)) {
        return D3D_OK;
    }
    prepare(type);
    auto* vb = static_cast<GlVertexBuffer*>(state_.stream.get());
    auto* ib = static_cast<GlIndexBuffer*>(state_.indices.get());
    describeVertices(vb->name(), 0, state_.stride);
    const uint32_t size = ib->indexSize();
    const GLenum indexType = size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    if (wireframeAsLines(type)) {
        bindElements(ib->edgeList(firstIndex, count, size));
        glDrawElementsBaseVertex(GL_LINES, GLsizei(count / 3 * 6), indexType, nullptr,
                                 GLint(state_.baseVertex));
    } else {
        bindElements(ib->name());
        glDrawElementsBaseVertex(primitiveMode(type), GLsizei(count), indexType,
                                 reinterpret_cast<const void*>(uintptr_t(firstIndex) * size),
                                 GLint(state_.baseVertex));
    }
    markTargetRendered();
    return D3D_OK;
}

HRESULT GlDevice::drawClient(uint32_t type, uint32_t count, const void* vertices,
                             uint32_t vertexCount, uint32_t stride, const void* indices,
                             uint32_t indexSize) {
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
        const uint32_t iOffset =
            stream(streamIndices_, &streamIndicesUsed_, indices, uint32_t(indexBytes), indexSize);
        bindElements(streamIndices_);
        glDrawElements(primitiveMode(type), GLsizei(count),
                       indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                       reinterpret_cast<const void*>(uintptr_t(iOffset)));
    }
    markTargetRendered();
    return D3D_OK;
}

// Texture wrap the short way round per triangle, for indexed triangle lists: instead of a
// geometry stage reworking every triangle of every draw (the rasteriser runs it on the CPU,
// a quarter of a scene's time), the buffers are rewritten once: triangles whose corners
// the wrap moves get corners of their own with the coordinates that stage would give,
// anchored on each triangle's first corner; the rest keep their shared vertices. Then they
// draw as plain triangles. False where the geometry stage is kept.
bool GlDevice::drawWrappedOnCpu(uint32_t firstIndex, uint32_t count) {
    const ProgramKey key = makeProgramKey(state_, true);
    if ((key.pixel & kProgramWrapsTriangles) == 0 || firstIndex % 3 != 0) {
        return false;
    }
    auto* vb = static_cast<GlVertexBuffer*>(state_.stream.get());
    auto* ib = static_cast<GlIndexBuffer*>(state_.indices.get());
    const WrappedMesh& mesh = wrappedMesh(vb, ib, (key.pixel >> 8) & 0xFF);
    prepare(D3DPT_TRIANGLELIST, true);
    describeVertices(mesh.vertices, 0, state_.stride);
    bindElements(mesh.indices);
    glDrawElementsBaseVertex(GL_TRIANGLES, GLsizei(count), GL_UNSIGNED_INT,
                             reinterpret_cast<const void*>(uintptr_t(firstIndex) * 4),
                             GLint(state_.baseVertex));
    markTargetRendered();
    return true;
}

// The wrapped buffers for the current vertex layout; kept while the buffers, the layout
// and the wrap bits stay the same.
const GlDevice::WrappedMesh& GlDevice::wrappedMesh(GlVertexBuffer* vb, GlIndexBuffer* ib,
                                                   uint32_t wrap) {
    const uint32_t stride = state_.stride, fvf = state_.fvf, base = state_.baseVertex;
    WrappedMesh* slot = &wrapped_[0];
    for (WrappedMesh& m : wrapped_) {
        if (m.vertices != 0 && m.vertexSerial == vb->serial() && m.indexSerial == ib->serial() &&
            m.baseVertex == base && m.stride == stride && m.fvf == fvf && m.wrap == wrap) {
            m.lastUse = ++wrappedUses_;
            return m;
        }
        if (m.lastUse < slot->lastUse) {
            slot = &m;
        }
    }
    // Where each coordinate set sits in a vertex (the layout describeVertices gives the
    // attributes), and how many floats it has.
    const uint32_t position = fvf & D3DFVF_POSITION_MASK;
    uint32_t offset = position == D3DFVF_XYZRHW  ? 16u
                      : position >= D3DFVF_XYZB1 ? 12 + 4 * ((position - D3DFVF_XYZ) / 2)
                                                 : 12u;
    offset += (fvf & D3DFVF_NORMAL ? 12u : 0u) + (fvf & D3DFVF_PSIZE ? 4u : 0u) +
              (fvf & D3DFVF_DIFFUSE ? 4u : 0u) + (fvf & D3DFVF_SPECULAR ? 4u : 0u);
    const uint32_t sets =
        std::min<uint32_t>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT, 8);
    uint32_t setOffset[4] = {}, setFloats[4] = {};
    for (uint32_t i = 0; i < sets; ++i) {
        static constexpr uint32_t kFloats[4] = {2, 3, 4, 1};
        const uint32_t n = kFloats[(fvf >> (16 + 2 * i)) & 3];
        if (i < 4) {
            setOffset[i] = offset;
            setFloats[i] = n;
        }
        offset += 4 * n;
    }

    std::vector<uint8_t> fetched;
    const std::vector<uint8_t>& source = vb->contents(&fetched);
    std::vector<uint8_t> vertices = source;
    const std::vector<uint8_t>& indexBytes = ib->memory().bytes;
    const uint32_t indexSize = ib->indexSize();
    const uint32_t count = uint32_t(indexBytes.size() / indexSize);
    const uint64_t vertexCount = source.size() / stride;
    std::vector<uint32_t> indices(count);
    for (uint32_t c = 0; c < count; ++c) {
        std::memcpy(&indices[c], indexBytes.data() + size_t(c) * indexSize, indexSize);
    }
    auto coordinate = [&](const uint8_t* vertex, uint32_t set, uint32_t axis) {
        float f;
        std::memcpy(&f, vertex + setOffset[set] + 4 * axis, 4);
        return f;
    };
    uint8_t corner[256];
    for (uint32_t c = 0; c + 3 <= count; c += 3) {
        const uint64_t first = uint64_t(base) + indices[c];
        // Corners past the vertices are never drawn (every draw is checked).
        if (first >= vertexCount) {
            continue;
        }
        for (uint32_t i = 1; i < 3; ++i) {
            const uint64_t at = uint64_t(base) + indices[c + i];
            if (at >= vertexCount) {
                continue;
            }
            std::memcpy(corner, source.data() + at * stride, std::min(stride, 256u));
            bool moved = false;
            for (uint32_t set = 0; set < std::min(sets, 4u); ++set) {
                const uint32_t bits = (wrap >> (2 * set)) & 3;
                for (uint32_t axis = 0; axis < std::min(setFloats[set], 2u); ++axis) {
                    if ((bits & (axis == 0 ? D3DWRAP_U : D3DWRAP_V)) == 0) {
                        continue;
                    }
                    const float anchor = coordinate(source.data() + first * stride, set, axis);
                    const float x = coordinate(corner, set, axis);
                    const float shift = std::floor(anchor - x + 0.5f);
                    if (shift != 0.0f) {
                        const float wrapped = x + shift;
                        std::memcpy(corner + setOffset[set] + 4 * axis, &wrapped, 4);
                        moved = true;
                    }
                }
            }
            if (moved) {
                indices[c + i] = uint32_t(vertices.size() / stride - base);
                vertices.insert(vertices.end(), source.data() + at * stride,
                                source.data() + (at + 1) * stride);
                std::memcpy(vertices.data() + vertices.size() - stride, corner,
                            std::min(stride, 256u));
            }
        }
    }
    if (slot->vertices == 0) {
        GLuint names[2];
        glGenBuffers(2, names);
        slot->vertices = names[0];
        slot->indices = names[1];
    }
    glBindBuffer(GL_COPY_WRITE_BUFFER, slot->vertices);
    glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(vertices.size()), vertices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_COPY_WRITE_BUFFER, slot->indices);
    glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(indices.size() * 4), indices.data(),
                 GL_STATIC_DRAW);
    slot->vertexSerial = vb->serial();
    slot->indexSerial = ib->serial();
    slot->baseVertex = base;
    slot->stride = stride;
    slot->fvf = fvf;
    slot->wrap = wrap;
    slot->lastUse = ++wrappedUses_;
    // The same names may have held other buffers: describe and bind again.
    applied_.arrayBuffer = applied_.elementBuffer = ~0u;
    return *slot;
}

// Wireframe triangle lists are drawn as line lists where that draws the same lines: without
// culling (a line has no facing), with Gouraud shading (flat lines would take their colour
// from their own first vertex) and without the per-triangle texture wrap. The rasteriser
// then takes the lines directly instead of through its polygon-mode pipeline.
bool GlDevice::wireframeAsLines(uint32_t type) const {
    const auto& rs = state_.rs;
    return type == D3DPT_TRIANGLELIST && rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME &&
           rs[D3DRS_CULLMODE] == D3DCULL_NONE && rs[D3DRS_SHADEMODE] != D3DSHADE_FLAT &&
           (lastKey_.pixel & kProgramWrapsTriangles) == 0;
}

// Without a window nothing paces the frames: a software rasteriser would queue every
// submitted frame with its binned geometry (tens of MiB a frame in a heavy scene). Each
// present waits until the previous frame is done: the next one is still built while this
// one rasterises, and at most two frames of binned geometry exist at once.
void GlDevice::limitFramesInFlight() {
    GLsync& oldest = frameFences_[frameFenceNext_];
    if (oldest != nullptr) {
        glClientWaitSync(oldest, GL_SYNC_FLUSH_COMMANDS_BIT, GLuint64(10) * 1000000000u);
        glDeleteSync(oldest);
    }
    oldest = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
    frameFenceNext_ = (frameFenceNext_ + 1) % kFramesInFlight;
}

uint32_t GlDevice::maxSide() const {
    return std::min<uint32_t>(uint32_t(std::max(ctx_->maxTextureSize(), 1)), kMaxTextureSide);
}

void GlDevice::applySwapInterval() {
    const uint32_t interval = params_.FullScreen_PresentationInterval;
    ctx_->setSwapInterval(interval == D3DPRESENT_INTERVAL_IMMEDIATE                     ? 0
                          : params_.Windowed && interval == D3DPRESENT_INTERVAL_DEFAULT ? 0
                                                                                        : 1);
}

void GlDevice::createBackBuffer() {
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

void GlDevice::markTargetRendered() {
    auto* s = static_cast<LevelSurface*>(colourTarget_.get());
    static_cast<GlTexture*>(s->texture())->markRendered(s->levelIndex());
}

// Attaches the current colour and depth targets to the framebuffer when they changed.
void GlDevice::bindTarget() {
    if (applied_.drawFramebuffer != fbo_) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo_);
        applied_.drawFramebuffer = fbo_;
    }
    if ((dirty_ & kDirtyTarget) == 0) {
        return;
    }
    auto* c = static_cast<LevelSurface*>(colourTarget_.get());
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           static_cast<GlTexture*>(c->texture())->name(), GLint(c->levelIndex()));
    auto* d = static_cast<GlDepthSurface*>(depthTarget_.get());
    const GLuint depthName = d != nullptr ? d->name() : 0;
    const bool stencil = d != nullptr && d->hasStencil();
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER,
                              stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                              GL_RENDERBUFFER, depthName);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    // Depth testing depends on whether there is a depth surface.
    dirty_ = (dirty_ & ~kDirtyTarget) | kDirtyViewport | kDirtyRenderState;
}

// Copies client data into a streaming buffer; returns its offset there.
uint32_t GlDevice::stream(GLuint buffer, uint32_t* used, const void* data, uint32_t size,
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

void GlDevice::fillCaps(Caps* caps, uint32_t maxSide) {
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
    caps->PrimitiveMiscCaps = D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
    caps->TextureCaps =
        D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
    caps->MaxStreams = 1;
}

namespace {

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
