#include "app/diagnostics.h"

#include "app/demo_app.h"
#include "platform/debugout.h"
#include "platform/gfx/gfx.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

struct ErrorEntry {
    int32_t code;
    const char* name;
};

constexpr ErrorEntry kErrorNames[] = {
    {gfx::D3D_OK, "S_OK"},
    {gfx::E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {gfx::E_NOTIMPL, "E_NOTIMPL"},
    {gfx::E_FAIL, "E_FAIL"},
    {gfx::D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY"},
    {gfx::D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT"},
    {gfx::D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
    {gfx::D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG"},
    {gfx::D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION"},
    {gfx::D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG"},
    {gfx::D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS"},
    {gfx::D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER"},
    {gfx::D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE"},
    {gfx::D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE"},
    {gfx::D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER"},
    {gfx::D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE"},
    {gfx::D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR"},
    {gfx::D3DERR_NOTFOUND, "D3DERR_NOTFOUND"},
    {gfx::D3DERR_MOREDATA, "D3DERR_MOREDATA"},
    {gfx::D3DERR_DEVICELOST, "D3DERR_DEVICELOST"},
    {gfx::D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET"},
    {gfx::D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE"},
    {gfx::D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE"},
    {gfx::D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL"},
    {gfx::D3DERR_DRIVERINVALIDCALL, "D3DERR_DRIVERINVALIDCALL"},
    {gfx::D3DXERR_CANNOTMODIFYINDEXBUFFER, "D3DXERR_CANNOTMODIFYINDEXBUFFER"},
    {gfx::D3DXERR_INVALIDMESH, "D3DXERR_INVALIDMESH"},
    {gfx::D3DXERR_CANNOTATTRSORT, "D3DXERR_CANNOTATTRSORT"},
    {gfx::D3DXERR_SKINNINGNOTSUPPORTED, "D3DXERR_SKINNINGNOTSUPPORTED"},
    {gfx::D3DXERR_TOOMANYINFLUENCES, "D3DXERR_TOOMANYINFLUENCES"},
    {gfx::D3DXERR_INVALIDDATA, "D3DXERR_INVALIDDATA"},
    {gfx::D3DXERR_LOADEDMESHASNODATA, "D3DXERR_LOADEDMESHASNODATA"},
};

constexpr size_t kFormatLimit = 256;  // the format is copied into 256 bytes
constexpr size_t kReportLimit = 1024; // the text is formatted into 1024 bytes

} // namespace

void formatReport(int enabled, const char* format, ...) {
    if (enabled == 0 || format == nullptr) {
        return;
    }
    char cutFormat[kFormatLimit];
    std::strncpy(cutFormat, format, kFormatLimit - 1);
    cutFormat[kFormatLimit - 1] = '\0';
    // NOTE: a cut can leave a dangling '%' at the end; vsnprintf treats it as text.
    char text[kReportLimit];
    va_list args;
    va_start(args, format);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    std::vsnprintf(text, sizeof text, cutFormat, args);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    va_end(args);
    platform::outputDebugString(text);
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void errorName(int32_t result, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        return;
    }
    for (const ErrorEntry& e : kErrorNames) {
        if (e.code == result) {
            std::snprintf(buffer, size_t(size), "%s", e.name);
            return;
        }
    }
    std::snprintf(buffer, size_t(size), "Unrecognized error: 0x%.8x", uint32_t(result));
}

int checkResult(const char* sourceFile, int line, int32_t result) {
    if (result >= 0) {
        return 0;
    }
    char name[128];
    errorName(result, name, sizeof name);
    formatReport(1, "(%s:%d):%s\n", sourceFile, line, name);
    return 1;
}

void Logger::report(int, const char* text) const {
    if (app != nullptr && app->services.log != nullptr) {
        app->services.log("", text);
    }
}
