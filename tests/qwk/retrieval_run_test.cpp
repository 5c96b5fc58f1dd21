#include "qwk/retrieval_run.h"

#include "qwk_format/message_file.h"
#include "qwk_format/messages_dat_test_reader.h"
#include "qwk_format/packet_packing.h"
#include "support/recording_views.h"
#include "support/scripted_news_server.h"
#include "support/temp_directory.h"

#include "archive/unzip_file.h"
#include "archive/zip_file.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ArticleText(const std::string& headers, const std::string& body) {
    return "From: John Doe <jdoe@example.com>\r\nSubject: Test\r\n"
           "Date: Mon, 05 Feb 1996 13:45:10 GMT\r\n" +
           headers + "\r\n" + body;
}

std::string Body(int lines) {
    std::string body;
    for (int i = 1; i <= lines; ++i)
        body += "line " + std::to_string(i) + "\r\n";
    return body;
}

std::vector<std::string> ZipEntryNames(const std::string& path) {
    std::vector<std::string> names;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive)
        return names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        names.emplace_back(zip_get_name(archive, i, 0));
    zip_close(archive);
    return names;
}

class RetrievalRunTest : public testing::Test {
protected:
    RetrievalRunTest() {
        fs::create_directories(Temp());
        fs::create_directories(Work());
        settings.NntpServer = server.Host();
        settings.NntpPort = server.Port();
        settings.QwkId = "TESTQWK";
        settings.LinesPerMessage = 90;
        settings.WorkDirectory = Work();
    }

    std::string Temp() const { return dir.File("TEMP"); }
    std::string Work() const { return dir.File("WORK"); }
    std::string Archive() const { return Work() + "/TESTQWK.QWK"; }
    std::string MessagesDat() const { return Temp() + "/MESSAGES.DAT"; }

    void ConnectAndRun() {
        connection.NNTP1.SetReplyTimeout(5000);
        connection.ConnectAndWait();
        ASSERT_EQ(connection.NNTP1.State(), nntpConnected);
        Run();
    }

    void Run() {
        summary = qwk::RetrieveArticles(
            {connection, table, settings, Temp(), log, rows, progress, zip, unzip});
    }

    // The commands of the run, without the connection's own.
    std::vector<std::string> RunCommands() const {
        std::vector<std::string> commands;
        for (const std::string& command : server.Commands()) {
            if (command.rfind("GROUP", 0) == 0 || command.rfind("ARTICLE", 0) == 0)
                commands.push_back(command);
        }
        return commands;
    }

    qwk::RetrievalSummary summary;
    ScriptedNewsServer server;
    TempWorkDirectory dir{false};
    Settings settings;
    RecordingConnectionView view;
    NewsConnection connection{settings, view};
    NewsGroupTable table;
    RecordingLog log;
    RecordingRows rows;
    RecordingProgress progress;
    TZipFile zip;
    TUnzipFile unzip;
};

TEST_F(RetrievalRunTest, StartsAfterLastReadOrAtTheNewestN) {
    for (const char* group : {"g.read", "g.newest", "g.ahead", "g.unqueued"}) {
        for (int n = 100; n <= 105; ++n)
            server.AddArticle(group, n, ArticleText("", "x\r\n"));
    }
    table.Append("g.read", 1, 102);
    table.Append("g.newest", 2, -3);
    table.Append("g.ahead", 3, 500); // the server renumbered
    table.Append("g.unqueued", -1, 0);

    ConnectAndRun();

    EXPECT_EQ(RunCommands(),
              (std::vector<std::string>{"GROUP g.read", "ARTICLE 103", "ARTICLE 104", "ARTICLE 105",
                                        "GROUP g.newest", "ARTICLE 103", "ARTICLE 104",
                                        "ARTICLE 105", "GROUP g.ahead"}));
    EXPECT_EQ(table[0].LastRead, 105);
    EXPECT_EQ(table[1].LastRead, 105);
    EXPECT_EQ(table[2].LastRead, 500);
    EXPECT_EQ(table[3].LastRead, 0);
    EXPECT_EQ(rows.changed, (std::set<std::size_t>{0, 1}));
    EXPECT_TRUE(table.GroupsChanged);
    for (const std::string& line : log.lines)
        EXPECT_EQ(line.find("g.unqueued"), std::string::npos);
}

