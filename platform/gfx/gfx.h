// Graphics device stand-in: the part of the Direct3D 8 interface the render driver and the
// scenes use, with Direct3D 8's enumeration values and result codes, so callers keep the
// original numbers. Implementations: GL (OpenGL 3.3 core, in a window or headless through
// EGL) and Null (no rasteriser; lockable memory only). Objects are reference counted
// (release(), or Ref<T>); pixel rows run top first. No platform headers leak from here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace platform {
struct Window;
}

namespace gfx {

using HRESULT = int32_t;

// Result codes: MAKE_D3DHRESULT(code) = 0x88760000 | code.
constexpr HRESULT makeD3dResult(uint32_t code) {
    return HRESULT(0x88760000u | code);
}
constexpr HRESULT D3D_OK = 0;
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = makeD3dResult(2072);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = makeD3dResult(2073);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = makeD3dResult(2074);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = makeD3dResult(2075);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAARG = makeD3dResult(2076);
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = makeD3dResult(2077);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = makeD3dResult(2078);
constexpr HRESULT D3DERR_UNSUPPORTEDFACTORVALUE = makeD3dResult(2079);
constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = makeD3dResult(2081);
constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = makeD3dResult(2082);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREPALETTE = makeD3dResult(2086);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = makeD3dResult(2087);
constexpr HRESULT D3DERR_NOTFOUND = makeD3dResult(2150);
constexpr HRESULT D3DERR_MOREDATA = makeD3dResult(2151);
constexpr HRESULT D3DERR_DEVICELOST = makeD3dResult(2152);
constexpr HRESULT D3DERR_DEVICENOTRESET = makeD3dResult(2153);
constexpr HRESULT D3DERR_NOTAVAILABLE = makeD3dResult(2154);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = makeD3dResult(380);
constexpr HRESULT D3DERR_INVALIDDEVICE = makeD3dResult(2155);
constexpr HRESULT D3DERR_INVALIDCALL = makeD3dResult(2156);
constexpr HRESULT D3DERR_DRIVERINVALIDCALL = makeD3dResult(2157);
constexpr HRESULT D3DXERR_CANNOTMODIFYINDEXBUFFER = HRESULT(0x88760B54u);
constexpr HRESULT D3DXERR_INVALIDMESH = HRESULT(0x88760B55u);
constexpr HRESULT D3DXERR_CANNOTATTRSORT = HRESULT(0x88760B56u);
constexpr HRESULT D3DXERR_SKINNINGNOTSUPPORTED = HRESULT(0x88760B57u);
constexpr HRESULT D3DXERR_TOOMANYINFLUENCES = HRESULT(0x88760B58u);
constexpr HRESULT D3DXERR_INVALIDDATA = HRESULT(0x88760B59u);
constexpr HRESULT D3DXERR_LOADEDMESHASNODATA = HRESULT(0x88760B5Au);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);

constexpr uint32_t D3D_SDK_VERSION = 220;

// Surface formats (D3DFORMAT values).
using Format = uint32_t;
constexpr Format D3DFMT_UNKNOWN = 0;
constexpr Format D3DFMT_R8G8B8 = 20;
constexpr Format D3DFMT_A8R8G8B8 = 21;
constexpr Format D3DFMT_X8R8G8B8 = 22;
constexpr Format D3DFMT_R5G6B5 = 23;
constexpr Format D3DFMT_X1R5G5B5 = 24;
constexpr Format D3DFMT_A1R5G5B5 = 25;
constexpr Format D3DFMT_A4R4G4B4 = 26;
constexpr Format D3DFMT_A8 = 28;
constexpr Format D3DFMT_P8 = 41;
constexpr Format D3DFMT_L8 = 50;
constexpr Format D3DFMT_D16_LOCKABLE = 70;
constexpr Format D3DFMT_D32 = 71;
constexpr Format D3DFMT_D15S1 = 73;
constexpr Format D3DFMT_D24S8 = 75;
constexpr Format D3DFMT_D24X8 = 77;
constexpr Format D3DFMT_D24X4S4 = 79;
constexpr Format D3DFMT_D16 = 80;
constexpr Format D3DFMT_VERTEXDATA = 100;
constexpr Format D3DFMT_INDEX16 = 101;
constexpr Format D3DFMT_INDEX32 = 102;

