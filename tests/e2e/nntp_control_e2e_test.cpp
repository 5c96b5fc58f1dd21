// The news client control against the local INN 2 that scripts/newsd runs:
// connect, list, select, fetch and post, each ending with OnBusy(false).
#include "nntp_control/tnntp.h"
#include "support/blocking_nntp_client.h"
#include "support/local_news_server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const char* const Group = "zandrel.test.control";

class NntpControlE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite() { NewsdSucceeds(std::string("newgroup ") + Group); }

    void SetUp() override {
        control.SetReplyTimeout(10000);
        control.OnBusy = [this](TNNTP*, bool busy) {
            if (!busy)
                ++idles;
        };
        control.OnError = [this](TNNTP*, std::int16_t number, std::string& description,
                                 std::int32_t, const std::string&, const std::string&, std::int32_t,
                                 bool& cancel) {
            errors.push_back(std::to_string(number) + " " + description);
            cancel = true;
        };
        control.OnDocOutput = [this](TNNTP*, TDocument& doc) {
            if (doc.State == docBegin)
                received.clear();
            if (doc.State == docData) {
                std::string data;
                doc.GetData(data, TDocument::TextData);
                received += data;
            }
        };
        control.Connect("127.0.0.1", 119);
        ASSERT_TRUE(WaitIdle());
        ASSERT_EQ(control.State(), nntpConnected) << "no news server: run scripts/newsd start";
    }
    void TearDown() override {
        if (control.State() == nntpConnected && !control.Busy()) {
            control.SignOff();
            control.CloseConnection();
        }
        EXPECT_EQ(control.State(), nntpDisconnected);
    }

    // Pumps events until the operation has ended with OnBusy(false).
    bool WaitIdle() {
        const int wanted = idles + 1;
        QElapsedTimer clock;
        clock.start();
        while (idles < wanted && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return idles == wanted && !control.Busy();
    }

    TNNTP control;
    int idles = 0;
    std::vector<std::string> errors;
    std::string received;
};

std::string UniqueSubject(const char* what) {
    return std::string("Zandrel ") + what + " " + std::to_string(::getpid()) + "." +
           std::to_string(QDateTime::currentMSecsSinceEpoch());
}

TEST_F(NntpControlE2E, ListsTheServersGroupsAndTodaysNewOnes) {
    control.ListGroups();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(errors.empty());
    EXPECT_NE(received.find(std::string(Group) + " "), std::string::npos);
    EXPECT_EQ(received.substr(received.size() - 2), "\r\n");

    control.ListNewGroups(QDate(1899, 12, 30).daysTo(QDate::currentDate().addDays(-1)));
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(NntpControlE2E, PostsAnArticleThatReadsBackThroughSelectAndFetch) {
    const std::string subject = UniqueSubject("control post");
    TDocHeaders& headers = control.DocInput().Headers();
    headers.Clear();
    headers.Add("From", "Zandrel Test <test@zandrel.localdomain>");
    headers.Add("Newsgroups", Group);
    headers.Add("Subject", subject);
    headers.Add("Organization", "Zandrel E2E");
    control.SendDocument(std::nullopt, "", "First line\r\n.dot line\r\n\r\nlast line\r\n");
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(errors.empty()) << errors.front();

    std::int32_t first = 0, last = 0;
    control.OnSelectGroup = [&](TNNTP*, const std::string& name, std::int32_t f, std::int32_t l,
                                std::int32_t) {
        EXPECT_EQ(name, Group);
        first = f;
        last = l;
    };
    control.SelectGroup(Group);
    ASSERT_TRUE(WaitIdle());
    ASSERT_GE(last, first);
    ASSERT_GT(last, 0);

    control.GetArticle(last);
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(control.DocOutput().Headers().Item("subject").Value, subject);
    EXPECT_EQ(control.DocOutput().Headers().Item("Organization").Value, "Zandrel E2E");
    EXPECT_EQ(received, "First line\r\n.dot line\r\n\r\nlast line\r\n");

    // The blocking client sees the same article.
    BlockingNntpClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", 119)) << client.lastReply();
    ASSERT_TRUE(client.group(Group));
    const auto text = client.article(last);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\r\n\r\nFirst line\r\n.dot line\r\n"), std::string::npos);
}

TEST_F(NntpControlE2E, ServerRefusalsEndTheOperationWithAnError) {
    control.SelectGroup("zandrel.no.such.group");
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].substr(0, 3), "411");

    control.SelectGroup(Group);
    ASSERT_TRUE(WaitIdle());
    control.GetArticle(2000000000);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].substr(0, 3), "423");
    EXPECT_EQ(control.State(), nntpConnected);
}

} // namespace
