// A shared library loaded at run time, and the address of one of its symbols.
#pragma once

#include <string>

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads fileName from the directory of the running program first, then
    // along the system's usual search. False when neither finds it.
    bool Load(const std::string& fileName);
    bool IsLoaded() const { return handle_ != nullptr; }
    // The symbol's address, or null when the library lacks it or is not loaded.
    void* Symbol(const std::string& name) const;
    void Unload();
    // The loader's reason for the last failure, for diagnostics.
    const std::string& LastError() const { return lastError_; }

private:
    void* handle_ = nullptr;
    std::string lastError_;
};

// The directory that holds the running program, with no trailing separator;
// empty when it cannot be found.
std::string ProgramDirectory();

// The folder of the program's own libraries once it is installed
// (<prefix>/lib/.../zandrel beside <prefix>/bin); empty when the program's
// directory cannot be found.
std::string PrivateLibraryDirectory();

// True for a program installed with its libraries in their private folder;
// false in a build tree, where they sit beside it.
bool RunsInstalled();
