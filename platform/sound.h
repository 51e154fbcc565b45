// Sound stand-in over SDL2_mixer: initialise the mixer, load a whole sample from a file (MP3
// included), play it on a free channel and move a playing channel to another position. Without an
// audio device (or when muted) initialisation fails and every later call does nothing, so the demo
// runs silently.
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
// Moves a playing channel to `seconds` into its sample (rounded down to a whole sample
// frame). False, and the channel stopped, when the position lies at or past the sample's end;
// false when the channel plays nothing or the position is negative or not a number.
bool soundSetPosition(int channel, double seconds);
// Where the channel was last started or moved to, in seconds into its sample, as handed to
// the mixer; -1 when nothing plays there since the sample was freed or a move past its end.
double soundStartPosition(int channel);
void soundSampleFree(SoundSample* sample);

// Decodes a whole file to interleaved 16-bit stereo at the given rate, without playing it
// (no audio device needed). False with soundError() set on failure.
bool soundDecodeFile(const char* path, int rate, std::vector<int16_t>* samples);

} // namespace platform
