// The program started where its zip libraries are missing or wrong ends at
// once with exit status 1 and says which file or entry point it lacked; the
// zip library is tried before the unzip library.
#include "support/program_path.h"
#include "support/temp_directory.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    std::string standardError;
};

// Copies the program and VxUtil into a fresh directory with the named files
// from the build (each as the name given), and runs "zandrel BATCH" there.
Outcome RunWithLibraries(const std::vector<std::pair<std::string, std::string>>& libraries) {
    TempWorkDirectory place(false);
    const std::string bin = BuildBinDirectory();
    fs::copy_file(bin + "/zandrel", place.File("zandrel"));
    fs::copy_file(bin + "/libvxutil.so", place.File("libvxutil.so"));
    for (const auto& [from, as] : libraries)
        fs::copy_file(bin + "/" + from, place.File(as));

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // Nothing may lead the loader back to the build directory.
    environment.remove("LD_LIBRARY_PATH");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(QString::fromStdString(place.Path()));
    program.start(QString::fromStdString(place.File("zandrel")), {"BATCH"});
    Outcome outcome;
    outcome.finished = program.waitForFinished(60000);
    if (!outcome.finished) {
        program.kill();
        program.waitForFinished();
        return outcome;
    }
    outcome.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    outcome.standardError = program.readAllStandardError().toStdString();
    return outcome;
}

TEST(ArchiveLibraries, WithoutTheZipLibraryTheProgramEndsNamingIt) {
    const Outcome outcome = RunWithLibraries({{"libdunzip32.so", "libdunzip32.so"}});
    ASSERT_TRUE(outcome.finished) << "the program waited instead of ending";
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.standardError.find("Could not load libdzip32.so!"), std::string::npos)
        << outcome.standardError;
}

TEST(ArchiveLibraries, WithoutTheUnzipLibraryTheProgramEndsNamingIt) {
    const Outcome outcome = RunWithLibraries({{"libdzip32.so", "libdzip32.so"}});
    ASSERT_TRUE(outcome.finished) << "the program waited instead of ending";
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.standardError.find("Could not load libdunzip32.so!"), std::string::npos)
        << outcome.standardError;
}

TEST(ArchiveLibraries, WithNeitherTheZipLibraryIsMissedFirst) {
    const Outcome outcome = RunWithLibraries({});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.standardError.find("libdzip32.so"), std::string::npos);
    EXPECT_EQ(outcome.standardError.find("libdunzip32.so"), std::string::npos);
}

TEST(ArchiveLibraries, ALibraryWithoutItsEntryPointEndsTheProgramNamingTheEntryPoint) {
    // The unzip library under the zip library's name lacks dzip.
    const Outcome outcome = RunWithLibraries(
        {{"libdunzip32.so", "libdzip32.so"}, {"libdunzip32.so", "libdunzip32.so"}});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.standardError.find("Could not load dzip function!"), std::string::npos)
        << outcome.standardError;
}

} // namespace
