// Syntax the ffmpeg encoder never writes, in tiny hand-written streams checked against a pixel
// model: field pictures (I+P and P+P pairs, prediction from either parity, skipped macroblocks,
// dual prime, intra and coded macroblocks), frame pictures with field DCT, concealment vectors,
// dual prime and runs of skipped macroblocks, 4:4:4 macroblocks, and MPEG-1 full-sample vectors
// and D pictures.
#include "mpeg_stream_writer.h"
#include "mpeg_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

namespace {

using mpegtest::BitWriter;
using mpegtest::putDc;

constexpr int kWidth = 48, kHeight = 32; // three macroblocks wide, one macroblock row per field
constexpr int kFieldRows = kHeight / 2;

// Fields as [row][column]; chroma fields are 24 x 8.
using LumaField = std::array<std::array<int, kWidth>, kFieldRows>;
using ChromaField = std::array<std::array<int, kWidth / 2>, kFieldRows / 2>;
struct Field {
    LumaField y{};
    ChromaField cb{}, cr{};
};

struct IntraValues {
    int y[4], cb, cr;
};

// Intra macroblock of flat blocks; predictors are [Y, Cb, Cr].
void putIntraBlocks(BitWriter& w, int pred[3], const IntraValues& v) {
    for (int b = 0; b < 4; ++b) {
        putDc(w, false, pred[0], v.y[b]);
        w.bits("10"); // end of block
    }
    putDc(w, true, pred[1], v.cb);
    w.bits("10");
    putDc(w, true, pred[2], v.cr);
    w.bits("10");
}

void fillIntra(Field& f, int mb, const IntraValues& v) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            f.y[y][mb * 16 + x] = v.y[(y / 8) * 2 + x / 8];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            f.cb[y][mb * 8 + x] = v.cb;
            f.cr[y][mb * 8 + x] = v.cr;
        }
}

// Copies macroblock mb of src shifted by a horizontal vector of dx half samples (dx even).
void fillShifted(Field& dst, const Field& src, int mb, int dx) {
    for (int y = 0; y < 16; ++y)
        for (int x = mb * 16; x < mb * 16 + 16; ++x)
            dst.y[y][x] = src.y[y][x + dx / 2];
    const int cdx = dx / 2; // chroma half samples
    for (int y = 0; y < 8; ++y)
        for (int x = mb * 8; x < mb * 8 + 8; ++x) {
            const int x0 = x + (cdx >> 1);
            const int x1 = x0 + (cdx & 1);
            dst.cb[y][x] = (src.cb[y][x0] + src.cb[y][x1] + 1) >> 1;
            dst.cr[y][x] = (src.cr[y][x0] + src.cr[y][x1] + 1) >> 1;
        }
}

void fillAverage(Field& dst, const Field& a, const Field& b, int mb) {
    for (int y = 0; y < 16; ++y)
        for (int x = mb * 16; x < mb * 16 + 16; ++x)
            dst.y[y][x] = (a.y[y][x] + b.y[y][x] + 1) >> 1;
    for (int y = 0; y < 8; ++y)
        for (int x = mb * 8; x < mb * 8 + 8; ++x) {
            dst.cb[y][x] = (a.cb[y][x] + b.cb[y][x] + 1) >> 1;
            dst.cr[y][x] = (a.cr[y][x] + b.cr[y][x] + 1) >> 1;
        }
}

void sliceHeader(BitWriter& w, int row) {
    w.startCode(uint8_t(row)); // slice_vertical_position
    w.put(8, 5);               // quantiser_scale_code
    w.put(0, 1);               // extra_bit_slice
}

