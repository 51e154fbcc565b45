// Bad input must never crash, hang or read out of bounds: damaged, truncated, random and empty
// streams, hostile headers, and every file of the fuzzing seed corpus. Run these under the
// sanitizers as well.
#include "fuzz/mpeg/fuzz_input.h"
#include "media/mpeg/decoder.h"
#include "mpeg_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <utility>

namespace {

using mpegtest::dataPath;
using mpegtest::readFile;

// Decodes with the RGB output on, so the output stage sees damaged frames too. Input in the fuzz
// target's format: one stream, or a scalable pair behind its marker byte. Returns the number of
// pictures and a hash of every RGB picture.
std::pair<int, uint64_t> decodeOnce(const std::vector<uint8_t>& data, bool plainKernels) {
    mpeg::MpegDecoder decoder;
    decoder.setPlainKernels(plainKernels);
    const mpegfuzz::Streams streams = mpegfuzz::splitInput(data.data(), data.size());
    const int width = streams.layered ? decoder.openMemory(streams.base, streams.enhancement)
                                      : decoder.openMemory(streams.base);
    if (width == 0)
        return {0, 0};
    std::vector<uint32_t> pixels(size_t(decoder.videoWidth()) * decoder.videoHeight());
    decoder.setOutput(pixels.data(), true);
    int pictures = 0;
    uint64_t hash = 1469598103934665603ull;
    while (decoder.decodeNextPicture() == 0) {
        ++pictures;
        for (uint32_t p : pixels)
            hash = (hash ^ p) * 1099511628211ull;
    }
    EXPECT_EQ(decoder.decodeNextPicture(), 1);
    decoder.close();
    return {pictures, hash};
}

// The damaged stream through the SIMD and the plain kernels: both must survive it and agree.
int decodeWithOutput(const std::vector<uint8_t>& data) {
    const auto simd = decodeOnce(data, false);
    const auto plain = decodeOnce(data, true);
    EXPECT_EQ(simd, plain) << "SIMD and plain kernels disagree on damaged input";
    return simd.first;
}

const char* const kSources[] = {"mpeg1_es.m1v",  "mpeg1_sys.mpg",
                                "mpeg2_ps.mpg",  "mpeg2_interlaced_tff.m2v",
                                "mpeg2_422.m2v", "mpeg2_intravlc_nonlinear.m2v"};

TEST(BadInput, EmptyAndTinyInputsOpenNothing) {
    mpeg::MpegDecoder decoder;
    EXPECT_EQ(decoder.openMemory({}), 0);
    EXPECT_EQ(decoder.decodeNextPicture(), 1);
    decoder.close();
    for (const std::vector<uint8_t>& data :
         std::vector<std::vector<uint8_t>>{{0x00},
                                           {0x00, 0x00, 0x01},
                                           {0x00, 0x00, 0x01, 0xB3},
                                           {0x00, 0x00, 0x01, 0xBA},
                                           {0x00, 0x00, 0x01, 0xE0, 0xFF, 0xFF},
                                           std::vector<uint8_t>(10000, 0)}) {
        EXPECT_EQ(decodeWithOutput(data), 0);
    }
}

TEST(BadInput, EveryTruncationDecodesAPrefix) {
    for (const char* name : kSources) {
        const std::vector<uint8_t> full = readFile(dataPath(name));
        const size_t complete = mpegtest::decodeMemory(full).frames.size();
        const size_t step = std::max<size_t>(1, full.size() / 97);
        for (size_t n = 0; n < full.size(); n += step) {
            const std::vector<uint8_t> cut(full.begin(), full.begin() + n);
            EXPECT_LE(mpegtest::decodeMemory(cut).frames.size(), complete) << name << " " << n;
        }
    }
}

TEST(BadInput, BitFlipsAndByteDamageTerminate) {
    std::mt19937 rng(1234);
    for (const char* name : kSources) {
        const std::vector<uint8_t> clean = readFile(dataPath(name));
        for (int round = 0; round < 40; ++round) {
            std::vector<uint8_t> data = clean;
            const int damage = 1 + round % 8;
            for (int k = 0; k < damage; ++k) {
                const size_t at = rng() % data.size();
                if (round % 3 == 0)
                    data[at] ^= uint8_t(1u << (rng() % 8));
                else
                    data[at] = uint8_t(rng());
            }
            decodeWithOutput(data);
        }
    }
}

TEST(BadInput, RandomBytesAfterValidHeadersTerminate) {
    // Keep the sequence, GOP and picture headers of a real stream, randomise what follows.
    std::mt19937 rng(99);
    for (const char* name : {"mpeg2_es.m2v", "mpeg1_es.m1v", "mpeg2_422.m2v"}) {
        const std::vector<uint8_t> clean = readFile(dataPath(name));
        for (size_t keep : {size_t(20), size_t(60), size_t(120), size_t(400)}) {
            std::vector<uint8_t> data(clean.begin(), clean.begin() + keep);
            for (int i = 0; i < 20000; ++i)
                data.push_back(uint8_t(rng()));
            decodeWithOutput(data);
        }
    }
}

TEST(BadInput, PureRandomDataTerminates) {
    std::mt19937 rng(7);
    for (int round = 0; round < 30; ++round) {
        std::vector<uint8_t> data(1 + rng() % 30000);
        for (uint8_t& b : data)
            b = uint8_t(rng());
        // Random data with a plausible first start code, either stream kind.
        if (round % 2) {
            const uint8_t head[] = {0x00, 0x00, 0x01, uint8_t(round % 4 ? 0xB3 : 0xBA)};
            std::copy(head, head + std::min(sizeof head, data.size()), data.begin());
        }
        decodeWithOutput(data);
    }
}

TEST(BadInput, OversizedAndZeroPictureSizesAreRejected) {
    // Sequence headers claiming 0x0 and 4095x4095 (with size extensions to 16383x16383).
    const std::vector<uint8_t> zero = {0x00, 0x00, 0x01, 0xB3, 0x00, 0x00, 0x00, 0x13,
                                       0xFF, 0xFF, 0xE0, 0x18, 0x00, 0x00, 0x01, 0xB7};
    EXPECT_EQ(decodeWithOutput(zero), 0);
    const std::vector<uint8_t> huge = {0x00, 0x00, 0x01, 0xB3, 0xFF, 0xFF, 0xFF, 0x13, 0xFF,
                                       0xFF, 0xE0, 0x18, 0x00, 0x00, 0x01, 0xB5, 0x14, 0x8F,
                                       0xF0, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0xB7};
    mpeg::MpegDecoder decoder;
    EXPECT_EQ(decoder.openMemory(huge), 0);
}

TEST(BadInput, SeedCorpusReplays) {
    const std::filesystem::path dir = std::filesystem::path(DEMO_SOURCE_DIR) / "fuzz/mpeg/corpus";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        ++files;
        SCOPED_TRACE(entry.path().string());
        decodeWithOutput(readFile(entry.path().string()));
    }
    EXPECT_GT(files, 0);
}

} // namespace
