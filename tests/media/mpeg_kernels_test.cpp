// Pixel kernels and tables: inverse DCT accuracy (IEEE 1180 procedure), inverse quantisation,
// VLC and scan tables, and the output stage's filters and colour conversion edge cases.
#include "media/mpeg/kernels.h"
#include "media/mpeg/output.h"
#include "media/mpeg/quantise.h"
#include "media/mpeg/vlc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Forward DCT in double precision (separable), the inverse of the reference IDCT.
void forwardDct(const int16_t* in, double* out) {
    const double pi = std::acos(-1.0);
    double basis[8][8]; // basis[u][x] = c(u) cos((2x + 1) u pi / 16)
    for (int u = 0; u < 8; ++u)
        for (int x = 0; x < 8; ++x)
            basis[u][x] = (u ? 0.5 : 1 / std::sqrt(8.0)) * std::cos((2 * x + 1) * u * pi / 16);
    double rows[8][8];
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int x = 0; x < 8; ++x)
                s += in[y * 8 + x] * basis[u][x];
            rows[y][u] = s;
        }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y)
                s += rows[y][u] * basis[v][y];
            out[v * 8 + u] = s;
        }
}

struct Ieee1180Stats {
    int peak = 0;
    double worstPositionMse = 0, worstPositionMean = 0, overallMse = 0, overallMean = 0;
};

// Random spatial blocks in [-low, high], transformed, rounded and clipped like real coefficients.
Ieee1180Stats runIeee1180(int low, int high, int sign, int blocks) {
    uint64_t seed = 1;
    auto random = [&]() {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int>((seed >> 33) % uint64_t(low + high + 1)) - low;
    };
    std::vector<double> err(64, 0), sq(64, 0);
    Ieee1180Stats st;
    for (int b = 0; b < blocks; ++b) {
        int16_t spatial[64], coef[64], fast[64], ref[64];
        double f[64];
        for (int i = 0; i < 64; ++i)
            spatial[i] = static_cast<int16_t>(sign * random());
        forwardDct(spatial, f);
        for (int i = 0; i < 64; ++i)
            coef[i] = static_cast<int16_t>(std::clamp(std::floor(f[i] + 0.5), -2048.0, 2047.0));
        mpeg::idctReference(coef, ref);
        mpeg::idctFast(coef, fast);
        for (int i = 0; i < 64; ++i) {
            const int e = fast[i] - ref[i];
            st.peak = std::max(st.peak, std::abs(e));
            err[i] += e;
            sq[i] += e * e;
        }
    }
    for (int i = 0; i < 64; ++i) {
        st.worstPositionMse = std::max(st.worstPositionMse, sq[i] / blocks);
        st.worstPositionMean = std::max(st.worstPositionMean, std::fabs(err[i]) / blocks);
        st.overallMse += sq[i] / (64.0 * blocks);
        st.overallMean += err[i] / (64.0 * blocks);
    }
    st.overallMean = std::fabs(st.overallMean);
    return st;
}

TEST(Idct, FastIdctMeetsIeee1180) {
    const int ranges[][2] = {{256, 255}, {5, 5}, {300, 300}};
    for (const auto& r : ranges)
        for (int sign : {1, -1}) {
            const Ieee1180Stats st = runIeee1180(r[0], r[1], sign, 10000);
            SCOPED_TRACE(testing::Message() << "range " << r[0] << " sign " << sign);
            EXPECT_LE(st.peak, 1);
            EXPECT_LE(st.worstPositionMse, 0.06);
            EXPECT_LE(st.overallMse, 0.02);
            EXPECT_LE(st.worstPositionMean, 0.015);
            EXPECT_LE(st.overallMean, 0.0015);
        }
}

TEST(Idct, ExtremeCoefficientsStayInRange) {
    int16_t coef[64], out[64];
    for (int pattern = 0; pattern < 4; ++pattern) {
        for (int i = 0; i < 64; ++i)
            coef[i] = int16_t(pattern & 1 ? ((i + pattern) % 2 ? 2047 : -2048)
                                          : (pattern ? -2048 : 2047));
        mpeg::idctFast(coef, out); // must not overflow; UBSan checks the arithmetic
        int16_t ref[64];
        mpeg::idctReference(coef, ref);
        for (int i = 0; i < 64; ++i)
            EXPECT_LE(std::abs(out[i] - ref[i]), 1) << i;
    }
}

