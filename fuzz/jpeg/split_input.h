// How the JPEG fuzz target and its corpus replay cut one input into the two files of a picture
// with alpha: at the second start-of-image marker (FF D8 followed by another marker), so a
// colour JPEG followed by a greyscale JPEG is one seed. Without one, both files get it all.
#pragma once

#include <cstddef>
#include <cstdint>

inline size_t jpegAlphaSplit(const uint8_t* data, size_t size) {
    for (size_t i = 2; i + 2 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xD8 && data[i + 2] == 0xFF) {
            return i;
        }
    }
    return size;
}
