// The music: a 251-second electronic track at 130 beats per minute, synthesised from
// oscillators, envelopes and noise (drums, a bass line, pad chords, an arpeggio, a lead with
// an echo). Its eight sections follow the scenes, and every accent of music_accents.h is a
// kick, crash and snare on a clean onset: the rest of the mix ducks just before each one.
// Uses no recorded samples; the same program always writes the same samples.
#include "tools/datagen/groups.h"
#include "tools/datagen/music_accents.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace datagen {

namespace {

constexpr double kRate = kMusicRate;
constexpr double kPi = 3.14159265358979323846;
constexpr double kBeat = kMusicBeat;

// Bed level just before an accent (about -30 dB), and the duck's shape in seconds.
constexpr double kDuckFloor = 0.03;
constexpr double kDuckFall = 0.045; // the bed starts dropping this long before the hit
constexpr double kDuckHold = 0.012; // and is down for this long before it
constexpr double kDuckRise = 0.28;  // then comes back over this long
// A grid kick this close to an accent is left out: the accent brings its own.
constexpr double kKickClearance = 0.12;

double midiHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Deterministic white noise in -1..1.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed) {}
    double next() {
        state_ = state_ * 1664525u + 1013904223u;
        return double(state_ >> 8) / double(1u << 23) - 1.0;
    }

private:
    uint32_t state_;
};

// A stereo mix buffer in seconds-addressed doubles.
struct Bus {
    std::vector<double> left, right;
    explicit Bus(size_t frames) : left(frames, 0.0), right(frames, 0.0) {}
    size_t frames() const { return left.size(); }
    // Calls voice(x) for the seconds x since t0 over the duration, adding the result with
    // the pan (-1 left .. 1 right).
    template <class Voice> void play(double t0, double duration, double pan, Voice voice) {
        const auto first = size_t(std::max(0.0, std::ceil(t0 * kRate)));
        const auto last = std::min(frames(), size_t(std::max(0.0, (t0 + duration) * kRate)));
        const double gl = std::sqrt(0.5 * (1 - pan)), gr = std::sqrt(0.5 * (1 + pan));
        for (size_t i = first; i < last; ++i) {
            const double v = voice(double(i) / kRate - t0);
            left[i] += v * gl;
            right[i] += v * gr;
        }
    }
};

// Attack-release envelope for a note of the given length.
double gate(double x, double length, double attack, double release) {
    if (x < 0 || x > length + release) {
        return 0;
    }
    double a = attack > 0 ? std::min(1.0, x / attack) : 1.0;
    return x <= length ? a : a * (1 - (x - length) / release);
}

// --- Drums ---

void kick(Bus& bus, double t0, double gain) {
    double phase = 0;
    Noise noise(uint32_t(t0 * 1000) + 1);
    bus.play(t0, 0.45, 0, [&](double x) {
        const double f = 46 + 140 * std::exp(-x * 32);
        phase += f / kRate;
        const double body = std::sin(2 * kPi * phase) * std::exp(-x * 6.5);
        const double click = noise.next() * std::exp(-x * 500) * 0.35;
        return gain * (body + click);
    });
}

void snare(Bus& bus, double t0, double gain, double pan) {
    Noise noise(uint32_t(t0 * 1000) + 7);
    double previous = 0, low = 0;
    bus.play(t0, 0.3, pan, [&](double x) {
        const double n = noise.next();
        low += (n - low) * 0.25;
        const double bright = n - previous * 0.5;
        previous = n;
        const double tone = std::sin(2 * kPi * 185 * x) * std::exp(-x * 30) * 0.5;
        return gain * ((bright * 0.6 + low * 0.6) * std::exp(-x * 16) + tone);
    });
}

void hat(Bus& bus, double t0, double gain, bool open) {
    Noise noise(uint32_t(t0 * 1000) + 13);
    double previous = 0;
    const double decay = open ? 11.0 : 70.0;
    bus.play(t0, open ? 0.35 : 0.07, 0.35, [&](double x) {
        const double n = noise.next();
        const double high = n - previous;
        previous = n;
        return gain * high * std::exp(-x * decay);
    });
}

