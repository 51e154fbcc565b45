// Single-threaded frames per second (CPU time) of the MPEG video decoder, with and without the
// RGB output stage, with the SIMD and with the plain kernels: a 720x576 6 Mbit/s MPEG-2 stream of
// 1000 frames and a 256x192 one of 3000 frames, both with B pictures and noise, and a clean
// 720x576 2 Mbit/s one of 1000 frames, mostly skipped macroblocks (made in /tmp with ffmpeg),
// the demo's data/ruen-draw.mpg when present, or the streams given as arguments. Then whole
// processes on one core, CPU time: `mpegdecode IN /dev/null` against `mpeg2dec -o null IN`
// (Debian package mpeg2dec) and `ffmpeg -threads 1 -i IN -f null -` where they are installed,
// with the ratio of their time to ours (above 1: ours is faster). Not a test: no limits.
#include "media/mpeg/decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

// Figures are CPU time, best of kRuns, so that other load on the machine does not count.
double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

double childrenCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

constexpr int kRuns = 5;

bool haveFfmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

bool haveMpeg2dec() {
    return std::system("command -v mpeg2dec >/dev/null 2>&1") == 0;
}

// testsrc2 with temporal noise, so that most macroblocks carry coefficients as in real footage;
// or clean (noisy false), with longer groups and three B pictures, so that most macroblocks are
// predicted without coefficients or skipped, as in still or slow scenes.
bool ensureStream(const std::string& path, const std::string& size, const std::string& rate,
                  const std::string& frames, bool noisy) {
    if (std::ifstream(path).good())
        return true;
    const std::string cmd =
        "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=" + size + ":rate=25" +
        (noisy ? ",noise=alls=6:allf=t+u" : "") + " -frames:v " + frames +
        " -c:v mpeg2video -b:v " + rate + (noisy ? " -bf 2 -g 12" : " -bf 3 -g 30") +
        " -f mpeg2video " + path;
    return std::system(cmd.c_str()) == 0;
}

struct Result {
    int frames = 0;
    double seconds = 1e30;
};

// Best of kRuns full decodes from memory.
Result decodeRuns(const std::vector<uint8_t>& data, bool output, bool plainKernels) {
    Result best;
    for (int run = 0; run < kRuns; ++run) {
        mpeg::MpegDecoder decoder;
        decoder.setPlainKernels(plainKernels);
        const double start = threadCpuSeconds();
        if (decoder.openMemory(data) == 0)
            return {};
        std::vector<uint32_t> pixels(size_t(decoder.videoWidth()) * decoder.videoHeight());
        decoder.setOutput(pixels.data(), output);
        while (decoder.decodeNextPicture() == 0) {
        }
        decoder.close();
        const double s = threadCpuSeconds() - start;
        best.frames = decoder.framesWritten();
        best.seconds = std::min(best.seconds, s);
    }
    return best;
}

// CPU time of a command run to completion on one core (core 0 where taskset is installed); 0
// when it fails.
double processSeconds(const std::string& command) {
    static const bool taskset = std::system("command -v taskset >/dev/null 2>&1") == 0;
    const std::string cmd = (taskset ? "taskset -c 0 " : "") + command + " >/dev/null 2>&1";
    const double start = childrenCpuSeconds();
    if (std::system(cmd.c_str()) != 0)
        return 0;
    return childrenCpuSeconds() - start;
}

