// The committed data pack against what the scenes read: every file the demo's sources name
// is in the pack and opens with the demo's own decoders at the size its scene expects.
#include "media/jpeg/jpeg_decode.h"
#include "media/mpeg/decoder.h"
#include "platform/sound.h"
#include "tools/datagen/data_pack_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

using datapack::dataPath;
using datapack::readFile;

enum class Kind { Picture, Alpha, Video, Listing, Music };

struct Expected {
    const char* name;
    Kind kind;
    int width, height;              // pictures and videos; 0 where the scene takes any size
    const char* colourOf = nullptr; // alpha pictures: their colour picture
    double rate = 0;                // videos: frames per second the scene plays them at
    double seconds = 0;             // videos: the least length the scene shows
};

// Every file of the pack, with what its scene needs.
const Expected kPack[] = {
    {"loading.jpg", Kind::Picture, 512, 512},
    {"ztr_logo.jpg", Kind::Picture, 512, 512},
    {"ztr_logo_alpha.jpg", Kind::Alpha, 0, 0, "ztr_logo.jpg"},
    {"vrell_logo.jpg", Kind::Picture, 512, 512},
    {"vrell_logo_alpha.jpg", Kind::Alpha, 0, 0, "vrell_logo.jpg"},
    {"logo.jpg", Kind::Picture, 512, 512},
    {"logo-alpha.jpg", Kind::Alpha, 0, 0, "logo.jpg"},
    {"k3wl.jpg", Kind::Picture, 256, 256},
    {"splines.jpg", Kind::Picture, 256, 256},
    {"caustics.jpg", Kind::Picture, 0, 0},
    {"spikes.jpg", Kind::Picture, 0, 0},
    // The Second part shows the face from 15.5 s to its end at 30 s.
    {"face.mpg", Kind::Video, 256, 192, nullptr, 15, 14.5},
    {"entropy.jpg", Kind::Picture, 256, 256},
    {"credits.jpg", Kind::Picture, 0, 0},
    {"tunnel.jpg", Kind::Picture, 256, 256},
    {"ice-dragon.jpg", Kind::Picture, 512, 512},
    {"asm.txt", Kind::Listing, 0, 0},
    {"wood.jpg", Kind::Picture, 256, 256},
    {"leaf.jpg", Kind::Picture, 128, 128},
    {"leaf_alpha.jpg", Kind::Alpha, 0, 0, "leaf.jpg"},
    {"tree-bg.jpg", Kind::Picture, 512, 512},
    {"tree-bg-alpha.jpg", Kind::Alpha, 0, 0, "tree-bg.jpg"},
    // The End plays the drawing for 12 s, then shows the still.
    {"ruen-draw.mpg", Kind::Video, 256, 192, nullptr, 24, 13},
    {"ruen-draw-3.jpg", Kind::Picture, 512, 384},
    {"music.mp3", Kind::Music, 0, 0},
};

const Expected* findExpected(const std::string& name) {
    for (const Expected& e : kPack) {
        if (name == e.name) {
            return &e;
        }
    }
    return nullptr;
}

// The JPEG's frame header: size and component count; JFIF when it carries the APP0 marker.
struct JpegHeader {
    int width = 0, height = 0, components = 0;
    bool jfif = false;
};

JpegHeader readJpegHeader(const std::vector<uint8_t>& b) {
    JpegHeader h;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) {
        return h;
    }
    size_t p = 2;
    while (p + 4 <= b.size() && b[p] == 0xFF) {
        const uint8_t marker = b[p + 1];
        const size_t length = size_t(b[p + 2]) << 8 | b[p + 3];
        if (marker == 0xE0 && p + 9 <= b.size() &&
            std::equal(b.begin() + long(p) + 4, b.begin() + long(p) + 9, "JFIF")) {
            h.jfif = true;
        }
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && p + 10 <= b.size()) {
            h.height = b[p + 5] << 8 | b[p + 6];
            h.width = b[p + 7] << 8 | b[p + 8];
            h.components = b[p + 9];
            return h;
        }
        p += 2 + length;
    }
    return h;
}

// A picture through the demo's JPEG decoder: size and blue, green, red rows.
struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
};

Decoded decodePicture(const std::string& path) {
    Decoded d;
    std::unique_ptr<uint8_t, decltype(&std::free)> block(decodeJpegFile(path.c_str()), &std::free);
    if (block) {
        const uint8_t* p = block.get();
        d.width = p[0] | p[1] << 8;
        d.height = p[2] | p[3] << 8;
        d.bgr.assign(p + 4, p + 4 + size_t(d.width) * d.height * 3);
    }
    return d;
}

