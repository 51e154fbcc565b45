// The Second part's pictures: the caustics atlas "caustics.jpg" (6 x 6 cells of 64 x 64, the
// first 32 a seamless, tileable loop of light focused by a rippling water surface),
// "spikes.jpg" (the skin of the spikes: ridges along their length, rings across them) and
// the keyed face video "face.mpg" (256 x 192, 15 fps, 16 s, MPEG-2 program stream).
#include "tools/datagen/groups.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace datagen {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kTwoPi = 2 * kPi;

// --- Caustics -----------------------------------------------------------------------------

constexpr int kCell = 64;
constexpr int kCells = 6;
constexpr int kLoopFrames = 32;

struct Wave {
    int kx, ky; // whole periods across the cell, so the surface tiles
    int speed;  // whole turns per loop, so the animation loops
    float amplitude;
};

// Ripples of a few directions and sizes; the slopes bend the light that falls through.
constexpr std::array<Wave, 6> kWaves = {{{1, 1, 1, 0.045f},
                                         {-1, 1, -1, 0.045f},
                                         {1, 0, 2, 0.050f},
                                         {0, 1, -2, 0.050f},
                                         {2, 1, 1, 0.012f},
                                         {1, -2, -1, 0.012f}}};

// One animation frame: photons fall through the surface on a fine grid, are deflected by its
// slope and gathered where they land (wrapping, so the cell tiles). Returns 0..1 intensities.
std::vector<float> causticsFrame(int frame) {
    constexpr int kPhotons = kCell * 10;
    constexpr float kDepth = 1.0f; // how far the light travels after bending
    std::vector<float> light(size_t(kCell) * kCell, 0.0f);
    const float phase = kTwoPi * float(frame) / float(kLoopFrames);
    for (int py = 0; py < kPhotons; ++py) {
        for (int px = 0; px < kPhotons; ++px) {
            const float x = (float(px) + 0.5f) / kPhotons, y = (float(py) + 0.5f) / kPhotons;
            float sx = 0, sy = 0;
            for (const Wave& w : kWaves) {
                const float a =
                    kTwoPi * (float(w.kx) * x + float(w.ky) * y) + float(w.speed) * phase;
                const float slope = w.amplitude * std::cos(a);
                sx += slope * float(w.kx);
                sy += slope * float(w.ky);
            }
            float lx = (x + kDepth * sx) * kCell, ly = (y + kDepth * sy) * kCell;
            lx -= std::floor(lx / kCell) * kCell;
            ly -= std::floor(ly / kCell) * kCell;
            // Bilinear splat keeps the lines smooth.
            const int ix = int(lx), iy = int(ly);
            const float fx = lx - float(ix), fy = ly - float(iy);
            auto add = [&](int cx, int cy, float w) {
                light[size_t((cy + kCell) % kCell) * kCell + size_t((cx + kCell) % kCell)] += w;
            };
            add(ix, iy, (1 - fx) * (1 - fy));
            add(ix + 1, iy, fx * (1 - fy));
            add(ix, iy + 1, (1 - fx) * fy);
            add(ix + 1, iy + 1, fx * fy);
        }
    }
    // A light blur (1 2 1 both ways, wrapping) softens the splats into lines.
    std::vector<float> soft(light.size());
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < kCell; ++y) {
            for (int x = 0; x < kCell; ++x) {
                auto at = [&](int dx, int dy) {
                    const int sx = pass == 0 ? (x + dx + kCell) % kCell : x;
                    const int sy = pass == 1 ? (y + dy + kCell) % kCell : y;
                    return light[size_t(sy) * kCell + size_t(sx)];
                };
                soft[size_t(y) * kCell + size_t(x)] =
                    pass == 0 ? (at(-1, 0) + 2 * at(0, 0) + at(1, 0)) / 4
                              : (at(0, -1) + 2 * at(0, 0) + at(0, 1)) / 4;
            }
        }
        light.swap(soft);
    }
    // Photons per pixel: bright where they crowd, dim between.
    const float mean = float(kPhotons * kPhotons) / float(kCell * kCell);
    for (float& v : light) {
        v = std::min(1.0f, std::pow(v / mean * 0.45f, 1.4f));
    }
    return light;
}

