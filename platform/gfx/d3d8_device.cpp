// The Direct3D 8 device: our device interface forwarded to d3d8.dll, loaded at run time
// (Direct3DCreate8 with SDK version 220). Full screen is a borderless window over the desktop,
// so the real device always runs windowed; present letterboxes the back buffer into the
// client area. Read-back copies a surface into a system-memory surface (CopyRects).
// A stage with no texture samples a 1 x 1 opaque white texture, as on the other devices.
#include "platform/gfx/d3d8_device.h"
#include "platform/gfx/device_base.h"
#include "platform/window.h"

#include "platform/gfx/d3d8_objects.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gfx::detail {

static_assert(sizeof(Matrix) == sizeof(D3DMATRIX));
static_assert(sizeof(Material) == sizeof(D3DMATERIAL8));
static_assert(sizeof(Light) == sizeof(D3DLIGHT8));
static_assert(sizeof(Viewport) == sizeof(D3DVIEWPORT8));
static_assert(sizeof(DisplayMode) == sizeof(D3DDISPLAYMODE));

namespace {

constexpr uint32_t kStageCount = 8;

// Result codes by name for the lines we print.
std::string resultText(::HRESULT hr) {
    switch (hr) {
    case D3DERR_NOTAVAILABLE:
        return "D3DERR_NOTAVAILABLE";
    case D3DERR_INVALIDCALL:
        return "D3DERR_INVALIDCALL";
    case D3DERR_OUTOFVIDEOMEMORY:
        return "D3DERR_OUTOFVIDEOMEMORY";
    case D3DERR_DEVICELOST:
        return "D3DERR_DEVICELOST";
    case D3DERR_INVALIDDEVICE:
        return "D3DERR_INVALIDDEVICE";
    case E_OUTOFMEMORY:
        return "E_OUTOFMEMORY";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
        return text;
    }
    }
}

// Says why the device cannot start: kept for lastError() (the caller prints it on stderr) and,
// when someone watches a screen, shown in a message box as well.
void reportFailure(StartFailure failure, ::HRESULT hr = 0) {
    const std::string text = startFailureText(failure, hr);
    setLastError(text);
    if (platform::displayMode() != platform::DisplayMode::Headless && messageBoxWanted()) {
        MessageBoxA(nullptr, text.c_str(), "??? / Zentharis & Vrell", MB_OK | MB_ICONERROR);
    }
}

// A device asked for without any window (tests, tools) renders into a hidden window of its own.
class OffscreenWindow {
public:
    OffscreenWindow(uint32_t width, uint32_t height) {
        static const bool registered = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = kClassName;
            return RegisterClassA(&wc) != 0;
        }();
        if (registered) {
            hwnd_ = CreateWindowExA(0, kClassName, "", WS_POPUP, 0, 0, int(width), int(height),
                                    nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        }
    }
    ~OffscreenWindow() {
        if (hwnd_ != nullptr) {
            DestroyWindow(hwnd_);
        }
    }
    OffscreenWindow(const OffscreenWindow&) = delete;
    OffscreenWindow& operator=(const OffscreenWindow&) = delete;
    HWND get() const { return hwnd_; }

private:
    static constexpr const char* kClassName = "demo offscreen device";
    HWND hwnd_ = nullptr;
};

void copyCaps(const D3DCAPS8& in, Caps* out) {
    *out = Caps{};
    out->DeviceType = uint32_t(in.DeviceType);
    out->AdapterOrdinal = in.AdapterOrdinal;
    out->DevCaps = in.DevCaps;
    out->RasterCaps = in.RasterCaps;
    out->MaxTextureWidth = in.MaxTextureWidth;
    out->MaxTextureHeight = in.MaxTextureHeight;
    out->MaxActiveLights = in.MaxActiveLights;
    out->MaxTextureBlendStages = in.MaxTextureBlendStages;
    out->MaxSimultaneousTextures = in.MaxSimultaneousTextures;
    out->MaxPrimitiveCount = in.MaxPrimitiveCount;
    out->MaxVertexIndex = in.MaxVertexIndex;
    out->PrimitiveMiscCaps = in.PrimitiveMiscCaps;
    out->TextureCaps = in.TextureCaps;
    out->MaxStreams = in.MaxStreams;
}

