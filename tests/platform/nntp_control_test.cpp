// The news client control against the scripted server: the events and their
// order, the bytes on the wire, and that every fault ends the operation
// cleanly with nothing left busy. A fake stream takes over where timing
// decides what a socket shows: replies cut at every byte, data arriving
// while a handler pumps events, lines at their exact limit.
#include "fake_byte_stream.h"
#include "nntp_control/nntp_wire.h"
#include "nntp_control/tnntp.h"
#include "support/latency_proxy.h"
#include "support/scripted_news_server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* StateName(std::int16_t state) {
    switch (state) {
    case nntpConnecting:
        return "connecting";
    case nntpResolvingHost:
        return "resolving host";
    case nntpHostResolved:
        return "host resolved";
    case nntpConnected:
        return "connected";
    case nntpDisconnecting:
        return "disconnecting";
    case nntpDisconnected:
        return "disconnected";
    default:
        return "unknown";
    }
}

// Records every event of a control as a short line, in order.
class EventLog {
public:
    explicit EventLog(TNNTP& control) : control_(control) {
        control.OnStateChanged = [this](TNNTP* sender, std::int16_t state) {
            EXPECT_EQ(sender->State(), state);
            Add("state " + std::to_string(state) + " " + StateName(state));
        };
        control.OnBusy = [this](TNNTP*, bool busy) {
            Add(busy ? "busy" : "idle");
            if (!busy)
                ++idleCount;
        };
        control.OnDocOutput = [this](TNNTP*, TDocument& doc) {
            if (doc.State == docData) {
                std::string data;
                doc.GetData(data, TDocument::TextData);
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
    EXPECT_EQ(log.lines, (Lines{"busy", "state 2 resolving host", "state 3 host resolved",
                                "state 1 connecting", "state 4 connected", "idle"}));
    EXPECT_EQ(control.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(server.Commands(), (Lines{"MODE READER"}));

    log.Clear();
    control.SignOff();
    control.CloseConnection();
    QElapsedTimer clock;
    clock.start();
    while (control.State() != nntpDisconnected && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(log.lines, (Lines{"busy", "state 5 disconnecting", "state 6 disconnected", "idle"}));
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
        EXPECT_EQ(log.lines[log.lines.size() - 2], "state 6 disconnected");
        EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "state 4 connected"), 0);
    }
}

TEST_F(NntpControl, AnUnknownHostFailsInTheResolvingState) {
    control.Connect("no-such-host.invalid", 119);
    ASSERT_TRUE(log.WaitIdle(10000));
    EXPECT_EQ(log.lines.front(), "busy");
    EXPECT_EQ(log.lines[1], "state 2 resolving host");
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "state 1 connecting"), 0);
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
    EXPECT_EQ(log.lines,
              (Lines{"busy", "state 2 resolving host", "error 2", "state 6 disconnected", "idle"}));

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
    EXPECT_EQ(log.lines,
              (Lines{"busy", "doc 4", "doc 5", "error 4", "state 6 disconnected", "idle"}));

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
    EXPECT_EQ(log.lines, (Lines{"busy", "doc 1", "doc 2", "doc 4", "doc 5", "error 3",
                                "state 6 disconnected", "idle"}));

