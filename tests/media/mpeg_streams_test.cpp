// Decodes every committed test stream and compares it with the planes ffmpeg decoded from the
// same file (tools/make-test-streams.sh), plus stream detection and the program's entry points.
#include "media/mpeg/video_api.h"
#include "mpeg_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using mpegtest::dataPath;
using mpegtest::Decoded;

struct StreamCase {
    const char* file;
    int width, height, chromaFormat, frames;
    bool mpeg2, system;
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.file;
}

const StreamCase kStreams[] = {
    {"mpeg1_es.m1v", 128, 96, 1, 10, false, false},
    {"mpeg1_sys.mpg", 96, 64, 1, 8, false, true},
    {"mpeg1_90x70.m1v", 90, 70, 1, 6, false, false},
    {"mpeg2_es.m2v", 160, 128, 1, 12, true, false},
    {"mpeg2_ps.mpg", 128, 96, 1, 10, true, true},
    {"mpeg2_interlaced_tff.m2v", 176, 144, 1, 10, true, false},
    {"mpeg2_interlaced_bff.m2v", 176, 144, 1, 8, true, false},
    {"mpeg2_altscan.m2v", 128, 96, 1, 8, true, false},
    {"mpeg2_intravlc_nonlinear.m2v", 128, 96, 1, 8, true, false},
    {"mpeg2_422.m2v", 128, 96, 2, 8, true, false},
    {"mpeg2_90x70.m2v", 90, 70, 1, 8, true, false},
    {"mpeg2_tiny.m2v", 32, 32, 1, 3, true, false},
};

struct PlaneSizes {
    size_t size[3];
};

PlaneSizes planeSizes(int w, int h, int chromaFormat) {
    const size_t cw = chromaFormat == 3 ? w : (w + 1) / 2;
    const size_t ch = chromaFormat == 1 ? (h + 1) / 2 : h;
    return {{size_t(w) * h, cw * ch, cw * ch}};
}

double psnr(const uint8_t* a, const uint8_t* b, size_t n) {
    double se = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = double(a[i]) - b[i];
        se += d * d;
    }
    return se == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * n / se);
}

// Checks decoded frames against ffmpeg's: per plane, mean >= 45 dB and every frame >= 38 dB.
void expectMatchesReference(const StreamCase& c, const Decoded& d) {
    const std::vector<uint8_t> ref = mpegtest::readFile(dataPath(std::string(c.file) + ".yuv"));
    const PlaneSizes ps = planeSizes(c.width, c.height, c.chromaFormat);
    const size_t frameSize = ps.size[0] + ps.size[1] + ps.size[2];
    ASSERT_EQ(ref.size(), frameSize * c.frames) << "reference planes";
    ASSERT_EQ(d.frames.size(), size_t(c.frames));
    for (int p = 0; p < 3; ++p) {
        double sum = 0, worst = 99;
        size_t offset = 0;
        for (int k = 0; k < p; ++k)
            offset += ps.size[k];
        for (int f = 0; f < c.frames; ++f) {
            ASSERT_EQ(d.frames[f].size(), frameSize) << "frame " << f;
            const double v =
                psnr(d.frames[f].data() + offset, ref.data() + f * frameSize + offset, ps.size[p]);
            sum += v;
            worst = std::min(worst, v);
        }
        EXPECT_GE(sum / c.frames, 45.0) << "plane " << p;
        EXPECT_GE(worst, 38.0) << "plane " << p;
    }
}

class StreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamTest, MatchesReferenceDecoder) {
    const StreamCase& c = GetParam();
    const Decoded d = mpegtest::decodeFile(dataPath(c.file));
    EXPECT_EQ(d.width, c.width);
    EXPECT_EQ(d.height, c.height);
    EXPECT_EQ(d.chromaFormat, c.chromaFormat);
    EXPECT_EQ(d.mpeg2, c.mpeg2);
    EXPECT_EQ(d.systemStream, c.system);
    expectMatchesReference(c, d);
}

TEST_P(StreamTest, ReferenceIdctAlsoMatches) {
    const StreamCase& c = GetParam();
    expectMatchesReference(c, mpegtest::decodeFile(dataPath(c.file), true));
}

TEST_P(StreamTest, MemoryInputDecodesTheSameAsTheFile) {
    const StreamCase& c = GetParam();
    const Decoded fromFile = mpegtest::decodeFile(dataPath(c.file));
    const Decoded fromMemory = mpegtest::decodeMemory(mpegtest::readFile(dataPath(c.file)));
    EXPECT_EQ(fromFile.frames, fromMemory.frames);
}

