// The news client control against the scripted server: the events and their
// order, the bytes on the wire, and that every fault ends the operation
// cleanly with nothing left busy.
#include "nntp/tnntp.h"
#include "support/scripted_news_server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Records every event of a control as a short line, in order.
class EventLog {
public:
    explicit EventLog(TNNTP& control) : control_(control) {
        control.OnStateChanged = [this](TNNTP* sender, std::int16_t state) {
            EXPECT_EQ(sender->State(), state);
            Add("state " + std::to_string(state));
        };
        control.OnBusy = [this](TNNTP*, bool busy) {
            Add(busy ? "busy" : "idle");
            if (!busy)
                ++idleCount;
        };
        control.OnDocOutput = [this](TNNTP*, TDocument& doc) {
            if (doc.State == docData) {
                std::string data;
                doc.GetData(data, 8);
                received += data;
                ++dataChunks;
                if (lines.empty() || lines.back() != "doc 3")
                    Add("doc 3");
            } else {
                Add("doc " + std::to_string(doc.State));
            }
        };
        control.OnDocInput = [this](TNNTP*, TDocument& doc) {
            if (doc.State == docData) {
                sent.push_back({doc.BytesTransferred, doc.BytesTotal});
                if (lines.empty() || lines.back() != "input 3")
                    Add("input 3");
            } else {
                Add("input " + std::to_string(doc.State));
            }
        };
        control.OnError = [this](TNNTP*, std::int16_t number, std::string& description,
                                 std::int32_t, const std::string&, const std::string&, std::int32_t,
                                 bool& cancelDisplay) {
            Add("error " + std::to_string(number));
            lastError = description;
            cancelDisplay = true;
        };
        control.OnSelectGroup = [this](TNNTP*, const std::string& name, std::int32_t first,
                                       std::int32_t last, std::int32_t count) {
            Add("select " + name + " " + std::to_string(first) + " " + std::to_string(last) + " " +
                std::to_string(count));
        };
        control.OnAuthenticateRequest = [this](TNNTP*, std::string& user, std::string& password) {
            Add("auth");
            user = this->user;
            password = this->password;
        };
    }

    void Add(const std::string& line) { lines.push_back(line); }
    void Clear() {
        lines.clear();
        received.clear();
        sent.clear();
        dataChunks = 0;
    }

    // Pumps events until the running operation has ended; false on a hang.
    bool WaitIdle(int limitMs = 5000) {
        QElapsedTimer clock;
        clock.start();
        const int wanted = idleCount + 1;
        while (idleCount < wanted && clock.elapsed() < limitMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return idleCount >= wanted && !control_.Busy();
    }

    std::vector<std::string> lines;
    std::string received;
    std::vector<std::pair<double, double>> sent;
    int dataChunks = 0;
    int idleCount = 0;
    std::string lastError;
    std::string user = "reader";
    std::string password = "secret";

private:
    TNNTP& control_;
};

using Lines = std::vector<std::string>;

class NntpControl : public ::testing::Test {
protected:
    void SetUp() override { control.SetReplyTimeout(3000); }

    void ConnectOrFail() {
        control.Connect(server.Host(), server.Port());
        ASSERT_TRUE(log.WaitIdle());
        ASSERT_EQ(control.State(), nntpConnected) << log.lastError;
        log.Clear();
    }

    // Article 1 of misc.test, selected, about 200 KB with dot-stuffed lines,
    // reaching the client in pieces of chunkBytes.
    void OfferLargeArticle(std::string& body, std::size_t chunkBytes, int delayMs) {
        body.clear();
        for (int i = 0; i < 20000; ++i) {
            if (i % 7 == 0)
                body += '.';
            body += "line " + std::to_string(i) + "\r\n";
        }
        server.AddArticle("misc.test", 1, "Subject: big\r\n\r\n" + body);
        ASSERT_NO_FATAL_FAILURE(ConnectOrFail());
        control.SelectGroup("misc.test");
        ASSERT_TRUE(log.WaitIdle());
        server.SetWriteChunking(chunkBytes, delayMs);
        log.Clear();
    }

    // What happened after the last operation's "busy".
    Lines AfterBusy() const {
        auto busy = std::find(log.lines.begin(), log.lines.end(), "busy");
        return Lines(busy == log.lines.end() ? log.lines.begin() : busy + 1, log.lines.end());
    }

