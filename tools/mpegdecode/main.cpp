// mpegdecode: decodes an MPEG-1/MPEG-2 video stream (elementary or system/program stream) to raw
// planar YUV at the stream's chroma format, or to 32-bit BGRA with --rgb, in display order, one
// frame per coded frame (repeat_first_field repeats nothing). With --enhancement, IN is the base
// layer of a scalable pair and the frames written are the enhancement layer's. Audio and other
// streams are ignored.
#include "media/mpeg/decoder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
// No gathered write on Windows: the same pieces go out through stdio one after another.
struct iovec {
    void* iov_base;
    size_t iov_len;
};
#else
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace {

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: mpegdecode [options] IN OUT\n"
                 "Decodes the video of IN and writes every frame in display order to OUT.\n"
                 "  --rgb             write 32-bit pixels (bytes B,G,R,0) instead of planar YUV\n"
                 "  --frames N        stop after N frames\n"
                 "  --reference-idct  use the double-precision inverse DCT\n"
                 "  --plain-kernels   use the plain kernels instead of the SIMD ones (same\n"
                 "                    output; MPEG_PLAIN_KERNELS=1 in the environment too)\n"
                 "  --enhancement E   E is the enhancement layer of IN (SNR or spatial\n"
                 "                    scalability) or partition 1 of a data-partitioned IN\n"
                 "  --verbose         print the decoder's diagnostics\n"
                 "  --help            show this text\n");
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

#ifndef _WIN32
// Writes every byte of the iovecs, resuming after short writes.
bool writeAll(int fd, std::vector<iovec>& parts) {
    size_t first = 0;
    while (first < parts.size()) {
        const int count = static_cast<int>(std::min<size_t>(parts.size() - first, IOV_MAX));
        ssize_t n = ::writev(fd, parts.data() + first, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        while (n > 0 && first < parts.size()) {
            const size_t take = std::min<size_t>(static_cast<size_t>(n), parts[first].iov_len);
            parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + take;
            parts[first].iov_len -= take;
            n -= static_cast<ssize_t>(take);
            if (parts[first].iov_len == 0)
                ++first;
        }
    }
    return true;
}
#endif

// One frame's planes, row by row, in one gathered write: no copy through a stdio buffer.
bool writeFrame(FILE* out, const mpeg::FrameView& f, std::vector<iovec>& parts) {
    parts.clear();
    for (const mpeg::PlaneView* p : {&f.y, &f.cb, &f.cr})
        for (int y = 0; y < p->height; ++y) {
            uint8_t* row = const_cast<uint8_t*>(p->data + y * p->stride);
            const size_t n = static_cast<size_t>(p->width);
            // Rows that follow each other in memory (uncropped planes) go out as one piece.
            if (!parts.empty() &&
                static_cast<uint8_t*>(parts.back().iov_base) + parts.back().iov_len == row)
                parts.back().iov_len += n;
            else
                parts.push_back({row, n});
        }
#ifdef _WIN32
    for (const iovec& part : parts)
        if (std::fwrite(part.iov_base, 1, part.iov_len, out) != part.iov_len)
            return false;
    return true;
#else
    return std::fflush(out) == 0 && writeAll(fileno(out), parts);
#endif
}

} // namespace

int main(int argc, char** argv) {
    bool rgb = false, referenceIdct = false, plainKernels = false, verbose = false;
    long maxFrames = -1;
    const char* enhancement = nullptr;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            usage(stdout);
            return 0;
        } else if (!std::strcmp(a, "--rgb")) {
            rgb = true;
        } else if (!std::strcmp(a, "--reference-idct")) {
            referenceIdct = true;
        } else if (!std::strcmp(a, "--plain-kernels")) {
            plainKernels = true;
        } else if (!std::strcmp(a, "--verbose")) {
            verbose = true;
        } else if (!std::strcmp(a, "--enhancement")) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "mpegdecode: --enhancement needs a file\n");
                return 2;
            }
            enhancement = argv[++i];
        } else if (!std::strcmp(a, "--frames")) {
            char* end = nullptr;
            if (i + 1 >= argc || (maxFrames = std::strtol(argv[++i], &end, 10)) < 0 || *end) {
                std::fprintf(stderr, "mpegdecode: --frames needs a non-negative number\n");
                return 2;
            }
        } else if (a[0] == '-' && a[1] != '\0') {
            std::fprintf(stderr, "mpegdecode: unknown option %s\n", a);
            usage(stderr);
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) {
        std::fprintf(stderr, "mpegdecode: need an input and an output file\n");
        usage(stderr);
        return 2;
    }

    mpeg::MpegDecoder decoder;
    decoder.setQuiet(!verbose);
    decoder.setReferenceIdct(referenceIdct);
    decoder.setPlainKernels(plainKernels);
    if (decoder.open(files[0], enhancement) == 0) {
        if (!decoder.errorText().empty())
            std::fprintf(stderr, "mpegdecode: %s", decoder.errorText().c_str());
        else
            std::fprintf(stderr, "mpegdecode: %s: no video sequence header found\n", files[0]);
        return 1;
    }
    if (!decoder.errorText().empty()) // a missing enhancement layer: the base layer alone
        std::fprintf(stderr, "mpegdecode: %s", decoder.errorText().c_str());
    else if (enhancement && decoder.scalability() < 0)
        std::fprintf(stderr, "mpegdecode: %s is no enhancement layer of %s; decoding %s alone\n",
                     enhancement, files[0], files[0]);
    std::unique_ptr<FILE, FileCloser> out(std::fopen(files[1], "wb"));
    if (!out) {
        std::fprintf(stderr, "mpegdecode: cannot create %s\n", files[1]);
        return 1;
    }

    const int width = decoder.videoWidth(), height = decoder.videoHeight();
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    long frames = 0;
    bool ok = true;
    std::vector<iovec> parts;
    if (rgb) {
        decoder.setOutput(pixels.data(), true);
    } else {
        decoder.setFrameCallback([&](const mpeg::FrameView& f) {
            if (maxFrames >= 0 && frames >= maxFrames)
                return;
            ok = ok && writeFrame(out.get(), f, parts);
            ++frames;
        });
    }
    auto flushRgb = [&](int before) {
        if (rgb && decoder.framesWritten() != before && (maxFrames < 0 || frames < maxFrames)) {
            ok = ok && std::fwrite(pixels.data(), 4, pixels.size(), out.get()) == pixels.size();
            ++frames;
        }
    };
    while (maxFrames < 0 || frames < maxFrames) {
        const int before = decoder.framesWritten();
        const int ended = decoder.decodeNextPicture();
        flushRgb(before);
        if (ended)
            break;
    }
    const int chroma = decoder.chromaFormat();
    const int mode = decoder.scalability();
    const int before = decoder.framesWritten();
    decoder.close();
    flushRgb(before);
    if (!ok) {
        std::fprintf(stderr, "mpegdecode: error writing %s\n", files[1]);
        return 1;
    }
    static const char* const kScalability[] = {"", " data partitioning", " spatial", " SNR"};
    std::printf("%dx%d %s%s %ld frames\n", width, height,
                chroma == 1   ? "4:2:0"
                : chroma == 2 ? "4:2:2"
                              : "4:4:4",
                mode >= 0 && mode <= 2 ? kScalability[mode + 1] : "", frames);
    return 0;
}
