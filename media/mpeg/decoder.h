// MPEG-1 / MPEG-2 video decoder: one object decodes one stream (elementary or system/program
// stream) picture by picture and hands out frames in display order, as planes and optionally as
// 32-bit RGB. A scalable pair of streams (ISO/IEC 13818-2 clause 7.7 to 7.10) is decoded from two
// inputs: the base layer and a second stream that is the SNR enhancement layer, the spatial
// enhancement layer or partition 1 of a data-partitioned stream; temporal scalability is not
// decoded (the base layer is).
//
// One frame is handed out per coded frame (a frame picture or a pair of field pictures), as the
// raw-video output of a reference decoder does: repeat_first_field and top_field_first do not
// repeat fields or frames (display pulldown is left to the caller), and progressive_frame only
// picks the chroma filter of the RGB output.
#pragma once

#include "media/mpeg/output.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace mpeg {

struct DecoderState;

class MpegDecoder {
public:
    MpegDecoder();
    ~MpegDecoder();
    MpegDecoder(const MpegDecoder&) = delete;
    MpegDecoder& operator=(const MpegDecoder&) = delete;

    // Opens a stream and reads up to and including its first sequence header. Returns the
    // picture width, or 0 when no sequence header could be read. Re-initialises everything.
    int open(const char* path);
    // Same for a stream in memory, which the caller keeps alive until close().
    int openMemory(std::span<const uint8_t> data);
    // Scalable decoding: path is the base layer (partition 0 of a data-partitioned stream; the
    // lower layer of spatial scalability), enhancementPath the second stream. What the pair is
    // comes from the streams' sequence scalable extensions; the pictures handed out are those of
    // the enhancement layer (of spatial scalability: its size). Both layers must code the same
    // pictures in the same order. A missing second file is reported in errorText() ("enhancment
    // layer bitstream file %s not found") and the base layer decodes alone, as it does when the
    // second stream is no usable enhancement layer. Null enhancementPath: same as open(path).
    int open(const char* path, const char* enhancementPath);
    int openMemory(std::span<const uint8_t> data, std::span<const uint8_t> enhancement);
    // Writes frames to close(); frees the frame stores.
    void close();

    // Decodes the next picture. Returns 1 when the stream has ended, else 0.
    int decodeNextPicture();

    // 32-bit output buffer of videoWidth x videoHeight pixels, written for every frame. Set it
    // after open(); open() and close() forget it.
    void setOutput(uint32_t* buffer, bool enable);
    // Called for every frame written, in display order, with planes cropped to the picture.
    void setFrameCallback(std::function<void(const FrameView&)> callback);

    void setQuiet(bool quiet);
    // Double-precision inverse DCT instead of the fast integer one (with the plain kernels).
    void setReferenceIdct(bool reference);
    // The plain kernels instead of the SIMD ones (which give the same pictures); the environment
    // variable MPEG_PLAIN_KERNELS does the same for every decoder.
    void setPlainKernels(bool plain);

    int videoWidth() const;
    int videoHeight() const;
    int chromaFormat() const; // 1: 4:2:0, 2: 4:2:2, 3: 4:4:4
    bool isSystemStream() const;
    bool isMpeg2() const;
    // The scalability being decoded: -1 none, 0 data partitioning, 1 spatial, 2 SNR.
    int scalability() const;
    // Frames written and diagnostics since open(); still readable after close().
    int framesWritten() const;
    int diagnosticCount() const;
    // Text of open() failures (and of a missing enhancement-layer file).
    const std::string& errorText() const;

private:
    std::unique_ptr<DecoderState> state_;
};

} // namespace mpeg
