// Post Articles against the local news server that scripts/newsd runs: a
// reply packet as offline readers write it goes to the server, and what the
// server does not take stays in the reply archive.
#include "reply/posting_run.h"

#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "core/run_views.h"
#include "nntp/news_connection.h"
#include "support/blocking_nntp_client.h"
#include "support/local_news_server.h"
#include "support/recording_views.h"
#include "support/reply_packet_builder.h"
#include "support/temp_directory.h"

#include <QDateTime>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// A group name no earlier run has used.
std::string FreshGroup(const char* stem) {
    return std::string("zandrel.test.post.") + stem + "." + std::to_string(::getpid()) + "x" +
           std::to_string(QDateTime::currentMSecsSinceEpoch());
}

// The header lines of an article read back, in order, as "Name: value".
std::vector<std::string> HeaderLines(const std::string& article) {
    std::vector<std::string> lines;
    const std::string block = article.substr(0, article.find("\r\n\r\n"));
    std::size_t start = 0;
    while (start < block.size()) {
        const auto end = block.find("\r\n", start);
        lines.push_back(block.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? block.size() : end + 2;
    }
    return lines;
}

std::string Body(const std::string& article) {
    return article.substr(article.find("\r\n\r\n") + 4);
}

// Where each wanted header stands among the article's header lines; -1 when
// it is missing.
std::vector<int> Positions(const std::vector<std::string>& lines,
                           const std::vector<std::string>& wanted) {
    std::vector<int> positions;
    for (const std::string& line : wanted) {
        const auto it = std::find(lines.begin(), lines.end(), line);
        positions.push_back(it == lines.end() ? -1 : static_cast<int>(it - lines.begin()));
    }
    return positions;
}

class PostArticlesE2E : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.File("WORK"));
        fs::create_directories(dir.File("TEMP"));
        settings.NntpServer = "127.0.0.1";
        settings.NntpPort = NewsdPort();
        settings.QwkId = "MYBBS";
        settings.WorkDirectory = dir.File("WORK");
        first = FreshGroup("first");
        second = FreshGroup("second");
        Newsd("newgroup " + first + " " + second);
        table.Append(second + ".unqueued", -1, 0);
        table.Append(first, 1, 0);
        table.Append(second, 2, 0);
        connection = std::make_unique<NewsConnection>(settings, view);
        connection->ConnectAndWait();
        ASSERT_FALSE(connection->Disconnected()) << "no news server: start scripts/newsd";
        ASSERT_TRUE(reader.connect("127.0.0.1", settings.NntpPort)) << reader.lastReply();
    }
    void TearDown() override {
        if (connection)
            connection->DisconnectAndWait();
    }

    std::string Archive() const { return dir.File("WORK/MYBBS.REP"); }

    PostingSummary Post(const ReplyPacketBuilder& packet) {
        EXPECT_TRUE(WriteZipArchive(Archive(), {{"MYBBS.MSG", packet.MessageFile()}}));
        return PostingRun(*connection, table, settings, dir.File("TEMP"), dir.File("POSTED.DAT"),
                          log, progress, unzip, zip);
    }

    // The newest article of the group, read back from the server.
    std::string Newest(const std::string& group) {
        const auto range = reader.group(group);
        if (!range || range->count == 0)
            return "(no article in " + group + ")";
        return reader.article(range->last).value_or("(unreadable)");
    }

    TempWorkDirectory dir{false};
    Settings settings;
    RecordingConnectionView view;
    std::unique_ptr<NewsConnection> connection;
    NewsGroupTable table;
    RecordingLog log;
    RecordingProgress progress;
    TUnzipFile unzip;
    TZipFile zip;
    BlockingNntpClient reader;
    std::string first;
    std::string second;
};

TEST_F(PostArticlesE2E, EachReplyReachesItsGroupWithItsHeadersInOrder) {
    settings.Domain = "example.org";
    settings.Organization = "Zandrel Test Lab";
    ReplyPacketBuilder packet("MYBBS");
    packet.Add({1, "John Doe", "First reply", "All", "Hello\n.one dot\n..two dots\nBye", ""})
        .Add({2, "jdoe@example.net", "Second reply", "All", "World", ""});

    const PostingSummary summary = Post(packet);

    EXPECT_EQ(summary.Posted, 2);
    EXPECT_FALSE(fs::exists(Archive()));

    const std::string article = Newest(first);
    const auto lines = HeaderLines(article);
    const auto positions =
        Positions(lines, {"From: John Doe <John.Doe@example.org>", "Newsgroups: " + first,
                          "Subject: First reply", "Organization: Zandrel Test Lab"});
    ASSERT_TRUE(std::is_sorted(positions.begin(), positions.end()) && positions[0] >= 0) << article;
    const auto messageId = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("Message-ID: ", 0) == 0;
    });
    ASSERT_NE(messageId, lines.end()) << article;
    EXPECT_GT(messageId - lines.begin(), positions.back());
    EXPECT_THAT(*messageId,
                testing::MatchesRegex(
                    R"(Message-ID: <[0-9]+\.[0-9][0-9]\.1\.[0-9]+@zandrel\.example\.org>)"));
    EXPECT_EQ(Body(article), "Hello\r\n.one dot\r\n..two dots\r\nBye\r\n");

    const std::string other = Newest(second);
    EXPECT_THAT(other, HasSubstr("From: jdoe@example.net\r\n"));
    EXPECT_THAT(other, HasSubstr(".2."));
    EXPECT_EQ(Body(other), "World\r\n");
}

TEST_F(PostArticlesE2E, WithoutDomainAndOrganizationTheReplyGoesAsWritten) {
    ReplyPacketBuilder packet("MYBBS");
    packet.Add({2, "jdoe@example.net", "Plain", "All", "Plain text", ""});

    EXPECT_EQ(Post(packet).Posted, 1);

    const std::string article = Newest(second);
    EXPECT_THAT(article, HasSubstr("From: jdoe@example.net\r\n"));
    EXPECT_THAT(article, testing::ContainsRegex(R"(Message-ID: <[0-9.]+@zandrel>)"));
    EXPECT_THAT(article, testing::Not(HasSubstr("Organization: Zandrel")));
    EXPECT_FALSE(fs::exists(Archive()));
}

TEST_F(PostArticlesE2E, ARefusedReplyStaysInTheArchiveAlone) {
    // A bare name without a mail domain is not an address the server takes.
    const ReplyDraft refused{1, "John Doe", "Refused", "All", "Not an address", ""};
    ReplyPacketBuilder packet("MYBBS");
    packet.Add({2, "jdoe@example.net", "Taken", "All", "Fine", ""}).Add(refused);

    const PostingSummary summary = Post(packet);

    EXPECT_EQ(summary.Posted, 1);
    EXPECT_EQ(summary.NotPosted, 1);
    EXPECT_THAT(Newest(second), HasSubstr("Subject: Taken"));
    EXPECT_EQ(reader.group(first)->count, 0);
    ASSERT_TRUE(fs::exists(Archive()));
    const auto files = ReadZipArchive(Archive());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].first, "MYBBS.MSG");
    EXPECT_EQ(files[0].second, ReplyPacketBuilder("MYBBS").Add(refused).MessageFile());
    ASSERT_GE(log.lines.size(), 3u);
    const std::string& notPosted = log.lines[log.lines.size() - 3];
    EXPECT_THAT(notPosted, StartsWith("        Article not posted. "));
    EXPECT_THAT(notPosted, HasSubstr("Internet syntax")); // the server's own words
    // and what to do about it
    EXPECT_THAT(log.lines[log.lines.size() - 2], HasSubstr("Set Domain in Settings"));
}

} // namespace
