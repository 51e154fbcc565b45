// Scalable streams written by hand (no encoder at hand writes them): data partitioning at every
// kind of priority breakpoint against the same stream unpartitioned, SNR enhancement layers that
// refine nothing, a DC term and AC terms (against a coefficient model), and spatial enhancement
// layers against a model of the upsampled lower layer and of the spatial/temporal weights.
#include "fuzz/mpeg/fuzz_input.h"
#include "media/mpeg/kernels.h"
#include "media/mpeg/video_api.h"
#include "media/mpeg/vlc.h"
#include "mpeg_stream_writer.h"
#include "mpeg_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>

namespace {

using namespace mpegtest;

struct CodedPicture {
    int type, temporalReference;
};
// Coding order of a small group of pictures with B pictures.
const CodedPicture kGroup[] = {{1, 0}, {2, 3}, {3, 1}, {3, 2}, {2, 6}, {3, 4}};
constexpr int kGroupFrames = 6;

// A random stream of kGroup, 4:2:0, width x 32; with a breakpoint, its two partitions.
std::vector<std::vector<uint8_t>> randomStream(int breakpoint, int framePredFrameDct, uint32_t seed,
                                               int width = 64) {
    LayeredWriter w(breakpoint);
    for (int p = 0; p < w.partitions(); ++p) {
        SequenceParams sp;
        sp.width = width;
        sp.height = 32;
        sp.progressive = framePredFrameDct != 0;
        sp.scalableMode = w.partitioned() ? 0 : -1;
        sp.layerId = p;
        writeSequence(w.part(p), sp);
    }
    std::mt19937 rng(seed);
    SliceOptions o;
    o.framePredFrameDct = framePredFrameDct;
    for (const CodedPicture& c : kGroup) {
        PictureParams pp;
        pp.type = c.type;
        pp.temporalReference = c.temporalReference;
        pp.framePredFrameDct = framePredFrameDct;
        pp.progressiveFrame = framePredFrameDct;
        for (int p = 0; p < w.partitions(); ++p)
            writePicture(w.part(p), pp);
        writeRandomSlices(w, c.type, width / 16, 2, o, rng);
    }
    std::vector<std::vector<uint8_t>> out;
    for (int p = 0; p < w.partitions(); ++p) {
        w.part(p).startCode(0xB7);
        out.push_back(w.stream(p));
    }
    return out;
}

Decoded decodePlain(const std::vector<uint8_t>& stream, int* diagnostics,
                    bool referenceIdct = false) {
    mpeg::MpegDecoder decoder;
    decoder.setReferenceIdct(referenceIdct);
    if (decoder.openMemory(stream) == 0)
        return {};
    Decoded d = decodeAll(decoder);
    *diagnostics = decoder.diagnosticCount();
    return d;
}

// ---- Data partitioning --------------------------------------------------------------------

class MpegDataPartitioning : public ::testing::TestWithParam<int> {};

TEST_P(MpegDataPartitioning, PartitionsDecodeLikeTheUnpartitionedStream) {
    const int breakpoint = GetParam();
    for (int framePredFrameDct : {1, 0}) {
        for (uint32_t seed : {1u, 2u, 3u}) {
            SCOPED_TRACE(testing::Message()
                         << "frame_pred_frame_dct " << framePredFrameDct << " seed " << seed);
            int plainDiagnostics = -1, diagnostics = -1, mode = -2;
            const Decoded plain =
                decodePlain(randomStream(0, framePredFrameDct, seed)[0], &plainDiagnostics);
            ASSERT_EQ(plainDiagnostics, 0);
            ASSERT_EQ(plain.frames.size(), size_t(kGroupFrames));
            const std::vector<std::vector<uint8_t>> parts =
                randomStream(breakpoint, framePredFrameDct, seed);
            const Decoded split = decodeLayers(parts[0], parts[1], false, &diagnostics, &mode);
            EXPECT_EQ(mode, 0);
            EXPECT_EQ(diagnostics, 0);
            ASSERT_EQ(split.frames.size(), plain.frames.size());
            for (size_t f = 0; f < plain.frames.size(); ++f)
                ASSERT_EQ(split.frames[f], plain.frames[f]) << "frame " << f;
            // Partition 0 alone still gives every frame, concealed where partition 1 is missing.
            const Decoded alone = decodePlain(parts[0], &diagnostics);
            EXPECT_EQ(alone.frames.size(), plain.frames.size());
            EXPECT_GT(diagnostics, 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Breakpoints, MpegDataPartitioning,
                         ::testing::Values(1, 2, 3, 64, 65, 66, 70, 127));

// ---- SNR scalability ----------------------------------------------------------------------

// An SNR enhancement layer in step with pictures; slices(w, picture, row) writes each row's
// slice after its slice_start_code.
std::vector<uint8_t> snrEnhancement(int width, int height, const std::vector<PictureParams>& pics,
                                    const std::function<void(BitWriter&, int, int)>& slices) {
    BitWriter w;
    SequenceParams sp;
    sp.width = width;
    sp.height = height;
    sp.scalableMode = 2;
    sp.layerId = 1;
    sp.progressive = pics.empty() || pics[0].framePredFrameDct;
    writeSequence(w, sp);
    for (size_t k = 0; k < pics.size(); ++k) {
        writePicture(w, pics[k]);
        for (int row = 0; row < height / 16; ++row) {
            w.startCode(uint8_t(row + 1));
            slices(w, int(k), row);
        }
    }
    w.startCode(0xB7);
    return w.out;
}

std::vector<PictureParams> groupPictures(int framePredFrameDct) {
    std::vector<PictureParams> pics;
    for (const CodedPicture& c : kGroup) {
        PictureParams pp;
        pp.type = c.type;
        pp.temporalReference = c.temporalReference;
        pp.framePredFrameDct = framePredFrameDct;
        pp.progressiveFrame = framePredFrameDct;
        pics.push_back(pp);
    }
    return pics;
}

TEST(MpegSnrScalability, NotCodedRefinementDecodesAsTheBaseLayer) {
    for (int framePredFrameDct : {1, 0}) {
        const std::vector<uint8_t> base = randomStream(0, framePredFrameDct, 11)[0];
        // Every slice: its first macroblock not coded, the next two skipped, the last not coded.
        const std::vector<uint8_t> enhancement =
            snrEnhancement(64, 32, groupPictures(framePredFrameDct), [](BitWriter& w, int, int) {
                w.put(8, 5);
                w.put(0, 1);
                w.bits("1 001");   // not coded
                w.bits("010 001"); // increment 3, not coded
            });
        int baseDiagnostics = -1, diagnostics = -1, mode = -2;
        const Decoded plain = decodePlain(base, &baseDiagnostics);
        const Decoded refined = decodeLayers(base, enhancement, false, &diagnostics, &mode);
        EXPECT_EQ(baseDiagnostics, 0);
        EXPECT_EQ(diagnostics, 0);
        EXPECT_EQ(mode, 2);
        ASSERT_EQ(plain.frames.size(), size_t(kGroupFrames));
        ASSERT_EQ(refined.frames.size(), plain.frames.size());
        for (size_t f = 0; f < plain.frames.size(); ++f)
            EXPECT_EQ(refined.frames[f], plain.frames[f]) << "frame " << f;
    }
}

// A flat intra picture 64 x 32 (DC terms only) as the base layer.
std::vector<uint8_t> flatIntraBase(uint32_t seed) {
    LayeredWriter w(0);
    SequenceParams sp;
    sp.width = 64;
    sp.height = 32;
    writeSequence(w.part(0), sp);
    writePicture(w.part(0), PictureParams{});
    SliceOptions o;
    o.acCoefficients = false;
    std::mt19937 rng(seed);
    writeRandomSlices(w, 1, 4, 2, o, rng);
    w.part(0).startCode(0xB7);
    return w.stream(0);
}

// Pixels of one 8x8 block of a decoded 64 x 32 4:2:0 frame: plane 0 (luma) or 1, 2 (chroma).
std::vector<int> blockPixels(const std::vector<uint8_t>& frame, int plane, int x, int y) {
    const int width = plane == 0 ? 64 : 32;
    const size_t offset = plane == 0 ? 0 : plane == 1 ? 64 * 32 : 64 * 32 + 32 * 16;
    std::vector<int> v;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            v.push_back(frame[offset + size_t((y + r) * width + x + c)]);
    return v;
}

TEST(MpegSnrScalability, DcRefinementAddsItsDequantisedValue) {
    const std::vector<uint8_t> base = flatIntraBase(5);
    // Macroblock 1 of row 0: Y0 refined by a first coefficient +1 (DC): with quantiser_scale 16
    // and the default matrix (2 * 1 + 1) * 16 * 16 / 32 = 24, a block brighter by 3.
    PictureParams pp;
    const std::vector<uint8_t> enhancement =
        snrEnhancement(64, 32, {pp}, [](BitWriter& w, int, int row) {
            w.put(8, 5);
            w.put(0, 1);
            if (row == 0) {
                w.bits("1 001");          // macroblock 0 not coded
                w.bits("1 1 1010 10 10"); // macroblock 1: coded, cbp Y0, +1, end of block
                w.bits("011 001");        // macroblock 3 not coded
            } else {
                w.bits("1 001 010 001");
            }
        });
    int diagnostics = -1;
    const Decoded plain = decodePlain(base, &diagnostics, true);
    ASSERT_EQ(diagnostics, 0);
    const Decoded refined = decodeLayers(base, enhancement, true, &diagnostics);
    EXPECT_EQ(diagnostics, 0);
    ASSERT_EQ(plain.frames.size(), 1u);
    ASSERT_EQ(refined.frames.size(), 1u);
    const std::vector<uint8_t>& a = plain.frames[0];
    const std::vector<uint8_t>& b = refined.frames[0];
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        const bool inBlock = i < 64 * 32 && (i / 64) < 8 && (i % 64) >= 16 && (i % 64) < 24;
        ASSERT_EQ(int(b[i]), int(a[i]) + (inBlock ? 3 : 0)) << "sample " << i;
    }
}

// Expected block: the base layer's flat intra block (DC value v) plus the enhancement's terms,
// saturated, mismatch-controlled and transformed by the reference inverse DCT.
std::vector<int> modelBlock(int v, const std::vector<std::pair<int, int>>& terms) {
    int32_t sum[64] = {};
    sum[0] = 8 * v;
    for (const auto& [pos, value] : terms)
        sum[pos] += value;
    int16_t coefficients[64], out[64];
    int total = 0;
    for (int k = 0; k < 64; ++k) {
        coefficients[k] = int16_t(std::clamp(sum[k], -2048, 2047));
        total += coefficients[k];
    }
    if ((total & 1) == 0)
        coefficients[63] ^= 1;
    mpeg::idctReference(coefficients, out);
    std::vector<int> pixels;
    for (int k = 0; k < 64; ++k)
        pixels.push_back(std::clamp(int(out[k]), 0, 255));
    return pixels;
}

int nonIntraValue(int level, int quantiserScale) {
    const int v = ((2 * std::abs(level) + 1) * 16 * quantiserScale) / 32;
    return level < 0 ? -v : v;
}

TEST(MpegSnrScalability, AcRefinementFollowsTheEnhancementScanAndQuantiser) {
    const std::vector<uint8_t> base = flatIntraBase(9);
    // The enhancement layer scans alternately and quantises with its own scale: slice code 4
    // (8), changed to code 2 (4) by macroblock 0, which refines Y0 and Cb.
    PictureParams pp;
    pp.alternateScan = 1;
    const std::vector<uint8_t> enhancement =
        snrEnhancement(64, 32, {pp}, [](BitWriter& w, int, int row) {
            w.put(4, 5);
            w.put(0, 1);
            if (row == 0) {
                w.bits("1 01 00010");          // macroblock 0: coded, quant, quantiser_scale_code 2
                w.bits("0010 000");            // cbp 34: Y0 and Cb
                putCoefficient(w, 0, 2, true); // Y0: scan 0, +2
                putCoefficient(w, 1, -1, false); // scan 2, -1
                w.bits("10");
                putCoefficient(w, 3, 1, true); // Cb: scan 3, +1
                w.bits("10");
                w.bits("010 001"); // macroblock 3 not coded
            } else {
                w.bits("1 001 010 001");
            }
        });
    int diagnostics = -1;
    const Decoded plain = decodePlain(base, &diagnostics, true);
    ASSERT_EQ(diagnostics, 0);
    const Decoded refined = decodeLayers(base, enhancement, true, &diagnostics);
    EXPECT_EQ(diagnostics, 0);
    ASSERT_EQ(refined.frames.size(), 1u);
    // The base layer's blocks are flat: their value is any of their samples.
    const int y0 = plain.frames[0][0];
    const int cb = plain.frames[0][64 * 32];
    const uint8_t* scan = mpeg::kScan[1];
    EXPECT_EQ(blockPixels(refined.frames[0], 0, 0, 0),
              modelBlock(y0, {{scan[0], nonIntraValue(2, 4)}, {scan[2], nonIntraValue(-1, 4)}}));
    EXPECT_EQ(blockPixels(refined.frames[0], 1, 0, 0),
              modelBlock(cb, {{scan[3], nonIntraValue(1, 4)}}));
    // Everything else is the base layer.
    EXPECT_EQ(blockPixels(refined.frames[0], 0, 8, 0), blockPixels(plain.frames[0], 0, 8, 0));
    EXPECT_EQ(blockPixels(refined.frames[0], 2, 0, 0), blockPixels(plain.frames[0], 2, 0, 0));
    EXPECT_EQ(blockPixels(refined.frames[0], 0, 16, 8), blockPixels(plain.frames[0], 0, 16, 8));
}

TEST(MpegSnrScalability, MismatchedEnhancementLayerIsDropped) {
    const std::vector<uint8_t> base = randomStream(0, 1, 21)[0];
    // An SNR layer of another size: reported, and the base layer decodes alone.
    const std::vector<uint8_t> enhancement =
        snrEnhancement(32, 32, groupPictures(1), [](BitWriter& w, int, int) {
            w.put(8, 5);
            w.put(0, 1);
            w.bits("1 001 1 001");
        });
    int baseDiagnostics = -1, diagnostics = -1, mode = -2;
    const Decoded plain = decodePlain(base, &baseDiagnostics);
    const Decoded d = decodeLayers(base, enhancement, false, &diagnostics, &mode);
    EXPECT_EQ(mode, -1);
    EXPECT_GT(diagnostics, 0);
    EXPECT_EQ(d.frames, plain.frames);
}

// One random SNR enhancement slice (after its start code): macroblocks coded, coded with a new
// quantiser or not coded, some skipped, blocks of random non-intra coefficients.
void randomSnrSlice(BitWriter& w, int mbWidth, int framePredFrameDct, std::mt19937& rng) {
    w.put(uint32_t(1 + rng() % 31), 5);
    w.put(0, 1);
    int mb = 0;
    bool first = true;
    while (mb < mbWidth) {
        int increment = 1;
        if (!first)
            while (mb + increment < mbWidth - 1 && increment < 8 && rng() % 4 == 0)
                ++increment;
        mb += increment;
        first = false;
        w.bits(kAddressIncrement[increment]);
        const int kind = int(rng() % 3); // not coded, coded, coded with quantiser
        if (kind == 0) {
            w.bits("001");
            continue;
        }
        w.bits(kind == 1 ? "1" : "01");
        if (!framePredFrameDct)
            w.put(rng() % 2, 1); // dct_type
        if (kind == 2)
            w.put(uint32_t(1 + rng() % 31), 5);
        const int cbp = 1 + int(rng() % 63);
        w.bits(codedBlockPatternCode(cbp));
        for (int n = 0; n < 6; ++n) {
            if (!(cbp & (1 << (5 - n))))
                continue;
            int index = -1;
            const int count = 1 + int(rng() % 5);
            for (int k = 0; k < count && index < 58; ++k) {
                const int run = int(rng() % 4);
                index += run + 1;
                const int level = (rng() % 2 ? -1 : 1) * (1 + int(rng() % (rng() % 8 ? 3 : 200)));
                putCoefficient(w, run, level, k == 0);
            }
            w.bits("10");
        }
    }
}

std::vector<uint8_t> randomSnrEnhancement(int framePredFrameDct, uint32_t seed) {
    std::mt19937 rng(seed);
    return snrEnhancement(64, 32, groupPictures(framePredFrameDct), [&](BitWriter& w, int, int) {
        randomSnrSlice(w, 4, framePredFrameDct, rng);
    });
}

TEST(MpegSnrScalability, RandomRefinementsDecodeCleanly) {
    for (int framePredFrameDct : {1, 0}) {
        const std::vector<uint8_t> base = randomStream(0, framePredFrameDct, 31)[0];
        int diagnostics = -1, mode = -2;
        const Decoded plain = decodePlain(base, &diagnostics);
        const Decoded refined = decodeLayers(base, randomSnrEnhancement(framePredFrameDct, 32),
                                             false, &diagnostics, &mode);
        EXPECT_EQ(mode, 2);
        EXPECT_EQ(diagnostics, 0);
        ASSERT_EQ(refined.frames.size(), plain.frames.size());
        for (size_t f = 0; f < plain.frames.size(); ++f)
            EXPECT_NE(refined.frames[f], plain.frames[f]) << "frame " << f;
    }
}

TEST(MpegTemporalScalability, IsReportedAndTheBaseLayerDecodesAlone) {
    const std::vector<uint8_t> base = randomStream(0, 1, 41)[0];
    BitWriter w;
    SequenceParams sp;
    sp.width = 64;
    sp.height = 32;
    sp.scalableMode = 3;
    sp.layerId = 1;
    writeSequence(w, sp);
    w.startCode(0xB7);
    int diagnostics = -1;
    const Decoded plain = decodePlain(base, &diagnostics);
    mpeg::MpegDecoder decoder;
    decoder.setQuiet(false);
    testing::internal::CaptureStdout();
    ASSERT_EQ(decoder.openMemory(base, w.out), 64);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("temporal scalability not implemented\n"), std::string::npos) << printed;
    EXPECT_EQ(decoder.scalability(), -1);
    decoder.setQuiet(true);
    EXPECT_EQ(decodeAll(decoder).frames, plain.frames);
}

// ---- Spatial scalability ------------------------------------------------------------------

// A plane of a decoded 4:2:0 frame, as rows of ints.
struct PlaneModel {
    int width = 0, height = 0;
    std::vector<int> v;
    int at(int x, int y) const { return v[size_t(y * width + x)]; }
    int& at(int x, int y) { return v[size_t(y * width + x)]; }
};

PlaneModel plane(const std::vector<uint8_t>& frame, int width, int height, int c) {
    PlaneModel p;
    p.width = c == 0 ? width : width / 2;
    p.height = c == 0 ? height : height / 2;
    const size_t offset = c == 0 ? 0 : size_t(width) * height * (c == 1 ? 4 : 5) / 4;
    for (size_t i = 0; i < size_t(p.width) * p.height; ++i)
        p.v.push_back(frame[offset + i]);
    return p;
}

// Lower layer frame with the lines of field f kept and the others interpolated (one-field
// aperture: mean of the lines above and below; two-field: 8 (above + below) + 2 other - other
// two lines up - other two lines down, over 16).
PlaneModel deinterlaceModel(const PlaneModel& src, int f, bool oneField) {
    PlaneModel out = src;
    const int h = src.height;
    for (int y = 0; y < h; ++y) {
        if ((y & 1) == f)
            continue;
        const int a = y == 0 ? 1 : y - 1, b = y == h - 1 ? h - 2 : y + 1;
        for (int x = 0; x < src.width; ++x) {
            if (oneField) {
                out.at(x, y) = (src.at(x, a) + src.at(x, b) + 1) / 2;
            } else {
                const int up = y < 2 ? y : y - 2, down = y >= h - 2 ? y : y + 2;
                const int v = 8 * (src.at(x, a) + src.at(x, b)) + 2 * src.at(x, y) - src.at(x, up) -
                              src.at(x, down);
                out.at(x, y) = std::clamp(v >= 0 ? (v + 8) / 16 : -((-v + 8) / 16), 0, 255);
            }
        }
    }
    return out;
}

// The upsampled lower layer at this layer's size: linear interpolation with sixteenth-sample
// phases, vertically then horizontally, its top-left sample at (x0, y0); mid-grey outside.
// sources[parity] is the lower layer for upsampled rows of that parity.
PlaneModel upsampleModel(const PlaneModel* sources[2], int outW, int outH, int x0, int y0, int m,
                         int n) {
    PlaneModel out;
    out.width = outW;
    out.height = outH;
    out.v.assign(size_t(outW) * outH, 128);
    const int w = sources[0]->width, h = sources[0]->height;
    for (int y = 0; y < outH; ++y) {
        const int j = y - y0;
        if (j < 0 || j >= h * n / m)
            continue;
        const PlaneModel& s = *sources[j & 1];
        const int j0 = j * m / n, j1 = std::min(j0 + 1, h - 1);
        const int wv = (16 * (j * m % n) + n / 2) / n;
        for (int x = 0; x < outW; ++x) {
            const int i = x - x0;
            if (i < 0 || i >= w * n / m)
                continue;
            const int i0 = i * m / n, i1 = std::min(i0 + 1, w - 1);
            const int wh = (16 * (i * m % n) + n / 2) / n;
            const int left = (16 - wv) * s.at(i0, j0) + wv * s.at(i0, j1);
            const int right = (16 - wv) * s.at(i1, j0) + wv * s.at(i1, j1);
            out.at(x, y) = ((16 - wh) * left + wh * right + 128) >> 8;
        }
    }
    return out;
}

// Lower layer 32 x 32, four pictures I P P P; enhancement 64 x 64, twice the size both ways.
constexpr int kLowerSize = 32, kEnhancedSize = 64;

std::vector<uint8_t> lowerLayer(uint32_t seed) {
    LayeredWriter w(0);
    SequenceParams sp;
    sp.width = sp.height = kLowerSize;
    writeSequence(w.part(0), sp);
    std::mt19937 rng(seed);
    for (int k = 0; k < 4; ++k) {
        PictureParams pp;
        pp.type = k == 0 ? 1 : 2;
        pp.temporalReference = k;
        writePicture(w.part(0), pp);
        writeRandomSlices(w, pp.type, 2, 2, SliceOptions{}, rng);
    }
    w.part(0).startCode(0xB7);
    return w.stream(0);
}

BitWriter spatialHeaders() {
    BitWriter w;
    SequenceParams sp;
    sp.width = sp.height = kEnhancedSize;
    sp.scalableMode = 1;
    sp.layerId = 1;
    sp.lowerWidth = sp.lowerHeight = kLowerSize;
    writeSequence(w, sp);
    return w;
}

PictureParams spatialPicture(int type, int temporalReference, int tableIndex) {
    PictureParams pp;
    pp.type = type;
    pp.temporalReference = temporalReference;
    pp.spatial = true;
    pp.lowerTemporalReference = temporalReference;
    pp.tableIndex = tableIndex;
    return pp;
}

void spatialSlice(BitWriter& w, int row) {
    w.startCode(uint8_t(row + 1));
    w.put(8, 5);
    w.put(0, 1);
}

// Each plane of each decoded frame as a model, in display order.
std::vector<std::array<PlaneModel, 3>> planes(const Decoded& d) {
    std::vector<std::array<PlaneModel, 3>> out;
    for (const std::vector<uint8_t>& f : d.frames)
        out.push_back({plane(f, d.width, d.height, 0), plane(f, d.width, d.height, 1),
                       plane(f, d.width, d.height, 2)});
    return out;
}

PlaneModel upsampledPlane(const PlaneModel& lower, int c, int x0 = 0, int y0 = 0) {
    const PlaneModel* sources[2] = {&lower, &lower};
    const int size = c == 0 ? kEnhancedSize : kEnhancedSize / 2;
    return c == 0 ? upsampleModel(sources, size, size, x0, y0, 1, 2)
                  : upsampleModel(sources, size, size, x0 / 2, y0 / 2, 1, 2);
}

// Expected macroblock (mbx, mby) of plane c: per frame row, temporal, spatial or their mean.
enum Source { kTemporal, kHalf, kSpatial };
void expectMacroblock(const PlaneModel& got, const PlaneModel& temporal, const PlaneModel& spatial,
                      int c, int mbx, int mby, Source top, Source bottom, const char* what) {
    const int size = c == 0 ? 16 : 8;
    for (int y = mby * size; y < (mby + 1) * size; ++y)
        for (int x = mbx * size; x < (mbx + 1) * size; ++x) {
            const Source s = (y & 1) ? bottom : top;
            const int e = s == kTemporal  ? temporal.at(x, y)
                          : s == kSpatial ? spatial.at(x, y)
                                          : (temporal.at(x, y) + spatial.at(x, y) + 1) >> 1;
            ASSERT_EQ(got.at(x, y), e) << what << " plane " << c << " x " << x << " y " << y;
        }
}

// Enhancement layer over lowerLayer(): four pictures exercising the spatial macroblock types,
// weight tables and weight classes (see the test below).
std::vector<uint8_t> weightedEnhancement() {
    BitWriter w = spatialHeaders();
    // Picture 0, I: not coded compatible, skipped (spatial), coded compatible with Y0 +1 (+3),
    // intra.
    writePicture(w, spatialPicture(1, 0, 0));
    for (int row = 0; row < 4; ++row) {
        spatialSlice(w, row);
        w.bits("1 0001");           // macroblock 0: not coded, compatible
        w.bits("011 1 1010 10 10"); // macroblock 2: coded, compatible, cbp Y0, +1
        int pred[3] = {128, 128, 128};
        w.bits("1 0011"); // macroblock 3: intra, flat
        for (int b = 0; b < 4; ++b) {
            putDc(w, false, pred[0], 60 + 30 * b + row);
            w.bits("10");
        }
        putDc(w, true, pred[1], 90);
        w.bits("10");
        putDc(w, true, pred[2], 170);
        w.bits("10");
    }
    // Picture 1, P, table index 0 (weight 1/2): mean of both, temporal only, skipped (temporal),
    // not coded compatible (spatial only).
    writePicture(w, spatialPicture(2, 1, 0));
    for (int row = 0; row < 4; ++row) {
        spatialSlice(w, row);
        w.bits("1 0011 1 1");   // MC, not coded, weight code flag (no code), vector (0, 0)
        w.bits("1 0010 1 1");   // MC, not coded, vector (0, 0)
        w.bits("011 0000 111"); // macroblock 2 skipped; 3: not coded, compatible
    }
    // Picture 2, P, table index 2: codes 00 to 11, frame prediction: (spatial; temporal),
    // (half; temporal), (spatial; half), (half; half) for the (top; bottom) fields.
    writePicture(w, spatialPicture(2, 2, 2));
    for (int row = 0; row < 4; ++row) {
        spatialSlice(w, row);
        for (const char* code : {"00", "01", "10", "11"}) {
            w.bits(std::string("1 0011 ") + code + " 1 1");
        }
    }
    // Picture 3, P, table index 2, field motion allowed: code 00 (class 2) with field prediction
    // carries one vector, used by the bottom field (from the top reference field); code 01
    // (class 1) carries two (top from bottom, bottom from top); skipped; compatible.
    PictureParams p3 = spatialPicture(2, 3, 2);
    p3.framePredFrameDct = 0;
    writePicture(w, p3);
    for (int row = 0; row < 4; ++row) {
        spatialSlice(w, row);
        w.bits("1 0011 00 01 0 1 1");       // field motion, select top, vector (0, 0)
        w.bits("1 0011 01 01 1 1 1 0 1 1"); // field motion: top from bottom, bottom from top
        w.bits("011 0000 111");             // macroblock 2 skipped; 3 compatible
    }
    w.startCode(0xB7);
    return w.out;
}

TEST(MpegSpatialScalability, PicturesWeighTheUpsampledLowerLayerAsCoded) {
    const std::vector<uint8_t> lower = lowerLayer(3);
    int diagnostics = -1;
    const Decoded lowerDecoded = decodePlain(lower, &diagnostics);
    ASSERT_EQ(diagnostics, 0);
    ASSERT_EQ(lowerDecoded.frames.size(), 4u);
    const auto lowerPlanes = planes(lowerDecoded);

    const std::vector<uint8_t> enhancement = weightedEnhancement();
    int mode = -2;
    const Decoded d = decodeLayers(lower, enhancement, false, &diagnostics, &mode);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(diagnostics, 0);
    ASSERT_EQ(d.width, kEnhancedSize);
    ASSERT_EQ(d.frames.size(), 4u);
    const auto got = planes(d);

    for (int c = 0; c < 3; ++c) {
        // Sanity of the upsampling itself: even samples are the lower layer's.
        const PlaneModel u0 = upsampledPlane(lowerPlanes[0][c], c);
        for (int y = 0; y < u0.height; y += 2)
            for (int x = 0; x < u0.width; x += 2)
                ASSERT_EQ(u0.at(x, y), lowerPlanes[0][c].at(x / 2, y / 2));
        const int mbSize = c == 0 ? 16 : 8;
        for (int mby = 0; mby < 4; ++mby) {
            // Picture 0.
            expectMacroblock(got[0][c], u0, u0, c, 0, mby, kSpatial, kSpatial, "picture 0 mb 0");
            expectMacroblock(got[0][c], u0, u0, c, 1, mby, kSpatial, kSpatial, "picture 0 mb 1");
            for (int y = mby * mbSize; y < (mby + 1) * mbSize; ++y)
                for (int x = 2 * mbSize; x < 3 * mbSize; ++x) {
                    const bool y0 = c == 0 && x < 40 && y < mby * 16 + 8;
                    ASSERT_EQ(got[0][c].at(x, y), std::min(255, u0.at(x, y) + (y0 ? 3 : 0)));
                }
            for (int y = mby * mbSize; y < (mby + 1) * mbSize; ++y)
                for (int x = 3 * mbSize; x < 4 * mbSize; ++x) {
                    const int block = ((y % 16) / 8) * 2 + (x % 16) / 8;
                    const int e = c == 0 ? 60 + 30 * block + mby : c == 1 ? 90 : 170;
                    ASSERT_EQ(got[0][c].at(x, y), e);
                }
            // Picture 1.
            const PlaneModel u1 = upsampledPlane(lowerPlanes[1][c], c);
            expectMacroblock(got[1][c], got[0][c], u1, c, 0, mby, kHalf, kHalf, "picture 1 mb 0");
            expectMacroblock(got[1][c], got[0][c], u1, c, 1, mby, kTemporal, kTemporal, "p1 mb 1");
            expectMacroblock(got[1][c], got[0][c], u1, c, 2, mby, kTemporal, kTemporal, "p1 mb 2");
            expectMacroblock(got[1][c], got[0][c], u1, c, 3, mby, kSpatial, kSpatial, "p1 mb 3");
            // Picture 2.
            const PlaneModel u2 = upsampledPlane(lowerPlanes[2][c], c);
            expectMacroblock(got[2][c], got[1][c], u2, c, 0, mby, kSpatial, kTemporal, "p2 mb 0");
            expectMacroblock(got[2][c], got[1][c], u2, c, 1, mby, kHalf, kTemporal, "p2 mb 1");
            expectMacroblock(got[2][c], got[1][c], u2, c, 2, mby, kSpatial, kHalf, "p2 mb 2");
            expectMacroblock(got[2][c], got[1][c], u2, c, 3, mby, kHalf, kHalf, "p2 mb 3");
            // Picture 3: temporal predictions from the other field of the reference.
            const PlaneModel u3 = upsampledPlane(lowerPlanes[3][c], c);
            PlaneModel swapped = got[2][c]; // each line from the line of the other field
            for (int y = 0; y < swapped.height; ++y)
                for (int x = 0; x < swapped.width; ++x)
                    swapped.at(x, y) = got[2][c].at(x, y ^ 1);
            expectMacroblock(got[3][c], swapped, u3, c, 0, mby, kSpatial, kTemporal, "p3 mb 0");
            expectMacroblock(got[3][c], swapped, u3, c, 1, mby, kHalf, kTemporal, "p3 mb 1");
            expectMacroblock(got[3][c], got[2][c], u3, c, 2, mby, kTemporal, kTemporal, "p3 mb 2");
            expectMacroblock(got[3][c], got[2][c], u3, c, 3, mby, kSpatial, kSpatial, "p3 mb 3");
        }
    }
}

TEST(MpegSpatialScalability, OffsetsAndInterlacedLowerLayerFollowTheModel) {
    const std::vector<uint8_t> lower = lowerLayer(8);
    int diagnostics = -1;
    const Decoded lowerDecoded = decodePlain(lower, &diagnostics);
    ASSERT_EQ(lowerDecoded.frames.size(), 4u);
    const auto lowerPlanes = planes(lowerDecoded);

    BitWriter w = spatialHeaders();
    // Every picture: macroblocks 0 and 3 not coded compatible, 1 and 2 skipped: spatial only.
    auto compatibleSlices = [&] {
        for (int row = 0; row < 4; ++row) {
            spatialSlice(w, row);
            w.bits("1 0001 010 0001");
        }
    };
    // 0: the lower layer placed at (16, 8); 1: an interlaced lower frame for a progressive
    // picture, bottom field deinterlaced; 2: top field deinterlaced; 3: for an interlaced
    // picture, both fields.
    PictureParams p0 = spatialPicture(1, 0, 0);
    p0.horizontalOffset = 16;
    p0.verticalOffset = 8;
    writePicture(w, p0);
    compatibleSlices();
    for (int k = 1; k < 4; ++k) {
        PictureParams p = spatialPicture(1, k, 0);
        p.lowerProgressive = 0;
        p.fieldSelect = k == 1 ? 1 : 0;
        p.progressiveFrame = k == 3 ? 0 : 1;
        writePicture(w, p);
        compatibleSlices();
    }
    w.startCode(0xB7);
    const Decoded d = decodeLayers(lower, w.out, false, &diagnostics);
    EXPECT_EQ(diagnostics, 0);
    ASSERT_EQ(d.frames.size(), 4u);
    const auto got = planes(d);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(got[0][c].v, upsampledPlane(lowerPlanes[0][c], c, 16, 8).v) << "plane " << c;
        const int size = c == 0 ? kEnhancedSize : kEnhancedSize / 2;
        for (int k = 1; k < 4; ++k) {
            const PlaneModel& src = lowerPlanes[size_t(k)][c];
            // Luma of frame pictures uses the two-field aperture, chroma the one-field one.
            const PlaneModel top = deinterlaceModel(src, 0, c > 0);
            const PlaneModel bottom = deinterlaceModel(src, 1, c > 0);
            const PlaneModel* sources[2] = {k == 1 ? &bottom : &top, k == 2 ? &top : &bottom};
            EXPECT_EQ(got[size_t(k)][c].v, upsampleModel(sources, size, size, 0, 0, 1, 2).v)
                << "picture " << k << " plane " << c;
        }
    }
}

TEST(MpegSpatialScalability, EnhancementLayerAloneDecodesOverGrey) {
    // Without its lower layer the spatial prediction is mid-grey; the enhancement layer's own
    // syntax still decodes.
    BitWriter w = spatialHeaders();
    writePicture(w, spatialPicture(1, 0, 0));
    for (int row = 0; row < 4; ++row) {
        spatialSlice(w, row);
        w.bits("1 0001 010 0001");
    }
    w.startCode(0xB7);
    int diagnostics = -1;
    const Decoded d = decodePlain(w.out, &diagnostics);
    EXPECT_EQ(diagnostics, 0);
    ASSERT_EQ(d.frames.size(), 1u);
    for (uint8_t v : d.frames[0])
        ASSERT_EQ(v, 128);
}

// ---- The pairs as files ---------------------------------------------------------------------

// With MPEG_WRITE_SCALABLE_STREAMS=DIR, writes scalable pairs of these tests as DIR/NAME.base.m2v
// and DIR/NAME.enh.m2v (for tools/mpegdecode --enhancement) and DIR/NAME.fuzz (the fuzz target's
// input format; the seeds in fuzz/mpeg/corpus came from here).
TEST(MpegScalableStreams, WrittenToADirectoryWhenAsked) {
    const char* dir = std::getenv("MPEG_WRITE_SCALABLE_STREAMS");
    if (!dir)
        GTEST_SKIP() << "set MPEG_WRITE_SCALABLE_STREAMS=DIR to write the scalable test pairs";
    auto write = [&](const std::string& name, const std::vector<uint8_t>& base,
                     const std::vector<uint8_t>& enhancement) {
        auto file = [&](const std::string& suffix, const std::vector<uint8_t>& bytes) {
            std::ofstream out(std::string(dir) + "/" + name + suffix, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            ASSERT_TRUE(out.good()) << name << suffix;
        };
        file(".base.m2v", base);
        file(".enh.m2v", enhancement);
        file(".fuzz", mpegfuzz::joinLayers(base, enhancement));
    };
    for (int breakpoint : {1, 64, 70}) {
        const auto parts = randomStream(breakpoint, 0, 5);
        write("scalable_dp" + std::to_string(breakpoint), parts[0], parts[1]);
    }
    write("scalable_snr", randomStream(0, 0, 31)[0], randomSnrEnhancement(0, 32));
    write("scalable_spatial", lowerLayer(3), weightedEnhancement());
}

TEST(MpegScalableStreams, ProgramEntryPointOpensAPairOfFiles) {
    const std::string dir = testing::TempDir();
    auto save = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    };
    const std::string base = save("mpeg_spatial_base.m2v", lowerLayer(3));
    const std::string enhancement = save("mpeg_spatial_enh.m2v", weightedEnhancement());
    ASSERT_EQ(openVideo(base.c_str(), enhancement.c_str()), kEnhancedSize);
    EXPECT_EQ(videoHeight(), kEnhancedSize);
    EXPECT_EQ(videoDecoder().scalability(), 1);
    std::vector<uint32_t> pixels(size_t(kEnhancedSize) * kEnhancedSize);
    setOutput(pixels.data(), 1);
    int pictures = 0;
    while (decodeNextPicture() == 0)
        ++pictures;
    closeVideo();
    EXPECT_EQ(pictures, 4);
    EXPECT_EQ(videoDecoder().framesWritten(), 4);

    // A missing second file is reported; the base layer plays alone.
    ASSERT_EQ(openVideo(base.c_str(), "/nonexistent/enhancement.m2v"), kLowerSize);
    EXPECT_STREQ(videoErrorText(),
                 "enhancment layer bitstream file /nonexistent/enhancement.m2v not found\n");
    EXPECT_EQ(videoDecoder().scalability(), -1);
    closeVideo();
}

// ---- Damaged scalable input ---------------------------------------------------------------

TEST(MpegScalableBadInput, DamagedLayersTerminate) {
    std::mt19937 rng(77);
    std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> pairs;
    for (int breakpoint : {1, 3, 64, 70})
        pairs.emplace_back(randomStream(breakpoint, 0, 5)[0], randomStream(breakpoint, 0, 5)[1]);
    pairs.emplace_back(randomStream(0, 1, 6)[0],
                       snrEnhancement(64, 32, groupPictures(1), [](BitWriter& w, int, int) {
                           w.put(8, 5);
                           w.put(0, 1);
                           w.bits("1 1 111 10 10 10 10 10 10 10 10");
                           w.bits("010 001");
                       }));
    for (auto& [base, enhancement] : pairs) {
        for (int round = 0; round < 60; ++round) {
            std::vector<uint8_t> b = base, e = enhancement;
            std::vector<uint8_t>& target = round % 2 ? e : b;
            for (int k = 0; k < 1 + round % 5; ++k)
                target[rng() % target.size()] ^= uint8_t(1u << (rng() % 8));
            if (round % 7 == 0)
                target.resize(rng() % target.size());
            mpeg::MpegDecoder decoder;
            if (decoder.openMemory(b, e) == 0)
                continue;
            std::vector<uint32_t> pixels(size_t(decoder.videoWidth()) * decoder.videoHeight());
            decoder.setOutput(pixels.data(), true);
            for (int i = 0; i < 100 && decoder.decodeNextPicture() == 0; ++i) {
            }
            decoder.close();
        }
    }
}

} // namespace
