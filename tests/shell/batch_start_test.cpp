// The program as a scheduler starts it: the BATCH argument, no display, and
// the exit status that tells how far the round trip came.
#include "support/program_path.h"
#include "support/scripted_news_server.h"
#include "support/temp_directory.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

QProcessEnvironment NoDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    return env;
}

struct ProgramRun {
    bool finished = false;
    int exitCode = -1;
    QString errors;
};

ProgramRun Start(const std::string& directory, const QStringList& arguments, int waitMs) {
    QProcess process;
    process.setProcessEnvironment(NoDisplay());
    process.setWorkingDirectory(QString::fromStdString(directory));
    process.start(QString::fromStdString(ZandrelProgram()), arguments);
    ProgramRun run;
    if (!process.waitForStarted(10000))
        return run;
    run.finished = process.waitForFinished(waitMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    } else {
        run.exitCode = process.exitCode();
    }
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

TEST(BatchStart, LowerCaseBatchWithoutDisplayRunsAndEndsByItself) {
    TempWorkDirectory dir(false);
    // A server that refuses at once, so the run cannot connect.
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=1\r\n");
    const ProgramRun run = Start(dir.Path(), {"batch"}, 60000);
    ASSERT_TRUE(run.finished) << "the batch run waited for something";
    EXPECT_EQ(run.exitCode, 2) << "a run that could not connect must say so";
    EXPECT_TRUE(run.errors.contains("Could not connect to 127.0.0.1")) << run.errors.toStdString();
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("TEMP")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("ZANDREL.INI")));
}

TEST(BatchStart, EmptyDirectoryBatchRunEndsByItself) {
    TempWorkDirectory dir(false);
    const ProgramRun run = Start(dir.Path(), {"BATCH"}, 120000);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("WORK")));
}

TEST(BatchStart, BatchWithASecondArgumentOpensTheWindow) {
    TempWorkDirectory dir(false);
    QProcessEnvironment env = NoDisplay();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QString::fromStdString(dir.Path()));
    process.start(QString::fromStdString(ZandrelProgram()), {"BATCH", "x"});
    ASSERT_TRUE(process.waitForStarted(10000));
    EXPECT_FALSE(process.waitForFinished(3000)) << "an interactive start waits for its user";
    process.kill();
    process.waitForFinished(5000);
}

TEST(BatchStart, BatchErrorsGoToStandardErrorInsteadOfABox) {
    TempWorkDirectory dir(false);
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Last Get Groups=never\r\n");
    const ProgramRun run = Start(dir.Path(), {"BATCH"}, 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.errors.contains("'never' is not a valid date")) << run.errors.toStdString();
    // Settings read only in part stop the run before it connects anywhere.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.errors.contains("connect")) << run.errors.toStdString();
}

TEST(BatchStart, AReplyPacketThatCannotBeReadIsNamedKeptAndFailsTheRun) {
    ScriptedNewsServer server;
    TempWorkDirectory dir(false);
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=" +
                                 std::to_string(server.Port()) + "\r\n[Qwk]\r\nQwk ID=MYBBS\r\n");
    std::filesystem::create_directory(dir.File("WORK"));
    TempWorkDirectory::Write(dir.File("WORK/MYBBS.REP"), "not an archive");

    const ProgramRun run = Start(dir.Path(), {"BATCH"}, 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 5) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("MYBBS.REP")) << run.errors.toStdString();
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("WORK/MYBBS.REP")), "not an archive");
}

} // namespace
