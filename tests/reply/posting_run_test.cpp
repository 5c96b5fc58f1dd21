// The posting run against the scripted news server: what is sent, in which
// order, what the log says, and what stays in the reply archive.
#include "reply/posting_run.h"

#include "mime/article_decoder.h"
#include "qwk_format/thread_store.h"
#include "reply/posting_journal.h"

#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "nntp/news_connection.h"
#include "support/recording_views.h"
#include "support/reply_packet_builder.h"
#include "support/scripted_news_server.h"
#include "support/temp_directory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

struct PostedArticle {
    std::string Headers;
    std::string Body;
};

const ReplyDraft First{1, "John Doe", "First", "All", "Hello\n.dot line\n..two", ""};
const ReplyDraft Unqueued{9, "Lost Soul", "Nowhere", "All", "No group has conference 9", ""};
const ReplyDraft Second{2, "jdoe@example.net", "Second", "All", "World", ""};
const ReplyDraft Third{1, "Jane Roe", "Third", "All", "Again", ""};

class PostingRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.File("WORK"));
        fs::create_directories(Temp());
        settings.NntpServer = server.Host();
        settings.NntpPort = server.Port();
        settings.QwkId = "MYBBS";
        settings.WorkDirectory = dir.File("WORK");
        settings.Domain = "example.org";
        settings.Organization = "Example Inc.";
        table.Append("alt.unqueued", -1, 0);
        table.Append("alt.first", 1, 0);
        table.Append("alt.second", 2, 0);
        connection = std::make_unique<NewsConnection>(settings, view);
        connection->ConnectAndWait();
        ASSERT_FALSE(connection->Disconnected());
    }
    void TearDown() override { connection->DisconnectAndWait(); }

    std::string Temp() const { return dir.File("TEMP"); }
    std::string Journal() const { return dir.File("POSTED.DAT"); }
    std::string Archive(const std::string& name = "MYBBS.REP") const {
        return dir.File("WORK/" + name);
    }

    void WritePacket(const ReplyPacketBuilder& packet, const std::string& archive = "MYBBS.REP",
                     const std::string& messageFile = "MYBBS.MSG") {
        ASSERT_TRUE(WriteZipArchive(Archive(archive), {{messageFile, packet.MessageFile()},
                                                       {"DOOR.ID", "DOOR = SomeReader\r\n"}}));
    }

    PostingSummary Run() {
        return PostingRun(*connection, table, settings, Temp(), Journal(), log, progress, unzip,
                          zip, ids);
    }

    std::vector<PostedArticle> Posted() const {
        std::vector<PostedArticle> articles;
        for (const std::string& wire : server.PostedArticles()) {
            const auto split = wire.find("\r\n\r\n");
            articles.push_back({wire.substr(0, split), wire.substr(split + 4)});
        }
        return articles;
    }

    // The message file of the archive as it stands after the run.
    std::string KeptMessageFile(const std::string& archive = "MYBBS.REP") const {
        for (const auto& [name, bytes] : ReadZipArchive(Archive(archive)))
            if (name == "MYBBS.MSG")
                return bytes;
        return "(no MYBBS.MSG in the archive)";
    }

    TempWorkDirectory dir{false};
    ScriptedNewsServer server;
    Settings settings;
    RecordingConnectionView view;
    std::unique_ptr<NewsConnection> connection;
    NewsGroupTable table;
    RecordingLog log;
    RecordingProgress progress;
    TUnzipFile unzip;
    TZipFile zip;
    MessageIdSource ids{[] { return QDateTime(QDate(2026, 12, 9), QTime(18, 0)); },
                        [] { return 42; }};
};