    // A connection that goes while idle just reads as disconnected.
    ScriptedNewsServer other;
    other.Drop("GROUP");
    control.Connect(other.Host(), other.Port());
    ASSERT_TRUE(log.WaitIdle());
    log.Clear();
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    EXPECT_EQ(log.lines, (Lines{"busy", "error 3", "state 6 disconnected", "idle"}));
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

// Memory and time stay bounded whatever a server sends: a document over its
// limit is dropped (the connection kept when its end comes soon enough),
// and a reply that crawls is given up on like a silent one.
TEST_F(NntpControl, OversizedDocumentsAndCrawlingRepliesEndTheOperation) {
    struct Case {
        const char* what;
        std::size_t articleBytes;
        bool list;
        std::size_t chunkBytes; // the server's pace: chunkBytes every 20 ms
        int error;
        bool staysConnected;
    };
    for (const Case& c : {
             Case{"an article a little over its limit", 3000, false, 0, nntpErrorTooLarge, true},
             Case{"an article far over its limit", 9000, false, 0, nntpErrorTooLarge, false},
             Case{"a list over its limit", 0, true, 0, nntpErrorTooLarge, true},
             Case{"a crawling article", 1500, false, 40, nntpErrorTimedOut, false},
             Case{"an article within its limit", 1500, false, 0, 0, true},
         }) {
        SCOPED_TRACE(c.what);
        ScriptedNewsServer news;
        std::string body;
        while (body.size() < c.articleBytes)
            body += "a line of the article\r\n";
        news.AddArticle("misc.test", 1, "Subject: x\r\n\r\n" + body);
        for (int i = 0; i < 120; ++i) // about 2.6 KB listed
            news.AddGroup("misc.group" + std::to_string(i));
        control.SetDocumentLimits(2048, 2048);
        control.SetProgressFloor(300, 4096);
        control.CloseConnection();
        log.Clear();
        control.Connect(news.Host(), news.Port());
        ASSERT_TRUE(log.WaitIdle());
        control.SelectGroup("misc.test");
        ASSERT_TRUE(log.WaitIdle());
        news.SetWriteChunking(c.chunkBytes, 20);
        log.Clear();
        if (c.list)
            control.ListGroups();
        else
            control.GetArticle(1);
        ASSERT_TRUE(log.WaitIdle(5000));
        const std::string error = "error " + std::to_string(c.error);
        EXPECT_EQ(c.error != 0,
                  std::find(log.lines.begin(), log.lines.end(), error) != log.lines.end())
            << testing::PrintToString(log.lines);
        ASSERT_EQ(control.State() == nntpConnected, c.staysConnected);
        if (!c.staysConnected)
            continue;
        // The next command gets its own reply, not the rest of the last one.
        news.SetWriteChunking(0);
        log.Clear();
        control.SelectGroup("misc.test");
        ASSERT_TRUE(log.WaitIdle());
        EXPECT_EQ(log.lines.back(), "idle");
        EXPECT_EQ(std::find_if(log.lines.begin(), log.lines.end(),
                               [](const std::string& line) { return line.rfind("error", 0) == 0; }),
                  log.lines.end())
            << testing::PrintToString(log.lines);
    }
    control.SetDocumentLimits(nntp::DefaultArticleLimit, nntp::DefaultListLimit);
}

// --- On a fake stream: what a real socket cannot show for certain.

// A control whose server side the test plays.
struct OnFakeStream {
    std::unique_ptr<FakeByteStream> owned = std::make_unique<FakeByteStream>();
    FakeByteStream& server = *owned;
    TNNTP control{std::move(owned)};
    EventLog log{control};

