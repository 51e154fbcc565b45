// The GL device's resources: textures and depth surfaces whose main-memory levels are
// mirrored in GL textures and renderbuffers, and one buffer class for vertex and index
// buffers. Only the GL device files include this.
#pragma once

#include "platform/gfx/device_base.h"
#include "platform/gfx/gl_context.h"

#include <GL/glcorearb.h>

#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace gfx::detail {

// GL upload formats for our Direct3D formats (rows as Direct3D lays them out in memory).
struct GlFormat {
    GLint internal;
    GLenum format, type;
    bool alphaOnly, luminance;
};

// The upload format of a colour format; false when GL cannot hold it.
bool glFormatFor(Format f, GlFormat* out);

// Texture unit used for uploads, so uploads never disturb the stages' bindings.
inline constexpr GLenum kUploadUnit = GL_TEXTURE0 + 7;

class GlTexture final : public TextureBase {
public:
    GlTexture(const void* owner, std::shared_ptr<GlContext> ctx, uint32_t width, uint32_t height,
              uint32_t levels, uint32_t usage, Format format, uint32_t pool, const GlFormat& gl)
        : TextureBase(owner, width, height, levels, usage, format, pool), ctx_(std::move(ctx)),
          gl_(gl), uploaded_(levels, false) {
        ctx_->bind();
        names_[0] = createName();
    }
    ~GlTexture() override {
        ctx_->bind();
        for (GLuint& n : names_) {
            if (n != 0) {
                glDeleteTextures(1, &n);
            }
        }
    }
    GLuint name() const { return names_[current_]; }
    // Marks a level as holding rendered pixels (locks then read them back).
    void markRendered(uint32_t level) { uploaded_[level] = true; }

protected:
    void fetch(uint32_t level, Level& l) override {
        if (!uploaded_[level]) {
            return;
        }
        ctx_->bind();
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, name());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, GLint(level), gl_.format, gl_.type, l.bytes.data());
    }
    void commit(uint32_t level, Level& l, uint32_t top, uint32_t bottom) override {
        ctx_->bind();
        // A dynamic picture rewritten whole (a video frame) goes into the next of a few GL
        // textures: the one the frames still being drawn read stays as it is, and the upload
        // need not wait for them.
        if (getLevelCount() == 1 && (usage() & D3DUSAGE_DYNAMIC) != 0 && top == 0 &&
            bottom == l.height && uploaded_[0]) {
            current_ = (current_ + 1) % kNames;
            if (names_[current_] == 0) {
                names_[current_] = createName();
            }
            ctx_->noteTextureRenamed();
        }
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, name());
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
    GLuint createName() {
        GLuint name = 0;
        glGenTextures(1, &name);
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, name);
        const uint32_t levels = getLevelCount();
        for (uint32_t i = 0; i < levels; ++i) {
            glTexImage2D(GL_TEXTURE_2D, GLint(i), gl_.internal, GLsizei(width(i)),
                         GLsizei(height(i)), 0, gl_.format, gl_.type, nullptr);
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
        if (gl_.alphaOnly) {
            const GLint swizzle[4] = {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED};
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
        } else if (gl_.luminance) {
            const GLint swizzle[4] = {GL_RED, GL_RED, GL_RED, GL_ONE};
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
        }
        return name;
    }

    // Three: the frame being built, the one being drawn, and one to spare.
    static constexpr uint32_t kNames = 3;
    std::shared_ptr<GlContext> ctx_;
    GlFormat gl_;
    GLuint names_[kNames] = {};
    uint32_t current_ = 0;
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

// A vertex or index buffer: the main-memory bytes of BufferBase mirrored in a GL buffer;
// unlock uploads the locked range. Base is VertexBufferBase or IndexBufferBase, Layout the
// vertex format or the index format.
// A number no other buffer contents ever had: buffers take a new one on creation and on
// every write, so caches built from them can tell when they are stale.
inline uint64_t nextBufferSerial() {
    static uint64_t serial = 0;
    return ++serial;
}