Picture drawCausticsAtlas() {
    Picture atlas(kCell * kCells, kCell * kCells);
    atlas.fill(0, 0, 0);
    for (int f = 0; f < kLoopFrames; ++f) {
        const std::vector<float> light = causticsFrame(f);
        const int ox = (f % kCells) * kCell, oy = (f / kCells) * kCell;
        for (int y = 0; y < kCell; ++y) {
            for (int x = 0; x < kCell; ++x) {
                const float v = light[size_t(y) * kCell + size_t(x)];
                // Blue-green water light, white where it focuses; never black, so the
                // spikes it is laid over keep their own colour between the lines.
                const float r = 0.30f + 0.70f * v * v;
                const float g = 0.42f + 0.58f * v;
                const float b = 0.50f + 0.50f * std::sqrt(v);
                atlas.put(ox + x, oy + y, uint8_t(r * 255), uint8_t(g * 255), uint8_t(b * 255));
            }
        }
    }
    return atlas;
}

// --- Spike skin ---------------------------------------------------------------------------

// 256 x 256; u runs along a spike (left = base), v around it. Ridges run along, growth rings
// across, speckles on top; pale so the light's colour carries the scene.
Picture drawSpikeSkin() {
    constexpr int kSize = 256;
    Picture p(kSize, kSize);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const float u = float(x) / kSize, v = float(y) / kSize;
            // Ridges along the spike, wandering a little; soft growth bands across it.
            const float wander = 2.5f * valueNoise(u * 8, v * 8, 8, 11);
            const float ridge = std::pow(0.5f + 0.5f * std::cos(kTwoPi * 8 * v + wander), 2.0f);
            const float band =
                0.5f + 0.5f * std::cos(kTwoPi * 6 * u + 2.0f * valueNoise(u * 4, v * 4, 4, 23));
            const float mottle = valueNoise(u * 32, v * 32, 32, 37) - 0.5f;
            const float grain = valueNoise(u * 16, v * 16, 16, 41) - 0.5f;
            const float shade = std::clamp(
                0.50f + 0.38f * ridge - 0.10f * band + 0.18f * mottle + 0.12f * grain, 0.0f, 1.0f);
            // Pale bone on the ridges, a warmer coral in the grooves and bands.
            const float warm = std::clamp(0.6f * (1 - ridge) + 0.4f * band, 0.0f, 1.0f);
            const float r = shade * (0.96f + 0.04f * warm);
            const float g = shade * (0.90f - 0.22f * warm);
            const float b = shade * (0.82f - 0.30f * warm);
            p.put(x, y, uint8_t(std::min(r, 1.0f) * 255), uint8_t(std::min(g, 1.0f) * 255),
                  uint8_t(std::min(b, 1.0f) * 255));
        }
    }
    return p;
}

// --- Face video ---------------------------------------------------------------------------

constexpr int kFaceWidth = 256, kFaceHeight = 192, kFaceFps = 15;
constexpr int kFaceFrames = kFaceFps * 16;
// The key colour 0x689DB3 as the Y, Cb, Cr that the decoder turns back into the nearest RGB
// it can reach (104, 156, 178): two levels off, well inside the key's transparent range.
constexpr uint8_t kKeyY = 142, kKeyCb = 143, kKeyCr = 104;

struct Rgb {
    float r, g, b; // 0..1
};

Rgb mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

float smoothEdge(float distance, float width) {
    // 1 inside (distance < 0), 0 outside, over about width pixels.
    return std::clamp(0.5f - distance / width, 0.0f, 1.0f);
}

// Signed distance (roughly, in units of the radii) to an axis-aligned ellipse.
float ellipse(float x, float y, float cx, float cy, float rx, float ry) {
    const float dx = (x - cx) / rx, dy = (y - cy) / ry;
    return (std::sqrt(dx * dx + dy * dy) - 1.0f) * std::min(rx, ry);
}

// Eye openness 0..1: blinks of 0.3 s at irregular times.
float eyeOpenness(float t) {
    constexpr float kBlinks[] = {1.4f, 4.6f, 6.2f, 9.5f, 12.1f, 14.8f};
    float open = 1.0f;
    for (float b : kBlinks) {
        const float d = std::fabs(t - b);
        if (d < 0.15f) {
            open = std::min(open, d / 0.15f);
        }
    }
    return open;
}