    ScriptedNewsServer server;
    TNNTP control;
    EventLog log{control};
};

const char* const FoldedArticle = "Path: x!not-for-mail\r\n"
                                  "From: Ann <ann@example.com>\r\n"
                                  "Subject: A long subject\r\n"
                                  "\tthat was folded\r\n"
                                  "ORGANIZATION: Acme\r\n"
                                  "\r\n"
                                  "First line\r\n"
                                  ".Leading dot\r\n"
                                  "..Two dots\r\n"
                                  "\r\n"
                                  "Last line\r\n";

// --- Connecting and signing off.

TEST_F(NntpControl, ConnectsThroughTheStatesAndSignsOff) {
    EXPECT_EQ(control.State(), nntpDisconnected);
    control.Connect(server.Host(), server.Port());
    EXPECT_TRUE(control.Busy());
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "state 2", "state 3", "state 1", "state 4", "idle"}));
    EXPECT_EQ(control.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(server.Commands(), (Lines{"MODE READER"}));

    log.Clear();
    control.SignOff();
    control.CloseConnection();
    QElapsedTimer clock;
    clock.start();
    while (control.State() != nntpDisconnected && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(log.lines, (Lines{"busy", "state 5", "state 6", "idle"}));
    EXPECT_FALSE(control.Busy());

    // The server saw QUIT, and a second close is harmless.
    clock.restart();
    while (server.Commands().size() < 2 && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(server.Commands().back(), "QUIT");
    control.CloseConnection();
    EXPECT_EQ(control.State(), nntpDisconnected);
}

TEST_F(NntpControl, ConnectsAndFetchesOverIPv6) {
    ScriptedNewsServer six(ScriptedNewsServer::Loopback::IPv6);
    if (six.Port() == 0)
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    six.AddArticle("misc.test", 1, "Subject: six\r\n\r\nbody\r\n");
    control.Connect(six.Host(), six.Port());
    ASSERT_TRUE(log.WaitIdle());
    ASSERT_EQ(control.State(), nntpConnected) << log.lastError;
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    control.GetArticle(1);
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.received, "body\r\n");
}

TEST_F(NntpControl, FailedConnectionsRaiseAnErrorAndEndDisconnected) {
    struct Case {
        const char* what;
        std::string greeting;
        int port;
        std::int16_t number;
    };
    const int refusedPort = ScriptedNewsServer::UnusedPort();
    for (const Case& c : {Case{"refused", "", refusedPort, nntpErrorConnectFailed},
                          Case{"greeting 502", "502 Access denied", 0, 502},
                          Case{"greeting 400", "400 Service temporarily unavailable", 0, 400},
                          Case{"not NNTP", "SSH-2.0-OpenSSH", 0, nntpErrorProtocol}}) {
        SCOPED_TRACE(c.what);
        ScriptedNewsServer refusing;
        refusing.SetGreeting(c.greeting);
        log.Clear();
        control.Connect("127.0.0.1", c.port ? c.port : refusing.Port());
        ASSERT_TRUE(log.WaitIdle());
        EXPECT_EQ(control.State(), nntpDisconnected);
        EXPECT_NE(
            std::find(log.lines.begin(), log.lines.end(), "error " + std::to_string(c.number)),
            log.lines.end());
        EXPECT_EQ(log.lines.back(), "idle");
        EXPECT_EQ(log.lines[log.lines.size() - 2], "state 6");
        EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "state 4"), 0);
    }
}

TEST_F(NntpControl, AnUnknownHostFailsInTheResolvingState) {
    control.Connect("no-such-host.invalid", 119);
    ASSERT_TRUE(log.WaitIdle(10000));
    EXPECT_EQ(log.lines.front(), "busy");
    EXPECT_EQ(log.lines[1], "state 2");
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "state 1"), 0);
    EXPECT_EQ(control.State(), nntpDisconnected);
    EXPECT_EQ(log.lines.back(), "idle");
}

