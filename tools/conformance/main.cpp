// conformance OUTDIR [--filter TEXT] [--data DIR] [--list]
// Brings the demo up headless (all scenes loaded, so every material is in the registry), then
// draws each case of the table into a 64 x 64 target on this build's device (OpenGL on Linux,
// Direct3D 8 on Windows) and writes OUTDIR/CASE.png. --filter keeps the cases whose name
// contains TEXT. scripts/conformance.sh compares the two builds' folders.
#include "demo/sequencer.h"
#include "platform/files.h"
#include "platform/png.h"
#include "platform/sound.h"
#include "platform/window.h"
#include "render/demo_host.h"
#include "scene/texture_registry.h"
#include "tools/conformance/cases.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

void usage(FILE* out) {
    std::fputs("Usage: conformance OUTDIR [--filter TEXT] [--data DIR] [--list]\n"
               "Draws every conformance case on this build's device and writes OUTDIR/CASE.png.\n"
               "  --filter TEXT   only the cases whose name contains TEXT\n"
               "  --data DIR      the data pack (default: data/ as the demo finds it)\n"
               "  --list          print the case names and exit\n",
               out);
}

// The materials of every scene, in the registry's order, as cases with unique names.
void addMaterialCases(std::vector<conformance::Case>* cases) {
    if (gRegistry == nullptr) {
        return;
    }
    std::set<std::string> names;
    for (NamedNode* n = gRegistry->materials.head; n != nullptr; n = n->next) {
        const Material* m = static_cast<const Material*>(n->item);
        if (m == nullptr || m->colours == nullptr || m->states == nullptr) {
            continue;
        }
        std::string name = n->key.name != nullptr ? n->key.name : "id" + std::to_string(n->key.id);
        conformance::Case c = conformance::materialCase(name, m);
        const std::string base = c.name;
        for (int i = 2; !names.insert(c.name).second; ++i) {
            c.name = base + "-" + std::to_string(i);
        }
        cases->push_back(std::move(c));
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string outDir, filter, dataDir;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if ((arg == "--filter" || arg == "--data") && i + 1 < argc) {
            (arg == "--filter" ? filter : dataDir) = argv[++i];
        } else if (arg == "--list") {
            list = true;
        } else if (!arg.empty() && arg[0] != '-' && outDir.empty()) {
            outDir = arg;
        } else {
            std::fprintf(stderr, "conformance: unexpected argument '%s'\n", arg.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (outDir.empty() && !list) {
        usage(stderr);
        return 2;
    }
    if (!dataDir.empty()) {
        platform::setDataDirectory(dataDir);
    }
    platform::setSoundMuted(true);

    HostOptions options;
    options.display = platform::DisplayMode::Headless;
    options.launch.headless = true;
    options.launch.backend = gfx::Backend::GlHeadless; // Direct3D 8 in the Windows build
    options.client = ClientHooks{clientInitialize, clientStart, clientStop, clientCleanup};
    DemoHost host(options);
    if (!host.ok()) {
        std::fprintf(stderr, "conformance: the demo did not start (%s)\n",
                     host.error().empty() ? "see above" : host.error().c_str());
        return 1;
    }

    std::vector<conformance::Case> cases = conformance::deviceCases();
    addMaterialCases(&cases);
    if (list) {
        for (const conformance::Case& c : cases) {
            std::printf("%s\n", c.name.c_str());
        }
        return 0;
    }

    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        std::fprintf(stderr, "conformance: cannot create %s: %s\n", outDir.c_str(),
                     ec.message().c_str());
        return 1;
    }
    conformance::Context ctx;
    ctx.dev = host.app()->device;
    std::string error;
    if (!conformance::prepare(ctx, &error)) {
        std::fprintf(stderr, "conformance: %s\n", error.c_str());
        return 1;
    }

    int written = 0, failed = 0;
    for (const conformance::Case& c : cases) {
        if (!filter.empty() && c.name.find(filter) == std::string::npos) {
            continue;
        }
        conformance::baseline(ctx);
        bool good = ctx.dev->beginScene() >= 0;
        good = c.draw(ctx) && good;
        ctx.dev->endScene();
        uint32_t w = 0, h = 0;
        std::string pixels;
        if (ctx.dev->readSurface(ctx.targetSurface.get(), &w, &h, &pixels) < 0) {
            std::fprintf(stderr, "conformance: %s: the target could not be read back\n",
                         c.name.c_str());
            ++failed;
            continue;
        }
        if (!good) {
            // The picture is still written: a refused call shows as a difference too.
            std::fprintf(stderr, "conformance: %s: a device call failed\n", c.name.c_str());
            ++failed;
        }
        const std::string path = outDir + "/" + c.name + ".png";
        if (!platform::writePngBgra(path, reinterpret_cast<const uint8_t*>(pixels.data()), w, h,
                                    &error)) {
            std::fprintf(stderr, "conformance: %s\n", error.c_str());
            return 1;
        }
        ++written;
    }
    // The device state the scenes expect is gone; nothing plays after this.
    std::fprintf(stderr, "conformance: %d case(s) written to %s, %d with a failed call\n", written,
                 outDir.c_str(), failed);
    return failed == 0 ? 0 : 1;
}
