// The main window as a user meets it: start-up in a directory, the command
// table, the settings dialog, the grid's dialogs and closing.
#include "shell/windows/log_window.h"
#include "shell/windows/main_window.h"
#include "shell/windows/newsgroup_table_model.h"
#include "shell/windows/progress_form.h"
#include "shell/windows/settings_dialog.h"
#include "shell/windows/small_dialogs.h"
#include "support/modal_answerer.h"
#include "support/secondary_windows.h"
#include "support/temp_directory.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Windows = SecondaryWindowSet;

class MainWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<TForm1> Start() {
        auto form = std::make_unique<TForm1>();
        form->SetSecondaryWindows(windows.All());
        return form;
    }
    TempWorkDirectory dir;
    Windows windows;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Clicks the button from the dialog's own event loop rather than from inside
// an answer: a box the click opens is then answered too (an answerer's timer
// does not fire again while one of its answers runs). Until the click has
// run, `pending` is set and the dialog is to be left alone.
void ClickSoon(QAbstractButton* button, bool& pending) {
    pending = true;
    QTimer::singleShot(0, button, [button, &pending] {
        button->click();
        pending = false;
    });
}

TEST_F(MainWindowTest, StartInEmptyDirectoryCreatesFoldersAndWritesEveryDefault) {
    auto form = Start();
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("TEMP")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("WORK")));
    EXPECT_EQ(form->Groups.Count(), 0u);
    EXPECT_EQ(form->GridModel->rowCount(), 0);

    const auto lines = Lines(TempWorkDirectory::Read(dir.File("ZANDREL.INI")));
    std::vector<std::string> keys;
    for (const auto& line : lines)
        keys.push_back(line.substr(0, line.find('=')));
    const std::vector<std::string> expected = {"[NNTP]",
                                               "NNTP Server",
                                               "NNTP User Id",
                                               "NNTP Password",
                                               "NNTP Last Get Groups",
                                               "NNTP Remote Port",
                                               "Maximum Article Size",
                                               "[Identity]",
                                               "Domain",
                                               "Organization",
                                               "[Qwk]",
                                               "Qwk ID",
                                               "Lines Per Messages",
                                               "Work Directory",
                                               "Character Set"};
    std::vector<std::string> present;
    for (const auto& k : keys)
        if (!k.empty())
            present.push_back(k);
    EXPECT_EQ(present, expected);
    EXPECT_EQ(form->settings.NntpServer, "news");
    EXPECT_EQ(form->settings.NntpPort, 119);
    EXPECT_EQ(form->settings.LinesPerMessage, 90);
    EXPECT_EQ(form->settings.LastGetGroups, QDate::currentDate());
    EXPECT_EQ(form->settings.WorkDirectory, dir.Path() + "/WORK");
    EXPECT_EQ(form->settings.MaximumArticleBytes, 16777216);
}

TEST_F(MainWindowTest, OnlyConnectOfTheNetworkCommandsIsEnabledAtStart) {
    auto form = Start();
    EXPECT_TRUE(form->Connect1->isEnabled());
    for (QAction* a : {form->Disconnect1, form->GetArticles1, form->PostArticles1,
                       form->GetAllNewsgroups1, form->GetNewNewsgroups1})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    for (QAction* a : {form->SortListofNewsgroups1, form->ExportListofQueuedNewsgroups1,
                       form->ImportListofQueuedNewsgroups1, form->Settings1, form->Exit1,
                       form->Find1, form->FindNext1, form->HelpTopics1, form->AboutZandrel1})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    // Button and menu item are one command.
    EXPECT_FALSE(form->SpeedButtons[1]->isEnabled());
    form->ApplyEnablingSet(true);
    EXPECT_TRUE(form->SpeedButtons[1]->isEnabled());
    EXPECT_FALSE(form->SpeedButtons[0]->isEnabled());
}

TEST_F(MainWindowTest, StatusTextSetWhileHiddenAppearsWhenTheWindowIsShown) {
    auto form = Start();
    form->SetStatusText("Retrieving article: 10 Bytes");
    form->SetStatusText("Retrieving article: Done");
    form->show();
    EXPECT_EQ(form->StatusText->text(), "Retrieving article: Done");
    form->SetStatusText("Disconnected");
    EXPECT_EQ(form->StatusText->text(), "Disconnected");
}

