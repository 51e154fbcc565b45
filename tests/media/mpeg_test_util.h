// Helpers shared by the MPEG decoder tests: reading test files and decoding a whole stream into
// concatenated planar frames.
#pragma once

#include "media/mpeg/decoder.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mpegtest {

inline std::string dataPath(const std::string& name) {
    return std::string(DEMO_SOURCE_DIR) + "/tests/data/mpeg/" + name;
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Decoded {
    int width = 0;
    int height = 0;
    int chromaFormat = 0;
    bool systemStream = false;
    bool mpeg2 = false;
    std::vector<std::vector<uint8_t>> frames; // Y, Cb, Cr planes back to back
};

inline void appendPlane(std::vector<uint8_t>& out, const mpeg::PlaneView& p) {
    for (int y = 0; y < p.height; ++y)
        out.insert(out.end(), p.data + y * p.stride, p.data + y * p.stride + p.width);
}

// Decodes every picture; maxPictures bounds the loop for damaged input.
inline Decoded decodeAll(mpeg::MpegDecoder& decoder, int maxPictures = 100000) {
    Decoded d;
    decoder.setFrameCallback([&](const mpeg::FrameView& f) {
        std::vector<uint8_t> frame;
        appendPlane(frame, f.y);
        appendPlane(frame, f.cb);
        appendPlane(frame, f.cr);
        d.frames.push_back(std::move(frame));
    });
    d.width = decoder.videoWidth();
    d.height = decoder.videoHeight();
    d.chromaFormat = decoder.chromaFormat();
    d.systemStream = decoder.isSystemStream();
    d.mpeg2 = decoder.isMpeg2();
    for (int i = 0; i < maxPictures && decoder.decodeNextPicture() == 0; ++i) {
    }
    decoder.close();
    decoder.setFrameCallback(nullptr);
    return d;
}

inline Decoded decodeFile(const std::string& path, bool referenceIdct = false) {
    mpeg::MpegDecoder decoder;
    decoder.setReferenceIdct(referenceIdct);
    if (decoder.open(path.c_str()) == 0)
        return {};
    return decodeAll(decoder);
}

inline Decoded decodeMemory(const std::vector<uint8_t>& data, int maxPictures = 100000) {
    mpeg::MpegDecoder decoder;
    if (decoder.openMemory(data) == 0)
        return {};
    return decodeAll(decoder, maxPictures);
}

// A scalable pair: the base layer and the enhancement layer (or partition 1).
inline Decoded decodeLayers(const std::vector<uint8_t>& base,
                            const std::vector<uint8_t>& enhancement, bool referenceIdct = false,
                            int* diagnostics = nullptr, int* scalability = nullptr) {
    mpeg::MpegDecoder decoder;
    decoder.setReferenceIdct(referenceIdct);
    if (decoder.openMemory(base, enhancement) == 0)
        return {};
    if (scalability)
        *scalability = decoder.scalability();
    Decoded d = decodeAll(decoder);
    if (diagnostics)
        *diagnostics = decoder.diagnosticCount();
    return d;
}

} // namespace mpegtest