TEST_F(NntpControl, RejectsCallsItCannotServe) {
    EXPECT_THROW(control.ListGroups(), EControlError);
    EXPECT_THROW(control.SelectGroup("misc.test"), EControlError);
    EXPECT_THROW(control.GetArticle(1), EControlError);
    EXPECT_THROW(control.SendDocument(), EControlError);
    EXPECT_THROW(control.SignOff(), EControlError);
    EXPECT_TRUE(log.lines.empty());

    ConnectOrFail();
    EXPECT_THROW(control.Connect(server.Host(), server.Port()), EControlError);
    server.Silence("LIST");
    control.ListGroups();
    EXPECT_THROW(control.GetArticle(1), EControlError); // busy
}

TEST_F(NntpControl, RefusesUnusableArgumentsLikeTheServerWould) {
    control.Connect(server.Host(), 0);
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "state 2", "error 2", "state 6", "idle"}));

    // A name that would end the command line early never reaches the wire.
    ConnectOrFail();
    control.SelectGroup("misc.test\r\nPOST");
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "error 501", "idle"}));
    EXPECT_EQ(server.Commands(), (Lines{"MODE READER"}));
    EXPECT_EQ(control.State(), nntpConnected);
}

// --- Lists and groups.

TEST_F(NntpControl, ListsGroupsAsOneDocumentBeforeGoingIdle) {
    server.AddArticle("misc.test", 3, "Subject: x\r\n\r\nbody\r\n");
    server.AddGroup("alt.empty");
    server.AddGroup(".odd.name");
    ConnectOrFail();
    control.ListGroups();
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "doc 1", "doc 3", "doc 5", "idle"}));
    EXPECT_EQ(log.received, ".odd.name 0 1 y\r\nalt.empty 0 1 y\r\nmisc.test 3 3 y\r\n");
    EXPECT_EQ(server.Commands().back(), "LIST");
}

TEST_F(NntpControl, AsksForNewGroupsSinceTheStartOfTheDayInGmt) {
    server.AddGroup("alt.new", true);
    ConnectOrFail();
    const double day = QDate(1899, 12, 30).daysTo(QDate(2026, 3, 7)) + 0.75;
    control.ListNewGroups(day);
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(server.Commands().back(), "NEWGROUPS 20260307 000000 GMT");
    EXPECT_EQ(log.received, "alt.new 0 1 y\r\n");
}

TEST_F(NntpControl, SelectingAGroupReportsItsRangeBeforeGoingIdle) {
    server.Reply("GROUP misc.test", "211 42 100 205 misc.test\r\n");
    ConnectOrFail();
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "select misc.test 100 205 42", "idle"}));

    log.Clear();
    control.SelectGroup("no.such.group");
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "error 411", "idle"}));
    EXPECT_EQ(control.State(), nntpConnected);
}

// --- Articles.

TEST_F(NntpControl, FetchesAnArticleWithHeadersAndAnUnstuffedBody) {
    server.AddArticle("misc.test", 5, FoldedArticle);
    ConnectOrFail();
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    log.Clear();

    control.GetArticle(5);
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "doc 1", "doc 2", "doc 3", "doc 5", "idle"}));
    EXPECT_EQ(log.received, "First line\r\n.Leading dot\r\n..Two dots\r\n\r\nLast line\r\n");

    const TDocHeaders& headers = control.DocOutput().Headers();
    EXPECT_EQ(headers.Count(), 4u);
    EXPECT_EQ(headers.Item("subject").Value, "A long subject\tthat was folded");
    EXPECT_EQ(headers.Item("Organization").Value, "Acme");
    EXPECT_EQ(headers.Item("FROM").Value, "Ann <ann@example.com>");
    EXPECT_THROW(headers.Item("Reply-To"), EControlError);
    EXPECT_EQ(headers.Find("Reply-To"), nullptr);
}

TEST_F(NntpControl, DeliversALargeArticleInOrderedChunks) {
    std::string body;
    ASSERT_NO_FATAL_FAILURE(OfferLargeArticle(body, 50000, 2));
    control.GetArticle(1);
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.received, body);
    EXPECT_GT(log.dataChunks, 1);
    EXPECT_EQ(control.DocOutput().BytesTransferred, static_cast<double>(body.size()));
}

