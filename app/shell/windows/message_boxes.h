// The program's own boxes: errors raised by a command and warnings. A batch
// run must never wait for a person, so there they go to standard error.
#pragma once

#include "unattended.h"

#include <exception>
#include <string>

// The application title every box carries.
inline constexpr const char* ApplicationTitle = "Zandrel";

// The error box the application shows for an exception that ends a command.
void ShowErrorBox(const std::string& text);

// What a command came to, with a button that opens the Work Directory in the
// desktop's file manager; a warning when something was left undone.
void ShowRunSummary(const std::string& text, bool somethingLeft, const std::string& workDirectory);

// The library failure handler of the program: a warning box (standard error
// in a batch run) and the end of the program with exit code 1.
[[noreturn]] void WarnOfLibraryFailureAndExit(const std::string& message);

// Runs a command; an exception that escapes it is shown in the error box and
// the program goes on, as the application's default handler does.
template <typename Command> bool RunGuarded(Command&& command) {
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox("Unexpected error");
    }
    return false;
}
