// Sound stand-in over SDL2_mixer: initialise the mixer, load a whole sample from a file (MP3
// included) and play it on a free channel. Without an audio device (or when muted)
// initialisation fails and every later call does nothing, so the demo runs silently.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct SoundSample;

// Mixing rate, channels, flags. False when there is no audio device or sound is muted.
bool soundInit(int mixRate, int channels, uint32_t flags);
void soundClose();
// Mutes all later initialisation (the --mute option).
void setSoundMuted(bool muted);
const std::string& soundError();

// Loads the whole file; null on failure or when not initialised. index, mode, offset and
// length are accepted for the caller's sake; a sample always loads whole.
SoundSample* soundSampleLoad(int index, const char* path, uint32_t mode, int offset, int length);
// Plays on a free channel (channel -1) or the given one; returns the channel, or -1.
int soundPlay(int channel, SoundSample* sample);
void soundSampleFree(SoundSample* sample);

// Decodes a whole file to interleaved 16-bit stereo at the given rate, without playing it
// (no audio device needed). False with soundError() set on failure.
bool soundDecodeFile(const char* path, int rate, std::vector<int16_t>* samples);

} // namespace platform
