// JPEG decoding for the picture loaders, over libjpeg-turbo. The result is one heap block
// (freed with std::free): 16-bit little-endian width and height, then rows of blue, green,
// red bytes, top row first, no padding. Never ends the process on a damaged file.
#pragma once

#include <cstdint>

// Null when the file cannot be opened, its header cannot be read or it declares a side over
// 4096 pixels. A file whose body is damaged (or repeats scans without end) still gives a
// block, holding what could be decoded (the rest stays black).
uint8_t* decodeJpegFile(const char* path);