// Clear flags.
constexpr uint32_t D3DCLEAR_TARGET = 1, D3DCLEAR_ZBUFFER = 2, D3DCLEAR_STENCIL = 4;

// Device creation behaviour flags.
constexpr uint32_t D3DCREATE_FPU_PRESERVE = 0x2;
constexpr uint32_t D3DCREATE_MULTITHREADED = 0x4;
constexpr uint32_t D3DCREATE_PUREDEVICE = 0x10;
constexpr uint32_t D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr uint32_t D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
constexpr uint32_t D3DCREATE_MIXED_VERTEXPROCESSING = 0x80;

constexpr uint32_t D3DADAPTER_DEFAULT = 0;
constexpr uint32_t D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3;
constexpr uint32_t D3DMULTISAMPLE_NONE = 0;
constexpr uint32_t D3DSWAPEFFECT_DISCARD = 1, D3DSWAPEFFECT_FLIP = 2, D3DSWAPEFFECT_COPY = 3;
constexpr uint32_t D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 1;
constexpr uint32_t D3DPRESENT_INTERVAL_DEFAULT = 0, D3DPRESENT_INTERVAL_ONE = 1;
constexpr uint32_t D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;
constexpr uint32_t D3DBACKBUFFER_TYPE_MONO = 0;

// Capability bits.
constexpr uint32_t D3DDEVCAPS_HWTRANSFORMANDLIGHT = 0x0010000;
constexpr uint32_t D3DDEVCAPS_HWRASTERIZATION = 0x0080000;
constexpr uint32_t D3DPRASTERCAPS_ZTEST = 0x00000010;
constexpr uint32_t D3DPRASTERCAPS_FOGTABLE = 0x00000100;
constexpr uint32_t D3DPRASTERCAPS_WBUFFER = 0x00040000;
constexpr uint32_t D3DPRASTERCAPS_WFOG = 0x00100000;
constexpr uint32_t D3DPRASTERCAPS_ZFOG = 0x00200000;
constexpr uint32_t D3DPMISCCAPS_CULLNONE = 0x10, D3DPMISCCAPS_CULLCW = 0x20,
                   D3DPMISCCAPS_CULLCCW = 0x40;
constexpr uint32_t D3DPTEXTURECAPS_PERSPECTIVE = 0x1, D3DPTEXTURECAPS_ALPHA = 0x4,
                   D3DPTEXTURECAPS_MIPMAP = 0x4000;

// Resource usage, pools, lock flags.
constexpr uint32_t D3DUSAGE_RENDERTARGET = 0x01;
constexpr uint32_t D3DUSAGE_DEPTHSTENCIL = 0x02;
constexpr uint32_t D3DUSAGE_WRITEONLY = 0x08;
constexpr uint32_t D3DUSAGE_SOFTWAREPROCESSING = 0x10;
constexpr uint32_t D3DUSAGE_DONOTCLIP = 0x20;
constexpr uint32_t D3DUSAGE_POINTS = 0x40;
constexpr uint32_t D3DUSAGE_DYNAMIC = 0x200;
constexpr uint32_t D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2,
                   D3DPOOL_SCRATCH = 3;
constexpr uint32_t D3DLOCK_READONLY = 0x0010;
constexpr uint32_t D3DLOCK_NOSYSLOCK = 0x0800;
constexpr uint32_t D3DLOCK_NOOVERWRITE = 0x1000;
constexpr uint32_t D3DLOCK_DISCARD = 0x2000;
constexpr uint32_t D3DLOCK_NO_DIRTY_UPDATE = 0x8000;
constexpr uint32_t D3DRTYPE_SURFACE = 1, D3DRTYPE_TEXTURE = 3, D3DRTYPE_VERTEXBUFFER = 6,
                   D3DRTYPE_INDEXBUFFER = 7;

// Flexible vertex format bits.
constexpr uint32_t D3DFVF_POSITION_MASK = 0x000E;
constexpr uint32_t D3DFVF_XYZ = 0x0002;
constexpr uint32_t D3DFVF_XYZRHW = 0x0004;
constexpr uint32_t D3DFVF_XYZB1 = 0x0006, D3DFVF_XYZB2 = 0x0008, D3DFVF_XYZB3 = 0x000a,
                   D3DFVF_XYZB4 = 0x000c, D3DFVF_XYZB5 = 0x000e;
