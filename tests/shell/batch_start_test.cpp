// The program as a scheduler starts it: the BATCH argument, no display, and
// the exit status that tells how far the round trip came.
#include "support/program_path.h"
#include "support/scripted_news_server.h"
#include "support/temp_directory.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

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

ProgramRun Start(const std::string& directory, const QStringList& arguments, int waitMs,
                 const QProcessEnvironment& environment = NoDisplay()) {
    QProcess process;
    process.setProcessEnvironment(environment);
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
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Last Get Groups=never\r\n"
                             "[Qwk]\r\nQwk ID=../../x\r\n");
    const ProgramRun run = Start(dir.Path(), {"BATCH"}, 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.errors.contains("'never' is not a valid date")) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("'../../x' is not a valid Qwk ID")) << run.errors.toStdString();
    // A Qwk ID that is no file name stops the run before it connects anywhere
    // or writes a packet.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.errors.contains("connect")) << run.errors.toStdString();
    EXPECT_NE(TempWorkDirectory::Read(dir.File("ZANDREL.INI")).find("Qwk ID=../../x\r\n"),
              std::string::npos);
}

// A date that does not read is reported, and the run goes on with the keys
// after it (here a port nothing listens on, so it cannot connect).
TEST(BatchStart, UnreadableDateIsReportedAndTheRunGoesOn) {
    TempWorkDirectory dir(false);
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                             "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Last Get Groups=12/9/26x\r\n"
                             "NNTP Remote Port=1\r\n[Qwk]\r\nQwk ID=MYBBS\r\n");
    const ProgramRun run = Start(dir.Path(), {"BATCH"}, 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.errors.contains("'12/9/26x' is not a valid date")) << run.errors.toStdString();
    EXPECT_EQ(run.exitCode, 2) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("Could not connect to 127.0.0.1")) << run.errors.toStdString();
    EXPECT_NE(
        TempWorkDirectory::Read(dir.File("ZANDREL.INI")).find("NNTP Last Get Groups=12/9/26x\r\n"),
        std::string::npos);
}

QProcessEnvironment WithLocale(const QString& lang) {
    QProcessEnvironment env = NoDisplay();
    for (const char* name : {"LANG", "LC_ALL", "LC_TIME", "LANGUAGE"})
        env.remove(name);
    if (!lang.isEmpty())
        env.insert("LANG", lang);
    return env;
}

// A run under one locale writes the date; a cron run without LANG reads it.
TEST(BatchStart, DateWrittenUnderOneLocaleReadsUnderAnother) {
    TempWorkDirectory dir(false);
    const std::string settings =
        "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Last Get Groups=12/9/26\r\n"
        "NNTP Remote Port=1\r\n[Qwk]\r\nQwk ID=MYBBS\r\n";
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"), settings);
    // The old short date of the American locale still reads there, and is
    // written back as ISO 8601.
    ProgramRun run = Start(dir.Path(), {"BATCH"}, 60000, WithLocale("en_US.UTF-8"));
    ASSERT_TRUE(run.finished);
    EXPECT_FALSE(run.errors.contains("not a valid")) << run.errors.toStdString();
    EXPECT_EQ(run.exitCode, 2) << run.errors.toStdString();
    std::string ini = TempWorkDirectory::Read(dir.File("ZANDREL.INI"));
    EXPECT_NE(ini.find("NNTP Last Get Groups=2026-12-09\r\n"), std::string::npos) << ini;

    for (const QString& lang : {QString(), QString("C"), QString("de_DE.UTF-8")}) {
        run = Start(dir.Path(), {"BATCH"}, 60000, WithLocale(lang));
        ASSERT_TRUE(run.finished);
        EXPECT_FALSE(run.errors.contains("not a valid")) << run.errors.toStdString();
        EXPECT_EQ(run.exitCode, 2) << lang.toStdString() << run.errors.toStdString();
        ini = TempWorkDirectory::Read(dir.File("ZANDREL.INI"));
        EXPECT_NE(ini.find("NNTP Last Get Groups=2026-12-09\r\n"), std::string::npos)
            << lang.toStdString() << ini;
        EXPECT_NE(ini.find("Qwk ID=MYBBS\r\n"), std::string::npos) << ini;
    }

    // Without LANG the old American date is not a date; it is reported, kept,
    // and the run goes on.
    TempWorkDirectory::Write(dir.File("ZANDREL.INI"), settings);
    run = Start(dir.Path(), {"BATCH"}, 60000, WithLocale(QString()));
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.errors.contains("'12/9/26' is not a valid date")) << run.errors.toStdString();
    EXPECT_EQ(run.exitCode, 2) << run.errors.toStdString();
    EXPECT_NE(
        TempWorkDirectory::Read(dir.File("ZANDREL.INI")).find("NNTP Last Get Groups=12/9/26\r\n"),
        std::string::npos);
}

// A named pipe where GROUPS.DAT or ZANDREL.INI belongs once hung the start.
TEST(BatchStart, NamedPipeInPlaceOfAFileStopsTheStartAtOnce) {
    for (const char* name : {"GROUPS.DAT", "ZANDREL.INI"}) {
        TempWorkDirectory dir(false);
        if (std::string(name) != "ZANDREL.INI")
            TempWorkDirectory::Write(dir.File("ZANDREL.INI"),
                                     "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=1\r\n"
                                     "[Qwk]\r\nQwk ID=MYBBS\r\n");
        ASSERT_EQ(::mkfifo(dir.File(name).c_str(), 0600), 0);
        const ProgramRun run = Start(dir.Path(), {"BATCH"}, 30000);
        ASSERT_TRUE(run.finished) << "the start waited on " << name;
        EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains(QString::fromStdString(
            dir.File(name) + " is a named pipe, not a regular file; it is not opened")))
            << run.errors.toStdString();
        EXPECT_TRUE(std::filesystem::is_fifo(dir.File(name)));
    }
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
