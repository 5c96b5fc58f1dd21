// The long commands as a user sees them in the window, against the scripted
// news server: what a failure says, Cancel, and the summary at the end.
#include "qwk_format/message_file.h"
#include "shell/windows/log_window.h"
#include "shell/windows/main_window.h"
#include "shell/windows/progress_form.h"
#include "shell/windows/settings_dialog.h"
#include "shell/windows/small_dialogs.h"
#include "support/modal_answerer.h"
#include "support/reply_packet_builder.h"
#include "support/scripted_news_server.h"
#include "support/secondary_windows.h"
#include "support/temp_directory.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

using Windows = SecondaryWindowSet;

class RunWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<TForm1> Start(int port) {
        auto form = std::make_unique<TForm1>();
        form->SetSecondaryWindows(windows.All());
        form->settings.NntpServer = server.Host();
        form->settings.NntpPort = port;
        form->settings.QwkId = "ZGUI";
        return form;
    }
    std::size_t MessagesInPacket() {
        return qwk::CountMessages(dir.File("TEMP/MESSAGES.DAT")).value_or(0);
    }
    TempWorkDirectory dir;
    ScriptedNewsServer server;
    Windows windows;
};

std::string Article(int n) {
    return "From: a@example.org\r\nSubject: article " + std::to_string(n) + "\r\nMessage-ID: <" +
           std::to_string(n) + "@example.org>\r\n\r\nText " + std::to_string(n) + "\r\n";
}

TEST_F(RunWindowTest, RefusedConnectionIsSaidWithHostAndPort) {
    const int port = ScriptedNewsServer::UnusedPort();
    auto form = Start(port);
    ModalAnswerer answer(ModalAnswerer::Click(QMessageBox::Ok));
    form->Connect1->trigger();
    ASSERT_EQ(answer.Texts().size(), 1);
    EXPECT_TRUE(answer.Texts().front().startsWith(
        QString("Could not connect to 127.0.0.1 port %1: ").arg(port)))
        << answer.Texts().front().toStdString();
    EXPECT_EQ(form->ConnectionIndicator->text(), "Not connected");
}

// Cancel stops the run between articles; the next run takes the rest, and
// the packet then holds every article once. Each summary counts what the
// packet got.
TEST_F(RunWindowTest, CancelStopsGetArticlesAndTheNextRunDeliversTheRestOnce) {
    for (int n = 1; n <= 5; ++n)
        server.AddArticle("misc.test", n, Article(n));
    for (int n = 1; n <= 3; ++n)
        server.AddArticle("alt.test", n, Article(10 + n));
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), "misc.test 1 0\r\nalt.test 2 0\r\n");
    auto form = Start(server.Port());
    form->Connect1->trigger();
    ASSERT_TRUE(form->GetArticles1->isEnabled());

    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        if (windows.form6.CountsLabel->text().contains("article 3 of 5"))
            windows.form6.CancelButton->click();
    });
    canceller.start(0);
    {
        ModalAnswerer answer(ModalAnswerer::Click(QMessageBox::Ok));
        form->GetArticles1->trigger();
        canceller.stop();
        ASSERT_EQ(answer.Texts().size(), 1);
        const std::size_t first = MessagesInPacket();
        EXPECT_GE(first, 2u);
        EXPECT_LT(first, 8u);
        const std::string packet = dir.File("WORK") + "/ZGUI.QWK";
        EXPECT_EQ(answer.Texts().front().toStdString(),
                  std::to_string(first) + (first == 1 ? " article" : " articles") +
                      " from 1 group added to " + packet +
                      ".\nStopped by Cancel; the rest waits for the next run.");
    }
    EXPECT_FALSE(windows.form6.isVisible());
    EXPECT_TRUE(windows.form6.Text().contains("Stopped by Cancel"));
    {
        ModalAnswerer answer(ModalAnswerer::Click(QMessageBox::Ok));
        form->GetArticles1->trigger();
        ASSERT_EQ(answer.Texts().size(), 1);
        EXPECT_EQ(MessagesInPacket(), 8u);
        EXPECT_TRUE(answer.Texts().front().endsWith(
            " from 2 groups added to " + QString::fromStdString(dir.File("WORK")) + "/ZGUI.QWK."))
            << answer.Texts().front().toStdString();
    }
    {
        ModalAnswerer answer(ModalAnswerer::Click(QMessageBox::Ok));
        form->GetArticles1->trigger();
        EXPECT_EQ(answer.Texts(), QStringList{"No new articles; the packet " +
                                              QString::fromStdString(dir.File("WORK")) +
                                              "/ZGUI.QWK is unchanged."});
    }
    EXPECT_EQ(MessagesInPacket(), 8u);
}

TEST_F(RunWindowTest, MissingWorkDirectoryIsAnErrorNotASummary) {
    server.AddArticle("misc.test", 1, Article(1));
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), "misc.test 1 0\r\n");
    auto form = Start(server.Port());
    form->settings.WorkDirectory = dir.File("GONE");
    form->Connect1->trigger();
    ModalAnswerer answer(ModalAnswerer::Click(QMessageBox::Ok));
    form->GetArticles1->trigger();
    ASSERT_EQ(answer.Texts().size(), 1);
    EXPECT_TRUE(answer.Texts().front().contains("is missing or cannot be written"));
    EXPECT_EQ(form->Groups[0].LastRead, 0);
}

TEST_F(RunWindowTest, PostArticlesWithoutAReplyPacketSaysSo) {
    auto form = Start(server.Port());
    form->Connect1->trigger();
    ModalAnswerer answer(ModalAnswerer::Click(QMessageBox::Ok));
    form->PostArticles1->trigger();
    EXPECT_EQ(answer.Texts(),
              QStringList{QString::fromStdString("No reply packet ZGUI.REP in " + dir.File("WORK") +
                                                 "; nothing to post.")});
}

// A refusal is a log line with the server's answer; the summary counts it
// and names where the reply is kept.
TEST_F(RunWindowTest, RefusedReplyIsLoggedAndCountedInTheSummary) {
    server.AddGroup("misc.test");
    server.Reply(ScriptedNewsServer::EndOfArticle, "441 Posting refused: no thanks\r\n", 1);
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), "misc.test 1 0\r\n");
    ReplyPacketBuilder packet("ZGUI");
    for (int n = 1; n <= 3; ++n)
        packet.Add({1, "Me", "Reply " + std::to_string(n), "All", "Text", "", ""});
    packet.Add({9, "Me", "To nowhere", "All", "Text", "", ""});
    auto form = Start(server.Port());
    ASSERT_TRUE(WriteZipArchive(dir.File("WORK/ZGUI.REP"), {{"ZGUI.MSG", packet.MessageFile()}}));
    form->settings.Domain = "example.org";
    form->Connect1->trigger();
    ModalAnswerer answer(ModalAnswerer::Click(QMessageBox::Ok));
    form->PostArticles1->trigger();
    ASSERT_EQ(answer.Texts().size(), 1);
    EXPECT_EQ(answer.Texts().front(), "2 replies posted, 1 refused, 1 not sent (kept in ZGUI.REP)."
                                      "\nView > Log shows the server's answers.");
    EXPECT_EQ(server.PostedArticles().size(), 3u); // the refused one arrived too
    const QString log = windows.form6.Text();
    EXPECT_TRUE(log.contains("Article not posted. 441 Posting refused: no thanks"))
        << log.toStdString();
    EXPECT_TRUE(log.contains("Conference 9 is not queued as any newsgroup; the reply is kept."));
}

} // namespace