constexpr uint32_t D3DFVF_NORMAL = 0x0010;
constexpr uint32_t D3DFVF_PSIZE = 0x0020;
constexpr uint32_t D3DFVF_DIFFUSE = 0x0040;
constexpr uint32_t D3DFVF_SPECULAR = 0x0080;
constexpr uint32_t D3DFVF_TEXCOUNT_MASK = 0x0f00;
constexpr uint32_t D3DFVF_TEXCOUNT_SHIFT = 8;
constexpr uint32_t D3DFVF_TEX0 = 0x000, D3DFVF_TEX1 = 0x100, D3DFVF_TEX2 = 0x200,
                   D3DFVF_TEX3 = 0x300, D3DFVF_TEX4 = 0x400, D3DFVF_TEX5 = 0x500,
                   D3DFVF_TEX6 = 0x600, D3DFVF_TEX7 = 0x700, D3DFVF_TEX8 = 0x800;
constexpr uint32_t D3DFVF_LASTBETA_UBYTE4 = 0x1000;
// Texture coordinate size codes, two bits per set from bit 16: 0 = 2 floats, 1 = 3, 2 = 4, 3 = 1.
constexpr uint32_t D3DFVF_TEXTUREFORMAT1 = 3, D3DFVF_TEXTUREFORMAT2 = 0, D3DFVF_TEXTUREFORMAT3 = 1,
                   D3DFVF_TEXTUREFORMAT4 = 2;
constexpr uint32_t fvfTexCoordSize1(uint32_t set) {
    return 3u << (set * 2 + 16);
}
constexpr uint32_t fvfTexCoordSize3(uint32_t set) {
    return 1u << (set * 2 + 16);
}
constexpr uint32_t fvfTexCoordSize4(uint32_t set) {
    return 2u << (set * 2 + 16);
}

// Primitive types.
constexpr uint32_t D3DPT_POINTLIST = 1, D3DPT_LINELIST = 2, D3DPT_LINESTRIP = 3,
                   D3DPT_TRIANGLELIST = 4, D3DPT_TRIANGLESTRIP = 5, D3DPT_TRIANGLEFAN = 6;

// Transform slots (D3DTRANSFORMSTATETYPE).
constexpr uint32_t D3DTS_VIEW = 2, D3DTS_PROJECTION = 3, D3DTS_TEXTURE0 = 16;
constexpr uint32_t d3dtsWorldMatrix(uint32_t index) {
    return index + 256;
}
constexpr uint32_t D3DTS_WORLD = 256, D3DTS_WORLD1 = 257, D3DTS_WORLD2 = 258, D3DTS_WORLD3 = 259;

