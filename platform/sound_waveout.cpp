// Sound on Windows: a whole file decoded by mpg123 to 16-bit stereo at the mixing rate and
// played through one waveOut stream. No audio device (or muted): initialisation fails and
// every later call does nothing, so the demo runs silently. One sample plays at a time, which
// is all the demo asks (its music).
#include "platform/sound.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mmsystem.h>

#include <mpg123.h>

#include <memory>

namespace platform {

struct SoundSample {
    std::vector<int16_t> pcm; // interleaved stereo at the mixing rate
    WAVEHDR header{};
    bool prepared = false;
};

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
    // Any input becomes 16-bit stereo at the asked rate (mpg123 resamples when it must).
    mpg123_param(h.get(), MPG123_FLAGS, MPG123_FORCE_STEREO | MPG123_QUIET, 0.0);
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

int soundPlay(int, SoundSample* sample) {
    if (device == nullptr || sample == nullptr) {
        return -1;
    }
    waveOutReset(device);
    if (sample->prepared) {
        waveOutUnprepareHeader(device, &sample->header, sizeof(WAVEHDR));
        sample->prepared = false;
    }
    sample->header = WAVEHDR{};
    sample->header.lpData = reinterpret_cast<LPSTR>(sample->pcm.data());
    sample->header.dwBufferLength = DWORD(sample->pcm.size() * sizeof(int16_t));
    if (waveOutPrepareHeader(device, &sample->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        lastError = "the audio device refused the sample";
        return -1;
    }
    sample->prepared = true;
    if (waveOutWrite(device, &sample->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        lastError = "the audio device refused to play";
        return -1;
    }
    return 0;
}

void soundSampleFree(SoundSample* sample) {
    if (sample == nullptr) {
        return;
    }
    if (device != nullptr && sample->prepared) {
        waveOutReset(device);
        waveOutUnprepareHeader(device, &sample->header, sizeof(WAVEHDR));
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