// Mouth opening 0..1: phrases of syllables with pauses between.
float mouthOpening(float t) {
    const float phrase = std::fmod(t, 5.0f);
    if (phrase > 3.6f) {
        return 0.0f;
    }
    const float syllable = std::fabs(std::sin(kPi * 3.3f * t));
    const float stress = 0.6f + 0.4f * std::sin(kTwoPi * 0.45f * t + 1.0f);
    return syllable * stress * std::min(1.0f, phrase * 4.0f) * std::min(1.0f, (3.6f - phrase) * 4);
}

// Head yaw in radians: a slow turn from one side to the other.
float headYaw(float t) {
    return 0.45f * std::sin(kTwoPi * t / 16.0f);
}

struct FaceFrame {
    float yaw, open, mouth, nod;
};

// Colour of one point of the picture, or false for the background.
bool faceColour(const FaceFrame& f, float x, float y, Rgb& out) {
    const Rgb skin{0.93f, 0.74f, 0.60f}, hair{0.22f, 0.13f, 0.08f}, shirt{0.16f, 0.20f, 0.30f};
    const float cx = 128.0f, cy = 86.0f + f.nod, rx = 44.0f, ry = 56.0f;
    const float s = std::sin(f.yaw), c = std::cos(f.yaw);
    bool hit = false;
    Rgb colour{0, 0, 0};

    // Shoulders and neck.
    const float shoulders = ellipse(x, y, 128.0f, 215.0f, 105.0f, 62.0f);
    if (shoulders < 1.0f) {
        const float a = smoothEdge(shoulders, 1.5f);
        colour = mix(colour, shirt, hit ? a : 1.0f);
        hit = hit || a > 0.0f;
    }
    const float neck = std::max(std::fabs(x - 128.0f - 4 * s) - 21.0f, cy + 30 - y);
    if (neck < 1.0f && y < 170.0f) {
        const float a = smoothEdge(neck, 1.5f);
        const Rgb shaded = mix(skin, Rgb{0.55f, 0.38f, 0.30f}, 0.35f);
        colour = hit ? mix(colour, shaded, a) : shaded;
        hit = hit || a > 0.0f;
    }
    // Hair behind the head.
    const float back = ellipse(x, y, cx - 3 * s, cy - 8, rx + 6, ry + 4);
    if (back < 1.0f && y < cy + 25) {
        const float a = smoothEdge(back, 1.5f);
        colour = hit ? mix(colour, hair, a) : hair;
        hit = hit || a > 0.0f;
    }
    // Ears, on the side turned away from the viewer less visible.
    for (int side = -1; side <= 1; side += 2) {
        const float ex = cx + float(side) * rx * (c * 0.98f) - s * 4.0f;
        const float d = ellipse(x, y, ex, cy + 2, 7.0f * (0.4f + 0.6f * std::fabs(c)), 12.0f);
        if (d < 1.0f) {
            const float a = smoothEdge(d, 1.5f);
            const Rgb ear = mix(skin, Rgb{0.75f, 0.50f, 0.42f}, 0.3f);
            colour = hit ? mix(colour, ear, a) : ear;
            hit = hit || a > 0.0f;
        }
    }
    // The head: an ellipsoid lit from the upper left.
    const float head = ellipse(x, y, cx, cy, rx, ry);
    if (head >= 1.0f) {
        out = colour;
        return hit;
    }
    const float nx = (x - cx) / rx, ny = (y - cy) / ry;
    const float nz = std::sqrt(std::max(0.0f, 1 - nx * nx - ny * ny));
    const float light =
        std::clamp(0.35f + 0.65f * (-0.45f * nx - 0.35f * ny + 0.82f * nz), 0.0f, 1.0f);
    Rgb face{skin.r * (0.55f + 0.5f * light), skin.g * (0.55f + 0.5f * light),
             skin.b * (0.55f + 0.5f * light)};
    // Where a feature at horizontal angle phi (0 = the middle of the face) appears.
    auto featureX = [&](float phi) { return cx + rx * std::sin(phi + f.yaw); };
    auto squeeze = [&](float phi) { return std::max(0.15f, std::cos(phi + f.yaw)); };

    // Hair on top, with a wavy parting line.
    const float hairline = cy - ry * 0.6f + 4.0f * std::sin((x - cx) * 0.12f + f.yaw * 3);
    if (y < hairline) {
        face = mix(face, hair, smoothEdge(y - hairline, 2.0f));
    }
    // Eyes, brows, lids.
    for (int side = -1; side <= 1; side += 2) {
        const float phi = float(side) * 0.42f;
        const float ex = featureX(phi), ey = cy - 6;
        const float w = 10.0f * squeeze(phi), h = 5.5f;
        const float eye = ellipse(x, y, ex, ey, w, h);
        if (eye < 1.0f) {
            Rgb e{0.95f, 0.95f, 0.93f};
            const float look = 2.5f * std::sin(f.yaw * 1.5f);
            const float iris = ellipse(x, y, ex + look, ey, 4.2f * squeeze(phi), 4.2f);
            e = mix(e, Rgb{0.25f, 0.40f, 0.30f}, smoothEdge(iris, 1.0f));
            const float pupil = ellipse(x, y, ex + look, ey, 2.0f * squeeze(phi), 2.0f);
            e = mix(e, Rgb{0.03f, 0.03f, 0.03f}, smoothEdge(pupil, 1.0f));
            const float glint = ellipse(x, y, ex + look - 1.2f, ey - 1.5f, 0.9f, 0.9f);
            e = mix(e, Rgb{1, 1, 1}, smoothEdge(glint, 0.8f));
            // The upper lid comes down as the eye closes.
            const float lid = ey - h + 2 * h * (1 - f.open);
            const float covered = smoothEdge(y - lid, 1.0f);
            e = mix(e, mix(face, Rgb{0.6f, 0.42f, 0.35f}, 0.25f), covered);
            face = mix(face, e, smoothEdge(eye, 1.0f));
        }
        // Lash line and brow.
        const float lash = std::fabs(ellipse(x, y, ex, ey, w, h)) - 0.6f;
        if (y < ey && f.open > 0.2f) {
            face = mix(face, Rgb{0.15f, 0.09f, 0.07f}, smoothEdge(lash, 1.0f) * 0.8f);
        }
        const float by = ey - 11 - 2.0f * f.mouth;
        const float brow =
            std::max(std::fabs(y - by - 0.04f * (x - ex) * (x - ex) / squeeze(phi)) - 1.6f,
                     std::fabs(x - ex) - 11.0f * squeeze(phi));
        face = mix(face, hair, smoothEdge(brow, 1.2f));
    }
    // Nose: a shadow on the side away from the light and two nostrils.
    const float noseX = featureX(0.0f) + 2.0f * s;
    const float noseShadow = std::max(std::fabs(x - noseX - 3) - 1.2f, std::fabs(y - cy - 8) - 9);
    face = mix(face, Rgb{0.62f, 0.42f, 0.34f}, smoothEdge(noseShadow, 2.0f) * 0.6f);
    for (int side = -1; side <= 1; side += 2) {
        const float d = ellipse(x, y, noseX + float(side) * 4.0f * c, cy + 17, 2.0f, 1.3f);
        face = mix(face, Rgb{0.35f, 0.20f, 0.17f}, smoothEdge(d, 1.0f) * 0.8f);
    }
    // Mouth: lips, and the dark opening with a hint of teeth as it opens.
    const float mx = featureX(0.0f), my = cy + 29;
    const float mw = 15.0f * squeeze(0.0f), open = 1.0f + 7.0f * f.mouth;
    const float lips = ellipse(x, y, mx, my, mw, open + 2.5f);
    face = mix(face, Rgb{0.72f, 0.36f, 0.36f}, smoothEdge(lips, 1.2f));
    if (f.mouth > 0.05f) {
        const float inside = ellipse(x, y, mx, my, mw - 3, open);
        Rgb dark{0.25f, 0.06f, 0.08f};
        if (y < my - open + 2.5f) {
            dark = Rgb{0.92f, 0.90f, 0.85f};
        }
        face = mix(face, dark, smoothEdge(inside, 1.0f));
    } else {
        const float line = std::max(std::fabs(y - my) - 0.7f, std::fabs(x - mx) - mw + 2);
        face = mix(face, Rgb{0.40f, 0.15f, 0.15f}, smoothEdge(line, 1.0f));
    }
    const float a = smoothEdge(head, 1.5f);
    out = hit ? mix(colour, face, a) : face;
    return true;
}