// Render states (D3DRENDERSTATETYPE).
constexpr uint32_t D3DRS_ZENABLE = 7, D3DRS_FILLMODE = 8, D3DRS_SHADEMODE = 9,
                   D3DRS_LINEPATTERN = 10, D3DRS_ZWRITEENABLE = 14, D3DRS_ALPHATESTENABLE = 15,
                   D3DRS_LASTPIXEL = 16, D3DRS_SRCBLEND = 19, D3DRS_DESTBLEND = 20,
                   D3DRS_CULLMODE = 22, D3DRS_ZFUNC = 23, D3DRS_ALPHAREF = 24, D3DRS_ALPHAFUNC = 25,
                   D3DRS_DITHERENABLE = 26, D3DRS_ALPHABLENDENABLE = 27, D3DRS_FOGENABLE = 28,
                   D3DRS_SPECULARENABLE = 29, D3DRS_ZVISIBLE = 30, D3DRS_FOGCOLOR = 34,
                   D3DRS_FOGTABLEMODE = 35, D3DRS_FOGSTART = 36, D3DRS_FOGEND = 37,
                   D3DRS_FOGDENSITY = 38, D3DRS_EDGEANTIALIAS = 40, D3DRS_ZBIAS = 47,
                   D3DRS_RANGEFOGENABLE = 48, D3DRS_STENCILENABLE = 52, D3DRS_STENCILFAIL = 53,
                   D3DRS_STENCILZFAIL = 54, D3DRS_STENCILPASS = 55, D3DRS_STENCILFUNC = 56,
                   D3DRS_STENCILREF = 57, D3DRS_STENCILMASK = 58, D3DRS_STENCILWRITEMASK = 59,
                   D3DRS_TEXTUREFACTOR = 60, D3DRS_WRAP0 = 128, D3DRS_WRAP1 = 129,
                   D3DRS_WRAP2 = 130, D3DRS_WRAP3 = 131, D3DRS_WRAP4 = 132, D3DRS_WRAP5 = 133,
                   D3DRS_WRAP6 = 134, D3DRS_WRAP7 = 135, D3DRS_CLIPPING = 136, D3DRS_LIGHTING = 137,
                   D3DRS_AMBIENT = 139, D3DRS_FOGVERTEXMODE = 140, D3DRS_COLORVERTEX = 141,
                   D3DRS_LOCALVIEWER = 142, D3DRS_NORMALIZENORMALS = 143,
                   D3DRS_DIFFUSEMATERIALSOURCE = 145, D3DRS_SPECULARMATERIALSOURCE = 146,
                   D3DRS_AMBIENTMATERIALSOURCE = 147, D3DRS_EMISSIVEMATERIALSOURCE = 148,
                   D3DRS_VERTEXBLEND = 151, D3DRS_CLIPPLANEENABLE = 152,
                   D3DRS_SOFTWAREVERTEXPROCESSING = 153, D3DRS_POINTSIZE = 154,
                   D3DRS_POINTSIZE_MIN = 155, D3DRS_POINTSPRITEENABLE = 156,
                   D3DRS_POINTSCALEENABLE = 157, D3DRS_POINTSCALE_A = 158, D3DRS_POINTSCALE_B = 159,
                   D3DRS_POINTSCALE_C = 160, D3DRS_MULTISAMPLEANTIALIAS = 161,
                   D3DRS_MULTISAMPLEMASK = 162, D3DRS_PATCHEDGESTYLE = 163,
                   D3DRS_PATCHSEGMENTS = 164, D3DRS_DEBUGMONITORTOKEN = 165,
                   D3DRS_POINTSIZE_MAX = 166, D3DRS_INDEXEDVERTEXBLENDENABLE = 167,
                   D3DRS_COLORWRITEENABLE = 168, D3DRS_TWEENFACTOR = 170, D3DRS_BLENDOP = 171;
// Render-state values.
constexpr uint32_t D3DZB_FALSE = 0, D3DZB_TRUE = 1, D3DZB_USEW = 2;
constexpr uint32_t D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3;
constexpr uint32_t D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2, D3DSHADE_PHONG = 3;
constexpr uint32_t D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_SRCCOLOR = 3,
                   D3DBLEND_INVSRCCOLOR = 4, D3DBLEND_SRCALPHA = 5, D3DBLEND_INVSRCALPHA = 6,
                   D3DBLEND_DESTALPHA = 7, D3DBLEND_INVDESTALPHA = 8, D3DBLEND_DESTCOLOR = 9,
                   D3DBLEND_INVDESTCOLOR = 10, D3DBLEND_SRCALPHASAT = 11,
                   D3DBLEND_BOTHSRCALPHA = 12, D3DBLEND_BOTHINVSRCALPHA = 13;
constexpr uint32_t D3DBLENDOP_ADD = 1, D3DBLENDOP_SUBTRACT = 2, D3DBLENDOP_REVSUBTRACT = 3,
                   D3DBLENDOP_MIN = 4, D3DBLENDOP_MAX = 5;
constexpr uint32_t D3DCMP_NEVER = 1, D3DCMP_LESS = 2, D3DCMP_EQUAL = 3, D3DCMP_LESSEQUAL = 4,
                   D3DCMP_GREATER = 5, D3DCMP_NOTEQUAL = 6, D3DCMP_GREATEREQUAL = 7,
                   D3DCMP_ALWAYS = 8;
constexpr uint32_t D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3;
constexpr uint32_t D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3;
constexpr uint32_t D3DSTENCILOP_KEEP = 1, D3DSTENCILOP_ZERO = 2, D3DSTENCILOP_REPLACE = 3,
                   D3DSTENCILOP_INCRSAT = 4, D3DSTENCILOP_DECRSAT = 5, D3DSTENCILOP_INVERT = 6,
                   D3DSTENCILOP_INCR = 7, D3DSTENCILOP_DECR = 8;
constexpr uint32_t D3DMCS_MATERIAL = 0, D3DMCS_COLOR1 = 1, D3DMCS_COLOR2 = 2;
constexpr uint32_t D3DWRAP_U = 1, D3DWRAP_V = 2, D3DWRAP_W = 4;
constexpr uint32_t D3DCOLORWRITEENABLE_RED = 1, D3DCOLORWRITEENABLE_GREEN = 2,
                   D3DCOLORWRITEENABLE_BLUE = 4, D3DCOLORWRITEENABLE_ALPHA = 8;
