// The help layer: opens the program's help file with the desktop's handler.
// The file's content is not ours; we only find it and hand it over.
#pragma once

#include <string>

// The command that asks for the help file's contents and index.
inline constexpr int HELP_FINDER = 11;

class HelpFile {
public:
    void SetPath(const std::string& path) { path_ = path; }
    const std::string& Path() const { return path_; }

    // Opens the help file at a context (the desktop's handler has no notion of
    // contexts, so every context opens the file). False when the file is
    // missing or no handler took it; MissingText() then says why.
    bool ShowContext(int context);
    bool Command(int command, int data);

    // "Unable to find the help file <path>." — what the user is told.
    std::string MissingText() const;

private:
    bool Open();
    std::string path_;
};