TEST_F(MainWindowTest, SplashIsGoneOnceTheMainWindowShows) {
    QPointer<TSplashScreen> splash = new TSplashScreen;
    splash->show();
    auto form = Start();
    form->SetSplash(splash);
    form->show();
    EXPECT_TRUE(splash.isNull() || !splash->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(splash.isNull());
}

TEST_F(MainWindowTest, CommandTableHasItsCaptionsShortcutsAndHints) {
    auto form = Start();
    QList<QMenu*> menus =
        form->menuBar()->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    QStringList titles;
    for (QAction* a : form->menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&View", "&Help"}));
    QStringList file;
    for (QAction* a : form->menuBar()->actions().front()->menu()->actions())
        file << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(file,
              (QStringList{"&Connect", "&Disconnect", "-", "&Get Articles", "&Post Articles", "-",
                           "Get &All Newsgroups", "Get &New Newsgroups", "&Sort List of Newsgroups",
                           "-", "&Export List of Queued Newsgroups",
                           "&Import List of Queued Newsgroups", "-", "Se&ttings…", "E&xit"}));
    // One letter per item in each menu.
    for (QAction* menu : form->menuBar()->actions()) {
        QStringList letters;
        for (QAction* a : menu->menu()->actions())
            if (!a->isSeparator())
                letters << a->text().mid(a->text().indexOf('&') + 1, 1).toUpper();
        EXPECT_EQ(letters.removeDuplicates(), 0) << menu->text().toStdString();
    }
    EXPECT_EQ(form->Find1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    EXPECT_EQ(form->FindNext1->shortcut(), QKeySequence(Qt::Key_F3));
    EXPECT_EQ(form->Exit1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(form->GetArticles1->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(form->Settings1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    const QStringList hints = {"Connect to NNTP Server",
                               "Disconnect From NNTP Server",
                               "Get Articles",
                               "Post Articles",
                               "Get All Newsgroups",
                               "Get New Newsgroups",
                               "Sort List of Newsgroups",
                               "Export List of Queued Newsgroups",
                               "Import List of Queued Newsgroups"};
    const int offsets[] = {8, 32, 64, 88, 120, 144, 168, 200, 224};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(form->SpeedButtons[i]->toolTip(), hints[i]);
        EXPECT_EQ(form->SpeedButtons[i]->geometry(), QRect(offsets[i], 8, 25, 25));
    }
    EXPECT_EQ(form->size(), QSize(640, 400));
}

TEST_F(MainWindowTest, SecondStartKeepsEditedValuesAndForeignSections) {
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[Mine]\r\nkept=yes\r\n[NNTP]\r\nNNTP Server=news.example.org\r\n"
                             "NNTP Remote Port=0x77\r\n[Qwk]\r\nQwk ID=MYBBS\r\n");
    auto form = Start();
    EXPECT_EQ(form->settings.NntpServer, "news.example.org");
    EXPECT_EQ(form->settings.NntpPort, 119);
    EXPECT_EQ(form->settings.QwkId, "MYBBS");
    const std::string ini = TempWorkDirectory::Read(dir.File("ZANDREL.INI"));
    EXPECT_NE(ini.find("[Mine]\r\nkept=yes\r\n"), std::string::npos);
    EXPECT_NE(ini.find("NNTP Server=news.example.org"), std::string::npos);
}

TEST_F(MainWindowTest, UnreadableDateIsShownAndTheProgramKeepsRunning) {
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Last Get Groups=yesterday\r\nNNTP Remote Port=120\r\n"
                             "[Qwk]\r\nQwk ID=MYBBS\r\n");
    ModalAnswerer answerer(ModalAnswerer::Click(QMessageBox::Ok));
    auto form = Start();
    ASSERT_EQ(answerer.Texts().size(), 1);
    EXPECT_EQ(answerer.Texts().front(), "'yesterday' is not a valid date");
    // The keys after the date are read all the same.
    EXPECT_EQ(form->settings.NntpPort, 120);
    EXPECT_EQ(form->settings.QwkId, "MYBBS");
    EXPECT_TRUE(form->Connect1->isEnabled());
    // The start-up save left the text nobody replaced.
    EXPECT_NE(
        TempWorkDirectory::Read(dir.File("ZANDREL.INI")).find("NNTP Last Get Groups=yesterday\r\n"),
        std::string::npos);
}

TEST_F(MainWindowTest, InvalidQwkIdIsAStartErrorAndIsNeverUsed) {
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\n[Qwk]\r\nQwk ID=../../x\r\n");
    ModalAnswerer answerer(ModalAnswerer::Click(QMessageBox::Ok));
    auto form = Start();
    ASSERT_EQ(answerer.Texts().size(), 1);
    EXPECT_EQ(answerer.Texts().front(),
              "'../../x' is not a valid Qwk ID: it names the packet files, so it must be 1 to 8 "
              "letters or digits; set one in Settings");
    EXPECT_EQ(form->settings.QwkId, "");
    EXPECT_NE(TempWorkDirectory::Read(dir.File("ZANDREL.INI")).find("Qwk ID=../../x\r\n"),
              std::string::npos);
    // The batch run does not start.
    EXPECT_EQ(form->RunBatch(), 1);
}

TEST_F(MainWindowTest, DamagedGroupsFileIsToldAndKeptAsBak) {
    const std::string damaged = "alt.test -1 0\r\nbroken line here\r\ncomp.lang.c 3 4711\n";
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), damaged);
    ModalAnswerer answerer(ModalAnswerer::Click(QMessageBox::Ok));
    auto form = Start();
    ASSERT_EQ(answerer.Texts().size(), 1);
    EXPECT_EQ(answerer.Texts().front(), "GROUPS.DAT: 1 line could not be read and was skipped; "
                                        "the original is kept as GROUPS.DAT.bak");
    ASSERT_EQ(form->Groups.Count(), 2u);
    EXPECT_EQ(form->Groups[1].Name, "comp.lang.c");
    EXPECT_EQ(form->Groups[1].LastRead, 4711);
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("GROUPS.DAT.bak")), damaged);
}

