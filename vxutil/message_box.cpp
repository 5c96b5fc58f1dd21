// The one piece of VxUtil that needs the window library: showing a box. It is
// a companion library of its own, loaded the first time a box is shown, so a
// process that never shows one (a batch run, the program's core under test)
// never loads the window library.
#include <QMessageBox>
#include <QString>

extern "C" __attribute__((visibility("default"))) int
VxShowMessageBox(int kind, const char* message, const char* caption) {
    const bool question = kind == 1;
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::Information,
                    QString::fromLocal8Bit(caption), QString::fromLocal8Bit(message),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    // The texts are newsgroup names and file names, never markup.
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes ? 1 : 0;
}
