// Get Articles against the local news server that scripts/newsd runs: real
// articles through the real control, into a real packet archive.
#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "qwk/retrieval_run.h"
#include "support/blocking_nntp_client.h"
#include "support/latency_proxy.h"
#include "support/local_news_server.h"
#include "support/recording_views.h"
#include "support/reply_packet_builder.h"
#include "support/temp_directory.h"

#include "qwk_format/messages_dat_test_reader.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <QDateTime>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> ZipEntryNames(const std::string& path) {
    std::vector<std::string> names;
    int error = 0;
    if (zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error)) {
        for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
            names.emplace_back(zip_get_name(archive, i, 0));
        zip_close(archive);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class GetArticlesE2E : public testing::Test {
protected:
    void SetUp() override {
        group = "zandrel.test.get." + std::to_string(::getpid()) + "x" +
                std::to_string(QDateTime::currentMSecsSinceEpoch());
        Newsd("newgroup " + group);
        ASSERT_TRUE(poster.connect("127.0.0.1", NewsdPort())) << "no news server: scripts/newsd";

        fs::create_directories(dir.File("TEMP"));
        fs::create_directories(dir.File("WORK"));
        settings.NntpServer = "127.0.0.1";
        settings.NntpPort = NewsdPort();
        settings.QwkId = "E2E";
        settings.LinesPerMessage = 90;
        settings.Organization = "Zandrel Test Site";
        settings.WorkDirectory = dir.File("WORK");
        connection = std::make_unique<NewsConnection>(settings, view);
    }
    void TearDown() override {
        if (connection)
            connection->DisconnectAndWait();
    }

    void Post(const std::string& subject, const std::string& extraHeaders,
              const std::string& body) {
        const auto result =
            poster.post("From: Tester <tester@example.invalid>\r\nNewsgroups: " + group +
                        "\r\nSubject: " + subject + "\r\n" + extraHeaders + "\r\n" + body);
        ASSERT_TRUE(result.ok) << result.reason;
    }

    void RunGetArticles() {
        connection->ConnectAndWait();
        ASSERT_FALSE(connection->Disconnected());
        qwk::RetrieveArticles(
            {*connection, table, settings, dir.File("TEMP"), log, rows, progress, zip, unzip});
        connection->DisconnectAndWait();
    }

    std::string group;
    BlockingNntpClient poster;
    TempWorkDirectory dir{false};
    Settings settings;
    RecordingConnectionView view;
    std::unique_ptr<NewsConnection> connection;
    NewsGroupTable table;
    RecordingLog log;
    RecordingRows rows;
    RecordingProgress progress;
    TZipFile zip;
    TUnzipFile unzip;
};

TEST_F(GetArticlesE2E, NewArticlesBecomeAPacketAndAreNotFetchedTwice) {
    std::string longBody;
    for (int i = 1; i <= 91; ++i)
        longBody += "long line " + std::to_string(i) + "\r\n";
    Post("First", "", "Hello\r\n.a line starting with a dot\r\n");
    Post("Long", "", longBody);
    Post("Mine", "Organization: ZANDREL TEST SITE\r\n", "posted from here\r\n");
    const auto range = poster.group(group);
    ASSERT_TRUE(range);
    ASSERT_EQ(range->count, 3);

    table.Append(group, 5, 0);
    RunGetArticles();

    EXPECT_EQ(table[0].LastRead, range->last);
    EXPECT_EQ(ZipEntryNames(dir.File("WORK/E2E.QWK")),
              (std::vector<std::string>{"CONTROL.DAT", "DOOR.ID", "LASTREAD.DAT", "MESSAGES.DAT"}));
    const ReadBackPacket packet = ReadMessagesDat(dir.File("TEMP/MESSAGES.DAT"));
    ASSERT_TRUE(packet.wellFormed);
    ASSERT_EQ(packet.messages.size(), 3u);
    EXPECT_EQ(packet.messages[0].Field(qwk::header::Subject), "First");
    EXPECT_EQ(packet.messages[0].ArticleLines(),
              (std::vector<std::string>{"Hello", ".a line starting with a dot"}));
    EXPECT_EQ(packet.messages[0].Field(qwk::header::From), "Tester");
    EXPECT_EQ(packet.messages[0].Conference(), 5);
    EXPECT_TRUE(packet.messages[1].Continues());
    EXPECT_EQ(packet.messages[2].ArticleLines(), std::vector<std::string>{"long line 91"});
    EXPECT_NE(
        std::find(log.lines.begin(), log.lines.end(), "        Article orginated here. Ignoring."),
        log.lines.end());

    // Nothing new: the packet, not collected yet, stays as it was.
    const std::string firstPacket = TempWorkDirectory::Read(dir.File("WORK/E2E.QWK"));
    RunGetArticles();
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("WORK/E2E.QWK")), firstPacket);
    EXPECT_EQ(table[0].LastRead, range->last);

    // A second run with news adds it to the same packet.
    Post("Later", "", "after the first run\r\n");
    RunGetArticles();
    const ReadBackPacket both = ReadMessagesDat(dir.File("TEMP/MESSAGES.DAT"));
    ASSERT_TRUE(both.wellFormed);
    ASSERT_EQ(both.messages.size(), 4u);
    EXPECT_EQ(both.messages[0].Field(qwk::header::Subject), "First");
    EXPECT_EQ(both.messages[3].Field(qwk::header::Subject), "Later");
    const auto files = ReadZipArchive(dir.File("WORK/E2E.QWK"));
    const auto messages = std::find_if(
        files.begin(), files.end(), [](const auto& file) { return file.first == "MESSAGES.DAT"; });
    ASSERT_NE(messages, files.end());
    EXPECT_EQ(messages->second, TempWorkDirectory::Read(dir.File("TEMP/MESSAGES.DAT")));
}

