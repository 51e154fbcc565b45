// PNG output for frame dumps and input for reference frames and captures: top-down rows of blue,
// green, red, alpha bytes written as an 8-bit RGB picture (the alpha of a back buffer means nothing
// on screen).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Returns false and fills error when the file cannot be written.
bool writePngBgra(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t height,
                  std::string* error);

// Reads any PNG as top-down rows of blue, green, red, alpha bytes; false and error when the
// file cannot be read or is not a PNG.
bool readPngBgra(const std::string& path, std::string* bgra, uint32_t* width, uint32_t* height,
                 std::string* error);

} // namespace platform