void pictureHeaders(BitWriter& w, int type, int structure, int firstSlice = 1,
                    bool concealment = false) {
    w.startCode(0x00);
    w.put(0, 10);             // temporal_reference
    w.put(uint32_t(type), 3); // picture_coding_type
    w.put(0xFFFF, 16);        // vbv_delay
    if (type == 2 || type == 3)
        w.bits("0111"); // full_pel_forward_vector, forward_f_code = 7
    if (type == 3)
        w.bits("0111"); // full_pel_backward_vector, backward_f_code = 7
    w.put(0, 1);        // extra_bit_picture
    w.startCode(0xB5);
    w.put(8, 4); // picture coding extension
    const int forward = type == 2 || concealment ? 1 : 15;
    w.put(uint32_t(forward), 4); // f_code[0][0]
    w.put(uint32_t(forward), 4); // f_code[0][1]
    const int backward = type == 3 ? 1 : 15;
    w.put(uint32_t(backward), 4);  // f_code[1][0]
    w.put(uint32_t(backward), 4);  // f_code[1][1]
    w.put(0, 2);                   // intra_dc_precision
    w.put(uint32_t(structure), 2); // picture_structure
    // top_field_first .. progressive_frame, no composite display
    w.bits(concealment ? "1 0 1 0000000" : "1 0 0 0000000");
    if (firstSlice > 0)
        sliceHeader(w, firstSlice);
}

void sequenceHeaders(BitWriter& w, int width, int height) {
    w.startCode(0xB3);
    w.put(uint32_t(width), 12);
    w.put(uint32_t(height), 12);
    w.bits("0001 0011"); // aspect ratio, 25 Hz
    w.put(0x3FFFF, 18);
    w.put(1, 1);
    w.put(112, 10);
    w.bits("000"); // constrained, no matrices
    w.startCode(0xB5);
    w.put(1, 4);          // sequence extension
    w.put(0x48, 8);       // main profile, main level
    w.bits("0 01 00 00"); // interlaced, 4:2:0, no size extensions
    w.put(0, 12);
    w.put(1, 1);
    w.put(0, 8);
    w.bits("0 00 00000");
    w.startCode(0xB8);
    w.put(1 << 12, 25);
    w.bits("10");
}

// expected: the three frames in display order (frame 1, the B frame, frame 2).
std::vector<uint8_t> buildStream(Field expected[3][2]) {
    BitWriter w;
    sequenceHeaders(w, kWidth, kHeight);

    // Frame 1, top field: intra.
    Field& top1 = expected[0][0];
    Field& bottom1 = expected[0][1];
    pictureHeaders(w, 1, 1);
    const IntraValues intra[3] = {{{40, 80, 120, 160}, 60, 200},
                                  {{200, 30, 90, 150}, 100, 140},
                                  {{70, 230, 20, 110}, 180, 90}};
    int pred[3] = {128, 128, 128};
    for (int mb = 0; mb < 3; ++mb) {
        w.bits("1"); // macroblock_address_increment 1
        w.bits("1"); // macroblock_type: intra
        putIntraBlocks(w, pred, intra[mb]);
        fillIntra(top1, mb, intra[mb]);
    }

    // Frame 1, bottom field: P, predicted from the top field of the same frame, shifted.
    pictureHeaders(w, 2, 2);
    // increment, "MC not coded", field motion, select top, motion codes (PMV 0 -> 2 -> 0 -> -2)
    w.bits("1 001 01 0 0010 1"); // vector (+2, 0)
    w.bits("1 001 01 0 0011 1"); // delta -2: (0, 0)
    w.bits("1 001 01 0 0011 1"); // delta -2: (-2, 0)
    fillShifted(bottom1, top1, 0, 2);
    fillShifted(bottom1, top1, 1, 0);
    fillShifted(bottom1, top1, 2, -2);

    // Frame 2, top field: P from frame 1: bottom field, skipped (same parity), dual prime.
    Field& top2 = expected[2][0];
    Field& bottom2 = expected[2][1];
    pictureHeaders(w, 2, 1);
    w.bits("1 001 01 1 1 1");  // select bottom, vector (0, 0)
    w.bits("011");             // increment 2: macroblock 1 is skipped
    w.bits("001 11 1 0 1 10"); // dual prime, vector (0, 0), dmvector (0, +1)
    fillShifted(top2, bottom1, 0, 0);
    fillShifted(top2, top1, 1, 0);
    fillAverage(top2, top1, bottom1, 2); // opposite parity vector (0, 1 - 1) = (0, 0)

    // Frame 2, bottom field: intra, coded without motion compensation, and from the top field
    // of this frame.
    pictureHeaders(w, 2, 2);
    const IntraValues intra2 = {{10, 20, 30, 40}, 50, 60};
    int pred2[3] = {128, 128, 128};
    w.bits("1 00011"); // intra
    putIntraBlocks(w, pred2, intra2);
    fillIntra(bottom2, 0, intra2);
    w.bits("1 01 1010"); // pattern only, cbp: Y0
    w.bits("10 10");     // first coefficient +1 (DC), end of block
    fillShifted(bottom2, bottom1, 1, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 16; x < 24; ++x)
            bottom2.y[y][x] += 3; // (2*1+1)*16*16/32 = 24, / 8
    w.bits("1 001 01 0 1 1");     // select top (this frame), vector (0, 0)
    fillShifted(bottom2, top2, 2, 0);

    // B frame between them, as two B fields: forward reference frame 1, backward frame 2.
    Field& topB = expected[1][0];
    Field& bottomB = expected[1][1];
    pictureHeaders(w, 3, 1);
    w.bits("1 10 01 0 1 1 1 1 1"); // interpolated: forward top field, backward bottom field
    w.bits("011 0010 01 1 1 1");   // macroblock 1 skipped (as macroblock 0); forward bottom
    fillAverage(topB, top1, bottom2, 0);
    fillAverage(topB, top1, bottom2, 1);
    fillShifted(topB, bottom1, 2, 0);
    pictureHeaders(w, 3, 2);
    w.bits("1 010 01 0 1 1");            // backward, top field of frame 2
    w.bits("1 010 01 1 1 1");            // backward, bottom field of frame 2
    w.bits("1 11 01 1 1 1 0 1 1 01011"); // interpolated and coded, cbp: Cr only
    w.bits("10 10");                     // Cr: first coefficient +1, end of block
    fillShifted(bottomB, top2, 0, 0);
    fillShifted(bottomB, bottom2, 1, 0);
    fillAverage(bottomB, bottom1, top2, 2);
    for (int y = 0; y < 8; ++y)
        for (int x = 16; x < 24; ++x)
            bottomB.cr[y][x] += 3;

    w.startCode(0xB7);
    return w.out;
}

