// The music's timing, shared by the synthesiser and the data-pack tests: tempo, the scene
// cuts the sections follow, and every accent (a kick, crash and clap on a clean onset) in
// absolute demo seconds, each a scene's own beat time plus that scene's start.
#pragma once

namespace datagen {

// 130 beats a minute.
inline constexpr double kMusicBeat = 60.0 / 130.0;
// The track is a little longer than the demo, so the decoder never runs dry at the end.
inline constexpr double kMusicLength = 251.0;
inline constexpr double kDemoLength = 250.0;

// Where each scene starts: the part list's durations summed in playing order.
inline constexpr double kSceneStarts[8] = {0.0, 37.8, 67.8, 97.8, 115.0, 159.0, 189.0, 219.0};
inline constexpr double kCablesStart = kSceneStarts[2];
inline constexpr double kDominoStart = kSceneStarts[4];
inline constexpr double kKochStart = kSceneStarts[5];

// Every accent: the Cables part's 25 beats, the Domino rally's seven flashes and six
// picture pulses, the Koch part's five flashes. Local times are the scenes' single-precision
// constants written out in full.
inline constexpr double kMusicAccents[] = {
    // Cables and greetings: the greeting beats.
    kCablesStart + 18.144009,
    kCablesStart + 18.615002,
    kCablesStart + 19.073002,
    kCablesStart + 19.566006,
    kCablesStart + 20.047009,
    kCablesStart + 20.494007,
    kCablesStart + 20.918003,
    kCablesStart + 21.449001,
    kCablesStart + 21.906002,
    kCablesStart + 22.329006,
    kCablesStart + 22.787006,
    kCablesStart + 23.245007,
    kCablesStart + 23.740002,
    kCablesStart + 24.163006,
    kCablesStart + 24.657001,
    kCablesStart + 25.116009,
    kCablesStart + 25.574009,
    kCablesStart + 25.997005,
    kCablesStart + 26.456005,
    kCablesStart + 26.950008,
    kCablesStart + 27.443005,
    kCablesStart + 27.902004,
    kCablesStart + 28.327007,
    kCablesStart + 28.795002,
    kCablesStart + 29.238003,
    // Domino rally: the white flashes.
    kDominoStart + 33.055007934570312,
    kDominoStart + 33.406005859375,
    kDominoStart + 33.723007202148438,
    kDominoStart + 37.402008056640625,
    kDominoStart + 40.273010253906250,
    kDominoStart + 40.752014160156250,
    kDominoStart + 41.126014709472656,
    // Domino rally: the picture's pulses.
    kDominoStart + 33.730010986328125,
    kDominoStart + 34.447006225585938,
    kDominoStart + 37.446014404296875,
    kDominoStart + 38.164001464843750,
    kDominoStart + 41.126007080078125,
    kDominoStart + 41.854003906250000,
    // Koch surface: the white flashes.
    kKochStart + 11.905014,
    kKochStart + 15.629013,
    kKochStart + 19.180008,
    kKochStart + 23.013016,
    kKochStart + 26.659012,
};

// Accents closer than this sound as one hit, halfway between them.
inline constexpr double kAccentMerge = 0.02;

} // namespace datagen
