// Pictures for the data pack: RGB or greyscale byte rasters that the generator saves as JFIF
// JPEGs, with a few drawing helpers (fills, gradients, discs, a small bitmap font).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

struct Picture {
    uint32_t width = 0, height = 0;
    bool grey = false;         // one byte per pixel instead of three
    std::vector<uint8_t> data; // rows top to bottom, R, G, B (or grey)

    Picture(uint32_t w, uint32_t h, bool greyscale = false)
        : width(w), height(h), grey(greyscale), data(size_t(w) * h * (greyscale ? 1 : 3), 0) {}
    uint32_t channels() const { return grey ? 1 : 3; }
    uint8_t* at(uint32_t x, uint32_t y) {
        return data.data() + (size_t(y) * width + x) * channels();
    }
    // Writes a pixel (grey pictures take the red value); points outside are ignored.
    void put(int x, int y, uint8_t r, uint8_t g, uint8_t b);
    // Blends a colour over the pixel with coverage 0..1.
    void blend(int x, int y, uint8_t r, uint8_t g, uint8_t b, float coverage);
    void fill(uint8_t r, uint8_t g, uint8_t b);
    // Antialiased filled disc.
    void disc(float cx, float cy, float radius, uint8_t r, uint8_t g, uint8_t b);
    // Text in the built-in 5 x 7 font, each font pixel drawn as scale x scale; returns the
    // width in pixels. Unknown characters draw as blanks.
    int text(int x, int y, const std::string& s, int scale, uint8_t r, uint8_t g, uint8_t b);
    static int textWidth(const std::string& s, int scale);
};

// Receives the pictures of one group; the generator saves them under their file names.
class PictureSink {
public:
    virtual ~PictureSink() = default;
    // fileName as it appears in data/ (for example "loading.jpg").
    virtual void add(const std::string& fileName, const Picture& picture) = 0;
    // Where a file of another kind (a video) with this name is to be written.
    virtual std::string outputPath(const std::string& fileName) const = 0;
};

// Deterministic value noise in 0..1 for textures (seeded, tileable over period).
float valueNoise(float x, float y, int period, uint32_t seed);

} // namespace datagen