TEST_F(RetrievalRunTest, LogsEveryStepAndConsumesMissingArticles) {
    server.AddArticle("g.one", 1, ArticleText("", "a\r\n"));
    server.AddArticle("g.one", 3, ArticleText("", "c\r\n"));
    table.Append("g.missing", 0, 0); // the server has no such group
    table.Append("g.one", 4, 0);

    ConnectAndRun();

    EXPECT_EQ(log.caption, "Retrieving articles");
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "Selecting newsgroup: g.missing", "Selecting newsgroup: g.one",
                             "    Retrieving article # 1", "        Saving article.",
                             "    Retrieving article # 2", "        Article not found.",
                             "    Retrieving article # 3", "        Saving article."}));
    EXPECT_FALSE(log.shown);
    EXPECT_EQ(table[0].LastRead, 0);
    EXPECT_EQ(table[1].LastRead, 3);
    EXPECT_EQ(rows.changed.count(0), 0u);

    const ReadBackPacket packet = ReadMessagesDat(MessagesDat());
    ASSERT_TRUE(packet.wellFormed);
    ASSERT_EQ(packet.messages.size(), 2u);
    EXPECT_EQ(packet.messages[0].Field(qwk::header::MessageNumber), "1");
    EXPECT_EQ(packet.messages[1].Field(qwk::header::MessageNumber), "3");
    EXPECT_EQ(packet.messages[1].Conference(), 4);
}

TEST_F(RetrievalRunTest, OwnArticlesAreDroppedOnlyWhenAnOrganizationIsSet) {
    server.AddArticle("g.org", 1, ArticleText("Organization: ACME CORP\r\n", "own\r\n"));
    server.AddArticle("g.org", 2, ArticleText("Organization: Acme Corp.\r\n", "other\r\n"));
    server.AddArticle("g.org", 3, ArticleText("", "no organization\r\n"));
    table.Append("g.org", 0, 0);
    settings.Organization = "Acme Corp";

    ConnectAndRun();

    EXPECT_EQ(log.lines[2], "        Article orginated here. Ignoring.");
    ReadBackPacket packet = ReadMessagesDat(MessagesDat());
    ASSERT_EQ(packet.messages.size(), 2u);
    EXPECT_EQ(packet.messages[0].ArticleLines(), std::vector<std::string>{"other"});
    EXPECT_EQ(packet.messages[1].ArticleLines(), std::vector<std::string>{"no organization"});

    // With no Organization configured, articles without one are not own.
    settings.Organization.clear();
    table[0].LastRead = 0;
    fs::remove(Archive()); // collected
    Run();
    packet = ReadMessagesDat(MessagesDat());
    EXPECT_EQ(packet.messages.size(), 3u);
}

TEST_F(RetrievalRunTest, LongArticlesAreSplitAndDotLinesSurvive) {
    server.AddArticle("g.long", 1, ArticleText("", Body(91)));
    server.AddArticle("g.long", 2, ArticleText("", Body(180)));
    server.AddArticle("g.long", 3, ArticleText("", ".starts with a dot\r\n..two dots\r\n.\r\n"));
    table.Append("g.long", 9, 0);

    ConnectAndRun();

    const ReadBackPacket packet = ReadMessagesDat(MessagesDat());
    ASSERT_TRUE(packet.wellFormed);
    ASSERT_EQ(packet.messages.size(), 5u);
    const auto& m = packet.messages;
    EXPECT_EQ(m[0].ArticleLines().size(), 90u);
    EXPECT_TRUE(m[0].Continues());
    EXPECT_EQ(m[1].ArticleLines(), std::vector<std::string>{"line 91"});
    EXPECT_FALSE(m[1].Continues());
    EXPECT_EQ(m[2].ArticleLines().size(), 90u);
    EXPECT_TRUE(m[2].Continues());
    EXPECT_EQ(m[3].ArticleLines().size(), 90u);
    EXPECT_EQ(m[3].ArticleLines().back(), "line 180");
    EXPECT_FALSE(m[3].Continues());
    for (int i : {0, 1})
        EXPECT_EQ(m[i].Field(qwk::header::MessageNumber), "1");
    EXPECT_EQ(m[4].ArticleLines(),
              (std::vector<std::string>{".starts with a dot", "..two dots", "."}));
    EXPECT_EQ(m[4].Field(qwk::header::From), "John Doe");
    EXPECT_EQ(m[4].Field(qwk::header::Date), "02-05-96");
}

