// Sound on Windows: a whole file decoded by mpg123 to 16-bit stereo at the mixing rate and
// played through one waveOut stream. No audio device (or muted): initialisation fails and
// every later call does nothing, so the demo runs silently. One sample plays at a time, which
// is all the demo asks (its music).
#include "platform/sound.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mmsystem.h>

#include <mpg123.h>

#include <cmath>
#include <memory>

namespace platform {

struct SoundSample {
    std::vector<int16_t> pcm; // interleaved stereo at the mixing rate
    WAVEHDR header{};
    bool prepared = false;
};

namespace {
// The one channel: what plays and from where (seconds into the sample), -1 when nothing.
SoundSample* playing = nullptr;
double playingFrom = -1.0;
} // namespace

namespace {

HWAVEOUT device = nullptr;
int deviceRate = 44100;
bool muted = false;
std::string lastError;

struct HandleDeleter {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};

bool decodeMp3(const char* path, int rate, std::vector<int16_t>* out) {
    out->clear();
    static const bool ready = mpg123_init() == MPG123_OK;
    if (!ready) {
        lastError = "mpg123 could not start";
        return false;
    }
    int err = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleDeleter> h(mpg123_new(nullptr, &err));
    if (!h) {
        lastError = mpg123_plain_strerror(err);
        return false;
    }
    // Any input becomes 16-bit stereo at the asked rate (mpg123 resamples when it must). The
    // flags are added to the defaults, which keep gapless decoding: the encoder's delay and
    // padding are cut, so the music starts on time.
    mpg123_param(h.get(), MPG123_ADD_FLAGS, MPG123_FORCE_STEREO | MPG123_QUIET, 0.0);
    mpg123_format_none(h.get());
    if (mpg123_format(h.get(), rate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open(h.get(), path) != MPG123_OK) {
        lastError = std::string("cannot open ") + path + ": " + mpg123_strerror(h.get());
        return false;
    }
    std::vector<unsigned char> chunk(1 << 16);
    for (;;) {
        size_t done = 0;
        int r = mpg123_read(h.get(), chunk.data(), chunk.size(), &done);
        const auto* pcm = reinterpret_cast<const int16_t*>(chunk.data());
        out->insert(out->end(), pcm, pcm + done / 2);
        if (r == MPG123_DONE) {
            break;
        }
        if (r == MPG123_NEW_FORMAT || r == MPG123_OK) {
            continue;
        }
        lastError = std::string("cannot decode ") + path + ": " + mpg123_strerror(h.get());
        out->clear();
        return false;
    }
    if (out->empty()) {
        lastError = std::string("no audio in ") + path;
        return false;
    }
    out->resize(out->size() & ~size_t(1));
    return true;
}

} // namespace

bool soundInit(int mixRate, int, uint32_t) {
    lastError.clear();
    if (muted) {
        return false; // silent on purpose: nothing to report
    }
    if (device != nullptr) {
        return true;
    }
    if (mixRate <= 0) {
        lastError = "no mixing rate";
        return false;
    }
    if (waveOutGetNumDevs() == 0) {
        lastError = "no audio device";
        return false;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(mixRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    MMRESULT r = waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (r != MMSYSERR_NOERROR) {
        device = nullptr;
        char text[MAXERRORLENGTH] = "";
        waveOutGetErrorTextA(r, text, sizeof text);
        lastError = std::string("the audio device cannot be opened: ") + text;
        return false;
    }
    deviceRate = mixRate;
    return true;
}

void soundClose() {
    if (device == nullptr) {
        return;
    }
    if (playing != nullptr && playing->prepared) {
        waveOutReset(device);
        waveOutUnprepareHeader(device, &playing->header, sizeof(WAVEHDR));
        playing->prepared = false;
    }
    playing = nullptr;
    playingFrom = -1.0;
    waveOutReset(device);
    waveOutClose(device);
    device = nullptr;
}

void setSoundMuted(bool mute) {
    muted = mute;
}
const std::string& soundError() {
    return lastError;
}

SoundSample* soundSampleLoad(int, const char* path, uint32_t, int, int) {
    if (device == nullptr || path == nullptr) {
        return nullptr;
    }
    auto sample = std::make_unique<SoundSample>();
    if (!decodeMp3(path, deviceRate, &sample->pcm)) {
        return nullptr;
    }
    return sample.release();
}

namespace {

// Stops the stream and plays the sample from a whole stereo frame on.
bool playFrom(SoundSample* sample, size_t frame) {
    waveOutReset(device);
    if (sample->prepared) {
        waveOutUnprepareHeader(device, &sample->header, sizeof(WAVEHDR));
        sample->prepared = false;
    }
    playing = nullptr;
    playingFrom = -1.0;
    const size_t frames = sample->pcm.size() / 2;
    if (frame >= frames) {
        return false;
    }
    sample->header = WAVEHDR{};
    sample->header.lpData = reinterpret_cast<LPSTR>(sample->pcm.data() + frame * 2);
    sample->header.dwBufferLength = DWORD((frames - frame) * 2 * sizeof(int16_t));
    if (waveOutPrepareHeader(device, &sample->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        lastError = "the audio device refused the sample";
        return false;
    }
    sample->prepared = true;
    if (waveOutWrite(device, &sample->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        lastError = "the audio device refused to play";
        return false;
    }
    playing = sample;
    playingFrom = double(frame) / deviceRate;
    return true;
}

} // namespace

int soundPlay(int, SoundSample* sample) {
    if (device == nullptr || sample == nullptr) {
        return -1;
    }
    return playFrom(sample, 0) ? 0 : -1;
}

bool soundSetPosition(int channel, double seconds) {
    if (device == nullptr || channel != 0 || playing == nullptr || !std::isfinite(seconds) ||
        seconds < 0.0) {
        return false;
    }
    const double frame = std::floor(seconds * deviceRate);
    if (frame >= double(playing->pcm.size() / 2)) {
        playFrom(playing, playing->pcm.size()); // stops: nothing left from there
        return false;
    }
    return playFrom(playing, size_t(frame));
}

double soundStartPosition(int channel) {
    return channel == 0 && playing != nullptr ? playingFrom : -1.0;
}

void soundSampleFree(SoundSample* sample) {
    if (sample == nullptr) {
        return;
    }
    if (device != nullptr && sample->prepared) {
        waveOutReset(device);
        waveOutUnprepareHeader(device, &sample->header, sizeof(WAVEHDR));
    }
    if (playing == sample) {
        playing = nullptr;
        playingFrom = -1.0;
    }
    delete sample;
}

bool soundDecodeFile(const char* path, int rate, std::vector<int16_t>* samples) {
    samples->clear();
    if (path == nullptr || rate <= 0) {
        lastError = "no file or no rate";
        return false;
    }
    return decodeMp3(path, rate, samples);
}

} // namespace platform
