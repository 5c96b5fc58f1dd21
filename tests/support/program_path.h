// Where the built program and its libraries are: beside the test binary.
#pragma once

#include <filesystem>
#include <string>

inline std::string BuildBinDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

inline std::string ZandrelProgram() {
    return BuildBinDirectory() + "/zandrel";
}
