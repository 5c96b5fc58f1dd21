// Path building and directory emptying.
#include "vxutil.h"

#include <filesystem>
#include <vector>

namespace {
constexpr char PathSeparator = '/';
}

extern "C" {

std::string VxSlashIt(const std::string& path) {
    // An empty directory setting stays empty, so names built on it stay
    // relative instead of landing in the root directory.
    if (path.empty() || path.back() == PathSeparator)
        return path;
    return path + PathSeparator;
}

void VxEmptyDirectory(const std::string& directory) {
    // Never the current directory by accident: an empty setting empties nothing.
    if (directory.empty())
        return;

    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error))
        names.push_back(it->path().filename().string());

    // Sub-directories go too: a crafted reply packet can leave one, and a
    // leftover must not break every later run. A link is removed as a link,
    // so nothing outside the directory is touched. Failures are skipped
    // without a word.
    const std::string prefix = VxSlashIt(directory);
    for (const std::string& name : names) {
        std::error_code ignored;
        std::filesystem::remove_all(prefix + name, ignored);
    }
}

} // extern "C"
