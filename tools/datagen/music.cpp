// The music: a 250-second electronic track at 125 beats per minute (0.48 s a beat),
// synthesised from a kick, a hi-hat, a bass line and pad chords that change every
// four bars, with breaks between the scene changes.
#include "tools/datagen/groups.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace datagen {

namespace {

constexpr double kBeat = 0.48;
constexpr double kLength = 252.0;
constexpr double kPi = 3.14159265358979323846;

double noteHz(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

uint32_t noiseState = 0x12345678u;
double whiteNoise() {
    noiseState = noiseState * 1664525u + 1013904223u;
    return double(noiseState >> 8) / double(1u << 24) * 2.0 - 1.0;
}

} // namespace

std::vector<int16_t> synthesiseMusic() {
    const size_t frames = size_t(kLength * kMusicRate);
    std::vector<double> left(frames, 0.0), right(frames, 0.0);
    // A minor, F major, C major, G major: roots and triads.
    const int roots[4] = {45, 41, 48, 43};
    const int triads[4][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};
    double padPhase[3] = {0, 0, 0};
    double bassPhase = 0;
    for (size_t i = 0; i < frames; ++i) {
        double t = double(i) / kMusicRate;
        double beat = t / kBeat;
        int beatIndex = int(beat);
        double inBeat = (beat - beatIndex) * kBeat; // seconds since the beat
        int bar = beatIndex / 4;
        int chord = (bar / 4) % 4;
        double fadeIn = std::min(1.0, t / 8.0);
        double fadeOut = std::clamp((kLength - 2.0 - t) / 6.0, 0.0, 1.0);
        bool drums = t > 15.0 && fmod(t, 60.0) < 56.0;

        double kick = 0;
        if (drums) {
            double f = 50.0 + 90.0 * std::exp(-inBeat * 30.0);
            kick = std::sin(2 * kPi * f * inBeat) * std::exp(-inBeat * 7.0);
        }
        double offbeat = inBeat - kBeat / 2;
        double hat = 0;
        if (drums && offbeat >= 0) {
            hat = whiteNoise() * std::exp(-offbeat * 40.0) * 0.25;
        }
        int step = int(beat * 2) % 8;
        int bassNote = roots[chord] + (step == 3 || step == 6 ? 12 : 0);
        bassPhase += noteHz(bassNote) / kMusicRate;
        double eighth = fmod(beat * 2, 1.0) * kBeat / 2;
        double bass = (fmod(bassPhase, 1.0) < 0.5 ? 1.0 : -1.0) * 0.18 * std::exp(-eighth * 6.0);
        double pad = 0;
        for (int k = 0; k < 3; ++k) {
            padPhase[k] += noteHz(triads[chord][k]) * (1.0 + 0.002 * k) / kMusicRate;
            double saw = 2.0 * fmod(padPhase[k], 1.0) - 1.0;
            pad += saw * 0.07;
        }
        double swell = 0.6 + 0.4 * std::sin(2 * kPi * t / (16 * kBeat));
        double mix = (kick * 0.55 + bass + pad * swell) * fadeIn * fadeOut;
        left[i] = mix + hat * 0.7;
        right[i] = mix + hat;
    }
    // A one-pole low-pass takes the edge off the saw pads.
    std::vector<int16_t> out(frames * 2);
    double l = 0, r = 0;
    for (size_t i = 0; i < frames; ++i) {
        l += (left[i] - l) * 0.35;
        r += (right[i] - r) * 0.35;
        out[2 * i] = int16_t(std::clamp(l, -1.0, 1.0) * 30000);
        out[2 * i + 1] = int16_t(std::clamp(r, -1.0, 1.0) * 30000);
    }
    return out;
}

} // namespace datagen
