#include "platform/png.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace platform {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// libpng reports errors by longjmp; keep it inside this function, whose locals are
// trivially destructible past the setjmp point.
bool encode(FILE* file, const uint8_t* rgbRows, uint32_t width, uint32_t height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < height; ++y) {
        png_write_row(png, rgbRows + size_t(y) * width * 3);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool writePngBgra(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t height,
                  std::string* error) {
    if (width == 0 || height == 0 || bgra == nullptr) {
        *error = "empty picture";
        return false;
    }
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (size_t i = 0, n = size_t(width) * height; i < n; ++i) {
        rgb[i * 3 + 0] = bgra[i * 4 + 2];
        rgb[i * 3 + 1] = bgra[i * 4 + 1];
        rgb[i * 3 + 2] = bgra[i * 4 + 0];
    }
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        *error = "cannot open " + path + " for writing";
        return false;
    }
    if (!encode(file.get(), rgb.data(), width, height)) {
        *error = "cannot encode " + path;
        return false;
    }
    if (std::fflush(file.get()) != 0) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool readPngBgra(const std::string& path, std::string* bgra, uint32_t* width, uint32_t* height,
                 std::string* error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        *error = "cannot read " + path + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_BGRA;
    bgra->assign(PNG_IMAGE_SIZE(image), '\0');
    if (png_image_finish_read(&image, nullptr, bgra->data(), 0, nullptr) == 0) {
        *error = "cannot decode " + path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    *width = image.width;
    *height = image.height;
    return true;
}

} // namespace platform
