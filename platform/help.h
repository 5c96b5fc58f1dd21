// The help layer: opens the program's help with the desktop's handler. A
// help file ZANDREL.HLP in the start directory is opened as it is, whatever
// the context; without one, the context's page of the HTML manual that comes
// with the program.
#pragma once

#include <QUrl>

#include <functional>
#include <string>

// The command that asks for the help file's contents and index.
inline constexpr int HELP_FINDER = 11;

// Help contexts of the windows: each opens its own page of the manual.
inline constexpr int MainWindowHelpContext = 1;
inline constexpr int SettingsHelpContext = 4;
inline constexpr int GroupHelpContext = 8; // the find and newsgroup settings dialogs

// The manual's folder where the program finds it: installed, in the data
// folder beside the program's bin folder; in a build tree, the copy the
// build puts at the same place relative to bin/.
std::string InstalledManualDirectory();

class HelpFile {
public:
    // Hands the address to the desktop; true when a handler took it.
    using Opener = std::function<bool(const QUrl&)>;

    HelpFile();

    // The help file looked for first (ZANDREL.HLP in the start directory).
    void SetPath(const std::string& path) { path_ = path; }
    const std::string& Path() const { return path_; }
    void SetManualDirectory(const std::string& directory) { manualDirectory_ = directory; }
    // Tests take the address here instead of starting a browser.
    void SetOpener(Opener opener) { opener_ = std::move(opener); }

    // What a context or a command would open: the help file when it exists,
    // else the manual's page for it; empty when neither is there.
    QUrl UrlForContext(int context) const;
    QUrl UrlForCommand(int command, int data) const;

    // Opens what UrlForContext / UrlForCommand name. False when there is
    // nothing to open or no handler took it; MissingText() then says why.
    bool ShowContext(int context);
    bool Command(int command, int data);

    // "Unable to find the help file <path>." — what the user is told.
    std::string MissingText() const;

private:
    QUrl UrlForPage(const char* page) const;
    bool Open(const QUrl& url);
    std::string path_;
    std::string manualDirectory_;
    Opener opener_;
};
