#include "help.h"

#include <QDesktopServices>
#include <QUrl>

#include <filesystem>

bool HelpFile::Open() {
    std::error_code ec;
    if (path_.empty() || !std::filesystem::is_regular_file(path_, ec))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(path_)));
}

bool HelpFile::ShowContext(int /*context*/) {
    return Open();
}

bool HelpFile::Command(int /*command*/, int /*data*/) {
    return Open();
}

std::string HelpFile::MissingText() const {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path_, ec))
        return "Unable to find the help file " + path_ + ".";
    return "No program is set up to open the help file " + path_ + ".";
}