TEST(FieldPictures, HandWrittenFieldPairsDecodeAsModelled) {
    Field expected[3][2];
    const std::vector<uint8_t> stream = buildStream(expected);
    mpeg::MpegDecoder decoder;
    decoder.setReferenceIdct(true);
    ASSERT_EQ(decoder.openMemory(stream), kWidth);
    const mpegtest::Decoded d = mpegtest::decodeAll(decoder);
    EXPECT_EQ(decoder.diagnosticCount(), 0);
    ASSERT_EQ(d.frames.size(), 3u);
    for (int f = 0; f < 3; ++f) {
        const std::vector<uint8_t>& frame = d.frames[f];
        ASSERT_EQ(frame.size(), size_t(kWidth * kHeight * 3 / 2));
        for (int parity = 0; parity < 2; ++parity) {
            const Field& e = expected[f][parity];
            for (int y = 0; y < kFieldRows; ++y)
                for (int x = 0; x < kWidth; ++x)
                    ASSERT_EQ(frame[(2 * y + parity) * kWidth + x], e.y[y][x])
                        << "frame " << f << " parity " << parity << " y " << y << " x " << x;
            const uint8_t* cb = frame.data() + kWidth * kHeight;
            const uint8_t* cr = cb + kWidth * kHeight / 4;
            for (int y = 0; y < kFieldRows / 2; ++y)
                for (int x = 0; x < kWidth / 2; ++x) {
                    ASSERT_EQ(cb[(2 * y + parity) * kWidth / 2 + x], e.cb[y][x])
                        << "frame " << f << " parity " << parity << " cb y " << y << " x " << x;
                    ASSERT_EQ(cr[(2 * y + parity) * kWidth / 2 + x], e.cr[y][x])
                        << "frame " << f << " parity " << parity << " cr y " << y << " x " << x;
                }
        }
    }
}

TEST(FieldPictures, UnpairedFieldIsReportedAndNotStored) {
    Field expected[3][2];
    std::vector<uint8_t> stream = buildStream(expected);
    // Cut after the first field of frame 2: frame 1 is still written, frame 2 is not.
    size_t pictures = 0, cut = 0;
    for (size_t i = 0; i + 3 < stream.size(); ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0 &&
            ++pictures == 4)
            cut = i;
    ASSERT_GT(cut, 0u);
    stream.resize(cut);
    mpeg::MpegDecoder decoder;
    ASSERT_EQ(decoder.openMemory(stream), kWidth);
    const int before = decoder.diagnosticCount();
    const mpegtest::Decoded d = mpegtest::decodeAll(decoder);
    EXPECT_EQ(d.frames.size(), 1u);
    EXPECT_GT(decoder.diagnosticCount(), before);
}

