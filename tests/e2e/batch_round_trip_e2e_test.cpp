// The unattended round trip as cron runs it: `zandrel BATCH` with no display
// against the local news server takes the new articles of the queued groups
// out as a QWK packet and posts the replies of the reply packet.
#include "mime/article_decoder.h"
#include "support/blocking_nntp_client.h"
#include "support/local_news_server.h"
#include "support/program_path.h"
#include "support/reply_packet_builder.h"
#include "support/temp_directory.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
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

// fileSizeLimit: the most bytes the run may write into one file, as a full
// disk would stop it; 0 for none.
BatchResult RunBatch(const std::string& directory, rlim_t fileSizeLimit = 0) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QString::fromStdString(directory));
    if (fileSizeLimit > 0)
        process.setChildProcessModifier([fileSizeLimit] {
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN); // a write past it fails instead
        });
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
    EXPECT_EQ(names,
              (std::vector<std::string>{"CONTROL.DAT", "DOOR.ID", "LASTREAD.DAT", "MESSAGES.DAT"}));
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

    // A second run finds only our own reply, which stays out: the packet,
    // not collected yet, stays as it was.
    const std::string firstPacket = TempWorkDirectory::Read(dir.File("WORK/MYBBS.QWK"));
    const BatchResult again = RunBatch(dir.Path());
    ASSERT_TRUE(again.finished);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("WORK/MYBBS.QWK")), firstPacket);
}

// A disk that fills up while a packet not yet collected is being added to:
// the packet stays as it was, the read pointers too, and the next run with
// room delivers everything, in the same packet.
TEST(BatchRoundTrip, AFullDiskLosesNothing) {
    const std::string group = UniqueGroup("full");
    ASSERT_TRUE(NewsdSucceeds("newgroup " + group)) << "is scripts/newsd running?";
    BlockingNntpClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", 119)) << client.lastReply();
    const auto post = [&](const std::string& subject, const std::string& body) {
        ASSERT_TRUE(client
                        .post("From: Ann Example <ann@example.org>\r\nNewsgroups: " + group +
                              "\r\nSubject: " + subject + "\r\n\r\n" + body)
                        .ok)
            << client.lastReply();
    };
    post("Small", "a short article\r\n");

    TempWorkDirectory dir(false);
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=119\r\n"
                             "[Qwk]\r\nQwk ID=MYBBS\r\n");
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), group + " 1 0\r\n");
    fs::create_directory(dir.File("WORK"));
    ASSERT_EQ(RunBatch(dir.Path()).exitCode, 0);
    const std::string firstPacket = TempWorkDirectory::Read(dir.File("WORK/MYBBS.QWK"));
    const std::string firstGroups = TempWorkDirectory::Read(dir.File("GROUPS.DAT"));

    std::string big;
    for (int i = 0; i < 1500; ++i)
        big += "line " + std::to_string(i) + " of an article too big for the disk\r\n";
    post("Big", big);
    const BatchResult full = RunBatch(dir.Path(), 32 * 1024);
    ASSERT_TRUE(full.finished);
    EXPECT_EQ(full.exitCode, 4) << full.output;
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("WORK/MYBBS.QWK")), firstPacket);
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("GROUPS.DAT")), firstGroups);

    const BatchResult roomy = RunBatch(dir.Path());
    EXPECT_EQ(roomy.exitCode, 0) << roomy.output;
    std::string messages;
    for (const auto& [name, bytes] : ReadZipArchive(dir.File("WORK/MYBBS.QWK")))
        if (name == "MESSAGES.DAT")
            messages = bytes;
    EXPECT_NE(messages.find("a short article"), std::string::npos);
    EXPECT_NE(messages.find("line 1499 of an article"), std::string::npos);
}

std::string HeaderOf(const std::string& article, const std::string& name) {
    std::string unfolded = article.substr(0, article.find("\r\n\r\n") + 2);
    for (auto fold = unfolded.find("\r\n "); fold != std::string::npos;
         fold = unfolded.find("\r\n "))
        unfolded.replace(fold, 3, " ");
    std::string key = "\r\n";
    key += name;
    key += ": ";
    const auto at = unfolded.find(key);
    if (at == std::string::npos)
        return {};
    const auto start = at + 4 + name.size();
    return unfolded.substr(start, unfolded.find("\r\n", start) - start);
}

