// The program's video entry points: thin wrappers over one process-wide, quiet MpegDecoder.
// One stream is open at a time; opening another re-initialises the decoder.
#pragma once

#include "media/mpeg/decoder.h"

#include <cstdint>

// Returns videoWidth, or 0 when no sequence header could be read (see videoErrorText()).
int openVideo(const char* path);
// A scalable pair: the base layer and its enhancement layer (SNR, spatial or partition 1 of data
// partitioning) from a second file; see MpegDecoder::open(path, enhancementPath).
int openVideo(const char* path, const char* enhancementPath);
// Frames are written to buffer (videoWidth x videoHeight 32-bit pixels) while enable is set.
// Call after openVideo(); opening or closing a stream forgets the buffer.
void setOutput(uint32_t* buffer, int enable);
// Returns 1 when the stream has ended, else 0.
int decodeNextPicture();
// Writes the last reference frame, frees the frame stores and closes the file.
void closeVideo();
int videoWidth();
int videoHeight();
const char* videoErrorText();
// The instance behind the entry points.
mpeg::MpegDecoder& videoDecoder();
