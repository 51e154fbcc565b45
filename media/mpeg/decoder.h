// MPEG-1 / MPEG-2 video decoder: one object decodes one stream (elementary or system/program
// stream) picture by picture and hands out frames in display order, as planes and optionally as
// 32-bit RGB. Scalable enhancement layers are not decoded.
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
    // Double-precision inverse DCT instead of the fast integer one.
    void setReferenceIdct(bool reference);

    int videoWidth() const;
    int videoHeight() const;
    int chromaFormat() const; // 1: 4:2:0, 2: 4:2:2, 3: 4:4:4
    bool isSystemStream() const;
    bool isMpeg2() const;
    // Frames written and diagnostics since open(); still readable after close().
    int framesWritten() const;
    int diagnosticCount() const;
    // Text of open() failures.
    const std::string& errorText() const;

private:
    std::unique_ptr<DecoderState> state_;
};

} // namespace mpeg
