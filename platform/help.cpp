#include "help.h"

#include "dynamic_library.h"

#include <QDesktopServices>

#include <filesystem>

namespace {
bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// The manual's page for each context; an unknown one gets the contents.
constexpr const char* ContentsPage = "index.html";
const char* PageForContext(int context) {
    switch (context) {
    case MainWindowHelpContext:
        return "main-window.html";
    case SettingsHelpContext:
        return "settings.html";
    case GroupHelpContext:
        return "newsgroups.html";
    default:
        return ContentsPage;
    }
}
} // namespace

std::string InstalledManualDirectory() {
    const std::string program = ProgramDirectory();
    if (program.empty())
        return {};
    std::error_code ec;
    const auto manual = std::filesystem::weakly_canonical(
        std::filesystem::path(program) / ZANDREL_PROGRAM_TO_MANUAL, ec);
    return ec ? std::string() : manual.string();
}

HelpFile::HelpFile()
    : manualDirectory_(InstalledManualDirectory()),
      opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

QUrl HelpFile::UrlForPage(const char* page) const {
    if (IsRegularFile(path_))
        return QUrl::fromLocalFile(QString::fromLocal8Bit(path_));
    if (manualDirectory_.empty())
        return {};
    const std::string file = manualDirectory_ + "/" + page;
    if (!IsRegularFile(file))
        return {};
    return QUrl::fromLocalFile(QString::fromLocal8Bit(file));
}

QUrl HelpFile::UrlForContext(int context) const {
    return UrlForPage(PageForContext(context));
}

QUrl HelpFile::UrlForCommand(int /*command*/, int /*data*/) const {
    // The only command asked for is the finder: the contents.
    return UrlForPage(ContentsPage);
}

bool HelpFile::Open(const QUrl& url) {
    return !url.isEmpty() && opener_(url);
}

bool HelpFile::ShowContext(int context) {
    return Open(UrlForContext(context));
}

bool HelpFile::Command(int command, int data) {
    return Open(UrlForCommand(command, data));
}

std::string HelpFile::MissingText() const {
    if (!IsRegularFile(path_) && UrlForPage(ContentsPage).isEmpty())
        return "Unable to find the help file " + path_ + ".";
    return "No program is set up to open the help file " +
           (IsRegularFile(path_) ? path_ : manualDirectory_ + "/" + ContentsPage) + ".";
}
