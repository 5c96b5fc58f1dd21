#include "shell/windows/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include "archive/dyna_zip.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool CanShowWindows() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr && !Unattended();
}

void ShowBox(QMessageBox::Icon icon, const std::string& text) {
    if (!CanShowWindows()) {
        std::fprintf(stderr, "%s: %s\n", ApplicationTitle, text.c_str());
        std::fflush(stderr);
        return;
    }
    QMessageBox box(icon, QString::fromLatin1(ApplicationTitle), QString::fromLocal8Bit(text),
                    QMessageBox::Ok);
    box.exec();
}
} // namespace

void ShowErrorBox(const std::string& text) {
    ShowBox(QMessageBox::Critical, text);
}

void WarnOfLibraryFailureAndExit(const std::string& message) {
    if (CanShowWindows())
        QMessageBox::warning(nullptr, QStringLiteral("Warning"), QString::fromLocal8Bit(message),
                             QMessageBox::Ok);
    else
        WarnOnStandardErrorAndExit(message);
    std::exit(1);
}