// Frame pictures, 48x64: an intra frame with field DCT (different values in the two fields)
// and concealment motion vectors, then a P frame whose second macroblock row uses dual prime and
// the others frame prediction.
constexpr int kFrameHeight = 64;
using LumaFrame = std::array<std::array<int, kWidth>, kFrameHeight>;
using ChromaFrame = std::array<std::array<int, kWidth / 2>, kFrameHeight / 2>;
struct Picture {
    LumaFrame y{};
    ChromaFrame cb{}, cr{};
};

// Half-sample prediction of a w x h block of one field of plane p (field rows), vector in half
// samples of that field.
template <typename Plane>
int fieldSample(const Plane& p, int parity, int x, int y, int vx, int vy) {
    const int x0 = x + (vx >> 1), y0 = y + (vy >> 1), hx = vx & 1, hy = vy & 1;
    auto at = [&](int xx, int yy) { return p[2 * yy + parity][xx]; };
    return (at(x0, y0) + at(x0 + hx, y0) + at(x0, y0 + hy) + at(x0 + hx, y0 + hy) + 2) >> 2;
}

// Compares a decoded 4:2:0 frame of height rows with a model holding y, cb and cr rows (the
// width is the model's).
template <typename Model>
void expectFrame(const std::vector<uint8_t>& frame, const Model& e, int height, int f) {
    const int width = int(e.y[0].size());
    ASSERT_EQ(frame.size(), size_t(width * height * 3 / 2));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(frame[y * width + x], e.y[y][x]) << "frame " << f << " y " << y << " x " << x;
    const uint8_t* cb = frame.data() + width * height;
    const uint8_t* cr = cb + width * height / 4;
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            ASSERT_EQ(cb[y * width / 2 + x], e.cb[y][x])
                << "frame " << f << " cb " << y << "," << x;
            ASSERT_EQ(cr[y * width / 2 + x], e.cr[y][x])
                << "frame " << f << " cr " << y << "," << x;
        }
}

std::vector<uint8_t> buildFrameStream(Picture expected[2]) {
    BitWriter w;
    sequenceHeaders(w, kWidth, kFrameHeight);
    // Frame 1: intra, field DCT: Y0/Y1 hold the top field, Y2/Y3 the bottom field.
    pictureHeaders(w, 1, 3, 0, true);
    Picture& ref = expected[0];
    for (int row = 0; row < 4; ++row) {
        sliceHeader(w, row + 1);
        int pred[3] = {128, 128, 128};
        for (int mb = 0; mb < 3; ++mb) {
            const int top = 30 + 50 * mb + 10 * row, bottom = 220 - 40 * mb - 15 * row;
            const IntraValues v = {
                {top, top + 5, bottom, bottom - 5}, 90 + 30 * row, 160 - 20 * mb};
            w.bits("1 1 1"); // increment, intra, dct_type field
            // Concealment vector (+3, -1), then (0, 0) relative to it; marker bit.
            w.bits(mb == 0 ? "00010 011 1" : "1 1 1");
            putIntraBlocks(w, pred, v);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    ref.y[row * 16 + y][mb * 16 + x] = v.y[(y & 1) * 2 + x / 8];
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    ref.cb[row * 8 + y][mb * 8 + x] = v.cb;
                    ref.cr[row * 8 + y][mb * 8 + x] = v.cr;
                }
        }
    }
    // Frame 2: P, top field first. Row 1: dual prime, vector (0, 0), dmvector (0, +1): the top
    // field averages both reference fields unshifted, the bottom field averages the bottom
    // field with the top field one line further down (vector 3/2 * 0 + 1 + 1 = 2 half lines).
    pictureHeaders(w, 2, 3, 0);
    Picture& cur = expected[1];
    cur = ref;
    for (int row = 0; row < 4; ++row) {
        sliceHeader(w, row + 1);
        for (int mb = 0; mb < 3; ++mb) {
            if (row != 1) {
                w.bits("1 001 10 1 1"); // MC not coded, frame motion, vector (0, 0)
                continue;
            }
            w.bits("1 001 11 1 0 1 10"); // dual prime
            for (int parity = 0; parity < 2; ++parity) {
                const int dvy = parity == 0 ? 0 : 2;
                for (int y = 8; y < 16; ++y) // field rows of macroblock row 1
                    for (int x = mb * 16; x < mb * 16 + 16; ++x) {
                        const int same = fieldSample(ref.y, parity, x, y, 0, 0);
                        const int other = fieldSample(ref.y, 1 - parity, x, y, 0, dvy);
                        cur.y[2 * y + parity][x] = (same + other + 1) >> 1;
                    }
                for (int y = 4; y < 8; ++y)
                    for (int x = mb * 8; x < mb * 8 + 8; ++x) {
                        const int cb = (fieldSample(ref.cb, parity, x, y, 0, 0) +
                                        fieldSample(ref.cb, 1 - parity, x, y, 0, dvy / 2) + 1) >>
                                       1;
                        const int cr = (fieldSample(ref.cr, parity, x, y, 0, 0) +
                                        fieldSample(ref.cr, 1 - parity, x, y, 0, dvy / 2) + 1) >>
                                       1;
                        cur.cb[2 * y + parity][x] = cb;
                        cur.cr[2 * y + parity][x] = cr;
                    }
            }
        }
    }
    w.startCode(0xB7);
    return w.out;
}