TEST_F(PostingRunTest, PostsEachReplyToItsGroupAndKeepsTheOneWithoutAGroup) {
    ReplyPacketBuilder packet("MYBBS");
    packet.Add(First).Add(Unqueued).Add(Second);
    WritePacket(packet);

    const PostingSummary summary = Run();

    EXPECT_TRUE(summary.Ran);
    EXPECT_EQ(summary.Posted, 2);
    EXPECT_EQ(summary.NotPosted, 1);
    const auto posted = Posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].Headers, "From: John Doe <John.Doe@example.org>\r\n"
                                 "Newsgroups: alt.first\r\n"
                                 "Subject: First\r\n"
                                 "Organization: Example Inc.\r\n"
                                 "Message-ID: <46365.75.1.42@zandrel.example.org>\r\n"
                                 "User-Agent: Zandrel/1.0");
    EXPECT_EQ(posted[0].Body, "Hello\r\n..dot line\r\n...two\r\n");
    // The reply without a group does not count; the log says why it stays.
    EXPECT_THAT(posted[1].Headers, HasSubstr("From: jdoe@example.net\r\n"));
    EXPECT_THAT(posted[1].Headers, HasSubstr("Message-ID: <46365.75.2.42@zandrel.example.org>"));

    EXPECT_EQ(log.caption, "Posting articles");
    EXPECT_THAT(log.lines,
                ElementsAre("Sending article to alt.first",
                            "Conference 9 is not queued as any newsgroup; the reply is kept.",
                            "Sending article to alt.second",
                            "1 reply not posted, kept in MYBBS.REP"));
    EXPECT_EQ(log.showCount, 1);
    EXPECT_FALSE(log.shown);
    EXPECT_THAT(progress.captions, ElementsAre("Unzipping MYBBS.REP", "Zipping MYBBS.REP"));
    EXPECT_FALSE(progress.shown);

    EXPECT_EQ(KeptMessageFile(), ReplyPacketBuilder("MYBBS").Add(Unqueued).MessageFile());
    // The reader's other files go back into the packet with the kept reply.
    EXPECT_EQ(ReadZipArchive(Archive()).size(), 2u);
    EXPECT_FALSE(fs::exists(Temp() + "/kept-replies"));
}

TEST_F(PostingRunTest, ARefusedReplyIsLoggedWithTheServersReasonAndKept) {
    server.Reply(ScriptedNewsServer::EndOfArticle, "441 Posting refused by policy\r\n", 1);
    ReplyPacketBuilder packet("MYBBS");
    packet.Add(First).Add(Second);
    WritePacket(packet);

    const PostingSummary summary = Run();

    EXPECT_EQ(summary.Posted, 1);
    ASSERT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(log.lines[0], "Sending article to alt.first");
    EXPECT_THAT(log.lines[1], StartsWith("        Article not posted. "));
    EXPECT_THAT(log.lines[1], HasSubstr("Posting refused by policy"));
    EXPECT_EQ(log.lines[2], "Sending article to alt.second");
    EXPECT_EQ(log.lines[3], "1 reply not posted, kept in MYBBS.REP");
    EXPECT_EQ(KeptMessageFile(), ReplyPacketBuilder("MYBBS").Add(First).MessageFile());
}

TEST_F(PostingRunTest, RepliesAfterADroppedConnectionAreKept) {
    server.Reply(ScriptedNewsServer::EndOfArticle, "240 Article received\r\n", 1);
    server.Drop(ScriptedNewsServer::EndOfArticle, "", 1);
    ReplyPacketBuilder packet("MYBBS");
    packet.Add(First).Add(Second).Add(Third);
    WritePacket(packet);

    const PostingSummary summary = Run();

    EXPECT_EQ(summary.Posted, 1);
    EXPECT_EQ(summary.NotPosted, 2);
    EXPECT_EQ(KeptMessageFile(), ReplyPacketBuilder("MYBBS").Add(Second).Add(Third).MessageFile());
    EXPECT_EQ(log.lines.back(), "2 replies not posted, kept in MYBBS.REP");
}

TEST_F(PostingRunTest, ADamagedMessageFileKeepsItsUnreadRestByteForByte) {
    ReplyDraft damaged = Second;
    damaged.BlockCountText = "2x";
    ReplyPacketBuilder packet("MYBBS");
    packet.Add(First).Add(damaged).Add(Third).AddRaw("trailing bytes");
    WritePacket(packet);

    const PostingSummary summary = Run();

    EXPECT_EQ(summary.Posted, 1);
    EXPECT_TRUE(summary.Packet.KeptUnreadRest);
    EXPECT_EQ(
        KeptMessageFile(),
        ReplyPacketBuilder("MYBBS").Add(damaged).Add(Third).AddRaw("trailing bytes").MessageFile());
    EXPECT_EQ(Posted().size(), 1u);
}

