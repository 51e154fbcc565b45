// The file layer: names filed by the scenes keep their backslashes ("data\wood.jpg"); only
// here are they turned into paths on disk, resolved against the data directory.
#pragma once

#include <string>

namespace platform {

// The data directory: set explicitly (--data), else data/ beside the executable, else
// data/ one level above it (a build folder inside the source tree), else ./data.
void setDataDirectory(const std::string& directory);
const std::string& dataDirectory();

// "data\wood.jpg" -> "<data directory>/wood.jpg". Names without a leading "data" folder are
// taken relative to the data directory as well; absolute paths stay as they are.
std::string resolveDataPath(const char* name);

// The folder of the running executable (empty when unknown).
std::string executableDirectory();

} // namespace platform