constexpr uint32_t D3DVBF_DISABLE = 0;

// Texture-stage states (D3DTEXTURESTAGESTATETYPE) and their values.
constexpr uint32_t D3DTSS_COLOROP = 1, D3DTSS_COLORARG1 = 2, D3DTSS_COLORARG2 = 3,
                   D3DTSS_ALPHAOP = 4, D3DTSS_ALPHAARG1 = 5, D3DTSS_ALPHAARG2 = 6,
                   D3DTSS_BUMPENVMAT00 = 7, D3DTSS_BUMPENVMAT01 = 8, D3DTSS_BUMPENVMAT10 = 9,
                   D3DTSS_BUMPENVMAT11 = 10, D3DTSS_TEXCOORDINDEX = 11, D3DTSS_ADDRESSU = 13,
                   D3DTSS_ADDRESSV = 14, D3DTSS_BORDERCOLOR = 15, D3DTSS_MAGFILTER = 16,
                   D3DTSS_MINFILTER = 17, D3DTSS_MIPFILTER = 18, D3DTSS_MIPMAPLODBIAS = 19,
                   D3DTSS_MAXMIPLEVEL = 20, D3DTSS_MAXANISOTROPY = 21, D3DTSS_BUMPENVLSCALE = 22,
                   D3DTSS_BUMPENVLOFFSET = 23, D3DTSS_TEXTURETRANSFORMFLAGS = 24,
                   D3DTSS_ADDRESSW = 25, D3DTSS_COLORARG0 = 26, D3DTSS_ALPHAARG0 = 27,
                   D3DTSS_RESULTARG = 28;
constexpr uint32_t D3DTOP_DISABLE = 1, D3DTOP_SELECTARG1 = 2, D3DTOP_SELECTARG2 = 3,
                   D3DTOP_MODULATE = 4, D3DTOP_MODULATE2X = 5, D3DTOP_MODULATE4X = 6,
                   D3DTOP_ADD = 7, D3DTOP_ADDSIGNED = 8, D3DTOP_ADDSIGNED2X = 9,
                   D3DTOP_SUBTRACT = 10, D3DTOP_ADDSMOOTH = 11, D3DTOP_BLENDDIFFUSEALPHA = 12,
                   D3DTOP_BLENDTEXTUREALPHA = 13, D3DTOP_BLENDFACTORALPHA = 14,
                   D3DTOP_BLENDTEXTUREALPHAPM = 15, D3DTOP_BLENDCURRENTALPHA = 16,
                   D3DTOP_PREMODULATE = 17, D3DTOP_MODULATEALPHA_ADDCOLOR = 18,
                   D3DTOP_MODULATECOLOR_ADDALPHA = 19, D3DTOP_MODULATEINVALPHA_ADDCOLOR = 20,
                   D3DTOP_MODULATEINVCOLOR_ADDALPHA = 21, D3DTOP_BUMPENVMAP = 22,
                   D3DTOP_BUMPENVMAPLUMINANCE = 23, D3DTOP_DOTPRODUCT3 = 24,
                   D3DTOP_MULTIPLYADD = 25, D3DTOP_LERP = 26;
constexpr uint32_t D3DTA_SELECTMASK = 0x0f, D3DTA_DIFFUSE = 0, D3DTA_CURRENT = 1, D3DTA_TEXTURE = 2,
                   D3DTA_TFACTOR = 3, D3DTA_SPECULAR = 4, D3DTA_TEMP = 5, D3DTA_COMPLEMENT = 0x10,
                   D3DTA_ALPHAREPLICATE = 0x20;
constexpr uint32_t D3DTADDRESS_WRAP = 1, D3DTADDRESS_MIRROR = 2, D3DTADDRESS_CLAMP = 3,
                   D3DTADDRESS_BORDER = 4, D3DTADDRESS_MIRRORONCE = 5;
constexpr uint32_t D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2, D3DTEXF_ANISOTROPIC = 3;
constexpr uint32_t D3DTTFF_DISABLE = 0;
constexpr uint32_t D3DTSS_TCI_PASSTHRU = 0;

