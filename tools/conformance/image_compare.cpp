// Pixel comparison and the side-by-side picture.
#include "tools/conformance/image_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace conformance {

namespace {

bool masked(const std::vector<MaskRect>& masks, uint32_t x, uint32_t y) {
    for (const MaskRect& m : masks) {
        if (int64_t(x) >= m.x0 && int64_t(x) < m.x1 && int64_t(y) >= m.y0 && int64_t(y) < m.y1) {
            return true;
        }
    }
    return false;
}

uint8_t channel(const Picture& p, uint32_t x, uint32_t y, int c) {
    return uint8_t(p.bgra[(size_t(y) * p.width + x) * 4 + size_t(c)]);
}

void put(Picture& p, uint32_t x, uint32_t y, uint8_t b, uint8_t g, uint8_t r) {
    char* px = p.bgra.data() + (size_t(y) * p.width + x) * 4;
    px[0] = char(b);
    px[1] = char(g);
    px[2] = char(r);
    px[3] = char(255);
}

// The difference panel's pixel at (x, y).
void differencePixel(const Picture& a, const Picture& b, int tolerance,
                     const std::vector<MaskRect>& masks, int gain, uint32_t x, uint32_t y,
                     uint8_t out[3]) {
    if (masked(masks, x, y)) {
        out[0] = 96;
        out[1] = 24;
        out[2] = 24;
        return;
    }
    int worst = 0;
    for (int c = 0; c < 3; ++c) {
        const int d = std::abs(int(channel(a, x, y, c)) - int(channel(b, x, y, c)));
        worst = std::max(worst, d);
        out[c] = uint8_t(std::min(255, d * gain));
    }
    if (worst > tolerance && out[0] < 64 && out[1] < 64 && out[2] < 64) {
        out[0] = 0;
        out[1] = 0;
        out[2] = 255;
    }
}

} // namespace

bool compare(const Picture& a, const Picture& b, int tolerance, const std::vector<MaskRect>& masks,
             Comparison* result, std::string* error) {
    *result = Comparison{};
    if (a.width != b.width || a.height != b.height) {
        *error = "sizes differ: " + std::to_string(a.width) + "x" + std::to_string(a.height) +
                 " and " + std::to_string(b.width) + "x" + std::to_string(b.height);
        return false;
    }
    const size_t bytes = size_t(a.width) * a.height * 4;
    if (a.bgra.size() < bytes || b.bgra.size() < bytes) {
        *error = "picture data shorter than its size";
        return false;
    }
    double squares = 0.0;
    for (uint32_t y = 0; y < a.height; ++y) {
        for (uint32_t x = 0; x < a.width; ++x) {
            if (masked(masks, x, y)) {
                continue;
            }
            int worst = 0;
            for (int c = 0; c < 3; ++c) {
                const int d = int(channel(a, x, y, c)) - int(channel(b, x, y, c));
                worst = std::max(worst, std::abs(d));
                squares += double(d) * d;
            }
            ++result->compared;
            if (worst <= tolerance) {
                ++result->within;
            }
            result->maxDifference = std::max(result->maxDifference, worst);
        }
    }
    if (result->compared != 0) {
        result->fractionWithin = double(result->within) / double(result->compared);
        const double mse = squares / (3.0 * double(result->compared));
        result->psnr =
            mse > 0.0 ? std::min(kIdentical, 10.0 * std::log10(255.0 * 255.0 / mse)) : kIdentical;
    } else {
        result->psnr = kIdentical;
    }
    return true;
}

Picture difference(const Picture& a, const Picture& b, int tolerance,
                   const std::vector<MaskRect>& masks, int gain) {
    Picture out;
    out.width = std::min(a.width, b.width);
    out.height = std::min(a.height, b.height);
    out.bgra.assign(size_t(out.width) * out.height * 4, '\0');
    for (uint32_t y = 0; y < out.height; ++y) {
        for (uint32_t x = 0; x < out.width; ++x) {
            uint8_t d[3];
            differencePixel(a, b, tolerance, masks, gain, x, y, d);
            put(out, x, y, d[0], d[1], d[2]);
        }
    }
    return out;
}

Picture sideBySide(const Picture& a, const Picture& b, int tolerance,
                   const std::vector<MaskRect>& masks, int gain) {
    const Picture diff = difference(a, b, tolerance, masks, gain);
    Picture out;
    const uint32_t panels[3] = {a.width, b.width, diff.width};
    out.width = panels[0] + panels[1] + panels[2];
    out.height = std::max({a.height, b.height, diff.height});
    out.bgra.assign(size_t(out.width) * out.height * 4, '\0');
    const Picture* sources[3] = {&a, &b, &diff};
    uint32_t left = 0;
    for (int p = 0; p < 3; ++p) {
        const Picture& s = *sources[p];
        for (uint32_t y = 0; y < s.height; ++y) {
            for (uint32_t x = 0; x < s.width; ++x) {
                put(out, left + x, y, channel(s, x, y, 0), channel(s, x, y, 1),
                    channel(s, x, y, 2));
            }
        }
        left += panels[p];
    }
    return out;
}

bool parseMask(const std::string& text, MaskRect* mask) {
    long v[4];
    const char* p = text.c_str();
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        v[i] = std::strtol(p, &end, 10);
        if (end == p || v[i] < -100000 || v[i] > 100000) {
            return false;
        }
        p = end;
        if (i < 3) {
            if (*p != ',') {
                return false;
            }
            ++p;
        }
    }
    if (*p != '\0' || v[2] < v[0] || v[3] < v[1]) {
        return false;
    }
    *mask = MaskRect{int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), int32_t(v[3])};
    return true;
}

} // namespace conformance
