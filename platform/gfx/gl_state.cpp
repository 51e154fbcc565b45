// The GL device's state translation: Direct3D enumeration values to GL, the vertex layout of
// a flexible vertex format, the generated programs and samplers, and the render states
// brought up to date before a draw, each sent only when it changed.
#include "platform/gfx/gl_device.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace gfx::detail {

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

void GlDevice::bindElements(GLuint buffer) {
    if (applied_.elementBuffer != buffer) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
        applied_.elementBuffer = buffer;
    }
}

// Points the vertex attributes at a buffer laid out in the current FVF.
void GlDevice::describeVertices(GLuint buffer, uint32_t base, uint32_t stride) {
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
        glVertexAttribPointer(kAttribNormal, 3, GL_FLOAT, GL_FALSE, GLsizei(stride), at(offset));
        enabled[kAttribNormal] = true;
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        // Direct3D colours are B, G, R, A bytes in memory.
        glVertexAttribPointer(kAttribDiffuse, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, GLsizei(stride),
                              at(offset));
        enabled[kAttribDiffuse] = true;
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        glVertexAttribPointer(kAttribSpecular, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, GLsizei(stride),
                              at(offset));
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

GLuint GlDevice::compile(GLenum type, const std::string& source) {
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

GLuint GlDevice::programFor(const ProgramKey& key) {
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

// With a single level and the same filter both ways, the level of detail decides nothing:
// the mip filter is dropped so that the rasteriser need not compute it.
GLuint GlDevice::samplerFor(const std::array<uint32_t, kStageStateCount>& t, bool singleLevel) {
    const bool sameFilter =
        (t[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR) == (t[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR);
    const SamplerKey key{t[D3DTSS_MAGFILTER],
                         t[D3DTSS_MINFILTER],
                         singleLevel && sameFilter ? uint32_t(D3DTEXF_NONE) : t[D3DTSS_MIPFILTER],
                         t[D3DTSS_ADDRESSU],
                         t[D3DTSS_ADDRESSV],
                         t[D3DTSS_MAXMIPLEVEL],
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
    const float border[4] = {float((key.border >> 16) & 255) / 255.0f,
                             float((key.border >> 8) & 255) / 255.0f,
                             float(key.border & 255) / 255.0f, float(key.border >> 24) / 255.0f};
    glSamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, border);
    samplers_.emplace(key, s);
    return s;
}

// Brings GL up to the device state for a draw of the given primitive type.
void GlDevice::prepare(uint32_t type, bool wrapDone) {
    bindTarget();
    // GL names are reused after deletion: a changed binding is always sent again.
    if (dirty_ & kDirtyVertexInput) {
        applied_.arrayBuffer = applied_.elementBuffer = ~0u;
    }
    if (dirty_ & kDirtyTextures) {
        std::fill(std::begin(applied_.texture), std::end(applied_.texture), ~0u);
    }
    const auto& rs = state_.rs;
    const bool triangles = type >= D3DPT_TRIANGLELIST && !wrapDone;

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
    applyDrawBounds();
    if (ctx_->textureRenames() != textureRenamesSeen_) {
        textureRenamesSeen_ = ctx_->textureRenames();
        dirty_ |= kDirtyTextures;
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
            const GLuint sampler =
                samplerFor(state_.tss[i], tex == nullptr || tex->getLevelCount() == 1);
            if (applied_.sampler[i] != sampler) {
                glBindSampler(i, sampler);
                applied_.sampler[i] = sampler;
            }
        }
    }
    dirty_ = 0;
}

void GlDevice::applyRenderStates(const std::array<uint32_t, kRenderStateCount>& rs) {
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
        if (!applied_.stencilKnown || func != applied_.stencilFunc || ref != applied_.stencilRef ||
            smask != applied_.stencilMask || wmask != applied_.stencilWriteMask ||
            f != applied_.sFail || zf != applied_.sZFail || p != applied_.sPass) {
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

} // namespace gfx::detail