INSTANTIATE_TEST_SUITE_P(Committed, StreamTest, ::testing::ValuesIn(kStreams));

// Wraps an elementary stream into MPEG-1 video packets that start right at the first byte.
std::vector<uint8_t> wrapInVideoPackets(const std::vector<uint8_t>& es, size_t payload) {
    std::vector<uint8_t> out;
    for (size_t pos = 0; pos < es.size(); pos += payload) {
        const size_t n = std::min(payload, es.size() - pos);
        const size_t length = n + 1; // one byte of header: no time stamps
        out.insert(out.end(),
                   {0x00, 0x00, 0x01, 0xE0, uint8_t(length >> 8), uint8_t(length), 0x0F});
        out.insert(out.end(), es.begin() + pos, es.begin() + pos + n);
    }
    return out;
}

TEST(StreamDetection, BarePesPacketsAreASystemStream) {
    const std::vector<uint8_t> es = mpegtest::readFile(dataPath("mpeg1_es.m1v"));
    const Decoded direct = mpegtest::decodeMemory(es);
    // Odd payload sizes put start codes across packet and block boundaries.
    for (size_t payload : {size_t(1), size_t(7), size_t(2047), size_t(5000)}) {
        const Decoded wrapped = mpegtest::decodeMemory(wrapInVideoPackets(es, payload));
        EXPECT_TRUE(wrapped.systemStream);
        EXPECT_EQ(wrapped.frames, direct.frames) << "payload " << payload;
    }
}

// Wraps an elementary stream into an MPEG-2 program stream: a pack header before every PES
// packet, PES headers with a time stamp, and some damage the demultiplexer has to step over: an
// audio packet, packets whose header is longer than the packet, an empty packet and a stray
// start code.
std::vector<uint8_t> wrapInProgramStream(const std::vector<uint8_t>& es, size_t payload) {
    std::vector<uint8_t> out;
    const uint8_t pack[] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04,
                            0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
    for (size_t pos = 0; pos < es.size(); pos += payload) {
        out.insert(out.end(), std::begin(pack), std::end(pack));
        if (pos == 0) {
            out.insert(out.end(), {0x00, 0x00, 0x01, 0xC0, 0x00, 0x04, 0xFF, 0xFB, 0x00, 0x01});
            out.insert(out.end(), {0x00, 0x00, 0x01, 0xE0, 0x00, 0x03, 0x81, 0x00, 0x09});
            out.insert(out.end(), {0x00, 0x00, 0x01, 0xB3});
            out.insert(out.end(), {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00});             // empty
            out.insert(out.end(), {0x00, 0x00, 0x01, 0xE0, 0x00, 0x02, 0xFF, 0xFF}); // all stuffing
        }
        const size_t n = std::min(payload, es.size() - pos);
        const size_t length = n + 8; // flags, header length, five bytes of time stamp
        out.insert(out.end(), {0x00, 0x00, 0x01, 0xE0, uint8_t(length >> 8), uint8_t(length), 0x81,
                               0x80, 0x05, 0x21, 0x00, 0x01, 0x00, 0x01});
        out.insert(out.end(), es.begin() + pos, es.begin() + pos + n);
    }
    out.insert(out.end(), {0x00, 0x00, 0x01, 0xB9});
    return out;
}

TEST(StreamDetection, ProgramStreamDemultiplexerStepsOverDamage) {
    const std::vector<uint8_t> es = mpegtest::readFile(dataPath("mpeg2_es.m2v"));
    const Decoded direct = mpegtest::decodeMemory(es);
    for (size_t payload : {size_t(100), size_t(2030), size_t(4000)}) {
        const std::vector<uint8_t> ps = wrapInProgramStream(es, payload);
        mpeg::MpegDecoder decoder;
        ASSERT_EQ(decoder.openMemory(ps), 160);
        const Decoded wrapped = mpegtest::decodeAll(decoder);
        EXPECT_TRUE(wrapped.systemStream);
        ASSERT_EQ(wrapped.frames.size(), direct.frames.size()) << "payload " << payload;
        EXPECT_TRUE(wrapped.frames == direct.frames) << "payload " << payload;
        // The bad packet headers and the stray start code are reported.
        EXPECT_GE(decoder.diagnosticCount(), 3);
    }
}

