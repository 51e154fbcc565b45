// The Domino rally's pictures: "tunnel.jpg", riveted steel panels that tile round the pipe
// and along it, and "ice-dragon.jpg", a pale dragon coiled on deep blue ice, which the spiral
// field shows domino by domino and the closing picture shows whole. Both 256 / 512 square.
#include "tools/datagen/groups.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace datagen {

namespace {

constexpr float kPi = 3.14159265f;
constexpr uint32_t kTunnelSize = 256;
constexpr uint32_t kDragonSize = 512;
// Panels per tile side: the tunnel maps u once round and v four times along each stretch.
constexpr int kPanels = 4;

uint8_t clampByte(float v) {
    return uint8_t(std::clamp(v, 0.0f, 255.0f));
}

Picture drawTunnel() {
    Picture p(kTunnelSize, kTunnelSize);
    const float panel = float(kTunnelSize) / kPanels;
    for (uint32_t y = 0; y < kTunnelSize; ++y) {
        for (uint32_t x = 0; x < kTunnelSize; ++x) {
            const float fx = std::fmod(float(x), panel), fy = std::fmod(float(y), panel);
            const float edge = std::min(std::min(fx, panel - 1 - fx), std::min(fy, panel - 1 - fy));
            const float grain = valueNoise(float(x) / 8, float(y) / 32, 32, 7) * 0.6f +
                                valueNoise(float(x) / 32, float(y) / 32, 8, 8) * 0.4f;
            float shade = 90 + 70 * grain;
            if (edge < 3) {
                shade *= 0.35f; // dark seams
            } else if (edge < 6) {
                shade *= 1.25f; // bevel highlight
            }
            p.put(int(x), int(y), clampByte(shade * 0.8f), clampByte(shade * 0.9f),
                  clampByte(shade * 1.05f));
        }
    }
    // Rivets at the panel corners.
    for (int i = 0; i < kPanels; ++i) {
        for (int j = 0; j < kPanels; ++j) {
            for (float dx : {10.0f, panel - 10}) {
                for (float dy : {10.0f, panel - 10}) {
                    p.disc(float(i) * panel + dx, float(j) * panel + dy, 3.5f, 210, 215, 225);
                }
            }
        }
    }
    return p;
}

struct Vec {
    float x, y;
};
Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y};
}
Vec operator*(Vec a, float k) {
    return {a.x * k, a.y * k};
}
float dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y;
}
float cross(Vec a, Vec b) {
    return a.x * b.y - a.y * b.x;
}
Vec normalised(Vec a) {
    const float l = std::sqrt(dot(a, a));
    return l > 0 ? a * (1 / l) : Vec{1, 0};
}

float smoothstep(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

uint32_t nextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}
float random01(uint32_t& state) {
    return float(nextRandom(state)) / float(1u << 24);
}

// The dragon's body: a spiral from the tail at the centre out to the neck, and its radius.
constexpr int kSpine = 900;
constexpr float kTurns = 3.3f * kPi;
constexpr float kPhase = -0.94f; // puts the neck on the left, heading up

Vec spinePoint(float s, float n) {
    const float angle = s * kTurns + kPhase;
    const float radius = n * (0.05f + 0.29f * s);
    return {n * 0.52f + radius * std::cos(angle), n * 0.54f + radius * std::sin(angle) * 0.9f};
}
float bodyRadius(float s, float n) {
    return n * (0.006f + 0.042f * std::pow(s, 0.8f));
}

// Deep blue ice in cracked facets with a pale glow behind the coil.
void drawIce(Picture& p) {
    const float n = float(p.width);
    uint32_t state = 31;
    std::vector<Vec> seeds(70);
    std::vector<float> tone(seeds.size());
    for (size_t i = 0; i < seeds.size(); ++i) {
        seeds[i] = {random01(state) * n, random01(state) * n};
        tone[i] = random01(state);
    }
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            const Vec q{float(x) + 0.5f, float(y) + 0.5f};
            float d1 = 1e9f, d2 = 1e9f;
            size_t nearest = 0;
            for (size_t i = 0; i < seeds.size(); ++i) {
                const Vec d = q - seeds[i];
                const float dd = dot(d, d);
                if (dd < d1) {
                    d2 = d1;
                    d1 = dd;
                    nearest = i;
                } else if (dd < d2) {
                    d2 = dd;
                }
            }
            const float edge = 1 - smoothstep(0.0f, 1.6f, std::sqrt(d2) - std::sqrt(d1));
            const float dx = q.x / n - 0.52f, dy = q.y / n - 0.52f;
            const float r = std::sqrt(dx * dx + dy * dy);
            const float halo = std::exp(-r * r * 9);
            const float grain = valueNoise(q.x / 6, q.y / 6, 86, 33);
            const float f = 0.35f + 0.4f * tone[nearest] + 0.15f * grain;
            const float crack = edge * (0.4f + 0.6f * grain);
            p.put(int(x), int(y), clampByte(6 + 30 * f + 50 * halo + 35 * crack),
                  clampByte(22 + 60 * f + 80 * halo + 60 * crack - 40 * r),
                  clampByte(60 + 110 * f + 90 * halo + 70 * crack - 60 * r));
        }
    }
}