template <class Base> class GlBuffer final : public Base {
public:
    template <class Layout>
    GlBuffer(std::shared_ptr<GlContext> ctx, const void* owner, uint32_t length, uint32_t usage,
             Layout layout, uint32_t pool)
        : Base(owner, length, usage, layout, pool), ctx_(std::move(ctx)),
          usage_((usage & D3DUSAGE_DYNAMIC) != 0 ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW) {
        ctx_->bind();
        glGenBuffers(1, &name_);
        glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
        glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(length), nullptr, usage_);
    }
    ~GlBuffer() override {
        ctx_->bind();
        glDeleteBuffers(1, &name_);
        if (edges_ != 0) {
            glDeleteBuffers(1, &edges_);
        }
    }
    GlBuffer(const GlBuffer&) = delete;
    GlBuffer& operator=(const GlBuffer&) = delete;
    GLuint name() const { return name_; }
    uint64_t serial() const { return serial_; }

    // Index buffers: the edges of the count / 3 triangles from firstIndex as a line list of
    // the same index size, for wireframe drawn as lines rather than as polygon-mode
    // triangles. Built on first use and again after the indices change. Each triangle
    // (a, b, c) gives (c, a), (a, b), (b, c): the edges and directions polygon-mode lines
    // draw, so the picture is the same.
    GLuint edgeList(uint32_t firstIndex, uint32_t count, uint32_t indexSize) {
        if (edges_ != 0 && edgesFirst_ == firstIndex && edgesCount_ == count) {
            return edges_;
        }
        const uint8_t* src = this->memory().bytes.data() + size_t(firstIndex) * indexSize;
        const uint32_t triangles = count / 3;
        std::vector<uint8_t> lines(size_t(triangles) * 6 * indexSize);
        uint8_t* out = lines.data();
        for (uint32_t t = 0; t < triangles; ++t) {
            const uint8_t* a = src + size_t(3 * t) * indexSize;
            const uint8_t* b = a + indexSize;
            const uint8_t* c = b + indexSize;
            for (const uint8_t* v : {c, a, a, b, b, c}) {
                std::memcpy(out, v, indexSize);
                out += indexSize;
            }
        }
        ctx_->bind();
        if (edges_ == 0) {
            glGenBuffers(1, &edges_);
        }
        glBindBuffer(GL_COPY_WRITE_BUFFER, edges_);
        glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(lines.size()), lines.data(), GL_STATIC_DRAW);
        edgesFirst_ = firstIndex;
        edgesCount_ = count;
        return edges_;
    }

protected:
    // Static vertex buffers hold their bytes in GL only; index buffers keep them for the draw
    // checks and the edge lists.
    bool keepsMemory() const override {
        return !std::is_same_v<Base, VertexBufferBase> ||
               (this->memory().usage & D3DUSAGE_DYNAMIC) != 0;
    }
    void fetch(std::vector<uint8_t>& bytes) override {
        ctx_->bind();
        glBindBuffer(GL_COPY_READ_BUFFER, name_);
        glGetBufferSubData(GL_COPY_READ_BUFFER, 0, GLsizeiptr(bytes.size()), bytes.data());
    }
    void commit(uint32_t offset, uint32_t size, bool discard) override {
        const std::vector<uint8_t>& bytes = this->memory().bytes;
        edgesCount_ = 0; // the edge list no longer matches
        serial_ = nextBufferSerial();
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

private:
    std::shared_ptr<GlContext> ctx_;
    GLenum usage_;
    GLuint name_ = 0;
    uint64_t serial_ = nextBufferSerial();
    GLuint edges_ = 0;
    uint32_t edgesFirst_ = 0, edgesCount_ = 0;
};

using GlVertexBuffer = GlBuffer<VertexBufferBase>;
using GlIndexBuffer = GlBuffer<IndexBufferBase>;

} // namespace gfx::detail
