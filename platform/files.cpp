#include "platform/files.h"

#include <filesystem>
#include <system_error>

namespace platform {

namespace {

std::string& configured() {
    static std::string directory;
    return directory;
}

bool isDirectory(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_directory(p, ec);
}

} // namespace

void setDataDirectory(const std::string& directory) {
    configured() = directory;
}

const std::string& dataDirectory() {
    std::string& dir = configured();
    if (dir.empty()) {
        std::filesystem::path exeDir = executableDirectory();
        if (!exeDir.empty() && isDirectory(exeDir / "data")) {
            dir = (exeDir / "data").string();
        } else if (!exeDir.empty() && isDirectory(exeDir.parent_path() / "data")) {
            dir = (exeDir.parent_path() / "data").string();
        } else {
            dir = "data";
        }
    }
    return dir;
}

std::string resolveDataPath(const char* name) {
    if (name == nullptr) {
        return std::string();
    }
    std::string path(name);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (!path.empty() && (path[0] == '/' || std::filesystem::path(path).is_absolute())) {
        return path;
    }
    if (path.rfind("data/", 0) == 0) {
        path.erase(0, 5);
    }
    return dataDirectory() + "/" + path;
}

} // namespace platform
