// imgcompare: compares two PNG pictures pixel by pixel and prints one line,
//   within 99.973% psnr 41.20 max 12 pass
// (pixels whose every colour channel is within the tolerance, PSNR in dB, largest channel
// difference, and whether enough pixels are within). Exit status 0 pass, 1 fail, 2 error.
// Used by scripts/conformance.sh and scripts/crosscheck.sh.
#include "platform/png.h"
#include "tools/conformance/image_compare.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void usage(FILE* out) {
    std::fputs("Usage: imgcompare [OPTIONS] A.png B.png\n"
               "  --tolerance N        largest channel difference that counts as equal (2)\n"
               "  --min-fraction F     share of pixels that must be equal to pass (0.999)\n"
               "  --mask X0,Y0,X1,Y1   leave this rectangle out (repeatable)\n"
               "  --side-by-side OUT   write A | B | difference as a PNG\n"
               "  --difference OUT     write the difference picture as a PNG\n",
               out);
}

bool load(const std::string& path, conformance::Picture* p) {
    std::string error;
    if (!platform::readPngBgra(path, &p->bgra, &p->width, &p->height, &error)) {
        std::fprintf(stderr, "imgcompare: %s\n", error.c_str());
        return false;
    }
    return true;
}

bool save(const std::string& path, const conformance::Picture& p) {
    std::string error;
    if (!platform::writePngBgra(path, reinterpret_cast<const uint8_t*>(p.bgra.data()), p.width,
                                p.height, &error)) {
        std::fprintf(stderr, "imgcompare: %s\n", error.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int tolerance = 2;
    double minFraction = 0.999;
    std::vector<conformance::MaskRect> masks;
    std::string sideBySidePath, differencePath;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--tolerance" && hasValue) {
            char* end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || v < 0 || v > 255) {
                std::fprintf(stderr, "imgcompare: --tolerance takes 0 to 255\n");
                return 2;
            }
            tolerance = int(v);
        } else if (arg == "--min-fraction" && hasValue) {
            char* end = nullptr;
            minFraction = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(minFraction >= 0.0 && minFraction <= 1.0)) {
                std::fprintf(stderr, "imgcompare: --min-fraction takes 0 to 1\n");
                return 2;
            }
        } else if (arg == "--mask" && hasValue) {
            conformance::MaskRect m{};
            if (!conformance::parseMask(argv[++i], &m)) {
                std::fprintf(stderr, "imgcompare: --mask takes X0,Y0,X1,Y1, not '%s'\n", argv[i]);
                return 2;
            }
            masks.push_back(m);
        } else if (arg == "--side-by-side" && hasValue) {
            sideBySidePath = argv[++i];
        } else if (arg == "--difference" && hasValue) {
            differencePath = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "imgcompare: unknown option or missing value: %s\n", arg.c_str());
            usage(stderr);
            return 2;
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.size() != 2) {
        usage(stderr);
        return 2;
    }
    conformance::Picture a, b;
    if (!load(inputs[0], &a) || !load(inputs[1], &b)) {
        return 2;
    }
    conformance::Comparison c;
    std::string error;
    if (!conformance::compare(a, b, tolerance, masks, &c, &error)) {
        std::fprintf(stderr, "imgcompare: %s: %s\n", inputs[1].c_str(), error.c_str());
        return 2;
    }
    const bool pass = conformance::passes(c, minFraction);
    std::printf("within %.3f%% psnr %.2f max %d %s\n", c.fractionWithin * 100.0, c.psnr,
                c.maxDifference, pass ? "pass" : "fail");
    if (!sideBySidePath.empty() &&
        !save(sideBySidePath, conformance::sideBySide(a, b, tolerance, masks))) {
        return 2;
    }
    if (!differencePath.empty() &&
        !save(differencePath, conformance::difference(a, b, tolerance, masks))) {
        return 2;
    }
    return pass ? 0 : 1;
}