// Lights and state blocks.
constexpr uint32_t D3DLIGHT_POINT = 1, D3DLIGHT_SPOT = 2, D3DLIGHT_DIRECTIONAL = 3;
constexpr uint32_t D3DSBT_ALL = 1, D3DSBT_PIXELSTATE = 2, D3DSBT_VERTEXSTATE = 3;

struct DisplayMode {
    uint32_t Width;
    uint32_t Height;
    uint32_t RefreshRate;
    gfx::Format Format;
};

struct PresentParameters {
    uint32_t BackBufferWidth;
    uint32_t BackBufferHeight;
    Format BackBufferFormat;
    uint32_t BackBufferCount;
    uint32_t MultiSampleType;
    uint32_t SwapEffect;
    platform::Window* hDeviceWindow;
    int32_t Windowed;
    int32_t EnableAutoDepthStencil;
    Format AutoDepthStencilFormat;
    uint32_t Flags;
    uint32_t FullScreen_RefreshRateInHz;
    uint32_t FullScreen_PresentationInterval;
};

// The capability fields the program and the driver read (a subset of D3DCAPS8, same meaning).
struct Caps {
    uint32_t DeviceType;
    uint32_t AdapterOrdinal;
    uint32_t DevCaps;
    uint32_t RasterCaps;
    uint32_t MaxTextureWidth;
    uint32_t MaxTextureHeight;
    uint32_t MaxActiveLights;
    uint32_t MaxTextureBlendStages;
    uint32_t MaxSimultaneousTextures;
    uint32_t MaxPrimitiveCount;
    uint32_t MaxVertexIndex;
    uint32_t PrimitiveMiscCaps;
    uint32_t TextureCaps;
    uint32_t MaxStreams;
};

struct Rect {
    int32_t left, top, right, bottom;
};

struct ColorValue {
    float r, g, b, a;
};

struct Vector {
    float x, y, z;
};

// Row-vector convention as in Direct3D: v' = v * M, translation in m[3][0..2].
struct Matrix {
    float m[4][4];
};

struct Material {
    ColorValue Diffuse;
    ColorValue Ambient;
    ColorValue Specular;
    ColorValue Emissive;
    float Power;
};

struct Light {
    uint32_t Type;
    ColorValue Diffuse;
    ColorValue Specular;
    ColorValue Ambient;
    Vector Position;
    Vector Direction;
    float Range;
    float Falloff;
    float Attenuation0;
    float Attenuation1;
    float Attenuation2;
    float Theta;
    float Phi;
};

// Pixels of the render target; MinZ..MaxZ is the depth range.
struct Viewport {
    uint32_t X;
    uint32_t Y;
    uint32_t Width;
    uint32_t Height;
    float MinZ;
    float MaxZ;
};

// Pitch in bytes; row 0 is the top of the picture.
struct LockedRect {
    int32_t Pitch;
    void* pBits;
};

struct SurfaceDesc {
    gfx::Format Format;
    uint32_t Type;
    uint32_t Usage;
    uint32_t Pool;
    uint32_t Size;
    uint32_t MultiSampleType;
    uint32_t Width;
    uint32_t Height;
};

struct VertexBufferDesc {
    gfx::Format Format;
    uint32_t Type;
    uint32_t Usage;
    uint32_t Pool;
    uint32_t Size;
    uint32_t FVF;
};

struct IndexBufferDesc {
    gfx::Format Format;
    uint32_t Type;
    uint32_t Usage;
    uint32_t Pool;
    uint32_t Size;
};

