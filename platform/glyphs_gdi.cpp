// The glyph rasteriser over GDI: the faces shipped in data/fonts are added as private fonts
// (visible to this process only), a font is created by face name, and each character is drawn
// white on black with antialiasing into a memory device context holding a 32-bit DIB section.
// The host's installed fonts never decide what is drawn: every name maps to a shipped face.
#include "platform/glyphs.h"

#include "platform/files.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {

// The family name inside each shipped file, as CreateFont asks for it.
const char* familyOf(const char* faceFile) {
    return std::strstr(faceFile, "Mono") != nullptr ? "DejaVu Sans Mono" : "DejaVu Sans";
}

// Adds the face file as a private font once per path; false when GDI cannot load it.
bool addPrivateFont(const std::string& path) {
    static std::vector<std::string> added;
    if (std::find(added.begin(), added.end(), path) != added.end()) {
        return true;
    }
    if (AddFontResourceExA(path.c_str(), FR_PRIVATE, nullptr) == 0) {
        return false;
    }
    added.push_back(path);
    return true;
}

constexpr int kCharacterCount = 256;

class GdiFont final : public GlyphFont {
public:
    GdiFont(HDC dc, HFONT font, std::string path) : dc_(dc), font_(font), path_(std::move(path)) {
        previousFont_ = SelectObject(dc_, font_);
        TEXTMETRICA tm{};
        GetTextMetricsA(dc_, &tm);
        lineHeight_ = tm.tmAscent + tm.tmDescent;
        advances_.fill(-1);
    }
    ~GdiFont() override {
        if (previousBitmap_ != nullptr) {
            SelectObject(dc_, previousBitmap_);
        }
        if (dib_ != nullptr) {
            DeleteObject(dib_);
        }
        SelectObject(dc_, previousFont_);
        DeleteObject(font_);
        DeleteDC(dc_);
    }
    GdiFont(const GdiFont&) = delete;
    GdiFont& operator=(const GdiFont&) = delete;

    GlyphExtent measure(char c) override {
        uint8_t code = uint8_t(c);
        if (advances_[code] < 0) {
            SIZE size{};
            advances_[code] = GetTextExtentPoint32A(dc_, &c, 1, &size) ? int32_t(size.cx) : 0;
        }
        return {advances_[code], lineHeight_};
    }

    void draw(GlyphBitmap& bitmap, int32_t x, int32_t y, char c) override {
        const GlyphExtent cell = measure(c);
        const int32_t cellRight = int32_t(std::min<int64_t>(int64_t(x) + cell.width, bitmap.width));
        const int32_t cellBottom =
            int32_t(std::min<int64_t>(int64_t(y) + cell.height, bitmap.height));
        const int32_t left = std::max(x, 0);
        const int32_t top = std::max(y, 0);
        if (left >= cellRight || top >= cellBottom || !ensureCanvas(cell.width, cell.height)) {
            return;
        }
        // The cell is painted opaquely: black background, white glyph.
        RECT r{0, 0, cell.width, cell.height};
        ExtTextOutA(dc_, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &r, &c, 1, nullptr);
        GdiFlush();
        for (int32_t row = top; row < cellBottom; ++row) {
            const uint32_t* s = bits_ + size_t(row - y) * canvasWidth_;
            uint32_t* d = bitmap.pixels.data() + size_t(row) * bitmap.width;
            for (int32_t col = left; col < cellRight; ++col) {
                uint32_t v = s[col - x] & 0xFFu; // grey: every channel carries the coverage
                d[col] = v | (v << 8) | (v << 16);
            }
        }
    }

    const std::string& facePath() const override { return path_; }

private:
    // A DIB section at least w x h, selected into the memory device context.
    bool ensureCanvas(int32_t w, int32_t h) {
        if (w <= 0 || h <= 0) {
            return false;
        }
        if (dib_ != nullptr && w <= canvasWidth_ && h <= canvasHeight_) {
            return true;
        }
        int32_t cw = std::max(w, canvasWidth_), ch = std::max(h, canvasHeight_);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = cw;
        info.bmiHeader.biHeight = -ch; // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (dib == nullptr || bits == nullptr) {
            return false;
        }
        HGDIOBJ previous = SelectObject(dc_, dib);
        if (previousBitmap_ == nullptr) {
            previousBitmap_ = previous;
        } else {
            DeleteObject(dib_);
        }
        dib_ = dib;
        bits_ = static_cast<uint32_t*>(bits);
        canvasWidth_ = cw;
        canvasHeight_ = ch;
        SetTextColor(dc_, RGB(255, 255, 255));
        SetBkColor(dc_, RGB(0, 0, 0));
        SetBkMode(dc_, OPAQUE);
        SetTextAlign(dc_, TA_TOP | TA_LEFT | TA_NOUPDATECP);
        return true;
    }

    HDC dc_;
    HFONT font_;
    HGDIOBJ previousFont_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    HBITMAP dib_ = nullptr;
    uint32_t* bits_ = nullptr;
    int32_t canvasWidth_ = 0;
    int32_t canvasHeight_ = 0;
    std::string path_;
    int32_t lineHeight_ = 0;
    std::array<int32_t, kCharacterCount> advances_{};
};

} // namespace

std::unique_ptr<GlyphFont> GlyphFont::create(const char* faceName, int pixelHeight, bool bold,
                                             bool italic, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return std::unique_ptr<GlyphFont>();
    };
    if (faceName == nullptr || pixelHeight <= 0) {
        return fail("no face name or no size");
    }
    const char* file = faceFileFor(faceName, bold);
    std::string path = resolveDataPath(file);
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
    } else {
        return fail("cannot open font file " + path);
    }
    if (!addPrivateFont(path)) {
        return fail(path + " is not a font file");
    }
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        return fail("no memory device context");
    }
    // A negative height asks for the em height in pixels, as the FreeType back end sizes it.
    HFONT font =
        CreateFontA(-pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic ? TRUE : FALSE, FALSE,
                    FALSE, ANSI_CHARSET, OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS,
                    ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, familyOf(file));
    if (font == nullptr) {
        DeleteDC(dc);
        return fail(std::string("cannot create a font for '") + faceName + "'");
    }
    return std::make_unique<GdiFont>(dc, font, std::move(path));
}

} // namespace platform
