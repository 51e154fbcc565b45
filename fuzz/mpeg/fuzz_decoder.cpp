// libFuzzer target: decodes arbitrary bytes as an MPEG video stream (elementary or system
// stream), or as a scalable pair of streams (fuzz_input.h), through the whole decoder, output
// stage included. Any crash, hang, leak or sanitizer report is a bug.
#include "fuzz/mpeg/fuzz_input.h"
#include "media/mpeg/decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mpeg::MpegDecoder decoder;
    decoder.setQuiet(true);
    size_t planeBytes = 0;
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
                    planeBytes += p->data[y * p->stride + x];
    });
    const mpegfuzz::Streams streams = mpegfuzz::splitInput(data, size);
    const int width = streams.layered ? decoder.openMemory(streams.base, streams.enhancement)
                                      : decoder.openMemory(streams.base);
    if (width == 0)
        return 0;
    const double area = double(decoder.videoWidth()) * decoder.videoHeight();
    std::vector<uint32_t> pixels(static_cast<size_t>(decoder.videoWidth()) * decoder.videoHeight());
    decoder.setOutput(pixels.data(), area <= kMaxCheckedArea);
    const int maxPictures = std::max(1, std::min(kMaxPictures, int(kMaxPixels / area)));
    for (int i = 0;
         i < maxPictures && pixelsWritten <= kMaxPixels && decoder.decodeNextPicture() == 0; ++i) {
        if (decoder.framesWritten() >= kCheckedFrames)
            decoder.setOutput(nullptr, false);
    }
    decoder.close();
    return 0;
}