// One frame as planar 4:2:0 Y, Cb, Cr (BT.709 studio range, what the decoder assumes for a
// stream without display information), supersampled 3 x 3. The background is written as the
// key's exact Y, Cb, Cr so the decoder gets it back unchanged.
void faceFrameYuv(float t, std::vector<uint8_t>& yuv) {
    const FaceFrame f{headYaw(t), eyeOpenness(t), mouthOpening(t),
                      2.0f * std::sin(kTwoPi * t / 5.3f)};
    const size_t lumaSize = size_t(kFaceWidth) * kFaceHeight;
    yuv.assign(lumaSize * 3 / 2, 0);
    std::vector<float> cb(lumaSize), cr(lumaSize);
    std::vector<float> coverage(lumaSize);
    for (int y = 0; y < kFaceHeight; ++y) {
        for (int x = 0; x < kFaceWidth; ++x) {
            Rgb sum{0, 0, 0};
            int hits = 0;
            for (int sy = 0; sy < 3; ++sy) {
                for (int sx = 0; sx < 3; ++sx) {
                    Rgb c;
                    if (faceColour(f, float(x) + (float(sx) + 0.5f) / 3,
                                   float(y) + (float(sy) + 0.5f) / 3, c)) {
                        sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                        ++hits;
                    }
                }
            }
            const size_t i = size_t(y) * kFaceWidth + size_t(x);
            coverage[i] = float(hits) / 9.0f;
            // Edges blend towards the key colour itself.
            const Rgb key{104 / 255.0f, 157 / 255.0f, 179 / 255.0f};
            const Rgb c{sum.r + key.r * float(9 - hits), sum.g + key.g * float(9 - hits),
                        sum.b + key.b * float(9 - hits)};
            const float r = c.r / 9, g = c.g / 9, b = c.b / 9;
            const float luma = 0.2126f * r + 0.7152f * g + 0.0722f * b;
            const float pb = (b - luma) / 1.8556f, pr = (r - luma) / 1.5748f;
            yuv[i] = hits == 0 ? kKeyY : uint8_t(std::lround(16 + 219 * luma));
            cb[i] = hits == 0 ? float(kKeyCb) : 128 + 224 * pb;
            cr[i] = hits == 0 ? float(kKeyCr) : 128 + 224 * pr;
        }
    }
    uint8_t* outCb = yuv.data() + lumaSize;
    uint8_t* outCr = outCb + lumaSize / 4;
    for (int y = 0; y < kFaceHeight / 2; ++y) {
        for (int x = 0; x < kFaceWidth / 2; ++x) {
            float sb = 0, sr = 0, cov = 0;
            for (int k = 0; k < 4; ++k) {
                const size_t i = size_t(2 * y + k / 2) * kFaceWidth + size_t(2 * x + k % 2);
                sb += cb[i];
                sr += cr[i];
                cov += coverage[i];
            }
            const size_t o = size_t(y) * (kFaceWidth / 2) + size_t(x);
            outCb[o] = cov == 0 ? kKeyCb : uint8_t(std::clamp(std::lround(sb / 4), 16L, 240L));
            outCr[o] = cov == 0 ? kKeyCr : uint8_t(std::clamp(std::lround(sr / 4), 16L, 240L));
        }
    }
}

