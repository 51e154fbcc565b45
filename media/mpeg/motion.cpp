// Motion-compensated prediction of a macroblock: frame, field, 16x8 and dual-prime prediction in
// frame and field pictures, forward, backward and averaged. Reference positions are clamped to
// the reference picture, so no vector can read outside a frame store.
#include "media/mpeg/decoder_impl.h"

#include <algorithm>
#include <cstring>

namespace mpeg {

void DecoderState::dualPrimeVectors(MacroblockMotion& m, const int dmvector[2], int mvx, int mvy) {
    // Scaled vector for the opposite parity: (v * num) / 2, halves rounded away from zero.
    auto scaled = [](int v, int num) { return (v * num + (v > 0)) >> 1; };
    if (pic.picture_structure == kFramePicture) {
        // [0]: top field from the bottom reference field, [1]: bottom field from the top one.
        const int nearNum = 1, farNum = 3;
        const int topNum = pic.top_field_first ? nearNum : farNum;
        const int bottomNum = pic.top_field_first ? farNum : nearNum;
        m.dual_prime[0][0] = scaled(mvx, topNum) + dmvector[0];
        m.dual_prime[0][1] = scaled(mvy, topNum) + dmvector[1] - 1;
        m.dual_prime[1][0] = scaled(mvx, bottomNum) + dmvector[0];
        m.dual_prime[1][1] = scaled(mvy, bottomNum) + dmvector[1] + 1;
    } else {
        m.dual_prime[0][0] = scaled(mvx, 1) + dmvector[0];
        m.dual_prime[0][1] =
            scaled(mvy, 1) + dmvector[1] + (pic.picture_structure == kTopField ? -1 : 1);
    }
}

namespace {

// One plane's part of a frame prediction (no field selection): the w x h block at (x, y) of dst
// from src moved by (vx, vy) half samples, clamped to the source plane.
inline void predictFramePlane(const Kernels& kernels, const Plane& sp, Plane& dp, int w, int h,
                              int x, int y, int vx, int vy, bool average) {
    if (y + h > dp.height || x + w > dp.width)
        return; // cannot happen with consistent geometry; never write outside the store
    int hx = vx & 1, hy = vy & 1;
    int maxX = sp.width - w - hx;
    if (maxX < 0) {
        hx = 0;
        maxX = sp.width - w;
    }
    int maxY = sp.height - h - hy;
    if (maxY < 0) {
        hy = 0;
        maxY = sp.height - h;
        if (maxY < 0)
            return;
    }
    const int sx = std::clamp(x + (vx >> 1), 0, maxX);
    const int sy = std::clamp(y + (vy >> 1), 0, maxY);
    const ptrdiff_t ss = sp.stride, ds = dp.stride;
    uint8_t* dst = dp.data() + y * ds + x;
    const uint8_t* src = sp.data() + sy * ss + sx;
    kernels.predict[average ? 1 : 0][w == 16 ? 0 : 1][hx | (hy << 1)](dst, src, ds, ss, h);
}

} // namespace

void DecoderState::predictFrame420(const Frame& ref, int bx, int by, int mvx, int mvy,
                                   bool average) {
    Frame& cur = frames[currentIndex];
    predictFramePlane(*kernels, ref.plane[0], cur.plane[0], 16, 16, bx, by, mvx, mvy, average);
    for (int c = 1; c < 3; ++c)
        predictFramePlane(*kernels, ref.plane[c], cur.plane[c], 8, 8, bx / 2, by / 2, mvx / 2,
                          mvy / 2, average);
}

void DecoderState::predictRun420(const Frame& ref, int mbx, int mby, int count, int mvx, int mvy,
                                 bool average) {
    Frame& cur = frames[currentIndex];
    for (int c = 0; c < 3; ++c) {
        const int w = c == 0 ? 16 : 8;
        const int x = mbx * w, y = mby * w;
        const int vx = c == 0 ? mvx : mvx / 2, vy = c == 0 ? mvy : mvy / 2;
        const Plane& sp = ref.plane[c];
        Plane& dp = cur.plane[c];
        const int hx = vx & 1, hy = vy & 1;
        const int sx = x + (vx >> 1), sy = y + (vy >> 1);
        const int span = w * count;
        if (sx < 0 || sy < 0 || sx + span + hx > sp.width || sy + w + hy > sp.height ||
            x + span > dp.width || y + w > dp.height) {
            // Some block needs its source clamped: one at a time, as predictFrame420 does.
            for (int k = 0; k < count; ++k)
                predictFramePlane(*kernels, sp, dp, w, w, x + k * w, y, vx, vy, average);
            continue;
        }
        const ptrdiff_t ss = sp.stride, ds = dp.stride;
        uint8_t* dst = dp.data() + y * ds + x;
        const uint8_t* src = sp.data() + sy * ss + sx;
        if (!average && hx == 0 && hy == 0 && count >= 4) {
            // Whole samples, nothing to average: the run is a rectangle copy (a short one
            // costs less through the kernels than through memcpy's calls).
            for (int r = 0; r < w; ++r)
                std::memcpy(dst + r * ds, src + r * ss, size_t(span));
            continue;
        }
        const auto kernel = kernels->predict[average ? 1 : 0][c == 0 ? 0 : 1][hx | (hy << 1)];
        for (int k = 0; k < count; ++k)
            kernel(dst + k * w, src + k * w, ds, ss, w);
    }
}

void DecoderState::predict(const Frame& ref, int refField, int dstField, int bx, int by, int h,
                           int mvx, int mvy, bool average) {
    Frame& cur = frames[currentIndex];
    for (int c = 0; c < 3; ++c) {
        int w = 16, hh = h, x = bx, y = by, vx = mvx, vy = mvy;
        if (c > 0 && seq.chroma_format != 3) {
            w = 8;
            x = bx / 2;
            vx = mvx / 2;
        }
        if (c > 0 && seq.chroma_format == 1) {
            hh = h / 2;
            y = by / 2;
            vy = mvy / 2;
        }
        const Plane& sp = ref.plane[c];
        Plane& dp = cur.plane[c];
        const uint8_t* src = sp.data();
        uint8_t* dst = dp.data();
        ptrdiff_t ss = sp.stride, ds = dp.stride;
        int sourceHeight = sp.height;
        if (refField >= 0) {
            src += refField * ss;
            ss *= 2;
            sourceHeight /= 2;
        }
        int destinationHeight = dp.height;
        if (dstField >= 0) {
            dst += dstField * ds;
            ds *= 2;
            destinationHeight /= 2;
        }
        if (y + hh > destinationHeight || x + w > dp.width)
            continue; // cannot happen with consistent geometry; never write outside the store
        int hx = vx & 1, hy = vy & 1;
        int maxX = sp.width - w - hx;
        if (maxX < 0) {
            hx = 0;
            maxX = sp.width - w;
        }
        int maxY = sourceHeight - hh - hy;
        if (maxY < 0) {
            hy = 0;
            maxY = sourceHeight - hh;
            if (maxY < 0)
                continue;
        }
        const int sx = std::clamp(x + (vx >> 1), 0, maxX);
        const int sy = std::clamp(y + (vy >> 1), 0, maxY);
        kernels->predict[average ? 1 : 0][w == 16 ? 0 : 1][hx | (hy << 1)](
            dst + y * ds + x, src + sy * ss + sx, ds, ss, hh);
    }
}

void DecoderState::formPredictions(const MacroblockMotion& m, int mbx, int mby) {
    const int bx = mbx * 16;
    // The common case on its own path: MPEG-2 frame prediction in a 4:2:0 frame picture.
    if (seq.mpeg2 && seq.chroma_format == 1 && pic.picture_structure == kFramePicture &&
        m.motion_type == kMotionFrame) {
        const auto& v = m.vector;
        const int type = m.macroblock_type;
        if (type & kMbForward)
            predictFrame420(frames[forwardIndex], bx, mby * 16, v[0][0][0], v[0][0][1], false);
        if (type & kMbBackward)
            predictFrame420(frames[backwardIndex], bx, mby * 16, v[0][1][0], v[0][1][1],
                            (type & kMbForward) != 0);
        return;
    }
    bool average = false;
    for (int s = 0; s < 2; ++s) {
        if (!(m.macroblock_type & (s == 0 ? kMbForward : kMbBackward)))
            continue;
        const Frame& ref = frames[s == 0 ? forwardIndex : backwardIndex];
        const auto& v = m.vector;
        const auto& select = m.motion_vertical_field_select;
        if (!seq.mpeg2) {
            const int fullPel = s == 0 ? pic.full_pel_forward_vector : pic.full_pel_backward_vector;
            predict(ref, -1, -1, bx, mby * 16, 16, v[0][s][0] * (1 << fullPel),
                    v[0][s][1] * (1 << fullPel), average);
        } else if (pic.picture_structure == kFramePicture) {
            switch (m.motion_type) {
            case kMotionFrame:
                predict(ref, -1, -1, bx, mby * 16, 16, v[0][s][0], v[0][s][1], average);
                break;
            case kMotionField:
                predict(ref, select[0][s], 0, bx, mby * 8, 8, v[0][s][0], v[0][s][1], average);
                predict(ref, select[1][s], 1, bx, mby * 8, 8, v[1][s][0], v[1][s][1], average);
                break;
            default: // dual prime: average of both parities, per field
                for (int p = 0; p < 2; ++p) {
                    predict(ref, p, p, bx, mby * 8, 8, v[0][s][0], v[0][s][1], false);
                    predict(ref, 1 - p, p, bx, mby * 8, 8, m.dual_prime[p][0], m.dual_prime[p][1],
                            true);
                }
                break;
            }
        } else {
            const int parity = pic.picture_structure == kBottomField ? 1 : 0;
            // The second field of a P frame may refer to the first field of the same frame.
            auto field = [&](int sel) -> const Frame& {
                if (s == 0 && decodingSecondField && pic.picture_coding_type == kPPicture &&
                    sel != parity)
                    return frames[currentIndex];
                return ref;
            };
            const int by = mby * 16;
            switch (m.motion_type) {
            case kMotionField:
                predict(field(select[0][s]), select[0][s], parity, bx, by, 16, v[0][s][0],
                        v[0][s][1], average);
                break;
            case kMotion16x8:
                predict(field(select[0][s]), select[0][s], parity, bx, by, 8, v[0][s][0],
                        v[0][s][1], average);
                predict(field(select[1][s]), select[1][s], parity, bx, by + 8, 8, v[1][s][0],
                        v[1][s][1], average);
                break;
            default: // dual prime
                predict(ref, parity, parity, bx, by, 16, v[0][s][0], v[0][s][1], false);
                predict(field(1 - parity), 1 - parity, parity, bx, by, 16, m.dual_prime[0][0],
                        m.dual_prime[0][1], true);
                break;
            }
        }
        average = true;
    }
}

} // namespace mpeg