TEST_F(MainWindowTest, NamedPipeAsGroupsFileIsRefusedWithoutWaiting) {
    const std::string pipe = dir.File("GROUPS.DAT");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // Should the start wait on the pipe, a writer that opens and closes it
    // ends the wait, and the test fails instead of hanging.
    std::atomic<bool> started{false};
    std::atomic<bool> waited{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1000 && !started; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (started)
            return;
        waited = true;
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    ModalAnswerer answerer(ModalAnswerer::Click(QMessageBox::Ok));
    auto form = Start();
    started = true;
    watchdog.join();
    EXPECT_FALSE(waited) << "the start waited on the named pipe";
    ASSERT_EQ(answerer.Texts().size(), 1);
    EXPECT_EQ(answerer.Texts().front().toStdString(),
              pipe + " is a named pipe, not a regular file; it is not opened");
    EXPECT_EQ(form->Groups.Count(), 0u);
    EXPECT_EQ(form->RunBatch(), 1);
}

TEST_F(MainWindowTest, SettingsDialogOkStoresAndCancelDiscards) {
    auto form = Start();
    windows.form2.PageControl1->setCurrentIndex(2);
    ModalAnswerer ok([](QWidget* modal) {
        auto* dialog = qobject_cast<TForm2*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->PageControl1->currentIndex(), 0);
        dialog->Edit1->setText("news.example.net");
        dialog->Edit2->setText("563");
        dialog->Edit9->setText("60");
        dialog->Edit8->setText("MYBBS");
        dialog->OkButton->click();
    });
    form->Settings1->trigger();
    EXPECT_EQ(form->settings.NntpServer, "news.example.net");
    EXPECT_EQ(form->settings.NntpPort, 563);
    EXPECT_EQ(form->settings.LinesPerMessage, 60);
    const std::string ini = TempWorkDirectory::Read(dir.File("ZANDREL.INI"));
    EXPECT_NE(ini.find("NNTP Server=news.example.net"), std::string::npos);
    EXPECT_NE(ini.find("Lines Per Messages=60"), std::string::npos);
}

