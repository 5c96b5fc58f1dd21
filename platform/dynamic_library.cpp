#include "dynamic_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>
#include <utility>

std::string ProgramDirectory() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return program.parent_path().string();
}

std::string PrivateLibraryDirectory() {
    const std::string program = ProgramDirectory();
    if (program.empty())
        return {};
    return program + "/" + ZANDREL_PROGRAM_TO_LIBDIR;
}

bool RunsInstalled() {
    const std::string libraries = PrivateLibraryDirectory();
    std::error_code error;
    return !libraries.empty() && std::filesystem::is_directory(libraries, error);
}

DynamicLibrary::~DynamicLibrary() {
    Unload();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), lastError_(std::move(other.lastError_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Unload();
        handle_ = std::exchange(other.handle_, nullptr);
        lastError_ = std::move(other.lastError_);
    }
    return *this;
}

bool DynamicLibrary::Load(const std::string& fileName) {
    Unload();
    // The libraries that ship with the program sit beside it; a copy found
    // elsewhere on the search path must not win over them.
    // Installed, they live in the program's private library folder.
    if (fileName.find('/') == std::string::npos)
        for (const std::string& directory : {ProgramDirectory(), PrivateLibraryDirectory()})
            if (!directory.empty()) {
                handle_ = dlopen((directory + "/" + fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
                if (handle_ != nullptr)
                    return true;
            }
    handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        lastError_ = reason != nullptr ? reason : "cannot load " + fileName;
        return false;
    }
    return true;
}

void* DynamicLibrary::Symbol(const std::string& name) const {
    if (handle_ == nullptr)
        return nullptr;
    return dlsym(handle_, name.c_str());
}

void DynamicLibrary::Unload() {
    if (handle_ != nullptr)
        dlclose(handle_);
    handle_ = nullptr;
}
