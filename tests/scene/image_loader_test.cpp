// JPEG decoding and the picture loaders on real files written here, including damaged ones.
#include "media/jpeg/jpeg_decode.h"
#include "platform/debugout.h"
#include "platform/files.h"
#include "scene/image_loader.h"
#include "scene/texture_registry.h"
#include "support/app_fixture.h"

#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Writes a JPEG whose pixel (x, y) is given by colour(x, y) as R, G, B (or grey).
template <class Colour>
void writeJpeg(const fs::path& path, int w, int h, bool grey, Colour colour, int quality = 100) {
    FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, f);
    info.image_width = JDIMENSION(w);
    info.image_height = JDIMENSION(h);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t c = colour(x, y);
            if (grey) {
                row[size_t(x)] = uint8_t(c);
            } else {
                row[size_t(x) * 3] = uint8_t(c >> 16);
                row[size_t(x) * 3 + 1] = uint8_t(c >> 8);
                row[size_t(x) * 3 + 2] = uint8_t(c);
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(f);
}

class Loaders : public AppFixture {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("demo-loader-" + std::to_string(::getpid()));
        fs::create_directories(dir / "data");
        platform::setDataDirectory((dir / "data").string());
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
    fs::path file(const char* name) { return dir / "data" / name; }
    fs::path dir;
};

TEST_F(Loaders, ColourJpegBlockHeaderAndSize) {
    writeJpeg(file("c.jpg"), 300, 200, false, [](int, int) { return 0x3060C0u; });
    uint8_t* block = decodeJpegFile(file("c.jpg").string().c_str());
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 0x2C);
    EXPECT_EQ(block[1], 0x01);
    EXPECT_EQ(block[2], 0xC8);
    EXPECT_EQ(block[3], 0x00);
    // Blue, green, red order.
    EXPECT_NEAR(block[4], 0xC0, 3);
    EXPECT_NEAR(block[5], 0x60, 3);
    EXPECT_NEAR(block[6], 0x30, 3);
    std::free(block);

    TextureImage* t = loadTexture("data\\c.jpg", kErrorOpening);
    EXPECT_EQ(t->width, 512u);
    EXPECT_EQ(t->height, 256u);
    EXPECT_EQ(t->format, app->displayFormat);
    EXPECT_GT(t->levelCount, 1u);
}

TEST_F(Loaders, GreyscaleExpandsToEqualTriples) {
    writeJpeg(file("g.jpg"), 4, 2, true, [](int x, int y) { return uint32_t(x * 60 + y * 10); });
    uint8_t* block = decodeJpegFile(file("g.jpg").string().c_str());
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(block[4 + i * 3], block[5 + i * 3]);
        EXPECT_EQ(block[4 + i * 3], block[6 + i * 3]);
    }
    std::free(block);
}

TEST_F(Loaders, AlphaMergeAndRefill) {
    writeJpeg(file("col.jpg"), 16, 16, false, [](int, int) { return 0x302010u; });
    writeJpeg(file("a.jpg"), 16, 16, true, [](int, int) { return 0x80u; });
    TextureImage* t = loadTextureWithAlpha("data\\col.jpg", "data\\a.jpg", kErrorOpening);
    EXPECT_EQ(t->format, 41u);
    uint32_t v = *reinterpret_cast<uint32_t*>(t->levels[0]);
    EXPECT_NEAR(double(v >> 24), 0x80, 1);
    EXPECT_NEAR(double((v >> 16) & 0xFF), 0x30, 2);
    EXPECT_NEAR(double((v >> 8) & 0xFF), 0x20, 2);
    EXPECT_NEAR(double(v & 0xFF), 0x10, 2);
    // A second load refills the same record.
    writeJpeg(file("a.jpg"), 16, 16, true, [](int, int) { return 0xFFu; });
    TextureImage* again = loadTextureWithAlpha("data\\col.jpg", "data\\a.jpg", kErrorOpening);
    EXPECT_EQ(again, t);
    EXPECT_GE(*reinterpret_cast<uint32_t*>(t->levels[0]) >> 24, 0xFEu);
}

TEST_F(Loaders, AlphaOfAnotherSizeIsResampledNotOverread) {
    writeJpeg(file("big.jpg"), 64, 64, false, [](int, int) { return 0xFFFFFFu; });
    writeJpeg(file("small.jpg"), 8, 8, true, [](int, int) { return 0x40u; });
    TextureImage* t = loadTextureWithAlpha("data\\big.jpg", "data\\small.jpg", kErrorPart3);
    EXPECT_EQ(t->width, 64u);
    uint32_t last = reinterpret_cast<uint32_t*>(t->levels[0])[64 * 64 - 1];
    EXPECT_NEAR(double(last >> 24), 0x40, 2);
}

