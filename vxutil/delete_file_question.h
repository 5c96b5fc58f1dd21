// The question VxDeleteFileDialog asks, apart from the box so it can be checked.
#pragma once

#include "ascii.h"

#include <string>

// "Delete NAME?" with the file-name part of the path (after its last '/'),
// upper-cased in the letters a to z only.
inline std::string DeleteFileQuestion(const std::string& path) {
    const std::size_t separator = path.rfind('/');
    const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    return "Delete " + ascii::Upper(name) + "?";
}