TEST_F(NntpControl, AHandlerThatPumpsEventsStillGetsTheArticleWholeAndOnce) {
    // A progress window repaints from inside the data event; what arrives
    // meanwhile must wait for the handler instead of being read under it.
    std::string body;
    ASSERT_NO_FATAL_FAILURE(OfferLargeArticle(body, 30000, 1));
    const auto record = control.OnDocOutput;
    int nested = 0;
    control.OnDocOutput = [&](TNNTP* sender, TDocument& doc) {
        record(sender, doc);
        ++nested;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        --nested;
        EXPECT_EQ(nested, 0) << "an event was raised inside another";
    };

    control.GetArticle(1);
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.received, body);
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "idle"), 1);
    EXPECT_EQ(control.State(), nntpConnected);
}

TEST_F(NntpControl, AMissingArticleEndsInTheErrorStateAndAnError) {
    server.AddGroup("misc.test");
    ConnectOrFail();
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    log.Clear();
    control.GetArticle(99);
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "doc 4", "doc 5", "error 423", "idle"}));
    EXPECT_EQ(control.State(), nntpConnected);
}

// --- Posting.

TEST_F(NntpControl, PostsHeadersInOrderWithNormalisedAndStuffedText) {
    ConnectOrFail();
    TDocHeaders& headers = control.DocInput().Headers();
    headers.Clear();
    headers.Add("From", "Ann <ann@example.com>");
    headers.Add("Newsgroups", "misc.test");
    headers.Add("Subject", "Broken\r\nInjected: header");
    control.SendDocument(std::nullopt, "", "one\n.two\rthree\r\n..four\r\nfive");
    ASSERT_TRUE(log.WaitIdle());

    EXPECT_EQ(log.lines, (Lines{"busy", "input 1", "input 2", "input 3", "input 5", "idle"}));
    ASSERT_EQ(server.PostedArticles().size(), 1u);
    EXPECT_EQ(server.PostedArticles()[0], "From: Ann <ann@example.com>\r\n"
                                          "Newsgroups: misc.test\r\n"
                                          "Subject: Broken  Injected: header\r\n"
                                          "\r\n"
                                          "one\r\n..two\r\nthree\r\n...four\r\nfive\r\n");
    ASSERT_FALSE(log.sent.empty());
    EXPECT_EQ(log.sent.back().first, log.sent.back().second);
    EXPECT_GT(log.sent.back().second, 0);
}

TEST_F(NntpControl, ALargePostingReportsItsProgressAndArrivesWhole) {
    ConnectOrFail();
    control.DocInput().Headers().Clear();
    control.DocInput().Headers().Add("Newsgroups", "misc.test");
    std::string text;
    while (text.size() < 6 * 1024 * 1024)
        text += "A line of a long reply, number " + std::to_string(text.size()) + "\r\n";
    control.SendDocument(std::nullopt, "", text);
    ASSERT_TRUE(log.WaitIdle(20000));

    ASSERT_EQ(server.PostedArticles().size(), 1u);
    EXPECT_EQ(server.PostedArticles()[0], "Newsgroups: misc.test\r\n\r\n" + text);
    ASSERT_FALSE(log.sent.empty());
    for (std::size_t i = 1; i < log.sent.size(); ++i)
        EXPECT_GT(log.sent[i].first, log.sent[i - 1].first);
    EXPECT_EQ(log.sent.back().first, log.sent.back().second);
    EXPECT_EQ(log.lines.back(), "idle");
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "input 5"), 1);
}

TEST_F(NntpControl, ARefusedPostingRaisesAnError) {
    ConnectOrFail();
    server.Reply(ScriptedNewsServer::EndOfArticle, "441 Newsgroups header missing\r\n", 1);
    control.SendDocument(std::nullopt, "", "text");
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(AfterBusy().back(), "idle");
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "input 4"), log.lines.end());
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "error 441"), log.lines.end());
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "input 5"), 0);

    log.Clear();
    server.Reply("POST", "440 Posting not permitted\r\n", 1);
    control.SendDocument(std::nullopt, "", "text");
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "error 440", "idle"}));
}

// --- Credentials.

TEST_F(NntpControl, AnswersAChallengeAndSendsTheCommandAgain) {
    server.RequireAuthentication("reader", "secret");
    server.AddArticle("misc.test", 1, "Subject: x\r\n\r\nbody\r\n");
    ConnectOrFail();
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "auth", "select misc.test 1 1 1", "idle"}));
    EXPECT_EQ(server.Commands(), (Lines{"MODE READER", "GROUP misc.test", "AUTHINFO USER reader",
                                        "AUTHINFO PASS secret", "GROUP misc.test"}));
}