// Reference-counted device object: created with one reference; release() frees it at zero
// and returns the references left. Objects the device binds (textures, buffers, surfaces)
// are kept alive by the device while bound.
class Resource {
public:
    Resource(const Resource&) = delete;
    Resource& operator=(const Resource&) = delete;
    uint32_t addRef() { return ++refs_; }
    uint32_t release() {
        uint32_t left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    Resource() = default;
    virtual ~Resource() = default;

private:
    uint32_t refs_ = 1;
};

// Owning handle for a Resource: releases its reference when it goes.
template <class T> class Ref {
public:
    Ref() = default;
    explicit Ref(T* adopt) : p_(adopt) {}
    Ref(const Ref& o) : p_(o.p_) {
        if (p_ != nullptr) {
            p_->addRef();
        }
    }
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() { reset(); }
    // A new reference to an object someone else holds.
    static Ref share(T* p) {
        if (p != nullptr) {
            p->addRef();
        }
        return Ref(p);
    }
    void reset() {
        if (p_ != nullptr) {
            T* p = p_;
            p_ = nullptr;
            p->release();
        }
    }
    // Releases what it holds and gives the slot to a create/get call.
    T** put() {
        reset();
        return &p_;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

class Surface : public Resource {
public:
    virtual HRESULT getDesc(SurfaceDesc* desc) = 0;
    // rect null locks the whole surface. Refused (D3DERR_INVALIDCALL) for surfaces that cannot
    // be locked (render-target textures, depth surfaces on the GL device) and while locked.
    virtual HRESULT lockRect(LockedRect* locked, const Rect* rect, uint32_t flags) = 0;
    virtual HRESULT unlockRect() = 0;
};

class Texture : public Resource {
public:
    virtual uint32_t getLevelCount() = 0;
    virtual HRESULT getLevelDesc(uint32_t level, SurfaceDesc* desc) = 0;
    // *surface gets a new reference to the level (release it when done).
    virtual HRESULT getSurfaceLevel(uint32_t level, Surface** surface) = 0;
    virtual HRESULT lockRect(uint32_t level, LockedRect* locked, const Rect* rect,
                             uint32_t flags) = 0;
    virtual HRESULT unlockRect(uint32_t level) = 0;
};

class VertexBuffer : public Resource {
public:
    // offset and size in bytes; size 0 locks from offset to the end.
    virtual HRESULT lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) = 0;
    virtual HRESULT unlock() = 0;
    virtual HRESULT getDesc(VertexBufferDesc* desc) = 0;
};

class IndexBuffer : public Resource {
public:
    virtual HRESULT lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) = 0;
    virtual HRESULT unlock() = 0;
    virtual HRESULT getDesc(IndexBufferDesc* desc) = 0;
};

class Device;
// Which implementation createDirect3D hands out.
enum class Backend {
    GlWindow,   // OpenGL 3.3 core in the SDL window given at device creation
    GlHeadless, // OpenGL 3.3 core through EGL on Mesa's surfaceless platform
    Null,       // no rasteriser
    Direct3D8,  // the real Direct3D 8 (d3d8.dll; Windows build only)
};

class Direct3D {
public:
    virtual ~Direct3D() = default;
    virtual HRESULT getAdapterDisplayMode(uint32_t adapter, DisplayMode* mode) = 0;
    virtual HRESULT getDeviceCaps(uint32_t adapter, uint32_t deviceType, Caps* caps) = 0;
    // On success *device owns a new device; the caller deletes it (or wraps it).
    virtual HRESULT createDevice(uint32_t adapter, uint32_t deviceType,
                                 platform::Window* focusWindow, uint32_t behaviourFlags,
                                 PresentParameters* parameters, Device** device) = 0;
};

// Null when the SDK version is wrong or the backend cannot start (see lastError()).
std::unique_ptr<Direct3D> createDirect3D(uint32_t sdkVersion, Backend backend);

// A line that says why the last creation failed (GL version found, EGL error, ...).
const std::string& lastError();

class Device {
public:
    virtual ~Device() = default;
    virtual HRESULT testCooperativeLevel() = 0;
    // Resizes the back buffer, recreates the automatic depth surface and returns every state
    // to its creation default. Textures, buffers and surfaces created before stay valid.
    virtual HRESULT reset(PresentParameters* parameters) = 0;
    virtual HRESULT getDeviceCaps(Caps* caps) = 0;
    virtual HRESULT getDisplayMode(DisplayMode* mode) = 0;
    // Clears the viewport of the current render target (and the given rectangles within it).
    virtual HRESULT clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t colour,
                          float z, uint32_t stencil) = 0;
    virtual HRESULT beginScene() = 0;
    virtual HRESULT endScene() = 0;
    virtual HRESULT present() = 0;
    // Reads the current back buffer as top-down rows of B, G, R, A bytes (width * 4 each).
    virtual HRESULT readBackBuffer(uint32_t* width, uint32_t* height, std::string* pixels) = 0;
    // The same for any colour surface (a render-target texture level, the back buffer).
    virtual HRESULT readSurface(Surface* surface, uint32_t* width, uint32_t* height,
                                std::string* pixels) = 0;

