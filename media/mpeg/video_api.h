// The program's video entry points: thin wrappers over one process-wide, quiet MpegDecoder.
// One stream is open at a time; opening another re-initialises the decoder.
#pragma once

#include "media/mpeg/decoder.h"

#include <cstdint>

// Returns videoWidth, or 0 when no sequence header could be read (see videoErrorText()).
int openVideo(const char* path);
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
