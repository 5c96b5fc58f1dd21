// Takes the manual's and the README's pictures from the real windows: the
// main window over a sample newsgroup table, the Settings dialog, the
// progress window part way through a run and the summary at its end. Run by
// scripts/images on the offscreen platform; writes PNGs into the folder named
// by its argument.
#include "shell/windows/log_window.h"
#include "shell/windows/main_window.h"
#include "shell/windows/message_boxes.h"
#include "shell/windows/progress_form.h"
#include "shell/windows/settings_dialog.h"
#include "shell/windows/small_dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {
void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

bool Save(QWidget& window, const QString& path) {
    if (window.grab().save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zandrel");
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString output = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QTemporaryDir start;
    QDir::setCurrent(start.path());
    WriteFile("ZANDREL.INI", "[NNTP]\r\nNNTP Server=news.example.org\r\nNNTP Remote Port=563\r\n"
                             "NNTP User Id=ann\r\nNNTP Security=TLS\r\n"
                             "[Identity]\r\nDomain=example.org\r\nOrganization=\r\n"
                             "[Qwk]\r\nQwk ID=USENET\r\n");
    WriteFile("GROUPS.DAT", "alt.bbs 3 48211\r\nalt.bbs.doors -1 0\r\nalt.folklore.computers 2 "
                            "913377\r\ncomp.lang.c 1 402118\r\ncomp.lang.c++ -1 0\r\n"
                            "comp.os.linux.misc -1 0\r\ncomp.std.c -1 0\r\n"
                            "news.software.readers 4 77310\r\nrec.arts.books -1 0\r\n"
                            "rec.games.chess -1 0\r\nsci.math -1 0\r\n");

    TForm1 form1;
    TForm2 form2;
    TAboutBox aboutBox;
    TForm4 form4;
    TForm5 form5;
    TForm6 form6;
    TProgressForm progressForm;
    form1.SetSecondaryWindows({&form2, &aboutBox, &form4, &form5, &form6, &progressForm});
    form1.show();
    form1.SetCurrentGridRow(4);
    QApplication::processEvents();
    bool saved = Save(form1, output + "/main-window.png");

    // The dialog is modal: it is taken once it shows, then closed.
    QTimer::singleShot(0, &form2, [&] {
        QApplication::processEvents();
        saved = Save(form2, output + "/settings.png") && saved;
        form2.reject();
    });
    form1.Settings1->trigger();

    // The progress window as a Get Articles run shows it, part way through.
    form6.SetAnchor(&form1);
    form6.SetCaption("Retrieving articles");
    form6.Clear();
    form6.Show();
    for (const char* line :
         {"Selecting newsgroup: alt.bbs", "    Retrieving article # 48212",
          "        Saving article.", "Selecting newsgroup: alt.folklore.computers",
          "    Retrieving article # 913378", "        Saving article.",
          "    Retrieving article # 913379", "        Saving article."})
        form6.AppendLine(line);
    form6.SetProgress({"Retrieving articles from alt.folklore.computers",
                       GroupArticleCounts(2, 3, 12, 150), 12, 150});
    form6.FlushPendingLines();
    QApplication::processEvents();
    saved = Save(form6, output + "/progress.png") && saved;
    form6.Hide();

    // The summary at the end of the run, a message box taken once it shows.
    QTimer::singleShot(0, &form1, [&] {
        QApplication::processEvents();
        if (QWidget* box = QApplication::activeModalWidget()) {
            saved = Save(*box, output + "/summary.png") && saved;
            // A box with two buttons has no escape button, and ignores close.
            if (auto* dialog = qobject_cast<QDialog*>(box))
                dialog->done(QMessageBox::Ok);
        }
    });
    ShowRunSummary(
        "96 articles from 3 groups added to /home/ann/.local/share/zandrel/WORK/USENET.QWK.", false,
        start.path().toStdString());
    form1.close();
    return saved ? 0 : 1;
}