// A cymbal: bright noise, a sharp first burst, then a long wash; separate noise per side.
void crash(Bus& bus, double t0, double gain) {
    Noise a(uint32_t(t0 * 1000) + 17), b(uint32_t(t0 * 1000) + 19);
    double pa = 0, pb = 0;
    const double length = 1.8;
    const auto first = size_t(std::ceil(t0 * kRate));
    const auto last = std::min(bus.frames(), size_t((t0 + length) * kRate));
    for (size_t i = first; i < last; ++i) {
        const double x = double(i) / kRate - t0;
        const double env = gain * (std::exp(-x * 2.2) * 0.6 + std::exp(-x * 30) * 0.9);
        const double na = a.next(), nb = b.next();
        bus.left[i] += (na - pa) * env;
        bus.right[i] += (nb - pb) * env;
        pa = na;
        pb = nb;
    }
}

// A noise sweep rising into a cut, over `length` seconds ending at t1.
void riser(Bus& bus, double t1, double length, double gain) {
    Noise noise(uint32_t(t1 * 1000) + 23);
    double low = 0;
    bus.play(t1 - length, length, 0, [&](double x) {
        const double p = x / length;
        low += (noise.next() - low) * (0.02 + 0.5 * p * p);
        return gain * low * p * p;
    });
}

// --- Tones ---

// Saw and sub sine through a low-pass whose cutoff falls after the attack.
void bass(Bus& bus, double t0, double length, int note, double gain) {
    const double f = midiHz(note);
    double phase = 0, state = 0;
    bus.play(t0, length + 0.03, 0, [&](double x) {
        phase += f / kRate;
        const double saw = 2 * (phase - std::floor(phase)) - 1;
        const double cutoff = 180 + 1600 * std::exp(-x * 14);
        state += (saw - state) * (1 - std::exp(-2 * kPi * cutoff / kRate));
        const double sine = std::sin(2 * kPi * phase);
        return gain * gate(x, length, 0.004, 0.03) * (state * 0.7 + sine * 0.45);
    });
}

// Two detuned saws per note, gently filtered, slow attack and release.
void pad(Bus& bus, double t0, double length, int note, double gain) {
    for (int side = 0; side < 2; ++side) {
        const double f = midiHz(note) * (side == 0 ? 0.9961 : 1.0039);
        double phase = side * 0.37, s1 = 0, s2 = 0;
        const double k = 1 - std::exp(-2 * kPi * 1400 / kRate);
        bus.play(t0, length + 0.9, side == 0 ? -0.6 : 0.6, [&](double x) {
            phase += f / kRate;
            const double saw = 2 * (phase - std::floor(phase)) - 1;
            s1 += (saw - s1) * k;
            s2 += (s1 - s2) * k;
            return gain * gate(x, length, 0.35, 0.9) * s2;
        });
    }
}

// A plucked square through a closing filter.
void pluck(Bus& bus, double t0, int note, double gain, double pan) {
    const double f = midiHz(note);
    double phase = 0, state = 0;
    bus.play(t0, 0.4, pan, [&](double x) {
        phase += f / kRate;
        const double square = (phase - std::floor(phase)) < 0.5 ? 1.0 : -1.0;
        const double cutoff = 400 + 5000 * std::exp(-x * 18);
        state += (square - state) * (1 - std::exp(-2 * kPi * cutoff / kRate));
        return gain * state * std::exp(-x * 9) * std::min(1.0, x / 0.002);
    });
}

// A pulse lead with a delayed vibrato.
void lead(Bus& bus, double t0, double length, int note, double gain) {
    const double f = midiHz(note);
    double phase = 0, state = 0;
    const double k = 1 - std::exp(-2 * kPi * 2600 / kRate);
    bus.play(t0, length + 0.08, 0.1, [&](double x) {
        const double vibrato = 1 + 0.006 * std::sin(2 * kPi * 5.2 * x) * std::min(1.0, x / 0.3);
        phase += f * vibrato / kRate;
        const double pulse = (phase - std::floor(phase)) < 0.32 ? 1.0 : -1.0;
        state += (pulse - state) * k;
        return gain * gate(x, length, 0.012, 0.08) * state;
    });
}

