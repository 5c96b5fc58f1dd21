// The program's own boxes: errors raised by a command and warnings. A batch
// run must never wait for a person, so there they go to standard error.
#pragma once

#include <exception>
#include <string>

// The application title every box carries.
inline constexpr const char* ApplicationTitle = "Zandrel";

// True in a batch run (the application carries the "unattended" property).
bool Unattended();
void SetUnattended(bool unattended);

// The error box the application shows for an exception that ends a command.
void ShowErrorBox(const std::string& text);
void ShowWarningBox(const std::string& text);

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