// Each field as typed: the validators keep out what cannot be part of a
// value, and Ok stays disabled, with the first reason shown, until every
// field holds one that can be stored.
TEST_F(MainWindowTest, SettingsDialogKeepsOkDisabledWhileAFieldIsWrong) {
    auto form = Start();
    TForm2& dialog = windows.form2;
    const std::string missing = dir.File("NO-SUCH-FOLDER");
    const struct {
        QLineEdit* field;
        std::string typed;
        std::string shown; // what the box holds after the typing
        std::string problem;
    } cases[] = {
        {dialog.Edit1, "", "", "NNTP Server is needed to connect."},
        {dialog.Edit1, "news.example.net", "news.example.net", ""},
        {dialog.Edit2, "abc", "", "NNTP Remote Port must be a number from 1 to 65535."},
        {dialog.Edit2, "0", "0", "NNTP Remote Port must be a number from 1 to 65535."},
        {dialog.Edit2, "65536", "65536", "NNTP Remote Port must be a number from 1 to 65535."},
        {dialog.Edit2, "-5", "5", ""},
        {dialog.Edit2, "65535", "65535", ""},
        {dialog.Edit8, "", "",
         "'' is not a valid Qwk ID: it names the packet files, so it must be 1 to 8 letters or "
         "digits."},
        {dialog.Edit8, "../../x", "x", ""},
        {dialog.Edit8, "MY BBS", "MYBBS", ""},
        {dialog.Edit8, "TOOLONGID", "TOOLONGI", ""},
        {dialog.Edit9, "abc", "", "Maximum Lines Per Message must be a number from 10 to 999999."},
        {dialog.Edit9, "9", "9", "Maximum Lines Per Message must be a number from 10 to 999999."},
        {dialog.Edit9, "10", "10", ""},
        {dialog.Edit10, missing, missing, "The Work Directory " + missing + " does not exist."},
        {dialog.Edit10, dir.File("GROUPS.DAT"), dir.File("GROUPS.DAT"),
         "The Work Directory " + dir.File("GROUPS.DAT") + " does not exist."},
        {dialog.Edit10, dir.File("WORK"), dir.File("WORK"), ""},
    };
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), "");
    form->settings.QwkId = "MYBBS";
    dialog.LoadFrom(form->settings);
    dialog.show();
    ASSERT_TRUE(dialog.OkButton->isEnabled()) << dialog.ProblemLabel->text().toStdString();
    for (const auto& c : cases) {
        const QString before = c.field->text();
        c.field->clear();
        QTest::keyClicks(c.field, QString::fromStdString(c.typed));
        EXPECT_EQ(c.field->text().toStdString(), c.shown) << c.typed;
        EXPECT_EQ(dialog.ProblemLabel->text().toStdString(), c.problem) << c.typed;
        EXPECT_EQ(dialog.OkButton->isEnabled(), c.problem.empty()) << c.typed;
        if (c.problem.empty())
            continue;
        // Nor does Enter, which accepts the dialog without the button.
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible()) << c.typed;
        c.field->setText(before);
    }
    dialog.hide();
    // What a person types is not shown.
    EXPECT_EQ(dialog.Edit4->echoMode(), QLineEdit::Password);
}

// A value the file holds but that cannot be read is shown as it stands; Ok
// without touching it leaves its line, changing it replaces the line.
TEST_F(MainWindowTest, SettingsDialogShowsAndKeepsAnUnreadableValue) {
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Remote Port=one-nineteen\r\n[Qwk]\r\n"
                             "Qwk ID=MYBBS\r\nLines Per Messages=lots\r\n");
    std::unique_ptr<TForm1> form;
    {
        ModalAnswerer boxes(ModalAnswerer::Click(QMessageBox::Ok));
        form = Start();
        EXPECT_EQ(boxes.Count(), 1);
    }
    std::string seenPort, seenLines;
    {
        ModalAnswerer ok([&](QWidget* modal) {
            auto* dialog = qobject_cast<TForm2*>(modal);
            ASSERT_NE(dialog, nullptr);
            seenPort = dialog->Edit2->text().toStdString();
            seenLines = dialog->Edit9->text().toStdString();
            dialog->Edit9->setText("60");
            dialog->OkButton->click();
        });
        form->Settings1->trigger();
    }
    EXPECT_EQ(seenPort, "one-nineteen");
    EXPECT_EQ(seenLines, "lots");
    const std::string ini = TempWorkDirectory::Read(dir.File("ZANDREL.INI"));
    EXPECT_NE(ini.find("NNTP Remote Port=one-nineteen\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Lines Per Messages=60\r\n"), std::string::npos) << ini;
    EXPECT_EQ(form->settings.LinesPerMessage, 60);
}

