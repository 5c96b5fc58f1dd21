// The program's side of the connection: status texts, enabling sets, the
// transfer state and the waiting model, against the scripted server.
#include "nntp/news_connection.h"
#include "support/recording_views.h"
#include "support/scripted_news_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

class NewsConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.NntpServer = server.Host();
        settings.NntpPort = server.Port();
        settings.NntpUserId = "reader";
        settings.NntpPassword = "secret";
        connection.NNTP1.SetReplyTimeout(2000);
    }

    void Connect() {
        connection.ConnectAndWait();
        ASSERT_EQ(connection.NNTP1.State(), nntpConnected);
        view.texts.clear();
        view.sets.clear();
    }

    // The waiting model of every network command.
    void Run(const std::function<void()>& start) {
        connection.ControlIdle = false;
        start();
        connection.WaitUntilIdle();
    }

    ScriptedNewsServer server;
    Settings settings;
    RecordingConnectionView view;
    NewsConnection connection{settings, view};
};

TEST_F(NewsConnectionTest, ConnectingAndDisconnectingShowTheStatesAndSwitchTheCommands) {
    connection.ConnectAndWait();
    EXPECT_TRUE(connection.ControlIdle);
    EXPECT_EQ(view.texts, (Texts{"Resolving host: 127.0.0.1", "Host resolved",
                                 "Connecting to: 127.0.0.1", "Connected to: 127.0.0.1"}));
    EXPECT_EQ(view.sets, (std::vector<bool>{true}));

    view.texts.clear();
    connection.DisconnectAndWait();
    EXPECT_EQ(view.texts, (Texts{"Disconnecting", "Disconnected"}));
    EXPECT_EQ(view.sets, (std::vector<bool>{true, false}));
    EXPECT_TRUE(connection.Disconnected());

    // Already disconnected: nothing is called, nothing shown.
    view.texts.clear();
    connection.DisconnectAndWait();
    EXPECT_TRUE(view.texts.empty());
}

TEST_F(NewsConnectionTest, AFailedConnectionShowsOnlyThroughStatusAndFlag) {
    server.SetGreeting("502 You have no permission to talk");
    connection.ConnectAndWait();
    EXPECT_TRUE(connection.ControlIdle);
    EXPECT_TRUE(connection.TransferFailed);
    EXPECT_EQ(view.texts.back(), "Disconnected");
    EXPECT_EQ(view.sets, (std::vector<bool>{false}));
}

TEST_F(NewsConnectionTest, AnswersTheServersChallengeWithTheStoredCredentials) {
    server.RequireAuthentication("reader", "secret");
    server.AddGroup("misc.test");
    Connect();
    std::vector<std::int32_t> range;
    connection.OnSelectGroup = [&](const std::string& name, std::int32_t first, std::int32_t last,
                                   std::int32_t count) {
        EXPECT_EQ(name, "misc.test");
        range = {first, last, count};
        EXPECT_FALSE(connection.ControlIdle); // before the busy event ends the wait
    };
    connection.TransferFailed = false;
    Run([&] { connection.NNTP1.SelectGroup("misc.test"); });
    EXPECT_FALSE(connection.TransferFailed);
    EXPECT_EQ(range, (std::vector<std::int32_t>{1, 0, 0}));
}

TEST_F(NewsConnectionTest, AReceivedArticleFillsTheBufferAndShowsDone) {
    server.AddArticle("misc.test", 7,
                      "Subject: x\r\nOrganization: Acme\r\n\r\n.hidden dot\r\nend\r\n");
    Connect();
    Run([&] { connection.NNTP1.SelectGroup("misc.test"); });
    connection.OperationLabel = "Retrieving article";
    connection.ReceiveBuffer = "left over from before";
    connection.TransferFailed = true;
    Run([&] { connection.NNTP1.GetArticle(7); });

    EXPECT_FALSE(connection.TransferFailed);
    EXPECT_EQ(connection.ReceiveBuffer, ".hidden dot\r\nend\r\n");
    EXPECT_EQ(connection.NNTP1.DocOutput().Headers().Item("organization").Value, "Acme");
    EXPECT_EQ(view.texts.front(), "Retrieving article: 0 Bytes");
    EXPECT_EQ(view.texts[view.texts.size() - 2], "Retrieving article: 18 Bytes");
    EXPECT_EQ(view.texts.back(), "Retrieving article: Done");
    EXPECT_GT(view.repaints, 0);

    Run([&] { connection.NNTP1.GetArticle(8); });
    EXPECT_TRUE(connection.TransferFailed);
    EXPECT_EQ(view.texts.back(), "Retrieving article: Cancelled");
}

