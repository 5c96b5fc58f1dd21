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

    ScriptedNewsServer server;
    Settings settings;
    RecordingConnectionView view;
    NewsConnection connection{settings, view};
};

TEST_F(NewsConnectionTest, ConnectingAndDisconnectingShowTheStatesAndSwitchTheCommands) {
    EXPECT_TRUE(connection.ConnectAndWait());
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

TEST_F(NewsConnectionTest, AFailedConnectionShowsOnlyThroughStatusAndOutcome) {
    server.SetGreeting("502 You have no permission to talk");
    const TransferOutcome connected = connection.ConnectAndWait();
    EXPECT_FALSE(connected);
    EXPECT_EQ(connected.Code, 502);
    EXPECT_EQ(connected.Text, "502 You have no permission to talk");
    EXPECT_EQ(view.texts.back(), "Disconnected");
    EXPECT_EQ(view.sets, (std::vector<bool>{false}));
}

TEST_F(NewsConnectionTest, AnswersTheServersChallengeWithTheStoredCredentials) {
    server.RequireAuthentication("reader", "secret");
    server.AddGroup("misc.test");
    Connect();
    const TransferOutcome selected = connection.SelectGroup("misc.test");
    EXPECT_TRUE(selected);
    EXPECT_EQ((std::vector<std::int32_t>{selected.FirstMessage, selected.LastMessage,
                                         selected.MessageCount}),
              (std::vector<std::int32_t>{1, 0, 0}));
}

TEST_F(NewsConnectionTest, AReceivedArticleFillsTheBufferAndShowsDone) {
    server.AddArticle("misc.test", 7,
                      "Subject: x\r\nOrganization: Acme\r\n\r\n.hidden dot\r\nend\r\n");
    Connect();
    ASSERT_TRUE(connection.SelectGroup("misc.test"));
    ASSERT_TRUE(connection.ListGroups()); // leaves a document behind
    view.texts.clear();
    EXPECT_TRUE(connection.GetArticle(7));

    EXPECT_EQ(connection.ReceivedText(), ".hidden dot\r\nend\r\n");
    EXPECT_EQ(connection.ArticleHeaders().Item("organization").Value, "Acme");
    EXPECT_EQ(view.texts.front(), "Retrieving article: 0 Bytes");
    EXPECT_EQ(view.texts[view.texts.size() - 2], "Retrieving article: 18 Bytes");
    EXPECT_EQ(view.texts.back(), "Retrieving article: Done");
    EXPECT_GT(view.repaints, 0);

    const TransferOutcome missing = connection.GetArticle(8);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.Code, 423);
    EXPECT_EQ(view.texts.back(), "Retrieving article: Cancelled");
}

TEST_F(NewsConnectionTest, ASilentServerEndsTheWaitWithATimeout) {
    connection.NNTP1.SetReplyTimeout(150);
    server.Silence("GROUP");
    Connect();
    const TransferOutcome selected = connection.SelectGroup("misc.test");
    EXPECT_FALSE(selected);
    EXPECT_EQ(selected.Code, nntpErrorTimedOut);
    EXPECT_TRUE(connection.Disconnected());
    EXPECT_EQ(view.texts.back(), "Disconnected");
}

TEST_F(NewsConnectionTest, PostingShowsItsProgressAndEndsSent) {
    Connect();
    TDocHeaders headers;
    headers.Add("Newsgroups", "misc.test");
    EXPECT_TRUE(connection.PostArticle(headers, "Hello\r\n"));
    ASSERT_GE(view.texts.size(), 4u);
    EXPECT_EQ(view.texts[0], "Initiating document transfer");
    EXPECT_EQ(view.texts[1], "Sending document headers");
    EXPECT_EQ(view.texts[view.texts.size() - 2], "Sending data: 35 of 35 bytes (100%)");
    EXPECT_EQ(view.texts.back(), "Document sent");
    EXPECT_EQ(server.PostedArticles().size(), 1u);
}

// --- The handlers on their own.

TEST_F(NewsConnectionTest, DocumentEventsCollectChunksAndABeginDiscardsTheLastDocument) {
    server.AddArticle("misc.test", 1, "Subject: x\r\n\r\nbody\r\n");
    Connect();
    ASSERT_TRUE(connection.ListGroups()); // the label of the events below
    view.texts.clear();
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
    EXPECT_EQ(connection.ReceivedText(), "alt.a 1 1 y\r\nalt.b 1 1 y\r\n");
    EXPECT_EQ(view.texts.back(), "Getting list of groups: Done");

    // An error with no document under way is cleared by the next begin.
    bool cancel = false;
    connection.NNTP1Error(nntpErrorProtocol, "garbled", cancel);
    EXPECT_TRUE(cancel);
    doc.BytesTransferred = 0;
    event(docBegin);
    EXPECT_EQ(connection.ReceivedText(), "");
    EXPECT_EQ(view.texts.back(), "Getting list of groups: 0 Bytes");
    event(docEnd);
    EXPECT_EQ(view.texts.back(), "Getting list of groups: Done");
    event(docBegin);
    event(docError);
    event(docEnd);
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
