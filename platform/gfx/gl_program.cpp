// Program keys and GLSL generation for the fixed-function emulation: per-vertex lighting,
// Direct3D's texture-stage cascade, fog, alpha test and the short-way coordinate wrap.
// Knows nothing about GL objects; the device compiles what comes out.
#include "platform/gfx/gl_program.h"

#include <cmath>
#include <cstring>

namespace gfx::detail {

bool ProgramKey::operator==(const ProgramKey& o) const {
    return std::memcmp(this, &o, sizeof(*this)) == 0;
}

size_t ProgramKeyHash::operator()(const ProgramKey& k) const {
    uint32_t words[sizeof(ProgramKey) / 4];
    std::memcpy(words, &k, sizeof(words));
    uint64_t h = 1469598103934665603ull; // FNV-1a
    for (uint32_t w : words) {
        h = (h ^ w) * 1099511628211ull;
    }
    return size_t(h);
}

namespace {

uint32_t field(uint32_t v, uint32_t shift, uint32_t bits) {
    return (v >> shift) & ((1u << bits) - 1);
}

bool usesTexture(uint32_t op, uint32_t a1, uint32_t a2, uint32_t a0) {
    auto isTex = [](uint32_t a) { return (a & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
    return op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM || isTex(a1) ||
           isTex(a2) || ((op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP) && isTex(a0));
}

} // namespace

ProgramKey makeProgramKey(const DeviceState& s, bool triangles) {
    ProgramKey k;
    const uint32_t fvf = s.fvf;
    const bool rhw = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
    const uint32_t sets =
        std::min<uint32_t>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT, 8);
    const auto& rs = s.rs;
    const bool lighting = !rhw && rs[D3DRS_LIGHTING] != 0;
    uint32_t v = (rhw ? 1u : 0u) | ((fvf & D3DFVF_NORMAL) && !rhw ? 2u : 0u) |
                 (fvf & D3DFVF_DIFFUSE ? 4u : 0u) | (fvf & D3DFVF_SPECULAR ? 8u : 0u) | (sets << 4);
    // Specular is added after the stages whether it was lit or came with the vertex.
    v |= (rs[D3DRS_SPECULARENABLE] != 0 ? 1u : 0u) << 9;
    if (lighting) {
        v |= 1u << 8;
        v |= (rs[D3DRS_NORMALIZENORMALS] ? 1u : 0u) << 10;
        v |= (rs[D3DRS_LOCALVIEWER] ? 1u : 0u) << 11;
        v |= (rs[D3DRS_COLORVERTEX] ? 1u : 0u) << 12;
        v |= std::min(rs[D3DRS_DIFFUSEMATERIALSOURCE], 2u) << 13;
        v |= std::min(rs[D3DRS_SPECULARMATERIALSOURCE], 2u) << 15;
        v |= std::min(rs[D3DRS_AMBIENTMATERIALSOURCE], 2u) << 17;
        v |= std::min(rs[D3DRS_EMISSIVEMATERIALSOURCE], 2u) << 19;
        uint32_t count = 0;
        for (const LightSlot& l : s.lights) {
            if (l.enabled && count < kGlLights) {
                k.lightTypes |= (l.light.Type & 3) << (2 * count);
                ++count;
            }
        }
        v |= count << 21;
    }
    // Table fog under a projection without perspective (last column 0, 0, 0, 1) measures
    // the device depth z / w in 0..1, as Direct3D does; otherwise the eye-space depth (w).
    const Matrix& proj = s.transforms[D3DTS_PROJECTION];
    const bool affine = proj.m[0][3] == 0.0f && proj.m[1][3] == 0.0f && proj.m[2][3] == 0.0f &&
                        proj.m[3][3] == 1.0f;
    if (!rhw && affine && rs[D3DRS_FOGENABLE] && rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE) {
        v |= 1u << 25;
    }
    k.vertex = v;

    uint32_t p = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT ? 1u : 0u;
    if (rs[D3DRS_ALPHATESTENABLE] && rs[D3DRS_ALPHAFUNC] != D3DCMP_ALWAYS &&
        rs[D3DRS_ALPHAFUNC] >= D3DCMP_NEVER && rs[D3DRS_ALPHAFUNC] <= D3DCMP_ALWAYS) {
        p |= rs[D3DRS_ALPHAFUNC] << 1;
    }
    if (rs[D3DRS_FOGENABLE]) {
        uint32_t mode = rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE ? rs[D3DRS_FOGTABLEMODE]
                                                              : rs[D3DRS_FOGVERTEXMODE];
        if (mode > D3DFOG_LINEAR) {
            mode = D3DFOG_NONE;
        }
        p |= mode << 5;
        if (mode == D3DFOG_NONE) {
            p |= 1u << 7; // fog factor from the specular alpha
        }
    }
    uint32_t wrap = 0;
    for (uint32_t i = 0; i < 4; ++i) {
        wrap |= (rs[D3DRS_WRAP0 + i] & 3) << (2 * i);
    }
    bool anyWrap = false;
    for (uint32_t i = 0; i < kGlStages; ++i) {
        const auto& t = s.tss[i];
        uint32_t op = t[D3DTSS_COLOROP];
        if (op == D3DTOP_DISABLE || op < D3DTOP_DISABLE || op > D3DTOP_LERP) {
            break;
        }
        uint32_t aop = t[D3DTSS_ALPHAOP];
        if (aop < D3DTOP_DISABLE || aop > D3DTOP_LERP) {
            aop = D3DTOP_DISABLE;
        }
        const uint32_t set = t[D3DTSS_TEXCOORDINDEX] & 7;
        const uint32_t temp = (t[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP ? 1u : 0u;
        auto arg = [](uint32_t a) { return a & 0x3F; };
        k.stage[i][0] = op | arg(t[D3DTSS_COLORARG1]) << 5 | arg(t[D3DTSS_COLORARG2]) << 11 |
                        arg(t[D3DTSS_COLORARG0]) << 17 | set << 23 | temp << 26;
        k.stage[i][1] = aop | arg(t[D3DTSS_ALPHAARG1]) << 5 | arg(t[D3DTSS_ALPHAARG2]) << 11 |
                        arg(t[D3DTSS_ALPHAARG0]) << 17;
        if (set < 4 && (wrap >> (2 * set)) & 3) {
            anyWrap = true;
        }
    }
    if (anyWrap && triangles) {
        p |= (wrap & 0xFF) << 8;
        p |= kProgramWrapsTriangles;
    }
    k.pixel = p;
    return k;
}

namespace {

struct Varying {
    std::string type, name;
    bool flat;
};

const char* kGlobalsBlock = R"(layout(std140) uniform Globals {
    mat4 uWorldView;
    mat4 uProjection;
    mat4 uNormalMatrix;
    vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive;
    vec4 uAmbient;
    vec4 uTexFactor;
    vec4 uFogColour;
    vec4 uFogParams;
    vec4 uViewport;
    vec4 uPixelParams;
    vec4 uLightDiffuse[8];
    vec4 uLightSpecular[8];
    vec4 uLightAmbient[8];
    vec4 uLightDirection[8];
    vec4 uLightPosition[8];
    vec4 uLightAttenuation[8];
};
)";

// Argument expression (vec4) for a stage argument code.
std::string argExpr(uint32_t a, uint32_t stage) {
    std::string base;
    switch (a & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
        base = "diffuse";
        break;
    case D3DTA_CURRENT:
        base = "current";
        break;
    case D3DTA_TEXTURE:
        base = "tex" + std::to_string(stage);
        break;
    case D3DTA_TFACTOR:
        base = "uTexFactor";
        break;
    case D3DTA_SPECULAR:
        base = "specular";
        break;
    case D3DTA_TEMP:
        base = "temp";
        break;
    default:
        base = "diffuse";
        break;
    }
    if (a & D3DTA_ALPHAREPLICATE) {
        base = "vec4(" + base + ".a)";
    }
    if (a & D3DTA_COMPLEMENT) {
        base = "(vec4(1.0) - " + base + ")";
    }
    return base;
}

// Result of a stage operation on channels sw (".rgb" or ".a").
std::string opExpr(uint32_t op, const std::string& sw, uint32_t stage) {
    const bool colour = sw == ".rgb";
    const std::string a1 = "a1" + sw, a2 = "a2" + sw, a0 = "a0" + sw;
    const std::string tex = "tex" + std::to_string(stage);
    switch (op) {
    case D3DTOP_SELECTARG1:
        return a1;
    case D3DTOP_SELECTARG2:
        return a2;
    case D3DTOP_MODULATE:
        return a1 + " * " + a2;
    case D3DTOP_MODULATE2X:
        return "2.0 * " + a1 + " * " + a2;
    case D3DTOP_MODULATE4X:
        return "4.0 * " + a1 + " * " + a2;
    case D3DTOP_ADD:
        return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED:
        return a1 + " + " + a2 + " - 0.5";
    case D3DTOP_ADDSIGNED2X:
        return "2.0 * (" + a1 + " + " + a2 + " - 0.5)";
    case D3DTOP_SUBTRACT:
        return a1 + " - " + a2;
    case D3DTOP_ADDSMOOTH:
        return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case D3DTOP_BLENDDIFFUSEALPHA:
        return "mix(" + a2 + ", " + a1 + ", diffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA:
        return "mix(" + a2 + ", " + a1 + ", " + tex + ".a)";
    case D3DTOP_BLENDFACTORALPHA:
        return "mix(" + a2 + ", " + a1 + ", uTexFactor.a)";
    case D3DTOP_BLENDCURRENTALPHA:
        return "mix(" + a2 + ", " + a1 + ", current.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM:
        return a1 + " + " + a2 + " * (1.0 - " + tex + ".a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
        return colour ? "a1.rgb + a1.a * a2.rgb" : a1;
    case D3DTOP_MODULATECOLOR_ADDALPHA:
        return colour ? "a1.rgb * a2.rgb + a1.a" : a1;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
        return colour ? "(1.0 - a1.a) * a2.rgb + a1.rgb" : a1;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
        return colour ? "(vec3(1.0) - a1.rgb) * a2.rgb + a1.a" : a1;
    case D3DTOP_DOTPRODUCT3:
        return colour ? "vec3(4.0 * dot(a1.rgb - 0.5, a2.rgb - 0.5))"
                      : "4.0 * dot(a1.rgb - 0.5, a2.rgb - 0.5)";
    case D3DTOP_MULTIPLYADD:
        return a0 + " + " + a1 + " * " + a2;
    case D3DTOP_LERP:
        return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
    case D3DTOP_PREMODULATE:
    case D3DTOP_BUMPENVMAP:
    case D3DTOP_BUMPENVMAPLUMINANCE:
    default:
        return a1;
    }
}

const char* compareOp(uint32_t func) {
    switch (func) {
    case D3DCMP_NEVER:
        return "false";
    case D3DCMP_LESS:
        return "a < ref";
    case D3DCMP_EQUAL:
        return "a == ref";
    case D3DCMP_LESSEQUAL:
        return "a <= ref";
    case D3DCMP_GREATER:
        return "a > ref";
    case D3DCMP_NOTEQUAL:
        return "a != ref";
    case D3DCMP_GREATEREQUAL:
        return "a >= ref";
    default:
        return "true";
    }
}

// Source of a lit material colour: the material's, or a vertex colour when allowed.
std::string materialSource(uint32_t source, bool colourVertex, bool hasDiffuse, bool hasSpecular,
                           const char* material) {
    if (colourVertex && source == D3DMCS_COLOR1 && hasDiffuse) {
        return "aDiffuse";
    }
    if (colourVertex && source == D3DMCS_COLOR2 && hasSpecular) {
        return "aSpecular";
    }
    return material;
}

} // namespace

ProgramSources generateProgram(const ProgramKey& k) {
    const bool rhw = k.vertex & 1;
    const bool hasNormal = k.vertex & 2;
    const bool hasDiffuse = k.vertex & 4;
    const bool hasSpecular = k.vertex & 8;
    const uint32_t sets = field(k.vertex, 4, 4);
    const bool lighting = k.vertex & (1u << 8);
    const bool specularOn = k.vertex & (1u << 9);
    const bool normalize = k.vertex & (1u << 10);
    const bool localViewer = k.vertex & (1u << 11);
    const bool colourVertex = k.vertex & (1u << 12);
    const uint32_t lightCount = field(k.vertex, 21, 4);
    const bool zFog = k.vertex & (1u << 25);
    const bool flat = k.pixel & 1;
    const uint32_t alphaFunc = field(k.pixel, 1, 4);
    const uint32_t fogMode = field(k.pixel, 5, 2);
    const bool fogFromSpecular = k.pixel & (1u << 7);
    const uint32_t wrap = field(k.pixel, 8, 8);
    const bool geometry = k.pixel & kProgramWrapsTriangles;

    // Coordinate sets the active stages read.
    uint32_t setMask = 0;
    uint32_t stages = 0;
    for (; stages < kGlStages && k.stage[stages][0] != 0; ++stages) {
        setMask |= 1u << field(k.stage[stages][0], 23, 3);
    }

    std::vector<Varying> varyings = {
        {"vec4", "diffuse", flat}, {"vec4", "specular", flat}, {"float", "eyeDepth", false}};
    for (uint32_t set = 0; set < 8; ++set) {
        if (setMask & (1u << set)) {
            varyings.push_back({"vec4", "tex" + std::to_string(set), false});
        }
    }
    auto declare = [&](const char* dir, const std::string& prefix, bool array) {
        std::string out;
        for (const Varying& v : varyings) {
            out += std::string(v.flat ? "flat " : "") + dir + " " + v.type + " " + prefix + v.name +
                   (array ? "[]" : "") + ";\n";
        }
        return out;
    };
    const std::string vsOut = geometry ? "g_" : "f_";

    // ---- vertex shader ----
    std::string vs = "#version 330 core\n";
    vs += kGlobalsBlock;
    vs += "layout(location = 0) in vec4 aPosition;\n";
    if (hasNormal) {
        vs += "layout(location = 1) in vec3 aNormal;\n";
    }
    if (hasDiffuse) {
        vs += "layout(location = 2) in vec4 aDiffuse;\n";
    }
    if (hasSpecular) {
        vs += "layout(location = 3) in vec4 aSpecular;\n";
    }
    for (uint32_t set = 0; set < sets; ++set) {
        if (setMask & (1u << set)) {
            vs += "layout(location = " + std::to_string(kAttribTexCoord0 + set) + ") in vec4 aTex" +
                  std::to_string(set) + ";\n";
        }
    }
    vs += declare("out", vsOut, false);
    vs += "void main() {\n";
    if (rhw) {
        // Pre-transformed: pixels of the target, centres on integers; rhw = 1 / w.
        vs += "    float w = aPosition.w > 0.0 ? 1.0 / aPosition.w : 1.0;\n"
              "    vec2 ndc = (aPosition.xy + 0.5 - uViewport.xy) / uViewport.zw * 2.0 - 1.0;\n"
              "    gl_Position = vec4(ndc * w, (2.0 * aPosition.z - 1.0) * w, w);\n";
        vs += "    " + vsOut + "eyeDepth = w;\n";
    } else {
        // Row-vector matrices uploaded as stored: M * v here is Direct3D's v * M. Clip y is
        // flipped so row 0 of the target is the top; z goes from 0..w to GL's -w..w; the
        // half-pixel shift puts Direct3D's pixel centres on GL's.
        vs += "    vec4 eye = uWorldView * vec4(aPosition.xyz, 1.0);\n"
              "    vec4 clip = uProjection * eye;\n"
              "    gl_Position = vec4(clip.x + clip.w * uPixelParams.x,\n"
              "                       -clip.y + clip.w * uPixelParams.y,\n"
              "                       2.0 * clip.z - clip.w, clip.w);\n";
        vs += "    " + vsOut + (zFog ? "eyeDepth = clip.z / clip.w;\n" : "eyeDepth = eye.z;\n");
    }
    if (lighting) {
        const uint32_t dsrc = field(k.vertex, 13, 2), ssrc = field(k.vertex, 15, 2);
        const uint32_t asrc = field(k.vertex, 17, 2), esrc = field(k.vertex, 19, 2);
        vs += "    vec4 cd = " +
              materialSource(dsrc, colourVertex, hasDiffuse, hasSpecular, "uMatDiffuse") + ";\n";
        vs += "    vec4 ca = " +
              materialSource(asrc, colourVertex, hasDiffuse, hasSpecular, "uMatAmbient") + ";\n";
        vs += "    vec4 cs = " +
              materialSource(ssrc, colourVertex, hasDiffuse, hasSpecular, "uMatSpecular") + ";\n";
        vs += "    vec4 ce = " +
              materialSource(esrc, colourVertex, hasDiffuse, hasSpecular, "uMatEmissive") + ";\n";
        if (hasNormal) {
            vs += "    vec3 n = (uNormalMatrix * vec4(aNormal, 0.0)).xyz;\n";
            if (normalize) {
                vs += "    n = length(n) > 0.0 ? normalize(n) : n;\n";
            }
        } else {
            vs += "    vec3 n = vec3(0.0);\n";
        }
        vs +=
            "    vec3 amb = uAmbient.rgb;\n    vec3 dif = vec3(0.0);\n    vec3 spe = vec3(0.0);\n";
        vs += std::string("    vec3 toViewer = ") +
              (localViewer ? "length(eye.xyz) > 0.0 ? -normalize(eye.xyz) : vec3(0.0, 0.0, -1.0)"
                           : "vec3(0.0, 0.0, -1.0)") +
              ";\n";
        for (uint32_t i = 0; i < lightCount; ++i) {
            const std::string I = std::to_string(i);
            const uint32_t type = field(k.lightTypes, 2 * i, 2);
            vs += "    {\n";
            if (type == D3DLIGHT_DIRECTIONAL) {
                vs += "        vec3 l = uLightDirection[" + I +
                      "].xyz;\n"
                      "        float att = 1.0;\n";
            } else {
                vs += "        vec3 d = uLightPosition[" + I +
                      "].xyz - eye.xyz;\n"
                      "        float dist = length(d);\n"
                      "        vec3 l = dist > 0.0 ? d / dist : vec3(0.0);\n"
                      "        vec4 k = uLightAttenuation[" +
                      I +
                      "];\n"
                      "        float q = k.x + k.y * dist + k.z * dist * dist;\n"
                      "        float att = dist > k.w ? 0.0 : (q > 0.0 ? 1.0 / q : 1.0);\n";
            }
            vs += "        float ndl = max(dot(n, l), 0.0);\n"
                  "        amb += uLightAmbient[" +
                  I +
                  "].rgb * att;\n"
                  "        dif += uLightDiffuse[" +
                  I + "].rgb * ndl * att;\n";
            if (specularOn) {
                vs += "        vec3 h = normalize(l + toViewer);\n"
                      "        if (ndl > 0.0 && uPixelParams.z > 0.0)\n"
                      "            spe += uLightSpecular[" +
                      I + "].rgb * pow(max(dot(n, h), 0.0), uPixelParams.z) * att;\n";
            }
            vs += "    }\n";
        }
        vs += "    " + vsOut +
              "diffuse = vec4(clamp(ce.rgb + ca.rgb * amb + cd.rgb * dif, 0.0, 1.0), "
              "clamp(cd.a, 0.0, 1.0));\n";
        vs += "    " + vsOut + "specular = vec4(clamp(cs.rgb * spe, 0.0, 1.0), 1.0);\n";
    } else {
        vs += "    " + vsOut + "diffuse = " + (hasDiffuse ? "aDiffuse" : "vec4(1.0)") + ";\n";
        vs += "    " + vsOut +
              "specular = " + (hasSpecular ? "aSpecular" : "vec4(0.0, 0.0, 0.0, 1.0)") + ";\n";
    }
    for (uint32_t set = 0; set < 8; ++set) {
        if (setMask & (1u << set)) {
            const std::string S = std::to_string(set);
            vs += "    " + vsOut + "tex" + S + " = " + (set < sets ? "aTex" + S : "vec4(0.0)") +
                  ";\n";
        }
    }
    vs += "}\n";

    // ---- geometry shader: texture wrap the short way round per triangle ----
    std::string gs;
    if (geometry) {
        gs = "#version 330 core\nlayout(triangles) in;\n"
             "layout(triangle_strip, max_vertices = 3) out;\n";
        gs += declare("in", "g_", true);
        gs += declare("out", "f_", false);
        gs += "void main() {\n";
        for (uint32_t set = 0; set < 4; ++set) {
            const uint32_t bits = (wrap >> (2 * set)) & 3;
            if (!(setMask & (1u << set)) || bits == 0) {
                continue;
            }
            const std::string S = std::to_string(set);
            gs += "    vec4 w" + S + "[3] = vec4[3](g_tex" + S + "[0], g_tex" + S + "[1], g_tex" +
                  S + "[2]);\n";
            for (const char* c : {"x", "y"}) {
                if ((c[0] == 'x' && !(bits & D3DWRAP_U)) || (c[0] == 'y' && !(bits & D3DWRAP_V))) {
                    continue;
                }
                gs += "    for (int i = 1; i < 3; ++i) w" + S + "[i]." + c + " += floor(w" + S +
                      "[0]." + c + " - w" + S + "[i]." + c + " + 0.5);\n";
            }
        }
        gs += "    for (int i = 0; i < 3; ++i) {\n        gl_Position = gl_in[i].gl_Position;\n";
        for (const Varying& v : varyings) {
            const bool wrapped = v.name.rfind("tex", 0) == 0 && v.name.size() == 4 &&
                                 v.name[3] - '0' < 4 && ((wrap >> (2 * (v.name[3] - '0'))) & 3);
            gs += "        f_" + v.name + " = " +
                  (wrapped ? "w" + v.name.substr(3) + "[i]" : "g_" + v.name + "[i]") + ";\n";
        }
        gs += "        EmitVertex();\n    }\n    EndPrimitive();\n}\n";
    }

    // ---- fragment shader: the stage cascade, specular, fog, alpha test ----
    std::string fs = "#version 330 core\n";
    fs += kGlobalsBlock;
    for (uint32_t i = 0; i < stages; ++i) {
        fs += "uniform sampler2D uTexture" + std::to_string(i) + ";\n";
    }
    fs += declare("in", "f_", false);
    fs += "out vec4 oColour;\n";
    fs += "void main() {\n"
          "    vec4 diffuse = f_diffuse;\n"
          "    vec4 specular = f_specular;\n"
          "    vec4 current = diffuse;\n"
          "    vec4 temp = vec4(0.0);\n"
          "    vec4 a0, a1, a2;\n";
    for (uint32_t i = 0; i < stages; ++i) {
        const std::string I = std::to_string(i);
        const uint32_t c = k.stage[i][0], a = k.stage[i][1];
        const uint32_t cop = field(c, 0, 5), aop = field(a, 0, 5);
        const uint32_t set = field(c, 23, 3);
        const bool toTemp = field(c, 26, 1);
        const bool needTex = usesTexture(cop, field(c, 5, 6), field(c, 11, 6), field(c, 17, 6)) ||
                             (aop != D3DTOP_DISABLE &&
                              usesTexture(aop, field(a, 5, 6), field(a, 11, 6), field(a, 17, 6)));
        fs += "    {\n";
        fs += "        vec4 tex" + I + " = " +
              (needTex ? "texture(uTexture" + I + ", f_tex" + std::to_string(set) + ".xy)"
                       : std::string("vec4(1.0)")) +
              ";\n";
        fs += "        a1 = " + argExpr(field(c, 5, 6), i) + ";\n";
        fs += "        a2 = " + argExpr(field(c, 11, 6), i) + ";\n";
        fs += "        a0 = " + argExpr(field(c, 17, 6), i) + ";\n";
        fs += "        vec3 rgb = clamp(" + opExpr(cop, ".rgb", i) + ", 0.0, 1.0);\n";
        if (cop == D3DTOP_DOTPRODUCT3) {
            fs += "        float alpha = rgb.r;\n";
        } else if (aop == D3DTOP_DISABLE) {
            fs += "        float alpha = current.a;\n";
        } else {
            fs += "        a1 = " + argExpr(field(a, 5, 6), i) + ";\n";
            fs += "        a2 = " + argExpr(field(a, 11, 6), i) + ";\n";
            fs += "        a0 = " + argExpr(field(a, 17, 6), i) + ";\n";
            fs += "        float alpha = clamp(" + opExpr(aop, ".a", i) + ", 0.0, 1.0);\n";
        }
        fs += std::string("        ") + (toTemp ? "temp" : "current") + " = vec4(rgb, alpha);\n";
        fs += "    }\n";
    }
    if (specularOn) {
        fs += "    current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);\n";
    }
    if (fogMode != D3DFOG_NONE || fogFromSpecular) {
        fs += "    float d = f_eyeDepth;\n";
        switch (fogMode) {
        case D3DFOG_LINEAR:
            fs += "    float range = uFogParams.y - uFogParams.x;\n"
                  "    float fog = range != 0.0 ? clamp((uFogParams.y - d) / range, 0.0, 1.0)\n"
                  "                            : (d < uFogParams.y ? 1.0 : 0.0);\n";
            break;
        case D3DFOG_EXP:
            fs += "    float fog = clamp(exp(-uFogParams.z * d), 0.0, 1.0);\n";
            break;
        case D3DFOG_EXP2:
            fs +=
                "    float fog = clamp(exp(-(uFogParams.z * d) * (uFogParams.z * d)), 0.0, 1.0);\n";
            break;
        default:
            fs += "    float fog = clamp(specular.a, 0.0, 1.0);\n";
            break;
        }
        fs += "    current.rgb = mix(uFogColour.rgb, current.rgb, fog);\n";
    }
    if (alphaFunc != 0) {
        fs += "    int a = int(floor(current.a * 255.0 + 0.5));\n"
              "    int ref = int(uFogParams.w);\n";
        fs += std::string("    if (!(") + compareOp(alphaFunc) + ")) discard;\n";
    }
    fs += "    oColour = current;\n}\n";
    return {vs, gs, fs};
}

namespace {

ColorValue unpack(uint32_t c) {
    return {float((c >> 16) & 255) / 255.0f, float((c >> 8) & 255) / 255.0f,
            float(c & 255) / 255.0f, float(c >> 24) / 255.0f};
}

void put(float* dst, const ColorValue& c) {
    dst[0] = c.r;
    dst[1] = c.g;
    dst[2] = c.b;
    dst[3] = c.a;
}

float asFloat(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// Inverse transpose of the upper 3x3 (row-vector convention), as a 4x4 with zero translation.
Matrix normalMatrix(const Matrix& m) {
    const auto& a = m.m;
    const float c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    const float c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    const float c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    const float c10 = a[0][2] * a[2][1] - a[0][1] * a[2][2];
    const float c11 = a[0][0] * a[2][2] - a[0][2] * a[2][0];
    const float c12 = a[0][1] * a[2][0] - a[0][0] * a[2][1];
    const float c20 = a[0][1] * a[1][2] - a[0][2] * a[1][1];
    const float c21 = a[0][2] * a[1][0] - a[0][0] * a[1][2];
    const float c22 = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    const float det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
    Matrix r = identityMatrix();
    if (std::fabs(det) < 1e-30f) {
        return r;
    }
    const float inv = 1.0f / det;
    // Cofactor matrix / det is the inverse transpose.
    const float cof[3][3] = {{c00, c01, c02}, {c10, c11, c12}, {c20, c21, c22}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r.m[i][j] = cof[i][j] * inv;
        }
    }
    return r;
}

} // namespace

void fillGlobals(const DeviceState& s, Globals* g) {
    std::memset(g, 0, sizeof(*g));
    const Matrix& world = s.transforms[size_t(transformSlot(D3DTS_WORLD))];
    const Matrix& view = s.transforms[D3DTS_VIEW];
    const Matrix wv = multiply(world, view);
    std::memcpy(g->worldView, wv.m, 64);
    std::memcpy(g->projection, s.transforms[D3DTS_PROJECTION].m, 64);
    const Matrix nm = normalMatrix(wv);
    std::memcpy(g->normalMatrix, nm.m, 64);
    put(g->materialDiffuse, s.material.Diffuse);
    put(g->materialAmbient, s.material.Ambient);
    put(g->materialSpecular, s.material.Specular);
    put(g->materialEmissive, s.material.Emissive);
    put(g->ambient, unpack(s.rs[D3DRS_AMBIENT]));
    put(g->texFactor, unpack(s.rs[D3DRS_TEXTUREFACTOR]));
    put(g->fogColour, unpack(s.rs[D3DRS_FOGCOLOR]));
    g->fogParams[0] = asFloat(s.rs[D3DRS_FOGSTART]);
    g->fogParams[1] = asFloat(s.rs[D3DRS_FOGEND]);
    g->fogParams[2] = asFloat(s.rs[D3DRS_FOGDENSITY]);
    g->fogParams[3] = float(s.rs[D3DRS_ALPHAREF] & 0xFF);
    const Viewport& vp = s.viewport;
    g->viewport[0] = float(vp.X);
    g->viewport[1] = float(vp.Y);
    g->viewport[2] = float(std::max(vp.Width, 1u));
    g->viewport[3] = float(std::max(vp.Height, 1u));
    g->pixelParams[0] = 1.0f / g->viewport[2];
    g->pixelParams[1] = 1.0f / g->viewport[3];
    g->pixelParams[2] = s.material.Power;
    uint32_t n = 0;
    for (const LightSlot& slot : s.lights) {
        if (!slot.enabled || n >= kGlLights) {
            continue;
        }
        const Light& l = slot.light;
        put(g->lightDiffuse[n], l.Diffuse);
        put(g->lightSpecular[n], l.Specular);
        put(g->lightAmbient[n], l.Ambient);
        // Directions and positions are world space; lighting runs in camera space.
        const auto& v = view.m;
        float dx = l.Direction.x * v[0][0] + l.Direction.y * v[1][0] + l.Direction.z * v[2][0];
        float dy = l.Direction.x * v[0][1] + l.Direction.y * v[1][1] + l.Direction.z * v[2][1];
        float dz = l.Direction.x * v[0][2] + l.Direction.y * v[1][2] + l.Direction.z * v[2][2];
        const float len = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (len > 0.0f) {
            dx /= -len;
            dy /= -len;
            dz /= -len;
        }
        g->lightDirection[n][0] = dx;
        g->lightDirection[n][1] = dy;
        g->lightDirection[n][2] = dz;
        const Vector& p = l.Position;
        for (int j = 0; j < 3; ++j) {
            g->lightPosition[n][j] = p.x * v[0][j] + p.y * v[1][j] + p.z * v[2][j] + v[3][j];
        }
        g->lightAttenuation[n][0] = l.Attenuation0;
        g->lightAttenuation[n][1] = l.Attenuation1;
        g->lightAttenuation[n][2] = l.Attenuation2;
        g->lightAttenuation[n][3] = l.Range > 0.0f ? l.Range : 3.4e38f;
        ++n;
    }
}

} // namespace gfx::detail
