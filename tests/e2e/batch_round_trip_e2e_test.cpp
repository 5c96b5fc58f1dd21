// The unattended round trip as cron runs it: `zandrel BATCH` with no display
// against the local news server takes the new articles of the queued groups
// out as a QWK packet and posts the replies of the reply packet.
#include "support/blocking_nntp_client.h"
#include "support/local_news_server.h"
#include "support/program_path.h"
#include "support/reply_packet_builder.h"
#include "support/temp_directory.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string UniqueGroup(const std::string& suffix) {
    return UniqueGroupName("zandrel.batch") + "." + suffix;
}

struct BatchResult {
    bool finished = false;
    int exitCode = -1;
    std::string output;
};

BatchResult RunBatch(const std::string& directory) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QString::fromStdString(directory));
    process.start(QString::fromStdString(ZandrelProgram()), {"BATCH"});
    BatchResult result;
    if (!process.waitForStarted(10000))
        return result;
    result.finished = process.waitForFinished(120000);
    if (!result.finished)
        process.kill();
    process.waitForFinished(5000);
    result.exitCode = process.exitCode();
    result.output = process.readAllStandardOutput().toStdString();
    return result;
}

TEST(BatchRoundTrip, PacketOutAndRepliesPostedUnattended) {
    const std::string incoming = UniqueGroup("in");
    const std::string outgoing = UniqueGroup("out");
    ASSERT_TRUE(NewsdSucceeds("newgroup " + incoming + " " + outgoing))
        << "is scripts/newsd running?";

    BlockingNntpClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", 119)) << client.lastReply();
    for (int i = 1; i <= 2; ++i)
        ASSERT_TRUE(client
                        .post("From: Ann Example <ann@example.org>\r\nNewsgroups: " + incoming +
                              "\r\nSubject: Article " + std::to_string(i) +
                              "\r\n\r\nBody of article " + std::to_string(i) + "\r\n")
                        .ok)
            << client.lastReply();

    TempWorkDirectory dir(false);
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=119\r\n"
                             "[Identity]\r\nDomain=example.org\r\nOrganization=Zandrel Test\r\n"
                             "[Qwk]\r\nQwk ID=MYBBS\r\n");
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"),
                             incoming + " 1 0\r\n" + outgoing + " 2 0\r\nmisc.unqueued -1 0\r\n");
    fs::create_directory(dir.File("WORK"));
    ReplyPacketBuilder packet("MYBBS");
    packet.Add({2, "John Doe", "Hello", "All", "Hello from the batch run\n.dot line", ""});
    ASSERT_TRUE(WriteZipArchive(dir.File("WORK/MYBBS.REP"), {{"MYBBS.MSG", packet.MessageFile()}}));

    const BatchResult run = RunBatch(dir.Path());
    ASSERT_TRUE(run.finished) << "the batch run did not end by itself";
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("Selecting newsgroup: " + incoming), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Sending article to " + outgoing), std::string::npos) << run.output;

    // The packet holds the two articles and the files offline readers look for.
    const auto files = ReadZipArchive(dir.File("WORK/MYBBS.QWK"));
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files)
        names.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"CONTROL.DAT", "DOOR.ID", "MESSAGES.DAT"}));
    for (const auto& [name, bytes] : files)
        if (name == "MESSAGES.DAT") {
            EXPECT_NE(bytes.find("Body of article 1"), std::string::npos);
            EXPECT_NE(bytes.find("Body of article 2"), std::string::npos);
        }

    // The reply reached the server and the reply packet is gone.
    EXPECT_FALSE(fs::exists(dir.File("WORK/MYBBS.REP")));
    const auto range = client.group(outgoing);
    ASSERT_TRUE(range.has_value());
    ASSERT_GE(range->count, 1);
    const auto posted = client.article(range->last);
    ASSERT_TRUE(posted.has_value());
    EXPECT_NE(posted->find("From: John Doe <John.Doe@example.org>"), std::string::npos);
    EXPECT_NE(posted->find("\r\n.dot line\r\n"), std::string::npos);

    // The read pointers reached GROUPS.DAT once the packet was in place.
    const std::string groups = TempWorkDirectory::Read(dir.File("GROUPS.DAT"));
    const auto incomingRange = client.group(incoming);
    ASSERT_TRUE(incomingRange.has_value());
    EXPECT_NE(groups.find(incoming + " 1 " + std::to_string(incomingRange->last) + "\r\n"),
              std::string::npos)
        << groups;

    // A second run finds only our own reply, which stays out: no packet.
    const BatchResult again = RunBatch(dir.Path());
    ASSERT_TRUE(again.finished);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_FALSE(fs::exists(dir.File("WORK/MYBBS.QWK")));
}

} // namespace