TEST(FramePictures, FieldDctAndDualPrimeDecodeAsModelled) {
    Picture expected[2];
    const std::vector<uint8_t> stream = buildFrameStream(expected);
    mpeg::MpegDecoder decoder;
    ASSERT_EQ(decoder.openMemory(stream), kWidth);
    const mpegtest::Decoded d = mpegtest::decodeAll(decoder);
    EXPECT_EQ(decoder.diagnosticCount(), 0);
    ASSERT_EQ(d.frames.size(), 2u);
    for (int f = 0; f < 2; ++f)
        expectFrame(d.frames[f], expected[f], kFrameHeight, f);
}

// MPEG-1, 48x32: an I picture, a P picture with full-sample vectors and a D picture.
struct SmallFrame {
    std::array<std::array<int, kWidth>, 32> y{};
    std::array<std::array<int, kWidth / 2>, 16> cb{}, cr{};
};

// Macroblock (row, mb) of f: flat 8x8 blocks of v.
template <typename Frame> void fillFlat(Frame& f, int row, int mb, const IntraValues& v) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            f.y[row * 16 + y][mb * 16 + x] = v.y[(y / 8) * 2 + x / 8];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            f.cb[row * 8 + y][mb * 8 + x] = v.cb;
            f.cr[row * 8 + y][mb * 8 + x] = v.cr;
        }
}

IntraValues flatValues(int row, int mb, int seed) {
    const int base = 20 + 37 * seed + 25 * mb + 60 * row;
    return {
        {base % 220 + 16, (base + 40) % 220 + 16, (base + 90) % 220 + 16, (base + 150) % 220 + 16},
        (base + 70) % 200 + 28,
        (base + 130) % 200 + 28};
}

