#include "platform/sound.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>

namespace platform {

struct SoundSample {
    Mix_Chunk* chunk;
};

namespace {

// The audio back ends print their own complaints on stderr when there is no device; the
// caller gets one line from us instead, so keep stderr quiet while the mixer opens.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = dup(2);
        int devNull = ::open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && devNull >= 0) {
            dup2(devNull, 2);
        }
        if (devNull >= 0) {
            ::close(devNull);
        }
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, 2);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

bool opened = false;
bool muted = false;
std::string lastError;

// What each channel was started with. A channel moved into its sample plays `part`, a chunk
// that borrows the sample's samples from that point on.
struct ChannelStart {
    SoundSample* sample = nullptr;
    Mix_Chunk* part = nullptr;
    double seconds = 0.0;
};
std::map<int, ChannelStart> starts;

void forgetStart(std::map<int, ChannelStart>::iterator it) {
    if (it->second.part != nullptr) {
        Mix_FreeChunk(it->second.part); // the samples stay with the whole chunk
    }
    starts.erase(it);
}

// Halts every channel and forgets what they played (the parts go with it).
void haltAll() {
    Mix_HaltChannel(-1);
    while (!starts.empty()) {
        forgetStart(starts.begin());
    }
}
} // namespace

bool soundInit(int mixRate, int channels, uint32_t) {
    lastError.clear();
    if (muted) {
        return false; // silent on purpose: nothing to report
    }
    if (opened) {
        return true;
    }
    QuietStderr quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        lastError = SDL_GetError();
        return false;
    }
    Mix_Init(MIX_INIT_MP3);
    if (Mix_OpenAudio(mixRate, AUDIO_S16SYS, 2, 2048) != 0) {
        lastError = Mix_GetError();
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    Mix_AllocateChannels(channels);
    opened = true;
    return true;
}

void soundClose() {
    if (!opened) {
        return;
    }
    haltAll();
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    opened = false;
}

void setSoundMuted(bool mute) {
    muted = mute;
}
const std::string& soundError() {
    return lastError;
}

SoundSample* soundSampleLoad(int, const char* path, uint32_t, int, int) {
    if (!opened || path == nullptr) {
        return nullptr;
    }
    Mix_Chunk* chunk = Mix_LoadWAV(path);
    if (chunk == nullptr) {
        lastError = Mix_GetError();
        return nullptr;
    }
    return new SoundSample{chunk};
}

int soundPlay(int channel, SoundSample* sample) {
    if (!opened || sample == nullptr) {
        return -1;
    }
    const int playing = Mix_PlayChannel(channel, sample->chunk, 0);
    if (playing >= 0) {
        if (auto it = starts.find(playing); it != starts.end()) {
            forgetStart(it); // the channel no longer plays the old part
        }
        starts[playing] = ChannelStart{sample, nullptr, 0.0};
    }
    return playing;
}

bool soundSetPosition(int channel, double seconds) {
    auto it = starts.find(channel);
    if (!opened || it == starts.end() || !std::isfinite(seconds) || seconds < 0.0) {
        return false;
    }
    int rate = 0, channels = 0;
    uint16_t format = 0;
    Mix_QuerySpec(&rate, &format, &channels);
    const Mix_Chunk* whole = it->second.sample->chunk;
    const uint64_t frameBytes = uint64_t(channels) * (SDL_AUDIO_BITSIZE(format) / 8);
    const double frame = std::floor(seconds * rate);
    const uint64_t frames = frameBytes != 0 ? whole->alen / frameBytes : 0;
    SoundSample* sample = it->second.sample;
    Mix_HaltChannel(channel);
    forgetStart(it);
    if (rate <= 0 || frame >= double(frames)) {
        return false; // nothing left to play from there
    }
    const uint64_t offset = uint64_t(frame) * frameBytes;
    Mix_Chunk* part = Mix_QuickLoad_RAW(whole->abuf + offset, uint32_t(whole->alen - offset));
    if (part == nullptr) {
        lastError = Mix_GetError();
        return false;
    }
    if (Mix_PlayChannel(channel, part, 0) < 0) {
        lastError = Mix_GetError();
        Mix_FreeChunk(part);
        return false;
    }
    starts[channel] = ChannelStart{sample, part, frame / rate};
    return true;
}

double soundStartPosition(int channel) {
    auto it = starts.find(channel);
    return it != starts.end() ? it->second.seconds : -1.0;
}

void soundSampleFree(SoundSample* sample) {
    if (sample == nullptr) {
        return;
    }
    if (opened) {
        haltAll();
    }
    Mix_FreeChunk(sample->chunk);
    delete sample;
}

bool soundDecodeFile(const char* path, int rate, std::vector<int16_t>* samples) {
    samples->clear();
    bool openedHere = false;
    if (!opened) {
        // Decoding needs an open mixer; the dummy driver gives one without any device.
        QuietStderr quiet;
        const char* previous = SDL_GetHint(SDL_HINT_AUDIODRIVER);
        std::string saved = previous != nullptr ? previous : "";
        SDL_SetHint(SDL_HINT_AUDIODRIVER, "dummy");
        bool up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 &&
                  Mix_OpenAudio(rate, AUDIO_S16SYS, 2, 2048) == 0;
        SDL_SetHint(SDL_HINT_AUDIODRIVER, previous != nullptr ? saved.c_str() : nullptr);
        if (!up) {
            lastError = SDL_GetError();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        Mix_Init(MIX_INIT_MP3);
        openedHere = true;
    }
    int actualRate = 0, channels = 0;
    uint16_t format = 0;
    Mix_QuerySpec(&actualRate, &format, &channels);
    bool ok = false;
    if (actualRate == rate && format == AUDIO_S16SYS && channels == 2) {
        if (Mix_Chunk* chunk = Mix_LoadWAV(path)) {
            const auto* pcm = reinterpret_cast<const int16_t*>(chunk->abuf);
            samples->assign(pcm, pcm + chunk->alen / 2);
            Mix_FreeChunk(chunk);
            ok = true;
        } else {
            lastError = Mix_GetError();
        }
    } else {
        lastError = "the mixer runs at another rate or format";
    }
    if (openedHere) {
        Mix_CloseAudio();
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    return ok;
}

} // namespace platform
