// The End's pictures: a pen drawing of a landscape with a tree, made stroke by stroke in the
// video "ruen-draw.mpg" (256 x 192, 24 fps, MPEG-1 elementary stream), which then washes in
// its watercolours; and that finished picture as "ruen-draw-3.jpg" (512 x 384), which fades
// in over the video's last pictures.
#include "tools/datagen/groups.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace datagen {

namespace {

struct Point {
    float x, y; // 0..1 across the 4:3 picture
};

struct Stroke {
    std::vector<Point> points;
    float width; // in units of the picture height / 384
};

constexpr float kPi = 3.14159265f;
constexpr int kVideoWidth = 256, kVideoHeight = 192, kVideoFps = 24;
constexpr int kDrawFrames = 24 * 10; // the drawing takes ten seconds
constexpr int kWashFrames = 24;      // the colours wash in over the next second
constexpr int kHoldFrames = 24 * 4;  // then the finished picture stays
// The video grid maps texture coordinates k / 25 over 25 columns, so the view shows 24/25
// of the video in each direction; the still is drawn to match.
constexpr float kVisibleSpan = 24.0f / 25.0f;

uint32_t lcg = 2024;
float random01() {
    lcg = lcg * 1664525u + 1013904223u;
    return float(lcg >> 8) / float(1u << 24);
}

Stroke curve(std::vector<Point> control, float width, int steps = 40) {
    // Catmull-Rom through the control points.
    Stroke s{{}, width};
    for (size_t i = 0; i + 1 < control.size(); ++i) {
        Point p0 = control[i == 0 ? 0 : i - 1], p1 = control[i], p2 = control[i + 1];
        Point p3 = control[std::min(i + 2, control.size() - 1)];
        for (int k = 0; k < steps; ++k) {
            float t = float(k) / float(steps), t2 = t * t, t3 = t2 * t;
            auto f = [&](float a, float b, float c, float d) {
                return 0.5f * (2 * b + (-a + c) * t + (2 * a - 5 * b + 4 * c - d) * t2 +
                               (-a + 3 * b - 3 * c + d) * t3);
            };
            s.points.push_back({f(p0.x, p1.x, p2.x, p3.x), f(p0.y, p1.y, p2.y, p3.y)});
        }
    }
    s.points.push_back(control.back());
    return s;
}

void branch(std::vector<Stroke>& strokes, Point base, float angle, float length, float width,
            int depth) {
    Point tip{base.x + std::cos(angle) * length * 0.75f, base.y - std::sin(angle) * length};
    Point mid{(base.x + tip.x) / 2 + (random01() - 0.5f) * length * 0.15f, (base.y + tip.y) / 2};
    strokes.push_back(curve({base, mid, tip}, width, 12));
    if (depth == 0) {
        return;
    }
    int children = depth > 3 ? 2 : 3;
    for (int i = 0; i < children; ++i) {
        float spread = (float(i) / float(children - 1) - 0.5f) * 1.3f + (random01() - 0.5f) * 0.3f;
        branch(strokes, tip, angle + spread, length * (0.62f + random01() * 0.12f), width * 0.7f,
               depth - 1);
    }
}

std::vector<Stroke> makeDrawing() {
    lcg = 2024;
    std::vector<Stroke> strokes;
    // Far hills, near hill, the ground line.
    strokes.push_back(curve({{0.0f, 0.62f},
                             {0.18f, 0.52f},
                             {0.37f, 0.58f},
                             {0.55f, 0.49f},
                             {0.78f, 0.57f},
                             {1.0f, 0.5f}},
                            1.6f));
    strokes.push_back(curve({{0.0f, 0.78f}, {0.3f, 0.7f}, {0.62f, 0.76f}, {1.0f, 0.69f}}, 2.0f));
    // The sun and its rays.
    std::vector<Point> sun;
    for (int i = 0; i <= 24; ++i) {
        float a = float(i) / 24.0f * 2 * kPi;
        sun.push_back({0.8f + std::cos(a) * 0.06f, 0.22f + std::sin(a) * 0.08f});
    }
    strokes.push_back(curve(sun, 1.5f, 6));
    for (int i = 0; i < 8; ++i) {
        float a = float(i) / 8.0f * 2 * kPi;
        strokes.push_back(curve({{0.8f + std::cos(a) * 0.08f, 0.22f + std::sin(a) * 0.107f},
                                 {0.8f + std::cos(a) * 0.11f, 0.22f + std::sin(a) * 0.147f}},
                                1.2f, 4));
    }
    // The tree on the near hill.
    branch(strokes, {0.33f, 0.74f}, kPi / 2, 0.2f, 4.0f, 5);
    // Birds.
    for (int i = 0; i < 3; ++i) {
        float x = 0.5f + float(i) * 0.07f, y = 0.2f + float(i % 2) * 0.05f;
        strokes.push_back(
            curve({{x - 0.025f, y - 0.01f}, {x, y + 0.01f}, {x + 0.025f, y - 0.01f}}, 1.0f, 8));
    }
    // A signature in the corner, inside the part of the picture the End shows.
    strokes.push_back(curve({{0.8f, 0.9f},
                             {0.82f, 0.86f},
                             {0.84f, 0.91f},
                             {0.86f, 0.87f},
                             {0.89f, 0.9f},
                             {0.92f, 0.87f}},
                            1.0f, 8));
    return strokes;
}

float strokeLength(const Stroke& s) {
    float length = 0;
    for (size_t i = 1; i < s.points.size(); ++i) {
        length += std::hypot(s.points[i].x - s.points[i - 1].x, s.points[i].y - s.points[i - 1].y);
    }
    return length;
}

// Paper, then the strokes up to `amount` of their total length, in drawing order. The
// picture shows the drawing's 0..span square, so the still can match the part of the video
// that the scene's grid shows (24 of 25 columns and rows).
void render(Picture& p, const std::vector<Stroke>& strokes, float amount, float wash,
            float span = 1.0f) {
    float w = float(p.width) / span, h = float(p.height) / span, scale = h / 384.0f;
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            float n = valueNoise(float(x) / w * 24, float(y) / h * 18, 24, 9);
            uint8_t base = uint8_t(236 + 14 * n);
            p.put(int(x), int(y), base, uint8_t(base - 6), uint8_t(base - 22));
        }
    }
    if (wash > 0) {
        // Watercolour: sky blue above the hills, greens below, a warm sun.
        for (uint32_t y = 0; y < p.height; ++y) {
            for (uint32_t x = 0; x < p.width; ++x) {
                float fx = float(x) / w, fy = float(y) / h;
                float n = valueNoise(fx * 10, fy * 8, 10, 21);
                float hill = 0.55f + 0.05f * std::sin(fx * 9.0f);
                float sun = std::exp(
                    -((fx - 0.8f) * (fx - 0.8f) * 16 + (fy - 0.22f) * (fy - 0.22f) * 9) * 20);
                if (fy < hill) {
                    p.blend(int(x), int(y), 120, 170, 225, (0.35f + 0.15f * n) * wash);
                } else {
                    p.blend(int(x), int(y), 110, 165, 90, (0.4f + 0.2f * n) * wash);
                }
                p.blend(int(x), int(y), 250, 190, 80, sun * 0.8f * wash);
            }
        }
    }
    float total = 0;
    for (const Stroke& s : strokes) {
        total += strokeLength(s);
    }
    float budget = total * amount;
    for (const Stroke& s : strokes) {
        for (size_t i = 1; i < s.points.size() && budget > 0; ++i) {
            Point a = s.points[i - 1], b = s.points[i];
            float segment = std::hypot(b.x - a.x, b.y - a.y);
            float part = std::min(1.0f, budget / std::max(segment, 1e-6f));
            budget -= segment;
            int steps = std::max(1, int(segment * w * 2 * part));
            for (int k = 0; k <= steps; ++k) {
                float t = part * float(k) / float(steps);
                p.disc((a.x + (b.x - a.x) * t) * w, (a.y + (b.y - a.y) * t) * h,
                       s.width * scale * 0.5f + 0.3f, 40, 34, 30);
            }
        }
    }
}