TEST(Idct, KernelsClearTheBlockAndAgreeOnDcOnly) {
    for (const mpeg::Kernels* k : {&mpeg::fastKernels(), &mpeg::referenceKernels()}) {
        alignas(32) int16_t block[64] = {};
        block[0] = 110; // 110 / 8 = 13.75
        uint8_t pixels[8 * 8];
        std::memset(pixels, 0, sizeof pixels);
        k->idctPut(block, pixels, 8);
        for (uint8_t p : pixels)
            EXPECT_EQ(p, 14);
        for (int16_t c : block)
            EXPECT_EQ(c, 0);
        block[0] = -2048; // adds -256: clamps at 0
        k->idctAdd(block, pixels, 8);
        for (uint8_t p : pixels)
            EXPECT_EQ(p, 0);
    }
}

TEST(InverseQuantisation, RoundsTowardZeroAndSaturates) {
    using mpeg::dequantise;
    // Intra: level * W * scale / 16; non-intra: (2 level + sign) * W * scale / 32.
    EXPECT_EQ((dequantise<true, true>(3, 16, 6)), 18);
    EXPECT_EQ((dequantise<true, true>(-3, 19, 5)), -17); // -17.8 toward zero
    EXPECT_EQ((dequantise<false, true>(-1, 16, 16)), -24);
    EXPECT_EQ((dequantise<false, true>(2, 17, 3)), 7); // 7.96 toward zero
    EXPECT_EQ((dequantise<true, true>(2047, 255, 112)), 2047);
    EXPECT_EQ((dequantise<true, true>(-2047, 255, 112)), -2048);
    // MPEG-1 makes every nonzero coefficient odd, toward zero, and saturates afterwards.
    EXPECT_EQ((dequantise<true, false>(1, 16, 2)), 1);
    EXPECT_EQ((dequantise<true, false>(-1, 16, 2)), -1);
    EXPECT_EQ((dequantise<false, false>(1, 16, 4)), 5); // 6 -> 5
    EXPECT_EQ((dequantise<true, false>(255, 255, 62)), 2047);
    EXPECT_EQ((dequantise<true, false>(0, 255, 62)), 0);
}

TEST(InverseQuantisation, MismatchControlMakesTheSumOdd) {
    int16_t block[64] = {};
    block[0] = 8;
    EXPECT_TRUE(mpeg::mismatchControl(8, block));
    EXPECT_EQ(block[63], 1);
    block[63] = 4;
    EXPECT_TRUE(mpeg::mismatchControl(12, block));
    EXPECT_EQ(block[63], 5);
    EXPECT_FALSE(mpeg::mismatchControl(13, block));
    EXPECT_EQ(block[63], 5);
}

TEST(Tables, ScansArePermutations) {
    for (const auto& scan : mpeg::kScan) {
        bool seen[64] = {};
        for (int i = 0; i < 64; ++i) {
            ASSERT_LT(scan[i], 64);
            EXPECT_FALSE(seen[scan[i]]);
            seen[scan[i]] = true;
        }
    }
}

TEST(Tables, VlcLookupsDecodeKnownCodes) {
    const mpeg::VlcTables& t = mpeg::vlcTables();
    auto at = [](uint32_t code, int length) { return code << (32 - length); };
    EXPECT_EQ(t.macroblockAddressIncrement.lookup(at(0b1, 1)).value, 1);
    EXPECT_EQ(t.macroblockAddressIncrement.lookup(at(0b00000011000, 11)).value, 33);
    EXPECT_EQ(t.macroblockAddressIncrement.lookup(at(0b00000001000, 11)).value, mpeg::kMbaEscape);
    EXPECT_EQ(t.macroblockAddressIncrement.lookup(0).length, 0);
    EXPECT_EQ(t.codedBlockPattern.lookup(at(0b000000001, 9)).value, 0);
    EXPECT_EQ(t.codedBlockPattern.lookup(at(0b111, 3)).value, 60);
    EXPECT_EQ(t.motionCode.lookup(at(0b00000011001, 11)).value, -16);
    EXPECT_EQ(t.motionCode.lookup(at(0b00000011000, 11)).value, 16);
    EXPECT_EQ(t.motionCode.lookup(at(0b0000001, 7)).length, 0);
    // Longest coefficient codes, and codes whose meaning differs between the two tables.
    const mpeg::VlcEntry e = t.dctCoefficients0.lookup(at(0b0000000000011011, 16));
    EXPECT_EQ(e.length, 16);
    EXPECT_EQ(e.value, (31 << 6) | 1);
    EXPECT_EQ(t.dctCoefficients0.lookup(at(0b0110, 4)).value, (1 << 6) | 1);
    EXPECT_EQ(t.dctCoefficients1.lookup(at(0b0110, 4)).value, mpeg::kDctEob);
    EXPECT_EQ(t.dctCoefficients1.lookup(at(0b11111111, 8)).value, 15);
    EXPECT_EQ(t.dctCoefficients0.lookup(at(0b000001, 6)).value, mpeg::kDctEscape);
    EXPECT_EQ(t.dctCoefficients0.lookup(0).length, 0);
}