// Ping-pong echo of a bus into another: delay in seconds, feedback per repeat.
void echo(const Bus& in, Bus& out, double delay, double feedback, double wet) {
    const auto d = size_t(delay * kRate);
    std::vector<double> l(in.frames(), 0.0), r(in.frames(), 0.0);
    for (size_t i = d; i < in.frames(); ++i) {
        // Left repeats feed the right line and back, so the echo crosses sides.
        l[i] = in.right[i - d] + r[i - d] * feedback;
        r[i] = in.left[i - d] + l[i - d] * feedback;
    }
    for (size_t i = 0; i < in.frames(); ++i) {
        out.left[i] += in.left[i] + wet * l[i];
        out.right[i] += in.right[i] + wet * r[i];
    }
}

// --- Arrangement ---

// Chord progressions: four chords, two bars each, as three notes and a bass root.
struct Chord {
    int notes[3];
    int root;
};
constexpr Chord kProgressions[4][4] = {
    // Am F C G
    {{{57, 60, 64}, 33}, {{57, 60, 65}, 29}, {{55, 60, 64}, 36}, {{55, 59, 62}, 31}},
    // Am Em F Dm
    {{{57, 60, 64}, 33}, {{55, 59, 64}, 28}, {{57, 60, 65}, 29}, {{57, 62, 65}, 26}},
    // F G Em Am
    {{{57, 60, 65}, 29}, {{55, 59, 62}, 31}, {{55, 59, 64}, 28}, {{57, 60, 64}, 33}},
    // Dm Am F G
    {{{57, 62, 65}, 26}, {{57, 60, 64}, 33}, {{57, 60, 65}, 29}, {{55, 59, 62}, 31}},
};

// Lead phrases over one chord (two bars): eighth-note step, length in eighths, chord tone
// (0..2, 3..5 an octave up).
struct LeadNote {
    int step, length, tone;
};
constexpr LeadNote kPhraseA[] = {{0, 3, 5}, {3, 1, 4},  {4, 2, 3}, {6, 2, 4},
                                 {8, 3, 2}, {11, 1, 3}, {12, 4, 1}};
constexpr LeadNote kPhraseB[] = {{0, 2, 3}, {2, 2, 4},  {4, 1, 5}, {5, 3, 4},
                                 {8, 2, 3}, {10, 2, 2}, {12, 3, 3}};

enum Parts : uint32_t {
    kKick = 1,
    kClap = 2,
    kHats = 4,
    kBass = 8,
    kPad = 16,
    kArp = 32,
    kLead = 64,
    kHalfTime = 128, // kick on beats 1 and 3 only, snare on 3
    kOpenHats = 256,
};

struct Section {
    double start, end; // demo seconds
    double anchor;     // a downbeat; the beat grid runs from it both ways
    int progression;
    uint32_t parts;
    double level;
};

// Sections in playing order; the Opening's drums and the Domino part's full arrangement
// come in later (see arrange()). The Cables section's beat grid runs through its first
// greeting beat, so that its 25 accents fall on the beat.
constexpr double kCablesGrid = kMusicAccents[0];
const Section kSections[] = {
    {0.0, 37.8, 0.0, 0, kPad | kArp | kKick | kHats | kBass, 0.85},
    {37.8, 67.8, 37.8, 0, kKick | kClap | kHats | kBass | kPad | kArp | kLead | kOpenHats, 1.0},
    {67.8, 97.8, kCablesGrid, 1, kKick | kClap | kHats | kBass | kPad | kArp | kOpenHats, 1.0},
    {97.8, 115.0, 97.8, 3, kPad | kArp | kLead | kHats, 1.0},
    {115.0, 159.0, 115.0, 0, kKick | kClap | kHats | kBass | kPad | kLead | kOpenHats, 1.0},
    {159.0, 189.0, 159.0, 1, kKick | kClap | kHats | kBass | kPad | kArp | kOpenHats, 1.0},
    {189.0, 219.0, 189.0, 2, kKick | kHalfTime | kHats | kBass | kPad | kArp | kLead, 0.9},
    {219.0, kMusicLength, 219.0, 2, kPad | kLead | kArp, 1.0},
};

int floorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

std::vector<double> mergedAccents() {
    std::vector<double> times(std::begin(kMusicAccents), std::end(kMusicAccents));
    std::sort(times.begin(), times.end());
    std::vector<double> merged;
    for (size_t i = 0; i < times.size();) {
        size_t j = i + 1;
        while (j < times.size() && times[j] - times[i] < kAccentMerge) {
            ++j;
        }
        merged.push_back((times[i] + times[j - 1]) / 2);
        i = j;
    }
    return merged;
}

