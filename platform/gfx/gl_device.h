// The OpenGL 3.3 core device: the class the GL device files share. Resources are in
// gl_resources, the translation of the Direct3D state to GL and its caching in gl_state.cpp,
// the rest of the device (creation, targets, clears, draws, present, read-back) in
// gl_device.cpp. Only the GL device files include this.
#pragma once

#include "platform/gfx/gl_context.h"
#include "platform/gfx/gl_program.h"
#include "platform/gfx/gl_resources.h"
#include "platform/gfx/gl_state.h"

#include <array>
#include <memory>
#include <string>
#include <unordered_map>

namespace gfx::detail {

inline constexpr uint32_t kStreamBufferBytes = 4u << 20; // client-memory draws stream through this

class GlDevice final : public DeviceBase {
public:
    GlDevice(std::shared_ptr<GlContext> ctx, const PresentParameters& p);
    ~GlDevice() override;
    HRESULT reset(PresentParameters* p) override;
    HRESULT getDeviceCaps(Caps* caps) override;
    HRESULT getDisplayMode(DisplayMode* mode) override;
    HRESULT clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t colour, float z,
                  uint32_t stencil) override;
    HRESULT present() override;
    HRESULT setDrawBounds(const Rect* bounds) override;
    HRESULT readBackBuffer(uint32_t* w, uint32_t* h, std::string* pixels) override;
    HRESULT readSurface(Surface* surface, uint32_t* w, uint32_t* h, std::string* pixels) override;

protected:
    uint32_t maxTextureSide() const override { return maxSide(); }
    HRESULT makeTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                        Format format, uint32_t pool, Texture** texture) override;
    VertexBuffer* makeVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                   uint32_t pool) override;
    IndexBuffer* makeIndexBuffer(uint32_t length, uint32_t usage, Format format,
                                 uint32_t pool) override;
    Surface* makeDepthSurface(uint32_t width, uint32_t height, Format format) override;
    HRESULT drawArrays(uint32_t type, uint32_t first, uint32_t count) override;
    HRESULT drawIndexed(uint32_t type, uint32_t firstIndex, uint32_t count) override;
    HRESULT drawClient(uint32_t type, uint32_t count, const void* vertices, uint32_t vertexCount,
                       uint32_t stride, const void* indices, uint32_t indexSize) override;

private:
    // Without a window nothing paces the frames: a software rasteriser would queue every
    // submitted frame with its binned geometry (tens of MiB a frame in a heavy scene). Each
    // present waits until the previous frame is done: the next one is still built while this
    // one rasterises, and at most two frames of binned geometry exist at once.
    void limitFramesInFlight();
    uint32_t maxSide() const;
    void applySwapInterval();
    void createBackBuffer();
    void markTargetRendered();

    // Attaches the current colour and depth targets to the framebuffer when they changed.
    void bindTarget();

    // Copies client data into a streaming buffer; returns its offset there.
    uint32_t stream(GLuint buffer, uint32_t* used, const void* data, uint32_t size, uint32_t align);
    void bindElements(GLuint buffer);

    // Points the vertex attributes at a buffer laid out in the current FVF.
    void describeVertices(GLuint buffer, uint32_t base, uint32_t stride);
    GLuint compile(GLenum type, const std::string& source);
    GLuint programFor(const ProgramKey& key);
    GLuint samplerFor(const std::array<uint32_t, kStageStateCount>& t, bool singleLevel);

    bool wireframeAsLines(uint32_t type) const;
    bool drawWrappedOnCpu(uint32_t firstIndex, uint32_t count);
    struct WrappedMesh;
    const WrappedMesh& wrappedMesh(GlVertexBuffer* vb, GlIndexBuffer* ib, uint32_t wrap);

    // Brings GL up to the device state for a draw of the given primitive type; with
    // wrapDone the texture coordinates arrive wrapped already.
    void prepare(uint32_t type, bool wrapDone = false);
    void applyRenderStates(const std::array<uint32_t, kRenderStateCount>& rs);
    // Scissors draws to the draw bounds while they are set.
    void applyDrawBounds();

public:
    static void fillCaps(Caps* caps, uint32_t maxSide);
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
    bool drawBounded_ = false;
    Rect drawBounds_{};
    bool scissorOn_ = false; // GL's scissor test as last left
    bool attribEnabled_[kAttribTexCoord0 + 8] = {};
    uint32_t programsBuilt_ = 0;
    uint64_t textureRenamesSeen_ = 0;
    static constexpr size_t kFramesInFlight = 1;
    GLsync frameFences_[kFramesInFlight] = {};
    size_t frameFenceNext_ = 0;
    // Indexed triangle lists with their coordinates wrapped: the vertices with the corners
    // the wrap moves added, 32-bit indices.
    struct WrappedMesh {
        uint64_t vertexSerial = 0, indexSerial = 0;
        uint32_t baseVertex = 0, stride = 0, fvf = 0, wrap = 0;
        GLuint vertices = 0, indices = 0;
        uint64_t lastUse = 0;
    };
    // Room for every wrapped mesh of a scene: Cables draws ten a frame, and a mesh pushed out
    // is rebuilt from its vertices read back from GL, which waits for the frame in flight.
    static constexpr size_t kWrappedMeshes = 32;
    WrappedMesh wrapped_[kWrappedMeshes];
    uint64_t wrappedUses_ = 0;
};

} // namespace gfx::detail