    // Starts connecting to 127.0.0.1 and waits for the stream to be asked.
    bool StartConnecting() {
        control.Connect("127.0.0.1", 119);
        QElapsedTimer clock;
        clock.start();
        while (server.Address().isNull() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return server.Address() == QHostAddress(QHostAddress::LocalHost) && server.Port() == 119;
    }
    // The server's part of one exchange: checks what the control sent, then
    // answers.
    void Answer(const std::string& expectedSent, const std::string& reply) {
        EXPECT_EQ(server.TakeSent(), expectedSent);
        server.Feed(reply);
        ASSERT_TRUE(server.Settle());
    }
    void ConnectOrFail() {
        ASSERT_TRUE(StartConnecting());
        server.Accept();
        ASSERT_TRUE(server.Settle());
        Answer("", "200 ready\r\n");
        Answer("MODE READER\r\n", "200 reader\r\n");
        ASSERT_EQ(control.State(), nntpConnected);
        log.Clear();
    }
};

// Encryption, step by step: STARTTLS comes after MODE READER and before any
// credentials, the mode is asked again over TLS, and every way a handshake
// can go wrong ends the connect with its own error, never in clear text.
TEST(NntpControlOnFakeStream, EncryptionIsNegotiatedInOrderAndEveryFailureEndsTheConnect) {
    enum class Do { Feed, Handshake, Refuse, Break, Wait };
    struct Step {
        std::string expectSent;
        Do action;
        std::string text;
    };
    struct Case {
        const char* name;
        TNNTPSecurity security;
        std::vector<Step> steps;
        int error; // 0: connected
        std::string errorText;
    };
    const std::string reader = "MODE READER\r\n";
    const std::string fingerprint = "AA:BB";
    const Case cases[] = {
        {"starttls, then credentials",
         TNNTPSecurity::StartTls,
         {{"", Do::Feed, "200 ready\r\n"},
          {reader, Do::Feed, "480 credentials first\r\n"},
          {"STARTTLS\r\n", Do::Feed, "382 go ahead\r\n"},
          {"<tls 127.0.0.1>", Do::Handshake, ""},
          {reader, Do::Feed, "480 credentials\r\n"},
          {"AUTHINFO USER reader\r\n", Do::Feed, "381 more\r\n"},
          {"AUTHINFO PASS secret\r\n", Do::Feed, "281 ok\r\n"},
          {reader, Do::Feed, "200 reader\r\n"}},
         0,
         ""},
        {"implicit tls",
         TNNTPSecurity::Tls,
         {{"<tls 127.0.0.1>", Do::Handshake, ""},
          {"", Do::Feed, "200 ready\r\n"},
          {reader, Do::Feed, "200 reader\r\n"}},
         0,
         ""},
        {"no starttls offered",
         TNNTPSecurity::StartTls,
         {{"", Do::Feed, "200 ready\r\n"},
          {reader, Do::Feed, "200 reader\r\n"},
          {"STARTTLS\r\n", Do::Feed, "500 what?\r\n"}},
         nntpErrorTlsUnavailable,
         "does not offer STARTTLS (500 what?)"},
        {"clear text after 382",
         TNNTPSecurity::StartTls,
         {{"", Do::Feed, "200 ready\r\n"},
          {reader, Do::Feed, "200 reader\r\n"},
          {"STARTTLS\r\n", Do::Feed, "382 go ahead\r\n200 injected\r\n"}},
         nntpErrorProtocol,
         "clear text after agreeing to STARTTLS"},
        {"dropped after 382",
         TNNTPSecurity::StartTls,
         {{"", Do::Feed, "200 ready\r\n"},
          {reader, Do::Feed, "200 reader\r\n"},
          {"STARTTLS\r\n", Do::Feed, "382 go ahead\r\n"},
          {"<tls 127.0.0.1>", Do::Break, "The server closed the connection"}},
         nntpErrorConnectFailed,
         "The TLS handshake failed: The server closed the connection"},
        {"tls alert",
         TNNTPSecurity::Tls,
         {{"<tls 127.0.0.1>", Do::Break, "handshake failure alert"}},
         nntpErrorConnectFailed,
         "The TLS handshake failed: handshake failure alert"},
        {"handshake never completes",
         TNNTPSecurity::Tls,
         {{"<tls 127.0.0.1>", Do::Wait, ""}},
         nntpErrorTimedOut,
         "The TLS handshake did not complete"},
        {"silent after the handshake",
         TNNTPSecurity::Tls,
         {{"<tls 127.0.0.1>", Do::Handshake, ""}, {"", Do::Wait, ""}},
         nntpErrorTimedOut,
         "The server did not answer"},
        {"certificate refused",
         TNNTPSecurity::Tls,
         {{"<tls 127.0.0.1>", Do::Refuse, "The certificate is self-signed, and untrusted"}},
         nntpErrorCertificate,
         "not trusted: The certificate is self-signed, and untrusted. Its SHA-256 fingerprint "
         "is AA:BB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OnFakeStream s;
        s.control.SetReplyTimeout(200);
        s.control.SetSecurity(c.security, "CC:DD");
        ASSERT_TRUE(s.StartConnecting());
        s.server.Accept();
        ASSERT_TRUE(s.server.Settle());
        for (const Step& step : c.steps) {
            EXPECT_EQ(s.server.TakeSent(), step.expectSent);
            switch (step.action) {
            case Do::Feed:
                s.server.Feed(step.text);
                break;
            case Do::Handshake:
                s.server.FinishHandshake();
                break;
            case Do::Refuse:
                s.server.RefuseCertificate(step.text, fingerprint);
                break;
            case Do::Break:
                s.server.Break(step.text);
                break;
            case Do::Wait:
                break;
            }
            ASSERT_TRUE(s.server.Settle());
        }
        if (s.control.Busy()) {
            ASSERT_TRUE(s.log.WaitIdle(2000));
        }
        if (c.error == 0) {
            EXPECT_EQ(s.server.AcceptedFingerprint(), "CC:DD");
            EXPECT_EQ(s.control.State(), nntpConnected);
            EXPECT_EQ(s.log.lastError, "");
            continue;
        }
        EXPECT_EQ(s.control.State(), nntpDisconnected);
        EXPECT_NE(
            std::find(s.log.lines.begin(), s.log.lines.end(), "error " + std::to_string(c.error)),
            s.log.lines.end())
            << testing::PrintToString(s.log.lines);
        EXPECT_NE(s.log.lastError.find(c.errorText), std::string::npos) << s.log.lastError;
        // No command followed the failure.
        EXPECT_EQ(s.server.TakeSent().find("\r\n"), std::string::npos);
    }
}

TEST(NntpControlOnFakeStream, RepliesCutAnywhereGiveTheSameEventsAndData) {
    const std::vector<std::string> replies = {"200 ready\r\n", "200 reader\r\n",
                                              "220 5 <5@x>\r\n" +
                                                  ScriptedNewsServer::DataBlock(FoldedArticle)};
    std::size_t total = 0;
    for (const std::string& reply : replies)
        total += reply.size();

    // Connects and fetches article 5, each reply reaching the control in
    // pieces cut at these offsets into all the replies together; returns
    // everything the control made of it.
    const auto play = [&](const std::vector<std::size_t>& cuts) {
        OnFakeStream s;
        if (!s.StartConnecting())
            return Lines{"no connect"};
        s.server.Accept();
        std::size_t offset = 0;
        std::size_t next = 0;
        const auto feed = [&](const std::string& reply) {
            std::size_t from = 0;
            for (; next < cuts.size() && cuts[next] < offset + reply.size(); ++next) {
                s.server.Feed(std::string_view(reply).substr(from, cuts[next] - offset - from));
                s.server.Settle();
                from = cuts[next] - offset;
            }
            s.server.Feed(std::string_view(reply).substr(from));
            s.server.Settle();
            offset += reply.size();
        };
        s.server.Settle();
        feed(replies[0]);
        feed(replies[1]);
        if (s.control.Busy())
            return Lines{"still connecting"};
        s.control.GetArticle(5);
        feed(replies[2]);
        Lines seen = s.log.lines;
        seen.push_back("text " + s.log.received);
        const TDocHeaders& headers = s.control.DocOutput().Headers();
        for (std::size_t i = 0; i < headers.Count(); ++i)
            seen.push_back("header " + headers.At(i).Name + "=" + headers.At(i).Value);
        seen.push_back("sent " + s.server.TakeSent());
        return seen;
    };

    const Lines whole = play({});
    ASSERT_EQ(whole, (Lines{"busy", "state 2 resolving host", "state 3 host resolved",
                            "state 1 connecting", "state 4 connected", "idle", "busy", "doc 1",
                            "doc 2", "doc 3", "doc 5", "idle",
                            "text First line\r\n.Leading dot\r\n..Two dots\r\n\r\nLast line\r\n",
                            "header Path=x!not-for-mail", "header From=Ann <ann@example.com>",
                            "header Subject=A long subject\tthat was folded",
                            "header ORGANIZATION=Acme", "sent MODE READER\r\nARTICLE 5\r\n"}));
    std::vector<std::size_t> everyByte;
    for (std::size_t cut = 1; cut < total; ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        ASSERT_EQ(play({cut}), whole);
        everyByte.push_back(cut);
    }
    SCOPED_TRACE("a byte at a time");
    EXPECT_EQ(play(everyByte), whole);
}

TEST(NntpControlOnFakeStream, AHandlerThatPumpsEventsWhileMoreArrivesGetsTheArticleWholeAndOnce) {
    // The program's progress window repaints from inside the data event, and
    // each repaint here lets the next piece of the article in.
    OnFakeStream s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectOrFail());
    std::string body;
    for (int i = 0; i < 3000; ++i)
        body += (i % 7 == 0 ? ".line " : "line ") + std::to_string(i) + "\r\n";
    const std::string reply =
        "220 1 <1@x>\r\n" + ScriptedNewsServer::DataBlock("Subject: big\r\n\r\n" + body);
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < reply.size(); at += 997)
        pieces.push_back(reply.substr(at, 997));