bool nearAccent(const std::vector<double>& accents, double t, double distance) {
    return std::any_of(accents.begin(), accents.end(),
                       [&](double a) { return std::fabs(a - t) < distance; });
}

// Writes one section's bed (everything but the accents) into the buses.
void arrange(const Section& s, const std::vector<double>& accents, Bus& dry, Bus& wet) {
    const int firstBeat = int(std::ceil((s.start - s.anchor) / kBeat - 1e-9));
    const int lastBeat = int(std::floor((s.end - s.anchor) / kBeat - 1e-9));
    const bool opening = s.start == 0.0;
    const bool domino = s.start == kDominoStart;
    const bool end = s.start == kSceneStarts[7];
    for (int k = firstBeat; k <= lastBeat; ++k) {
        const double t = s.anchor + k * kBeat;
        const int bar = floorDiv(k, 4), inBar = k - bar * 4;
        const Chord& chord = kProgressions[s.progression][((floorDiv(bar, 2) % 4) + 4) % 4];
        uint32_t parts = s.parts;
        double level = s.level;
        if (opening) {
            // Pads alone, the arpeggio from the first logo, drums after the flashes.
            level *= std::min(1.0, t / 6.0 + 0.15);
            if (t < 5.0) {
                parts &= ~uint32_t(kArp);
            }
            if (t < 19.3) {
                parts &= ~uint32_t(kKick | kHats | kBass);
            }
        }
        if (domino && t < s.start + 16 * kBeat) {
            parts &= ~uint32_t(kLead | kClap);
        }
        if (end) {
            level *= std::clamp((kDemoLength - 1.0 - t) / 20.0, 0.0, 1.0);
            if (t > 231.0) {
                parts &= ~uint32_t(kLead);
            }
        }
        if (level <= 0) {
            continue;
        }
        const bool chordStart = inBar == 0 && floorDiv(bar, 2) * 2 == bar;
        if ((parts & kKick) && !nearAccent(accents, t, kKickClearance) &&
            (!(parts & kHalfTime) || inBar == 0 || inBar == 2)) {
            kick(dry, t, 0.9 * level);
        }
        if ((parts & kClap) && (inBar == 1 || inBar == 3)) {
            snare(dry, t, 0.32 * level, -0.15);
        }
        if ((parts & kHalfTime) && (parts & kKick) && inBar == 2) {
            snare(dry, t + 0.001, 0.3 * level, -0.15);
        }
        if (parts & kHats) {
            hat(dry, t + kBeat / 2, 0.22 * level, (parts & kOpenHats) && inBar == 3);
            hat(dry, t + kBeat / 4, 0.07 * level, false);
            hat(dry, t + 3 * kBeat / 4, 0.07 * level, false);
        }
        if (parts & kBass) {
            constexpr int kOctaves[8] = {0, 0, 12, 0, 0, 12, 0, 7};
            for (int e = 0; e < 2; ++e) {
                bass(dry, t + e * kBeat / 2, kBeat / 2 * 0.8, chord.root + kOctaves[inBar * 2 + e],
                     0.42 * level);
            }
        }
        if ((parts & kPad) && chordStart) {
            for (int note : chord.notes) {
                pad(dry, t, 8 * kBeat - 0.1, note, 0.07 * level);
            }
        }
        if (parts & kArp) {
            constexpr int kPattern[4] = {0, 1, 2, 1};
            for (int q = 0; q < 4; ++q) {
                const int step = inBar * 4 + q;
                const int tone = kPattern[q] + (step / 4 % 2 == 1 ? 3 : 0);
                const int note = chord.notes[tone % 3] + 12 * (tone / 3) + 12;
                pluck(wet, t + q * kBeat / 4, note, 0.05 * level, (q % 2 == 0) ? -0.4 : 0.4);
            }
        }
        if ((parts & kLead) && chordStart) {
            const bool second = (floorDiv(bar, 2) % 2) != 0;
            const LeadNote* phrase = second ? kPhraseB : kPhraseA;
            const size_t count = second ? std::size(kPhraseB) : std::size(kPhraseA);
            for (size_t n = 0; n < count; ++n) {
                const double at = t + phrase[n].step * kBeat / 2;
                if (at + phrase[n].length * kBeat / 2 > s.end) {
                    break;
                }
                const int note = chord.notes[phrase[n].tone % 3] + 12 * (phrase[n].tone / 3) + 12;
                lead(wet, at, phrase[n].length * kBeat / 2 * 0.9, note, 0.09 * level);
            }
        }
    }
    // A sweep into the next scene, except before the quiet Credits and at the very end.
    if (s.end < kDemoLength && s.end != kSceneStarts[3]) {
        riser(dry, s.end, 4 * kBeat, 0.5 * s.level);
    }
}