// The one-look-up coefficient tables against the full ones, for every 17-bit start of the stream
// (the longest code with its sign): a code decoded there must be the full table's, with the sign
// bit that follows it; end of block keeps its code length; the rest is left to the full table.
TEST(Tables, FastCoefficientTablesAgreeWithTheFullOnes) {
    const mpeg::VlcTables& t = mpeg::vlcTables();
    constexpr int kBits = mpeg::kDctLongZeros + mpeg::kDctLongBits;
    static_assert(kBits == 17);
    for (int table = 0; table < 2; ++table) {
        const mpeg::VlcTable& full = table ? t.dctCoefficients1 : t.dctCoefficients0;
        int decodedShort = 0, decodedLong = 0;
        for (uint32_t bits = 0; bits < (1u << kBits); ++bits) {
            const mpeg::VlcEntry e = full.lookup(bits << (32 - kBits));
            const bool runLevel =
                e.length != 0 && e.value != mpeg::kDctEob && e.value != mpeg::kDctEscape;
            mpeg::DctFastEntry f = t.dctFast[table].fast[bits >> (kBits - mpeg::kDctFastBits)];
            const bool longCode = (bits >> (kBits - mpeg::kDctLongZeros)) == 0;
            if (!f.decoded() && longCode)
                f = t.dctFast[table].longCodes[bits & ((1u << mpeg::kDctLongBits) - 1)];
            if (!f.decoded()) {
                // Not decoded by the fast tables: only end of block (with its length), escape,
                // invalid codes, and run/level codes too long for the first table (never
                // the long ones).
                if (e.value == mpeg::kDctEob) {
                    EXPECT_EQ(f.length(), e.length);
                } else {
                    EXPECT_EQ(f.length(), 0) << bits;
                    EXPECT_FALSE(runLevel && (longCode || e.length < mpeg::kDctFastBits)) << bits;
                }
                continue;
            }
            ASSERT_TRUE(runLevel) << bits;
            EXPECT_EQ(f.length(), e.length + 1) << bits;
            EXPECT_EQ(f.runPlus1(), (e.value >> 6) + 1) << bits;
            EXPECT_EQ(f.level(), e.value & 63) << bits;
            EXPECT_EQ(f.negative(), (bits >> (kBits - 1 - e.length)) & 1) << bits;
            (longCode ? decodedLong : decodedShort)++;
        }
        EXPECT_GT(decodedShort, 0);
        EXPECT_GT(decodedLong, 0);
    }
}

struct SolidFrame {
    std::vector<uint8_t> y, cb, cr;
    mpeg::FrameView view;
    SolidFrame(int w, int h, int chromaFormat, uint8_t Y, uint8_t Cb, uint8_t Cr) {
        const int cw = chromaFormat == 3 ? w : (w + 1) / 2;
        const int ch = chromaFormat == 1 ? (h + 1) / 2 : h;
        y.assign(size_t(w) * h, Y);
        cb.assign(size_t(cw) * ch, Cb);
        cr.assign(size_t(cw) * ch, Cr);
        view.y = {y.data(), w, w, h};
        view.cb = {cb.data(), cw, cw, ch};
        view.cr = {cr.data(), cw, cw, ch};
        view.chroma_format = chromaFormat;
    }
};