TEST_F(PostingRunTest, AFullyPostedPacketIsDeletedWhateverTheCaseOfItsNames) {
    settings.Domain.clear();
    settings.Organization.clear();
    ReplyPacketBuilder packet("MYBBS");
    packet.Add(Second).Add({1, "A", "header only", "All", "", ""}).Add(Second);
    WritePacket(packet, "mybbs.rep", "mybbs.msg");

    const PostingSummary summary = Run();

    EXPECT_EQ(summary.Posted, 2);
    EXPECT_EQ(summary.NotPosted, 0);
    EXPECT_TRUE(summary.Packet.ArchiveUpdated);
    EXPECT_FALSE(fs::exists(Archive("mybbs.rep")));
    EXPECT_THAT(progress.captions, ElementsAre("Unzipping MYBBS.REP"));
    const auto posted = Posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].Headers, "From: jdoe@example.net\r\n"
                                 "Newsgroups: alt.second\r\n"
                                 "Subject: Second\r\n"
                                 "Message-ID: <46365.75.2.42@zandrel>\r\n"
                                 "User-Agent: Zandrel/1.0");
    EXPECT_THAT(log.lines,
                ElementsAre("Sending article to alt.second", "Sending article to alt.second"));
}

TEST_F(PostingRunTest, WithoutAReadablePacketOrAConnectionTheArchiveIsLeftAlone) {
    EXPECT_FALSE(Run().Ran); // no archive at all
    EXPECT_EQ(progress.showCount, 0);

    ReplyPacketBuilder packet("MYBBS");
    packet.Add(First);
    WritePacket(packet, "MYBBS.REP", "OTHER.MSG");
    const std::string before = TempWorkDirectory::Read(Archive());
    EXPECT_FALSE(Run().Ran); // no message file of that name inside
    EXPECT_EQ(progress.showCount, 1);
    EXPECT_FALSE(progress.shown);
    EXPECT_EQ(TempWorkDirectory::Read(Archive()), before);

    WritePacket(packet);
    connection->DisconnectAndWait();
    EXPECT_FALSE(Run().Ran); // not connected
    EXPECT_EQ(progress.showCount, 1);

    EXPECT_EQ(log.showCount, 0);
    EXPECT_TRUE(server.PostedArticles().empty());
    EXPECT_TRUE(fs::exists(Archive()));
}

// A reply a killed run sent without learning the answer keeps its
// Message-ID, and the server's word decides whether it goes again.
TEST_F(PostingRunTest, AReplySentBeforeIsPostedOnceWhateverTheServerSays) {
    struct Case {
        const char* what;
        const char* statReply; // nullptr: the built-in behaviour
        const char* postReply;
        std::size_t posts;
    };
    const std::string sentId = "<sent.before@zandrel.example.org>";
    for (const Case& c : {
             Case{"the server has it", "223 0 <sent.before@zandrel.example.org>\r\n", nullptr, 0},
             Case{"the server lacks it", nullptr, nullptr, 1},
             Case{"STAT unknown, the posting a duplicate", "500 What?\r\n", "441 435 Duplicate\r\n",
                  1},
         }) {
        SCOPED_TRACE(c.what);
        ScriptedNewsServer news;
        if (c.statReply)
            news.Reply("STAT", c.statReply);
        if (c.postReply)
            news.Reply(ScriptedNewsServer::EndOfArticle, c.postReply);
        settings.NntpPort = news.Port();
        connection = std::make_unique<NewsConnection>(settings, view);
        connection->ConnectAndWait();
        ReplyPacketBuilder packet("MYBBS");
        packet.Add(First);
        WritePacket(packet);
        TempWorkDirectory::Write(Journal(),
                                 "PACKET " + FileDigest(Archive()) + "\nSENDING " +
                                     ContentDigest(ReplyPacketBuilder::ReplyRecords(First)) +
                                     "-1 " + sentId + "\n");

        const PostingSummary summary = Run();
        EXPECT_EQ(summary.Posted, 1);
        EXPECT_EQ(summary.NotPosted, 0);
        EXPECT_FALSE(fs::exists(Archive()));
        EXPECT_FALSE(fs::exists(Journal()));
        const std::vector<std::string> posted = news.PostedArticles();
        ASSERT_EQ(posted.size(), c.posts);
        if (!posted.empty()) {
            EXPECT_THAT(posted[0], HasSubstr("Message-ID: " + sentId));
        }
        connection->DisconnectAndWait();
    }
}

