// Picture loaders: a colour JPEG becomes a texture in the display format, or a colour JPEG
// plus a greyscale JPEG becomes one A8R8G8B8 texture whose alpha is the second picture.
// Textures are filed in the registry under the path exactly as the caller wrote it.
#pragma once

#include <cstdint>
#include <string>

struct DemoApp;
struct Image;
struct TextureImage;

// The loaders' failure messages, one per user.
constexpr const char* kErrorOpening = "Error opening image";
constexpr const char* kErrorPart2 = "Error Part2 image";
constexpr const char* kErrorPart3 = "Error Part3 image";
constexpr const char* kErrorDomino = "Error Domino image";
constexpr const char* kErrorEnd = "Error End image";

// A file stream bound to the application (for its log).
struct ImageFile {
    DemoApp* app = nullptr;
    int kind = 0; // 0 closed, 2 an open disk file
    void* handle = nullptr;
    uint64_t size = 0;
    bool sizeKnown = false;
    char* pathCopy = nullptr; // the resolved path on disk
    uint32_t mode = 0;

    explicit ImageFile(DemoApp* application) : app(application) {}
    ~ImageFile() { close(); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // 1 if already open or the file cannot be opened for binary reading; else 0.
    int open(const char* path, uint32_t mode);
    const char* path() const { return pathCopy; }
    uint64_t fileSize();
    void close();
};

// Decodes the file the stream holds into the image as format 30; 1 on failure.
int loadJpeg(Image& image, ImageFile& file);

// Never returns null: a picture that cannot be read still gets a texture (see the .cpp).
TextureImage* loadTexture(const char* path, const char* failureMessage);
TextureImage* loadTextureWithAlpha(const char* colourPath, const char* alphaPath,
                                   const char* failureMessage);