std::vector<uint8_t> buildMpeg1Stream(SmallFrame expected[3]) {
    BitWriter w;
    w.startCode(0xB3);
    w.put(kWidth, 12);
    w.put(32, 12);
    w.bits("0001 0011");
    w.put(0x3FFFF, 18);
    w.bits("1");
    w.put(20, 10);
    w.bits("0 0 0");
    w.startCode(0xB8);
    w.put(1 << 12, 25);
    w.bits("1 0");
    // I picture.
    w.startCode(0x00);
    w.put(0, 10);
    w.bits("001");
    w.put(0xFFFF, 16);
    w.bits("0");
    for (int row = 0; row < 2; ++row) {
        sliceHeader(w, row + 1);
        int pred[3] = {128, 128, 128};
        for (int mb = 0; mb < 3; ++mb) {
            w.bits("1 1");
            putIntraBlocks(w, pred, flatValues(row, mb, 0));
            fillFlat(expected[0], row, mb, flatValues(row, mb, 0));
        }
    }
    // P picture, full_pel_forward_vector = 1, forward_f_code = 1: vectors (+1, 0), (+1, 0) and
    // (-1, 0) whole samples; chroma gets the half-sample vectors +1 and -1.
    w.startCode(0x00);
    w.put(1, 10);
    w.bits("010");
    w.put(0xFFFF, 16);
    w.bits("1 001 0");
    const SmallFrame& i = expected[0];
    SmallFrame& p = expected[1];
    for (int row = 0; row < 2; ++row) {
        sliceHeader(w, row + 1);
        w.bits("1 001 010 1");  // +1
        w.bits("1 001 1 1");    // +0
        w.bits("1 001 0011 1"); // -2
        for (int mb = 0; mb < 3; ++mb) {
            const int dx = mb < 2 ? 1 : -1;
            for (int y = row * 16; y < row * 16 + 16; ++y)
                for (int x = mb * 16; x < mb * 16 + 16; ++x)
                    p.y[y][x] = i.y[y][x + dx];
            for (int y = row * 8; y < row * 8 + 8; ++y)
                for (int x = mb * 8; x < mb * 8 + 8; ++x) {
                    const int x0 = dx > 0 ? x : x - 1;
                    p.cb[y][x] = (i.cb[y][x0] + i.cb[y][x0 + 1] + 1) >> 1;
                    p.cr[y][x] = (i.cr[y][x0] + i.cr[y][x0 + 1] + 1) >> 1;
                }
        }
    }
    // D picture: DC coefficients only, each macroblock closed by end_of_macroblock.
    w.startCode(0x00);
    w.put(2, 10);
    w.bits("100");
    w.put(0xFFFF, 16);
    w.bits("0");
    for (int row = 0; row < 2; ++row) {
        sliceHeader(w, row + 1);
        int pred[3] = {128, 128, 128};
        for (int mb = 0; mb < 3; ++mb) {
            const IntraValues v = flatValues(row, mb, 1);
            w.bits("1 1");
            for (int b = 0; b < 4; ++b)
                putDc(w, false, pred[0], v.y[b]);
            putDc(w, true, pred[1], v.cb);
            putDc(w, true, pred[2], v.cr);
            w.bits("1");
            fillFlat(expected[2], row, mb, v);
        }
    }
    w.startCode(0xB7);
    return w.out;
}

TEST(Mpeg1Pictures, FullSampleVectorsAndDPicturesDecodeAsModelled) {
    SmallFrame expected[3];
    const std::vector<uint8_t> stream = buildMpeg1Stream(expected);
    mpeg::MpegDecoder decoder;
    ASSERT_EQ(decoder.openMemory(stream), kWidth);
    const mpegtest::Decoded d = mpegtest::decodeAll(decoder);
    EXPECT_FALSE(d.mpeg2);
    EXPECT_EQ(decoder.diagnosticCount(), 0);
    ASSERT_EQ(d.frames.size(), 3u);
    for (int f = 0; f < 3; ++f)
        expectFrame(d.frames[f], expected[f], 32, f);
}

// 4:4:4, 32x32 progressive: an intra frame (twelve blocks per macroblock), then a P frame with a
// one-sample shift and a macroblock whose only coded block is the first Cr block.
struct Frame444 {
    std::array<std::array<int, 32>, 32> plane[3]{};
};