TEST_F(MainWindowTest, SettingsDialogCancelChangesNothing) {
    auto form = Start();
    const std::string before = TempWorkDirectory::Read(dir.File("ZANDREL.INI"));
    ModalAnswerer cancel([](QWidget* modal) {
        auto* dialog = qobject_cast<TForm2*>(modal);
        ASSERT_NE(dialog, nullptr);
        for (QLineEdit* e : dialog->findChildren<QLineEdit*>())
            e->setText("changed");
        dialog->CancelButton->click();
    });
    form->Settings1->trigger();
    EXPECT_EQ(form->settings.NntpServer, "news");
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("ZANDREL.INI")), before);
}

TEST_F(MainWindowTest, GroupsLoadAtStartAndDialogQueuesAGroup) {
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"),
                             "alt.test -1 0\r\ncomp.lang.c 3 4711\r\nmisc.misc -1 0\r\n");
    auto form = Start();
    ASSERT_EQ(form->Groups.Count(), 3u);
    EXPECT_EQ(form->GridModel->data(form->GridModel->index(0, 1)).toString(), "");
    EXPECT_EQ(form->GridModel->data(form->GridModel->index(1, 2)).toString(), "4711");

    form->SetCurrentGridRow(1);
    ModalAnswerer answer([](QWidget* modal) {
        auto* dialog = qobject_cast<TForm5*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->GroupName->text(), "alt.test");
        EXPECT_EQ(dialog->ConferenceEdit->text(), "");
        dialog->ConferenceEdit->setText("0");
        dialog->LastReadEdit->setText("-10");
        dialog->OkButton->click();
    });
    form->EditGroupSettings();
    EXPECT_EQ(form->Groups[0].Conference, 0);
    EXPECT_EQ(form->Groups[0].LastRead, -10);
    EXPECT_TRUE(form->Groups.GroupsChanged);
    EXPECT_EQ(form->GridModel->data(form->GridModel->index(0, 1)).toString(), "0");

    // Closing saves the changed table.
    form->close();
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("GROUPS.DAT")),
              "alt.test 0 -10\r\ncomp.lang.c 3 4711\r\nmisc.misc -1 0\r\n");
}

TEST_F(MainWindowTest, GroupDialogStaysOpenUntilTheConferenceIsANumberAPacketCarries) {
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), "alt.test 4 40\r\ncomp.lang.c 7 0\r\n");
    auto form = Start();
    form->SetCurrentGridRow(1);
    const std::pair<const char*, const char*> attempts[] = {{"abc", "40"}, {"65536", "40"},
                                                            {"-1", "40"},  {"12", "forty"},
                                                            {"7", "40"},   {"65535", "41"}};
    int visits = 0;
    bool pending = false;
    {
        ModalAnswerer answer([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                box->button(QMessageBox::Ok)->click();
                return;
            }
            auto* dialog = qobject_cast<TForm5*>(modal);
            ASSERT_NE(dialog, nullptr);
            if (pending)
                return;
            ASSERT_LT(visits, 6);
            dialog->ConferenceEdit->setText(attempts[visits].first);
            dialog->LastReadEdit->setText(attempts[visits].second);
            ++visits;
            ClickSoon(dialog->OkButton, pending);
        });
        form->EditGroupSettings();
        EXPECT_EQ(visits, 6);
        ASSERT_EQ(answer.Texts().size(), 5);
        EXPECT_TRUE(answer.Texts()[0].startsWith("'abc' is not a valid Qwk Conference"));
        EXPECT_TRUE(answer.Texts()[1].startsWith("'65536' is not a valid Qwk Conference"));
        EXPECT_TRUE(answer.Texts()[2].startsWith("'-1' is not a valid Qwk Conference"));
        EXPECT_TRUE(answer.Texts()[3].startsWith("'forty' is not a valid Last Message Read"));
        EXPECT_EQ(answer.Texts()[4], "Qwk Conference 7 is already used by comp.lang.c.");
    }
    EXPECT_EQ(form->Groups[0].Conference, 65535);
    EXPECT_EQ(form->Groups[0].LastRead, 41);

    // Cancel after a refusal changes nothing.
    visits = 0;
    ModalAnswerer cancel([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->button(QMessageBox::Ok)->click();
            return;
        }
        auto* dialog = qobject_cast<TForm5*>(modal);
        ASSERT_NE(dialog, nullptr);
        if (pending)
            return;
        if (visits++ == 0) {
            dialog->ConferenceEdit->setText("abc");
            ClickSoon(dialog->OkButton, pending);
        } else {
            dialog->CancelButton->click();
        }
    });
    form->EditGroupSettings();
    EXPECT_EQ(form->Groups[0].Conference, 65535);
}