TEST_F(Loaders, SamePathTwiceReturnsTheRecordWithoutDecodingAgain) {
    writeJpeg(file("once.jpg"), 8, 8, false, [](int, int) { return 0xFF0000u; });
    TextureImage* first = loadTexture("data\\once.jpg", kErrorOpening);
    uint8_t* pixels = first->pixels;
    writeJpeg(file("once.jpg"), 8, 8, false, [](int, int) { return 0x0000FFu; });
    TextureImage* second = loadTexture("data\\once.jpg", kErrorOpening);
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->pixels, pixels);
    EXPECT_NEAR(double(second->levels[0][2]), 0xFF, 2); // still red
}

TEST_F(Loaders, DamagedFilesNeverCrashAndNeverGiveAnEmptyTexture) {
    writeJpeg(
        file("good.jpg"), 64, 48, false, [](int x, int y) { return uint32_t(x * y); }, 80);
    std::ifstream in(file("good.jpg"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::ofstream(file("truncated.jpg"), std::ios::binary)
        .write(bytes.data(), std::streamsize(bytes.size() / 2));
    std::ofstream(file("empty.jpg"), std::ios::binary).close();
    std::mt19937 rng(5);
    std::vector<char> noise(3000);
    for (char& c : noise) {
        c = char(rng());
    }
    std::ofstream(file("random.jpg"), std::ios::binary).write(noise.data(), 3000);
    std::vector<char> corrupt = bytes;
    for (size_t i = corrupt.size() / 2; i + 2 < corrupt.size(); i += 7) {
        corrupt[i] = char(rng());
    }
    std::ofstream(file("corrupt.jpg"), std::ios::binary)
        .write(corrupt.data(), std::streamsize(corrupt.size()));

    EXPECT_EQ(decodeJpegFile(file("empty.jpg").string().c_str()), nullptr);
    EXPECT_EQ(decodeJpegFile(file("random.jpg").string().c_str()), nullptr);
    EXPECT_EQ(decodeJpegFile(file("missing.jpg").string().c_str()), nullptr);
    uint8_t* partial = decodeJpegFile(file("truncated.jpg").string().c_str());
    ASSERT_NE(partial, nullptr); // the header was readable: what was decoded comes back
    EXPECT_EQ(partial[0], 64);
    std::free(partial);

    for (const char* name : {"data\\truncated.jpg", "data\\empty.jpg", "data\\random.jpg",
                             "data\\corrupt.jpg", "data\\missing.jpg"}) {
        platform::DebugCapture capture;
        TextureImage* t = loadTexture(name, kErrorDomino);
        ASSERT_NE(t, nullptr) << name;
        ASSERT_NE(t->pixels, nullptr) << name;
        EXPECT_GE(t->width, 1u);
        bool unreadable =
            std::string(name) != "data\\truncated.jpg" && std::string(name) != "data\\corrupt.jpg";
        EXPECT_EQ(capture.text() == "Error Domino image\n", unreadable) << name;
    }
    platform::DebugCapture capture;
    TextureImage* t = loadTextureWithAlpha("data\\missing.jpg", "data\\empty.jpg", kErrorEnd);
    EXPECT_EQ(capture.text(), "Error End image\nError End image\n");
    EXPECT_EQ(t->width, 1u);
    EXPECT_EQ(*reinterpret_cast<uint32_t*>(t->levels[0]), 0x80808080u);
}

TEST(DataPaths, BackslashesBecomeSlashesUnderTheDataDirectory) {
    platform::setDataDirectory("/srv/pack");
    EXPECT_EQ(platform::resolveDataPath("data\\wood.jpg"), "/srv/pack/wood.jpg");
    EXPECT_EQ(platform::resolveDataPath("data/music.mp3"), "/srv/pack/music.mp3");
    EXPECT_EQ(platform::resolveDataPath("asm.txt"), "/srv/pack/asm.txt");
    EXPECT_EQ(platform::resolveDataPath("/abs/file"), "/abs/file");
    platform::setDataDirectory("");
}

TEST_F(Loaders, WideCharacterModeWarns) {
    writeJpeg(file("w.jpg"), 8, 8, false, [](int, int) { return 0u; });
    ImageFile f(app);
    platform::DebugCapture capture;
    ASSERT_EQ(f.open("data\\w.jpg", 2), 0);
    EXPECT_EQ(f.mode & 4, 4u);
    EXPECT_EQ(capture.text(),
              "WARNING: reading wide-character streams without _UNICODE definition\n");
    EXPECT_EQ(f.open("data\\w.jpg", 0), 1); // already open
    EXPECT_GT(f.fileSize(), 100u);
    f.close();
    EXPECT_EQ(f.open("data\\nothing.jpg", 0), 1);
}

} // namespace
