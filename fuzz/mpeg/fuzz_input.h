// How the MPEG fuzz target reads its input: one stream, or, behind the marker byte 0xFE, a
// scalable pair: two bytes (big-endian) giving the base layer's length, the base layer, then the
// enhancement layer (SNR or spatial) or partition 1 of a data-partitioned base layer. Shared by the
// fuzz target and the test that replays the seed corpus.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mpegfuzz {

constexpr uint8_t kLayersMarker = 0xFE;

struct Streams {
    std::span<const uint8_t> base;
    std::span<const uint8_t> enhancement;
    bool layered = false;
};

inline Streams splitInput(const uint8_t* data, size_t size) {
    Streams s;
    if (size < 3 || data[0] != kLayersMarker) {
        s.base = {data, size};
        return s;
    }
    const size_t length = std::min<size_t>((size_t{data[1]} << 8) | data[2], size - 3);
    s.base = {data + 3, length};
    s.enhancement = {data + 3 + length, size - 3 - length};
    s.layered = true;
    return s;
}

// The input that splitInput turns into base and enhancement (base at most 65535 bytes).
inline std::vector<uint8_t> joinLayers(std::span<const uint8_t> base,
                                       std::span<const uint8_t> enhancement) {
    const size_t length = std::min<size_t>(base.size(), 0xFFFF);
    std::vector<uint8_t> out = {kLayersMarker, uint8_t(length >> 8), uint8_t(length & 0xFF)};
    out.insert(out.end(), base.begin(), base.begin() + static_cast<std::ptrdiff_t>(length));
    out.insert(out.end(), enhancement.begin(), enhancement.end());
    return out;
}

} // namespace mpegfuzz
