// Zandrel's start: the application object, the splash window, the windows in
// their order, then the message loop (or, with the single argument BATCH, the
// unattended run).
#include "archive/dyna_zip.h"
#include "data_directory.h"
#include "dynamic_library.h"
#include "run_interruption.h"
#include "shell/windows/log_window.h"
#include "shell/windows/main_window.h"
#include "shell/windows/message_boxes.h"
#include "shell/windows/progress_form.h"
#include "shell/windows/settings_dialog.h"
#include "shell/windows/small_dialogs.h"
#include "vxutil.h"

#include <QApplication>

#include <memory>

namespace {
QStringList ArgumentsAfterProgram(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// A batch run from cron has no display; it must not fail for want of one.
// It shows no window and draws nothing, so the minimal platform serves: it
// starts without reading the system's fonts, which the offscreen one does.
void ChooseHeadlessPlatformWithoutDisplay() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "minimal");
}
} // namespace

int main(int argc, char** argv) {
    const bool batch = IsBatchRun(ArgumentsAfterProgram(argc, argv));
    if (batch) {
        ChooseHeadlessPlatformWithoutDisplay();
        // Qt's own event dispatcher wakes faster than the desktop's, and a
        // batch run waits on the network once per article.
        if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
            qputenv("QT_NO_GLIB", "1");
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("Zandrel");
    QApplication::setApplicationVersion("1.0");
    SetUnattended(batch);
    if (batch)
        interruption::CatchStopSignals();
    // Installed, the program keeps its files in its data directory wherever
    // it is started from (a menu, cron); a build keeps the current one.
    if (RunsInstalled())
        if (const std::string problem = EnterDataDirectory(DataDirectory()); !problem.empty()) {
            VxInfoDialog(problem, ApplicationTitle);
            return static_cast<int>(BatchStatus::CouldNotStart);
        }
    SetLibraryFailureHandler(WarnOfLibraryFailureAndExit);
    if (!batch) {
        QApplication::setWindowIcon(ProgramIcon());
        // Lets the desktop match the window to its desktop entry.
        QGuiApplication::setDesktopFileName("org.zandrel.Zandrel");
    }

    // The splash shows while the main window is made; a batch run shows nothing.
    TSplashScreen* splash = nullptr;
    if (!batch) {
        splash = new TSplashScreen;
        splash->show();
        splash->repaint();
        QApplication::processEvents();
    }

    TForm1 form1;
    form1.SetSplash(splash);
    auto form2 = std::make_unique<TForm2>();
    auto aboutBox = std::make_unique<TAboutBox>();
    auto form4 = std::make_unique<TForm4>();
    auto form5 = std::make_unique<TForm5>();
    auto form6 = std::make_unique<TForm6>();
    auto progressForm = std::make_unique<TProgressForm>();
    form1.SetSecondaryWindows(
        {form2.get(), aboutBox.get(), form4.get(), form5.get(), form6.get(), progressForm.get()});

    if (batch)
        return form1.RunBatch();
    form1.show();
    return app.exec();
}