TEST_F(NewsConnectionTest, ASilentServerEndsTheWaitWithTheTransferFailed) {
    connection.NNTP1.SetReplyTimeout(150);
    server.Silence("GROUP");
    Connect();
    connection.TransferFailed = false;
    Run([&] { connection.NNTP1.SelectGroup("misc.test"); });
    EXPECT_TRUE(connection.TransferFailed);
    EXPECT_TRUE(connection.Disconnected());
    EXPECT_EQ(view.texts.back(), "Disconnected");
}

TEST_F(NewsConnectionTest, PostingShowsItsProgressAndEndsSent) {
    Connect();
    TDocHeaders& headers = connection.NNTP1.DocInput().Headers();
    headers.Clear();
    headers.Add("Newsgroups", "misc.test");
    Run([&] { connection.NNTP1.SendDocument(std::nullopt, "", "Hello\r\n"); });
    ASSERT_GE(view.texts.size(), 4u);
    EXPECT_EQ(view.texts[0], "Initiating document transfer");
    EXPECT_EQ(view.texts[1], "Sending document headers");
    EXPECT_EQ(view.texts[view.texts.size() - 2], "Sending data: 35 of 35 bytes (100%)");
    EXPECT_EQ(view.texts.back(), "Document sent");
    EXPECT_EQ(server.PostedArticles().size(), 1u);
}

// --- The handlers on their own.

TEST_F(NewsConnectionTest, DocumentEventsCollectChunksAndABeginDiscardsTheLastDocument) {
    connection.OperationLabel = "Getting list of groups";
    TDocument doc;
    const auto event = [&](std::int16_t state, const std::string& chunk = {}) {
        doc.State = state;
        doc.Chunk = chunk;
        doc.BytesTransferred += static_cast<double>(chunk.size());
        connection.NNTP1DocOutput(doc);
    };
    event(docBegin);
    event(docData, "alt.a 1 1 y\r\n");
    event(docData, "alt.b 1 1 y\r\n");
    event(docEnd);
    EXPECT_EQ(connection.ReceiveBuffer, "alt.a 1 1 y\r\nalt.b 1 1 y\r\n");
    EXPECT_EQ(view.texts.back(), "Getting list of groups: Done");

    // An error with no document under way is cleared by the next begin.
    bool cancel = false;
    connection.NNTP1Error(cancel);
    EXPECT_TRUE(cancel);
    EXPECT_TRUE(connection.TransferFailed);
    doc.BytesTransferred = 0;
    event(docBegin);
    EXPECT_FALSE(connection.TransferFailed);
    EXPECT_EQ(connection.ReceiveBuffer, "");
    EXPECT_EQ(view.texts.back(), "Getting list of groups: 0 Bytes");
    event(docError);
    event(docEnd);
    EXPECT_TRUE(connection.TransferFailed);
    EXPECT_EQ(view.texts.back(), "Getting list of groups: Cancelled");
}

TEST_F(NewsConnectionTest, SendingTextTruncatesCountsAndPercentage) {
    EXPECT_EQ(NewsConnection::SendingText(512, 2048), "Sending data: 512 of 2048 bytes (25%)");
    EXPECT_EQ(NewsConnection::SendingText(2047, 2048), "Sending data: 2047 of 2048 bytes (99%)");
    EXPECT_EQ(NewsConnection::SendingText(10.9, 20.9), "Sending data: 10 of 20 bytes (52%)");
    EXPECT_EQ(NewsConnection::SendingText(5, 0), "Sending");
    EXPECT_EQ(NewsConnection::SendingText(5, -1), "Sending");

    TDocument doc;
    doc.State = docData;
    doc.BytesTransferred = 512;
    doc.BytesTotal = 2048;
    connection.NNTP1DocInput(doc);
    EXPECT_EQ(view.texts.back(), "Sending data: 512 of 2048 bytes (25%)");
    doc.State = docError;
    connection.NNTP1DocInput(doc);
    EXPECT_EQ(view.texts.size(), 1u); // state 4 leaves the status line alone
}

} // namespace