TEST_F(MainWindowTest, ClosingWithoutChangesLeavesGroupsFileAlone) {
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), "alt.test   -1   0\r\n");
    auto form = Start();
    form->close();
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("GROUPS.DAT")), "alt.test   -1   0\r\n");
}

TEST_F(MainWindowTest, EmptyTableIgnoresDoubleClickAndEnter) {
    auto form = Start();
    ModalAnswerer answerer(ModalAnswerer::Click(QMessageBox::Cancel));
    form->EditGroupSettings();
    QTest::keyClick(form->StringGrid1, Qt::Key_Return);
    EXPECT_EQ(answerer.Count(), 0);
}

TEST_F(MainWindowTest, FindWalksDownWrapsWithANoteAndSaysWhenNothingMatches) {
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"),
                             "alt.test -1 0\r\ncomp.lang.c -1 0\r\nmisc.misc -1 0\r\n"
                             "Comp.Sys -1 0\r\n");
    auto form = Start();
    form->SetCurrentGridRow(1);
    ModalAnswerer answer([](QWidget* modal) {
        if (auto* find = qobject_cast<TForm4*>(modal)) {
            find->Edit1->setText("COMP");
            find->OkButton->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->button(QMessageBox::Ok)->click();
        }
    });
    form->Find1->trigger();
    EXPECT_EQ(form->CurrentGridRow(), 2);
    form->FindNext1->trigger();
    EXPECT_EQ(form->CurrentGridRow(), 4);
    EXPECT_EQ(form->statusBar()->currentMessage(), "");
    form->FindNext1->trigger();
    EXPECT_EQ(form->CurrentGridRow(), 2);
    EXPECT_EQ(form->statusBar()->currentMessage(), FindWrappedNote);
    EXPECT_TRUE(answer.Texts().isEmpty());
    form->FindText = "zzz";
    form->FindNext1->trigger();
    EXPECT_EQ(form->CurrentGridRow(), 2);
    EXPECT_EQ(answer.Texts(), QStringList{"No more matches."});
}

// F1 in each window opens the manual's page for that window, Help Topics its
// contents; a help file kept in the start directory is opened instead.
TEST_F(MainWindowTest, HelpOpensThePageOfTheWindowItIsAskedFrom) {
    auto form = Start();
    std::vector<QUrl> opened;
    form->Help.SetOpener([&opened](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    auto pressF1 = [](QWidget* window) {
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_F1);
        window->hide();
    };
    auto triggerHelpTopics = [&form](QWidget*) { form->HelpTopics1->trigger(); };
    struct Case {
        QWidget* window;
        std::function<void(QWidget*)> ask;
        bool keptHelpFile;
        std::string opens;
    };
    const Case cases[] = {
        {form.get(), pressF1, false, "main-window.html"},
        {&windows.form2, pressF1, false, "settings.html"},
        {&windows.form4, pressF1, false, "newsgroups.html"},
        {&windows.form5, pressF1, false, "newsgroups.html"},
        {form.get(), triggerHelpTopics, false, "index.html"},
        {&windows.form2, pressF1, true, "ZANDREL.HLP"},
        {form.get(), triggerHelpTopics, true, "ZANDREL.HLP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window->objectName().toStdString() + " -> " + c.opens);
        if (c.keptHelpFile)
            TempWorkDirectory::Write(dir.File("ZANDREL.HLP"), "help");
        opened.clear();
        c.ask(c.window);
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened.front().fileName().toStdString(), c.opens);
        EXPECT_TRUE(std::filesystem::is_regular_file(opened.front().toLocalFile().toStdString()));
    }
}

TEST_F(MainWindowTest, HelpSaysWhereItLookedWhenTheFileIsMissing) {
    auto form = Start();
    form->Help.SetManualDirectory(dir.File("no-manual"));
    ModalAnswerer answer(ModalAnswerer::Click(QMessageBox::Ok));
    form->HelpTopics1->trigger();
    ASSERT_EQ(answer.Texts().size(), 1);
    EXPECT_EQ(answer.Texts().front().toStdString(),
              "Unable to find the help file " + dir.Path() + "/ZANDREL.HLP.");
}

} // namespace
