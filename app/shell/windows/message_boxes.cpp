#include "shell/windows/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace {
constexpr const char* UnattendedProperty = "unattended";

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

bool Unattended() {
    auto* app = QCoreApplication::instance();
    return app && app->property(UnattendedProperty).toBool();
}

void SetUnattended(bool unattended) {
    if (auto* app = QCoreApplication::instance())
        app->setProperty(UnattendedProperty, unattended);
}

void ShowErrorBox(const std::string& text) {
    ShowBox(QMessageBox::Critical, text);
}

void ShowWarningBox(const std::string& text) {
    ShowBox(QMessageBox::Warning, text);
}