std::vector<uint8_t> build444Stream(Frame444 expected[2]) {
    BitWriter w;
    w.startCode(0xB3);
    w.put(32, 12);
    w.put(32, 12);
    w.bits("0001 0011");
    w.put(0x3FFFF, 18);
    w.bits("1");
    w.put(112, 10);
    w.bits("0 0 0");
    w.startCode(0xB5);
    w.bits("0001 00010100 1 11 00 00"); // sequence extension: progressive, 4:4:4
    w.put(0, 12);
    w.bits("1");
    w.put(0, 8);
    w.bits("0 00 00000");
    auto picture = [&](int type) {
        w.startCode(0x00);
        w.put(0, 10);
        w.put(uint32_t(type), 3);
        w.put(0xFFFF, 16);
        w.bits(type == 2 ? "0111 0" : "0");
        w.startCode(0xB5);
        w.bits(type == 2 ? "1000 0001 0001 1111 1111" : "1000 1111 1111 1111 1111");
        w.bits("00 11 0 1 0 0 0 0 0 0 1 0"); // frame picture, frame_pred_frame_dct, progressive
    };
    picture(1);
    Frame444& i = expected[0];
    for (int row = 0; row < 2; ++row) {
        sliceHeader(w, row + 1);
        int pred[3] = {128, 128, 128};
        for (int mb = 0; mb < 2; ++mb) {
            w.bits("1 1");
            for (int b = 0; b < 12; ++b) {
                const int c = b < 4 ? 0 : 1 + (b & 1);
                const int k = b < 4 ? b : (b - 4) >> 1;
                const int v = 30 + (17 * b + 40 * mb + 23 * row) % 200;
                putDc(w, c != 0, pred[c], v);
                w.bits("10");
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        i.plane[c][row * 16 + (k >> 1) * 8 + y][mb * 16 + (k & 1) * 8 + x] = v;
            }
        }
    }
    picture(2);
    Frame444& p = expected[1];
    for (int row = 0; row < 2; ++row) {
        sliceHeader(w, row + 1);
        w.bits("1 001 0010 1");            // MC not coded, vector (+2, 0): one whole sample
        w.bits("1 01 01011 000000 10 10"); // no MC, coded: cbp Cr0 only; +1 DC
        for (int c = 0; c < 3; ++c)
            for (int y = row * 16; y < row * 16 + 16; ++y)
                for (int x = 0; x < 32; ++x)
                    p.plane[c][y][x] = x < 16 ? i.plane[c][y][x + 1] : i.plane[c][y][x];
        for (int y = row * 16; y < row * 16 + 8; ++y)
            for (int x = 16; x < 24; ++x)
                p.plane[2][y][x] += 3;
    }
    w.startCode(0xB7);
    return w.out;
}

TEST(Chroma444, TwelveBlockMacroblocksDecodeAsModelled) {
    Frame444 expected[2];
    const std::vector<uint8_t> stream = build444Stream(expected);
    mpeg::MpegDecoder decoder;
    ASSERT_EQ(decoder.openMemory(stream), 32);
    const mpegtest::Decoded d = mpegtest::decodeAll(decoder);
    EXPECT_EQ(d.chromaFormat, 3);
    EXPECT_EQ(decoder.diagnosticCount(), 0);
    ASSERT_EQ(d.frames.size(), 2u);
    for (int f = 0; f < 2; ++f) {
        ASSERT_EQ(d.frames[f].size(), 3u * 32 * 32);
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x)
                    ASSERT_EQ(d.frames[f][c * 1024 + y * 32 + x], expected[f].plane[c][y][x])
                        << "frame " << f << " plane " << c << " y " << y << " x " << x;
    }
}

// Runs of skipped macroblocks, 128x32: an I frame, a P frame whose rows skip six macroblocks
// (a copy of the I frame), and a B frame whose runs repeat a half-sample vector that reaches
// above or below the picture (clamped), and an interpolated pair of vectors.
constexpr int kRunWidth = 128, kRunHeight = 32;
struct RunFrame {
    std::array<std::array<int, kRunWidth>, kRunHeight> y{};
    std::array<std::array<int, kRunWidth / 2>, kRunHeight / 2> cb{}, cr{};
};

// Macroblock (mbx, mby) of ref moved by (vx, vy) half samples, the source clamped to the
// picture as the decoder clamps it; average: rounded mean with what dst holds.
void predictInto(RunFrame& dst, const RunFrame& ref, int mbx, int mby, int vx, int vy,
                 bool average) {
    auto plane = [&](auto& d, const auto& r, int w, int pvx, int pvy) {
        const int height = int(r.size()), width = int(r[0].size());
        const int hx = pvx & 1, hy = pvy & 1;
        const int sx = std::clamp(mbx * w + (pvx >> 1), 0, width - w - hx);
        const int sy = std::clamp(mby * w + (pvy >> 1), 0, height - w - hy);
        for (int y = 0; y < w; ++y)
            for (int x = 0; x < w; ++x) {
                const int p = (r[sy + y][sx + x] + r[sy + y][sx + x + hx] + r[sy + y + hy][sx + x] +
                               r[sy + y + hy][sx + x + hx] + 2) >>
                              2;
                int& out = d[mby * w + y][mbx * w + x];
                out = average ? (out + p + 1) >> 1 : p;
            }
    };
    plane(dst.y, ref.y, 16, vx, vy);
    plane(dst.cb, ref.cb, 8, vx / 2, vy / 2);
    plane(dst.cr, ref.cr, 8, vx / 2, vy / 2);
}

