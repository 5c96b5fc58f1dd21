// The find dialog, the newsgroup settings dialog, the About box and the
// splash window.
#pragma once

#include <QDialog>
#include <QWidget>

#include <cstddef>

class NewsGroupTable;
class QLabel;
class QLineEdit;
class QPushButton;

// A dialog with "&Ok" and "&Cancel" under its content.
class OkCancelDialog : public QDialog {
    Q_OBJECT
public:
    explicit OkCancelDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    QPushButton* OkButton;
    QPushButton* CancelButton;

protected:
    void AddButtons(class QBoxLayout* layout);
};

// The find dialog: the text to look for in the newsgroup names.
class TForm4 : public OkCancelDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
    QLineEdit* Edit1;
};

// The newsgroup settings dialog: one group's conference number and last read.
class TForm5 : public OkCancelDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
    // Ok: refused with a message, the dialog staying open, while the
    // conference is neither empty (not queued) nor a number from 0 to 65535,
    // or the last-read pointer is neither empty nor a whole number, or the
    // conference is another group's (named in the message).
    void accept() override;
    // The table and the entry being edited, for the check against the other
    // groups' conferences; none: only the texts themselves are checked.
    const NewsGroupTable* Table = nullptr;
    std::size_t Index = 0;
    QLabel* GroupName;
    QLineEdit* ConferenceEdit;
    QLineEdit* LastReadEdit;
};

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    QPushButton* OkButton;
};

class TSplashScreen : public QWidget {
    Q_OBJECT
public:
    explicit TSplashScreen(QWidget* parent = nullptr);
};

// The program's icon, drawn rather than loaded so the program carries no files.
QIcon ProgramIcon();
