// Single-threaded frames per second (CPU time) of the MPEG video decoder, with and without the
// RGB output stage: a 720x576 8 Mbit/s and a 256x192 MPEG-2 stream with B pictures (made in /tmp
// with ffmpeg), the demo's data/ruen-draw.mpg when present, or the streams given as arguments.
// With ffmpeg installed, its own single-threaded decoding is timed too. Not a test: no limits.
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

// testsrc2 with temporal noise, so that most macroblocks carry coefficients as in real footage.
bool ensureStream(const std::string& path, const std::string& size, const std::string& rate) {
    if (std::ifstream(path).good())
        return true;
    const std::string cmd =
        "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=" + size +
        ":rate=25,noise=alls=6:allf=t+u -frames:v 100 -c:v mpeg2video " + "-b:v " + rate +
        " -bf 2 -g 12 -f mpeg2video " + path;
    return std::system(cmd.c_str()) == 0;
}

struct Result {
    int frames = 0;
    double seconds = 1e30;
};

// Best of kRuns full decodes from memory.
Result decodeRuns(const std::vector<uint8_t>& data, bool output) {
    Result best;
    for (int run = 0; run < kRuns; ++run) {
        mpeg::MpegDecoder decoder;
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

double ffmpegSeconds(const std::string& path) {
    double best = 1e30;
    const std::string cmd =
        "ffmpeg -hide_banner -loglevel error -threads 1 -i " + path + " -f null - >/dev/null 2>&1";
    for (int run = 0; run < kRuns; ++run) {
        const double start = childrenCpuSeconds();
        if (std::system(cmd.c_str()) != 0)
            return 0;
        best = std::min(best, childrenCpuSeconds() - start);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i)
        paths.push_back(argv[i]);
    const bool ffmpeg = haveFfmpeg();
    if (paths.empty()) {
        const char* const defaults[][3] = {{"/tmp/mpeg_bench_720x576_8M.m2v", "720x576", "8M"},
                                           {"/tmp/mpeg_bench_256x192_1M.m2v", "256x192", "1M"}};
        for (const auto& [path, size, rate] : defaults) {
            if (!(ffmpeg && ensureStream(path, size, rate)) && !std::ifstream(path).good()) {
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
    std::printf("%-32s %9s %7s %12s %12s %12s\n", "stream", "size", "frames", "decode fps",
                "+output fps", "ffmpeg fps");
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
        const Result plain = decodeRuns(data, false);
        const Result withOutput = decodeRuns(data, true);
        const double ff = ffmpeg ? ffmpegSeconds(path) : 0;
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", width, height);
        std::printf("%-32s %9s %7d %12.1f %12.1f ", path.c_str(), size, plain.frames,
                    plain.frames / plain.seconds, withOutput.frames / withOutput.seconds);
        if (ff > 0)
            std::printf("%12.1f\n", plain.frames / ff);
        else
            std::printf("%12s\n", "-");
    }
    return 0;
}
