#include "media/jpeg/jpeg_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace {

// libjpeg's default error handler calls exit(); ours jumps back into decode().
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

extern "C" void onJpegError(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(manager->jump, 1);
}

extern "C" void onJpegMessage(j_common_ptr) {}

// Larger pictures are refused like unreadable ones. No picture of the demo comes near, and a
// header of a few hundred bytes could otherwise ask for gigabytes once the loaders round the
// sides up to powers of two and add an alpha picture and mip levels. (The block's header
// would take up to 0xFFFF.)
constexpr uint32_t kMaxSide = 4096;
// Encoders write about ten scans for a progressive picture; a file that repeats scans could
// keep the decoder sweeping the whole picture thousands of times. Beyond this many the
// decoding stops like any other damaged body.
constexpr int kMaxScans = 256;

extern "C" void onJpegProgress(j_common_ptr info) {
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxScans) {
        onJpegError(info);
    }
}

// Everything libjpeg touches lives in plain locals, so the longjmp skips no destructor.
uint8_t* decode(FILE* file) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    uint8_t* volatile block = nullptr;
    uint8_t* volatile row = nullptr;
    jpeg_progress_mgr progress;
    std::memset(&info, 0, sizeof info);
    std::memset(&progress, 0, sizeof progress);
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onJpegError;
    errors.base.output_message = onJpegMessage;
    progress.progress_monitor = onJpegProgress;
    if (setjmp(errors.jump) != 0) {
        // A failure after the header: keep what was decoded; before it: nothing.
        std::free(row);
        jpeg_destroy_decompress(&info);
        return block;
    }
    jpeg_create_decompress(&info);
    info.progress = &progress;
    jpeg_stdio_src(&info, file);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.image_width == 0 ||
        info.image_height == 0 || info.image_width > kMaxSide || info.image_height > kMaxSide) {
        jpeg_destroy_decompress(&info);
        return nullptr;
    }
    int components = info.num_components;
    if (components == 1 || components == 3) {
        info.out_color_space = JCS_EXT_BGR; // grey expands to three equal bytes
    } else {
        info.out_color_space = JCS_UNKNOWN; // no conversion; the first three kept below
    }
    size_t width = info.image_width, height = info.image_height;
    block = static_cast<uint8_t*>(std::calloc(width * height * 3 + 4, 1));
    if (block == nullptr) {
        jpeg_destroy_decompress(&info);
        return nullptr;
    }
    block[0] = uint8_t(width);
    block[1] = uint8_t(width >> 8);
    block[2] = uint8_t(height);
    block[3] = uint8_t(height >> 8);
    jpeg_start_decompress(&info);
    size_t outComponents = size_t(info.output_components);
    if (outComponents != 3) {
        row = static_cast<uint8_t*>(std::malloc(width * outComponents));
        if (row == nullptr) {
            jpeg_destroy_decompress(&info);
            return block;
        }
    }
    while (info.output_scanline < info.output_height) {
        uint8_t* target = block + 4 + size_t(info.output_scanline) * width * 3;
        JSAMPROW rows[1] = {row != nullptr ? row : target};
        if (jpeg_read_scanlines(&info, rows, 1) != 1) {
            break;
        }
        if (row != nullptr) {
            for (size_t x = 0; x < width; ++x) {
                for (size_t c = 0; c < 3; ++c) {
                    target[x * 3 + c] = c < outComponents ? row[x * outComponents + c] : 0;
                }
            }
        }
    }
    jpeg_finish_decompress(&info);
    std::free(row);
    jpeg_destroy_decompress(&info);
    return block;
}

} // namespace

uint8_t* decodeJpegFile(const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    uint8_t* block = decode(file);
    std::fclose(file);
    return block;
}
