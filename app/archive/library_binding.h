// How a component kind finds its library's entry point: one address per
// kind, shared by every component of that kind while any of them lives.
#pragma once

#include "archive/dyna_zip.h"
#include "dynamic_library.h"

#include <string>

struct LibraryBinding {
    const char* fileName;
    const char* entryName;
    void* entry = nullptr;
    int components = 0;

    // Loads the library into library and looks the entry point up. A missing
    // library or entry point goes to the library failure handler.
    void Attach(DynamicLibrary& library) {
        ++components;
        if (!library.Load(fileName)) {
            ReportLibraryFailure(std::string("Could not load ") + fileName + "!");
            return;
        }
        void* found = library.Symbol(entryName);
        if (found == nullptr) {
            ReportLibraryFailure(std::string("Could not load ") + entryName + " function!");
            return;
        }
        if (entry == nullptr)
            entry = found;
    }

    // The last component of the kind forgets the entry point before its
    // library is unloaded.
    void Detach() {
        if (--components == 0)
            entry = nullptr;
    }
};