void writeFaceVideo(const std::string& path) {
    // One thread and bit-exact flags keep the stream the same on every run. 15 fps is coded
    // as 30 fps with the frame-rate extension 1/2.
    const std::string command =
        "ffmpeg -loglevel error -y -f rawvideo -pix_fmt yuv420p -s 256x192 -r 15 -i - "
        "-threads 1 -flags +bitexact -fflags +bitexact -c:v mpeg2video -q:v 3 -g 15 -bf 2 "
        "-f vob '" +
        path + "'";
    FILE* pipe = popen(command.c_str(), "w");
    if (pipe == nullptr) {
        std::fprintf(stderr, "datagen: ffmpeg not available; face.mpg left as it was\n");
        return;
    }
    std::vector<uint8_t> frame;
    for (int i = 0; i < kFaceFrames; ++i) {
        faceFrameYuv(float(i) / kFaceFps, frame);
        std::fwrite(frame.data(), 1, frame.size(), pipe);
    }
    if (pclose(pipe) != 0) {
        std::fprintf(stderr, "datagen: ffmpeg failed writing face.mpg\n");
        return;
    }
    std::printf("  face.mpg (%d x %d, %d fps, %d frames)\n", kFaceWidth, kFaceHeight, kFaceFps,
                kFaceFrames);
}

} // namespace

void drawSecondPictures(PictureSink& sink) {
    sink.add("caustics.jpg", drawCausticsAtlas());
    sink.add("spikes.jpg", drawSpikeSkin());
    writeFaceVideo(sink.outputPath("face.mpg"));
}

} // namespace datagen
