#include "scene/image_loader.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "media/jpeg/jpeg_decode.h"
#include "platform/files.h"
#include "scene/image.h"
#include "scene/texture_registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A picture that cannot be opened or decoded becomes one mid-grey pixel, so the scene still
// draws something neutral and no texture without pixels reaches the device.
constexpr uint8_t kMissingGrey = 0x80;

void makeMissingPicture(Image& image) {
    image.allocate(1, 1, 30);
    std::memset(image.pixels, kMissingGrey, 3);
}

uint32_t powerOfTwoSide(uint32_t n) {
    return n <= 1 ? 1u : 1u << ceilLog2(float(n));
}

// Open, decode and round up to powers of two; reports the message on failure.
void readPicture(const char* path, const char* message, Image& image) {
    ImageFile file(gApp);
    bool ok = file.open(path, 0) == 0 && loadJpeg(image, file) == 0;
    file.close();
    if (!ok) {
        formatReport(1, "%s\n", message);
        makeMissingPicture(image);
    }
    image.resize(powerOfTwoSide(image.width), powerOfTwoSide(image.height));
}

} // namespace

int ImageFile::open(const char* filePath, uint32_t openMode) {
    if (kind != 0 || filePath == nullptr) {
        return 1;
    }
    std::string resolved = platform::resolveDataPath(filePath);
    FILE* f = std::fopen(resolved.c_str(), "rb");
    if (f == nullptr) {
        return 1;
    }
    handle = f;
    kind = 2;
    sizeKnown = false;
    pathCopy = new char[resolved.size() + 1];
    std::memcpy(pathCopy, resolved.c_str(), resolved.size() + 1);
    mode = openMode;
    if ((mode & 2) != 0) {
        mode |= 4;
        if (app != nullptr) {
            app->services.log("", "WARNING: reading wide-character streams without _UNICODE "
                                  "definition");
        }
    } else {
        mode &= ~4u;
    }
    return 0;
}

uint64_t ImageFile::fileSize() {
    if (kind != 2) {
        return 0;
    }
    if (!sizeKnown) {
        auto* f = static_cast<FILE*>(handle);
        long here = std::ftell(f);
        std::fseek(f, 0, SEEK_END);
        long end = std::ftell(f);
        std::fseek(f, here, SEEK_SET);
        size = end > 0 ? uint64_t(end) : 0;
        sizeKnown = true;
    }
    return size;
}

void ImageFile::close() {
    if (kind == 2) {
        std::fclose(static_cast<FILE*>(handle));
        if ((mode & 1) != 0 && pathCopy != nullptr) {
            std::remove(pathCopy);
        }
    }
    handle = nullptr;
    kind = 0;
    delete[] pathCopy;
    pathCopy = nullptr;
}

int loadJpeg(Image& image, ImageFile& file) {
    if (file.path() == nullptr) {
        return 1;
    }
    uint8_t* block = decodeJpegFile(file.path());
    if (block == nullptr) {
        return 1;
    }
    uint32_t width = uint32_t(block[0]) | (uint32_t(block[1]) << 8);
    uint32_t height = uint32_t(block[2]) | (uint32_t(block[3]) << 8);
    int result = image.allocate(width, height, 30);
    if (result == 0) {
        std::memcpy(image.pixels, block + 4, size_t(width) * height * 3);
    }
    std::free(block);
    return result;
}

TextureImage* loadTexture(const char* path, const char* message) {
    Image image(1);
    readPicture(path, message, image);
    image.convert(gApp->displayFormat);
    int existed = 0;
    TextureImage* texture = gRegistry->acquireTexture(&existed, makeKey(path));
    if (existed == 0) {
        texture->setImage(image, 1);
    }
    return texture;
}

TextureImage* loadTextureWithAlpha(const char* colourPath, const char* alphaPath,
                                   const char* message) {
    int existed = 0;
    TextureImage* texture = gRegistry->acquireTexture(&existed, makeKey(colourPath));
    Image colour(1), alpha(1);
    readPicture(colourPath, message, colour);
    readPicture(alphaPath, message, alpha);
    // The alpha picture is read at the colour picture's coordinates; a picture of another
    // size is first resampled to match instead of being read out of bounds.
    alpha.resize(colour.width, colour.height);
    Image merged(1);
    merged.allocate(colour.width, colour.height, 41);
    for (uint32_t y = 0; y < colour.height; ++y) {
        const uint8_t* c = colour.pixels + size_t(y) * colour.pitch;
        const uint8_t* a = alpha.pixels + size_t(y) * alpha.pitch;
        uint8_t* m = merged.pixels + size_t(y) * merged.pitch;
        for (uint32_t x = 0; x < colour.width; ++x) {
            m[x * 4 + 0] = c[x * 3 + 0];
            m[x * 4 + 1] = c[x * 3 + 1];
            m[x * 4 + 2] = c[x * 3 + 2];
            m[x * 4 + 3] = a[x * 3 + 0];
        }
    }
    texture->setImage(merged, 1);
    return texture;
}