void writeVideo(const std::vector<Stroke>& strokes, const std::string& path) {
    // One thread and bit-exact flags keep the stream the same on every run.
    std::string command = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -s 256x192 "
                          "-r 24 -i - -threads 1 -flags +bitexact -fflags +bitexact "
                          "-c:v mpeg1video -q:v 3 -g 12 -bf 2 -f mpeg1video '" +
                          path + "'";
    FILE* pipe = popen(command.c_str(), "w");
    if (pipe == nullptr) {
        std::fprintf(stderr, "datagen: ffmpeg not available; ruen-draw.mpg left as it was\n");
        return;
    }
    Picture frame(kVideoWidth, kVideoHeight);
    constexpr int kFrames = kDrawFrames + kWashFrames + kHoldFrames;
    for (int f = 0; f < kFrames; ++f) {
        const float amount = std::min(1.0f, float(f) / float(kDrawFrames));
        const float wash = std::clamp(float(f - kDrawFrames) / float(kWashFrames), 0.0f, 1.0f);
        render(frame, strokes, amount, wash);
        std::fwrite(frame.data.data(), 1, frame.data.size(), pipe);
    }
    if (pclose(pipe) != 0) {
        std::fprintf(stderr, "datagen: ffmpeg failed writing ruen-draw.mpg\n");
        return;
    }
    std::printf("  ruen-draw.mpg (%d x %d, %d fps, %d frames)\n", kVideoWidth, kVideoHeight,
                kVideoFps, kFrames);
}

} // namespace

void drawEndPictures(PictureSink& sink) {
    std::vector<Stroke> strokes = makeDrawing();
    Picture still(512, 384);
    render(still, strokes, 1.0f, 1.0f, kVisibleSpan);
    sink.add("ruen-draw-3.jpg", still);
    writeVideo(strokes, sink.outputPath("ruen-draw.mpg"));
}

} // namespace datagen