TEST_F(NntpControl, AChallengeWhileConnectingIsAnsweredToo) {
    server.Reply("MODE READER", "480 Authentication required\r\n", 1);
    control.Connect(server.Host(), server.Port());
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(control.State(), nntpConnected);
    EXPECT_EQ(server.Commands(), (Lines{"MODE READER", "AUTHINFO USER reader",
                                        "AUTHINFO PASS secret", "MODE READER"}));
}

TEST_F(NntpControl, RejectedCredentialsEndTheOperationWithAnError) {
    server.RequireAuthentication("reader", "secret");
    server.AddGroup("misc.test");
    log.password = "wrong\r\nQUIT";
    ConnectOrFail();
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "auth", "error 481", "idle"}));
    // The line break in the password did not become a command of its own.
    EXPECT_EQ(server.Commands().back(), "AUTHINFO PASS wrongQUIT");
    EXPECT_EQ(control.State(), nntpConnected);

    // A server that keeps asking after accepting is not asked forever.
    log.Clear();
    server.Reply("LIST", "480 Authentication required\r\n");
    log.password = "secret";
    control.ListGroups();
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(AfterBusy().back(), "idle");
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "error 480"), log.lines.end());
}

// --- Faults of the server: each ends the operation cleanly.

TEST_F(NntpControl, ASilentServerIsGivenUpOnAfterTheReplyTimeout) {
    control.SetReplyTimeout(200);
    server.AddArticle("misc.test", 1, "Subject: x\r\n\r\nbody\r\n");
    server.Silence("ARTICLE");
    ConnectOrFail();
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    log.Clear();
    control.GetArticle(1);
    ASSERT_TRUE(log.WaitIdle(3000));
    EXPECT_EQ(log.lines, (Lines{"busy", "doc 4", "doc 5", "error 4", "state 6", "idle"}));

    // A server that never greets is given up on the same way.
    ScriptedNewsServer mute;
    mute.SetGreeting("");
    log.Clear();
    control.Connect(mute.Host(), mute.Port());
    ASSERT_TRUE(log.WaitIdle(3000));
    EXPECT_EQ(control.State(), nntpDisconnected);
    EXPECT_EQ(log.lines.back(), "idle");
}

TEST_F(NntpControl, ADroppedConnectionEndsTheDocumentAndTheConnection) {
    server.AddArticle("misc.test", 1, "Subject: x\r\n\r\nbody\r\n");
    server.Drop("ARTICLE", "220 1 <1@x>\r\nSubject: x\r\n\r\npart of the bo");
    ConnectOrFail();
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    log.Clear();
    control.GetArticle(1);
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines,
              (Lines{"busy", "doc 1", "doc 2", "doc 4", "doc 5", "error 3", "state 6", "idle"}));

    // A connection that goes while idle just reads as disconnected.
    ScriptedNewsServer other;
    other.Drop("GROUP");
    control.Connect(other.Host(), other.Port());
    ASSERT_TRUE(log.WaitIdle());
    log.Clear();
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "error 3", "state 6", "idle"}));
}

TEST_F(NntpControl, MalformedAndOversizedRepliesEndTheOperation) {
    struct Case {
        const char* what;
        std::string reply;
    };
    for (const Case& c :
         {Case{"not a status line", "Hello there\r\n"},
          Case{"malformed range", "211 many first last misc.test\r\n"},
          Case{"endless status line", "211 " + std::string(200000, '9')},
          Case{"endless data line", "215 list follows\r\n" + std::string(3 * 1024 * 1024, 'x')}}) {
        SCOPED_TRACE(c.what);
        ScriptedNewsServer bad;
        bad.Reply("GROUP", c.reply);
        bad.Reply("LIST", c.reply);
        log.Clear();
        control.Connect(bad.Host(), bad.Port());
        ASSERT_TRUE(log.WaitIdle());
        log.Clear();
        if (c.reply.rfind("215", 0) == 0)
            control.ListGroups();
        else
            control.SelectGroup("misc.test");
        ASSERT_TRUE(log.WaitIdle());
        EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                            "error " + std::to_string(nntpErrorProtocol)),
                  log.lines.end());
        EXPECT_EQ(control.State(), nntpDisconnected);
        EXPECT_EQ(log.lines.back(), "idle");
    }
}

} // namespace
