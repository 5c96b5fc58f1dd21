#include "shell/windows/message_boxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

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

void ShowRunSummary(const std::string& text, bool somethingLeft, const std::string& workDirectory) {
    if (!CanShowWindows()) {
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
        return;
    }
    QMessageBox box(somethingLeft ? QMessageBox::Warning : QMessageBox::Information,
                    QString::fromLatin1(ApplicationTitle), QString::fromLocal8Bit(text),
                    QMessageBox::Ok);
    QPushButton* open =
        box.addButton(QStringLiteral("&Open Work Directory"), QMessageBox::ActionRole);
    open->setObjectName("OpenWorkDirectoryButton");
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    if (box.clickedButton() == open)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(workDirectory)));
}

void WarnOfLibraryFailureAndExit(const std::string& message) {
    if (CanShowWindows())
        QMessageBox::warning(nullptr, QStringLiteral("Warning"), QString::fromLocal8Bit(message),
                             QMessageBox::Ok);
    else
        WarnOnStandardErrorAndExit(message);
    std::exit(1);
}