// A reply continues the thread of the message it answers, carries the whole
// subject the reader could only cut, and its characters arrive as UTF-8.
TEST_F(PostingRunTest, RepliesCarryTheirThreadTheirWholeSubjectAndTheirCharacters) {
    const std::string parentSubject = "A subject about caf\xC3\xA9 that is rather long";
    ThreadStore threads(dir.File("THREADS.DAT"));
    threads.Remember(1, 42, "<parent@x>", "<root@x>", QDate::currentDate(), parentSubject);
    // As a reader of a code page 437 packet writes them: the subject field
    // cut to 25 characters, "é" as 0x82, a long subject as a line on top.
    const std::string cut = std::string("Re: A subject about caf\x82 that").substr(0, 25);
    struct Case {
        const char* what;
        ReplyDraft draft;
        std::vector<std::string> headers; // each somewhere in the posted headers
        std::string body;
    };
    const std::string longSubject = "Subject: A subject of sixty characters, longer than the field";
    const Case cases[] = {
        {"a reply with a cut subject",
         {1, "John Doe", cut, "All", "Quoting you\nMerci, caf\x82", "", "42"},
         {"References: <root@x> <parent@x>\r\n", "=?UTF-8?Q?caf=C3=A9?=",
          "Content-Type: text/plain; charset=UTF-8\r\n", "Content-Transfer-Encoding: 8bit\r\n"},
         "Quoting you\r\nMerci, caf\xC3\xA9\r\n"},
        {"a subject on the reader's line",
         {1, "John Doe", longSubject.substr(9, 25), "All", longSubject + "\n\nText", "", ""},
         {"Subject: A subject of sixty characters, longer than the field\r\n"},
         "Text\r\n"},
        {"a reference not known here",
         {1, "John Doe", "Unknown", "All", "Text", "", "77"},
         {"Subject: Unknown\r\n"},
         "Text\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReplyPacketBuilder packet("MYBBS");
        packet.Add(c.draft);
        WritePacket(packet);
        const std::size_t before = server.PostedArticles().size();
        const PostingSummary summary = PostingRun(*connection, table, settings, Temp(), Journal(),
                                                  log, progress, unzip, zip, ids, &threads);
        EXPECT_EQ(summary.Posted, 1);
        const auto posted = Posted();
        ASSERT_EQ(posted.size(), before + 1);
        for (const std::string& header : c.headers)
            EXPECT_THAT(posted.back().Headers + "\r\n", HasSubstr(header));
        EXPECT_EQ(posted.back().Body, c.body);
        if (std::string(c.what) == "a reference not known here") {
            EXPECT_THAT(posted.back().Headers, Not(HasSubstr("References")));
            EXPECT_THAT(log.lines, Contains(HasSubstr("# 77) is not known here")));
        }
        if (std::string(c.what) == "a reply with a cut subject") {
            std::string headers = posted.back().Headers + "\r\n";
            for (auto fold = headers.find("\r\n "); fold != std::string::npos;
                 fold = headers.find("\r\n "))
                headers.replace(fold, 3, " ");
            const auto at = headers.find("Subject: ") + 9;
            const std::string subject = headers.substr(at, headers.find("\r\n", at) - at);
            EXPECT_EQ(mime::DecodeArticle({{"Subject", subject}}, "x").Subject,
                      "Re: " + parentSubject);
        }
    }
}

} // namespace
