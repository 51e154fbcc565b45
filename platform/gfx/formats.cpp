// Pixel, vertex and index formats of the gfx device: sizes, vertex strides, primitive counts,
// the texture-argument check and the conversion of any colour format to B, G, R, A bytes.
// Shared by every implementation; no graphics API here.
#include "platform/gfx/device_base.h"

#include <algorithm>
#include <cstring>

namespace gfx::detail {

uint32_t bytesPerPixel(Format format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D32:
        return 4;
    case D3DFMT_R8G8B8:
        return 3;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D15S1:
        return 2;
    case D3DFMT_A8:
    case D3DFMT_L8:
        return 1;
    default:
        return 0;
    }
}

bool isDepthFormat(Format format) {
    switch (format) {
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D32:
        return true;
    default:
        return false;
    }
}

uint32_t fvfStride(uint32_t fvf) {
    uint32_t size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ:
        size = 12;
        break;
    case D3DFVF_XYZRHW:
        size = 16;
        break;
    case D3DFVF_XYZB1:
    case D3DFVF_XYZB2:
    case D3DFVF_XYZB3:
    case D3DFVF_XYZB4:
    case D3DFVF_XYZB5:
        size = 12 + 4 * (((fvf & D3DFVF_POSITION_MASK) - D3DFVF_XYZ) / 2);
        break;
    default:
        return 0;
    }
    size += (fvf & D3DFVF_NORMAL) ? 12 : 0;
    size += (fvf & D3DFVF_PSIZE) ? 4 : 0;
    size += (fvf & D3DFVF_DIFFUSE) ? 4 : 0;
    size += (fvf & D3DFVF_SPECULAR) ? 4 : 0;
    const uint32_t sets =
        std::min<uint32_t>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT, 8);
    for (uint32_t i = 0; i < sets; ++i) {
        static constexpr uint32_t kFloats[4] = {2, 3, 4, 1};
        size += 4 * kFloats[(fvf >> (16 + 2 * i)) & 3];
    }
    return size;
}

uint32_t verticesFor(uint32_t type, uint32_t n) {
    const uint64_t count = n;
    uint64_t v = 0;
    switch (type) {
    case D3DPT_POINTLIST:
        v = count;
        break;
    case D3DPT_LINELIST:
        v = count * 2;
        break;
    case D3DPT_LINESTRIP:
        v = count + 1;
        break;
    case D3DPT_TRIANGLELIST:
        v = count * 3;
        break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        v = count + 2;
        break;
    default:
        return 0;
    }
    return v > 0xFFFFFFFFu ? 0 : uint32_t(v);
}

HRESULT checkTextureArgs(uint32_t width, uint32_t height, uint32_t* levels, uint32_t usage,
                         Format format, uint32_t pool, uint32_t maxSide) {
    if (levels == nullptr || width == 0 || height == 0 || width > maxSide || height > maxSide ||
        bytesPerPixel(format) == 0 || isDepthFormat(format) ||
        (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY |
                   D3DUSAGE_SOFTWAREPROCESSING)) != 0 ||
        pool > D3DPOOL_SCRATCH) {
        return D3DERR_INVALIDCALL;
    }
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) != 0 && pool != D3DPOOL_DEFAULT) {
        return D3DERR_INVALIDCALL;
    }
    uint32_t chain = 1;
    for (uint32_t side = std::max(width, height); side > 1; side >>= 1) {
        ++chain;
    }
    if (*levels == 0) {
        *levels = chain;
    }
    if (*levels > chain) {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

namespace {

uint8_t expand(uint32_t value, uint32_t bits) {
    const uint32_t max = (1u << bits) - 1;
    return uint8_t((value * 255 + max / 2) / max);
}

} // namespace

void convertToBgra(Format format, const uint8_t* src, uint32_t pitch, uint32_t width,
                   uint32_t height, std::string* out) {
    out->assign(size_t(width) * height * 4, '\0');
    auto* dst = reinterpret_cast<uint8_t*>(out->data());
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = src + size_t(y) * pitch;
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* d = dst + (size_t(y) * width + x) * 4;
            uint16_t p16 = 0;
            if (bytesPerPixel(format) == 2) {
                std::memcpy(&p16, row + 2 * size_t(x), 2);
            }
            switch (format) {
            case D3DFMT_A8R8G8B8:
                std::memcpy(d, row + 4 * size_t(x), 4);
                break;
            case D3DFMT_X8R8G8B8:
                std::memcpy(d, row + 4 * size_t(x), 3);
                d[3] = 255;
                break;
            case D3DFMT_R8G8B8:
                std::memcpy(d, row + 3 * size_t(x), 3);
                d[3] = 255;
                break;
            case D3DFMT_R5G6B5:
                d[0] = expand(p16 & 31, 5);
                d[1] = expand((p16 >> 5) & 63, 6);
                d[2] = expand(p16 >> 11, 5);
                d[3] = 255;
                break;
            case D3DFMT_X1R5G5B5:
            case D3DFMT_A1R5G5B5:
                d[0] = expand(p16 & 31, 5);
                d[1] = expand((p16 >> 5) & 31, 5);
                d[2] = expand((p16 >> 10) & 31, 5);
                d[3] = format == D3DFMT_X1R5G5B5 || (p16 & 0x8000) ? 255 : 0;
                break;
            case D3DFMT_A4R4G4B4:
                d[0] = expand(p16 & 15, 4);
                d[1] = expand((p16 >> 4) & 15, 4);
                d[2] = expand((p16 >> 8) & 15, 4);
                d[3] = expand(p16 >> 12, 4);
                break;
            case D3DFMT_A8:
                d[3] = row[x];
                break;
            case D3DFMT_L8:
                d[0] = d[1] = d[2] = row[x];
                d[3] = 255;
                break;
            default:
                break;
            }
        }
    }
}

} // namespace gfx::detail