// Best of kRuns CPU times of each command (0 for an empty one or one that fails), the commands
// taking turns, so that load from elsewhere on the machine falls on all of them alike.
std::vector<double> interleavedSeconds(const std::vector<std::string>& commands) {
    std::vector<double> best(commands.size(), 1e30);
    for (int run = 0; run < kRuns; ++run)
        for (size_t i = 0; i < commands.size(); ++i)
            if (best[i] > 0)
                best[i] = commands[i].empty() ? 0 : std::min(best[i], processSeconds(commands[i]));
    return best;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i)
        paths.push_back(argv[i]);
    const bool ffmpeg = haveFfmpeg();
    const bool mpeg2dec = haveMpeg2dec();
    if (paths.empty()) {
        struct Default {
            const char *path, *size, *rate, *frames;
            bool noisy;
        };
        const Default defaults[] = {
            {"/tmp/mpeg_bench_720x576_6M_1000.m2v", "720x576", "6M", "1000", true},
            {"/tmp/mpeg_bench_256x192_1M_3000.m2v", "256x192", "1M", "3000", true},
            {"/tmp/mpeg_bench_720x576_2M_clean_1000.m2v", "720x576", "2M", "1000", false}};
        for (const auto& [path, size, rate, frames, noisy] : defaults) {
            if (!(ffmpeg && ensureStream(path, size, rate, frames, noisy)) &&
                !std::ifstream(path).good()) {
                std::printf("skipping %s: no stream and no ffmpeg to make one\n", path);
                continue;
            }
            paths.push_back(path);
        }
        // The demo's own video, when the data pack is present.
        const std::string demoVideo = std::string(DEMO_SOURCE_DIR) + "/data/ruen-draw.mpg";
        if (std::ifstream(demoVideo).good())
            paths.push_back(demoVideo);
    }
    std::printf("kernels: %s\n", mpeg::haveAvx2Kernels()   ? "SSE2 and AVX2"
                                 : mpeg::haveSimdKernels() ? "SSE2"
                                                           : "plain only");
    if (!mpeg2dec)
        std::printf("mpeg2dec not installed (bench/mpeg/install-comparison.sh or apt-get install "
                    "mpeg2dec): no comparison with it\n");
    if (!ffmpeg)
        std::printf("ffmpeg not installed: no comparison with it\n");
    std::printf("\nIn process, frames per second of CPU time:\n");
    std::printf("%-44s %9s %7s %10s %10s %10s %10s\n", "stream", "size", "frames", "decode",
                "+output", "plain", "plain+out");
    struct Stream {
        std::string path;
        int frames;
    };
    std::vector<Stream> streams;
    for (const std::string& path : paths) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> data{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};
        mpeg::MpegDecoder probe;
        const int width = probe.openMemory(data);
        const int height = probe.videoHeight();
        if (width == 0) {
            std::printf("%s: not a video stream\n", path.c_str());
            continue;
        }
        const Result simd = decodeRuns(data, false, false);
        const Result simdOutput = decodeRuns(data, true, false);
        const Result plain = decodeRuns(data, false, true);
        const Result plainOutput = decodeRuns(data, true, true);
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", width, height);
        std::printf("%-44s %9s %7d %10.1f %10.1f %10.1f %10.1f\n", path.c_str(), size, simd.frames,
                    simd.frames / simd.seconds, simdOutput.frames / simdOutput.seconds,
                    plain.frames / plain.seconds, plainOutput.frames / plainOutput.seconds);
        streams.push_back({path, simd.frames});
    }

    std::printf("\nWhole process on one core, seconds of CPU time, best of %d with the decoders "
                "taking turns (ratio: theirs / ours):\n",
                kRuns);
    std::printf("%-44s %10s %10s %7s %10s %7s\n", "stream", "mpegdecode", "mpeg2dec", "ratio",
                "ffmpeg", "ratio");
    for (const Stream& s : streams) {
        const std::vector<double> t = interleavedSeconds(
            {std::string(MPEGDECODE) + " " + s.path + " /dev/null",
             mpeg2dec ? "mpeg2dec -o null " + s.path : "",
             ffmpeg ? "ffmpeg -hide_banner -loglevel error -threads 1 -i " + s.path + " -f null -"
                    : ""});
        const double ours = t[0], libmpeg2 = t[1], ff = t[2];
        std::printf("%-44s %10.3f ", s.path.c_str(), ours);
        if (libmpeg2 > 0 && ours > 0)
            std::printf("%10.3f %7.2f ", libmpeg2, libmpeg2 / ours);
        else
            std::printf("%10s %7s ", "-", "-");
        if (ff > 0 && ours > 0)
            std::printf("%10.3f %7.2f\n", ff, ff / ours);
        else
            std::printf("%10s %7s\n", "-", "-");
    }
    return 0;
}
