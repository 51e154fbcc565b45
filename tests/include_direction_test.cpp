// The layering, checked on the sources: every #include "..." line of every source file in the
// library folders must name a file of its own layer or of a lower one (README.md, "Layout"),
// and only platform/ may include the SDL, OpenGL, EGL, FreeType or SDL_mixer headers, nor the
// Windows ones (windows.h, mmsystem.h, Direct3D 8, mpg123) of the Windows back ends. The
// check itself is tried on a small made-up tree with a lower folder including a higher one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Layers, lowest first. A folder may include its own layer and the ones below. The codecs are
// leaf libraries: they include nothing of ours but themselves.
struct Layer {
    const char* folder; // relative to the source root, '/' separated
    int rank;
    bool leaf;
};
const Layer kLayers[] = {
    {"media/jpeg", 0, true}, {"media/mpeg", 0, true}, {"platform", 1, false}, {"app", 2, false},
    {"scene", 3, false},     {"render", 4, false},    {"media", 5, false},    {"demo", 6, false},
};
// The entry point lives in app/ but is built into the program, above every layer.
const char* const kEntryPoint = "app/main.cpp";

// The layer of a path relative to the source root: the longest folder that holds it.
const Layer* layerOf(const std::string& path) {
    const Layer* best = nullptr;
    for (const Layer& layer : kLayers) {
        const std::string prefix = std::string(layer.folder) + "/";
        if (path.compare(0, prefix.size(), prefix) == 0 &&
            (best == nullptr ||
             std::string(layer.folder).size() > std::string(best->folder).size())) {
            best = &layer;
        }
    }
    return best;
}

bool isSource(const fs::path& p) {
    const std::string ext = p.extension().string();
    return ext == ".cpp" || ext == ".h" || ext == ".hpp" || ext == ".cc";
}

// One finding per offending line: "file:line: includes X (why)".
std::vector<std::string> violations(const fs::path& root) {
    static const std::regex quoted(R"re(^\s*#\s*include\s*"([^"]+)")re");
    static const std::regex foreign(
        R"re(^\s*#\s*include\s*[<"](SDL[^>"]*|GL/[^>"]*|EGL/[^>"]*|ft2build\.h|freetype/[^>"]*|[Ww]indows\.h|mmsystem\.h|d3d8[^>"]*|mpg123\.h)[>"])re");
    std::vector<std::string> found;
    for (const Layer& layer : kLayers) {
        const fs::path dir = root / layer.folder;
        if (!fs::is_directory(dir)) {
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            if (!entry.is_regular_file() || !isSource(entry.path())) {
                continue;
            }
            const std::string rel = fs::relative(entry.path(), root).generic_string();
            const Layer* own = layerOf(rel);
            if (own != &layer || rel == kEntryPoint) {
                continue; // a file of a nested layer is checked as that layer's
            }
            std::ifstream in(entry.path());
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                std::smatch m;
                const std::string where = rel + ":" + std::to_string(number) + ": includes ";
                if (std::regex_search(line, m, foreign) && std::string(own->folder) != "platform") {
                    found.push_back(where + m[1].str() + " (only platform/ may)");
                }
                if (!std::regex_search(line, m, quoted)) {
                    continue;
                }
                const std::string target = m[1].str();
                const Layer* other = layerOf(target);
                if (other == nullptr || other == own) {
                    continue; // a system or same-layer header
                }
                if (own->leaf) {
                    found.push_back(where + target + " (" + own->folder + " is a leaf library)");
                } else if (other->rank > own->rank) {
                    found.push_back(where + target + " (" + other->folder + " is above " +
                                    own->folder + ")");
                }
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) {
        out += l + "\n";
    }
    return out;
}

TEST(Layering, NoFolderIncludesAHigherOne) {
    const std::vector<std::string> found = violations(DEMO_SOURCE_DIR);
    EXPECT_TRUE(found.empty()) << joined(found);
}

TEST(Layering, EverySourceFolderIsALayer) {
    // A new top-level source folder must be placed in the list above (and in the README).
    for (const char* folder : {"platform", "app", "scene", "render", "media", "demo"}) {
        EXPECT_TRUE(fs::is_directory(fs::path(DEMO_SOURCE_DIR) / folder)) << folder;
    }
}

class MadeUpTree : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("layering-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
    }
    void TearDown() override { fs::remove_all(root); }
    void write(const std::string& rel, const std::string& text) {
        fs::create_directories((root / rel).parent_path());
        std::ofstream(root / rel) << text;
    }
    fs::path root;
};

TEST_F(MadeUpTree, DownwardIncludesPass) {
    write("demo/part.cpp", "#include \"render/render_driver.h\"\n#include \"app/demo_app.h\"\n");
    write("render/text.cpp", "#include \"scene/camera.h\"\n#include <vector>\n");
    write("media/video.cpp", "#include \"media/mpeg/decoder.h\"\n#include \"scene/image.h\"\n");
    write("app/main.cpp", "#include \"demo/sequencer.h\"\n"); // the entry point
    write("platform/window.cpp", "#include <SDL.h>\n");
    write("platform/window_win32.cpp", "#include <windows.h>\n#include <d3d8.h>\n");
    EXPECT_TRUE(violations(root).empty()) << joined(violations(root));
}

TEST_F(MadeUpTree, UpwardIncludesAreReportedWithTheirLine) {
    write("app/demo_app.cpp",
          "// shell\n#include \"app/demo_app.h\"\n#include \"render/render_driver.h\"\n");
    write("scene/particles.cpp", "  #  include \"demo/sequencer.h\"\n");
    write("media/mpeg/decoder.cpp", "#include \"platform/files.h\"\n");
    write("render/text.cpp", "#include <SDL.h>\n#include \"GL/gl.h\"\n");
    write("scene/image.cpp", "#include <windows.h>\n#include <mpg123.h>\n");
    EXPECT_EQ(violations(root),
              (std::vector<std::string>{
                  "app/demo_app.cpp:3: includes render/render_driver.h (render is above app)",
                  "media/mpeg/decoder.cpp:1: includes platform/files.h (media/mpeg is a leaf "
                  "library)",
                  "render/text.cpp:1: includes SDL.h (only platform/ may)",
                  "render/text.cpp:2: includes GL/gl.h (only platform/ may)",
                  "scene/image.cpp:1: includes windows.h (only platform/ may)",
                  "scene/image.cpp:2: includes mpg123.h (only platform/ may)",
                  "scene/particles.cpp:1: includes demo/sequencer.h (demo is above scene)",
              }));
}

} // namespace
