// The scripted server and the blocking client that other tests build on:
// they must agree with each other on the wire before they can judge anyone.
#include "support/blocking_nntp_client.h"
#include "support/scripted_news_server.h"

#include <gtest/gtest.h>

TEST(ScriptedNewsServer, ServesGroupsArticlesAndPostsToABlockingClient) {
    ScriptedNewsServer server;
    server.AddArticle("misc.test", 7, "Subject: seven\n\n.dotted line\nlast\n");
    server.AddArticle("misc.test", 9, "Subject: nine\r\n\r\nbody\r\n");
    server.AddGroup("misc.empty");

    BlockingNntpClient client;
    ASSERT_TRUE(client.connect(server.Host(), server.Port())) << client.lastReply();

    const auto range = client.group("misc.test");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->count, 2);
    EXPECT_EQ(range->first, 7);
    EXPECT_EQ(range->last, 9);
    EXPECT_FALSE(client.group("no.such.group"));

    EXPECT_EQ(client.article(7), "Subject: seven\r\n\r\n.dotted line\r\nlast\r\n");
    EXPECT_FALSE(client.article(8));

    const auto posted = client.post("Newsgroups: misc.test\nSubject: x\n\n.starts with a dot\n");
    EXPECT_TRUE(posted.ok) << posted.reason;
    ASSERT_EQ(server.PostedArticles().size(), 1u);
    EXPECT_EQ(server.PostedArticles()[0],
              "Newsgroups: misc.test\r\nSubject: x\r\n\r\n..starts with a dot\r\n");

    const auto groups = client.list();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], "misc.empty 0 1 y");
    EXPECT_EQ(groups[1], "misc.test 9 7 y");
}

TEST(ScriptedNewsServer, RulesOverrideOnceThenTheBuiltInAnswers) {
    ScriptedNewsServer server;
    server.AddGroup("misc.test");
    server.Reply("GROUP", "480 Authentication required\r\n", 1);
    server.Reply(ScriptedNewsServer::EndOfArticle, "441 Posting failed\r\n");

    BlockingNntpClient client;
    ASSERT_TRUE(client.connect(server.Host(), server.Port()));
    EXPECT_EQ(client.command("GROUP misc.test"), "480 Authentication required");
    EXPECT_TRUE(client.group("misc.test"));
    const auto posted = client.post("Subject: x\r\n\r\nbody\r\n");
    EXPECT_FALSE(posted.ok);
    EXPECT_EQ(posted.reason, "441 Posting failed");
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"MODE READER", "GROUP misc.test",
                                                           "GROUP misc.test", "POST"}));
}

TEST(ScriptedNewsServer, RefusesWithAGreetingOrDropsTheConnection) {
    ScriptedNewsServer refusing;
    refusing.SetGreeting("502 Go away");
    BlockingNntpClient client;
    EXPECT_FALSE(client.connect(refusing.Host(), refusing.Port()));
    EXPECT_EQ(client.lastReply(), "502 Go away");

    ScriptedNewsServer dropping;
    dropping.AddArticle("misc.test", 1, "Subject: x\r\n\r\nbody\r\n");
    dropping.Drop("ARTICLE", "220 1 <1@x>\r\nSubject: x\r\n");
    ASSERT_TRUE(client.connect(dropping.Host(), dropping.Port()));
    ASSERT_TRUE(client.group("misc.test"));
    EXPECT_FALSE(client.article(1));
    EXPECT_FALSE(client.connected());

    EXPECT_FALSE(client.connect("127.0.0.1", ScriptedNewsServer::UnusedPort()));
}

TEST(ScriptedNewsServer, ChunkedWritesStillArriveWhole) {
    ScriptedNewsServer server;
    server.AddArticle("misc.test", 1, "Subject: x\r\n\r\nfirst line\r\nsecond line\r\n");
    server.SetWriteChunking(3, 0);
    BlockingNntpClient client;
    ASSERT_TRUE(client.connect(server.Host(), server.Port()));
    ASSERT_TRUE(client.group("misc.test"));
    EXPECT_EQ(client.article(1), "Subject: x\r\n\r\nfirst line\r\nsecond line\r\n");
}