// The coiled body: a shaded tube with scales, pale belly plates on the inside of the coil
// and a row of spines along the outside.
void drawBody(Picture& p) {
    const float n = float(p.width);
    std::vector<Vec> spine(kSpine);
    std::vector<float> along(kSpine, 0.0f);
    for (int i = 0; i < kSpine; ++i) {
        spine[size_t(i)] = spinePoint(float(i) / (kSpine - 1), n);
        if (i > 0) {
            const Vec d = spine[size_t(i)] - spine[size_t(i) - 1];
            along[size_t(i)] = along[size_t(i) - 1] + std::sqrt(dot(d, d));
        }
    }
    const Vec light = normalised({-0.6f, -0.8f});
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            const Vec q{float(x) + 0.5f, float(y) + 0.5f};
            float best = 1e9f;
            int at = 0;
            for (int i = 0; i < kSpine; i += 3) {
                const Vec d = q - spine[size_t(i)];
                const float dd = dot(d, d);
                if (dd < best) {
                    best = dd;
                    at = i;
                }
            }
            for (int i = std::max(0, at - 3); i <= std::min(kSpine - 1, at + 3); ++i) {
                const Vec d = q - spine[size_t(i)];
                const float dd = dot(d, d);
                if (dd < best) {
                    best = dd;
                    at = i;
                }
            }
            const float s = float(at) / (kSpine - 1);
            const float th = bodyRadius(s, n);
            const float dist = std::sqrt(best);
            const Vec tangent = normalised(spine[size_t(std::min(at + 1, kSpine - 1))] -
                                           spine[size_t(std::max(at - 1, 0))]);
            const Vec offset = q - spine[size_t(at)];
            // Positive across the outside of the coil (the back), negative inside (the belly).
            const float side = cross(tangent, offset) < 0 ? 1.0f : -1.0f;
            const float c = std::min(dist / th, 1.0f);
            // Spines: triangles on the back every few body widths.
            const float spinePhase = along[size_t(at)] / (th * 0.9f + 4);
            const float tri = 1 - std::fabs(2 * (spinePhase - std::floor(spinePhase)) - 1);
            const float spineHeight = th * 0.7f * tri * tri * smoothstep(0.1f, 0.2f, s);
            if (side > 0 && dist >= th && dist < th + spineHeight) {
                const float cover = std::clamp(th + spineHeight - dist, 0.0f, 1.0f);
                p.blend(int(x), int(y), 70, 150, 230, cover);
                continue;
            }
            const float cover = std::clamp(th - dist + 0.5f, 0.0f, 1.0f);
            if (cover <= 0) {
                continue;
            }
            const float round = std::sqrt(std::max(0.0f, 1 - c * c));
            const float lit = std::clamp(dot(normalised(offset), light) * c, -1.0f, 1.0f);
            float shade = 0.45f + 0.45f * round + 0.3f * lit;
            // Scales: staggered rows of round-edged scales overlapping towards the tail.
            const float across = (side * c + 1) * 2.5f;
            const float row = std::floor(across);
            float u = along[size_t(at)] / (th * 0.7f + 3) + row * 0.5f;
            u -= std::floor(u);
            const float v = across - row - 0.5f;
            const float rim = std::sqrt(u * u + v * v * 1.4f);
            const float scallop =
                0.45f * smoothstep(0.78f, 0.92f, rim) * (1 - smoothstep(0.95f, 1.05f, rim)) +
                0.15f * (1 - u);
            float r = 190, g = 225, b = 255;
            if (side < 0 && c > 0.45f) {
                // Belly plates, warm white with dark seams.
                const float plate = along[size_t(at)] / (th * 0.4f + 2);
                const float seam = smoothstep(0.8f, 0.95f, plate - std::floor(plate));
                r = 235 - 90 * seam;
                g = 240 - 80 * seam;
                b = 250 - 40 * seam;
            } else {
                r -= 110 * scallop;
                g -= 90 * scallop;
                b -= 40 * scallop;
            }
            // Darker towards the tail tip, as if deeper in the ice.
            shade *= 0.7f + 0.3f * s;
            p.blend(int(x), int(y), clampByte(r * shade), clampByte(g * shade),
                    clampByte(b * shade), cover);
        }
    }
}