    const auto record = s.control.OnDocOutput;
    std::size_t fed = 0;
    int nested = 0;
    int heldOff = 0;
    s.control.OnDocOutput = [&](TNNTP* sender, TDocument& doc) {
        record(sender, doc);
        ++nested;
        EXPECT_EQ(nested, 1) << "an event was raised inside another";
        if (fed < pieces.size())
            s.server.Feed(pieces[fed++]);
        QCoreApplication::processEvents();
        if (s.server.ReadingPaused())
            ++heldOff;
        --nested;
    };

    s.control.GetArticle(1);
    s.server.Feed(pieces[fed++]);
    ASSERT_TRUE(s.server.Settle());
    EXPECT_EQ(fed, pieces.size());
    EXPECT_GT(heldOff, 0) << "nothing arrived while a handler pumped events";
    EXPECT_EQ(s.log.received, body);
    EXPECT_EQ(s.log.lines, (Lines{"busy", "doc 1", "doc 2", "doc 3", "doc 5", "idle"}));
    EXPECT_EQ(s.control.State(), nntpConnected);
    EXPECT_FALSE(s.server.Unread());
}

TEST(NntpControlOnFakeStream, AChallengeInTheMiddleOfAnOperationIsAnsweredAndTheCommandSentAgain) {
    const std::string article =
        "220 5 <5@x>\r\n" + ScriptedNewsServer::DataBlock("Subject: x\r\n\r\nbody\r\n");
    const std::string posting = "Newsgroups: misc.test\r\n\r\ntext\r\n.\r\n";
    const std::vector<std::pair<std::string, std::string>> credentials = {
        {"AUTHINFO USER reader\r\n", "381 Password required\r\n"},
        {"AUTHINFO PASS secret\r\n", "281 Welcome\r\n"}};
    struct Case {
        const char* what;
        std::function<void(TNNTP&)> start;
        std::vector<std::pair<std::string, std::string>> before; // up to the challenge
        std::vector<std::pair<std::string, std::string>> after;  // from the command again
        Lines events;
    };
    const Case cases[] = {
        {"GROUP",
         [](TNNTP& c) { c.SelectGroup("misc.test"); },
         {{"GROUP misc.test\r\n", "480 Authentication required\r\n"}},
         {{"GROUP misc.test\r\n", "211 3 1 3 misc.test\r\n"}},
         {"busy", "auth", "select misc.test 1 3 3", "idle"}},
        {"ARTICLE",
         [](TNNTP& c) { c.GetArticle(5); },
         {{"ARTICLE 5\r\n", "480 Authentication required\r\n"}},
         {{"ARTICLE 5\r\n", article}},
         {"busy", "auth", "doc 1", "doc 2", "doc 3", "doc 5", "idle"}},
        {"POST, challenged after the article",
         [](TNNTP& c) {
             c.DocInput().Headers().Clear();
             c.DocInput().Headers().Add("Newsgroups", "misc.test");
             c.SendDocument(std::nullopt, "", "text");
         },
         {{"POST\r\n", "340 Send it\r\n"}, {posting, "480 Authentication required\r\n"}},
         {{"POST\r\n", "340 Send it\r\n"}, {posting, "240 Article received\r\n"}},
         {"busy", "input 1", "input 2", "input 3", "auth", "input 1", "input 2", "input 3",
          "input 5", "idle"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OnFakeStream s;
        ASSERT_NO_FATAL_FAILURE(s.ConnectOrFail());
        c.start(s.control);
        for (const auto& exchanges : {c.before, credentials, c.after})
            for (const auto& [sent, reply] : exchanges)
                ASSERT_NO_FATAL_FAILURE(s.Answer(sent, reply));
        EXPECT_EQ(s.log.lines, c.events);
        EXPECT_EQ(s.server.TakeSent(), "");
        EXPECT_EQ(s.control.State(), nntpConnected);
    }
}

TEST(NntpControlOnFakeStream, ALineOneByteOverTheLimitEndsTheOperationAndTheConnection) {
    struct Case {
        const char* what;
        std::function<void(TNNTP&)> start;
        std::string before; // the reply ahead of the endless line
        std::size_t limit;
        Lines events;
    };
    const Case cases[] = {
        {"status line",
         [](TNNTP& c) { c.SelectGroup("misc.test"); },
         "",
         nntp::MaxStatusLine,
         {"busy", "error 5", "state 6 disconnected", "idle"}},
        {"data line",
         [](TNNTP& c) { c.ListGroups(); },
         "215 list follows\r\n",
         nntp::MaxTextLine,
         {"busy", "doc 1", "doc 4", "doc 5", "error 5", "state 6 disconnected", "idle"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OnFakeStream s;
        ASSERT_NO_FATAL_FAILURE(s.ConnectOrFail());
        c.start(s.control);
        s.server.Feed(c.before + "211 " + std::string(c.limit - 4, '9'));
        ASSERT_TRUE(s.server.Settle());
        EXPECT_TRUE(s.control.Busy()) << "a line as long as allowed was refused";
        EXPECT_TRUE(s.server.Open());

        s.server.Feed("9");
        ASSERT_TRUE(s.server.Settle());
        EXPECT_FALSE(s.control.Busy());
        EXPECT_EQ(s.log.lines, c.events);
        EXPECT_FALSE(s.server.Open());
        EXPECT_EQ(s.control.State(), nntpDisconnected);
    }
}

// --- Pipelined fetching.

// The server's side of a fetch with commands sent ahead: it answers, in
// order, every command the control has sent, up to answerLimit articles.
struct PipelineServer {
    explicit PipelineServer(OnFakeStream& fake) : s(fake) {}
    OnFakeStream& s;
    std::vector<int> missing;  // answered 423
    bool challenge = false;    // 480 until credentials come
    std::size_t bodyLines = 2; // of each article
    std::size_t answerLimit = 1000;
    std::size_t articleCommands = 0; // ARTICLE lines received
    std::size_t answered = 0;        // ARTICLE lines answered
    std::size_t largestBatch = 0;    // ARTICLE lines in one write
    bool sawPaused = false;          // the control stopped reading
    std::string unread;

    static std::string Body(int n, std::size_t lines) {
        std::string body;
        for (std::size_t i = 0; i < lines; ++i)
            body += "article " + std::to_string(n) + " line " + std::to_string(i) + "\r\n";
        return body;
    }
    std::string Answer(const std::string& line) {
        if (line.starts_with("ARTICLE ")) {
            const int n = std::stoi(line.substr(8));
            ++answered;
            if (challenge)
                return "480 Authentication required\r\n";
            if (std::find(missing.begin(), missing.end(), n) != missing.end())
                return "423 No such article\r\n";
            return "220 " + std::to_string(n) + " <" + std::to_string(n) + "@x>\r\n" +
                   ScriptedNewsServer::DataBlock("Subject: " + std::to_string(n) + "\r\n\r\n" +
                                                 Body(n, bodyLines));
        }
        if (line.starts_with("AUTHINFO USER"))
            return "381 Password required\r\n";
        if (line.starts_with("AUTHINFO PASS")) {
            challenge = false;
            return "281 Welcome\r\n";
        }
        if (line.starts_with("GROUP "))
            return "211 3 1 3 " + line.substr(6) + "\r\n";
        return "500 What?\r\n";
    }
    void Serve() {
        const std::string sent = s.server.TakeSent();
        std::size_t batch = 0;
        for (std::size_t at = 0; (at = sent.find("ARTICLE ", at)) != std::string::npos; ++at)
            ++batch;
        articleCommands += batch;
        largestBatch = std::max(largestBatch, batch);
        unread += sent;
        std::string replies;
        for (std::size_t end; (end = unread.find("\r\n")) != std::string::npos;) {
            const std::string line = unread.substr(0, end);
            if (line.starts_with("ARTICLE ") && answered >= answerLimit)
                break;
            unread.erase(0, end + 2);
            replies += Answer(line);
        }
        if (!replies.empty())
            s.server.Feed(replies);
        // Replies held ahead are taken from the event loop.
        QCoreApplication::processEvents();
        ASSERT_TRUE(s.server.Settle());
        sawPaused = sawPaused || s.server.ReadingPaused();
    }
    // Runs one operation to its end; what it came to: the article's text or
    // the error.
    std::string Run(const std::function<void()>& start) {
        s.log.Clear();
        start();
        for (int pass = 0; pass < 20 && s.control.Busy(); ++pass)
            Serve();
        if (s.control.Busy())
            return "hangs";
        for (const std::string& event : s.log.lines)
            if (event.starts_with("error ") || event.starts_with("select "))
                return event;
        return s.log.received;
    }
};

TEST(NntpControlOnFakeStream, PlannedArticlesGoOutAheadAndComeBackInOrder) {
    struct Case {
        const char* what;
        std::vector<int> missing;
        bool challenge;
        std::size_t readAheadBytes;
        std::size_t bodyLines;
        bool expectPaused;
    };
    const Case cases[] = {
        {"all there", {}, false, nntp::ReadAheadBytes, 2, false},
        {"a missing one in the middle of the window",
         {4, 5},
         false,
         nntp::ReadAheadBytes,
         2,
         false},
        {"challenged while commands are in flight", {}, true, nntp::ReadAheadBytes, 2, false},
        {"more held than the byte bound", {}, false, 2000, 20, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OnFakeStream s;
        ASSERT_NO_FATAL_FAILURE(s.ConnectOrFail());
        s.control.SetReadAhead(8, c.readAheadBytes);
        PipelineServer server(s);
        server.missing = c.missing;
        server.challenge = c.challenge;
        server.bodyLines = c.bodyLines;

        s.control.PlanArticles(1, 20);
        for (int n = 1; n <= 12; ++n) {
            SCOPED_TRACE("article " + std::to_string(n));
            const bool missing =
                std::find(c.missing.begin(), c.missing.end(), n) != c.missing.end();
            EXPECT_EQ(server.Run([&] { s.control.GetArticle(n); }),
                      missing ? "error 423" : PipelineServer::Body(n, c.bodyLines));
            if (n == 1 && !c.challenge) {
                EXPECT_GT(server.articleCommands, 1u) << "nothing was sent ahead";
            }
        }
        // The rest of the plan is dropped: the group's reply is still the
        // group's, and an article asked for after it is fetched alone.
        EXPECT_EQ(server.Run([&] { s.control.SelectGroup("misc.other"); }),
                  "select misc.other 1 3 3");
        EXPECT_EQ(server.Run([&] { s.control.GetArticle(15); }),
                  PipelineServer::Body(15, c.bodyLines));
        EXPECT_LE(server.largestBatch, 8u);
        EXPECT_EQ(server.sawPaused, c.expectPaused);
        EXPECT_EQ(s.control.State(), nntpConnected);
        EXPECT_EQ(server.unread, "");
        // Every command sent got its reply, and none was asked twice
        // except those a challenge sent again.
        EXPECT_EQ(server.answered, server.articleCommands);
        if (!c.challenge) {
            EXPECT_LE(server.articleCommands, 20u + 1u);
        }
    }
}

TEST(NntpControlOnFakeStream, AConnectionLostWithCommandsInFlightFailsTheNextArticleOnly) {
    struct Case {
        const char* what;
        bool whileFetching; // else between two fetches
    };
    for (const Case& c : {Case{"between fetches", false}, Case{"during a fetch", true}}) {
        SCOPED_TRACE(c.what);
        OnFakeStream s;
        ASSERT_NO_FATAL_FAILURE(s.ConnectOrFail());
        PipelineServer server(s);
        server.answerLimit = 5;
        s.control.PlanArticles(1, 40);
        for (int n = 1; n <= 5; ++n)
            ASSERT_EQ(server.Run([&] { s.control.GetArticle(n); }), PipelineServer::Body(n, 2));
        if (c.whileFetching) {
            s.control.GetArticle(6);
            s.server.Feed("220 6 <6@x>\r\nSubject: 6\r\n\r\narticle 6 li");
            ASSERT_TRUE(s.server.Settle());
        }
        EXPECT_GE(server.articleCommands - server.answered, 10u);
        s.log.Clear();
        s.server.HangUp();
        ASSERT_TRUE(s.server.Settle());
        if (!c.whileFetching) {
            EXPECT_EQ(s.control.State(), nntpDisconnected);
            s.control.GetArticle(6);
            ASSERT_TRUE(s.log.WaitIdle());
        }
        EXPECT_FALSE(s.control.Busy());
        EXPECT_NE(std::find(s.log.lines.begin(), s.log.lines.end(), "error 3"), s.log.lines.end());
        EXPECT_EQ(s.log.received, "");
        EXPECT_EQ(s.control.State(), nntpDisconnected);
        EXPECT_THROW(s.control.GetArticle(7), EControlError);
    }
}

TEST(NntpControlOnFakeStream, ASilentServerIsGivenUpOnWithPlannedCommandsInFlight) {
    OnFakeStream s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectOrFail());
    s.control.SetReplyTimeout(50);
    PipelineServer server(s);
    server.answerLimit = 1;
    s.control.PlanArticles(1, 10);
    ASSERT_EQ(server.Run([&] { s.control.GetArticle(1); }), PipelineServer::Body(1, 2));
    s.log.Clear();
    s.control.GetArticle(2);
    ASSERT_TRUE(s.log.WaitIdle());
    EXPECT_NE(std::find(s.log.lines.begin(), s.log.lines.end(), "error 4"), s.log.lines.end());
    EXPECT_EQ(s.control.State(), nntpDisconnected);
}

// Over real sockets and a link with a round trip of 10 ms: replies in
// order, a missing article failing alone, and a connection that drops with
// commands in flight failing the article it was carrying. (The server's
// close meets commands it has not read, so the reset may overtake replies
// already sent: where the loss shows is the network's choice, that
// nothing after it is delivered is not.)
TEST_F(NntpControl, PlannedArticlesThroughADistantLinkStopWhereTheLinkDrops) {
    for (int n = 1; n <= 30; ++n)
        if (n != 12)
            server.AddArticle("misc.test", n,
                              "Subject: " + std::to_string(n) + "\r\n\r\n" + "body " +
                                  std::to_string(n) + "\r\n");
    server.Drop("ARTICLE 25");
    LatencyProxy proxy(server.Host(), server.Port(), std::chrono::milliseconds(5));
    control.Connect(proxy.Host(), proxy.Port());
    ASSERT_TRUE(log.WaitIdle());
    control.SelectGroup("misc.test");
    ASSERT_TRUE(log.WaitIdle());
    control.PlanArticles(1, 30);
    int lost = 0;
    for (int n = 1; n <= 25 && lost == 0; ++n) {
        SCOPED_TRACE("article " + std::to_string(n));
        log.Clear();
        control.GetArticle(n);
        ASSERT_TRUE(log.WaitIdle());
        if (std::find(log.lines.begin(), log.lines.end(), "error 3") != log.lines.end()) {
            EXPECT_EQ(control.State(), nntpDisconnected);
            lost = n;
        } else if (n == 12) {
            EXPECT_EQ(log.lines[log.lines.size() - 2], "error 423");
        } else {
            EXPECT_EQ(log.received, "body " + std::to_string(n) + "\r\n");
        }
    }
    EXPECT_GT(lost, 0) << "the drop went unnoticed";
    EXPECT_THROW(control.GetArticle(lost + 1), EControlError);
}

// --- Header lines, apart from any connection.

TEST(NntpWire, HeaderLinesSplitAtTheColonAndFoldedLinesJoinTheLastHeader) {
    struct Case {
        const char* what;
        std::vector<std::string_view> lines;
        Lines headers; // name=value
    };
    const Case cases[] = {
        {"name and value", {"Subject: hello"}, {"Subject=hello"}},
        {"white space after the colon goes, the rest stays",
         {"Subject: \t two  words "},
         {"Subject=two  words "}},
        {"no space, a colon in the value", {"Date:10:15:00"}, {"Date=10:15:00"}},
        {"empty value", {"Keywords:"}, {"Keywords="}},
        {"folded lines keep their white space",
         {"From: a", "Subject: b", "\tc", " d"},
         {"From=a", "Subject=b\tc d"}},
        {"lines naming no header",
         {" stray continuation", "no colon", ": no name", "", "Subject: x"},
         {"Subject=x"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDocHeaders headers;
        for (const std::string_view line : c.lines)
            nntp::TakeHeaderLine(headers, line);
        Lines got;
        for (std::size_t i = 0; i < headers.Count(); ++i)
            got.push_back(headers.At(i).Name + "=" + headers.At(i).Value);
        EXPECT_EQ(got, c.headers);
    }
}

} // namespace
