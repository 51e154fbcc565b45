// The SIMD kernels against the plain ones: bit-identical results on random input, and no byte
// read or written beyond what the plain kernel touches (the buffers here end exactly where the
// plain kernel stops, so the sanitizer build catches any overreach). Then whole streams: every
// committed stream decodes to the same planes and RGB output with either set.
#include "media/mpeg/decoder.h"
#include "media/mpeg/kernels.h"
#include "media/mpeg/output.h"
#include "mpeg_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using mpeg::Kernels;

const Kernels& plain() {
    return mpeg::plainKernels();
}
// Both SIMD sets: with AVX2 where the processor has it, and SSE2 alone.
const std::vector<const Kernels*>& simdSets() {
    static const std::vector<const Kernels*> sets = {&mpeg::simdKernels(),
                                                     &mpeg::simdKernelsWithoutAvx2()};
    return sets;
}

std::vector<uint8_t> randomBytes(std::mt19937& rng, size_t n) {
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

TEST(SimdKernels, ThisBuildHasThemWhereExpected) {
#if defined(__x86_64__) && defined(__SSE2__)
    EXPECT_TRUE(mpeg::haveSimdKernels());
    for (const Kernels* simd : simdSets())
        EXPECT_NE(simd->idctPut, plain().idctPut);
#else
    EXPECT_FALSE(mpeg::haveSimdKernels());
    for (const Kernels* simd : simdSets())
        EXPECT_EQ(simd, &plain());
#endif
}

// Coefficient blocks of the shapes the inverse DCT treats differently: the DC term alone, the
// top-left quarter, the top four rows, the left four columns, anything; small and full-range
// values; and blocks whose intermediate results leave 16 bits.
std::vector<std::vector<int16_t>> coefficientBlocks() {
    std::mt19937 rng(2024);
    std::vector<std::vector<int16_t>> blocks;
    for (int n = 0; n < 6000; ++n) {
        std::vector<int16_t> b(64, 0);
        const int shape = n % 5;
        const int range = n % 3 == 0 ? 2048 : n % 3 == 1 ? 256 : 16;
        const int count = 1 + static_cast<int>(rng() % 12);
        for (int k = 0; k < (shape == 0 ? 1 : count); ++k) {
            int r = static_cast<int>(rng() % 8), c = static_cast<int>(rng() % 8);
            if (shape == 0)
                r = c = 0;
            else if (shape == 1)
                r &= 3, c &= 3;
            else if (shape == 2)
                r &= 3;
            else if (shape == 3)
                c &= 3;
            b[r * 8 + c] = static_cast<int16_t>(static_cast<int>(rng() % (2 * range)) - range);
        }
        blocks.push_back(std::move(b));
    }
    for (int pattern = 0; pattern < 8; ++pattern) {
        std::vector<int16_t> b(64);
        for (int i = 0; i < 64; ++i) {
            const bool high = pattern & 4 ? (i / 8 + i % 8) % 2 : (i % 8) % 2;
            b[i] = static_cast<int16_t>((high ^ (pattern & 1)) ? 2047 : -2048);
            if (pattern & 2)
                b[i] = static_cast<int16_t>(i % 3 ? b[i] : 0);
        }
        blocks.push_back(std::move(b));
    }
    return blocks;
}

TEST(SimdKernels, InverseDctMatchesPlainAndClearsTheBlock) {
    std::mt19937 rng(7);
    constexpr int kStride = 11; // odd, so rows are unaligned; 8 x 8 ends exactly at the buffer
    for (const Kernels* simd : simdSets())
        for (const std::vector<int16_t>& coefficients : coefficientBlocks()) {
            for (bool add : {false, true}) {
                const std::vector<uint8_t> pixels = randomBytes(rng, 7 * kStride + 8);
                std::vector<uint8_t> expected = pixels, actual = pixels;
                alignas(16) int16_t a[64], b[64];
                std::copy(coefficients.begin(), coefficients.end(), a);
                std::copy(coefficients.begin(), coefficients.end(), b);
                (add ? plain().idctAdd : plain().idctPut)(a, expected.data(), kStride);
                (add ? simd->idctAdd : simd->idctPut)(b, actual.data(), kStride);
                ASSERT_EQ(actual, expected) << (add ? "add" : "put");
                for (int16_t c : b)
                    ASSERT_EQ(c, 0);
            }
        }
}

// What mismatch control leaves of a block with the DC term alone: every DC value, against the
// full transform of the same block, for the plain set and both SIMD sets; the reference set
// keeps its own transform.
TEST(SimdKernels, DcAndLastKernelsMatchTheFullTransform) {
    std::mt19937 rng(11);
    constexpr int kStride = 11;
    std::vector<const Kernels*> sets = simdSets();
    sets.push_back(&plain());
    for (const Kernels* k : sets)
        for (int dc = -2048; dc <= 2047; ++dc)
            for (bool add : {false, true}) {
                const std::vector<uint8_t> pixels = randomBytes(rng, 7 * kStride + 8);
                std::vector<uint8_t> expected = pixels, actual = pixels;
                alignas(16) int16_t a[64] = {}, b[64] = {};
                a[0] = b[0] = static_cast<int16_t>(dc);
                a[63] = b[63] = 1;
                (add ? plain().idctAdd : plain().idctPut)(a, expected.data(), kStride);
                (add ? k->idctAddDcAndLast : k->idctPutDcAndLast)(b, actual.data(), kStride);
                ASSERT_EQ(actual, expected) << "dc " << dc << (add ? " add" : " put");
                for (int16_t c : b)
                    ASSERT_EQ(c, 0);
            }
    EXPECT_EQ(mpeg::referenceKernels().idctPutDcAndLast, mpeg::referenceKernels().idctPut);
    EXPECT_EQ(mpeg::referenceKernels().idctAddDcAndLast, mpeg::referenceKernels().idctAdd);
}

TEST(SimdKernels, PredictionMatchesPlainForEveryVariant) {
    std::mt19937 rng(11);
    for (const Kernels* simd : simdSets())
        for (int average = 0; average < 2; ++average)
            for (int wide = 0; wide < 2; ++wide)
                for (int half = 0; half < 4; ++half)
                    for (int height : {1, 2, 4, 8, 16}) {
                        SCOPED_TRACE(testing::Message()
                                     << "average " << average << " width " << (wide ? 8 : 16)
                                     << " half-pel " << half << " height " << height);
                        const int w = wide ? 8 : 16, hx = half & 1, hy = half >> 1;
                        const ptrdiff_t srcStride = 37, dstStride = 29;
                        // Exactly the samples the plain kernel reads and writes.
                        const std::vector<uint8_t> src =
                            randomBytes(rng, (height + hy - 1) * srcStride + w + hx);
                        const std::vector<uint8_t> dst =
                            randomBytes(rng, (height - 1) * dstStride + w);
                        std::vector<uint8_t> expected = dst, actual = dst;
                        plain().predict[average][wide][half](expected.data(), src.data(), dstStride,
                                                             srcStride, height);
                        simd->predict[average][wide][half](actual.data(), src.data(), dstStride,
                                                           srcStride, height);
                        ASSERT_EQ(actual, expected);
                    }
}

TEST(SimdKernels, ColourConversionMatchesPlainForEveryMatrixAndWidth) {
    std::mt19937 rng(13);
    for (const Kernels* simd : simdSets())
        for (int matrix : {1, 4, 5, 7}) {
            const mpeg::ColourCoefficients k = mpeg::colourCoefficients(matrix);
            for (int width = 1; width <= 70; ++width) {
                const std::vector<uint8_t> y = randomBytes(rng, width),
                                           cb = randomBytes(rng, width),
                                           cr = randomBytes(rng, width);
                std::vector<uint32_t> expected(width, 0xDEADBEEF), actual = expected;
                plain().yuvToRgbRow(y.data(), cb.data(), cr.data(), expected.data(), width, k);
                simd->yuvToRgbRow(y.data(), cb.data(), cr.data(), actual.data(), width, k);
                ASSERT_EQ(actual, expected) << "matrix " << matrix << " width " << width;
            }
        }
    // Extremes of every channel, where the clamping decides.
    const mpeg::ColourCoefficients k = mpeg::colourCoefficients(1);
    std::vector<uint8_t> y, cb, cr;
    for (int a : {0, 16, 128, 235, 255})
        for (int b : {0, 16, 128, 240, 255})
            for (int c : {0, 16, 128, 240, 255}) {
                y.push_back(uint8_t(a));
                cb.push_back(uint8_t(b));
                cr.push_back(uint8_t(c));
            }
    const int n = static_cast<int>(y.size());
    for (const Kernels* simd : simdSets()) {
        std::vector<uint32_t> expected(n), actual(n);
        plain().yuvToRgbRow(y.data(), cb.data(), cr.data(), expected.data(), n, k);
        simd->yuvToRgbRow(y.data(), cb.data(), cr.data(), actual.data(), n, k);
        EXPECT_EQ(actual, expected);
    }
}

TEST(SimdKernels, ChromaFiltersMatchPlain) {
    std::mt19937 rng(17);
    for (const Kernels* simd : simdSets())
        for (int width = 1; width <= 50; ++width) {
            // Vertical: six rows through every filter phase.
            std::vector<std::vector<uint8_t>> rows;
            const uint8_t* p[6];
            for (int i = 0; i < 6; ++i) {
                rows.push_back(randomBytes(rng, width));
                p[i] = rows.back().data();
            }
            for (int progressive = 0; progressive < 2; ++progressive)
                for (int parity = 0; parity < 2; ++parity)
                    for (int r = 0; r < 2; ++r) {
                        const mpeg::VerticalFilter& f =
                            mpeg::verticalFilter(progressive, parity, r);
                        std::vector<uint8_t> expected(width), actual(width);
                        plain().chromaVertical(p, f.tap, expected.data(), width);
                        simd->chromaVertical(p, f.tap, actual.data(), width);
                        ASSERT_EQ(actual, expected) << "width " << width;
                    }
            // Horizontal: a row with its four replicated samples each side, both sitings, even and
            // odd output widths.
            const std::vector<uint8_t> padded = randomBytes(rng, width + 8);
            for (int mpeg1 = 0; mpeg1 < 2; ++mpeg1)
                for (int outWidth : {2 * width - 1, 2 * width}) {
                    const size_t written = 2 * ((outWidth + 1) / 2);
                    std::vector<uint8_t> expected(written), actual(written);
                    plain().chromaHorizontal[mpeg1](padded.data() + 4, expected.data(), outWidth);
                    simd->chromaHorizontal[mpeg1](padded.data() + 4, actual.data(), outWidth);
                    ASSERT_EQ(actual, expected) << "mpeg1 " << mpeg1 << " width " << outWidth;
                }
        }
}

// Every picture of a stream: the planes handed out and the RGB output after each picture.
struct Pictures {
    std::vector<std::vector<uint8_t>> planes;
    std::vector<std::vector<uint32_t>> rgb;
};

Pictures decodeWith(const std::string& path, bool plainKernels) {
    mpeg::MpegDecoder decoder;
    decoder.setPlainKernels(plainKernels);
    Pictures out;
    if (decoder.open(path.c_str()) == 0)
        return out;
    decoder.setFrameCallback([&](const mpeg::FrameView& f) {
        std::vector<uint8_t> frame;
        mpegtest::appendPlane(frame, f.y);
        mpegtest::appendPlane(frame, f.cb);
        mpegtest::appendPlane(frame, f.cr);
        out.planes.push_back(std::move(frame));
    });
    std::vector<uint32_t> pixels(size_t(decoder.videoWidth()) * decoder.videoHeight());
    decoder.setOutput(pixels.data(), true);
    while (decoder.decodeNextPicture() == 0)
        out.rgb.push_back(pixels);
    decoder.close();
    return out;
}

TEST(SimdKernels, EveryCommittedStreamDecodesIdentically) {
    const char* const streams[] = {"mpeg1_es.m1v",
                                   "mpeg1_sys.mpg",
                                   "mpeg1_90x70.m1v",
                                   "mpeg2_es.m2v",
                                   "mpeg2_ps.mpg",
                                   "mpeg2_interlaced_tff.m2v",
                                   "mpeg2_interlaced_bff.m2v",
                                   "mpeg2_altscan.m2v",
                                   "mpeg2_intravlc_nonlinear.m2v",
                                   "mpeg2_422.m2v",
                                   "mpeg2_90x70.m2v",
                                   "mpeg2_tiny.m2v"};
    for (const char* name : streams) {
        SCOPED_TRACE(name);
        const Pictures a = decodeWith(mpegtest::dataPath(name), true);
        const Pictures b = decodeWith(mpegtest::dataPath(name), false);
        ASSERT_FALSE(a.planes.empty());
        ASSERT_EQ(a.planes.size(), b.planes.size());
        for (size_t i = 0; i < a.planes.size(); ++i)
            ASSERT_EQ(a.planes[i], b.planes[i]) << "frame " << i;
        ASSERT_EQ(a.rgb.size(), b.rgb.size());
        for (size_t i = 0; i < a.rgb.size(); ++i)
            ASSERT_EQ(a.rgb[i], b.rgb[i]) << "picture " << i;
    }
}

TEST(SimdKernels, ReferenceIdctWinsOverPlainAndSimdKernels) {
    // --reference-idct decodes the same whatever the kernel choice, and differs from the
    // integer transform somewhere in a real stream.
    const std::string path = mpegtest::dataPath("mpeg2_es.m2v");
    mpeg::MpegDecoder decoder;
    decoder.setPlainKernels(false);
    decoder.setReferenceIdct(true);
    ASSERT_GT(decoder.open(path.c_str()), 0);
    const mpegtest::Decoded withReference = mpegtest::decodeAll(decoder);
    decoder.setPlainKernels(true);
    ASSERT_GT(decoder.open(path.c_str()), 0);
    const mpegtest::Decoded plainReference = mpegtest::decodeAll(decoder);
    EXPECT_EQ(withReference.frames, plainReference.frames);
    const mpegtest::Decoded integer = mpegtest::decodeFile(path);
    EXPECT_NE(withReference.frames, integer.frames);
}

} // namespace