// A filled ellipse along direction t with half lengths a (along) and b (across), shaded
// from the top left.
void ellipse(Picture& p, Vec centre, Vec t, float a, float b, float r, float g, float bl) {
    const Vec nrm{-t.y, t.x};
    const int x0 = int(centre.x - a - b - 2), x1 = int(centre.x + a + b + 2);
    const int y0 = int(centre.y - a - b - 2), y1 = int(centre.y + a + b + 2);
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const Vec d = Vec{float(x) + 0.5f, float(y) + 0.5f} - centre;
            const float ea = dot(d, t) / a, eb = dot(d, nrm) / b;
            const float e = std::sqrt(ea * ea + eb * eb);
            const float cover = std::clamp((1 - e) * std::min(a, b) + 0.5f, 0.0f, 1.0f);
            if (cover <= 0) {
                continue;
            }
            const float lit = 0.75f + 0.35f * std::sqrt(std::max(0.0f, 1 - e * e)) -
                              0.2f * (d.x * 0.6f + d.y * 0.8f) / (a + b);
            p.blend(x, y, clampByte(r * lit), clampByte(g * lit), clampByte(bl * lit), cover);
        }
    }
}

// A stroke tapering from width w0 to w1 along a quadratic curve.
void taper(Picture& p, Vec a, Vec control, Vec b, float w0, float w1, uint8_t r, uint8_t g,
           uint8_t bl) {
    constexpr int kSteps = 80;
    for (int i = 0; i <= kSteps; ++i) {
        const float t = float(i) / kSteps;
        const Vec q = a * ((1 - t) * (1 - t)) + control * (2 * t * (1 - t)) + b * (t * t);
        p.disc(q.x, q.y, w0 + (w1 - w0) * t, r, g, bl);
    }
}

