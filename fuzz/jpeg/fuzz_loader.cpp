// libFuzzer target: arbitrary bytes read as a picture with alpha through loadTextureWithAlpha,
// the path the scenes use (files on disk, decodeJpegFile, rounding to powers of two, the merge
// and the mip levels). The input is cut into the colour and the alpha file as split_input.h
// says. Any crash, hang, leak or sanitizer report is a bug.
#include "fuzz/jpeg/split_input.h"
#include "platform/debugout.h"
#include "platform/files.h"
#include "scene/image_loader.h"
#include "scene/texture_registry.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

std::string gDirectory; // a private temporary data directory for the two files

bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

void removeDirectory() {
    std::remove((gDirectory + "/colour.jpg").c_str());
    std::remove((gDirectory + "/alpha.jpg").c_str());
    ::rmdir(gDirectory.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/jpeg-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    gDirectory = pattern;
    std::atexit(removeDirectory);
    platform::setDataDirectory(gDirectory);
    // The loaders' failure messages go to the debug output and to stdout; keep both quiet.
    platform::setDebugQuiet(true);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::perror("freopen");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t split = jpegAlphaSplit(data, size);
    bool ok = split < size ? writeFile(gDirectory + "/colour.jpg", data, split) &&
                                 writeFile(gDirectory + "/alpha.jpg", data + split, size - split)
                           : writeFile(gDirectory + "/colour.jpg", data, size) &&
                                 writeFile(gDirectory + "/alpha.jpg", data, size);
    if (!ok) {
        std::abort(); // the temporary directory is gone or full: nothing below means anything
    }
    TextureRegistry registry;
    gRegistry = &registry;
    TextureImage* texture =
        loadTextureWithAlpha("data\\colour.jpg", "data\\alpha.jpg", kErrorOpening);
    // Touch every byte of every level so a short or missing level is caught.
    unsigned sum = 0;
    if (texture == nullptr || texture->pixels == nullptr || texture->format != 41) {
        std::abort();
    }
    for (uint32_t i = 0; i < texture->levelCount; ++i) {
        size_t bytes = size_t(texture->width >> i) * (texture->height >> i) * 4;
        for (size_t b = 0; b < bytes; ++b) {
            sum += texture->levels[i][b];
        }
    }
    volatile unsigned sink = sum; // keeps the reads
    (void)sink;
    gRegistry = nullptr;
    return 0; // the registry frees the texture on the way out
}
