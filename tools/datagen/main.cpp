// The data-pack generator: draws every picture of the data pack and writes it as a JFIF
// JPEG (greyscale for alpha pictures), and writes the music as a WAV for the MP3 encoder.
// Deterministic: the same program writes the same files.
#include "tools/datagen/groups.h"

#include "platform/files.h"

#include <jpeglib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Group {
    const char* name;
    void (*draw)(datagen::PictureSink& sink);
};

// Every group of pictures, in the scenes' playing order.
const Group kGroups[] = {
    {"loading", datagen::drawLoadingPictures}, {"opening", datagen::drawOpeningPictures},
    {"second", datagen::drawSecondPictures},   {"cables", datagen::drawCablesPictures},
    {"credits", datagen::drawCreditsPictures}, {"domino", datagen::drawDominoPictures},
    {"koch", datagen::drawKochPictures},       {"tree", datagen::drawTreePictures},
    {"end", datagen::drawEndPictures},
};

bool writeJpeg(const std::string& path, const datagen::Picture& p, int quality) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = p.width;
    info.image_height = p.height;
    info.input_components = int(p.channels());
    info.in_color_space = p.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = TRUE;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(p.data.data()) +
                       size_t(info.next_scanline) * p.width * p.channels();
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

class DirectorySink final : public datagen::PictureSink {
public:
    explicit DirectorySink(std::string dir) : dir_(std::move(dir)) {}
    void add(const std::string& fileName, const datagen::Picture& picture) override {
        std::string path = dir_ + "/" + fileName;
        if (!writeJpeg(path, picture, 90)) {
            std::fprintf(stderr, "datagen: cannot write %s\n", path.c_str());
            failed_ = true;
            return;
        }
        std::printf("  %s (%u x %u%s)\n", fileName.c_str(), picture.width, picture.height,
                    picture.grey ? ", grey" : "");
    }
    std::string outputPath(const std::string& fileName) const override {
        return dir_ + "/" + fileName;
    }
    bool failed() const { return failed_; }

private:
    std::string dir_;
    bool failed_ = false;
};

bool writeWav(const std::string& path, const std::vector<int16_t>& samples) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    uint32_t bytes = uint32_t(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(datagen::kMusicRate);
    u32(datagen::kMusicRate * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(bytes);
    std::fwrite(samples.data(), 2, samples.size(), f);
    return std::fclose(f) == 0;
}

void usage(FILE* out) {
    std::fputs("Usage: datagen OUT_DIR [--only GROUP] [--music-wav FILE.wav] [--fonts DATA_DIR]"
               " [--list]\n"
               "Draws the data pack's pictures into OUT_DIR; with --music-wav also writes the\n"
               "music as a WAV file (tools/make-data.sh encodes it to MP3). The lettering uses\n"
               "DATA_DIR/fonts (default: the source tree's data/fonts).\n",
               out);
}

} // namespace

int main(int argc, char** argv) {
    std::string outDir, only, musicWav, fontData = DATAGEN_DATA_DIR;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        }
        if (arg == "--list") {
            for (const Group& g : kGroups) {
                std::printf("%s\n", g.name);
            }
            return 0;
        }
        if ((arg == "--only" || arg == "--music-wav") && i + 1 < argc) {
            (arg == "--only" ? only : musicWav) = argv[++i];
        } else if (arg == "--fonts" && i + 1 < argc) {
            fontData = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && outDir.empty()) {
            outDir = arg;
        } else {
            std::fprintf(stderr, "datagen: unexpected argument '%s'\n", arg.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (outDir.empty()) {
        usage(stderr);
        return 2;
    }
    platform::setDataDirectory(fontData);
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    DirectorySink sink(outDir);
    bool matched = only.empty();
    for (const Group& g : kGroups) {
        if (!only.empty() && only != g.name) {
            continue;
        }
        matched = true;
        std::printf("%s:\n", g.name);
        g.draw(sink);
    }
    if (!matched) {
        std::fprintf(stderr, "datagen: no group named '%s' (see --list)\n", only.c_str());
        return 2;
    }
    if (!musicWav.empty()) {
        if (!writeWav(musicWav, datagen::synthesiseMusic())) {
            std::fprintf(stderr, "datagen: cannot write %s\n", musicWav.c_str());
            return 1;
        }
        std::printf("music: %s\n", musicWav.c_str());
    }
    return sink.failed() ? 1 : 0;
}
