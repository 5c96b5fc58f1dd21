// The main window's secondary windows, for the tests that show it.
#pragma once

#include "shell/windows/log_window.h"
#include "shell/windows/main_window.h"
#include "shell/windows/progress_form.h"
#include "shell/windows/settings_dialog.h"
#include "shell/windows/small_dialogs.h"

struct SecondaryWindowSet {
    TForm2 form2;
    TAboutBox about;
    TForm4 form4;
    TForm5 form5;
    TForm6 form6;
    TProgressForm progress;
    SecondaryWindows All() { return {&form2, &about, &form4, &form5, &form6, &progress}; }
};