// expected: display order (I, B, P).
std::vector<uint8_t> buildSkippedRunStream(RunFrame expected[3]) {
    BitWriter w;
    mpegtest::SequenceParams sequence;
    sequence.width = kRunWidth;
    sequence.height = kRunHeight;
    mpegtest::writeSequence(w, sequence);
    RunFrame& i = expected[0];
    RunFrame& b = expected[1];
    RunFrame& p = expected[2];

    mpegtest::writePicture(w, {.type = 1, .temporalReference = 0});
    for (int row = 0; row < 2; ++row) {
        sliceHeader(w, row + 1);
        int pred[3] = {128, 128, 128};
        for (int mb = 0; mb < 8; ++mb) {
            const int base = 30 + 20 * mb + 40 * row; // 30..210
            const IntraValues v = {
                {base, base + 25, 235 - base, base + 10}, 40 + 20 * mb, 220 - 15 * mb - 30 * row};
            w.bits("1 1"); // increment, intra
            putIntraBlocks(w, pred, v);
            fillFlat(i, row, mb, v);
        }
    }

    // P: macroblock 0 moved (row 0 by half a sample), 1..6 skipped (zero vectors), 7 unmoved.
    mpegtest::writePicture(w, {.type = 2, .temporalReference = 2});
    for (int row = 0; row < 2; ++row) {
        sliceHeader(w, row + 1);
        w.bits(row == 0 ? "1 001 010 1" : "1 001 1 1"); // MC not coded, (+1, 0) or (0, 0)
        w.bits("0001 0");                               // increment 7
        w.bits("001 1 1");                              // MC not coded, (0, 0)
        for (int mb = 0; mb < 8; ++mb)
            predictInto(p, i, mb, row, mb == 0 && row == 0 ? 1 : 0, 0, false);
    }

    // B, forward I, backward P. Row 0: forward (+1, -3) for 0..3, the run clamped at the top;
    // interpolated forward (0, 0) and backward (+2, +1) for 4..6; backward for 7. Row 1:
    // forward (0, +3) for 0..7, the run clamped at the bottom.
    mpegtest::writePicture(w, {.type = 3, .temporalReference = 1});
    sliceHeader(w, 1);
    w.bits("1 0010 010 00011"); // forward not coded, (+1, -3)
    w.bits("0011");             // increment 4: 1..3 skipped
    w.bits("10 011 00010");     // interpolated not coded, forward (0, 0)
    w.bits("0010 010");         // backward (+2, +1)
    w.bits("010");              // increment 3: 5, 6 skipped
    w.bits("010 1 1");          // backward not coded, (+2, +1)
    for (int mb = 0; mb < 4; ++mb)
        predictInto(b, i, mb, 0, 1, -3, false);
    for (int mb = 4; mb < 7; ++mb) {
        predictInto(b, i, mb, 0, 0, 0, false);
        predictInto(b, p, mb, 0, 2, 1, true);
    }
    predictInto(b, p, 7, 0, 2, 1, false);
    sliceHeader(w, 2);
    w.bits("1 0010 1 00010"); // forward not coded, (0, +3)
    w.bits("0001 0");         // increment 7
    w.bits("0010 1 1");       // forward not coded, (0, +3)
    for (int mb = 0; mb < 8; ++mb)
        predictInto(b, i, mb, 1, 0, 3, false);

    w.startCode(0xB7);
    return w.out;
}

TEST(FramePictures, SkippedRunsPredictAsTheirMacroblocksWould) {
    RunFrame expected[3];
    const std::vector<uint8_t> stream = buildSkippedRunStream(expected);
    for (const bool plain : {false, true}) {
        mpeg::MpegDecoder decoder;
        decoder.setPlainKernels(plain);
        ASSERT_EQ(decoder.openMemory(stream), kRunWidth);
        const mpegtest::Decoded d = mpegtest::decodeAll(decoder);
        EXPECT_EQ(decoder.diagnosticCount(), 0);
        ASSERT_EQ(d.frames.size(), 3u);
        SCOPED_TRACE(plain ? "plain kernels" : "SIMD kernels");
        for (int f = 0; f < 3; ++f)
            expectFrame(d.frames[f], expected[f], kRunHeight, f);
    }
}

} // namespace
