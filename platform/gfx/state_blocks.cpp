// State blocks of the gfx device: recording, capturing, applying and the predefined kinds
// (all, pixel and vertex state).
#include "platform/gfx/device_base.h"

#include <algorithm>
#include <cstring>

namespace gfx::detail {

namespace {

// Render states that belong to the pixel and to the vertex part of the pipeline (state
// blocks of type PIXELSTATE and VERTEXSTATE).
constexpr uint32_t kPixelStates[] = {D3DRS_ZENABLE,
                                     D3DRS_FILLMODE,
                                     D3DRS_SHADEMODE,
                                     D3DRS_LINEPATTERN,
                                     D3DRS_ZWRITEENABLE,
                                     D3DRS_ALPHATESTENABLE,
                                     D3DRS_LASTPIXEL,
                                     D3DRS_SRCBLEND,
                                     D3DRS_DESTBLEND,
                                     D3DRS_ZFUNC,
                                     D3DRS_ALPHAREF,
                                     D3DRS_ALPHAFUNC,
                                     D3DRS_DITHERENABLE,
                                     D3DRS_FOGSTART,
                                     D3DRS_FOGEND,
                                     D3DRS_FOGDENSITY,
                                     D3DRS_ALPHABLENDENABLE,
                                     D3DRS_EDGEANTIALIAS,
                                     D3DRS_ZBIAS,
                                     D3DRS_STENCILENABLE,
                                     D3DRS_STENCILFAIL,
                                     D3DRS_STENCILZFAIL,
                                     D3DRS_STENCILPASS,
                                     D3DRS_STENCILFUNC,
                                     D3DRS_STENCILREF,
                                     D3DRS_STENCILMASK,
                                     D3DRS_STENCILWRITEMASK,
                                     D3DRS_TEXTUREFACTOR,
                                     D3DRS_WRAP0,
                                     D3DRS_WRAP1,
                                     D3DRS_WRAP2,
                                     D3DRS_WRAP3,
                                     D3DRS_WRAP4,
                                     D3DRS_WRAP5,
                                     D3DRS_WRAP6,
                                     D3DRS_WRAP7,
                                     D3DRS_COLORWRITEENABLE,
                                     D3DRS_BLENDOP,
                                     D3DRS_FOGTABLEMODE,
                                     D3DRS_FOGCOLOR};
constexpr uint32_t kVertexStates[] = {D3DRS_SHADEMODE,
                                      D3DRS_SPECULARENABLE,
                                      D3DRS_CULLMODE,
                                      D3DRS_FOGENABLE,
                                      D3DRS_FOGCOLOR,
                                      D3DRS_FOGTABLEMODE,
                                      D3DRS_FOGSTART,
                                      D3DRS_FOGEND,
                                      D3DRS_FOGDENSITY,
                                      D3DRS_RANGEFOGENABLE,
                                      D3DRS_AMBIENT,
                                      D3DRS_COLORVERTEX,
                                      D3DRS_FOGVERTEXMODE,
                                      D3DRS_CLIPPING,
                                      D3DRS_LIGHTING,
                                      D3DRS_NORMALIZENORMALS,
                                      D3DRS_LOCALVIEWER,
                                      D3DRS_DIFFUSEMATERIALSOURCE,
                                      D3DRS_SPECULARMATERIALSOURCE,
                                      D3DRS_AMBIENTMATERIALSOURCE,
                                      D3DRS_EMISSIVEMATERIALSOURCE,
                                      D3DRS_VERTEXBLEND,
                                      D3DRS_CLIPPLANEENABLE,
                                      D3DRS_POINTSIZE,
                                      D3DRS_POINTSIZE_MIN,
                                      D3DRS_POINTSPRITEENABLE,
                                      D3DRS_POINTSCALEENABLE,
                                      D3DRS_POINTSCALE_A,
                                      D3DRS_POINTSCALE_B,
                                      D3DRS_POINTSCALE_C,
                                      D3DRS_MULTISAMPLEANTIALIAS,
                                      D3DRS_MULTISAMPLEMASK,
                                      D3DRS_PATCHEDGESTYLE,
                                      D3DRS_PATCHSEGMENTS,
                                      D3DRS_POINTSIZE_MAX,
                                      D3DRS_INDEXEDVERTEXBLENDENABLE,
                                      D3DRS_TWEENFACTOR};

} // namespace

void DeviceBase::captureInto(StateBlock& b) {
    const StateMask& m = b.mask;
    DeviceState& v = b.values;
    for (uint32_t i = 0; i < kRenderStateCount; ++i) {
        if (m.rs.test(i)) {
            v.rs[i] = state_.rs[i];
        }
    }
    for (uint32_t s = 0; s < kStageCount; ++s) {
        for (uint32_t i = 0; i < kStageStateCount; ++i) {
            if (m.tss[s].test(i)) {
                v.tss[s][i] = state_.tss[s][i];
            }
        }
        if (m.textures.test(s)) {
            v.textures[s] = state_.textures[s];
        }
    }
    for (uint32_t i = 0; i < kTransformSlots; ++i) {
        if (m.transforms.test(i)) {
            v.transforms[i] = state_.transforms[i];
        }
    }
    if (v.lights.size() < m.lights.size()) {
        v.lights.resize(m.lights.size());
    }
    for (size_t i = 0; i < m.lights.size(); ++i) {
        const LightSlot current = i < state_.lights.size() ? state_.lights[i] : LightSlot{};
        if (m.lights[i] & 1) {
            v.lights[i].light = current.light;
        }
        if (m.lights[i] & 2) {
            v.lights[i].enabled = current.enabled;
        }
    }
    if (m.material) {
        v.material = state_.material;
    }
    if (m.viewport) {
        v.viewport = state_.viewport;
    }
    if (m.fvf) {
        v.fvf = state_.fvf;
    }
    if (m.stream) {
        v.stream = state_.stream;
        v.stride = state_.stride;
    }
    if (m.indices) {
        v.indices = state_.indices;
        v.baseVertex = state_.baseVertex;
    }
}

void DeviceBase::applyFrom(const StateBlock& b) {
    const StateMask& m = b.mask;
    const DeviceState& v = b.values;
    for (uint32_t i = 0; i < kRenderStateCount; ++i) {
        if (m.rs.test(i)) {
            setRenderState(i, v.rs[i]);
        }
    }
    for (uint32_t s = 0; s < kStageCount; ++s) {
        for (uint32_t i = 0; i < kStageStateCount; ++i) {
            if (m.tss[s].test(i)) {
                setTextureStageState(s, i, v.tss[s][i]);
            }
        }
        if (m.textures.test(s)) {
            state_.textures[s] = v.textures[s];
            dirty_ |= kDirtyTextures;
        }
    }
    for (uint32_t i = 0; i < kTransformSlots; ++i) {
        if (m.transforms.test(i)) {
            state_.transforms[i] = v.transforms[i];
            dirty_ |= kDirtyTransforms;
        }
    }
    for (size_t i = 0; i < m.lights.size(); ++i) {
        if (m.lights[i] == 0) {
            continue;
        }
        if (state_.lights.size() <= i) {
            // A light the device never had takes the block's parameters (enabling an unset
            // light while recording gave it the default light).
            state_.lights.resize(i + 1);
            state_.lights[i].light = v.lights[i].light;
        }
        if (m.lights[i] & 1) {
            state_.lights[i].light = v.lights[i].light;
        }
        if (m.lights[i] & 2) {
            state_.lights[i].enabled = v.lights[i].enabled;
        }
        dirty_ |= kDirtyLights;
    }
    if (m.material) {
        state_.material = v.material;
        dirty_ |= kDirtyMaterial;
    }
    if (m.viewport) {
        state_.viewport = v.viewport;
        dirty_ |= kDirtyViewport;
    }
    if (m.fvf) {
        state_.fvf = v.fvf;
    }
    if (m.stream) {
        state_.stream = v.stream;
        state_.stride = v.stride;
    }
    if (m.indices) {
        state_.indices = v.indices;
        state_.baseVertex = v.baseVertex;
    }
    dirty_ |= kDirtyVertexInput;
}

HRESULT DeviceBase::beginStateBlock() {
    if (recording_) {
        return D3DERR_INVALIDCALL;
    }
    recording_ = true;
    recordingBlock_ = StateBlock{};
    // Values not recorded are never read; starting from the current ones keeps lights and
    // multiplyTransform consistent while recording.
    recordingBlock_.values.lights = state_.lights;
    recordingBlock_.values.transforms = state_.transforms;
    return D3D_OK;
}

HRESULT DeviceBase::endStateBlock(uint32_t* token) {
    if (!recording_ || token == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    recording_ = false;
    *token = nextToken_++;
    blocks_.emplace(*token, std::move(recordingBlock_));
    recordingBlock_ = StateBlock{};
    return D3D_OK;
}

HRESULT DeviceBase::applyStateBlock(uint32_t token) {
    auto it = blocks_.find(token);
    if (recording_ || it == blocks_.end()) {
        return D3DERR_INVALIDCALL;
    }
    applyFrom(it->second);
    return D3D_OK;
}

HRESULT DeviceBase::captureStateBlock(uint32_t token) {
    auto it = blocks_.find(token);
    if (recording_ || it == blocks_.end()) {
        return D3DERR_INVALIDCALL;
    }
    captureInto(it->second);
    return D3D_OK;
}

HRESULT DeviceBase::deleteStateBlock(uint32_t token) {
    if (recording_ || blocks_.erase(token) == 0) {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT DeviceBase::createStateBlock(uint32_t type, uint32_t* token) {
    if (token == nullptr || recording_ ||
        (type != D3DSBT_ALL && type != D3DSBT_PIXELSTATE && type != D3DSBT_VERTEXSTATE)) {
        return D3DERR_INVALIDCALL;
    }
    StateBlock b;
    StateMask& m = b.mask;
    const bool all = type == D3DSBT_ALL;
    const bool pixel = type == D3DSBT_PIXELSTATE;
    const bool vertex = type == D3DSBT_VERTEXSTATE;
    if (all) {
        m.rs.set();
        m.textures.set();
        m.transforms.set();
        m.material = m.viewport = m.stream = m.indices = true;
    }
    if (pixel) {
        for (uint32_t rs : kPixelStates) {
            m.rs.set(rs);
        }
    }
    if (vertex) {
        for (uint32_t rs : kVertexStates) {
            m.rs.set(rs);
        }
    }
    for (uint32_t s = 0; s < kStageCount; ++s) {
        if (all || pixel) {
            m.tss[s].set();
        }
        if (pixel) {
            m.tss[s].reset(D3DTSS_TEXCOORDINDEX);
            m.tss[s].reset(D3DTSS_TEXTURETRANSFORMFLAGS);
        }
        if (vertex) {
            m.tss[s].set(D3DTSS_TEXCOORDINDEX);
            m.tss[s].set(D3DTSS_TEXTURETRANSFORMFLAGS);
        }
    }
    if (all || vertex) {
        m.lights.assign(state_.lights.size(), 3);
        m.fvf = true;
    }
    captureInto(b);
    *token = nextToken_++;
    blocks_.emplace(*token, std::move(b));
    return D3D_OK;
}

} // namespace gfx::detail
