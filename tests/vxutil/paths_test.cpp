#include "vxutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(VxSlashIt, AppendsOneSeparatorUnlessTheLastCharacterIsOne) {
    EXPECT_EQ(VxSlashIt("/var/WORK"), "/var/WORK/");
    EXPECT_EQ(VxSlashIt("/var/WORK/"), "/var/WORK/");
    EXPECT_EQ(VxSlashIt("/var/WORK//"), "/var/WORK//");
    EXPECT_EQ(VxSlashIt("WORK\\"), "WORK\\/");
    EXPECT_EQ(VxSlashIt("/"), "/");
    // An empty setting must not turn into the root directory.
    EXPECT_EQ(VxSlashIt(""), "");
}

class VxEmptyDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    fs::path Root() const { return fs::path(temp.path().toStdString()); }
    static void Touch(const fs::path& path) { std::ofstream(path) << "x"; }
    QTemporaryDir temp;
};

TEST_F(VxEmptyDirectoryTest, RemovesFilesAndKeepsSubDirectories) {
    const fs::path staging = Root() / "TEMP";
    fs::create_directories(staging / "sub");
    Touch(staging / "MESSAGES.DAT");
    Touch(staging / ".hidden");
    Touch(staging / "noextension");
    Touch(staging / "sub" / "inside.txt");
    fs::create_symlink(Root() / "elsewhere", staging / "link");
    Touch(Root() / "outside.txt");

    VxEmptyDirectory(staging.string());

    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(staging))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"sub"});
    EXPECT_TRUE(fs::exists(staging / "sub" / "inside.txt")) << "no recursion";
    EXPECT_TRUE(fs::exists(Root() / "outside.txt"));
}

TEST_F(VxEmptyDirectoryTest, WorksWithATrailingSeparator) {
    Touch(Root() / "a.txt");
    VxEmptyDirectory(VxSlashIt(Root().string()));
    EXPECT_TRUE(fs::is_empty(Root()));
}

TEST_F(VxEmptyDirectoryTest, MissingOrEmptyNamesDoNothing) {
    VxEmptyDirectory((Root() / "missing").string());

    // An empty name would otherwise mean the current directory.
    const fs::path previous = fs::current_path();
    fs::current_path(Root());
    Touch(Root() / "keep.txt");
    VxEmptyDirectory("");
    fs::current_path(previous);
    EXPECT_TRUE(fs::exists(Root() / "keep.txt"));
}