// Through a link with a round trip of 20 ms the commands go out ahead of
// the replies; the packet must not show it.
TEST_F(GetArticlesE2E, ADistantServerGivesTheSamePacketAsANearOne) {
    for (int i = 1; i <= 150; ++i)
        Post("Number " + std::to_string(i),
             i % 50 == 0 ? "Organization: ZANDREL TEST SITE\r\n" : "",
             "body of " + std::to_string(i) + "\r\n");
    table.Append(group, 5, 0);

    RunGetArticles();
    const std::string near = TempWorkDirectory::Read(dir.File("TEMP/MESSAGES.DAT"));
    const std::int32_t lastRead = table[0].LastRead;
    fs::remove(dir.File("WORK/E2E.QWK"));
    table[0].LastRead = 0;

    LatencyProxy proxy("127.0.0.1", NewsdPort(), std::chrono::milliseconds(10));
    settings.NntpPort = proxy.Port();
    RunGetArticles();
    EXPECT_EQ(proxy.Connections(), 1);
    EXPECT_EQ(table[0].LastRead, lastRead);
    const ReadBackPacket packet = ReadMessagesDat(dir.File("TEMP/MESSAGES.DAT"));
    ASSERT_TRUE(packet.wellFormed);
    EXPECT_EQ(packet.messages.size(), 147u);
    EXPECT_TRUE(TempWorkDirectory::Read(dir.File("TEMP/MESSAGES.DAT")) == near);
}

TEST_F(GetArticlesE2E, NewestNAndAGroupTheServerLacks) {
    for (int i = 1; i <= 5; ++i)
        Post("Number " + std::to_string(i), "", "body\r\n");
    const auto range = poster.group(group);
    ASSERT_TRUE(range);

    table.Append(group + ".missing", 1, 0);
    table.Append(group, 2, -2);
    RunGetArticles();

    EXPECT_EQ(table[0].LastRead, 0);
    EXPECT_EQ(table[1].LastRead, range->last);
    const ReadBackPacket packet = ReadMessagesDat(dir.File("TEMP/MESSAGES.DAT"));
    ASSERT_EQ(packet.messages.size(), 2u);
    EXPECT_EQ(packet.messages[0].Field(qwk::header::Subject), "Number 4");
    EXPECT_EQ(packet.messages[1].Field(qwk::header::Subject), "Number 5");
}

} // namespace
