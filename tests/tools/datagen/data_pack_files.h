// Paths into the committed data pack and whole-file reads, for the data-pack tests.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace datapack {

inline std::string dataPath(const std::string& name) {
    return std::string(DEMO_SOURCE_DIR) + "/data/" + name;
}

// The file's bytes; empty when it cannot be read.
inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace datapack