TEST_F(RetrievalRunTest, PacketHoldsMessagesControlFileAndDoorId) {
    server.AddArticle("g.three", 1, ArticleText("", "three\r\n"));
    server.AddArticle("g.seven", 1, ArticleText("", "seven\r\n"));
    table.Append("g.three", 3, 0);
    table.Append("g.seven", 7, 0);
    TempWorkDirectory::Write(Temp() + "/LEFTOVER.TXT", "from an earlier run");

    ConnectAndRun();

    std::vector<std::string> names = ZipEntryNames(Archive());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"CONTROL.DAT", "DOOR.ID", "LASTREAD.DAT", "MESSAGES.DAT"}));
    EXPECT_EQ(progress.showCount, 1);

    const ReadBackPacket packet = ReadMessagesDat(MessagesDat());
    ASSERT_EQ(packet.messages.size(), 2u);
    EXPECT_EQ(packet.messages[0].Conference(), 3);
    EXPECT_EQ(packet.messages[1].Conference(), 7);

    const std::string control = TempWorkDirectory::Read(Temp() + "/CONTROL.DAT");
    EXPECT_NE(control.find("\r\n2\r\n1\r\n3\r\ng.three\r\n7\r\ng.seven\r\n"), std::string::npos)
        << control;
}

TEST_F(RetrievalRunTest, WhatAnInterruptedPackingLeftIsRemoved) {
    const std::string stale = Archive() + ".a1B2c3";
    const std::string others[] = {Archive() + ".BAK", Work() + "/OTHER.QWK.a1B2c3"};
    for (const std::string& path : {stale, others[0], others[1]})
        std::ofstream(path) << "x";

    ConnectAndRun();

    EXPECT_FALSE(fs::exists(stale));
    for (const std::string& kept : others)
        EXPECT_TRUE(fs::exists(kept)) << kept;
}

// A range with more gaps than articles is walked by the numbers that exist
// (or, when the server cannot list them, number by number); an article too
// large to take is skipped for good, as asking again would not help.
TEST_F(RetrievalRunTest, AWideRangeIsWalkedByItsNumbersAndATooLargeArticleIsSkipped) {
    server.AddArticle("g.sparse", 1, ArticleText("", "one\r\n"));
    server.AddArticle("g.sparse", 500000, ArticleText("", std::string(3000, 'x') + "\r\n"));
    server.AddArticle("g.sparse", 1000000, ArticleText("", "last\r\n"));
    server.AddArticle("g.unlisted", 1, ArticleText("", "one\r\n"));
    server.AddArticle("g.unlisted", 40, ArticleText("", "forty\r\n"));
    server.Reply("LISTGROUP g.unlisted", "500 What?\r\n");
    table.Append("g.sparse", 1, 0);
    table.Append("g.unlisted", 2, 0);
    settings.MaximumArticleBytes = 2048;

    ConnectAndRun();

    std::vector<std::string> commands = RunCommands();
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 4),
              (std::vector<std::string>{"GROUP g.sparse", "ARTICLE 1", "ARTICLE 500000",
                                        "ARTICLE 1000000"}));
    EXPECT_EQ(commands.size(), 4u + 1u + 40u) << "g.unlisted asked for number by number";
    const std::vector<std::string> all = server.Commands();
    EXPECT_NE(std::find(all.begin(), all.end(), "LISTGROUP g.sparse 1-1000000"), all.end());
    EXPECT_EQ(table[0].LastRead, 1000000);
    EXPECT_EQ(table[1].LastRead, 40);
    EXPECT_FALSE(summary.ServerFailed);
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                        "        The article is larger than 2 KB; skipped."),
              log.lines.end());
    const ReadBackPacket packet = ReadMessagesDat(MessagesDat());
    EXPECT_EQ(packet.messages.size(), 4u);
}

TEST_F(RetrievalRunTest, NothingSavedLeavesNoArchive) {
    server.AddArticle("g.own", 1, ArticleText("Organization: Here\r\n", "x\r\n"));
    table.Append("g.own", 0, 0);
    table.Append("g.empty", 1, 0);
    server.AddGroup("g.empty");
    settings.Organization = "here";
    TempWorkDirectory::Write(Temp() + "/MESSAGES.DAT", "previous messages");

    ConnectAndRun();

    EXPECT_FALSE(fs::exists(Archive()));
    EXPECT_FALSE(fs::exists(MessagesDat()));
    EXPECT_EQ(progress.showCount, 0);
    EXPECT_EQ(table[0].LastRead, 1);
}