// The real device always runs windowed on our window, with a back buffer that keeps its
// content after present (the read-back and the letterboxing need it).
bool toNative(IDirect3D8* d3d, const PresentParameters& in, D3DPRESENT_PARAMETERS* out,
              HWND* window) {
    *out = D3DPRESENT_PARAMETERS{};
    D3DDISPLAYMODE desktop{};
    if (FAILED(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop))) {
        return false;
    }
    out->BackBufferWidth = in.BackBufferWidth;
    out->BackBufferHeight = in.BackBufferHeight;
    out->BackBufferFormat = desktop.Format;
    out->BackBufferCount = 1;
    out->MultiSampleType = ::D3DMULTISAMPLE_NONE;
    out->SwapEffect = ::D3DSWAPEFFECT_COPY;
    *window = static_cast<HWND>(platform::nativeWindow(in.hDeviceWindow));
    out->hDeviceWindow = *window;
    out->Windowed = TRUE;
    out->EnableAutoDepthStencil = in.EnableAutoDepthStencil;
    out->AutoDepthStencilFormat = D3DFORMAT(in.AutoDepthStencilFormat);
    out->Flags = in.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    out->FullScreen_RefreshRateInHz = 0;
    out->FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    return true;
}

class D3d8Device final : public Device {
public:
    D3d8Device(IDirect3DDevice8* device, HWND window, std::unique_ptr<OffscreenWindow> own,
               uint32_t width, uint32_t height)
        : ownWindow_(std::move(own)), device_(device), window_(window), width_(width),
          height_(height) {
        createWhiteTexture();
        bindDefaults();
    }
    ~D3d8Device() override {
        for (uint32_t i = 0; i < kStageCount; ++i) {
            device_->SetTexture(i, nullptr);
        }
        device_->SetStreamSource(0, nullptr, 0);
        device_->SetIndices(nullptr, 0);
    }

    gfx::HRESULT testCooperativeLevel() override { return device_->TestCooperativeLevel(); }

