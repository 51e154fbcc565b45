// The music as the demo decodes it: its accents are sharp onsets at the scenes' beat times,
// its groove runs at 130 beats a minute, and the accent table agrees with the scenes.
#include "platform/sound.h"
#include "tools/datagen/data_pack_files.h"
#include "tools/datagen/music_accents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;

// Short-window power of the decoded music, high-passed so that hits stand out of the pads.
class Onsets {
public:
    explicit Onsets(const std::vector<int16_t>& stereo) : sum_(stereo.size() / 2 + 1, 0.0) {
        double previous = 0;
        for (size_t i = 0; i + 1 < stereo.size(); i += 2) {
            const double mono = (double(stereo[i]) + stereo[i + 1]) / 65536.0;
            const double high = mono - previous;
            previous = mono;
            sum_[i / 2 + 1] = sum_[i / 2] + high * high;
        }
    }
    // Mean power over [a, b) seconds.
    double power(double a, double b) const {
        const auto i = size_t(std::clamp(a * kRate, 0.0, double(sum_.size() - 1)));
        const auto j = size_t(std::clamp(b * kRate, 0.0, double(sum_.size() - 1)));
        return j > i ? (sum_[j] - sum_[i]) / double(j - i) : 0.0;
    }
    // Rise in decibels at t: the next 4 ms against the 20 ms before.
    double rise(double t) const {
        return 10 * std::log10((power(t, t + 0.004) + 1e-12) / (power(t - 0.02, t) + 1e-12));
    }
    // The steepest rise within `window` seconds of t: where and how much.
    std::pair<double, double> strongestRise(double t, double window) const {
        double best = -1e9, at = t;
        for (double s = t - window; s <= t + window; s += 0.00025) {
            const double r = rise(s);
            if (r > best) {
                best = r;
                at = s;
            }
        }
        return {at, best};
    }

private:
    std::vector<double> sum_;
};

const std::vector<int16_t>& decodedMusic() {
    static const std::vector<int16_t> samples = [] {
        std::vector<int16_t> s;
        platform::soundDecodeFile(datapack::dataPath("music.mp3").c_str(), kRate, &s);
        return s;
    }();
    return samples;
}

TEST(DataPackMusic, EveryAccentIsASharpOnsetAtItsBeatTime) {
    ASSERT_GE(decodedMusic().size(), size_t(2 * kRate * 250)) << platform::soundError();
    const Onsets onsets(decodedMusic());
    for (double accent : datagen::kMusicAccents) {
        // The steepest rise around the accent, searched no closer to another accent than
        // halfway (accents that sound as one hit aside).
        double window = 0.05;
        for (double other : datagen::kMusicAccents) {
            const double gap = std::fabs(other - accent);
            if (gap >= datagen::kAccentMerge) {
                window = std::min(window, gap / 2);
            }
        }
        const auto [at, rise] = onsets.strongestRise(accent, window);
        std::printf("accent %8.3f s: onset %+6.1f ms, rise %4.1f dB\n", accent,
                    (at - accent) * 1000, rise);
        EXPECT_NEAR(at, accent, 0.015) << "accent at " << accent << " s";
        EXPECT_GE(rise, 12.0) << "accent at " << accent << " s";
    }
}

TEST(DataPackMusic, GrooveRunsAt130BeatsAMinute) {
    const Onsets onsets(decodedMusic());
    // Onset envelope of the Second part's section in 5 ms frames, then the lag between
    // 0.3 and 0.8 s at which it best matches itself.
    constexpr double kFrame = 0.005;
    std::vector<double> envelope;
    for (double t = 38.0; t < 67.0; t += kFrame) {
        envelope.push_back(std::max(0.0, onsets.rise(t)));
    }
    double bestScore = -1;
    size_t bestLag = 0;
    for (auto lag = size_t(0.3 / kFrame); lag <= size_t(0.8 / kFrame); ++lag) {
        double score = 0;
        for (size_t i = 0; i + lag < envelope.size(); ++i) {
            score += envelope[i] * envelope[i + lag];
        }
        score /= double(envelope.size() - lag);
        if (score > bestScore) {
            bestScore = score;
            bestLag = lag;
        }
    }
    EXPECT_NEAR(double(bestLag) * kFrame, 60.0 / 130, 0.006);
}

// The numbers of a float array initialiser `name[...] = {...}` in a demo source file.
std::vector<double> arrayInSource(const std::string& file, const std::string& name) {
    const std::string source = datapack::readText(std::string(DEMO_SOURCE_DIR) + "/demo/" + file);
    const size_t at = source.find(name + "[");
    const size_t open = source.find('{', at);
    const size_t close = source.find('}', open);
    std::vector<double> values;
    if (at == std::string::npos || open == std::string::npos || close == std::string::npos) {
        return values;
    }
    const std::string body = source.substr(open + 1, close - open - 1);
    const std::regex number(R"([0-9]+\.[0-9]+)");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), number);
         it != std::sregex_iterator(); ++it) {
        values.push_back(std::stod(it->str()));
    }
    return values;
}

bool inAccentTable(double t) {
    return std::any_of(std::begin(datagen::kMusicAccents), std::end(datagen::kMusicAccents),
                       [&](double a) { return std::fabs(a - t) < 1e-5; });
}

TEST(DataPackMusic, AccentTableHoldsEveryBeatTheScenesUse) {
    // Scene starts from the part list's durations.
    const std::string sequencer =
        datapack::readText(std::string(DEMO_SOURCE_DIR) + "/demo/sequencer.cpp");
    const std::regex entry(R"re(\{"[^"]+",\s*([0-9.]+)f,)re");
    std::vector<double> starts;
    double sum = 0;
    for (auto it = std::sregex_iterator(sequencer.begin(), sequencer.end(), entry);
         it != std::sregex_iterator(); ++it) {
        starts.push_back(sum);
        sum += std::stod((*it)[1].str());
    }
    ASSERT_EQ(starts.size(), std::size(datagen::kSceneStarts));
    for (size_t i = 0; i < starts.size(); ++i) {
        EXPECT_NEAR(starts[i], datagen::kSceneStarts[i], 1e-9) << "scene " << i;
    }
    EXPECT_NEAR(sum, datagen::kDemoLength, 1e-9);

    struct SceneBeats {
        const char* file;
        const char* array;
        double start;
        size_t count;
    };
    const SceneBeats beats[] = {
        {"cables.cpp", "kBeatTimes", datagen::kCablesStart, 25},
        {"domino.cpp", "kFlashTimes", datagen::kDominoStart, 7},
        {"domino.cpp", "kPulseTimes", datagen::kDominoStart, 6},
        {"koch.cpp", "kFlashes", datagen::kKochStart, 5},
    };
    size_t total = 0;
    for (const SceneBeats& b : beats) {
        const std::vector<double> local = arrayInSource(b.file, b.array);
        EXPECT_EQ(local.size(), b.count) << b.file << " " << b.array;
        for (double t : local) {
            EXPECT_TRUE(inAccentTable(b.start + t)) << b.array << " " << t;
        }
        total += local.size();
    }
    EXPECT_EQ(total, std::size(datagen::kMusicAccents));
}

} // namespace