// A packet the reader has not collected is added to, never replaced, and a
// run that ended before GROUPS.DAT took its read pointers does not deliver
// the same articles twice.
TEST_F(RetrievalRunTest, AnUncollectedPacketIsContinuedAndNeverDeliveredTwice) {
    server.AddArticle("g.a", 1, ArticleText("", "first\r\n"));
    server.AddArticle("g.b", 1, ArticleText("", "b one\r\n"));
    table.Append("g.a", 1, 0);
    table.Append("g.b", 2, 0);
    ConnectAndRun();
    ASSERT_TRUE(fs::exists(Archive()));

    // Nothing new: the packet stays exactly as it was.
    const std::string firstPacket = TempWorkDirectory::Read(Archive());
    Run();
    EXPECT_EQ(TempWorkDirectory::Read(Archive()), firstPacket);

    // New articles go after the old messages.
    server.AddArticle("g.a", 2, ArticleText("", "second\r\n"));
    Run();
    fs::remove_all(Temp());
    fs::create_directories(Temp());
    TUnzipFile reader;
    ASSERT_TRUE(UnpackPacket(reader, progress, Archive(), Temp()));
    ReadBackPacket packet = ReadMessagesDat(MessagesDat());
    ASSERT_TRUE(packet.wellFormed);
    ASSERT_EQ(packet.messages.size(), 3u);
    EXPECT_EQ(packet.messages[2].ArticleLines(), std::vector<std::string>{"second"});
    EXPECT_NE(TempWorkDirectory::Read(Temp() + "/CONTROL.DAT").find("\r\n3\r\n1\r\n"),
              std::string::npos);

    // GROUPS.DAT never took the last run's pointers (the run was killed):
    // the next run learns them from the packet and fetches nothing again.
    // A pointer the user moved elsewhere meanwhile is left alone.
    table[0].LastRead = 1;
    table[1].LastRead = -5;
    const std::size_t commandsBefore = server.Commands().size();
    Run();
    EXPECT_EQ(table[0].LastRead, 2);
    EXPECT_EQ(table[1].LastRead, 1); // fetched again, as the user asked
    const std::vector<std::string> commands = server.Commands();
    EXPECT_EQ(std::count_if(
                  commands.begin() + static_cast<std::ptrdiff_t>(commandsBefore), commands.end(),
                  [](const std::string& c) { return c == "ARTICLE 1" || c == "ARTICLE 2"; }),
              1)
        << "only g.b's article 1, for the pointer the user moved";
}

TEST_F(RetrievalRunTest, AnUncollectedPacketThatCannotBeReadStopsTheRunAndIsKept) {
    server.AddArticle("g.a", 1, ArticleText("", "first\r\n"));
    table.Append("g.a", 1, 0);
    TempWorkDirectory::Write(Archive(), "not a packet");
    connection.ConnectAndWait();
    try {
        Run();
        FAIL() << "the run went on over a packet it could not read";
    } catch (const qwk::MessageFileError& error) {
        EXPECT_NE(std::string(error.what()).find(Archive()), std::string::npos) << error.what();
    }
    EXPECT_EQ(TempWorkDirectory::Read(Archive()), "not a packet");
    EXPECT_EQ(table[0].LastRead, 0);
    EXPECT_EQ(RunCommands(), std::vector<std::string>{});
}

TEST_F(RetrievalRunTest, DisconnectedControlDoesNothing) {
    TempWorkDirectory::Write(Archive(), "previous packet");
    table.Append("g.any", 0, 0);
    Run();
    EXPECT_TRUE(fs::exists(Archive()));
    EXPECT_TRUE(log.lines.empty());
    EXPECT_FALSE(log.shown);
}

TEST_F(RetrievalRunTest, LostConnectionKeepsTheRestForTheNextRun) {
    for (int n = 1; n <= 4; ++n)
        server.AddArticle("g.drop", n, ArticleText("", "x\r\n"));
    server.AddArticle("g.after", 1, ArticleText("", "x\r\n"));
    server.Drop("ARTICLE 3");
    table.Append("g.drop", 0, 0);
    table.Append("g.after", 1, 0);

    ConnectAndRun();

    // Article 3 was never delivered: it stays unread, and what came before
    // is packed.
    EXPECT_EQ(table[0].LastRead, 2);
    EXPECT_EQ(table[1].LastRead, 0);
    EXPECT_EQ(ReadMessagesDat(MessagesDat()).messages.size(), 2u);
    EXPECT_TRUE(fs::exists(Archive()));
    EXPECT_FALSE(log.shown);
}