// Head, horns, whiskers and a breath of frost at the neck's end.
void drawHead(Picture& p) {
    const float n = float(p.width);
    const Vec neck = spinePoint(1, n);
    const Vec along = normalised(neck - spinePoint(0.995f, n));
    // The head turns from the neck towards the middle of the picture.
    const Vec inward{-along.y, along.x};
    const Vec t = normalised(along + inward * 0.9f);
    const Vec side{-t.y, t.x};
    const float th = bodyRadius(1, n) * 1.15f;
    const Vec skull = neck + along * (th * 0.5f) + t * (th * 0.5f);
    const Vec snout = skull + t * (th * 1.5f) - side * (th * 0.1f);
    const Vec tip = snout + t * (th * 1.25f);
    // Two horns on the upper side sweep back over the neck.
    for (float k : {-1.0f, -0.35f}) {
        const Vec base = skull + side * (k * th * 0.55f) - t * (th * 0.2f);
        taper(p, base, base - t * (th * 1.3f) + side * (k * th * 0.8f),
              base - t * (th * 2.6f) + side * (k * th * 1.1f), th * 0.3f, 1.0f, 120, 190, 245);
    }
    ellipse(p, skull, t, th * 1.05f, th * 0.95f, 200, 232, 255);
    ellipse(p, snout, t, th * 1.4f, th * 0.72f, 215, 240, 255);
    // The jaw line and the nostril.
    for (int i = 0; i <= 40; ++i) {
        const float f = float(i) / 40;
        const Vec q =
            snout - t * (th * 0.6f) + t * (th * 1.9f * f) + side * (th * (0.15f + 0.2f * f));
        p.disc(q.x, q.y, 1.2f, 40, 70, 130);
    }
    const Vec nostril = tip - t * (th * 0.35f) - side * (th * 0.3f);
    p.disc(nostril.x, nostril.y, th * 0.08f + 0.8f, 30, 60, 110);
    // The eye: a cold glow round a dark slit.
    const Vec eye = skull - side * (th * 0.4f) + t * (th * 0.25f);
    p.disc(eye.x, eye.y, th * 0.32f, 120, 255, 250);
    p.disc(eye.x, eye.y, th * 0.22f, 230, 255, 255);
    p.disc(eye.x, eye.y, th * 0.09f, 10, 30, 60);
    // Whiskers trailing back from the snout.
    for (float k : {-1.0f, 1.0f}) {
        const Vec start = tip - t * (th * 0.3f) + side * (k * th * 0.45f);
        taper(p, start, start + side * (k * th * 1.2f) - t * (th * 0.2f),
              start + side * (k * th * 1.0f) - t * (th * 2.5f), 1.2f, 0.3f, 170, 230, 255);
    }
    // Frost breath: a widening cone of cold light ahead of the jaws, full of glints.
    const float reach = n * 0.42f;
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            const Vec d = Vec{float(x) + 0.5f, float(y) + 0.5f} - tip;
            const float ahead = dot(d, t), across = std::fabs(dot(d, side));
            if (ahead <= 0 || ahead > reach) {
                continue;
            }
            const float width = th * 0.3f + ahead * 0.45f;
            const float f = ahead / reach;
            const float glow = std::exp(-(across * across) / (width * width) * 2.5f) * (1 - f) *
                               std::min(1.0f, ahead / th) * 0.55f;
            p.blend(int(x), int(y), 200, 240, 255, glow);
        }
    }
    uint32_t state = 77;
    for (int i = 0; i < 90; ++i) {
        const float f = random01(state);
        const float spread = (random01(state) - 0.5f) * (0.15f + 0.8f * f);
        const Vec dir = normalised(t + side * spread);
        const Vec q = tip + dir * (reach * (0.1f + 0.85f * f));
        const float arm = 2.0f + 6.0f * random01(state) * (1 - 0.5f * f);
        // A four-pointed glint: a bright core and two thin crossing streaks.
        for (float k = -arm; k <= arm; k += 0.5f) {
            const float fade = 1 - std::fabs(k) / arm;
            p.blend(int(q.x + k), int(q.y), 235, 250, 255, fade * (1 - f * 0.6f));
            p.blend(int(q.x), int(q.y + k), 235, 250, 255, fade * (1 - f * 0.6f));
        }
        p.disc(q.x, q.y, 1.2f, 255, 255, 255);
    }
}

// Two short legs with claws reaching out from the coil's outside.
void drawLegs(Picture& p) {
    const float n = float(p.width);
    for (float s : {0.58f, 0.84f}) {
        const Vec at = spinePoint(s, n);
        const Vec t = normalised(spinePoint(s + 0.004f, n) - at);
        const Vec out{t.y, -t.x};
        const float th = bodyRadius(s, n);
        const Vec hip = at + out * (th * 0.5f);
        const Vec knee = hip + out * (th * 0.9f) + t * (th * 0.7f);
        const Vec foot = knee + out * (th * 0.3f) + t * (th * 0.9f);
        taper(p, hip, hip + out * (th * 0.6f), knee, th * 0.6f, th * 0.4f, 160, 205, 245);
        taper(p, knee, knee + t * (th * 0.5f), foot, th * 0.4f, th * 0.25f, 160, 205, 245);
        for (float k : {-0.6f, 0.0f, 0.6f}) {
            const Vec dir = normalised(t + out * k);
            taper(p, foot, foot + dir * (th * 0.4f), foot + dir * (th * 0.7f) - out * (th * 0.2f),
                  th * 0.1f, 0.6f, 230, 245, 255);
        }
    }
}

// The final picture: a pale dragon coiled on deep blue ice, breathing frost. Big simple
// shapes and strong contrast, so it reads both full screen and spread over the dominoes.
Picture drawIceDragon() {
    Picture p(kDragonSize, kDragonSize);
    drawIce(p);
    // The closing picture adds up to 0.44 grey on top: keep the ice dark under it, so the pale
    // dragon stands out of it there too.
    for (uint8_t& v : p.data) {
        v = uint8_t(v * 0.8f);
    }
    drawLegs(p);
    drawBody(p);
    drawHead(p);
    return p;
}

} // namespace

void drawDominoPictures(PictureSink& sink) {
    sink.add("tunnel.jpg", drawTunnel());
    sink.add("ice-dragon.jpg", drawIceDragon());
}

} // namespace datagen