    // Resources; each out pointer receives one reference.
    virtual HRESULT createTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                  Format format, uint32_t pool, Texture** texture) = 0;
    virtual HRESULT createVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                                       VertexBuffer** buffer) = 0;
    virtual HRESULT createIndexBuffer(uint32_t length, uint32_t usage, Format format, uint32_t pool,
                                      IndexBuffer** buffer) = 0;
    virtual HRESULT createDepthStencilSurface(uint32_t width, uint32_t height, Format format,
                                              uint32_t multiSample, Surface** surface) = 0;
    virtual HRESULT getBackBuffer(uint32_t index, uint32_t type, Surface** surface) = 0;
    // colour null keeps the current colour target; depth null renders without depth.
    // Resets the viewport to the whole colour target.
    virtual HRESULT setRenderTarget(Surface* colour, Surface* depth) = 0;
    virtual HRESULT getRenderTarget(Surface** surface) = 0;
    virtual HRESULT getDepthStencilSurface(Surface** surface) = 0;

    // Fixed-function state.
    virtual HRESULT setTransform(uint32_t state, const Matrix* matrix) = 0;
    virtual HRESULT getTransform(uint32_t state, Matrix* matrix) = 0;
    virtual HRESULT multiplyTransform(uint32_t state, const Matrix* matrix) = 0;
    virtual HRESULT setViewport(const Viewport* viewport) = 0;
    // A promise that nothing the following draws put outside this rectangle of the current
    // target will be seen (something opaque covers it, or nothing samples it), so a device
    // may skip those pixels; null lifts it. Draws only, not clears; reset() lifts it too.
    // Devices that cannot use it keep drawing everything, with the same picture.
    virtual HRESULT setDrawBounds(const Rect* bounds) {
        (void)bounds;
        return D3D_OK;
    }
    virtual HRESULT getViewport(Viewport* viewport) = 0;
    virtual HRESULT setMaterial(const Material* material) = 0;
    virtual HRESULT getMaterial(Material* material) = 0;
    virtual HRESULT setLight(uint32_t index, const Light* light) = 0;
    virtual HRESULT getLight(uint32_t index, Light* light) = 0;
    virtual HRESULT lightEnable(uint32_t index, int32_t enable) = 0;
    virtual HRESULT getLightEnable(uint32_t index, int32_t* enable) = 0;
    virtual HRESULT setRenderState(uint32_t state, uint32_t value) = 0;
    virtual HRESULT getRenderState(uint32_t state, uint32_t* value) = 0;
    virtual HRESULT setTextureStageState(uint32_t stage, uint32_t type, uint32_t value) = 0;
    virtual HRESULT getTextureStageState(uint32_t stage, uint32_t type, uint32_t* value) = 0;
    // texture null binds nothing (stages then sample opaque white).
    virtual HRESULT setTexture(uint32_t stage, Texture* texture) = 0;
    virtual HRESULT getTexture(uint32_t stage, Texture** texture) = 0;

    // Vertex input. setVertexShader takes a flexible vertex format (FVF bits).
    virtual HRESULT setVertexShader(uint32_t fvf) = 0;
    virtual HRESULT getVertexShader(uint32_t* fvf) = 0;
    // Only 0 (the fixed-function pixel pipeline) is accepted.
    virtual HRESULT setPixelShader(uint32_t handle) = 0;
    virtual HRESULT setStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) = 0;
    virtual HRESULT setIndices(IndexBuffer* buffer, uint32_t baseVertexIndex) = 0;

    // Drawing; primitive counts as Direct3D counts them.
    virtual HRESULT drawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount) = 0;
    virtual HRESULT drawIndexedPrimitive(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                         uint32_t startIndex, uint32_t primitiveCount) = 0;
    virtual HRESULT drawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* vertices,
                                    uint32_t stride) = 0;
    virtual HRESULT drawIndexedPrimitiveUP(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                           uint32_t primitiveCount, const void* indices,
                                           Format indexFormat, const void* vertices,
                                           uint32_t stride) = 0;

    // State blocks, named by non-zero tokens.
    virtual HRESULT beginStateBlock() = 0;
    virtual HRESULT endStateBlock(uint32_t* token) = 0;
    virtual HRESULT applyStateBlock(uint32_t token) = 0;
    virtual HRESULT captureStateBlock(uint32_t token) = 0;
    virtual HRESULT deleteStateBlock(uint32_t token) = 0;
    virtual HRESULT createStateBlock(uint32_t type, uint32_t* token) = 0;
};

} // namespace gfx
