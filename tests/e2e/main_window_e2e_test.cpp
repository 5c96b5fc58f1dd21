// The main window's network commands as a user runs them, against the local
// news server: connect, Get Articles with its log and progress windows, and
// disconnect, with the status line and the enabling sets following along.
#include "shell/windows/log_window.h"
#include "shell/windows/main_window.h"
#include "shell/windows/newsgroup_table_model.h"
#include "shell/windows/progress_form.h"
#include "shell/windows/settings_dialog.h"
#include "shell/windows/small_dialogs.h"
#include "support/blocking_nntp_client.h"
#include "support/local_news_server.h"
#include "support/modal_answerer.h"
#include "support/reply_packet_builder.h"
#include "support/secondary_windows.h"
#include "support/temp_directory.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(MainWindowE2E, GetArticlesFromTheWindowPacksThePacketAndMovesTheGrid) {
    const std::string group = UniqueGroupName("zandrel.window");
    ASSERT_TRUE(NewsdSucceeds("newgroup " + group));
    BlockingNntpClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", 119)) << client.lastReply();
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(client
                        .post("From: ann@example.org\r\nNewsgroups: " + group +
                              "\r\nSubject: Window " + std::to_string(i) + "\r\n\r\nText " +
                              std::to_string(i) + "\r\n")
                        .ok);
    const auto range = client.group(group);
    ASSERT_TRUE(range.has_value());

    TempWorkDirectory dir;
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\n[Qwk]\r\nQwk ID=MYBBS\r\n");
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), group + " 5 0\r\n");
    SecondaryWindowSet windows;
    TForm6& form6 = windows.form6;
    TProgressForm& progress = windows.progress;
    TForm1 form;
    form.SetSecondaryWindows(windows.All());
    form.show();

    form.Connect1->trigger();
    EXPECT_EQ(form.StatusText->text(), "Connected to: 127.0.0.1");
    EXPECT_TRUE(form.GetArticles1->isEnabled());
    EXPECT_FALSE(form.Connect1->isEnabled());

    {
        // The run ends with its summary.
        ModalAnswerer answerer(ModalAnswerer::Click(QMessageBox::Ok));
        form.GetArticles1->trigger();
        ASSERT_EQ(answerer.Texts().size(), 1);
        EXPECT_EQ(answerer.Texts()[0].toStdString(),
                  "3 articles from 1 group added to " + dir.File("WORK/MYBBS.QWK") + ".");
    }
    EXPECT_TRUE(form.isEnabled());
    EXPECT_FALSE(form6.isVisible());
    EXPECT_EQ(form6.windowTitle(), "Retrieving articles");
    const QString log = form6.Text();
    EXPECT_TRUE(log.startsWith(QString::fromStdString("Selecting newsgroup: " + group)))
        << log.toStdString();
    EXPECT_EQ(log.count("        Saving article."), 3);
    EXPECT_EQ(progress.windowTitle(), "Zipping MYBBS.QWK");
    EXPECT_TRUE(fs::exists(dir.File("WORK/MYBBS.QWK")));
    EXPECT_EQ(form.Groups[0].LastRead, range->last);
    EXPECT_EQ(form.GridModel->data(form.GridModel->index(0, 2)).toString(),
              QString::number(range->last));
    // Saved as soon as the packet is in place, not at exit: a run killed
    // from here on does not deliver the same articles again.
    EXPECT_FALSE(form.Groups.GroupsChanged);
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("GROUPS.DAT")),
              group + " 5 " + std::to_string(range->last) + "\r\n");

    form.Disconnect1->trigger();
    EXPECT_EQ(form.StatusText->text(), "Disconnected");
    EXPECT_TRUE(form.Connect1->isEnabled());
    form.close();
}

} // namespace