// Replies made by a reader of the packet keep the thread, the whole subject
// and their accented letters, and a reply to a reply carries the chain.
TEST(BatchRoundTrip, RepliesContinueTheirThreadsInAnyLanguage) {
    const std::string group = UniqueGroup("threads");
    ASSERT_TRUE(NewsdSucceeds("newgroup " + group)) << "is scripts/newsd running?";
    BlockingNntpClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", 119)) << client.lastReply();
    const std::string parentId = "<parent." + group + "@example.org>";
    ASSERT_TRUE(
        client
            .post("From: Ann Example <ann@example.org>\r\nNewsgroups: " + group +
                  "\r\nSubject: =?UTF-8?Q?A_subject_about_caf=C3=A9_that_is_rather_long?=\r\n"
                  "Message-ID: " +
                  parentId +
                  "\r\nMIME-Version: 1.0\r\n"
                  "Content-Type: text/plain; charset=UTF-8\r\n\r\nThe parent\r\n")
            .ok)
        << client.lastReply();
    const auto parentRange = client.group(group);
    ASSERT_TRUE(parentRange.has_value());

    TempWorkDirectory dir(false);
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=119\r\n"
                             "[Identity]\r\nDomain=example.org\r\n[Qwk]\r\nQwk ID=MYBBS\r\n");
    TempWorkDirectory::Write(dir.File("GROUPS.DAT"), group + " 1 0\r\n");
    fs::create_directory(dir.File("WORK"));
    ASSERT_EQ(RunBatch(dir.Path()).exitCode, 0);
    fs::remove(dir.File("WORK/MYBBS.QWK")); // collected

    // As a code page 437 reader writes them: "é" as 0x82, the subject field
    // cut to 25 characters, a longer subject as a line on top of the text.
    const std::string number = std::to_string(parentRange->last);
    const std::string longSubject = "A reply subject of sixty characters, longer than its field";
    ReplyPacketBuilder packet("MYBBS");
    packet.Add({1, "Jos\x82 Doe", "Re: A subject about caf\x82", "Ann", "Merci, caf\x82 au lait",
                "", number});
    packet.Add({1, "John Doe", longSubject.substr(0, 25), "All",
                "Subject: " + longSubject + "\n\nPlain text", "", number});
    ASSERT_TRUE(WriteZipArchive(dir.File("WORK/MYBBS.REP"), {{"MYBBS.MSG", packet.MessageFile()}}));
    const BatchResult posted = RunBatch(dir.Path());
    EXPECT_EQ(posted.exitCode, 0) << posted.output;

    const auto afterReplies = client.group(group);
    ASSERT_TRUE(afterReplies.has_value());
    ASSERT_EQ(afterReplies->count, 3) << posted.output;
    const auto accented = client.article(afterReplies->last - 1);
    const auto plain = client.article(afterReplies->last);
    ASSERT_TRUE(accented && plain);
    EXPECT_EQ(HeaderOf(*accented, "References"), parentId);
    const mime::DecodedArticle decoded =
        mime::DecodeArticle({{"From", HeaderOf(*accented, "From")},
                             {"Subject", HeaderOf(*accented, "Subject")},
                             {"Content-Type", HeaderOf(*accented, "Content-Type")}},
                            accented->substr(accented->find("\r\n\r\n") + 4));
    EXPECT_EQ(decoded.Subject, "Re: A subject about caf\xC3\xA9 that is rather long");
    EXPECT_EQ(decoded.From, "Jos\xC3\xA9 Doe <Jos.Doe@example.org>");
    EXPECT_EQ(decoded.Body, "Merci, caf\xC3\xA9 au lait\r\n");
    EXPECT_EQ(HeaderOf(*plain, "Subject"), longSubject);
    EXPECT_EQ(plain->substr(plain->find("\r\n\r\n") + 4), "Plain text\r\n");
    EXPECT_EQ(HeaderOf(*plain, "Content-Type"), "") << "an ASCII reply needs no MIME";

    // The next run fetches the replies; a reply to one carries the chain.
    ASSERT_EQ(RunBatch(dir.Path()).exitCode, 0);
    const std::string replyId = HeaderOf(*plain, "Message-ID");
    ReplyPacketBuilder second("MYBBS");
    second.Add({1, "Ann", "Re: chain", "John", "And on", "", std::to_string(afterReplies->last)});
    ASSERT_TRUE(WriteZipArchive(dir.File("WORK/MYBBS.REP"), {{"MYBBS.MSG", second.MessageFile()}}));
    ASSERT_EQ(RunBatch(dir.Path()).exitCode, 0);
    const auto chain = client.group(group);
    ASSERT_TRUE(chain.has_value());
    const auto last = client.article(chain->last);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(HeaderOf(*last, "References"), parentId + " " + replyId);
}

} // namespace
