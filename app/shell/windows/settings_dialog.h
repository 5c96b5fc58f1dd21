// The Settings dialog: three pages of edit boxes over the settings.
#pragma once

#include "core/settings.h"
#include "shell/windows/small_dialogs.h"

#include <string>

#include <map>

class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QToolButton;

// The settings dialog: the news server, identity and QWK pages.
class TForm2 : public OkCancelDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    // Copies the settings into the boxes and shows the "NNTP Settings" page. A
    // value the file held but could not be read (Settings::UnreadTexts) is
    // shown as the file has it.
    void LoadFrom(const Settings& settings);
    // Copies the boxes back, the numbers through VxStrToInt with their
    // defaults. A box still showing an unreadable value's text leaves that
    // value (and its line in the file) as it is.
    void StoreInto(Settings& settings) const;
    // Why Ok cannot close the dialog, the first wrong field's reason: no
    // server, a port not from 1 to 65535, a Qwk ID not 1 to 8 letters or
    // digits, fewer than 10 lines per message, a Work Directory that does not
    // exist or cannot be written. Empty when it can.
    std::string Problem() const;
    // Ok stays disabled, with the reason shown under the pages, while
    // Problem() has something to say; Enter does not get past it either.
    void accept() override;

    QTabWidget* PageControl1;
    QLineEdit* Edit1; // NNTP Server
    QLineEdit* Edit2; // NNTP Remote Port
    QLineEdit* Edit3; // NNTP User ID
    QLineEdit* Edit4; // NNTP Password
    QComboBox* SecurityBox;
    QLineEdit* Edit6;          // Domain
    QLineEdit* Edit7;          // Organization
    QLineEdit* Edit8;          // Qwk ID
    QLineEdit* Edit9;          // Maximum Lines Per Message
    QLineEdit* Edit10;         // Work Directory
    QToolButton* BrowseButton; // chooses the Work Directory
    QComboBox* CharacterSetBox;
    QLabel* ProblemLabel;

private:
    void CheckFields();
    void ChooseWorkDirectory();

    std::map<std::string, std::string> unreadTexts_;
};

// Runs the dialog over the settings; on Ok (which needs every field valid)
// stores them and writes the file.
// Returns true when the user accepted.
bool EditSettings(TForm2& dialog, Settings& settings, const std::string& iniPath);