// Only "no such article" consumes a number; any other refusal stops the run
// with the article left for the next one.
struct Refusal {
    const char* reply;
    bool consumed;
};

class RetrievalRunRefusal : public RetrievalRunTest, public testing::WithParamInterface<Refusal> {};

TEST_P(RetrievalRunRefusal, ConsumesTheNumberOnlyForAMissingArticle) {
    for (int n = 1; n <= 3; ++n)
        server.AddArticle("g.one", n, ArticleText("", "x\r\n"));
    server.AddArticle("g.two", 1, ArticleText("", "x\r\n"));
    server.Reply("ARTICLE 2", std::string(GetParam().reply) + "\r\n");
    table.Append("g.one", 0, 0);
    table.Append("g.two", 1, 0);

    ConnectAndRun();

    EXPECT_TRUE(fs::exists(Archive()));
    if (GetParam().consumed) {
        EXPECT_FALSE(summary.ServerFailed);
        EXPECT_EQ(table[0].LastRead, 3);
        EXPECT_EQ(table[1].LastRead, 1);
        EXPECT_EQ(ReadMessagesDat(MessagesDat()).messages.size(), 3u);
    } else {
        EXPECT_TRUE(summary.ServerFailed);
        EXPECT_EQ(summary.ServerFailure, GetParam().reply);
        EXPECT_EQ(table[0].LastRead, 1);
        EXPECT_EQ(table[1].LastRead, 0);
        EXPECT_EQ(ReadMessagesDat(MessagesDat()).messages.size(), 1u);
        EXPECT_EQ(log.lines.back(),
                  std::string("        The server refused the article: ") + GetParam().reply);
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, RetrievalRunRefusal,
                         testing::Values(Refusal{"430 No such article", true},
                                         Refusal{"403 Archive unreadable", false},
                                         Refusal{"481 Authentication failed", false},
                                         Refusal{"502 Access denied", false}),
                         [](const testing::TestParamInfo<Refusal>& info) {
                             return std::string(info.param.reply).substr(0, 3);
                         });

TEST_F(RetrievalRunTest, AMissingWorkDirectoryStopsTheRunBeforeAnythingIsFetched) {
    server.AddArticle("g.io", 1, ArticleText("", "x\r\n"));
    table.Append("g.io", 0, 0);
    settings.WorkDirectory = dir.File("NO_WORK");

    EXPECT_THROW(ConnectAndRun(), qwk::MessageFileError);
    EXPECT_TRUE(RunCommands().empty());
    EXPECT_EQ(table[0].LastRead, 0);
}

TEST_F(RetrievalRunTest, APacketThatCannotBeWrittenGivesTheArticlesBack) {
    server.AddArticle("g.io", 1, ArticleText("", "x\r\n"));
    table.Append("g.io", 0, 0);
    fs::create_directories(Archive() + "/taken"); // the packet's name is not free

    EXPECT_THROW(ConnectAndRun(), qwk::MessageFileError);
    EXPECT_EQ(table[0].LastRead, 0);
    EXPECT_FALSE(fs::exists(MessagesDat()));
    EXPECT_FALSE(log.shown);
}

TEST_F(RetrievalRunTest, MessageFileErrorIsThrownAndGivesTheArticlesBack) {
    server.AddArticle("g.io", 1, ArticleText("", "x\r\n"));
    table.Append("g.io", 0, 0);
    connection.ConnectAndWait();
    ASSERT_EQ(connection.NNTP1.State(), nntpConnected);

    // TEMP is gone, so MESSAGES.DAT cannot be made.
    try {
        qwk::RetrieveArticles(
            {connection, table, settings, dir.File("NO_TEMP"), log, rows, progress, zip, unzip});
        FAIL() << "the run reported success without a message file";
    } catch (const qwk::MessageFileError& error) {
        EXPECT_NE(std::string(error.what()).find("MESSAGES.DAT"), std::string::npos);
    }
    EXPECT_FALSE(log.shown);
    EXPECT_EQ(table[0].LastRead, 0);
    EXPECT_FALSE(fs::exists(Archive()));
}

} // namespace