// The stream's own frame rate from its sequence header (and the MPEG-2 extension's
// multiplier); 0 for a code the standards leave undefined.
double streamFrameRate(const std::vector<uint8_t>& b) {
    constexpr double kRates[9] = {0,  24000.0 / 1001, 24, 25, 30000.0 / 1001, 30,
                                  50, 60000.0 / 1001, 60};
    for (size_t p = 0; p + 8 < b.size(); ++p) {
        if (b[p] == 0 && b[p + 1] == 0 && b[p + 2] == 1 && b[p + 3] == 0xB3) {
            const int code = b[p + 7] & 0x0F;
            if (code < 1 || code > 8) {
                return 0;
            }
            double rate = kRates[code];
            // A sequence extension follows the header in MPEG-2 streams.
            for (size_t q = p + 12; q + 10 < b.size() && q < p + 200; ++q) {
                if (b[q] == 0 && b[q + 1] == 0 && b[q + 2] == 1 && b[q + 3] == 0xB5 &&
                    (b[q + 4] >> 4) == 1) {
                    const int n = (b[q + 9] >> 5) & 3, d = b[q + 9] & 0x1F;
                    rate = rate * (n + 1) / (d + 1);
                    break;
                }
            }
            return rate;
        }
    }
    return 0;
}

// Names of the data files the demo's sources read ("data\\x" or "data/x" string literals).
std::set<std::string> namesInSources() {
    std::set<std::string> names;
    const std::regex literal(R"re("data(?:\\\\|/)([^"\\/]+)")re");
    const std::filesystem::path demo = std::filesystem::path(DEMO_SOURCE_DIR) / "demo";
    for (const auto& entry : std::filesystem::directory_iterator(demo)) {
        if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") {
            continue;
        }
        const std::string source = datapack::readText(entry.path().string());
        for (auto it = std::sregex_iterator(source.begin(), source.end(), literal);
             it != std::sregex_iterator(); ++it) {
            names.insert((*it)[1].str());
        }
    }
    return names;
}

TEST(DataPack, EveryFileTheScenesNameIsInThePackAndNothingElseIs) {
    const std::set<std::string> named = namesInSources();
    // The sources name at least the loading picture, the music and the End's video.
    ASSERT_TRUE(named.count("loading.jpg") && named.count("music.mp3") &&
                named.count("ruen-draw.mpg"));
    for (const std::string& name : named) {
        EXPECT_NE(findExpected(name), nullptr)
            << "the demo reads data/" << name << ", which the data pack does not list";
    }
    for (const Expected& e : kPack) {
        EXPECT_TRUE(std::filesystem::is_regular_file(dataPath(e.name))) << e.name << " missing";
    }
    for (const auto& entry : std::filesystem::directory_iterator(dataPath(""))) {
        if (entry.path().filename() == "fonts") {
            continue; // the faces, checked below
        }
        EXPECT_NE(findExpected(entry.path().filename().string()), nullptr)
            << entry.path().filename() << " is in data/ but no scene reads it";
    }
}

TEST(DataPack, FontsAreTheThreeShippedFacesWithTheirLicence) {
    const std::set<std::string> expected = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf",
                                            "DejaVuSansMono.ttf", "LICENSE"};
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dataPath("fonts"))) {
        found.insert(entry.path().filename().string());
    }
    EXPECT_EQ(found, expected);
    for (const std::string& name : expected) {
        const std::vector<uint8_t> bytes = readFile(dataPath("fonts/" + name));
        ASSERT_GT(bytes.size(), 1000u) << name;
        if (name != "LICENSE") {
            // TrueType outlines: sfnt version 1.0.
            EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4),
                      (std::vector<uint8_t>{0, 1, 0, 0}))
                << name;
        }
    }
    const std::string licence = datapack::readText(dataPath("fonts/LICENSE"));
    EXPECT_NE(licence.find("Bitstream"), std::string::npos);
}

TEST(DataPack, PicturesAreJfifAndDecodeAtTheirScenesSizes) {
    for (const Expected& e : kPack) {
        if (e.kind != Kind::Picture && e.kind != Kind::Alpha) {
            continue;
        }
        SCOPED_TRACE(e.name);
        const JpegHeader header = readJpegHeader(readFile(dataPath(e.name)));
        EXPECT_TRUE(header.jfif);
        EXPECT_EQ(header.components, e.kind == Kind::Alpha ? 1 : 3);
        const Decoded picture = decodePicture(dataPath(e.name));
        ASSERT_GT(picture.width, 0);
        ASSERT_GT(picture.height, 0);
        EXPECT_EQ(picture.width, header.width);
        EXPECT_EQ(picture.height, header.height);
        if (e.width != 0) {
            EXPECT_EQ(picture.width, e.width);
            EXPECT_EQ(picture.height, e.height);
        }
        if (e.colourOf != nullptr) {
            const Decoded colour = decodePicture(dataPath(e.colourOf));
            EXPECT_EQ(picture.width, colour.width);
            EXPECT_EQ(picture.height, colour.height);
        }
    }
}

TEST(DataPack, AlphaPicturesHaveBothClearAndOpaqueParts) {
    for (const Expected& e : kPack) {
        if (e.kind != Kind::Alpha) {
            continue;
        }
        SCOPED_TRACE(e.name);
        const Decoded alpha = decodePicture(dataPath(e.name));
        const auto [lo, hi] = std::minmax_element(alpha.bgr.begin(), alpha.bgr.end());
        ASSERT_NE(lo, alpha.bgr.end());
        EXPECT_LE(*lo, 8);
        EXPECT_GE(*hi, 247);
    }
}

