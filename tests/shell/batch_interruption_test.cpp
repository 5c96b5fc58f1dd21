// A batch run stopped at any step, by SIGKILL or by SIGTERM, and then run
// again: every article reaches exactly one packet and every reply reaches
// the server exactly once.
#include "support/program_path.h"
#include "support/reply_packet_builder.h"
#include "support/scripted_news_server.h"
#include "support/temp_directory.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct StopPoint {
    const char* step; // as the program names it, with #n for the n-th time
    const char* signal;
};

std::ostream& operator<<(std::ostream& out, const StopPoint& point) {
    return out << point.step << " by " << point.signal;
}

struct BatchRun {
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    std::string output;
};

BatchRun RunBatch(const std::string& directory, const StopPoint* stop) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    if (stop) {
        env.insert("ZANDREL_TEST_SIGNAL_AT", stop->step);
        env.insert("ZANDREL_TEST_SIGNAL", stop->signal);
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QString::fromStdString(directory));
    process.start(QString::fromStdString(ZandrelProgram()), {"BATCH"});
    BatchRun run;
    if (!process.waitForStarted(10000) || !process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.exitStatus = process.exitStatus();
    run.exitCode = process.exitCode();
    run.output = process.readAllStandardOutput().toStdString();
    return run;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

const std::string Articles[] = {"body a1", "body a2", "body a3", "body b1", "body b2"};
const std::string Replies[] = {"first reply text", "second reply text", "third reply text"};

class BatchInterruption : public testing::TestWithParam<StopPoint> {
protected:
    void SetUp() override {
        for (int n = 1; n <= 3; ++n)
            server.AddArticle("g.a", n,
                              "From: a@example.org\r\nSubject: a\r\n\r\nbody a" +
                                  std::to_string(n) + "\r\n");
        for (int n = 1; n <= 2; ++n)
            server.AddArticle("g.b", n,
                              "From: b@example.org\r\nSubject: b\r\n\r\nbody b" +
                                  std::to_string(n) + "\r\n");
        TempWorkDirectory::Write(
            dir.File("ZANDREL.INI"),
            "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=" + std::to_string(server.Port()) +
                "\r\n[Identity]\r\nDomain=example.org\r\n"
                "[Qwk]\r\nQwk ID=MYBBS\r\n");
        TempWorkDirectory::Write(dir.File("GROUPS.DAT"), "g.a 1 0\r\ng.b 2 0\r\n");
        fs::create_directory(dir.File("WORK"));
        ReplyPacketBuilder packet("MYBBS");
        packet.Add({1, "Ann", "One", "All", Replies[0], ""});
        packet.Add({2, "Ann", "Two", "All", Replies[1], ""});
        packet.Add({1, "Ann", "Three", "All", Replies[2], ""});
        ASSERT_TRUE(
            WriteZipArchive(dir.File("WORK/MYBBS.REP"), {{"MYBBS.MSG", packet.MessageFile()}}));
    }

    ScriptedNewsServer server;
    TempWorkDirectory dir{false};
};

TEST_P(BatchInterruption, TheNextRunDeliversEverythingExactlyOnce) {
    const StopPoint& point = GetParam();
    const BatchRun stopped = RunBatch(dir.Path(), &point);
    if (std::string(point.signal) == "TERM") {
        EXPECT_EQ(stopped.exitStatus, QProcess::NormalExit);
        EXPECT_EQ(stopped.exitCode, 128 + 15) << stopped.output;
    } else {
        EXPECT_EQ(stopped.exitStatus, QProcess::CrashExit);
    }
    // The log of the killed run is there up to where it stopped.
    EXPECT_NE(stopped.output.find("Selecting newsgroup: g.a"), std::string::npos) << stopped.output;

    const BatchRun again = RunBatch(dir.Path(), nullptr);
    ASSERT_EQ(again.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(again.exitCode, 0) << again.output;

    std::string messages;
    for (const auto& [name, bytes] : ReadZipArchive(dir.File("WORK/MYBBS.QWK")))
        if (name == "MESSAGES.DAT")
            messages = bytes;
    for (const std::string& article : Articles)
        EXPECT_EQ(Occurrences(messages, article), 1u) << article;

    std::string posted;
    for (const std::string& article : server.PostedArticles())
        posted += article;
    for (const std::string& reply : Replies)
        EXPECT_EQ(Occurrences(posted, reply), 1u) << reply;
    EXPECT_FALSE(fs::exists(dir.File("WORK/MYBBS.REP")));
    EXPECT_FALSE(fs::exists(dir.File("POSTED.DAT")));
}

// Every step whose result is on disk, and one in the middle of fetching.
const StopPoint StopPoints[] = {
    {"article-saved#2", "KILL"},   {"article-saved#2", "TERM"},   {"packet-in-place", "KILL"},
    {"packet-in-place", "TERM"},   {"groups-saved", "KILL"},      {"groups-saved", "TERM"},
    {"reply-sending", "KILL"},     {"reply-sending#2", "TERM"},   {"reply-posted", "KILL"},
    {"reply-posted#2", "KILL"},    {"reply-posted#2", "TERM"},    {"reply-recorded#2", "KILL"},
    {"replies-rewritten", "KILL"}, {"replies-rewritten", "TERM"},
};

INSTANTIATE_TEST_SUITE_P(EveryStep, BatchInterruption, testing::ValuesIn(StopPoints));

} // namespace
