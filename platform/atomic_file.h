// Replacing a file so that it is either the old file or the whole new one,
// never a torn mixture: the new bytes go to a file beside it, are flushed to
// disk, and only then renamed over the old name.
#pragma once

#include <string>
#include <string_view>

struct AtomicWriteResult {
    enum Outcome {
        Replaced,      // the file now holds exactly the new contents
        CannotCreate,  // no new file could be made beside the old one
        WriteFailed,   // writing, flushing or closing the new file failed
        CannotReplace, // the new file could not take the old one's name
    };
    Outcome outcome = Replaced;
    std::string error; // the system's reason, empty when Replaced

    bool ok() const { return outcome == Replaced; }
};

// Writes contents to path through a temporary file in the same directory. On
// any failure the temporary file is removed and path is left as it was. A
// symbolic link is followed, so the file it names is replaced, not the link;
// an existing file keeps its permission bits.
AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view contents);

// The same guarantee for a file another writer made: flushes the finished
// file at temporaryPath to disk and renames it over path. On failure the
// temporary file is removed and path is left as it was.
AtomicWriteResult MoveFileIntoPlace(const std::string& temporaryPath, const std::string& path);
