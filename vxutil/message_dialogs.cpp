// The library's message boxes: a Yes/No question, an information notice and a
// confirmed file deletion. Boxes have no parent window.
#include "delete_file_question.h"
#include "vxutil.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

// A batch run, or a process without a window system, must never wait for a
// person: its boxes go to standard error and answer at once.
bool MustNotWaitForAPerson() {
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (application == nullptr)
        return true;
    if (application->property("unattended").toBool())
        return true;
    // A box can only be shown from the thread that runs the windows.
    return QThread::currentThread() != application->thread();
}

// The texts reach the box as zero-terminated strings, so they end at their
// first zero byte.
std::string UpToFirstZero(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

void WriteToStandardError(const std::string& message, const std::string& caption) {
    const std::string line = UpToFirstZero(caption) + ": " + UpToFirstZero(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

QMessageBox::StandardButton ShowBox(QMessageBox::Icon icon, const std::string& message,
                                    const std::string& caption,
                                    QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QString::fromLocal8Bit(UpToFirstZero(caption)),
                    QString::fromLocal8Bit(UpToFirstZero(message)), buttons);
    // The texts are newsgroup names and file names, never markup.
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

extern "C" {

bool VxYesNoDialog(const std::string& message, const std::string& caption) {
    if (MustNotWaitForAPerson()) {
        WriteToStandardError(message, caption);
        return false;
    }
    return ShowBox(QMessageBox::Question, message, caption, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void VxInfoDialog(const std::string& message, const std::string& caption) {
    if (MustNotWaitForAPerson()) {
        WriteToStandardError(message, caption);
        return;
    }
    ShowBox(QMessageBox::Information, message, caption, QMessageBox::Ok);
}

void VxDeleteFileDialog(const std::string& path, const std::string& caption) {
    if (!VxYesNoDialog(DeleteFileQuestion(path), caption))
        return;
    // unlink() leaves directories alone; a failed deletion is not reported.
    ::unlink(path.c_str());
}

} // extern "C"