// The accents: kick, crash and snare, each hit's tail closing just before the next hit.
void accents(const std::vector<double>& times, Bus& bus) {
    // Every hit is the same sound, drawn once; its noise seeds depend on its start (0).
    Bus hit(size_t(2.0 * kRate));
    kick(hit, 0, 1.0);
    crash(hit, 0, 0.55);
    snare(hit, 0, 0.45, 0.1);
    for (size_t i = 0; i < times.size(); ++i) {
        const double a = times[i];
        const double next = i + 1 < times.size() ? times[i + 1] : 1e9;
        const auto first = size_t(std::lround(a * kRate));
        const size_t last = std::min(bus.frames(), first + hit.frames());
        for (size_t j = first; j < last; ++j) {
            const double x = double(j) / kRate - next;
            double g = 1;
            if (x >= -kDuckHold) {
                g = kDuckFloor;
            } else if (x >= -kDuckFall) {
                g = 1 - (1 - kDuckFloor) * (x + kDuckFall) / (kDuckFall - kDuckHold);
            }
            bus.left[j] += hit.left[j - first] * g;
            bus.right[j] += hit.right[j - first] * g;
        }
    }
}

// Gain of the bed around the accents: down to the floor just before each, back after.
std::vector<double> duckCurve(const std::vector<double>& times, size_t frames) {
    std::vector<double> g(frames, 1.0);
    for (double a : times) {
        const auto first = size_t(std::max(0.0, std::ceil((a - kDuckFall) * kRate)));
        const auto last = std::min(frames, size_t((a + kDuckRise) * kRate));
        for (size_t j = first; j < last; ++j) {
            const double x = double(j) / kRate - a;
            double d;
            if (x < -kDuckHold) {
                d = 1 - (1 - kDuckFloor) * (x + kDuckFall) / (kDuckFall - kDuckHold);
            } else if (x < 0) {
                d = kDuckFloor;
            } else {
                const double p = x / kDuckRise;
                d = kDuckFloor + (1 - kDuckFloor) * p * p;
            }
            g[j] = std::min(g[j], d);
        }
    }
    return g;
}

} // namespace

std::vector<int16_t> synthesiseMusic() {
    const auto frames = size_t(kMusicLength * kRate);
    Bus dry(frames), wet(frames), bed(frames), hits(frames);
    const std::vector<double> accentTimes = mergedAccents();
    for (const Section& s : kSections) {
        arrange(s, accentTimes, dry, wet);
    }
    // The Opening's five flashes get soft crashes of their own.
    for (double flash : {15.0, 16.6, 17.4, 18.0, 18.6}) {
        crash(dry, flash, flash == 15.0 ? 0.35 : 0.18);
    }
    echo(wet, bed, 0.75 * kBeat, 0.35, 0.45);
    for (size_t i = 0; i < frames; ++i) {
        bed.left[i] += dry.left[i];
        bed.right[i] += dry.right[i];
    }
    accents(accentTimes, hits);
    const std::vector<double> duck = duckCurve(accentTimes, frames);

    // Mix, fade the last seconds out to silence at the demo's end, and soft-clip below full
    // scale: the MP3 encoding overshoots sharp peaks by up to 3 dB.
    std::vector<int16_t> out(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        const double fade = std::clamp((kDemoLength - t) / 6.0, 0.0, 1.0);
        const double l = (bed.left[i] * duck[i] + hits.left[i]) * 0.9 * fade;
        const double r = (bed.right[i] * duck[i] + hits.right[i]) * 0.9 * fade;
        out[2 * i] = int16_t(std::lround(std::tanh(l) * 23500));
        out[2 * i + 1] = int16_t(std::lround(std::tanh(r) * 23500));
    }
    return out;
}

} // namespace datagen
