#include "data_directory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}
} // namespace

std::string DataDirectoryFor(const char* zandrelHome, const char* xdgDataHome, const char* home) {
    if (IsSet(zandrelHome))
        return zandrelHome;
    // XDG base directories: a relative XDG_DATA_HOME is to be ignored.
    if (IsSet(xdgDataHome) && *xdgDataHome == '/')
        return (fs::path(xdgDataHome) / "zandrel").string();
    if (IsSet(home))
        return (fs::path(home) / ".local/share/zandrel").string();
    return {};
}

std::string DataDirectory() {
    const char* home = std::getenv("HOME");
    if (!IsSet(home))
        if (const passwd* user = ::getpwuid(::getuid()))
            home = user->pw_dir;
    return DataDirectoryFor(std::getenv("ZANDREL_HOME"), std::getenv("XDG_DATA_HOME"), home);
}

std::string EnterDataDirectory(const std::string& directory) {
    if (directory.empty())
        return "Unable to find a home directory for Zandrel's files; set ZANDREL_HOME";
    std::error_code ec;
    if (!fs::is_directory(directory, ec)) {
        const fs::path path(directory);
        if (path.has_parent_path())
            fs::create_directories(path.parent_path(), ec);
        if (!ec && fs::create_directory(path, ec))
            fs::permissions(path, fs::perms::owner_all, ec);
        if (ec || !fs::is_directory(directory))
            return "Unable to create directory " + directory +
                   (ec ? ": " + ec.message() : std::string());
    }
    fs::current_path(directory, ec);
    if (ec)
        return "Unable to change to directory " + directory + ": " + ec.message();
    return {};
}