    gfx::HRESULT reset(PresentParameters* parameters) override {
        if (parameters == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        ComPtr<IDirect3D8> d3d;
        if (FAILED(device_->GetDirect3D(d3d.put()))) {
            return D3DERR_INVALIDCALL;
        }
        D3DPRESENT_PARAMETERS native{};
        HWND window = nullptr;
        if (!toNative(d3d.get(), *parameters, &native, &window)) {
            return D3DERR_INVALIDCALL;
        }
        // Nothing may hold a default-pool resource through the reset: the bindings go, the
        // target goes back to the back buffer, and our default-pool resources let go of
        // their real objects until the reset is done.
        for (uint32_t i = 0; i < kStageCount; ++i) {
            device_->SetTexture(i, nullptr);
            bound_[i].reset();
        }
        device_->SetStreamSource(0, nullptr, 0);
        device_->SetIndices(nullptr, 0);
        stream_.reset();
        indices_.reset();
        {
            ComPtr<IDirect3DSurface8> back;
            if (SUCCEEDED(device_->GetBackBuffer(0, ::D3DBACKBUFFER_TYPE_MONO, back.put()))) {
                device_->SetRenderTarget(back.get(), nullptr);
            }
        }
        white_.reset();
        defaultPool_->dropAll();
        ::HRESULT hr = device_->Reset(&native);
        defaultPool_->recreateAll();
        if (SUCCEEDED(hr)) {
            width_ = native.BackBufferWidth;
            height_ = native.BackBufferHeight;
            if (window != nullptr) {
                window_ = window;
            }
        }
        createWhiteTexture();
        bindDefaults();
        return hr;
    }

    gfx::HRESULT getDeviceCaps(Caps* caps) override {
        if (caps == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        D3DCAPS8 native{};
        ::HRESULT hr = device_->GetDeviceCaps(&native);
        if (SUCCEEDED(hr)) {
            copyCaps(native, caps);
        }
        return hr;
    }

    gfx::HRESULT getDisplayMode(DisplayMode* mode) override {
        if (mode == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        return device_->GetDisplayMode(reinterpret_cast<D3DDISPLAYMODE*>(mode));
    }

    gfx::HRESULT clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t colour, float z,
                       uint32_t stencil) override {
        return device_->Clear(count, reinterpret_cast<const D3DRECT*>(rects), flags, colour, z,
                              stencil);
    }
    gfx::HRESULT beginScene() override { return device_->BeginScene(); }
    gfx::HRESULT endScene() override { return device_->EndScene(); }

    gfx::HRESULT present() override {
        // A window nobody sees (headless runs) has nothing to show.
        if (window_ == nullptr || !IsWindowVisible(window_)) {
            return D3D_OK;
        }
        RECT client{};
        GetClientRect(window_, &client);
        LONG cw = client.right - client.left, ch = client.bottom - client.top;
        if (cw <= 0 || ch <= 0) {
            return D3D_OK;
        }
        if (cw == LONG(width_) && ch == LONG(height_)) {
            return device_->Present(nullptr, nullptr, nullptr, nullptr);
        }
        // The picture scaled to the client area with its aspect kept, centred.
        platform::Rect box = platform::letterbox(int(width_), int(height_), int(cw), int(ch));
        RECT dest{box.left, box.top, box.right, box.bottom};
        return device_->Present(nullptr, &dest, nullptr, nullptr);
    }

    gfx::HRESULT readBackBuffer(uint32_t* width, uint32_t* height, std::string* pixels) override {
        Surface* back = nullptr;
        gfx::HRESULT hr = getBackBuffer(0, gfx::D3DBACKBUFFER_TYPE_MONO, &back);
        if (FAILED(hr)) {
            return hr;
        }
        hr = readSurface(back, width, height, pixels);
        back->release();
        return hr;
    }

    gfx::HRESULT readSurface(Surface* surface, uint32_t* width, uint32_t* height,
                             std::string* pixels) override {
        if (surface == nullptr || width == nullptr || height == nullptr || pixels == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        IDirect3DSurface8* source = nativeOf(surface);
        D3DSURFACE_DESC desc{};
        ::HRESULT hr = source->GetDesc(&desc);
        if (FAILED(hr)) {
            return hr;
        }
        ComPtr<IDirect3DSurface8> copy;
        hr = device_->CreateImageSurface(desc.Width, desc.Height, desc.Format, copy.put());
        if (FAILED(hr)) {
            return hr;
        }
        hr = device_->CopyRects(source, nullptr, 0, copy.get(), nullptr);
        if (FAILED(hr)) {
            return hr;
        }
        D3DLOCKED_RECT locked{};
        hr = copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        if (FAILED(hr)) {
            return hr;
        }
        convertToBgra(Format(desc.Format), static_cast<const uint8_t*>(locked.pBits),
                      uint32_t(locked.Pitch), desc.Width, desc.Height, pixels);
        copy->UnlockRect();
        *width = desc.Width;
        *height = desc.Height;
        return D3D_OK;
    }

    // Wraps what Direct3D 8 created; default-pool objects join the pool that a reset drops
    // and recreates.
    template <typename Wrapper, typename Native, typename Interface>
    gfx::HRESULT wrapCreated(::HRESULT hr, Native* native, uint32_t pool, Interface** out) {
        if (SUCCEEDED(hr)) {
            auto* wrapper = new Wrapper(native);
            if (pool == gfx::D3DPOOL_DEFAULT) {
                wrapper->joinDefaultPool(defaultPool_);
            }
            *out = wrapper;
        }
        return hr;
    }

    gfx::HRESULT createTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                               Format format, uint32_t pool, Texture** texture) override {
        if (texture == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *texture = nullptr;
        IDirect3DTexture8* native = nullptr;
        ::HRESULT hr = device_->CreateTexture(width, height, levels, usage, D3DFORMAT(format),
                                              D3DPOOL(pool), &native);
        return wrapCreated<D3d8Texture>(hr, native, pool, texture);
    }

    gfx::HRESULT createVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                                    VertexBuffer** buffer) override {
        if (buffer == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *buffer = nullptr;
        IDirect3DVertexBuffer8* native = nullptr;
        ::HRESULT hr = device_->CreateVertexBuffer(length, usage, fvf, D3DPOOL(pool), &native);
        return wrapCreated<D3d8VertexBuffer>(hr, native, pool, buffer);
    }

    gfx::HRESULT createIndexBuffer(uint32_t length, uint32_t usage, Format format, uint32_t pool,
                                   IndexBuffer** buffer) override {
        if (buffer == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *buffer = nullptr;
        IDirect3DIndexBuffer8* native = nullptr;
        ::HRESULT hr =
            device_->CreateIndexBuffer(length, usage, D3DFORMAT(format), D3DPOOL(pool), &native);
        return wrapCreated<D3d8IndexBuffer>(hr, native, pool, buffer);
    }

    gfx::HRESULT createDepthStencilSurface(uint32_t width, uint32_t height, Format format,
                                           uint32_t multiSample, Surface** surface) override {
        if (surface == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *surface = nullptr;
        IDirect3DSurface8* native = nullptr;
        ::HRESULT hr = device_->CreateDepthStencilSurface(
            width, height, D3DFORMAT(format), D3DMULTISAMPLE_TYPE(multiSample), &native);
        if (SUCCEEDED(hr)) {
            auto* wrapper = new D3d8Surface(native);
            wrapper->joinDefaultPool(defaultPool_);
            *surface = wrapper;
        }
        return hr;
    }

    gfx::HRESULT getBackBuffer(uint32_t index, uint32_t type, Surface** surface) override {
        if (surface == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *surface = nullptr;
        IDirect3DSurface8* native = nullptr;
        ::HRESULT hr = device_->GetBackBuffer(index, D3DBACKBUFFER_TYPE(type), &native);
        if (SUCCEEDED(hr)) {
            *surface = new D3d8Surface(native);
        }
        return hr;
    }

    gfx::HRESULT setRenderTarget(Surface* colour, Surface* depth) override {
        return device_->SetRenderTarget(nativeOf(colour), nativeOf(depth));
    }

    gfx::HRESULT getRenderTarget(Surface** surface) override {
        return wrapSurface(&IDirect3DDevice8::GetRenderTarget, surface);
    }

    gfx::HRESULT getDepthStencilSurface(Surface** surface) override {
        return wrapSurface(&IDirect3DDevice8::GetDepthStencilSurface, surface);
    }

    gfx::HRESULT setTransform(uint32_t state, const Matrix* matrix) override {
        return device_->SetTransform(D3DTRANSFORMSTATETYPE(state),
                                     reinterpret_cast<const D3DMATRIX*>(matrix));
    }
    gfx::HRESULT getTransform(uint32_t state, Matrix* matrix) override {
        return device_->GetTransform(D3DTRANSFORMSTATETYPE(state),
                                     reinterpret_cast<D3DMATRIX*>(matrix));
    }
    gfx::HRESULT multiplyTransform(uint32_t state, const Matrix* matrix) override {
        return device_->MultiplyTransform(D3DTRANSFORMSTATETYPE(state),
                                          reinterpret_cast<const D3DMATRIX*>(matrix));
    }
    gfx::HRESULT setViewport(const Viewport* viewport) override {
        return device_->SetViewport(reinterpret_cast<const D3DVIEWPORT8*>(viewport));
    }
    gfx::HRESULT getViewport(Viewport* viewport) override {
        return device_->GetViewport(reinterpret_cast<D3DVIEWPORT8*>(viewport));
    }
    gfx::HRESULT setMaterial(const Material* material) override {
        return device_->SetMaterial(reinterpret_cast<const D3DMATERIAL8*>(material));
    }
    gfx::HRESULT getMaterial(Material* material) override {
        return device_->GetMaterial(reinterpret_cast<D3DMATERIAL8*>(material));
    }
    gfx::HRESULT setLight(uint32_t index, const Light* light) override {
        return device_->SetLight(index, reinterpret_cast<const D3DLIGHT8*>(light));
    }
    gfx::HRESULT getLight(uint32_t index, Light* light) override {
        return device_->GetLight(index, reinterpret_cast<D3DLIGHT8*>(light));
    }
    gfx::HRESULT lightEnable(uint32_t index, int32_t enable) override {
        return device_->LightEnable(index, enable);
    }
    gfx::HRESULT getLightEnable(uint32_t index, int32_t* enable) override {
        if (enable == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        BOOL on = FALSE;
        ::HRESULT hr = device_->GetLightEnable(index, &on);
        *enable = on ? 1 : 0;
        return hr;
    }
    gfx::HRESULT setRenderState(uint32_t state, uint32_t value) override {
        return device_->SetRenderState(D3DRENDERSTATETYPE(state), value);
    }
    gfx::HRESULT getRenderState(uint32_t state, uint32_t* value) override {
        if (value == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        DWORD v = 0;
        ::HRESULT hr = device_->GetRenderState(D3DRENDERSTATETYPE(state), &v);
        *value = v;
        return hr;
    }
    gfx::HRESULT setTextureStageState(uint32_t stage, uint32_t type, uint32_t value) override {
        return device_->SetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type), value);
    }
    gfx::HRESULT getTextureStageState(uint32_t stage, uint32_t type, uint32_t* value) override {
        if (value == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        DWORD v = 0;
        ::HRESULT hr = device_->GetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type), &v);
        *value = v;
        return hr;
    }

    gfx::HRESULT setTexture(uint32_t stage, Texture* texture) override {
        if (stage >= kStageCount) {
            return D3DERR_INVALIDCALL;
        }
        IDirect3DBaseTexture8* native = nativeOf(texture);
        if (native == nullptr && white_) {
            native = white_.get();
        }
        ::HRESULT hr = device_->SetTexture(stage, native);
        if (SUCCEEDED(hr)) {
            bound_[stage] = Ref<Texture>::share(texture);
        }
        return hr;
    }

    gfx::HRESULT getTexture(uint32_t stage, Texture** texture) override {
        if (stage >= kStageCount || texture == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *texture = Ref<Texture>::share(bound_[stage].get()).detach();
        return D3D_OK;
    }

    gfx::HRESULT setVertexShader(uint32_t fvf) override { return device_->SetVertexShader(fvf); }
    gfx::HRESULT getVertexShader(uint32_t* fvf) override {
        if (fvf == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        DWORD v = 0;
        ::HRESULT hr = device_->GetVertexShader(&v);
        *fvf = v;
        return hr;
    }
    gfx::HRESULT setPixelShader(uint32_t handle) override {
        return device_->SetPixelShader(handle);
    }
    gfx::HRESULT setStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) override {
        ::HRESULT hr = device_->SetStreamSource(stream, nativeOf(buffer), stride);
        if (SUCCEEDED(hr) && stream == 0) {
            stream_ = Ref<VertexBuffer>::share(buffer);
        }
        return hr;
    }
    gfx::HRESULT setIndices(IndexBuffer* buffer, uint32_t baseVertexIndex) override {
        ::HRESULT hr = device_->SetIndices(nativeOf(buffer), baseVertexIndex);
        if (SUCCEEDED(hr)) {
            indices_ = Ref<IndexBuffer>::share(buffer);
        }
        return hr;
    }

    // Every draw is checked as the other devices check it before d3d8.dll sees it: a draw
    // reading beyond its buffers is refused, not left to the driver.
    gfx::HRESULT drawPrimitive(uint32_t type, uint32_t startVertex,
                               uint32_t primitiveCount) override {
        if (primitiveCount == 0) {
            return verticesFor(type, 1) != 0 ? D3D_OK : D3DERR_INVALIDCALL;
        }
        const uint32_t count = verticesFor(type, primitiveCount);
        VertexInput in;
        if (count == 0 || !vertexInput(&in) ||
            (uint64_t(startVertex) + count - 1) * in.stride + in.vertexSize > in.length) {
            return D3DERR_INVALIDCALL;
        }
        return device_->DrawPrimitive(D3DPRIMITIVETYPE(type), startVertex, primitiveCount);
    }
    gfx::HRESULT drawIndexedPrimitive(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                      uint32_t startIndex, uint32_t primitiveCount) override {
        if (primitiveCount == 0) {
            return verticesFor(type, 1) != 0 ? D3D_OK : D3DERR_INVALIDCALL;
        }
        const uint32_t count = verticesFor(type, primitiveCount);
        VertexInput in;
        if (count == 0 || !vertexInput(&in)) {
            return D3DERR_INVALIDCALL;
        }
        ComPtr<IDirect3DIndexBuffer8> bound;
        UINT baseVertex = 0;
        if (FAILED(device_->GetIndices(bound.put(), &baseVertex))) {
            return D3DERR_INVALIDCALL;
        }
        D3d8IndexBuffer* ib = D3d8IndexBuffer::of(bound.get());
        if (ib == nullptr || (uint64_t(startIndex) + count) * ib->indexSize() > ib->length()) {
            return D3DERR_INVALIDCALL;
        }
        auto fits = [&](uint32_t maxIndex) {
            return (uint64_t(baseVertex) + maxIndex) * in.stride + in.vertexSize <= in.length;
        };
        if (!fits(ib->maxIndexOfAll()) && !fits(ib->maxIndex(startIndex, count))) {
            return D3DERR_INVALIDCALL;
        }
        return device_->DrawIndexedPrimitive(D3DPRIMITIVETYPE(type), minIndex, numVertices,
                                             startIndex, primitiveCount);
    }
    // Direct3D 8 unbinds stream 0 after a draw from client memory (and the indices after an
    // indexed one); our references follow.
    gfx::HRESULT drawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* vertices,
                                 uint32_t stride) override {
        const uint32_t count = verticesFor(type, primitiveCount);
        DWORD fvf = 0;
        if (count == 0 || vertices == nullptr || FAILED(device_->GetVertexShader(&fvf)) ||
            fvfStride(fvf) == 0 || stride < fvfStride(fvf)) {
            return D3DERR_INVALIDCALL;
        }
        ::HRESULT hr =
            device_->DrawPrimitiveUP(D3DPRIMITIVETYPE(type), primitiveCount, vertices, stride);
        stream_.reset();
        return hr;
    }
    gfx::HRESULT drawIndexedPrimitiveUP(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                        uint32_t primitiveCount, const void* indices,
                                        Format indexFormat, const void* vertices,
                                        uint32_t stride) override {
        const uint32_t count = verticesFor(type, primitiveCount);
        DWORD fvf = 0;
        if (count == 0 || vertices == nullptr || indices == nullptr ||
            FAILED(device_->GetVertexShader(&fvf)) || fvfStride(fvf) == 0 ||
            stride < fvfStride(fvf) ||
            (indexFormat != gfx::D3DFMT_INDEX16 && indexFormat != gfx::D3DFMT_INDEX32)) {
            return D3DERR_INVALIDCALL;
        }
        // The caller vouches for vertices [0, minIndex + numVertices); nothing beyond is read.
        const bool wide = indexFormat == gfx::D3DFMT_INDEX32;
        const auto* p = static_cast<const uint8_t*>(indices);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t v = 0;
            if (wide) {
                std::memcpy(&v, p + 4 * size_t(i), 4);
            } else {
                uint16_t v16 = 0;
                std::memcpy(&v16, p + 2 * size_t(i), 2);
                v = v16;
            }
            if (uint64_t(v) >= uint64_t(minIndex) + numVertices) {
                return D3DERR_INVALIDCALL;
            }
        }
        ::HRESULT hr = device_->DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE(type), minIndex,
                                                       numVertices, primitiveCount, indices,
                                                       D3DFORMAT(indexFormat), vertices, stride);
        stream_.reset();
        indices_.reset();
        return hr;
    }

    gfx::HRESULT beginStateBlock() override { return device_->BeginStateBlock(); }
    gfx::HRESULT endStateBlock(uint32_t* token) override { return tokenCall(token, true, 0); }
    gfx::HRESULT applyStateBlock(uint32_t token) override {
        return device_->ApplyStateBlock(token);
    }
    gfx::HRESULT captureStateBlock(uint32_t token) override {
        return device_->CaptureStateBlock(token);
    }
    gfx::HRESULT deleteStateBlock(uint32_t token) override {
        return device_->DeleteStateBlock(token);
    }
    gfx::HRESULT createStateBlock(uint32_t type, uint32_t* token) override {
        return tokenCall(token, false, type);
    }

private:
    // What a draw from stream 0 reads from, as the real device has it bound.
    struct VertexInput {
        uint32_t stride = 0, vertexSize = 0, length = 0;
    };
    bool vertexInput(VertexInput* in) {
        DWORD fvf = 0;
        ComPtr<IDirect3DVertexBuffer8> stream;
        UINT stride = 0;
        if (FAILED(device_->GetVertexShader(&fvf)) ||
            FAILED(device_->GetStreamSource(0, stream.put(), &stride)) || !stream) {
            return false;
        }
        D3DVERTEXBUFFER_DESC desc{};
        if (FAILED(stream->GetDesc(&desc))) {
            return false;
        }
        in->vertexSize = fvfStride(fvf);
        in->stride = stride;
        in->length = desc.Size;
        return in->vertexSize != 0 && stride >= in->vertexSize;
    }

    gfx::HRESULT tokenCall(uint32_t* token, bool end, uint32_t type) {
        if (token == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        DWORD t = 0;
        ::HRESULT hr = end ? device_->EndStateBlock(&t)
                           : device_->CreateStateBlock(D3DSTATEBLOCKTYPE(type), &t);
        *token = t;
        return hr;
    }

    gfx::HRESULT
    wrapSurface(::HRESULT (STDMETHODCALLTYPE IDirect3DDevice8::*get)(IDirect3DSurface8**),
                Surface** surface) {
        if (surface == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *surface = nullptr;
        IDirect3DSurface8* native = nullptr;
        ::HRESULT hr = (device_.get()->*get)(&native);
        if (SUCCEEDED(hr) && native != nullptr) {
            *surface = new D3d8Surface(native);
        }
        return hr;
    }

    void createWhiteTexture() {
        white_.reset();
        if (FAILED(device_->CreateTexture(1, 1, 1, 0, ::D3DFMT_A8R8G8B8, ::D3DPOOL_MANAGED,
                                          white_.put()))) {
            return;
        }
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(white_->LockRect(0, &locked, nullptr, 0))) {
            *static_cast<uint32_t*>(locked.pBits) = 0xFFFFFFFFu;
            white_->UnlockRect(0);
        }
    }

    void bindDefaults() {
        for (uint32_t i = 0; i < kStageCount; ++i) {
            if (!bound_[i]) {
                device_->SetTexture(i, white_.get());
            }
        }
    }

    std::unique_ptr<OffscreenWindow> ownWindow_; // outlives the device (declared first)
    ComPtr<IDirect3DDevice8> device_;
    HWND window_;
    uint32_t width_, height_;
    ComPtr<IDirect3DTexture8> white_;
    std::array<Ref<Texture>, kStageCount> bound_;
    std::shared_ptr<D3d8DefaultPool> defaultPool_ = std::make_shared<D3d8DefaultPool>();
    // Our wrappers of what is bound, kept alive while bound as on the other devices.
    Ref<VertexBuffer> stream_;
    Ref<IndexBuffer> indices_;
};

class D3d8Direct3D final : public Direct3D {
public:
    // NOTE: d3d8.dll stays loaded after this object goes: resources released later still
    // run its code.
    explicit D3d8Direct3D(IDirect3D8* d3d) : d3d_(d3d) {}

    gfx::HRESULT getAdapterDisplayMode(uint32_t adapter, DisplayMode* mode) override {
        if (mode == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        return d3d_->GetAdapterDisplayMode(adapter, reinterpret_cast<D3DDISPLAYMODE*>(mode));
    }

    gfx::HRESULT getDeviceCaps(uint32_t adapter, uint32_t deviceType, Caps* caps) override {
        if (caps == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        D3DCAPS8 native{};
        ::HRESULT hr = d3d_->GetDeviceCaps(adapter, D3DDEVTYPE(deviceType), &native);
        if (SUCCEEDED(hr)) {
            copyCaps(native, caps);
        } else {
            reportFailure(StartFailure::NoDeviceCaps, hr);
        }
        return hr;
    }

    gfx::HRESULT createDevice(uint32_t adapter, uint32_t deviceType, platform::Window* focusWindow,
                              uint32_t behaviourFlags, PresentParameters* parameters,
                              Device** device) override {
        if (parameters == nullptr || device == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *device = nullptr;
        D3DPRESENT_PARAMETERS native{};
        HWND window = nullptr;
        if (!toNative(d3d_.get(), *parameters, &native, &window)) {
            reportFailure(StartFailure::NoDisplayMode);
            return D3DERR_NOTAVAILABLE;
        }
        HWND focus = static_cast<HWND>(platform::nativeWindow(focusWindow));
        std::unique_ptr<OffscreenWindow> own;
        if (window == nullptr && focus == nullptr) {
            own =
                std::make_unique<OffscreenWindow>(native.BackBufferWidth, native.BackBufferHeight);
            window = own->get();
            native.hDeviceWindow = window;
        }
        IDirect3DDevice8* created = nullptr;
        ::HRESULT hr =
            d3d_->CreateDevice(adapter, D3DDEVTYPE(deviceType), focus != nullptr ? focus : window,
                               behaviourFlags, &native, &created);
        if (FAILED(hr) && (behaviourFlags & D3DCREATE_HARDWARE_VERTEXPROCESSING) != 0) {
            // Some drivers offer no hardware vertex processing; software is always there.
            DWORD software = (behaviourFlags &
                              ~DWORD(D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE)) |
                             D3DCREATE_SOFTWARE_VERTEXPROCESSING;
            hr = d3d_->CreateDevice(adapter, D3DDEVTYPE(deviceType),
                                    focus != nullptr ? focus : window, software, &native, &created);
        }
        if (FAILED(hr) || created == nullptr) {
            reportFailure(StartFailure::DeviceRefused, FAILED(hr) ? hr : D3DERR_NOTAVAILABLE);
            return FAILED(hr) ? hr : D3DERR_NOTAVAILABLE;
        }
        *device = new D3d8Device(created, window, std::move(own), native.BackBufferWidth,
                                 native.BackBufferHeight);
        return D3D_OK;
    }

private:
    ComPtr<IDirect3D8> d3d_;
};

} // namespace

std::string startFailureText(StartFailure failure, long result) {
    switch (failure) {
    case StartFailure::NoLibrary:
        return "Direct3D 8 is not installed (d3d8.dll cannot be loaded)";
    case StartFailure::NoDirect3D:
        return "Direct3D 8 could not start (Direct3DCreate8 failed)";
    case StartFailure::NoDisplayMode:
        return "Direct3D 8 cannot read the display mode";
    case StartFailure::DeviceRefused:
        return "Direct3D 8 refused to create the device (" + resultText(::HRESULT(result)) + ")";
    case StartFailure::NoDeviceCaps:
        return "Direct3D 8 reports no usable device (" + resultText(::HRESULT(result)) + ")";
    }
    return "Direct3D 8 could not start";
}

bool messageBoxWanted() {
    const char* off = std::getenv("DEMO_NO_MESSAGE_BOX");
    return off == nullptr || *off == '\0';
}

bool hostIsWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::unique_ptr<Direct3D> createD3d8Direct3D() {
    HMODULE library = LoadLibraryA("d3d8.dll");
    if (library == nullptr) {
        reportFailure(StartFailure::NoLibrary);
        return nullptr;
    }
    using CreateFunction = IDirect3D8*(WINAPI*)(UINT);
    auto create = reinterpret_cast<CreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "Direct3DCreate8")));
    IDirect3D8* d3d = create != nullptr ? create(D3D_SDK_VERSION) : nullptr;
    if (d3d == nullptr) {
        FreeLibrary(library);
        reportFailure(StartFailure::NoDirect3D);
        return nullptr;
    }
    return std::make_unique<D3d8Direct3D>(d3d);
}

} // namespace gfx::detail
