// libFuzzer target: decodes arbitrary bytes as an MPEG video stream (elementary or system
// stream), or as a scalable pair of streams (fuzz_input.h), through the whole decoder, output
// stage included, once with the SIMD kernels and once with the plain ones. Any crash, hang, leak
// or sanitizer report is a bug, and so is any difference between the two decodes.
#include "fuzz/mpeg/fuzz_input.h"
#include "media/mpeg/decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {
// Bounds the work per input (pictures times area) so huge pictures do not stall the fuzzer.
constexpr int kMaxPictures = 200;
constexpr double kMaxPixels = 16e6;
// Above this area only the decoding itself is exercised: the instrumented output stage and
// plane checks would take seconds per picture.
constexpr double kMaxCheckedArea = 1 << 16;
// Frames that go through the output stage and the plane check; later ones are only decoded.
constexpr int kCheckedFrames = 2;
} // namespace

namespace {

// One decode; returns a hash of the checked planes and RGB pictures.
uint64_t decode(const uint8_t* data, size_t size, bool plainKernels) {
    mpeg::MpegDecoder decoder;
    decoder.setQuiet(true);
    decoder.setPlainKernels(plainKernels);
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&](uint64_t v) { hash = (hash ^ v) * 1099511628211ull; };
    int checkedFrames = 0;
    // Area of the frames written so far: a later sequence header may enlarge the pictures far
    // beyond the first one's size, and every picture costs its whole area (macroblocks a picture
    // lacks are concealed).
    double pixelsWritten = 0;
    decoder.setFrameCallback([&](const mpeg::FrameView& f) {
        pixelsWritten += double(f.y.width) * f.y.height;
        // Touch every byte handed out so out-of-bounds views are caught.
        if (double(f.y.width) * f.y.height > kMaxCheckedArea || ++checkedFrames > kCheckedFrames)
            return;
        for (const mpeg::PlaneView* p : {&f.y, &f.cb, &f.cr})
            for (int y = 0; y < p->height; ++y)
                for (int x = 0; x < p->width; ++x)
                    mix(p->data[y * p->stride + x]);
    });
    const mpegfuzz::Streams streams = mpegfuzz::splitInput(data, size);
    const int width = streams.layered ? decoder.openMemory(streams.base, streams.enhancement)
                                      : decoder.openMemory(streams.base);
    if (width == 0)
        return hash;
    const double area = double(decoder.videoWidth()) * decoder.videoHeight();
    std::vector<uint32_t> pixels(static_cast<size_t>(decoder.videoWidth()) * decoder.videoHeight());
    const bool checkOutput = area <= kMaxCheckedArea;
    decoder.setOutput(pixels.data(), checkOutput);
    const int maxPictures = std::max(1, std::min(kMaxPictures, int(kMaxPixels / area)));
    for (int i = 0;
         i < maxPictures && pixelsWritten <= kMaxPixels && decoder.decodeNextPicture() == 0; ++i) {
        if (checkOutput && decoder.framesWritten() > 0 && decoder.framesWritten() <= kCheckedFrames)
            for (uint32_t p : pixels)
                mix(p);
        if (decoder.framesWritten() >= kCheckedFrames)
            decoder.setOutput(nullptr, false);
    }
    decoder.close();
    mix(static_cast<uint64_t>(decoder.framesWritten()));
    return hash;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (decode(data, size, false) != decode(data, size, true))
        std::abort(); // the SIMD kernels decoded differently from the plain ones
    return 0;
}