TEST(DataPack, CreditsStripShowsTextInEveryFrameOfItsScroll) {
    // The relief reads rows 0..24 of columns scroll .. scroll + 59, scroll = trunc(34 t)
    // for t up to 17.2 s, and lifts pixels whose blue byte is above half.
    const Decoded strip = decodePicture(dataPath("credits.jpg"));
    ASSERT_GE(strip.width, 60 + 584);
    ASSERT_GE(strip.height, 25);
    auto bright = [&](int x, int y) { return strip.bgr[(size_t(y) * strip.width + x) * 3] > 128; };
    std::vector<bool> column(size_t(strip.width), false);
    int litRowPixels = 0;
    for (int x = 0; x < strip.width; ++x) {
        for (int y = 0; y < 25; ++y) {
            if (bright(x, y)) {
                column[size_t(x)] = true;
                ++litRowPixels;
            }
        }
    }
    for (int scroll = 0; scroll <= 584; ++scroll) {
        EXPECT_TRUE(std::any_of(column.begin() + scroll, column.begin() + scroll + 60,
                                [](bool b) { return b; }))
            << "nothing to see at scroll " << scroll;
    }
    // Bright text on black: most of the strip stays dark.
    EXPECT_LT(litRowPixels, strip.width * 25 / 2);
}

TEST(DataPack, ListingHasEnoughShortPrintableLines) {
    std::ifstream in(dataPath("asm.txt"), std::ios::binary);
    ASSERT_TRUE(in);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.pop_back();
        }
        ++count;
        EXPECT_LT(line.size(), 80u) << "line " << count;
        EXPECT_TRUE(std::all_of(line.begin(), line.end(),
                                [](char c) { return c == '\t' || (c >= 32 && c < 127); }))
            << "line " << count;
    }
    // Ten lines a second for 30 s, plus the 36 on screen at the end.
    EXPECT_GE(count, 340);
}

struct VideoFacts {
    int width = 0, height = 0, frames = 0;
    bool mpeg2 = false, system = false;
    std::vector<uint32_t> last; // the last picture, 32-bit B, G, R, 0
};

VideoFacts decodeVideo(const std::string& path) {
    VideoFacts v;
    mpeg::MpegDecoder decoder;
    decoder.setQuiet(true);
    v.width = decoder.open(path.c_str());
    if (v.width == 0) {
        return v;
    }
    v.height = decoder.videoHeight();
    v.mpeg2 = decoder.isMpeg2();
    v.system = decoder.isSystemStream();
    v.last.assign(size_t(v.width) * v.height, 0);
    decoder.setOutput(v.last.data(), true);
    for (int guard = 0; guard < 100000 && decoder.decodeNextPicture() == 0; ++guard) {
    }
    decoder.close();
    v.frames = decoder.framesWritten();
    return v;
}

TEST(DataPack, VideosDecodeAtTheirScenesSizeRateAndLength) {
    for (const Expected& e : kPack) {
        if (e.kind != Kind::Video) {
            continue;
        }
        SCOPED_TRACE(e.name);
        const VideoFacts v = decodeVideo(dataPath(e.name));
        EXPECT_EQ(v.width, e.width);
        EXPECT_EQ(v.height, e.height);
        EXPECT_NEAR(streamFrameRate(readFile(dataPath(e.name))), e.rate, 0.001);
        EXPECT_GE(v.frames, int(std::ceil(e.rate * e.seconds)));
    }
}

TEST(DataPack, EndDrawingIsAnMpeg1ElementaryStreamEndingOnTheStill) {
    const VideoFacts v = decodeVideo(dataPath("ruen-draw.mpg"));
    ASSERT_EQ(v.width, 256);
    ASSERT_EQ(v.height, 192);
    EXPECT_FALSE(v.mpeg2);
    EXPECT_FALSE(v.system);
    // The End's video grid shows 24/25 of the picture each way; the still fills the view
    // with that same part, so the still fading in must match the last picture under it.
    const Decoded still = decodePicture(dataPath("ruen-draw-3.jpg"));
    ASSERT_GT(still.width, 0);
    double error = 0;
    int samples = 0;
    for (int y = 4; y < 180; y += 2) {
        for (int x = 4; x < 242; x += 2) {
            const uint32_t p = v.last[size_t(y) * 256 + size_t(x)];
            const int sx = int((x + 0.5) / (256 * 24.0 / 25) * still.width);
            const int sy = int((y + 0.5) / (192 * 24.0 / 25) * still.height);
            const uint8_t* s = &still.bgr[(size_t(sy) * still.width + sx) * 3];
            for (int c = 0; c < 3; ++c) {
                error += std::abs(int((p >> (8 * c)) & 0xFF) - int(s[c]));
            }
            samples += 3;
        }
    }
    EXPECT_LT(error / samples, 12.0) << "mean difference per channel";
}

TEST(DataPack, MusicDecodesToTheWholeDemo) {
    std::vector<int16_t> samples;
    ASSERT_TRUE(platform::soundDecodeFile(dataPath("music.mp3").c_str(), 44100, &samples))
        << platform::soundError();
    EXPECT_GE(double(samples.size()) / 2 / 44100, 250.0);
}

} // namespace