std::vector<uint32_t> convert(const SolidFrame& f, bool mpeg1, bool progressive, int matrix) {
    mpeg::OutputStage stage;
    std::vector<uint32_t> out(size_t(f.view.y.width) * f.view.y.height, 0xAAAAAAAA);
    mpeg::OutputParameters p;
    p.mpeg1 = mpeg1;
    p.progressive_frame = progressive;
    p.matrix_coefficients = matrix;
    stage.convert(f.view, p, out.data(), f.view.y.width, f.view.y.height, mpeg::fastKernels());
    return out;
}

TEST(OutputStage, BlackAndWhiteAreExact) {
    for (int chroma : {1, 2, 3})
        for (bool mpeg1 : {true, false})
            for (bool progressive : {true, false}) {
                for (uint32_t p :
                     convert(SolidFrame(37, 21, chroma, 16, 128, 128), mpeg1, progressive, 5))
                    ASSERT_EQ(p, 0x000000u);
                for (uint32_t p :
                     convert(SolidFrame(37, 21, chroma, 235, 128, 128), mpeg1, progressive, 5))
                    ASSERT_EQ(p, 0xFFFFFFu);
            }
}

TEST(OutputStage, PixelsAreStoredAsBgrZeroBytes) {
    // Saturated red in the BT.601 matrix: Y=81, Cb=90, Cr=240.
    const std::vector<uint32_t> out = convert(SolidFrame(16, 16, 1, 81, 90, 240), true, true, 5);
    uint8_t bytes[4];
    std::memcpy(bytes, &out[0], 4);
    EXPECT_GE(bytes[2], 250); // red
    EXPECT_LE(bytes[1], 5);   // green
    EXPECT_LE(bytes[0], 5);   // blue
    EXPECT_EQ(bytes[3], 0);
}

TEST(OutputStage, MatrixCoefficientsChangeTheColour) {
    const uint32_t bt601 = convert(SolidFrame(8, 8, 3, 100, 60, 200), false, true, 5)[0];
    const uint32_t bt709 = convert(SolidFrame(8, 8, 3, 100, 60, 200), false, true, 1)[0];
    EXPECT_NE(bt601, bt709);
    // Reserved values fall back to BT.601.
    EXPECT_EQ(convert(SolidFrame(8, 8, 3, 100, 60, 200), false, true, 9)[0], bt601);
}

TEST(OutputStage, ChromaFiltersKeepFlatAreasAndEdgesExact) {
    // A vertical chroma edge: left half blue-ish, right half red-ish. Far from the edge the
    // upsampled chroma must equal the input exactly, for every filter variant.
    for (bool mpeg1 : {true, false})
        for (bool progressive : {true, false}) {
            SolidFrame f(64, 32, 1, 128, 128, 128);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 32; ++x)
                    f.cr[y * 32 + x] = x < 16 ? 60 : 200;
            const std::vector<uint32_t> out = convert(f, mpeg1, progressive, 5);
            const uint32_t left = convert(SolidFrame(4, 4, 3, 128, 128, 60), mpeg1, true, 5)[0];
            const uint32_t right = convert(SolidFrame(4, 4, 3, 128, 128, 200), mpeg1, true, 5)[0];
            for (int y = 0; y < 32; ++y) {
                EXPECT_EQ(out[y * 64 + 2], left);
                EXPECT_EQ(out[y * 64 + 61], right);
            }
        }
}

TEST(OutputStage, VerticalFiltersSumToUnity) {
    for (bool progressive : {true, false})
        for (int parity : {0, 1})
            for (int r : {0, 1}) {
                const mpeg::VerticalFilter& f = mpeg::verticalFilter(progressive, parity, r);
                int sum = 0;
                for (int t : f.tap)
                    sum += t;
                EXPECT_EQ(sum, 256);
            }
}

TEST(OutputStage, LargerFramesAreCroppedToTheBuffer) {
    SolidFrame f(40, 30, 1, 235, 128, 128);
    std::vector<uint32_t> out(20 * 10 + 1, 0x55555555);
    mpeg::OutputStage stage;
    stage.convert(f.view, {}, out.data(), 20, 10, mpeg::fastKernels());
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(out[i], 0xFFFFFFu);
    EXPECT_EQ(out[200], 0x55555555u);
}

} // namespace
