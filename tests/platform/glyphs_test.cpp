// The glyph rasteriser: face choice from the shipped files, measuring, opaque white-on-black
// drawing clipped to the character's cell, and missing or damaged face files.
#include "platform/files.h"
#include "platform/glyphs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Every test reads the faces from the source tree's data pack unless it says otherwise.
class Glyphs : public ::testing::Test {
protected:
    void SetUp() override { platform::setDataDirectory(DEMO_SOURCE_DIR "/data"); }
    void TearDown() override { platform::setDataDirectory(""); }
};

std::unique_ptr<platform::GlyphFont> make(const char* face, int pixels, bool bold = false) {
    std::string why;
    auto font = platform::GlyphFont::create(face, pixels, bold, false, &why);
    EXPECT_TRUE(font) << why;
    return font;
}

std::string fileName(const platform::GlyphFont& font) {
    return std::filesystem::path(font.facePath()).filename().string();
}

TEST_F(Glyphs, TerminalIsMonospacedAndTahomaIsProportional) {
    auto terminal = make("Terminal", 16);
    auto tahoma = make("Tahoma", 37);
    ASSERT_TRUE(terminal && tahoma);
    EXPECT_EQ(terminal->measure('i').width, terminal->measure('W').width);
    EXPECT_LT(tahoma->measure('i').width, tahoma->measure('W').width);
    EXPECT_EQ(tahoma->measure('g').height, tahoma->measure('A').height);
    EXPECT_GE(tahoma->measure('A').height, 37); // ascent + descent of a 37-pixel em
    EXPECT_LE(tahoma->measure('A').height, 50);
}

TEST_F(Glyphs, DrawIsOpaqueWhiteOnBlackInsideTheCell) {
    auto font = make("Tahoma", 37);
    ASSERT_TRUE(font);
    platform::GlyphBitmap bitmap(64, 64);
    std::fill(bitmap.pixels.begin(), bitmap.pixels.end(), 0x00404040u);
    const platform::GlyphExtent cell = font->measure('H');
    font->draw(bitmap, 4, 4, 'H');
    font->draw(bitmap, 60, 60, 'H'); // clipped at the bitmap's edge
    int white = 0, partial = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 60; ++x) {
            const uint32_t p = bitmap.pixels[size_t(y) * 64 + size_t(x)];
            if (x < 4 || y < 4 || x >= 4 + cell.width || y >= 4 + cell.height) {
                ASSERT_EQ(p, 0x00404040u) << x << "," << y; // untouched outside the cell
                continue;
            }
            const uint32_t b = p & 0xFF;
            ASSERT_EQ(p, b * 0x010101u) << "grey, alpha 0";
            white += b == 255 ? 1 : 0;
            partial += (b > 0 && b < 255) ? 1 : 0;
        }
    }
    EXPECT_GT(white, 40);
    EXPECT_GT(partial, 0); // antialiased edges
}

TEST_F(Glyphs, SystemNamesMapOntoTheShippedFiles) {
    for (const char* mono : {"Terminal", "Courier", "Courier New", "Fixedsys"}) {
        auto font = make(mono, 16);
        ASSERT_TRUE(font);
        EXPECT_EQ(fileName(*font), "DejaVuSansMono.ttf") << mono;
        EXPECT_EQ(font->facePath().rfind(DEMO_SOURCE_DIR "/data/fonts/", 0), 0u);
    }
    for (const char* sans : {"Tahoma", "Arial", "Verdana", ""}) {
        auto font = make(sans, 16);
        ASSERT_TRUE(font);
        EXPECT_EQ(fileName(*font), "DejaVuSans.ttf") << sans;
    }
    auto bold = make("Tahoma", 16, true);
    auto boldMono = make("Terminal", 16, true);
    ASSERT_TRUE(bold && boldMono);
    EXPECT_EQ(fileName(*bold), "DejaVuSans-Bold.ttf");
    EXPECT_EQ(fileName(*boldMono), "DejaVuSansMono.ttf");
    // Bold is really heavier: more ink in the same letter.
    auto regular = make("Tahoma", 16);
    auto ink = [](platform::GlyphFont& f) {
        platform::GlyphBitmap bitmap(32, 32);
        f.draw(bitmap, 0, 0, 'H');
        uint32_t sum = 0;
        for (uint32_t p : bitmap.pixels) {
            sum += p & 0xFF;
        }
        return sum;
    };
    EXPECT_GT(ink(*bold), ink(*regular) * 5 / 4);
}

// A data directory whose fonts folder holds what each case writes there.
class DamagedFonts : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("glyphs-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "fonts");
        platform::setDataDirectory(dir_.string());
    }
    void TearDown() override {
        platform::setDataDirectory("");
        std::filesystem::remove_all(dir_);
    }
    void write(const std::string& name, const std::vector<char>& bytes) {
        std::ofstream(dir_ / "fonts" / name, std::ios::binary)
            .write(bytes.data(), std::streamsize(bytes.size()));
    }
    static std::vector<char> shipped(const std::string& name) {
        std::ifstream in(std::string(DEMO_SOURCE_DIR "/data/fonts/") + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Null, and the reason names the file.
    void expectRefused(const char* face, const std::string& file, const char* reason) {
        std::string why;
        auto font = platform::GlyphFont::create(face, 16, false, false, &why);
        EXPECT_FALSE(font);
        EXPECT_NE(why.find(file), std::string::npos) << why;
        EXPECT_NE(why.find(reason), std::string::npos) << why;
    }
    std::filesystem::path dir_;
};

TEST_F(DamagedFonts, MissingFileOrFolderIsRefusedByName) {
    expectRefused("Terminal", "fonts/DejaVuSansMono.ttf", "cannot open");
    std::filesystem::remove_all(dir_ / "fonts");
    expectRefused("Tahoma", "fonts/DejaVuSans.ttf", "cannot open");
}

TEST_F(DamagedFonts, TruncatedOrForeignFilesAreRefusedByName) {
    std::vector<char> font = shipped("DejaVuSansMono.ttf");
    ASSERT_GT(font.size(), 100000u);
    write("DejaVuSansMono.ttf", std::vector<char>(font.begin(), font.begin() + 20000));
    expectRefused("Terminal", "DejaVuSansMono.ttf", "");
    write("DejaVuSans.ttf", std::vector<char>(font.begin(), font.begin() + 12));
    expectRefused("Tahoma", "DejaVuSans.ttf", "");
    const std::string text = "this is a text file, not a font\n";
    write("DejaVuSans-Bold.ttf", std::vector<char>(text.begin(), text.end()));
    std::string why;
    EXPECT_FALSE(platform::GlyphFont::create("Tahoma", 16, true, false, &why));
    EXPECT_NE(why.find("DejaVuSans-Bold.ttf is not a font file"), std::string::npos) << why;
}

} // namespace
