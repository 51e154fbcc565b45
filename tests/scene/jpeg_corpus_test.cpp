// Damaged and hostile JPEG files through the picture loaders: every input of the fuzzing seed
// corpus (cut into a colour and an alpha file as the fuzz target does), pictures too large to
// accept, and files that repeat scans. Whatever the file, the loaders give a texture with
// pixels, and the demo's sizes stay bounded. Run these under the sanitizers as well.
#include "fuzz/jpeg/split_input.h"
#include "media/jpeg/jpeg_decode.h"
#include "platform/debugout.h"
#include "platform/files.h"
#include "scene/image_loader.h"
#include "scene/texture_registry.h"
#include "support/app_fixture.h"

#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <jpeglib.h> // needs size_t and FILE declared first

namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(DEMO_SOURCE_DIR) / "fuzz/jpeg/corpus";

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

// A flat grey JPEG of the given size, in memory.
std::vector<uint8_t> greyJpeg(int width, int height) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(size_t(width), 0x60);
    while (info.next_scanline < info.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

bool isPowerOfTwo(uint32_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

class BadPictures : public AppFixture {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("demo-bad-pictures-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        platform::setDataDirectory(dir.string());
        AppFixture::SetUp();
        gRegistry = new TextureRegistry;
    }
    void TearDown() override {
        delete gRegistry;
        gRegistry = nullptr;
        AppFixture::TearDown();
        platform::setDataDirectory("");
        fs::remove_all(dir);
    }
    // Every byte of every level is read, so a short level shows under the sanitizers.
    static void expectUsable(const TextureImage* t) {
        ASSERT_NE(t, nullptr);
        ASSERT_NE(t->pixels, nullptr);
        EXPECT_TRUE(isPowerOfTwo(t->width) && isPowerOfTwo(t->height));
        EXPECT_LE(t->width, 4096u);
        EXPECT_LE(t->height, 4096u);
        uint32_t bytesPerPixel = t->format == 41 || t->format == 40 ? 4 : t->format == 30 ? 3 : 2;
        unsigned sum = 0;
        for (uint32_t i = 0; i < t->levelCount; ++i) {
            size_t bytes = size_t(t->width >> i) * (t->height >> i) * bytesPerPixel;
            for (size_t b = 0; b < bytes; ++b) {
                sum += t->levels[i][b];
            }
        }
        volatile unsigned sink = sum;
        (void)sink;
    }
    fs::path dir;
};

TEST_F(BadPictures, SeedCorpusReplaysThroughBothLoaders) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(kCorpus)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        std::vector<uint8_t> data = readFile(entry.path());
        size_t split = jpegAlphaSplit(data.data(), data.size());
        writeFile(dir / "colour.jpg", data.data(), split);
        if (split < data.size()) {
            writeFile(dir / "alpha.jpg", data.data() + split, data.size() - split);
        } else {
            writeFile(dir / "alpha.jpg", data.data(), data.size());
        }
        platform::DebugCapture quiet;
        TextureImage* merged =
            loadTextureWithAlpha("data\\colour.jpg", "data\\alpha.jpg", kErrorOpening);
        expectUsable(merged);
        EXPECT_EQ(merged->format, 41u);
        // The single-picture loader files each path once, so every input gets a new name.
        std::string name = "data\\single-" + std::to_string(files) + ".jpg";
        fs::copy_file(dir / "colour.jpg", dir / ("single-" + std::to_string(files) + ".jpg"));
        expectUsable(loadTexture(name.c_str(), kErrorOpening));
    }
    EXPECT_GE(files, 10);
}

TEST_F(BadPictures, SidesUpTo4096AreAcceptedAndLongerOnesRefused) {
    for (auto [width, height, accepted] :
         {std::tuple{4096, 8, true}, {8, 4096, true}, {4097, 8, false}, {8, 4097, false}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        std::vector<uint8_t> jpeg = greyJpeg(width, height);
        writeFile(dir / "side.jpg", jpeg.data(), jpeg.size());
        uint8_t* block = decodeJpegFile((dir / "side.jpg").string().c_str());
        EXPECT_EQ(block != nullptr, accepted);
        if (block != nullptr) {
            EXPECT_EQ(block[0] | (block[1] << 8), width);
            EXPECT_EQ(block[2] | (block[3] << 8), height);
            EXPECT_EQ(block[4 + (size_t(width) * height - 1) * 3], block[4]); // all flat grey
        }
        std::free(block);
    }
}

TEST_F(BadPictures, AHugeClaimedSizeIsReportedAndShownGrey) {
    // A few hundred bytes claiming 12288 x 12288: refused before anything that size is made.
    EXPECT_EQ(decodeJpegFile((kCorpus / "oversized_header.jpg").string().c_str()), nullptr);
    fs::copy_file(kCorpus / "oversized_header.jpg", dir / "huge.jpg");
    platform::DebugCapture capture;
    TextureImage* t = loadTextureWithAlpha("data\\huge.jpg", "data\\huge.jpg", kErrorEnd);
    EXPECT_EQ(capture.text(), "Error End image\nError End image\n");
    EXPECT_EQ(t->width, 1u);
    EXPECT_EQ(*reinterpret_cast<uint32_t*>(t->levels[0]), 0x80808080u);
}

TEST_F(BadPictures, RunawayScansStopTheDecodingAndLeaveBlack) {
    // A progressive 8 x 8 grey file whose last scan repeats 300 times: far past any encoder's
    // count, so the decoder gives up before any row is output and the picture stays black.
    uint8_t* block = decodeJpegFile((kCorpus / "repeated_scans.jpg").string().c_str());
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 8);
    EXPECT_EQ(block[2], 8);
    for (size_t i = 4; i < 4 + 8 * 8 * 3; ++i) {
        ASSERT_EQ(block[i], 0) << i;
    }
    std::free(block);
    // The same picture with its scans once only decodes to its grey pattern.
    std::vector<uint8_t> plain = readFile(kCorpus / "progressive_grey_alpha.jpg");
    size_t split = jpegAlphaSplit(plain.data(), plain.size());
    writeFile(dir / "plain.jpg", plain.data() + split, plain.size() - split);
    block = decodeJpegFile((dir / "plain.jpg").string().c_str());
    ASSERT_NE(block, nullptr);
    size_t lit = 0;
    for (size_t i = 4; i < 4 + 17 * 9 * 3; ++i) {
        lit += block[i] != 0 ? 1 : 0;
    }
    EXPECT_GT(lit, 0u);
    std::free(block);
}

} // namespace