TEST(StreamDetection, LeadingGarbageIsAnElementaryStreamAndResynchronises) {
    std::vector<uint8_t> data = {0x12, 0x34, 0x00, 0x00, 0x00, 0x01, 0x99, 0xAB};
    const std::vector<uint8_t> es = mpegtest::readFile(dataPath("mpeg2_tiny.m2v"));
    data.insert(data.end(), es.begin(), es.end());
    const Decoded d = mpegtest::decodeMemory(data);
    EXPECT_FALSE(d.systemStream);
    EXPECT_EQ(d.frames, mpegtest::decodeMemory(es).frames);
}

TEST(StreamDetection, ProgramStreamSkipsPacksSystemHeaderAndPadding) {
    // mpeg2_ps.mpg holds pack headers, a system header and a padding packet besides video.
    const Decoded d = mpegtest::decodeFile(dataPath("mpeg2_ps.mpg"));
    EXPECT_TRUE(d.systemStream);
    EXPECT_EQ(d.frames.size(), 10u);
}

TEST(ShortFiles, StreamShorterThanOneBlockDecodesEveryFrame) {
    EXPECT_LT(mpegtest::readFile(dataPath("mpeg2_tiny.m2v")).size(), 2048u);
    EXPECT_EQ(mpegtest::decodeFile(dataPath("mpeg2_tiny.m2v")).frames.size(), 3u);
}

// The program's entry points share one decoder; tests using them run one after another.
TEST(EntryPoints, MissingFileSetsErrorTextAndReturnsZero) {
    EXPECT_EQ(openVideo("/nonexistent/stream.m2v"), 0);
    EXPECT_STREQ(videoErrorText(), "Base layer input file /nonexistent/stream.m2v not found\n");
    EXPECT_EQ(decodeNextPicture(), 1);
    closeVideo();
}

TEST(EntryPoints, DecodeToBufferThenEndLeavesBufferUnchanged) {
    const std::string path = dataPath("mpeg2_es.m2v");
    ASSERT_EQ(openVideo(path.c_str()), 160);
    ASSERT_EQ(videoWidth(), 160);
    ASSERT_EQ(videoHeight(), 128);
    std::vector<uint32_t> pixels(160 * 128, 0xDEADBEEF);
    setOutput(pixels.data(), 1);
    int pictures = 0;
    while (decodeNextPicture() == 0)
        ++pictures;
    EXPECT_EQ(pictures, 12);
    EXPECT_NE(pixels[0], 0xDEADBEEFu);
    // Nothing more to decode: the buffer stays as it is.
    std::fill(pixels.begin(), pixels.end(), 0xDEADBEEF);
    EXPECT_EQ(decodeNextPicture(), 1);
    EXPECT_EQ(decodeNextPicture(), 1);
    EXPECT_TRUE(
        std::all_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p == 0xDEADBEEF; }));
    // Closing writes the last reference frame.
    const int before = videoDecoder().framesWritten();
    closeVideo();
    EXPECT_EQ(videoDecoder().framesWritten(), before + 1);
    EXPECT_EQ(before + 1, 12);
    EXPECT_NE(pixels[0], 0xDEADBEEFu);
    for (uint32_t p : pixels)
        ASSERT_EQ(p >> 24, 0u);
}

TEST(EntryPoints, ReopeningStartsAFreshStream) {
    const std::string a = dataPath("mpeg1_es.m1v"), b = dataPath("mpeg2_tiny.m2v");
    ASSERT_EQ(openVideo(a.c_str()), 128);
    decodeNextPicture();
    ASSERT_EQ(openVideo(b.c_str()), 32);
    EXPECT_EQ(videoHeight(), 32);
    int pictures = 0;
    while (decodeNextPicture() == 0)
        ++pictures;
    EXPECT_EQ(pictures, 3);
    closeVideo();
}

TEST(EntryPoints, DisabledOutputWritesNothing) {
    const std::string path = dataPath("mpeg2_tiny.m2v");
    ASSERT_EQ(openVideo(path.c_str()), 32);
    std::vector<uint32_t> pixels(32 * 32, 0x12345678);
    setOutput(pixels.data(), 0);
    while (decodeNextPicture() == 0) {
    }
    closeVideo();
    EXPECT_TRUE(
        std::all_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p == 0x12345678; }));
}

} // namespace
